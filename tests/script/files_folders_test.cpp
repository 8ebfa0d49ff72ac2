// Names and folders: how a script's names find files here, erasing, renaming, folders and the
// prefix, listings, and printing a file.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>

#include "files_fixture.h"

namespace cv::script::test {
namespace {

using FilesFoldersTest = FilesTest;

TEST_F(FilesFoldersTest, NamesFromOtherSystemsFindFilesHere) {
    const std::string p = dir.string();
    std::filesystem::create_directory(at("Data"));
    put("Data/Scores.txt", "x");
    // Drive letters name no drive here; '\' separates folders; existing names match in any case.
    EXPECT_EQ(HostPathFor(p, "C:\\DATA\\SCORES.TXT"), p + "/Data/Scores.txt");
    EXPECT_EQ(HostPathFor(p, "data\\new.txt"), p + "/Data/new.txt");
    EXPECT_EQ(HostPathFor(p, "d:new.txt"), p + "/new.txt");
    EXPECT_EQ(HostPathFor(p, "C:\\"), p);
    EXPECT_EQ(HostPathFor(p, "/etc/hosts"), "/etc/hosts");
    EXPECT_EQ(HostPathFor(p, "caf\xE9"), p + "/caf\xC3\xA9");
    EXPECT_EQ(HostPathFor(p, ""), std::nullopt);
    // The last name as written, for a name that is to be made.
    EXPECT_EQ(HostPathFor(p, "DATA\\SCORES.TXT", false), p + "/Data/SCORES.TXT");

    EXPECT_EQ(run("OPEN \"C:\\\\DATA\\\\scores.TXT SETREAD \"c:\\\\data\\\\SCORES.txt SHOW READWORD SHOW ALLOPEN"),
              "x\n[C:\\DATA\\scores.TXT]\n");
    EXPECT_EQ(run("SHOW FILEP \"data/SCORES.TXT SHOW FILEP \"data/none SHOW FILEP \"Data"), "TRUE\nFALSE\nFALSE\n");
}

// The program files_folders erases and renames by names in any case, open and missing files.
TEST_F(FilesFoldersTest, NamesThatAreNoFileAreRefused) {
    for (const char* text : {"ERASEFILE \"", "ERASEFILE \"C:\\\\", "RENAME \"missing \"four"})
        EXPECT_EQ(errorOf(text), "Logo Error: Disk IO Error") << text;
    EXPECT_TRUE(std::filesystem::is_directory(dir));
    EXPECT_FALSE(exists("four"));
}

TEST_F(FilesFoldersTest, FoldersAndThePrefix) {
    EXPECT_EQ(run("SHOW PREFIX"), dir.string() + "\n");
    run("CREATEDIRECTORY \"sub SETPREFIX \"SUB OPEN \"inner SETWRITE \"inner PRINT \"here CLOSEALL");
    EXPECT_EQ(errorCount(), 0u);
    EXPECT_EQ(contents("sub/inner"), "here\n");
    EXPECT_EQ(run("SHOW PREFIX"), dir.string() + "/sub\n");
    EXPECT_EQ(run("SETPREFIX \"..\\\\ SHOW PREFIX SHOW FILEP \"sub/inner"), dir.string() + "\nTRUE\n");
    EXPECT_EQ(errorOf("CREATEDIRECTORY \"sub"), "Logo Error: Disk IO Error");
    EXPECT_EQ(errorOf("SETPREFIX \"sub/inner"), "Logo Error: Disk IO Error");
    EXPECT_EQ(run("SHOW PREFIX"), dir.string() + "\n");  // a failed change keeps the folder
}

TEST_F(FilesFoldersTest, CatalogAndDirListTheFolder) {
    const char* savedTz = std::getenv("TZ");
    const std::string tz = savedTz ? savedTz : "";
    setenv("TZ", "UTC", 1);
    tzset();
    put("b.txt", "hello");
    put("A_name_of_twenty_six_chars", std::string(300, 'x'));
    std::filesystem::create_directory(at("Cee"));
    for (const char* name : {"b.txt", "A_name_of_twenty_six_chars", "Cee"}) {
        const struct timespec times[2] = {{981173106, 0}, {981173106, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, at(name).c_str(), times, 0), 0);
    }
    const std::string catalog = run("CATALOG");
    const std::string listed = run("SHOW DIR");
    run("OPEN \"list SETWRITE \"list CATALOG CLOSE \"list");
    const std::string intoFile = contents("list");
    if (savedTz) setenv("TZ", tz.c_str(), 1);
    else unsetenv("TZ");
    tzset();

    EXPECT_EQ(catalog,
              "Name         Date                  Size   \n"
              "------------ --------------------  -------\n"
              "A_name_of_twenty_six_chars\n"
              "                        04:05:06 03 Feb 2001      300\n"
              "b.txt                   04:05:06 03 Feb 2001        5\n"
              "Cee                     04:05:06 03 Feb 2001        0\n");
    EXPECT_EQ(listed, "[[A_name_of_twenty_six_chars 04:05:06 03 Feb 2001 300] [b.txt 04:05:06 03 Feb 2001 5] "
                      "[Cee 04:05:06 03 Feb 2001 0]]\n");
    // Printed into the writer, which is then one of the entries.
    EXPECT_EQ(intoFile.rfind("Name         Date", 0), 0u);
    EXPECT_NE(intoFile.find("\nb.txt                   04:05:06 03 Feb 2001        5\n"), std::string::npos);
    EXPECT_NE(intoFile.find("\nlist                    "), std::string::npos);
}

TEST_F(FilesFoldersTest, PoFilePrintsTheBytesAsTheyStand) {
    put("p.txt", "line one\r\nline\ttwo");
    EXPECT_EQ(run("POFILE \"P.TXT"), "line one\r\nline\ttwo");
    // Printing a file into itself prints what it held when POFILE began.
    EXPECT_EQ(run("OPEN \"w SETWRITE \"w PRINT \"abc POFILE \"w POFILE \"w CLOSE \"w"), "");
    EXPECT_EQ(contents("w"), "abc\nabc\nabc\nabc\n");
}

} // namespace
} // namespace cv::script::test
