#pragma once
// Builds stored 'Snd ' resources byte by byte for the media tests.
#include <cstdint>
#include <vector>

#include "core/byte_order.h"

namespace cv::test {

class SndBuilder {
public:
    SndBuilder& form1(int16_t formats, int16_t commands, uint16_t formatWord = 1) {
        put16(formatWord);
        put16(uint16_t(formats));
        for (int i = 0; i < formats; ++i) { put16(5); put32(0x80); }
        put16(uint16_t(commands));
        for (int i = 0; i < commands; ++i) { put16(0x8051); put16(0); put32(20); }
        return *this;
    }
    SndBuilder& form2(int16_t commands, uint16_t formatWord = 2) {
        put16(formatWord);
        put16(0);
        put16(uint16_t(commands));
        for (int i = 0; i < commands && i < 64; ++i) { put16(0x8051); put16(0); put32(14); }
        return *this;
    }
    // Standard header; `length` sample bytes follow unless samples() gives them.
    SndBuilder& standard(uint32_t length, uint32_t rate, uint8_t encoding = 0) {
        put32(0); put32(length); put32(rate); put32(0); put32(0);
        b_.push_back(encoding); b_.push_back(60);
        pending_ = length;
        return *this;
    }
    SndBuilder& extended(uint32_t channels, uint32_t frames, uint16_t sampleSize, uint32_t rate) {
        longHeader(channels, frames, rate, 0xFF);
        put16At(b_.size() - 64 + 48, sampleSize);
        pending_ = uint64_t(frames) * (sampleSize / 8) * channels;
        return *this;
    }
    SndBuilder& compressed(uint32_t channels, uint32_t packets, int16_t id, uint16_t sampleSize, uint32_t rate) {
        longHeader(channels, packets, rate, 0xFE);
        put16At(b_.size() - 64 + 56, uint16_t(id));
        put16At(b_.size() - 64 + 62, sampleSize);
        pending_ = uint64_t(packets) * channels * (id == 3 ? 2u : id == 4 ? 1u : sampleSize / 8u);
        return *this;
    }
    SndBuilder& samples(const std::vector<uint8_t>& s) {
        b_.insert(b_.end(), s.begin(), s.end());
        pending_ = 0;
        return *this;
    }
    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> out = b_;
        // Zero samples for the counts given, within reason (huge counts are left to fail).
        if (pending_ < (1u << 24)) out.resize(out.size() + pending_, 0);
        return out;
    }

private:
    void longHeader(uint32_t channels, uint32_t frames, uint32_t rate, uint8_t encoding) {
        put32(0); put32(channels); put32(rate); put32(0); put32(0);
        b_.push_back(encoding); b_.push_back(60);
        put32(frames);
        b_.resize(b_.size() + 64 - 26, 0);
    }
    void put16(uint16_t v) { b_.push_back(uint8_t(v >> 8)); b_.push_back(uint8_t(v)); }
    void put32(uint32_t v) { put16(uint16_t(v >> 16)); put16(uint16_t(v)); }
    void put16At(size_t at, uint16_t v) { storeBE16(&b_[at], v); }
    std::vector<uint8_t> b_;
    uint64_t pending_ = 0;
};

} // namespace cv::test
