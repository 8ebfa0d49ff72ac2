#include "media/sound_description.h"

#include <array>
#include <cctype>

#include "core/alerts.h"
#include "core/byte_order.h"

namespace cv {

namespace {

constexpr int kAlertBadSound = 2390;
// More channels than this in an uncompressed stored sound is damage, not a recording.
constexpr uint32_t kMaxRawChannels = 8;

constexpr size_t kStandardHeader = 22;
constexpr size_t kLongHeader = 64;

int refuse(int status) {
    showAlert(kAlertBadSound);
    return status;
}

// Reads big-endian fields at offsets inside `bytes`; any read past the end fails.
struct Fields {
    std::span<const uint8_t> bytes;
    bool has(size_t at, size_t n) const { return at <= bytes.size() && n <= bytes.size() - at; }
    uint8_t u8(size_t at) const { return bytes[at]; }
    uint16_t u16(size_t at) const { return loadBE16(bytes.data() + at); }
    int16_t i16(size_t at) const { return static_cast<int16_t>(u16(at)); }
    uint32_t u32(size_t at) const { return loadBE32(bytes.data() + at); }
};

} // namespace

int DescribeStoredSound(std::span<const uint8_t> bytes, StoredSoundLayout* out) {
    *out = StoredSoundLayout{};
    const Fields f{bytes};
    if (!f.has(0, 2)) return refuse(kSoundBadFormat);

    // The preamble: the header follows the last sound command.
    size_t header = 0;
    const uint16_t format = f.u16(0);
    if (format == 1 || format == 0x0100) {
        if (!f.has(2, 2)) return refuse(kSoundBadFormat);
        const int16_t formats = f.i16(2);
        if (formats < 0 || !f.has(4 + 6 * size_t(formats), 2)) return refuse(kSoundBadFormat);
        const int16_t commands = f.i16(4 + 6 * size_t(formats));
        if (commands < 0) return refuse(kSoundBadFormat);
        header = 6 + 6 * size_t(formats) + 8 * size_t(commands);
    } else if (format == 2) {
        if (!f.has(2, 4)) return refuse(kSoundBadFormat);
        const int16_t commands = f.i16(4);
        if (commands < 0) return refuse(kSoundBadFormat);
        header = 6 + 8 * size_t(commands);
    } else {
        return refuse(kSoundBadFormat);
    }
    if (!f.has(header, kStandardHeader)) return refuse(kSoundBadFormat);

    SoundDescription& d = out->desc;
    d.sampleRate = f.u32(header + 8);
    const uint8_t encoding = f.u8(header + 20);
    uint64_t samples = 0, byteCount = 0;
    if (encoding == 0) {
        d.dataFormat = kSoundRaw;
        d.numChannels = 1;
        d.sampleSize = 8;
        samples = byteCount = f.u32(header + 4);
        out->dataOffset = uint32_t(header + kStandardHeader);
    } else if (encoding == 0xFE || encoding == 0xFF) {
        if (!f.has(header, kLongHeader)) return refuse(kSoundBadFormat);
        const uint32_t channels = f.u32(header + 4);
        const uint64_t frames = f.u32(header + 22);
        out->dataOffset = uint32_t(header + kLongHeader);
        const int16_t compression = encoding == 0xFE ? f.i16(header + 56) : 0;
        const uint16_t sampleSize = encoding == 0xFE ? f.u16(header + 62) : f.u16(header + 48);
        if (compression == 3 || compression == 4) {
            if (channels != 1 && channels != 2) return refuse(kSoundBadFormat);
            d.dataFormat = compression == 3 ? kSoundMace3 : kSoundMace6;
            d.sampleSize = sampleSize;
            samples = frames * 6;
            byteCount = frames * (compression == 3 ? 2 : 1) * channels;
        } else if (compression == 0) {
            if (channels == 0 || channels > kMaxRawChannels) return refuse(kSoundBadFormat);
            if (sampleSize != 8 && sampleSize != 16) return refuse(kSoundBadFormat);
            d.dataFormat = kSoundRaw;
            d.sampleSize = sampleSize;
            samples = frames;
            byteCount = frames * (sampleSize / 8) * channels;
        } else {
            return refuse(kSoundBadCompression);
        }
        d.numChannels = uint16_t(channels);
    } else {
        return refuse(kSoundBadFormat);
    }

    // The samples must lie inside the resource, at a rate the engine can keep time by.
    const uint32_t wholeRate = d.sampleRate >> 16;
    if (wholeRate == 0 || wholeRate == 0xFFFF) return refuse(kSoundBadFormat);
    if (samples > 0xFFFFFFFFu || !f.has(out->dataOffset, byteCount)) return refuse(kSoundBadFormat);
    out->sampleCount = uint32_t(samples);
    out->byteCount = uint32_t(byteCount);
    return 0;
}

int SoundFileKind(std::string_view path) {
    static constexpr std::array<std::string_view, 20> kExtensions = {
        "bmp", "tif", "jpg", "gif", "pcx", "bif", "pic", "pct", "tga", "stk",
        "wav", "mov", "txt", "exe", "vid", "cam", "tw", "avi", "aif", "au"};
    const size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) return -1;
    const std::string_view ext = path.substr(dot + 1);
    for (size_t i = 0; i < kExtensions.size(); ++i) {
        const std::string_view k = kExtensions[i];
        if (k.size() != ext.size()) continue;
        bool same = true;
        for (size_t j = 0; j < k.size() && same; ++j)
            same = std::tolower(static_cast<unsigned char>(ext[j])) == k[j];
        if (same) return int(i);
    }
    return -1;
}

bool IsSoundFileKind(int kind) { return kind == 10 || kind == 18 || kind == 19; }

} // namespace cv
