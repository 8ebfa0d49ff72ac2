// A stack's saved workspace and the player's interpreter, the card and stack action lists run
// by their ids, what leaving a stack for another runs and keeps, and the icons buttons ask for.
#include <gtest/gtest.h>

#include <QImage>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "browse_fixture.h"
#include "core/clock.h"
#include "core/ui.h"
#include "player/actions.h"
#include "player/navigation.h"
#include "player/script_bridge.h"
#include "player/shell.h"
#include "player/workspace_link.h"
#include "stack/chunk_file.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"
#include "stack/stack_io.h"
#include "stack/stack_resources.h"
#include "test_application.h"

namespace cv::test {

namespace {

std::string stackWith(const std::string& resources, const std::string& cards =
                                                        "{\"name\": \"One\"}, {\"name\": \"Two\"}") {
    return "{\"version\": 5, \"depth\": 8, \"card_width\": 120, \"card_height\": 80, \"resources\": [" + resources +
           "], \"cards\": [" + cards + "]}";
}

std::string workspace(const char* type, const std::string& text) {
    return std::string("{\"type\": \"") + type + "\", \"text\": \"" + text + "\"}";
}

class WorkspaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureTestApplication();
        setClock(&clock);
        headlessUi().clearLog();
        player = std::make_unique<Player>(host);
    }
    void TearDown() override {
        player.reset();
        DisposeStack();
        setClock(nullptr);
    }
    std::string open(const std::string& manifest) {
        const std::string path = buildStack(manifest);
        EXPECT_TRUE(player->openStack(path));
        return path;
    }
    // What a script prints, alone.
    std::string print(const std::string& script) {
        const size_t before = player->scripts().printed().size();
        // Action lists' scripts leave text output in the drawing window: ask for the text.
        player->scripts().run("TEXTIO " + script);
        return player->scripts().printed().substr(before);
    }
    // A new player (a new interpreter) opening the file.
    void reopen(const std::string& path) {
        player.reset();
        DisposeStack();
        player = std::make_unique<Player>(host);
        ASSERT_TRUE(player->openStack(path));
    }
    std::string storedWorkspace() {
        std::string text;
        return savedWorkspaceText(&text) ? text : "(none)";
    }

    VirtualClock clock;
    HeadlessHost host;
    std::unique_ptr<Player> player;
};

} // namespace

TEST_F(WorkspaceTest, OpeningRunsTheSavedWorkspaceAfterErasingAllButBuriedNames) {
    player->scripts().run("MAKE \"OLD 1 MAKE \"KEPT 2 BURYNAME \"KEPT\nTO GONE\nEND");
    open(stackWith(workspace("WKSp", "MAKE \\\"KEPT 99\\nMAKE \\\"NEW 3\\nTO DOUBLE :X\\nOUTPUT :X * 2\\nEND\\n")));
    EXPECT_EQ(print("PRINT DOUBLE :NEW"), "6\n");
    EXPECT_EQ(print("PRINT :KEPT"), "2\n"); // MAKE left the buried name alone
    headlessUi().clearLog();
    EXPECT_EQ(print("PRINT :OLD"), "");
    EXPECT_EQ(print("GONE"), "");
    EXPECT_EQ(headlessUi().log().size(), 2u); // two errors: the erased variable and procedure
    // Loading is no change to the stack, nor to its workspace.
    EXPECT_FALSE(theStack().changed);
    EXPECT_FALSE(SaveWorkspace(*player));
}

// The second form alone: the workspace_procs session.
TEST_F(WorkspaceTest, TheSecondFormIsReadOnlyWhenTheFirstIsMissing) {
    open(stackWith(workspace("WKSp", "MAKE \\\"FORM 1") + ", " + workspace("WkSp", "MAKE \\\"FORM 2")));
    EXPECT_EQ(print("PRINT :FORM"), "1\n");
}

TEST_F(WorkspaceTest, ASavedChangedWorkspaceComesBackWithTheStack) {
    const std::string path = open(stackWith(workspace("WKSp", "MAKE \\\"N 1")));
    player->scripts().run("MAKE \"N 5 TO TRIPLE :X\nOUTPUT :X * 3\nEND");
    ASSERT_TRUE(player->saveStack(false));
    EXPECT_FALSE(theStack().changed);
    reopen(path); // finds the workspace as it was saved
    EXPECT_EQ(print("PRINT TRIPLE :N"), "15\n");
    ASSERT_EQ(StackResourceIndex(chunk::kWKSp, 128), 1);
}

