#pragma once
// The interpreter's only ways out: text output and line input, the player's command
// dispatcher (the parameter block and its callback), a drawing surface for the turtle, and the
// host's hooks for waiting and for the Escape key. Each has a do-nothing default, so the
// interpreter runs on its own (the `quill` tool, tests) exactly as in the player.
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace cv::script {

// Where printed text goes (the text window, a terminal). Bytes are Windows-1252.
class TextOutput {
public:
    virtual ~TextOutput() = default;
    virtual void write(std::string_view bytes) = 0;
};

// Where an interactive line comes from. `prompt` is the prompt character ('?' normally,
// '>' while a definition is being read). False when there is no more input.
class LineInput {
public:
    virtual ~LineInput() = default;
    virtual bool readLine(char prompt, std::string& line) = 0;
};

// The 78-byte parameter block shared with plug-ins; little-endian, at the offsets plug-ins
// know. The interpreter fills `command` and the five parameters and runs the callback.
struct NBAParamBlock {
    static constexpr size_t kSize = 78;
    static constexpr size_t kCommandOffset = 46;
    static constexpr size_t kParamOffset = 50;
    std::array<uint8_t, kSize> bytes{};

    uint16_t command() const { return uint16_t(bytes[kCommandOffset] | (bytes[kCommandOffset + 1] << 8)); }
    void setCommand(uint16_t c) { bytes[kCommandOffset] = uint8_t(c); bytes[kCommandOffset + 1] = uint8_t(c >> 8); }
    // i is 1..5.
    uint32_t param(int i) const {
        const uint8_t* p = &bytes[kParamOffset + 4 * size_t(i - 1)];
        return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    }
    void setParam(int i, uint32_t v) {
        uint8_t* p = &bytes[kParamOffset + 4 * size_t(i - 1)];
        p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
    }
};

// The player's command table as the interpreter sees it. Without a player, commands do nothing.
class CommandDispatcher {
public:
    virtual ~CommandDispatcher() = default;
    // The block the interpreter writes into (one block, shared with the plug-in interface).
    virtual NBAParamBlock& paramBlock() = 0;
    // Runs the command now in the block, synchronously; it reads and writes the parameters.
    virtual void NBACallback() = 0;
    // True when a player stands behind the commands.
    virtual bool hasPlayer() const { return true; }
};

// Drawing for the turtle and the shape primitives, in window pixels. The turtle family
// defines what it needs here; a run with no surface draws nothing.
class DrawingSurface {
public:
    virtual ~DrawingSurface() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
};

// The host's part in waiting and interrupting.
class ScriptHost {
public:
    virtual ~ScriptHost() = default;
    // One pass of a wait: let the platform work, returning by `deadlineMs` (process clock) at
    // the latest. The default sleeps on the process clock.
    virtual void waitIdle(uint64_t deadlineMs);
    // True once when the person asked to stop the script (Escape) or the program is quitting;
    // the request is consumed.
    virtual bool interruptRequested() { return false; }
    // A character the person types (READCHAR), waited for: its code 0..255 in the Windows
    // set, or -1 when none can come (the program is quitting, the input has ended, Escape).
    virtual int readChar() { return -1; }
    // True when a typed character is waiting (KEYP).
    virtual bool charWaiting() { return false; }
    // The pointer's position in the drawing window, in its pixels; false when unknown.
    virtual bool pointerPosition(int& x, int& y) { (void)x; (void)y; return false; }
};

} // namespace cv::script
