#pragma once
// A fixture for tests of the open stack: a fresh folder, no open stack or chunk file, and the
// headless Ui's log to read what was shown.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/handles.h"
#include "stack/bitmap.h"
#include "independent_writer.h"

namespace cvtest {

class StackTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string path(const std::string& name) const { return (dir / name).string(); }
    std::string write(const std::string& name, const Bytes& bytes);
    // String ids of the alerts shown since the test began.
    std::vector<int> alerts() const;
    bool alerted(int id) const;
    // The open stack's card record n (1-based), native form.
    const uint8_t* card(int n) const;
    uint32_t cardSize(int n) const;
    // Offset of the object of that kind and id on card n.
    const uint8_t* object(int n, uint16_t kind, uint16_t id) const;
    const uint8_t* chunkData(uint32_t type, uint16_t id) const;

    std::filesystem::path dir;
};

void closeAllChunkFiles();
std::string bytesOf(cv::Handle h);
// Same size and the same pixel values.
void expectSamePixels(const cv::Bitmap& a, const cv::Bitmap& b);

} // namespace cvtest
