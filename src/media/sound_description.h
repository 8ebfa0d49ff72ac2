#pragma once
// Stored 'Snd ' resources: where their samples are and how they are encoded. Nothing here
// decodes a sample; the decoders (sound_decoder) are handed the description and the bytes.
#include <cstdint>
#include <span>
#include <string_view>

namespace cv {

constexpr uint32_t kSoundRaw = 0x72617720;  // 'raw '
constexpr uint32_t kSoundMace3 = 0x4D414333; // 'MAC3'
constexpr uint32_t kSoundMace6 = 0x4D414336; // 'MAC6'

// Statuses of a stored sound that cannot be played.
constexpr int kSoundBadFormat = -206;
constexpr int kSoundBadCompression = -223;

// The movie engine's sound description, in the host's byte order: the fields that are not
// listed stay 0 and are not kept.
struct SoundDescription {
    uint32_t descSize = 36;
    uint32_t dataFormat = 0;
    uint16_t dataRefIndex = 1;
    uint16_t numChannels = 0;
    uint16_t sampleSize = 0;
    uint32_t sampleRate = 0; // unsigned 16.16, as stored
};

struct StoredSoundLayout {
    SoundDescription desc;
    uint32_t dataOffset = 0;  // from the start of the resource
    uint32_t sampleCount = 0; // per channel (for MACE: packets × 6)
    uint32_t byteCount = 0;
};

// Describes the stored sound in `bytes`. 0, or -206 / -223 after alert 2390. Every count
// is checked against the resource: samples that would lie outside it, a rate whose whole
// part is 0 or 65535, more channels than a stored sound can hold or a sample size other
// than 8 or 16 bits are refused the same way.
int DescribeStoredSound(std::span<const uint8_t> bytes, StoredSoundLayout* out);

// The index of a path's extension in the player's table of known extensions (10 "wav",
// 18 "aif", 19 "au" are the sounds), or -1 without a known extension.
int SoundFileKind(std::string_view path);
bool IsSoundFileKind(int kind);

} // namespace cv
