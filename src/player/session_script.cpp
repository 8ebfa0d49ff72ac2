// Reading session scripts: each line becomes one command with its arguments checked, so that
// a script with a mistake is refused before anything runs.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>

#include "core/text_encoding.h"
#include "player/session.h"

namespace cv {

namespace {

struct NamedKey {
    const char* name;
    int vk;
    uint32_t ch; // the character it types, 0 for none
};

constexpr NamedKey kNamedKeys[] = {
    {"Return", kKeyReturn, 13}, {"Enter", kKeyReturn, 13}, {"Escape", kKeyEscape, 0},
    {"Tab", kKeyTab, 0},        {"Delete", kKeyDelete, 0}, {"Backspace", kKeyBack, 0},
    {"Space", kKeySpace, ' '},  {"Left", kKeyLeft, 0},     {"Right", kKeyRight, 0},
    {"Up", kKeyUp, 0},          {"Down", kKeyDown, 0},
};

// The punctuation keys of a US keyboard: the character alone and with Shift.
struct PunctuationKey {
    char plain;
    char shifted;
    int vk;
};
constexpr PunctuationKey kPunctuation[] = {
    {'`', '~', kKeyOem3}, {'-', '_', 0xBD}, {'=', '+', 0xBB}, {'[', '{', 0xDB},
    {']', '}', 0xDD},     {'\\', '|', 0xDC}, {';', ':', kKeyOem1}, {'\'', '"', 0xDE},
    {',', '<', kKeyOemComma}, {'.', '>', kKeyOemPeriod}, {'/', '?', 0xBF},
};
constexpr char kShiftedDigits[] = ")!@#$%^&*(";

bool sameWord(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

Message keyMessage(MsgType type, int vk, uint32_t modifiers) {
    Message m;
    m.type = type;
    m.key = vk;
    m.modifiers = modifiers;
    return m;
}

std::vector<std::string_view> words(std::string_view s) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
        const size_t start = i;
        while (i < s.size() && !std::isspace(static_cast<unsigned char>(s[i]))) ++i;
        if (i > start) out.push_back(s.substr(start, i - start));
    }
    return out;
}

// What follows the first `skip` words of a line, without its leading blanks.
std::string_view restAfter(std::string_view line, int skip) {
    size_t i = 0;
    for (int w = 0; w < skip; ++w) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
        while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    }
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    return line.substr(i);
}

bool parseInt(std::string_view s, int64_t lo, int64_t hi, int64_t* out) {
    int64_t v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || v < lo || v > hi) return false;
    *out = v;
    return true;
}

bool parseModifier(std::string_view w, uint32_t* mods) {
    if (sameWord(w, "ctrl") || sameWord(w, "control")) *mods |= kModControl;
    else if (sameWord(w, "shift")) *mods |= kModShift;
    else if (sameWord(w, "alt")) *mods |= kModAlt;
    else return false;
    return true;
}

bool parseColour(std::string_view s, uint32_t* out) {
    if (s.size() != 7 || s[0] != '#') return false;
    uint32_t v = 0;
    const auto [end, ec] = std::from_chars(s.data() + 1, s.data() + 7, v, 16);
    if (ec != std::errc() || end != s.data() + 7) return false;
    *out = v;
    return true;
}

class LineParser {
public:
    LineParser(std::string_view line, int number) : line_(line), w_(words(line)) { cmd_.line = number; }