TEST_F(WorkspaceTest, AStackWithoutOneKeepsTheWorkspaceAndStoresItOnlyWhenItChanges) {
    open(stackWith(workspace("WKSp", "TO P\\nOUTPUT 7\\nEND")));
    open(stackWith(""));
    EXPECT_EQ(print("PRINT P"), "7\n");
    ASSERT_TRUE(player->saveStack(false));
    EXPECT_EQ(storedWorkspace(), "(none)"); // nothing changed since this stack opened
    player->scripts().run("MAKE \"SCORE 10");
    player->navigation().closeStack();
    EXPECT_NE(storedWorkspace().find("MAKE \"SCORE 10"), std::string::npos);
    EXPECT_NE(storedWorkspace().find("TO P"), std::string::npos);
    EXPECT_TRUE(theStack().changed);
}

TEST_F(WorkspaceTest, CardAndStackActionsRunByIdAndLeaveTheStackAsItWas) {
    const std::string resources =
        workspace("WKSp", "MAKE \\\"VISITS 0\\nMAKE \\\"ENTERED 0") +
        ", {\"type\": \"Actn\", \"id\": 20, \"name\": \"Count\", \"actions\": [{\"type\": \"script\", "
        "\"text\": \"MAKE \\\"VISITS :VISITS + 1\"}]}"
        ", {\"type\": \"Actn\", \"id\": 21, \"name\": \"Enter\", \"actions\": [{\"type\": \"script\", "
        "\"text\": \"MAKE \\\"ENTERED :ENTERED + 1\"}]}";
    std::string manifest = stackWith(resources, "{\"name\": \"One\", \"actions\": {\"arrive\": 20}}, {\"name\": \"Two\"}");
    manifest.insert(manifest.size() - 1, ", \"stack_actions\": {\"arrive\": 21}");
    open(manifest);
    const int index20 = StackResourceIndex(chunk::kActn, 20);
    SetCurrentChunkFile(theStack().chunkFile);
    const int chunks = CountChunks(chunk::kActn);
    for (int i = 0; i < 5; ++i) {
        player->navigation().goNext();
        player->navigation().goPrevious();
    }
    EXPECT_EQ(print("PRINT :VISITS PRINT :ENTERED"), "6\n1\n");
    EXPECT_FALSE(theStack().changed);
    EXPECT_EQ(StackResourceIndex(chunk::kActn, 20), index20);
    SetCurrentChunkFile(theStack().chunkFile);
    EXPECT_EQ(CountChunks(chunk::kActn), chunks);
}

TEST_F(WorkspaceTest, AListItsRunChangedIsStoredBackIntoItsOwnStackOnly) {
    open(stackWith("{\"type\": \"Actn\", \"id\": 20, \"name\": \"Named\", \"go\": \"next\"}"));
    const uint32_t chunks = theStack().chunkFile;
    SetCurrentChunkFile(chunks);
    Handle list = GetChunk(chunk::kActn, 20);
    ASSERT_NE(list, 0);
    const std::vector<uint8_t> before(memRefs().data(list), memRefs().data(list) + GetHandleSize(list));
    EXPECT_FALSE(storeBackActionList(20, list, before, chunks)); // unchanged
    EXPECT_FALSE(theStack().changed);

    memRefs().data(list)[actionlist::kRect] ^= 0x01;
    EXPECT_FALSE(storeBackActionList(20, list, before, chunks + 1)); // another stack's list
    EXPECT_FALSE(theStack().changed);
    ASSERT_TRUE(storeBackActionList(20, list, before, chunks));
    EXPECT_TRUE(theStack().changed);
    EXPECT_EQ(StackResourceName(chunk::kActn, 20), "Named");
    ResourceRequest req;
    ASSERT_EQ(GetStackResource(req, chunk::kActn, 20), 0);
    EXPECT_EQ(memRefs().data(req.data)[actionlist::kRect], uint8_t(before[actionlist::kRect] ^ 0x01));
    DisposeHandle(req.data);
    // A list replaced meanwhile is not put back over its replacement.
    EXPECT_FALSE(storeBackActionList(20, list + 1000, before, chunks));
}

// ---- Leaving a stack for another ----

