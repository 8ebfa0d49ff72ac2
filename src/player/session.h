#pragma once
// Headless sessions: a script of clicks, keys, menu commands, waits and checks run against a
// player without a window, on the virtual clock. `cvstack session` and the end-to-end tests
// drive the player this way.
//
// One command per line; a line whose first non-blank character is '#' is a comment:
//   open PATH                      open a stack and show its first card (an open stack is
//                                  left first, as Open Stack leaves it)
//   click X Y [ctrl] [shift] [alt] left press and release at card coordinates
//   down X Y ... / up X Y ... / move X Y ... / dblclick X Y ...
//   key NAME [ctrl] [shift] [alt]  NAME: a character, Return, Escape, Tab, Delete, Backspace,
//                                  Space, Left, Right, Up or Down
//   type TEXT                      one character message per character
//   command ID                     a menu command
//   wait MS                        let MS milliseconds pass (timers run, waits end)
//   answer 52|53|54                the next alert's answer
//   answer-text TEXT / answer-file PATH / cancel   the next question's answer
//   snapshot PATH                  the card area as a picture in the format its name ends in
//                                  (.png, .ppm, .jpg, .jpeg or .bmp)
//   snapshot-step N PATH           the card area as the next transition leaves it after its
//                                  Nth step (written when that step is drawn)
//   expect card N                  the shown card's number
//   expect title TEXT              the window title
//   expect alert [TEXT]            the text of the last alert or message box shown since the
//                                  previous `expect alert` ("\n" stands for a line break);
//                                  without TEXT: none was shown
//   expect pixel X Y #RRGGBB       the colour of one pixel of the card area
//   expect step-pixel X Y #RRGGBB  the same, in the picture the last snapshot-step took
//   print card                     the shown card, its number, id, name and the title
//   runbox TEXT                    TEXT typed in the Run Box (opened by `command 660`) and
//                                  Enter: it runs
//   runbox-answer TEXT             the next line a script waits for in the Run Box
//   expect text-window [TEXT]      what was printed in the text window since the previous
//                                  `expect text-window`, without its last line break ("\n"
//                                  stands for a line break); without TEXT: nothing
//   at MS COMMAND                  COMMAND (click, down, up, move, dblclick, key, type,
//                                  snapshot, expect card or expect pixel) when the virtual
//                                  clock is MS milliseconds past now, whatever the player is
//                                  doing then (waiting for media, a transition): the commands
//                                  after it run at once. Every such command must have run by
//                                  the end of the session.
//   script-limit MS                the longest one script run may go on (default 60000): its
//                                  waits count on the virtual clock, and its work counts too,
//                                  1 ms for every 100 evaluation steps, since the virtual clock
//                                  stands still while a loop runs. A run that goes past it is
//                                  stopped and the session fails at the line that started it.
//   record-audio PATH              from now on, what the player's sounds would sound like is
//                                  written to PATH as a 48 kHz stereo 16-bit WAV file, in the
//                                  session's time (complete when the session ends)
//   expect sound playing|silent    whether a sound is still playing (ended sounds are collected
//                                  as the player collects them, one per query)
//   expect movie playing|done      whether a movie is still playing (snapshots and expect
//                                  pixel show the frame of each movie due at that moment)
// Paths are relative to the script's folder. Texts are UTF-8.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "player/message.h"

namespace cv {

enum class SessionOp : uint8_t {
    Open, Click, Down, Up, Move, DoubleClick, Key, Type, Command, Wait,
    Answer, AnswerText, AnswerFile, Cancel, Snapshot, SnapshotStep,
    ExpectCard, ExpectTitle, ExpectAlert, ExpectPixel, ExpectStepPixel, PrintCard,
    ScriptLimit, RunBox, RunBoxAnswer, ExpectTextWindow, RecordAudio, ExpectSound,
    ExpectMovie,
};

// How long one script run may go on in a session unless the script says otherwise.
constexpr int64_t kDefaultScriptLimitMs = 60000;

struct SessionCommand {
    SessionOp op = SessionOp::Open;
    int line = 0;
    int x = 0, y = 0;
    int64_t number = 0;           // card number, command id, milliseconds, answer, step, limit
    uint32_t colour = 0;          // expect pixel: 0xRRGGBB
    uint32_t modifiers = 0;       // mouse commands
    std::string text;             // path or text, as written (UTF-8)
    std::vector<Message> messages; // key and type: the messages they post
    int64_t at = -1;              // at MS: run this MS milliseconds after the line (else -1)
};

struct ParsedSession {
    std::vector<SessionCommand> commands;
    std::vector<std::string> errors; // "line L: ..." for every line that cannot be run
};

ParsedSession parseSession(std::string_view script);

// The picture format a file name asks for by its ending, in any case: "PNG" (.png), "PPM"
// (.ppm), "JPEG" (.jpg, .jpeg) or "BMP" (.bmp); nullptr for any other name, or for a format
// this machine cannot write. Snapshots and cvstack's pictures are written this way.
const char* pictureFormatFor(std::string_view path);
// The endings pictureFormatFor knows, for messages.
inline constexpr const char* kPictureEndings = ".png, .ppm, .jpg, .jpeg or .bmp";

// The messages pressing one key makes: the modifier keys going down, KeyDown, Char (for
// printable keys and Return, unless Control or Alt is held), KeyUp, the modifiers going up.
// A character that needs Shift on a US keyboard ('A', '!', ':') holds Shift itself.
// nullopt (and `error` set) for a name that is no key.
std::optional<std::vector<Message>> keyMessages(std::string_view name, uint32_t modifiers, std::string* error);

class Session {
public:
    using Output = std::function<void(const std::string& line)>;
    // `out` receives the log (cards shown, alerts, failed expectations); `err` the reasons a
    // script could not run.
    Session(Output out, Output err);

    // Runs a script file. 0 when every expectation held; 1 when one failed or the script
    // could not run (the player quitting before the script's last line counts as that).
    int runFile(const std::string& path);
    // Runs script text whose paths are relative to `folder`.
    int run(std::string_view script, const std::filesystem::path& folder, const std::string& name = "session");

private:
    Output out_;
    Output err_;
};

} // namespace cv