    // The command of the line, or an error text.
    std::optional<SessionCommand> parse(std::string* error) {
        const std::string_view verb = w_[0];
        if (verb == "open") return withPath(SessionOp::Open, error);
        if (verb == "click") return mouse(SessionOp::Click, error);
        if (verb == "down") return mouse(SessionOp::Down, error);
        if (verb == "up") return mouse(SessionOp::Up, error);
        if (verb == "move") return mouse(SessionOp::Move, error);
        if (verb == "dblclick") return mouse(SessionOp::DoubleClick, error);
        if (verb == "key") return key(error);
        if (verb == "type") return type(error);
        if (verb == "command") return number(SessionOp::Command, 0, 65535, error);
        if (verb == "wait") return number(SessionOp::Wait, 0, 1000LL * 60 * 60 * 24, error);
        if (verb == "answer") return number(SessionOp::Answer, 52, 54, error);
        if (verb == "answer-text") return text(SessionOp::AnswerText, 1);
        if (verb == "runbox") return text(SessionOp::RunBox, 1);
        if (verb == "runbox-answer") return text(SessionOp::RunBoxAnswer, 1);
        if (verb == "answer-file") return withPath(SessionOp::AnswerFile, error);
        if (verb == "cancel") return bare(SessionOp::Cancel, 1, error);
        if (verb == "snapshot") return withPath(SessionOp::Snapshot, error);
        if (verb == "snapshot-step") return snapshotStep(error);
        if (verb == "print") {
            if (w_.size() >= 2 && w_[1] == "card") return bare(SessionOp::PrintCard, 2, error);
            *error = "print what? (print card)";
            return std::nullopt;
        }
        if (verb == "expect") return expect(error);
        if (verb == "at") return at(error);
        if (verb == "record-audio") return withPath(SessionOp::RecordAudio, error);
        if (verb == "script-limit") return number(SessionOp::ScriptLimit, 1, 1000LL * 60 * 60 * 24, error);
        *error = "unknown command \"" + std::string(verb) + "\"";
        return std::nullopt;
    }

private:
    // A command for later: its clock time is fixed when the line runs.
    std::optional<SessionCommand> at(std::string* error) {
        int64_t ms = 0;
        if (w_.size() < 3 || !parseInt(w_[1], 0, 1000LL * 60 * 60 * 24, &ms)) {
            *error = "at needs milliseconds and a command";
            return std::nullopt;
        }
        auto later = LineParser(restAfter(line_, 2), cmd_.line).parse(error);
        if (!later) return std::nullopt;
        constexpr SessionOp kLater[] = {SessionOp::Click, SessionOp::Down, SessionOp::Up, SessionOp::Move,
                                        SessionOp::DoubleClick, SessionOp::Key, SessionOp::Type,
                                        SessionOp::Snapshot, SessionOp::ExpectCard, SessionOp::ExpectPixel};
        if (later->at >= 0 || std::find(std::begin(kLater), std::end(kLater), later->op) == std::end(kLater)) {
            *error = "at runs click, down, up, move, dblclick, key, type, snapshot, expect card or expect pixel";
            return std::nullopt;
        }
        later->at = ms;
        return later;
    }

    std::optional<SessionCommand> bare(SessionOp op, size_t count, std::string* error) {
        if (w_.size() != count) {
            *error = "unexpected \"" + std::string(w_[count]) + "\"";
            return std::nullopt;
        }
        cmd_.op = op;
        return cmd_;
    }

    std::optional<SessionCommand> text(SessionOp op, int skip) {
        cmd_.op = op;
        cmd_.text = std::string(restAfter(line_, skip));
        return cmd_;
    }

    std::optional<SessionCommand> withPath(SessionOp op, std::string* error) {
        cmd_.op = op;
        cmd_.text = std::string(restAfter(line_, 1));
        if (cmd_.text.empty()) {
            *error = std::string(w_[0]) + " needs a path";
            return std::nullopt;
        }
        if (op == SessionOp::Snapshot && !picturePath(error)) return std::nullopt;
        return cmd_;
    }

    // A snapshot is written in the format its name ends in: a name that gives none is refused.
    bool picturePath(std::string* error) {
        if (pictureFormatFor(cmd_.text)) return true;
        *error = std::string(w_[0]) + " cannot write \"" + cmd_.text + "\": a picture's name ends in " + kPictureEndings;
        return false;
    }

    std::optional<SessionCommand> number(SessionOp op, int64_t lo, int64_t hi, std::string* error) {
        if (w_.size() != 2 || !parseInt(w_[1], lo, hi, &cmd_.number)) {
            *error = std::string(w_[0]) + " needs one number from " + std::to_string(lo) + " to " + std::to_string(hi);
            return std::nullopt;
        }
        cmd_.op = op;
        return cmd_;
    }

