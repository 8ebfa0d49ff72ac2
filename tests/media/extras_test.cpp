// Extras: the installed list, the menu's ids, keeping or freeing a library after a run, and
// the Extra Manager's form.
#include <gtest/gtest.h>

#include "core/references.h"
#include "core/ui.h"
#include "media/extras/extras.h"
#include "nba_test_support.h"
#include "stack_test_support.h"

namespace cv {
namespace {

class ExtrasTest : public cvtest::StackTest {
protected:
    void SetUp() override {
        StackTest::SetUp();
        folder = dir / "Extras";
        setSettingsFile((dir / "CVPREFS.INI").string());
        headlessUi().clearAnswers();
        env.folders = {folder.string()};
    }
    void TearDown() override {
        setSettingsFile((std::filesystem::temp_directory_path() / "cv-extras-unused.ini").string());
        StackTest::TearDown();
    }
    // An Extra whose title is `title` and whose runs answer `run`.
    void extra(const std::string& file, const std::string& title, int32_t run = 0) {
        cvtest::touch(folder, file);
        loader.plugins[file].onCall = [title, run](NativeBlock& b) -> int32_t {
            switch (b.block.command()) {
            case NBA_MSG_PARAM: {
                uint8_t* room = ReferenceData(Handle(b.block.param(2)), kExtraTitleSize);
                if (!room || title.empty()) return 1;
                std::copy(title.begin(), title.end(), room);
                return 0;
            }
            case NBA_MSG_RUN: return run;
            default: return 0;
            }
        };
    }
    std::filesystem::path folder;
    cvtest::FakeLoader loader;
    ExtrasEnvironment env;
    NativeBlock block;
};

TEST_F(ExtrasTest, TheListEndsAtTheFirstMissingKeyAndItemsTakeTheirIndex) {
    extra("A.xtr", "Alpha");
    extra("B.xtr", "Beta");
    extra("D.xtr", "Delta");
    extra("Q.xtr", "");  // answers message 3 with 1: no item
    settings().set("ExtraIDs", "1", "A.xtr");
    settings().set("ExtraIDs", "2", "GONE.xtr");  // no such file: left out
    settings().set("ExtraIDs", "3", "Q.xtr");
    settings().set("ExtraIDs", "4", "B.xtr");
    settings().set("ExtraIDs", "6", "D.xtr");
    Extras extras(loader, env, block);
    extras.reload();
    ASSERT_TRUE(extras.list());
    EXPECT_EQ(extras.list()->entries.size(), 3u);
    EXPECT_EQ(extras.menuItems(), (std::vector<std::pair<int, std::string>>{{451, "Alpha"}, {453, "Beta"}}));
    EXPECT_EQ(loader.live("A.xtr"), 0);  // loaded for the menu only

    settings().removeSection("ExtraIDs");
    extras.reload();
    EXPECT_FALSE(extras.list());
    EXPECT_TRUE(extras.menuItems().empty());
}

TEST_F(ExtrasTest, AnExtraThatFailsIsFreedAfterEachRunOneThatSucceedsStaysUntilClose) {
    extra("KEEP.xtr", "Keep", 0);
    extra("DROP.xtr", "Drop", 7);
    settings().set("ExtraIDs", "1", "KEEP.xtr");
    settings().set("ExtraIDs", "2", "DROP.xtr");
    Extras extras(loader, env, block);
    extras.reload();
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(extras.HandleExtrasCommand(451));
        EXPECT_TRUE(extras.HandleExtrasCommand(452));
    }
    EXPECT_FALSE(extras.HandleExtrasCommand(500));
    EXPECT_EQ(loader.loads["KEEP.xtr"], 2);  // the menu, then once for both runs
    EXPECT_EQ(loader.live("KEEP.xtr"), 1);
    EXPECT_EQ(loader.loads["DROP.xtr"], 3);
    EXPECT_EQ(loader.live("DROP.xtr"), 0);
    EXPECT_EQ(loader.calledFiles(2).size(), 0u);
    extras.CloseExtras();
    EXPECT_EQ(loader.calledFiles(2), std::vector<std::string>{"KEEP.xtr"});
    EXPECT_EQ(loader.live("KEEP.xtr"), 0);
}

TEST_F(ExtrasTest, TheManagerAddsCopiesDeletesOnOkAndRewritesTheSection) {
    extra("A.xtr", "Alpha");
    extra("B.xtr", "Beta");
    settings().set("ExtraIDs", "1", "A.xtr");
    settings().set("ExtraIDs", "2", "B.xtr");
    settings().set("ExtraIDs", "4", "A.xtr");
    cvtest::touch(dir / "elsewhere", "New.xtr");
    ExtraManagerForm form({folder.string()}, folder.string());
    ASSERT_EQ(form.paths().size(), 2u);
    EXPECT_TRUE(form.add((dir / "elsewhere" / "New.xtr").string()));
    EXPECT_TRUE(std::filesystem::exists(folder / "New.xtr"));
    EXPECT_FALSE(form.add((dir / "nothing.xtr").string()));
    headlessUi().queueAnswer(kAnswerSecond);  // Cancel keeps it
    EXPECT_FALSE(form.remove(0));
    headlessUi().queueAnswer(kAnswerFirst);
    EXPECT_TRUE(form.remove(0));
    EXPECT_TRUE(alerted(2330));
    form.done();
    EXPECT_EQ(settings().section("ExtraIDs"),
              (std::vector<std::pair<std::string, std::string>>{{"1", "B.xtr"}, {"2", "New.xtr"}}));
}

} // namespace
} // namespace cv
