#pragma once
// The interpreter's only ways out: text output and line input, the player's command
// dispatcher (the parameter block and its callback), a drawing surface for the turtle, and the
// host's hooks for waiting and for the Escape key. Each has a do-nothing default, so the
// interpreter runs on its own (the `quill` tool, tests) exactly as in the player.
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "media/nba_abi.h"

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
    // True when this input also decides when the read dialog asks instead (the player's
    // windows); otherwise READWORD asks the read dialog itself while TURTLEIO draws.
    virtual bool choosesReadDialog() const { return false; }
};

// The 78-byte parameter block shared with plug-ins; little-endian, at the offsets plug-ins
// know. The interpreter fills `command` and the five parameters and runs the callback.
struct NBAParamBlock {
    static constexpr size_t kSize = NBA_BLOCK_SIZE;
    static constexpr size_t kCommandOffset = NBA_OFF_COMMAND;
    static constexpr size_t kParamOffset = NBA_OFF_PARAM1;
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

// How drawing meets what is already there.
enum class PenOp : uint8_t {
    Copy,  // the colour replaces the pixel
    Xor,   // the pixel is exclusive-ored with the colour (white inverts; twice restores)
    Or,    // the colour is added bit by bit (the two stereo views on black)
};

// A shape of the shape primitives, in window pixels (right and bottom exclusive).
struct SurfaceShape {
    enum Kind : uint8_t { Rect, Oval, RoundRect, Arc } kind = Rect;
    enum Verb : uint8_t { Frame, Paint, Erase, Invert } verb = Frame;
    int64_t left = 0, top = 0, right = 0, bottom = 0;
    int cornerWidth = 0, cornerHeight = 0;    // RoundRect
    double startAngle = 0, arcAngle = 0;      // Arc: degrees clockwise from straight up
    uint32_t colour = 0;                      // 0xRRGGBB; Frame and Paint: fore, Erase: back
    int penWidth = 1, penHeight = 1;          // Frame: the outline lies inside the shape
};

// Text attributes of the shape and text primitives. An empty name is the default font.
struct SurfaceFont {
    std::string name;
    int size = 12;     // points
    int style = 0;     // 1 bold, 2 italic, 4 underline
    bool operator==(const SurfaceFont&) const = default;
};

struct SurfaceFontMetrics {
    int ascent = 0, descent = 0, leading = 0;
};

// The window the turtle and the shape primitives draw in, in window pixels with y downward.
// Colours are 0xRRGGBB. Coordinates may lie anywhere; the surface clips to its window (and to
// the copy a repaint comes from, which receives the same drawing). A run with no surface draws
// nothing.
class DrawingSurface {
public:
    virtual ~DrawingSurface() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    // One primitive's drawing happens between these; the surface may keep its painters open.
    virtual void beginDrawing() {}
    virtual void endDrawing() {}
    // Changes whenever the window's picture is replaced by something the turtle did not draw
    // (another card shown), so that the turtle knows its triangle is gone.
    virtual uint64_t generation() const { return 0; }
    // A 1-pixel line from (x0, y0) towards (x1, y1); the last point is not drawn, so that
    // joined lines cover each pixel once.
    virtual void drawLine(double x0, double y0, double x1, double y1, uint32_t rgb, PenOp op) = 0;
    virtual void drawPoint(int64_t x, int64_t y, uint32_t rgb, PenOp op) = 0;
    // The whole window (and its copy) in one colour.
    virtual void clear(uint32_t rgb) = 0;
    // Fills the region of like-coloured pixels around (x, y) as the window shows it, on the
    // window and its copy.
    virtual void floodFill(int64_t x, int64_t y, uint32_t rgb) = 0;
    // The colour of a window pixel; false outside the window.
    virtual bool pixel(int64_t x, int64_t y, uint32_t& rgb) const = 0;
    virtual void drawShape(const SurfaceShape& shape) = 0;
    // Text with its top left corner at (x, y); returns its advance width.
    virtual int drawText(int64_t x, int64_t y, std::string_view text, const SurfaceFont& font, uint32_t rgb) = 0;
    virtual SurfaceFontMetrics fontMetrics(const SurfaceFont& font) = 0;
    virtual int textWidth(std::string_view text, const SurfaceFont& font) = 0;

    // The turtle that draws here, kept with its window (the turtle family owns what it holds).
    std::shared_ptr<void> turtle;
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
    // Whether the mouse button is held (BUTTONP).
    virtual bool pointerButtonDown() { return false; }
    // Starts a tone of `frequency` hertz lasting `durationMs` (TOOT waits for it to end).
    // Without sound nothing is heard.
    virtual void tone(double frequency, uint64_t durationMs) { (void)frequency; (void)durationMs; }
    // The script editor (EDIT, EDITS): shows `text` and hands the edited text to `define`
    // when the person asks for it to be defined or closes the editor; the editor closes once
    // `define` accepts it (it shows its own errors). False when there is no editor.
    virtual bool editScript(std::string_view title, const std::string& text,
                            const std::function<bool(const std::string&)>& define) {
        (void)title; (void)text; (void)define;
        return false;
    }
};

} // namespace cv::script
