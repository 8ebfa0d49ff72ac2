#pragma once
// Byte-order helpers. Stacks are big-endian on disk whatever machine made them; records are
// converted field by field, in place. All helpers here work on raw memory and never fail.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <utility>

namespace cv {

inline uint16_t loadBE16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t loadBE32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
inline void storeBE16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v >> 8); p[1] = uint8_t(v); }
inline void storeBE32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24); p[1] = uint8_t(v >> 16); p[2] = uint8_t(v >> 8); p[3] = uint8_t(v);
}
inline uint16_t loadLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t loadLE32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void storeLE16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void storeLE32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
}

// In-memory (native, little-endian on every host we build for) field access.
inline uint16_t get16(const uint8_t* p) { return loadLE16(p); }
inline uint32_t get32(const uint8_t* p) { return loadLE32(p); }
inline int16_t geti16(const uint8_t* p) { return static_cast<int16_t>(loadLE16(p)); }
inline void put16(uint8_t* p, uint16_t v) { storeLE16(p, v); }
inline void put32(uint8_t* p, uint32_t v) { storeLE32(p, v); }

// Exchanges the two bytes of a 16-bit field.
inline void Swap16(uint8_t* p) { std::swap(p[0], p[1]); }
// Reverses the four bytes of a 32-bit field.
inline void Swap32(uint8_t* p) { std::swap(p[0], p[3]); std::swap(p[1], p[2]); }
// Stored top, left, bottom, right (big-endian) <-> in memory left, top, right, bottom (native).
// The conversion is its own inverse, so the same call converts in both directions.
inline void SwapRect(uint8_t* p) {
    for (int i = 0; i < 8; i += 2) Swap16(p + i);
    uint8_t t[2];
    std::memcpy(t, p, 2); std::memcpy(p, p + 2, 2); std::memcpy(p + 2, t, 2);
    std::memcpy(t, p + 4, 2); std::memcpy(p + 4, p + 6, 2); std::memcpy(p + 6, t, 2);
}

// A bounds-checked reader over stored (big-endian) bytes. Reads past the end yield 0 and
// set the failure flag, so parsers can read a whole header and check once.
class BeReader {
public:
    BeReader() = default;
    explicit BeReader(std::span<const uint8_t> data) : data_(data) {}
    BeReader(const uint8_t* p, size_t n) : data_(p, n) {}

    size_t size() const { return data_.size(); }
    size_t pos() const { return pos_; }
    size_t remaining() const { return pos_ <= data_.size() ? data_.size() - pos_ : 0; }
    bool ok() const { return ok_; }
    bool has(size_t n) const { return n <= remaining(); }
    void seek(size_t p) { if (p > data_.size()) { ok_ = false; pos_ = data_.size(); } else pos_ = p; }
    void skip(size_t n) { seek(n > remaining() ? data_.size() + 1 : pos_ + n); }

    uint8_t u8() { if (!has(1)) { ok_ = false; return 0; } return data_[pos_++]; }
    uint16_t u16() { if (!has(2)) { fail(); return 0; } auto v = loadBE16(&data_[pos_]); pos_ += 2; return v; }
    uint32_t u32() { if (!has(4)) { fail(); return 0; } auto v = loadBE32(&data_[pos_]); pos_ += 4; return v; }
    int16_t i16() { return static_cast<int16_t>(u16()); }
    // A view of the next n bytes (empty and failed when they are not there).
    std::span<const uint8_t> bytes(size_t n) {
        if (!has(n)) { fail(); return {}; }
        auto s = data_.subspan(pos_, n); pos_ += n; return s;
    }

private:
    void fail() { ok_ = false; pos_ = data_.size(); }
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
    bool ok_ = true;
};

} // namespace cv
