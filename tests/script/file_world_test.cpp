// The stack's world: where each kind of name a script writes goes, and the ways out that stay
// shut (climbing, absolute paths, links that lead outside).
#include <cstdlib>

#include "files_fixture.h"
#include "script/file_world.h"

namespace cv::script::test {
namespace {

namespace fs = std::filesystem;

TEST(FileWorldPlace, EachKindOfNameLandsInsideTheWorldOrIsRefused) {
    const WorldPath sub{"SUB"};
    struct Case {
        WorldPath current;
        const char* name;
        std::optional<WorldPath> place;
    };
    const Case cases[] = {
        {{}, "SCORE.TXT", WorldPath{"SCORE.TXT"}},
        {sub, "score.txt", WorldPath{"SUB", "score.txt"}},
        {sub, "C:\\SCORES\\TOP.TXT", WorldPath{"SCORES", "TOP.TXT"}},
        {sub, "d:top.txt", WorldPath{"SUB", "top.txt"}},  // the drive's current folder
        {sub, "\\TOP.TXT", WorldPath{"TOP.TXT"}},
        {sub, "C:\\", WorldPath{}},
        {sub, "/etc/passwd", WorldPath{"etc", "passwd"}},  // this machine's root is the world's
        {sub, "HD:Scores:Top", WorldPath{"Scores", "Top"}},
        {sub, ":Scores:Top", WorldPath{"SUB", "Scores", "Top"}},
        {{}, "HD:Scores::Top", WorldPath{"Top"}},
        {{}, "HD:Scores:", WorldPath{"Scores"}},
        {sub, "..\\TOP.TXT", WorldPath{"TOP.TXT"}},
        {{}, "A\\.\\B\\..\\C", WorldPath{"A", "C"}},
        {{}, "caf\xE9", WorldPath{"caf\xC3\xA9"}},
        // Ways out.
        {{}, "..\\secret", std::nullopt},
        {sub, "..\\..\\secret", std::nullopt},
        {{}, "C:\\..\\secret", std::nullopt},
        {{}, "../../../etc/passwd", std::nullopt},
        {{}, "A\\..\\..", std::nullopt},
        {{}, "HD::secret", std::nullopt},
        {sub, ":::secret", std::nullopt},
        {{}, "", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(FileWorld::Place(c.current, c.name), c.place) << c.name;
    // A NUL inside a name is no name (the host would cut it there).
    EXPECT_EQ(FileWorld::Place({}, std::string_view("A\0/../../x", 10)), std::nullopt);
    EXPECT_EQ(FileWorld::Shown({}), "C:\\");
    EXPECT_EQ(FileWorld::Shown({"SUB", "caf\xC3\xA9"}), "C:\\SUB\\caf\xE9");
}

TEST(FileWorldNames, DataFoldersOfTwoStacksOfOneNameDiffer) {
    const std::string a = FileWorld::WorldName("/one/Scores.stk");
    const std::string b = FileWorld::WorldName("/two/Scores.stk");
    EXPECT_EQ(a.rfind("Scores-", 0), 0u);
    EXPECT_EQ(a.size(), std::string("Scores-").size() + 8);
    EXPECT_NE(a, b);
    EXPECT_EQ(a, FileWorld::WorldName("/one/./Scores.stk"));
    EXPECT_EQ(FileWorld::WorldName("/x/a=b[c];.stk").substr(0, 7), "a_b_c__");
    EXPECT_EQ(FileWorld::WorldName("").rfind("Untitled-", 0), 0u);
    EXPECT_EQ(FileWorld::DataFolderFor("/home/p/.local/share/corvella/stacks", "/one/Scores.stk"),
              "/home/p/.local/share/corvella/stacks/" + a);

    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string keep = saved ? saved : "";
    setenv("XDG_DATA_HOME", "/elsewhere/data", 1);
    EXPECT_EQ(FileWorld::DataHome(), "/elsewhere/data/corvella/stacks");
    setenv("XDG_DATA_HOME", "relative", 1);  // not absolute: ignored
    EXPECT_NE(FileWorld::DataHome().rfind("relative", 0), 0u);
    if (saved) setenv("XDG_DATA_HOME", keep.c_str(), 1);
    else unsetenv("XDG_DATA_HOME");
}

// A stack folder, its (not yet made) data folder, a media folder, and a folder outside the world
// with a secret in it; links from inside the world to outside.
class WorldTest : public FilesTest {
protected:
    WorldTest() {
        for (const char* d : {"stack/Levels", "media", "outside"}) fs::create_directories(root / d);
        put("stack/Shipped.txt", "shipped\n");
        put("stack/Levels/One.txt", "level one\n");
        put("media/Tune.txt", "tune\n");
        put("outside/secret", "secret\n");
        fs::create_symlink(root / "outside/secret", root / "stack/LinkOut");
        fs::create_symlink(root / "outside", root / "stack/DirOut");
        fs::create_symlink(root / "stack/Shipped.txt", root / "stack/LinkIn");
        scriptFiles(in).setWorld(FileWorld((root / "data").string(), {(root / "stack").string(), (root / "media").string()}));
    }
    // A name as the script writes it, as an error shows it (the reader's '\\' is one '\').
    static std::string shown(std::string name) {
        for (size_t at = name.find("\\\\"); at != std::string::npos; at = name.find("\\\\", at + 1)) name.erase(at, 1);
        return name;
    }
    const fs::path& root = dir;
};

TEST_F(WorldTest, ReadsFindTheDataFolderThenTheStacksFolderThenTheMedia) {
    EXPECT_EQ(run("POFILE \"SHIPPED.TXT POFILE \"C:\\\\levels\\\\one.txt POFILE \"HD:Levels:One.txt POFILE \"tune.txt"),
              "shipped\nlevel one\nlevel one\ntune\n");
    EXPECT_EQ(run("POFILE \"LinkIn"), "shipped\n");  // a link that stays inside is followed
    EXPECT_FALSE(exists("data"));                    // reading makes nothing
    fs::create_directories(root / "data");
    put("data/shipped.txt", "mine\n");
    EXPECT_EQ(run("POFILE \"Shipped.txt SHOW FILEP \"levels/one.txt SHOW FILEP \"none"), "mine\nTRUE\nFALSE\n");
}

TEST_F(WorldTest, NamesThatLeadOutsideAreRefusedWithTheirPrimitivesOwnErrors) {
    const std::string outside = (root / "outside/secret").string();
    for (const std::string& name : {std::string("..\\\\outside\\\\secret"), std::string("../outside/secret"),
                                    outside, std::string("/etc/passwd"), std::string("LinkOut"),
                                    std::string("DirOut/secret"), std::string("HD::outside:secret")}) {
        EXPECT_EQ(errorOf("POFILE \"" + name), "Logo Error: Can't read from \"" + shown(name)) << name;
        EXPECT_EQ(errorOf("LOAD \"" + name), "Logo Error: Can't read from \"" + shown(name)) << name;
        EXPECT_EQ(run("SHOW FILEP \"" + name), "FALSE\n") << name;
        EXPECT_EQ(errorOf("ERASEFILE \"" + name), "Logo Error: Disk IO Error") << name;
        EXPECT_EQ(errorOf("RENAME \"" + name + " \"taken"), "Logo Error: Disk IO Error") << name;
        if (name == "LinkOut") continue;
        EXPECT_EQ(errorOf("OPEN \"" + name), "Logo Error: Can't read from \"" + shown(name)) << name;
        EXPECT_EQ(errorOf("SAVE \"" + name), "Logo Error: Can't write to \"" + shown(name)) << name;
    }
    // A link that leads out is not there for the stack: OPEN makes a file of that name of its own.
    EXPECT_EQ(run("OPEN \"LinkOut SETREAD \"LinkOut SHOW READWORD CLOSE \"LinkOut"), "\n");
    EXPECT_EQ(contents("data/LinkOut"), "");
    EXPECT_EQ(errorOf("SAVE \"..\\\\new"), "Logo Error: Can't write to \"..\\new");
    EXPECT_EQ(errorOf("CREATEDIRECTORY \"..\\\\new"), "Logo Error: Disk IO Error");
    EXPECT_EQ(errorOf("SETPREFIX \"..") , "Logo Error: Disk IO Error");
    EXPECT_EQ(errorOf("SETPREFIX \"DirOut"), "Logo Error: Disk IO Error");
    EXPECT_EQ(contents("outside/secret"), "secret\n");
    EXPECT_FALSE(exists("outside/new"));
    EXPECT_FALSE(exists("new"));
    EXPECT_FALSE(exists("taken"));
    EXPECT_FALSE(exists("data/taken"));
}

TEST_F(WorldTest, WritesAndErasesTouchOnlyTheDataFolder) {
    // The data folder is made by the first write; the stack's own files never change.
    run("OPEN \"Scores.txt SETWRITE \"Scores.txt PRINT [top 10] CLOSE \"Scores.txt");
    EXPECT_EQ(errorCount(), 0u);
    EXPECT_EQ(contents("data/Scores.txt"), "top 10\n");
    EXPECT_EQ(run("OPEN \"shipped.txt SETREAD \"shipped.txt MAKE \"L READWORD SETWRITE \"shipped.txt PRINT \"more "
                  "CLOSEALL SHOW :L"),
              "shipped\n");
    EXPECT_EQ(contents("stack/Shipped.txt"), "shipped\n");
    EXPECT_EQ(contents("data/Shipped.txt"), "shipped\nmore\n");
    // A folder the stack's folder holds is made in the data folder for a file saved in it.
    run("SAVE \"C:\\\\LEVELS\\\\SAVED");
    EXPECT_EQ(errorCount(), 0u);
    EXPECT_TRUE(exists("data/Levels/SAVED"));
    EXPECT_EQ(errorOf("SAVE \"NOFOLDER\\\\X"), "Logo Error: Can't write to \"NOFOLDER\\X");
    // Erasing reaches only the data folder: the stack's copy stays, and shows through again.
    EXPECT_EQ(errorOf("ERASEFILE \"shipped.txt"), "");
    EXPECT_FALSE(exists("data/Shipped.txt"));
    EXPECT_EQ(errorOf("ERASEFILE \"shipped.txt"), "Logo Error: Disk IO Error");
    EXPECT_EQ(errorOf("ERASEFILE \"levels\\\\one.txt"), "Logo Error: Disk IO Error");
    EXPECT_EQ(errorOf("ERASEFILE \"tune.txt"), "Logo Error: Disk IO Error");
    EXPECT_EQ(contents("stack/Shipped.txt"), "shipped\n");
    EXPECT_EQ(contents("stack/Levels/One.txt"), "level one\n");
    EXPECT_EQ(contents("media/Tune.txt"), "tune\n");
    EXPECT_EQ(errorOf("RENAME \"levels\\\\one.txt \"two.txt"), "Logo Error: Disk IO Error");
    EXPECT_EQ(errorOf("RENAME \"scores.txt \"Best.txt"), "");
    EXPECT_EQ(contents("data/Best.txt"), "top 10\n");
    // A name the stack's folder holds is taken: nothing is renamed onto it, no folder made as it.
    EXPECT_EQ(errorOf("RENAME \"best.txt \"SHIPPED.TXT"), "Logo Error: Disk IO Error");
    fs::create_directories(root / "stack/Extra");
    EXPECT_EQ(errorOf("CREATEDIRECTORY \"extra"), "Logo Error: Disk IO Error");
    EXPECT_FALSE(exists("data/Shipped.txt"));
    EXPECT_FALSE(exists("data/extra"));
}

TEST_F(WorldTest, ALinkInTheDataFolderIsNoWayOut) {
    fs::create_directories(root / "data");
    fs::create_symlink(root / "outside/made", root / "data/Dangling");
    fs::create_symlink(root / "outside/secret", root / "data/Secret");
    fs::create_symlink(root / "outside", root / "data/Out");
    EXPECT_EQ(errorOf("OPEN \"Dangling"), "Logo Error: Can't read from \"Dangling");
    EXPECT_EQ(errorOf("SAVE \"Dangling"), "Logo Error: Can't write to \"Dangling");
    EXPECT_EQ(errorOf("SAVE \"Secret"), "Logo Error: Can't write to \"Secret");
    EXPECT_EQ(errorOf("SAVE \"Out\\\\made"), "Logo Error: Can't write to \"Out\\made");
    EXPECT_EQ(errorOf("CREATEDIRECTORY \"Out\\\\made"), "Logo Error: Disk IO Error");
    EXPECT_FALSE(exists("outside/made"));
    EXPECT_EQ(contents("outside/secret"), "secret\n");
    // Erasing a link takes the link away, never what it names.
    EXPECT_EQ(errorOf("ERASEFILE \"Secret"), "");
    EXPECT_EQ(contents("outside/secret"), "secret\n");
}

TEST_F(WorldTest, ThePrefixAndTheListingsShowTheWorld) {
    EXPECT_EQ(run("SHOW PREFIX SHOW ONLINE"), "C:\\\n[C:\\]\n");
    run("CREATEDIRECTORY \"Mine SETPREFIX \"levels");
    EXPECT_EQ(errorCount(), 0u);
    EXPECT_TRUE(fs::is_directory(root / "data/Mine"));
    EXPECT_EQ(run("SHOW PREFIX POFILE \"one.txt"), "C:\\levels\nlevel one\n");
    EXPECT_EQ(run("SETPREFIX \"\\\\mine SHOW PREFIX SETPREFIX \"..\\\\ SHOW PREFIX"), "C:\\mine\nC:\\\n");
    put("data/shipped.TXT", "mine\n");
    run("TO NAMES :L\nIF EMPTYP :L [OP []]\nOP FPUT FIRST FIRST :L NAMES BF :L\nEND\n");
    // Each name once (the data folder's own first), links that lead out left out.
    EXPECT_EQ(run("SHOW NAMES DIR"), "[Levels LinkIn Mine shipped.TXT Tune.txt]\n");
    EXPECT_EQ(errorCount(), 0u);
}

} // namespace
} // namespace cv::script::test
