#include "stack_test_support.h"

#include <atomic>
#include <cstdlib>
#include <unistd.h>

#include "core/alerts.h"
#include "core/ui.h"
#include "stack/chunk_file.h"
#include "stack/stack_document.h"

namespace fs = std::filesystem;

namespace cvtest {

void closeAllChunkFiles() {
    while (uint32_t ref = cv::CurrentChunkFile()) cv::CloseChunkFile(ref);
}

std::string bytesOf(cv::Handle h) {
    return std::string(reinterpret_cast<const char*>(cv::memRefs().data(h)), cv::GetHandleSize(h));
}

void expectSamePixels(const cv::Bitmap& a, const cv::Bitmap& b) {
    ASSERT_EQ(a.width, b.width);
    ASSERT_EQ(a.height, b.height);
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) ASSERT_EQ(a.pixel(x, y), b.pixel(x, y)) << x << "," << y;
}

void StackTest::SetUp() {
    static std::atomic<int> counter{0};
    dir = fs::temp_directory_path() /
          ("cvstack-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    fs::remove_all(dir);
    fs::create_directories(dir);
    cv::DisposeStack();
    closeAllChunkFiles();
    cv::SetChunkLoading(true);
    cv::setAdvancedUser(false);
    cv::resetAlertOnceList();
    cv::headlessUi().clearLog();
}

void StackTest::TearDown() {
    cv::DisposeStack();
    closeAllChunkFiles();
    std::error_code ec;
    fs::permissions(dir, fs::perms::owner_all, ec);
    fs::remove_all(dir, ec);
}

std::string StackTest::write(const std::string& name, const Bytes& bytes) {
    const std::string p = path(name);
    EXPECT_TRUE(writeFile(p, bytes));
    return p;
}

std::vector<int> StackTest::alerts() const {
    std::vector<int> ids;
    for (const std::string& line : cv::headlessUi().log())
        if (line.rfind("alert ", 0) == 0) ids.push_back(std::atoi(line.c_str() + 6));
    return ids;
}

bool StackTest::alerted(int id) const {
    for (int a : alerts())
        if (a == id) return true;
    return false;
}

const uint8_t* StackTest::card(int n) const { return cv::memRefs().data(cv::CardByNumber(n)); }
uint32_t StackTest::cardSize(int n) const { return cv::GetHandleSize(cv::CardByNumber(n)); }

const uint8_t* StackTest::object(int n, uint16_t kind, uint16_t id) const {
    const uint32_t off = cv::FindObject(cv::CardByNumber(n), kind, id);
    return off ? card(n) + off : nullptr;
}

const uint8_t* StackTest::chunkData(uint32_t type, uint16_t id) const {
    cv::SetCurrentChunkFile(cv::theStack().chunkFile);
    return cv::memRefs().data(cv::GetChunk(type, id));
}

} // namespace cvtest