    std::optional<SessionCommand> snapshotStep(std::string* error) {
        if (w_.size() < 3 || !parseInt(w_[1], 1, 1000000, &cmd_.number)) {
            *error = "snapshot-step needs a step number from 1 and a path";
            return std::nullopt;
        }
        cmd_.op = SessionOp::SnapshotStep;
        cmd_.text = std::string(restAfter(line_, 2));
        if (!picturePath(error)) return std::nullopt;
        return cmd_;
    }

    bool point(size_t at, std::string* error) {
        int64_t x = 0, y = 0;
        if (w_.size() < at + 2 || !parseInt(w_[at], -32768, 32767, &x) || !parseInt(w_[at + 1], -32768, 32767, &y)) {
            *error = std::string(w_[0]) + " needs X and Y in card coordinates";
            return false;
        }
        cmd_.x = int(x);
        cmd_.y = int(y);
        return true;
    }

    bool modifiers(size_t from, uint32_t* mods, std::string* error) {
        for (size_t i = from; i < w_.size(); ++i) {
            if (!parseModifier(w_[i], mods)) {
                *error = "unknown modifier \"" + std::string(w_[i]) + "\" (ctrl, shift or alt)";
                return false;
            }
        }
        return true;
    }

    std::optional<SessionCommand> mouse(SessionOp op, std::string* error) {
        if (!point(1, error) || !modifiers(3, &cmd_.modifiers, error)) return std::nullopt;
        cmd_.op = op;
        return cmd_;
    }

    std::optional<SessionCommand> key(std::string* error) {
        if (w_.size() < 2) {
            *error = "key needs a key name";
            return std::nullopt;
        }
        uint32_t mods = 0;
        if (!modifiers(2, &mods, error)) return std::nullopt;
        auto messages = keyMessages(w_[1], mods, error);
        if (!messages) return std::nullopt;
        cmd_.op = SessionOp::Key;
        cmd_.text = std::string(w_[1]);
        cmd_.messages = std::move(*messages);
        return cmd_;
    }

    std::optional<SessionCommand> type(std::string* error) {
        const std::string bytes = utf8ToCp1252(restAfter(line_, 1));
        if (bytes.empty()) {
            *error = "type needs a text";
            return std::nullopt;
        }
        cmd_.op = SessionOp::Type;
        for (unsigned char c : bytes) {
            Message m;
            m.type = MsgType::Char;
            m.ch = c;
            cmd_.messages.push_back(m);
        }
        return cmd_;
    }

    std::optional<SessionCommand> expect(std::string* error) {
        const std::string_view what = w_.size() >= 2 ? w_[1] : std::string_view();
        if (what == "card") {
            if (w_.size() != 3 || !parseInt(w_[2], 0, 65535, &cmd_.number)) {
                *error = "expect card needs one card number";
                return std::nullopt;
            }
            cmd_.op = SessionOp::ExpectCard;
            return cmd_;
        }
        if (what == "title") return text(SessionOp::ExpectTitle, 2);
        if (what == "alert") return text(SessionOp::ExpectAlert, 2);
        if (what == "text-window") return text(SessionOp::ExpectTextWindow, 2);
        if (what == "pixel" || what == "step-pixel") {
            if (!point(2, error)) return std::nullopt;
            if (w_.size() != 5 || !parseColour(w_[4], &cmd_.colour)) {
                *error = "expect " + std::string(what) + " needs X Y #RRGGBB";
                return std::nullopt;
            }
            cmd_.op = what == "pixel" ? SessionOp::ExpectPixel : SessionOp::ExpectStepPixel;
            return cmd_;
        }
        if (what == "sound") {
            if (w_.size() != 3 || (w_[2] != "playing" && w_[2] != "silent")) {
                *error = "expect sound needs playing or silent";
                return std::nullopt;
            }
            cmd_.op = SessionOp::ExpectSound;
            cmd_.number = w_[2] == "playing" ? 1 : 0;
            return cmd_;
        }
        if (what == "movie") {
            if (w_.size() != 3 || (w_[2] != "playing" && w_[2] != "done")) {
                *error = "expect movie needs playing or done";
                return std::nullopt;
            }
            cmd_.op = SessionOp::ExpectMovie;
            cmd_.number = w_[2] == "playing" ? 1 : 0;
            return cmd_;
        }
        *error = "expect what? (card, title, alert, text-window, pixel, step-pixel, sound or movie)";
        return std::nullopt;
    }