namespace {

// A stack whose first card and whose stack have leave actions that note themselves in the
// workspace and give a test answer, so that the label each ran with can be read.
std::string leavingStack() {
    const std::string resources =
        "{\"type\": \"Actn\", \"id\": 30, \"name\": \"Bye card\", \"test_answer\": 1, \"actions\": "
        "[{\"type\": \"script\", \"text\": \"MAKE \\\"LEFTCARD 1\"}]}"
        ", {\"type\": \"Actn\", \"id\": 31, \"name\": \"Bye stack\", \"test_answer\": 2, \"actions\": "
        "[{\"type\": \"script\", \"text\": \"MAKE \\\"LEFTSTACK 1\"}]}";
    std::string manifest =
        stackWith(resources, "{\"name\": \"One\", \"actions\": {\"leave\": 30}}, {\"name\": \"Two\"}");
    manifest.insert(manifest.size() - 1, ", \"stack_actions\": {\"leave\": 31}");
    return manifest;
}

class LeavingTest : public WorkspaceTest {
protected:
    void SetUp() override {
        WorkspaceTest::SetUp();
        auto real = player->media.runScript;
        player->media.runScript = [this, real](const std::string& text) {
            trail.push_back(text);
            real(text);
        };
        // What the card's leave action answered, seen before the stack's leave action runs.
        auto left = player->onCardLeft;
        player->onCardLeft = [this, left] {
            const auto& answers = player->actions().answers();
            const auto found = answers.find(player->currentCardId());
            if (found != answers.end()) cardAnswer = found->second;
            if (left) left();
        };
        // The answers as the next stack arrives, before anything there can change them.
        auto arrive = player->onArrive;
        player->onArrive = [this, arrive](bool arriveAtStack) {
            if (arriveAtStack) answersOnArrival = player->actions().answers();
            if (arrive) arrive(arriveAtStack);
        };
        savedHook = stackHooks().saveWorkspace;
        stackHooks().saveWorkspace = [this] {
            savedHook();
            trail.push_back("stored");
            storedOnLeaving = storedWorkspace();
        };
    }
    void TearDown() override {
        stackHooks().saveWorkspace = savedHook;
        WorkspaceTest::TearDown();
    }

    int alerts() const {
        int n = 0;
        for (const std::string& line : headlessUi().log()) n += line.rfind("alert", 0) == 0;
        return n;
    }

    std::vector<std::string> trail;
    TestAnswer cardAnswer;
    std::map<uint16_t, TestAnswer> answersOnArrival;
    std::string storedOnLeaving;
    std::function<void()> savedHook;
};

} // namespace

TEST_F(LeavingTest, EveryWayToAnotherStackLeavesTheCardThenTheStackThenStoresTheWorkspace) {
    const std::string other = buildStack(stackWith("", "{\"name\": \"Elsewhere\"}"), "other.stk");
    const std::vector<std::pair<std::string, std::function<void()>>> ways = {
        {"an action", [&] { player->navigation().goToOtherStack(other, -6, 3, 8, true); }},
        {"Open Stack", [&] {
             headlessUi().queueFile(other);
             player->runCommand(kCmdOpenStack);
         }},
        {"a second start", [&] { EXPECT_TRUE(openRequestedStack(*player, other)); }},
    };
    for (const auto& [way, leave] : ways) {
        SCOPED_TRACE(way);
        open(leavingStack());
        const uint16_t card = player->currentCardId();
        trail.clear();
        cardAnswer = TestAnswer{};
        answersOnArrival.clear();
        leave();
        EXPECT_EQ(trail, (std::vector<std::string>{"MAKE \"LEFTCARD 1", "MAKE \"LEFTSTACK 1", "stored"}));
        EXPECT_TRUE(cardAnswer.right);
        EXPECT_EQ(cardAnswer.name, "Leave card action");
        ASSERT_EQ(answersOnArrival.count(card), 1u);
        EXPECT_FALSE(answersOnArrival[card].right);
        EXPECT_EQ(answersOnArrival[card].name, "Leave stack action");
        // The workspace went into the stack being left with what its leave actions made.
        EXPECT_NE(storedOnLeaving.find("LEFTSTACK"), std::string::npos) << storedOnLeaving;
        EXPECT_EQ(theStack().path, other);
        EXPECT_EQ(player->currentCardNumber(), 1);
        EXPECT_EQ(alerts(), 0);
        // The next stack starts from a workspace without the marks.
        player->scripts().run("ERN [LEFTCARD LEFTSTACK]");
    }
}

TEST_F(LeavingTest, OpenStackCancelledLeavesTheCardButNotTheStack) {
    open(leavingStack());
    const std::string path = theStack().path;
    headlessUi().queueCancel();
    player->runCommand(kCmdOpenStack);
    EXPECT_EQ(trail, std::vector<std::string>{"MAKE \"LEFTCARD 1"});
    EXPECT_EQ(theStack().path, path);
    EXPECT_EQ(player->currentCardNumber(), 1);
}

// ---- A workspace changed by scripts, when the stack closes ----

