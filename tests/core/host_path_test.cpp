// Files a stack names (pictures, texts, sounds): found near the stack whatever the machine that
// stored the path, and never outside the folders searched.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "core/host_path.h"

namespace cv {
namespace {

namespace fs = std::filesystem;

class HostPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "cvhostpathXXXXXX").string();
        root = ::mkdtemp(templ.data()) ? templ : std::string();
        fs::create_directories(root / "stack/Art");
        fs::create_directories(root / "outside");
        std::ofstream(root / "stack/Art/Sky.bmp") << "sky";
        std::ofstream(root / "outside/secret.txt") << "secret";
        fs::create_symlink(root / "outside/secret.txt", root / "stack/Link.txt");
        fs::create_symlink(root / "outside", root / "stack/Out");
        folders = {(root / "stack").string()};
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    std::optional<std::string> find(const std::string& stored, AbsolutePaths a = AbsolutePaths::InFolders) const {
        return resolveHostPath(stored, folders, a);
    }
    fs::path root;
    std::vector<std::string> folders;
};

TEST_F(HostPathTest, StoredPathsFindTheFileNearTheStack) {
    const std::string sky = (root / "stack/Art/Sky.bmp").string();
    EXPECT_EQ(find("C:\\PROJECT\\ART\\SKY.BMP"), sky);
    EXPECT_EQ(find("Disk:Art:Sky.bmp"), sky);
    EXPECT_EQ(find("sky.bmp"), std::nullopt);  // only tails of the path are looked for
    EXPECT_EQ(find("C:\\X\\.\\Art\\Sky.bmp"), sky);
    EXPECT_EQ(find("C:\\X\\..\\Art\\Sky.bmp"), sky);  // the tail after the climb
    EXPECT_EQ(find(sky), sky);
}

TEST_F(HostPathTest, NoStoredPathLeadsOutOfTheFolders) {
    const std::string secret = (root / "outside/secret.txt").string();
    EXPECT_EQ(find("..\\outside\\secret.txt"), std::nullopt);
    EXPECT_EQ(find("../outside/secret.txt"), std::nullopt);
    EXPECT_EQ(find("Art\\..\\..\\outside\\secret.txt"), std::nullopt);
    EXPECT_EQ(find("Disk:..:outside:secret.txt"), std::nullopt);
    EXPECT_EQ(find(secret), std::nullopt);
    EXPECT_EQ(find("/etc/passwd"), std::nullopt);
    EXPECT_EQ(find("C:\\Link.txt"), std::nullopt);
    EXPECT_EQ(find("C:\\Out\\secret.txt"), std::nullopt);
    // What an action list plays or starts may be named by a path of this machine.
    EXPECT_EQ(find(secret, AbsolutePaths::Anywhere), secret);
    EXPECT_EQ(find("..\\outside\\secret.txt", AbsolutePaths::Anywhere), std::nullopt);
}

TEST(PathInside, FollowsLinksAndComparesWholeNames) {
    const fs::path t = fs::temp_directory_path();
    EXPECT_TRUE(PathInside(t.string(), (t / "a/b").string()));
    EXPECT_TRUE(PathInside(t.string(), t.string()));
    EXPECT_FALSE(PathInside((t / "a").string(), (t / "ab").string()));
    EXPECT_FALSE(PathInside(t.string(), (t / "../x").string()));
    EXPECT_FALSE(PathInside("/no/such/folder", "/no/such/folder/x"));
}

} // namespace
} // namespace cv