    std::string_view line_;
    std::vector<std::string_view> w_;
    SessionCommand cmd_;
};

} // namespace

std::optional<std::vector<Message>> keyMessages(std::string_view name, uint32_t modifiers, std::string* error) {
    int vk = 0;
    uint32_t plain = 0, shifted = 0;
    bool impliesShift = false;
    auto named = std::find_if(std::begin(kNamedKeys), std::end(kNamedKeys),
                              [&](const NamedKey& k) { return name.size() > 1 && sameWord(name, k.name); });
    const std::string bytes = utf8ToCp1252(name);
    if (named != std::end(kNamedKeys)) {
        vk = named->vk;
        plain = shifted = named->ch;
    } else if (bytes.size() != 1) {
        if (error) *error = "unknown key \"" + std::string(name) + "\"";
        return std::nullopt;
    } else {
        const char c = bytes[0];
        const char* digit = c ? std::strchr(kShiftedDigits, c) : nullptr;
        auto punct = std::find_if(std::begin(kPunctuation), std::end(kPunctuation),
                                  [&](const PunctuationKey& k) { return k.plain == c || k.shifted == c; });
        if (c >= 'a' && c <= 'z') {
            vk = c - 'a' + 'A';
            plain = uint32_t(c);
            shifted = uint32_t(vk);
        } else if (c >= 'A' && c <= 'Z') {
            vk = c;
            plain = shifted = uint32_t(c);
            impliesShift = true;
        } else if (c >= '0' && c <= '9') {
            vk = c;
            plain = uint32_t(c);
            shifted = uint32_t(uint8_t(kShiftedDigits[c - '0']));
        } else if (digit) {
            vk = '0' + int(digit - kShiftedDigits);
            plain = shifted = uint32_t(uint8_t(c));
            impliesShift = true;
        } else if (punct != std::end(kPunctuation)) {
            vk = punct->vk;
            plain = uint32_t(uint8_t(punct->plain));
            shifted = uint32_t(uint8_t(punct->shifted));
            impliesShift = c == punct->shifted;
        } else if (c == ' ') {
            vk = kKeySpace;
            plain = shifted = ' ';
        } else {
            if (error) *error = "no key types \"" + std::string(name) + "\" (use type)";
            return std::nullopt;
        }
    }
    if (impliesShift) modifiers |= kModShift;

    std::vector<Message> out;
    struct Held {
        uint32_t bit;
        int vk;
    };
    constexpr Held kHeld[] = {{kModControl, kKeyControl}, {kModShift, kKeyShift}, {kModAlt, kKeyAlt}};
    uint32_t down = 0;
    for (const Held& h : kHeld) {
        if (!(modifiers & h.bit)) continue;
        down |= h.bit;
        out.push_back(keyMessage(MsgType::KeyDown, h.vk, down));
    }
    out.push_back(keyMessage(MsgType::KeyDown, vk, modifiers));
    const uint32_t ch = (modifiers & kModShift) ? shifted : plain;
    if (ch && !(modifiers & (kModControl | kModAlt))) {
        Message c = keyMessage(MsgType::Char, 0, modifiers);
        c.ch = ch;
        out.push_back(c);
    }
    out.push_back(keyMessage(MsgType::KeyUp, vk, modifiers));
    for (auto it = std::rbegin(kHeld); it != std::rend(kHeld); ++it) {
        if (!(modifiers & it->bit)) continue;
        down &= ~it->bit;
        out.push_back(keyMessage(MsgType::KeyUp, it->vk, down));
    }
    return out;
}

ParsedSession parseSession(std::string_view script) {
    ParsedSession out;
    int number = 0;
    while (!script.empty()) {
        const size_t nl = script.find('\n');
        std::string_view line = script.substr(0, nl);
        script = nl == std::string_view::npos ? std::string_view() : script.substr(nl + 1);
        ++number;
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.remove_suffix(1);
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == '#') continue;
        std::string error;
        if (auto cmd = LineParser(line, number).parse(&error)) out.commands.push_back(std::move(*cmd));
        else out.errors.push_back("line " + std::to_string(number) + ": " + error);
    }
    return out;
}

} // namespace cv