TEST_F(WorkspaceTest, AChangedWorkspaceAsksNothingOnItsOwnAndIsKeptByTheSaveAQuestionLeadsTo) {
    const std::string path = open(stackWith(workspace("WKSp", "MAKE \\\"SCORE 1")));
    player->scripts().run("MAKE \"SCORE 42");
    // Only the workspace changed: closing asks nothing (the run's state goes with the stack).
    headlessUi().clearLog();
    EXPECT_TRUE(player->mayCloseStack());
    EXPECT_TRUE(headlessUi().log().empty()) << headlessUi().log().front();

    // With another change the question comes, and its Save keeps the workspace too.
    theStack().changed = true;
    headlessUi().queueAnswer(kAnswerSecond); // Cancel: the player stays, the change with it
    const Message close{.type = MsgType::Close};
    player->dispatch(close);
    EXPECT_FALSE(host.quitting);
    ASSERT_EQ(headlessUi().log().size(), 1u);
    EXPECT_EQ(headlessUi().log()[0].rfind("alert 2213:", 0), 0u);

    headlessUi().queueAnswer(kAnswerFirst); // Save
    player->dispatch(close);
    EXPECT_TRUE(host.quitting);
    reopen(path);
    EXPECT_EQ(print("PRINT :SCORE"), "42\n");
}

TEST_F(WorkspaceTest, AStackThatSavesItselfKeepsAChangedWorkspaceWithoutAsking) {
    std::string manifest = stackWith(workspace("WKSp", "MAKE \\\"SCORE 1"));
    manifest.insert(manifest.size() - 1, ", \"settings\": {\"auto_save\": 1}");
    const std::string path = open(manifest);
    const std::string other = buildStack(stackWith(""), "other.stk");
    player->scripts().run("MAKE \"SCORE 7");
    headlessUi().clearLog();
    ASSERT_TRUE(player->navigation().goToOtherStack(other, -6, 3, 8, true));
    EXPECT_TRUE(headlessUi().log().empty()) << headlessUi().log().front();
    reopen(path); // the saved file holds the score
    EXPECT_EQ(print("PRINT :SCORE"), "7\n");
}

// ---- Icons ----

TEST_F(WorkspaceTest, AButtonShowsItsIconAlsoWhenItsDataWasPurged) {
    const auto folder = std::filesystem::temp_directory_path() / ("cv-icon-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string png = (folder / "icon.png").string();
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(qRgb(255, 0, 0));
    ASSERT_TRUE(picture.save(QString::fromStdString(png)));
    open(stackWith("{\"type\": \"Icon\", \"id\": 5, \"picture\": \"" + png + "\"}",
                   "{\"name\": \"One\", \"objects\": [{\"kind\": \"button\", \"id\": 1, \"rect\": [10, 10, 40, 40], "
                   "\"icon\": 5}, {\"kind\": \"button\", \"id\": 2, \"rect\": [50, 10, 80, 40], \"icon\": 6}]}"));
    auto iconOf = [&](uint16_t id) -> const DisplayRecord* {
        for (const DisplayRecord& r : player->displayList())
            if (r.id == id && r.isButton()) return &r;
        return nullptr;
    };
    auto showsRedIcon = [&] {
        const DisplayRecord* r = iconOf(1);
        if (!r || !r->hasIcon || r->icon.width() != 16) return false;
        const QRgb c = r->icon.pixel(8, 8); // red, as near as the stack's colours come
        return qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60;
    };
    EXPECT_TRUE(showsRedIcon());
    ASSERT_NE(iconOf(2), nullptr);
    EXPECT_FALSE(iconOf(2)->hasIcon); // an icon the stack does not hold: none, and no message
    EXPECT_TRUE(headlessUi().log().empty());

    // The stack lets go of the icon's data: showing the card reads it again from the file.
    ChunkFile* cf = chunkFileFor(theStack().chunkFile);
    ASSERT_NE(cf, nullptr);
    for (ChunkEntry& e : cf->directory) {
        if (e.type != chunk::kIcon) continue;
        DisposeHandle(e.data);
        e.data = 0;
    }
    player->showCardNumber(1, 0, 8, false);
    EXPECT_TRUE(showsRedIcon());
    // Each showing decodes its own copy and gives it back.
    const uint32_t handles = memRefs().inUse();
    for (int i = 0; i < 3; ++i) player->showCardNumber(1, 0, 8, false);
    EXPECT_EQ(memRefs().inUse(), handles);
    EXPECT_FALSE(theStack().changed);
    std::filesystem::remove_all(folder);
}

} // namespace cv::test
