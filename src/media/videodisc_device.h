#pragma once
// The videodisc device: what the player asks of a laserdisc player, at the level of its
// device commands (open, status, seek, play, step, scan, ...). One implementation answers
// that no player is connected; another plays a disc that was digitised into a video file.
// Positions are in the device's current time format: frames, hours-minutes-seconds packed
// into the low three bytes (hours lowest), or chapters (tracks).
#include <cstdint>
#include <vector>

namespace cv {

// Statuses a device answers besides 0 (done); the numbers are those of the Windows
// multimedia errors they stand for.
constexpr int kVideodiscNoDevice = 263;   // no such device
constexpr int kVideodiscNotReady = 276;   // no disc, or the door is open
constexpr int kVideodiscBadFormat = 282;  // a time format the disc cannot use
constexpr int kVideodiscOutOfRange = 270; // a position outside the disc

enum class VideodiscFormat { Frames, Hms, Chapters };

// Player states as the record keeps them.
namespace vdstate {
constexpr uint16_t kUnknown = 0; // or the door is open
constexpr uint16_t kParked = 1;
constexpr uint16_t kNotReady = 3;
constexpr uint16_t kPlaying = 4;
constexpr uint16_t kStopped = 5;
constexpr uint16_t kPaused = 6;
constexpr uint16_t kSeeking = 7;
} // namespace vdstate

class VideodiscDevice {
public:
    virtual ~VideodiscDevice() = default;
    virtual int open() = 0;
    virtual int close() = 0;
    virtual bool ready() = 0;
    virtual int keylockOff() = 0;
    // The player state (vdstate), whether a disc is in, and its kind: '0' CAV, '1' CLV, 'X'.
    virtual int status(uint16_t& mode, bool& present, char& type) = 0;
    virtual int setFormat(VideodiscFormat format) = 0;
    virtual int setAudio(bool left, bool right) = 0;
    virtual int seek(uint32_t position) = 0;
    // Plays from where the disc is to `to`, at `framesPerSecond`.
    virtual int play(uint32_t to, bool reverse, unsigned framesPerSecond) = 0;
    // Plays on without an end, at `framesPerSecond`.
    virtual int playOn(bool reverse, unsigned framesPerSecond) = 0;
    virtual int pause() = 0;
    virtual int eject() = 0;
    virtual int spinUp() = 0;
    virtual int step(int frames) = 0;
    virtual int scan(bool reverse) = 0;
    virtual int video(bool on) = 0;
    virtual int index(bool on) = 0;
    virtual int position(uint32_t& position) = 0;
    virtual int chapter(uint32_t& chapter) = 0;
};

// A disc whose picture shows on the card rather than on a monitor beside the computer.
struct VideodiscPicture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb; // rows top first, 0xAARRGGBB
    uint32_t frame = 0;         // the disc's frame number (the index display shows it)
    bool index = false;         // the index display is on
};

class VideodiscScreen {
public:
    virtual ~VideodiscScreen() = default;
    // Moves the disc on to the clock's `nowMs`; true when the picture changed.
    virtual bool advance(uint64_t nowMs) = 0;
    // The picture shown now; null while the video is off or nothing is shown.
    virtual const VideodiscPicture* picture() const = 0;
    // When the picture next changes (clock milliseconds), or 0 when it stands still.
    virtual uint64_t nextDueMs() const = 0;
};

// No laserdisc player is connected: the device cannot be opened.
class NoVideodiscPlayer final : public VideodiscDevice {
public:
    int open() override { return kVideodiscNoDevice; }
    int close() override { return 0; }
    bool ready() override { return false; }
    int keylockOff() override { return kVideodiscNoDevice; }
    int status(uint16_t&, bool&, char&) override { return kVideodiscNoDevice; }
    int setFormat(VideodiscFormat) override { return kVideodiscNoDevice; }
    int setAudio(bool, bool) override { return kVideodiscNoDevice; }
    int seek(uint32_t) override { return kVideodiscNoDevice; }
    int play(uint32_t, bool, unsigned) override { return kVideodiscNoDevice; }
    int playOn(bool, unsigned) override { return kVideodiscNoDevice; }
    int pause() override { return kVideodiscNoDevice; }
    int eject() override { return kVideodiscNoDevice; }
    int spinUp() override { return kVideodiscNoDevice; }
    int step(int) override { return kVideodiscNoDevice; }
    int scan(bool) override { return kVideodiscNoDevice; }
    int video(bool) override { return kVideodiscNoDevice; }
    int index(bool) override { return kVideodiscNoDevice; }
    int position(uint32_t&) override { return kVideodiscNoDevice; }
    int chapter(uint32_t&) override { return kVideodiscNoDevice; }
};

} // namespace cv
