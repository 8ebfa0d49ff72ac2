#pragma once
// Player messages: everything the platform reports to the player (mouse, keys, characters,
// menu commands, timer ticks, close requests) becomes one of these, queued, and dispatched
// one at a time by Player::dispatch on the user-interface thread.
#include <cstdint>
#include <deque>
#include <functional>

namespace cv {

enum class MsgType : uint8_t {
    MouseMove,
    MouseDown,
    MouseUp,
    DoubleClick,
    RightDown,
    KeyDown,
    KeyUp,
    Char,
    Command,
    Timer,
    Close,
    Quit,
    FocusIn,
    FocusOut,
};

// Modifier bits of input messages.
enum : uint32_t { kModShift = 1, kModControl = 2, kModAlt = 4 };

// Virtual key codes (the Windows values, which the shortcut table is written in).
enum : int {
    kKeyBack = 8,
    kKeyTab = 9,
    kKeyReturn = 13,
    kKeyShift = 16,
    kKeyControl = 17,
    kKeyAlt = 18,
    kKeyEscape = 27,
    kKeySpace = 32,
    kKeyLeft = 37,
    kKeyUp = 38,
    kKeyRight = 39,
    kKeyDown = 40,
    kKeyDelete = 46,
    kKeyOem1 = 0xBA,      // ;
    kKeyOemComma = 0xBC,  // ,
    kKeyOemPeriod = 0xBE, // .
    kKeyOem3 = 0xC0,      // `
};

struct Message {
    MsgType type = MsgType::MouseMove;
    int x = 0, y = 0;          // card coordinates for mouse messages
    int key = 0;               // virtual key for key messages (characters: the key that typed them); timer id for timers
    uint32_t modifiers = 0;
    uint32_t ch = 0;           // the character (Windows-1252) of a Char message
    int command = 0;           // menu command id
    int notify = 0;            // command notify code
    bool buttonDown = false;   // mouse moves: the left button is held

    bool isMouseButton() const {
        return type == MsgType::MouseDown || type == MsgType::MouseUp || type == MsgType::DoubleClick ||
               type == MsgType::RightDown;
    }
};

// The queue of messages waiting for dispatch.
class MessageQueue {
public:
    void post(const Message& m) { q_.push_back(m); }
    bool empty() const { return q_.empty(); }
    size_t size() const { return q_.size(); }
    const Message* peek() const { return q_.empty() ? nullptr : &q_.front(); }
    bool take(Message* m) {
        if (q_.empty()) return false;
        *m = q_.front();
        q_.pop_front();
        return true;
    }
    // Removes every message for which `pred` is true.
    void removeIf(const std::function<bool(const Message&)>& pred) {
        std::erase_if(q_, pred);
    }
    void clear() { q_.clear(); }
    auto begin() const { return q_.begin(); }
    auto end() const { return q_.end(); }

private:
    std::deque<Message> q_;
};

} // namespace cv
