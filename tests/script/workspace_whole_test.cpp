// The workspace as a whole: burying and erasing everything, POALL, and a stack's stored
// workspace (loading it, the text it stores, noticing changes).
#include "script_fixture.h"

#include "script/workspace_store.h"

namespace cv::script::test {
namespace {

using WholeWorkspaceTest = ScriptTest;

constexpr const char* kSetUp =
    "MAKE \"V 1\nPPROP \"P \"k [a b]\nTO F :X\nOUTPUT :X + 1\nEND\nTO G\nPRINT F 1\nEND";
constexpr const char* kListing =
    "MAKE \"V 1\n\nSETPLIST \"P [k [a b]]\n\nTO F :X\nOUTPUT :X \\+ 1\nEND\n\nTO G\nPRINT F 1\nEND\n";

TEST_F(WholeWorkspaceTest, PoAllListsVariablesPropertyListsThenProcedures) {
    EXPECT_EQ(run("POALL"), "\n\n");
    run(kSetUp);
    EXPECT_EQ(run("POALL"), kListing);
    EXPECT_EQ(WorkspaceListing(in), kListing);
}

TEST_F(WholeWorkspaceTest, BuriedEverythingSurvivesErAllAndComesBack) {
    // programs/procs_workspace.logo buries, erases and lists; here, the listing comes back whole
    // and what is made after BURYALL is not buried.
    run(kSetUp);
    EXPECT_EQ(run("BURYALL ERALL POALL G UNBURYALL POALL"), "\n\n2\n" + std::string(kListing));
    run("BURYALL\nMAKE \"W 2\nERALL");
    EXPECT_EQ(run("PRINT NAMEP \"W PRINT NAMEP \"V"), "FALSE\nTRUE\n");
}

TEST_F(WholeWorkspaceTest, EscapeStopsPoAllBetweenProcedures) {
    struct Host final : ScriptHost {
        bool interruptRequested() override { return true; }
    } host;
    run(kSetUp);
    in.setHost(&host);
    const std::string cut = run("POALL");
    in.setHost(nullptr);
    EXPECT_EQ(cut, "MAKE \"V 1\n\nSETPLIST \"P [k [a b]]\n\nTO F :X\nOUTPUT :X \\+ 1\nEND\n");
}

TEST_F(WholeWorkspaceTest, LoadingAStacksWorkspaceKeepsWhatIsBuried) {
    run("MAKE \"SCORE 10 BURYNAME \"SCORE SETPLIST \"PREFS [sound on] BURYPLIST \"PREFS MAKE \"OLD 1 TO OLDP\nEND");
    const std::string saved = "MAKE \"SCORE 0\nMAKE \"LEVEL 1\nSETPLIST \"PREFS [sound off]\nTO START\nPRINT :LEVEL\nEND";
    CaptureOutput loadOutput;
    LoadWorkspace(in, saved, nullptr, &loadOutput);
    EXPECT_EQ(errorCount(), 0u) << lastError();
    EXPECT_FALSE(in.makeProtectsBuried);
    EXPECT_EQ(run("PRINT :SCORE PRINT GPROP \"PREFS \"sound START PRINT NAMEP \"OLD PRINT DEFINEDP \"OLDP"),
              "10\non\n1\nFALSE\nFALSE\n");
    // Outside a load, MAKE sets the buried variable again.
    EXPECT_EQ(run("MAKE \"SCORE 0 PRINT :SCORE"), "0\n");
    // An error in the text stops it there, as in any run.
    LoadWorkspace(in, "MAKE \"A 1\nNOSUCH\nMAKE \"B 2", nullptr, &loadOutput);
    EXPECT_EQ(lastMessage(), "Logo Error: I don't know how to NOSUCH");
    EXPECT_EQ(run("PRINT NAMEP \"A PRINT NAMEP \"B PRINT NAMEP \"LEVEL"), "TRUE\nFALSE\nFALSE\n");
}

TEST_F(WholeWorkspaceTest, TheStoredTextHoldsBuriedVariablesAndReadsBack) {
    run(std::string(kSetUp) + "\nMAKE \"HIDDEN [x] BURYNAME \"HIDDEN TO SECRET\nEND\nBURY \"SECRET");
    const std::string stored = StoredWorkspaceText(in);
    EXPECT_EQ(stored, "MAKE \"V 1\nMAKE \"HIDDEN [x]\n\nSETPLIST \"P [k [a b]]\n\n"
                      "TO F :X\nOUTPUT :X \\+ 1\nEND\n\nTO G\nPRINT F 1\nEND\n");
    EXPECT_EQ(WorkspaceListing(in), kListing);
    // In a player that starts afresh the text gives the same workspace (two loads put the
    // entries of a chain back in their first order).
    Interpreter fresh;
    fresh.setUi(&ui);
    LoadWorkspace(fresh, stored, nullptr, nullptr);
    const std::string once = StoredWorkspaceText(fresh);
    LoadWorkspace(fresh, once, nullptr, nullptr);
    EXPECT_EQ(StoredWorkspaceText(fresh), stored);
    EXPECT_EQ(errorCount(), 0u) << lastError();
}

TEST_F(WholeWorkspaceTest, ChangesAreNoticedSinceTheLastLoadOrStore) {
    EXPECT_FALSE(WorkspaceChanged(in));
    run("MAKE \"X 1");
    EXPECT_TRUE(WorkspaceChanged(in));
    NoteWorkspaceStored(in);
    EXPECT_FALSE(WorkspaceChanged(in));
    run("MAKE \"X 1");  // the same value again
    EXPECT_FALSE(WorkspaceChanged(in));
    run("PPROP \"P \"a 1");
    EXPECT_TRUE(WorkspaceChanged(in));
    NoteWorkspaceStored(in);
    run("PPROP \"P \"a 2");  // a change made in place
    EXPECT_TRUE(WorkspaceChanged(in));
    LoadWorkspace(in, "TO T\nEND", nullptr, nullptr);
    EXPECT_FALSE(WorkspaceChanged(in));
    run("ERASE \"T");
    EXPECT_TRUE(WorkspaceChanged(in));
    run("TO T\nEND");
    EXPECT_FALSE(WorkspaceChanged(in));
    // Locals are not part of the workspace.
    run("TO L\nLOCAL \"Q\nMAKE \"Q 5\nEND\nL");
    NoteWorkspaceStored(in);
    run("L");
    EXPECT_FALSE(WorkspaceChanged(in));
}

} // namespace
} // namespace cv::script::test
