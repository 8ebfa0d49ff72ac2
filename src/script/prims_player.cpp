// The primitives that drive the player: moving between cards, pressing buttons and menu
// items, alerts, text objects, hiding, showing and moving objects, transitions, the screen
// lock, media status, plug-ins, and the CB... primitives that build any command by hand.
// Each fills the shared parameter block and sends one numbered command; values that the
// player reads through a reference live in blocks made here (core/references.h).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/pstring.h"
#include "core/references.h"
#include "script/interpreter.h"
#include "script/player_prims.h"
#include "script/prims_words.h"
#include "script/turtle.h"

namespace cv::script {

namespace {

enum : uint16_t {
    kCmdFirst = 1, kCmdLast = 2, kCmdPrevious = 3, kCmdNext = 4, kCmdGoToCard = 5, kCmdRedraw = 6,
    kCmdFindText = 8, kCmdMenu = 10, kCmdLookup = 24, kCmdHide = 26, kCmdShow = 27, kCmdGetRect = 31,
    kCmdSetRect = 32, kCmdObjectInfo = 35, kCmdGetPosition = 37, kCmdIdle = 42, kCmdPress = 43,
    kCmdScore = 49, kCmdQuit = 57, kCmdGetText = 58, kCmdSetText = 59, kCmdCallNBA = 67, kCmdAlert = 68,
    kCmdBackgroundDirty = 70, kCmdNames = 71, kCmdDrawToScreen = 85, kCmdDrawOffscreen = 86,
    kCmdMediaStatus = 89, kCmdInvert = 122, kCmdTransitionName = 148, kCmdLock = 170, kCmdUnlock = 171,
};

constexpr uint32_t kCardByText = 0xFFFE0000u;

// What the family keeps between primitives: the pending transition and the blocks it made
// for each parameter slot (freed when the slot gets a new one).
struct PlayerState : FamilyState {
    int16_t pendingEffect = 0;
    int16_t pendingSpeed = 0;
    std::array<Handle, 5> owned{};
    ~PlayerState() override {
        for (Handle h : owned) DisposeReference(h);
    }
};

PlayerState& state(Interpreter& in) { return in.family<PlayerState>(); }
NBAParamBlock& block(Interpreter& in) { return in.commands().paramBlock(); }
bool failed(const Interpreter& in) { return in.stopRequested || in.throwInProgress; }

bool present(PrimCall& c, Ref v) {
    if (v != kNone) return true;
    c.in.RaisePrimError(kErrNotEnoughInputs, c.index, kNone);
    return false;
}

// The text of an input as the player gets it (a list's elements joined by spaces).
bool inputText(PrimCall& c, Ref v, std::string& text) {
    if (!present(c, v)) return false;
    return words::ThingText(c.in, v, text);
}

Ref word(Interpreter& in, std::string_view bytes) { return in.WordFromText(bytes); }

// Gives slot `slot` (1..5) a block of its own, freeing the one made for it before. A block
// that already holds exactly these bytes is kept. False, after "Out of space", when memory
// is short (the slot then keeps what it held).
bool putOwned(Interpreter& in, int slot, const void* bytes, uint32_t size) {
    PlayerState& s = state(in);
    Handle& owned = s.owned[size_t(slot - 1)];
    if (IsReference(owned) && ReferenceSize(owned) == size &&
        (size == 0 || std::memcmp(ReferenceData(owned, size), bytes, size) == 0)) {
        block(in).setParam(slot, uint32_t(owned));
        return true;
    }
    const Handle h = NewReferenceFrom(bytes, size);
    if (!h) {
        in.RaiseError(kErrOutOfSpace, kNone, kNone);
        return false;
    }
    DisposeReference(owned);
    owned = h;
    block(in).setParam(slot, uint32_t(h));
    return true;
}

bool putString(Interpreter& in, int slot, std::string_view text) {
    const size_t n = std::min<size_t>(text.size(), 255);
    uint8_t bytes[256];
    bytes[0] = uint8_t(n);
    std::memcpy(bytes + 1, text.data(), n);
    return putOwned(in, slot, bytes, uint32_t(n + 1));
}

void putLE32(uint8_t* d, int32_t v) {
    const uint32_t u = uint32_t(v);
    d[0] = uint8_t(u);
    d[1] = uint8_t(u >> 8);
    d[2] = uint8_t(u >> 16);
    d[3] = uint8_t(u >> 24);
}
int32_t getLE32(const uint8_t* d) {
    return int32_t(uint32_t(d[0]) | (uint32_t(d[1]) << 8) | (uint32_t(d[2]) << 16) | (uint32_t(d[3]) << 24));
}

std::string stringAt(uint32_t ref) { return CountedStringAt(Handle(ref)).value_or(std::string()); }

// ---- Coordinates ----

// The drawing window's origin and horizontal ratio; without a window the origin is 0 0.
struct Frame {
    int64_t originX = 0, originY = 0, num = 1, den = 1;
    int64_t shown(int64_t logical) const { return logical * num / den; }
    int64_t logical(int64_t shown) const { return shown * den / num; }
};

Frame frameOf(Interpreter& in) {
    Frame f;
    TurtleSession t(in, false);
    if (!t) return f;
    f.originX = t.state().originX;
    f.originY = t.state().originY;
    f.num = std::max<int64_t>(t.state().scrunchNum, 1);
    f.den = std::max<int64_t>(t.state().scrunchDen, 1);
    return f;
}

int32_t clamp32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

} // namespace

PlayerPoint TurtleToWindow(int64_t originX, int64_t originY, int64_t num, int64_t den, double x, double y) {
    const int64_t lx = originX + int64_t(std::trunc(std::clamp(x, -2e9, 2e9)));
    const int64_t wy = originY - int64_t(std::trunc(std::clamp(y, -2e9, 2e9)));
    return {clamp32(lx * num / std::max<int64_t>(den, 1)), clamp32(wy)};
}

PlayerPoint WindowToTurtle(int64_t originX, int64_t originY, int64_t num, int64_t den, int32_t wx, int32_t wy) {
    // The inverse of the way there, so that what GETITEMPOS gives SETITEMPOS puts back.
    const int64_t lx = int64_t(wx) * std::max<int64_t>(den, 1) / std::max<int64_t>(num, 1);
    return {clamp32(lx - originX), clamp32(originY - int64_t(wy))};
}

namespace {

PlayerPoint toWindow(const Frame& f, double x, double y) { return TurtleToWindow(f.originX, f.originY, f.num, f.den, x, y); }
PlayerPoint toTurtle(const Frame& f, int32_t x, int32_t y) { return WindowToTurtle(f.originX, f.originY, f.num, f.den, x, y); }

// A list of exactly `n` numbers whose elements are evaluated as expressions; error 41 naming
// the primitive for anything else.
bool readNumbers(PrimCall& c, Ref list, int n, double* out) {
    Interpreter& in = c.in;
    if (!present(c, list)) return false;
    bool ok = in.isList(list) && !in.IsEmptyList(list);
    int count = 0;
    Ref cursor = ok ? list : kNone;
    while (ok && in.isList(cursor)) {
        const Ref before = cursor;
        const Ref x = in.EvalExpression(cursor, false);
        if (failed(in)) {
            in.UnlockValue(x);
            return false;
        }
        ok = count < n && x != kNone && in.IsNumeric(x, kReportSilent) && cursor != before;
        if (ok) {
            out[count++] = in.ToFloat(x, kReportSilent);
            ok = std::isfinite(out[count - 1]);
        }
        in.UnlockValue(x);
    }
    if (!ok || count != n) {
        in.RaisePrimError(kErrDoesntLike, c.index, list);
        return false;
    }
    return true;
}

Ref numberList(Interpreter& in, std::initializer_list<int32_t> values) {
    Ref head = kNone, tail = kNone;
    for (int32_t v : values) {
        const Ref n = in.NewInteger(v);
        if (n == kNone || !in.AppendToList(head, tail, n)) {
            in.UnlockValue(n);
            in.UnlockValue(head);
            return kNone;
        }
    }
    return head;
}

// ---- Input conventions ----

// BUTTON, TEXT, GRAPHIC or 0, 1, 2; anything else is error 41 (and kind 0).
int kindOf(PrimCall& c, Ref v) {
    Interpreter& in = c.in;
    if (!present(c, v)) return 0;
    if (in.isNumber(v) || in.isWord(v)) {
        const std::string t = in.TextOf(v);
        if (equalNoCase(t, "BUTTON")) return 0;
        if (equalNoCase(t, "TEXT")) return 1;
        if (equalNoCase(t, "GRAPHIC")) return 2;
        if (in.IsNumeric(v, kReportSilent)) {
            const double d = in.ToFloat(v, kReportSilent);
            if (d == 0 || d == 1 || d == 2) return int(d);
        }
    }
    in.RaisePrimError(kErrDoesntLike, c.index, v);
    return 0;
}

// The card input: the empty list is the current card, anything else names or numbers one.
bool setCard(PrimCall& c, Ref card) {
    Interpreter& in = c.in;
    if (!present(c, card)) return false;
    if (in.IsEmptyList(card)) {
        block(in).setParam(1, 0);
        return true;
    }
    std::string text;
    if (!inputText(c, card, text)) return false;
    block(in).setParam(1, kCardByText);
    return putString(in, 4, text);
}

// The object input, by name in param3; ME is the current object of the kind.
bool setObjectName(PrimCall& c, Ref object, int kind) {
    Interpreter& in = c.in;
    std::string text;
    if (!inputText(c, object, text)) return false;
    if (in.isWord(object) && equalNoCase(text, "ME")) {
        NBAParamBlock& b = block(in);
        const NBAParamBlock saved = b;
        in.sendCommand(kCmdNames);
        if (failed(in)) return false;
        text = stringAt(b.param(kind + 1));
        b = saved;
    }
    return putString(in, 3, text);
}

// Card, object and kind of the object primitives into the block; false after an error.
bool setObject(PrimCall& c, Ref card, Ref object, int kind) {
    if (failed(c.in)) return false;
    if (!setCard(c, card) || !setObjectName(c, object, kind)) return false;
    block(c.in).setParam(2, uint32_t(kind));
    return !failed(c.in);
}

bool setObjectWithKind(PrimCall& c, int& kind) {
    kind = kindOf(c, c.args[2]);
    return !failed(c.in) && setObject(c, c.args[0], c.args[1], kind);
}

// Sends a navigation command with the pending transition, which it uses up.
Ref move(PrimCall& c, uint16_t command) {
    Interpreter& in = c.in;
    PlayerState& s = state(in);
    NBAParamBlock& b = block(in);
    b.setParam(1, uint32_t(int32_t(s.pendingEffect)));
    b.setParam(2, uint32_t(int32_t(s.pendingSpeed)));
    s.pendingEffect = s.pendingSpeed = 0;
    in.sendCommand(command);
    return kNone;
}

Ref primMoveToFirst(PrimCall& c) { return move(c, kCmdFirst); }
Ref primMoveToLast(PrimCall& c) { return move(c, kCmdLast); }
Ref primMovePrev(PrimCall& c) { return move(c, kCmdPrevious); }
Ref primMoveNext(PrimCall& c) { return move(c, kCmdNext); }
Ref primRedrawCard(PrimCall& c) { return move(c, kCmdRedraw); }

Ref primMoveToCard(PrimCall& c) {
    Interpreter& in = c.in;
    std::string text;
    if (!inputText(c, c.args[0], text)) return kNone;
    PlayerState& s = state(in);
    NBAParamBlock& b = block(in);
    b.setParam(1, 0);
    b.setParam(2, uint32_t(uint16_t(s.pendingSpeed)) << 16 | uint16_t(s.pendingEffect));
    if (!putString(in, 3, text)) return kNone;
    s.pendingEffect = s.pendingSpeed = 0;
    in.sendCommand(kCmdGoToCard);
    return kNone;
}

Ref primFindText(PrimCall& c) {
    Interpreter& in = c.in;
    std::string text;
    if (!inputText(c, c.args[0], text)) return kNone;
    const int32_t start = in.ToInteger(c.args[1], c.index);
    if (failed(in) || !putString(in, 1, text)) return kNone;
    block(in).setParam(2, uint32_t(start));
    in.sendCommand(kCmdFindText);
    return in.NewInteger(int32_t(block(in).param(2)));
}

Ref primDoMenu(PrimCall& c) {
    Interpreter& in = c.in;
    std::string menu, item;
    if (!inputText(c, c.args[0], menu) || !inputText(c, c.args[1], item)) return kNone;
    block(in).setParam(1, 0);
    if (!putString(in, 3, menu) || !putString(in, 4, item)) return kNone;
    in.sendCommand(kCmdMenu);
    return kNone;
}

Ref primVisibleP(PrimCall& c) {
    Interpreter& in = c.in;
    int kind = 0;
    if (!setObjectWithKind(c, kind)) return kNone;
    NBAParamBlock& b = block(in);
    in.sendCommand(kCmdLookup);
    if (failed(in)) return kNone;
    if (b.param(2) == 0) return kFalse;
    const uint32_t card = b.param(3), offset = b.param(1);
    b.setParam(1, card);
    b.setParam(2, offset);
    in.sendCommand(kCmdObjectInfo);
    if (failed(in)) return kNone;
    return b.param(1) == 0 || (b.param(5) & 0x20) ? kFalse : kTrue;
}

Ref objectCommand(PrimCall& c, uint16_t command) {
    int kind = 0;
    if (!setObjectWithKind(c, kind)) return kNone;
    c.in.sendCommand(command);
    return kNone;
}

Ref primHideItem(PrimCall& c) { return objectCommand(c, kCmdHide); }
Ref primShowItem(PrimCall& c) { return objectCommand(c, kCmdShow); }

Ref primInvertItem(PrimCall& c) {
    int kind = 0;
    if (!setObjectWithKind(c, kind)) return kNone;
    block(c.in).setParam(5, 1);
    c.in.sendCommand(kCmdInvert);
    return kNone;
}

// The rectangle the player answers in param1, in window coordinates; false when none.
bool rectAnswer(Interpreter& in, int32_t r[4]) {
    const uint8_t* d = ReferenceData(Handle(block(in).param(1)), 16);
    if (!d) return false;
    for (int i = 0; i < 4; ++i) r[i] = getLE32(d + 4 * i);
    return true;
}

Ref primGetItemRect(PrimCall& c) {
    Interpreter& in = c.in;
    int kind = 0;
    if (!setObjectWithKind(c, kind)) return kNone;
    in.sendCommand(kCmdGetRect);
    if (failed(in)) return kNone;
    int32_t r[4];
    if (!rectAnswer(in, r)) return numberList(in, {0, 0, 0, 0});
    const Frame f = frameOf(in);
    const PlayerPoint a = toTurtle(f, r[0], r[1]), b = toTurtle(f, r[2], r[3]);
    return numberList(in, {a.x, a.y, b.x, b.y});
}

bool putRect(Interpreter& in, int slot, const int32_t r[4]) {
    uint8_t bytes[16];
    for (int i = 0; i < 4; ++i) putLE32(bytes + 4 * i, r[i]);
    return putOwned(in, slot, bytes, 16);
}

bool putPoint(Interpreter& in, int slot, int32_t x, int32_t y) {
    uint8_t bytes[8];
    putLE32(bytes, x);
    putLE32(bytes + 4, y);
    return putOwned(in, slot, bytes, 8);
}

Ref primSetItemRect(PrimCall& c) {
    Interpreter& in = c.in;
    int kind = kindOf(c, c.args[2]);
    double v[4];
    if (failed(in) || !readNumbers(c, c.args[3], 4, v)) return kNone;
    if (!setObject(c, c.args[0], c.args[1], kind)) return kNone;
    const Frame f = frameOf(in);
    const PlayerPoint a = toWindow(f, v[0], v[1]), b = toWindow(f, v[2], v[3]);
    const int32_t r[4] = {a.x, a.y, b.x, b.y};
    if (!putRect(in, 5, r)) return kNone;
    in.sendCommand(kCmdSetRect);
    return kNone;
}

Ref primGetItemPos(PrimCall& c) {
    Interpreter& in = c.in;
    int kind = 0;
    if (!setObjectWithKind(c, kind)) return kNone;
    in.sendCommand(kCmdGetPosition);
    if (failed(in)) return kNone;
    const NBAParamBlock& b = block(in);
    if (b.param(1) == 0) return numberList(in, {0, 0});
    const PlayerPoint p = toTurtle(frameOf(in), int32_t(b.param(1)), int32_t(b.param(2)));
    return numberList(in, {p.x, p.y});
}

Ref primSetItemPos(PrimCall& c) {
    Interpreter& in = c.in;
    const int kind = kindOf(c, c.args[2]);
    double v[2];
    if (failed(in) || !readNumbers(c, c.args[3], 2, v)) return kNone;
    if (!setObject(c, c.args[0], c.args[1], kind)) return kNone;
    NBAParamBlock& b = block(in);
    const NBAParamBlock request = b;
    in.sendCommand(kCmdGetRect);
    int32_t r[4];
    if (failed(in) || !rectAnswer(in, r)) return kNone;
    for (int i = 1; i <= 4; ++i) b.setParam(i, request.param(i));
    in.sendCommand(kCmdGetPosition);
    if (failed(in) || b.param(1) == 0) return kNone;
    const int64_t oldX = int32_t(b.param(1)), oldY = int32_t(b.param(2));
    const PlayerPoint target = toWindow(frameOf(in), v[0], v[1]);
    const int64_t dx = target.x - oldX, dy = target.y - oldY;
    const int32_t moved[4] = {clamp32(r[0] + dx), clamp32(r[1] + dy), clamp32(r[2] + dx), clamp32(r[3] + dy)};
    for (int i = 1; i <= 4; ++i) b.setParam(i, request.param(i));
    if (!putRect(in, 5, moved)) return kNone;
    in.sendCommand(kCmdSetRect);
    return kNone;
}

Ref primDoButton(PrimCall& c) {
    if (!setObject(c, c.args[0], c.args[1], 0)) return kNone;
    c.in.sendCommand(kCmdPress);
    return kNone;
}

Ref primGetCurrentScore(PrimCall& c) {
    Interpreter& in = c.in;
    in.sendCommand(kCmdScore);
    if (failed(in)) return kNone;
    const NBAParamBlock& b = block(in);
    const Ref list = numberList(in, {int32_t(b.param(1)), int32_t(b.param(2))});
    if (list == kNone) return kNone;
    const Ref name = word(in, stringAt(b.param(3)));
    Ref head = list, tail = in.rest(list);
    if (name == kNone || !in.AppendToList(head, tail, name)) {
        in.UnlockValue(name);
        in.UnlockValue(list);
        return kNone;
    }
    return head;
}

Ref primQuit(PrimCall& c) {
    c.in.sendCommand(kCmdQuit);
    return kNone;
}

// GETFIELDTEXT and GETSELECTEDTEXT: the blocks the player made are given back here.
Ref fieldText(PrimCall& c, bool selected) {
    Interpreter& in = c.in;
    if (!setObject(c, c.args[0], c.args[1], 1)) return kNone;
    NBAParamBlock& b = block(in);
    in.sendCommand(kCmdGetText);
    const Handle text = Handle(b.param(1)), runs = Handle(b.param(2));
    std::string bytes = ReferenceBytes(text).value_or(std::string());
    const uint32_t start = b.param(3), end = b.param(4);
    DisposeReference(text);
    DisposeReference(runs);
    if (failed(in)) return kNone;
    if (selected) bytes = start < end && start < bytes.size() ? bytes.substr(start, end - start) : std::string();
    return word(in, bytes);
}

Ref primGetFieldText(PrimCall& c) { return fieldText(c, false); }
Ref primGetSelectedText(PrimCall& c) { return fieldText(c, true); }

Ref primSetFieldText(PrimCall& c) {
    Interpreter& in = c.in;
    std::string text;
    if (!inputText(c, c.args[2], text)) return kNone;
    if (!setObject(c, c.args[0], c.args[1], 1)) return kNone;
    const Handle h = NewReferenceFrom(text.data(), uint32_t(text.size()));
    if (!h) {
        in.RaiseError(kErrOutOfSpace, kNone, kNone);
        return kNone;
    }
    NBAParamBlock& b = block(in);
    b.setParam(2, uint32_t(h));
    b.setParam(5, 0);
    in.sendCommand(kCmdSetText);
    DisposeReference(h);
    return kNone;
}

} // namespace

std::string AlertString(int style, int icon, const std::string& text, const std::vector<std::string>& buttons) {
    std::string s;
    s += char('0' + style);
    s += char('0' + icon);
    for (char ch : text) {
        s += ch;
        if (ch == '\\') s += '\\';
    }
    for (const std::string& b : buttons) {
        s += '\\';
        s += b;
    }
    // Too long: the two digits and the end, where the buttons are.
    if (s.size() > 255) s = s.substr(0, 2) + s.substr(s.size() - 253);
    return s;
}

namespace {

Ref primDoAlert(PrimCall& c) {
    Interpreter& in = c.in;
    for (int i = 0; i < 4; ++i)
        if (!present(c, c.args[i])) return kNone;
    int style = 5;
    if (in.IsNumeric(c.args[0], kReportSilent)) {
        const double d = in.ToFloat(c.args[0], kReportSilent);
        if (d >= 1 && d <= 9 && d == std::floor(d)) style = int(d);
        else in.RaisePrimError(kErrDoesntLike, c.index, c.args[0]);
    } else {
        in.RaisePrimError(kErrDoesntLike, c.index, c.args[0]);
    }
    if (failed(in)) return kNone;
    int icon = -1;
    static const char* kIcons[] = {"NONE", "STOP", "NOTE", "CAUTION", "ADDY"};
    const std::string iconText = in.TextOf(c.args[1]);
    for (int i = 0; i < 5; ++i)
        if (in.isWord(c.args[1]) && equalNoCase(iconText, kIcons[i])) icon = i;
    if (icon < 0 && in.IsNumeric(c.args[1], kReportSilent)) {
        const double d = in.ToFloat(c.args[1], kReportSilent);
        if (d >= 0 && d <= 4 && d == std::floor(d)) icon = int(d);
    }
    if (icon < 0) {
        in.RaisePrimError(kErrDoesntLike, c.index, c.args[1]);
        return kNone;
    }
    std::string text;
    if (!inputText(c, c.args[2], text)) return kNone;
    std::vector<std::string> buttons;
    const Ref b = c.args[3];
    if (in.isList(b)) {
        for (Ref n = words::firstNode(in, b); n != kNone && in.isList(n); n = in.rest(n)) {
            std::string t;
            if (!words::ThingText(in, in.first(n), t)) return kNone;
            buttons.push_back(t);
            if (buttons.size() > 3) break;
        }
    } else {
        buttons.push_back(in.TextOf(b));
    }
    if (buttons.empty() || buttons.size() > 3) {
        in.RaisePrimError(kErrDoesntLike, c.index, b);
        return kNone;
    }
    if (!putString(in, 1, AlertString(style, icon, text, buttons))) return kNone;
    in.sendCommand(kCmdAlert);
    if (failed(in)) return kNone;
    const int32_t answer = int32_t(block(in).param(1)) - 51;  // 1..3 as the dialog counts
    if (answer < 1 || answer > 3) return in.NewInteger(int32_t(buttons.size()));
    return in.NewInteger(int32_t(buttons.size()) + 1 - answer);
}

Ref primSetBkgdDirty(PrimCall& c) {
    c.in.sendCommand(kCmdBackgroundDirty);
    return kNone;
}

Ref currentName(PrimCall& c, int slot) {
    Interpreter& in = c.in;
    in.sendCommand(kCmdNames);
    if (failed(in)) return kNone;
    return word(in, stringAt(block(in).param(slot)));
}

Ref primGetButtonName(PrimCall& c) { return currentName(c, 1); }
Ref primGetTextName(PrimCall& c) { return currentName(c, 2); }
Ref primGetGraphicName(PrimCall& c) { return currentName(c, 3); }

Ref primDrawToScreen(PrimCall& c) {
    c.in.sendCommand(kCmdDrawToScreen);
    c.in.drawingOffscreen = false;
    return kNone;
}

Ref primDrawToOffscreen(PrimCall& c) {
    Interpreter& in = c.in;
    // One optional input, read and not used.
    Ref v = kNone;
    while (in.NextInput(c, v)) in.UnlockValue(v);
    if (failed(in)) return kNone;
    in.sendCommand(kCmdDrawOffscreen);
    if (!failed(in) && block(in).param(1) != 0) in.drawingOffscreen = true;
    return kNone;
}

// DONEP's input: MOVIE, SOUND, ANIMATION, VIDEO or ALL, or a list of them; bit per kind.
int mediaKinds(PrimCall& c, Ref v) {
    Interpreter& in = c.in;
    auto one = [&](Ref w) -> int {
        if (!in.isWord(w)) return 0;
        const std::string t = in.TextOf(w);
        if (equalNoCase(t, "MOVIE")) return 1;
        if (equalNoCase(t, "SOUND")) return 2;
        if (equalNoCase(t, "ANIMATION")) return 4;
        if (equalNoCase(t, "VIDEO")) return 8;
        if (equalNoCase(t, "ALL")) return 15;
        return 0;
    };
    int kinds = 0;
    if (in.isList(v) && !in.IsEmptyList(v)) {
        for (Ref n = v; in.isList(n) && n != kNone; n = in.rest(n)) {
            const int k = one(in.first(n));
            if (!k) {
                kinds = 0;
                break;
            }
            kinds |= k;
            if (in.IsEmptyList(in.rest(n))) break;
        }
    } else {
        kinds = one(v);
    }
    if (!kinds) in.RaisePrimError(kErrDoesntLike, c.index, v);
    return kinds;
}

Ref primDoneP(PrimCall& c) {
    Interpreter& in = c.in;
    if (!present(c, c.args[0])) return kNone;
    const int kinds = mediaKinds(c, c.args[0]);
    if (failed(in)) return kNone;
    in.sendCommand(kCmdIdle);
    in.PollInterrupt();
    if (failed(in)) return kNone;
    in.sendCommand(kCmdMediaStatus);
    if (failed(in)) return kNone;
    const NBAParamBlock& b = block(in);
    const bool playing = ((kinds & 1) && b.param(1)) || ((kinds & 2) && b.param(2)) || ((kinds & 4) && b.param(3)) ||
                         ((kinds & 8) && b.param(4));
    return playing ? kFalse : kTrue;
}

} // namespace

int TransitionSpeedOf(const std::string& word, double number, bool numeric) {
    if (!numeric) {
        if (equalNoCase(word, "FAST")) return 0;
        if (equalNoCase(word, "MEDIUM")) return 8;
        if (equalNoCase(word, "SLOW")) return 16;
        return -1;
    }
    if (number < 4) return 0;
    if (number < 12) return 8;
    return 16;
}

namespace {

Ref primSetTransition(PrimCall& c) {
    Interpreter& in = c.in;
    std::string effect;
    if (!inputText(c, c.args[0], effect) || !present(c, c.args[1])) return kNone;
    const std::string speedWord = in.TextOf(c.args[1]);
    const bool numeric = in.IsNumeric(c.args[1], kReportSilent);
    const int speed = TransitionSpeedOf(speedWord, numeric ? in.ToFloat(c.args[1], kReportSilent) : 0, numeric);
    if (speed < 0 || (!in.isWord(c.args[1]) && !in.isNumber(c.args[1]))) {
        in.RaisePrimError(kErrDoesntLike, c.index, c.args[1]);
        return kNone;
    }
    NBAParamBlock& b = block(in);
    if (!putString(in, 1, effect)) return kNone;
    b.setParam(2, 0);
    in.sendCommand(kCmdTransitionName);
    if (failed(in)) return kNone;
    const int32_t number = int32_t(b.param(1));
    if (number <= 0 || number > 0x7FFF) return kNone;  // unknown: the pending one stays
    PlayerState& s = state(in);
    s.pendingEffect = int16_t(number);
    s.pendingSpeed = int16_t(speed);
    return kNone;
}

Ref primLockScreen(PrimCall& c) {
    c.in.sendCommand(kCmdLock);
    c.in.screenLocked = true;
    return kNone;
}

Ref primUnlockScreen(PrimCall& c) {
    Interpreter& in = c.in;
    // The unlock shows the card again, which is what REDRAWCARD would do a second time: its
    // use of the pending transition is kept, its second drawing is not.
    in.sendCommand(kCmdUnlock);
    in.screenLocked = false;
    PlayerState& s = state(in);
    s.pendingEffect = s.pendingSpeed = 0;
    return kNone;
}

Ref primCallNBA(PrimCall& c) {
    Interpreter& in = c.in;
    std::string name, data;
    if (!inputText(c, c.args[0], name) || !inputText(c, c.args[1], data) || !present(c, c.args[2])) return kNone;
    int message = 0;
    static const char* kMessages[] = {"ABOUT", "CLOSE", "PARAM", "RUN"};
    const std::string m = in.TextOf(c.args[2]);
    for (int i = 0; i < 4; ++i)
        if (in.isWord(c.args[2]) && equalNoCase(m, kMessages[i])) message = i + 1;
    if (!message && in.IsNumeric(c.args[2], kReportSilent)) {
        const double d = in.ToFloat(c.args[2], kReportSilent);
        if (d >= 1 && d <= 4 && d == std::floor(d)) message = int(d);
    }
    if (!message) {
        in.RaisePrimError(kErrDoesntLike, c.index, c.args[2]);
        return kNone;
    }
    const Handle h = NewReferenceFrom(data.data(), uint32_t(data.size()));
    if (!h) {
        in.RaiseError(kErrOutOfSpace, kNone, kNone);
        return kNone;
    }
    NBAParamBlock& b = block(in);
    b.setParam(1, 0);
    b.setParam(2, uint32_t(h));
    if (!putString(in, 3, name)) {
        DisposeReference(h);
        return kNone;
    }
    b.setParam(4, uint32_t(message));
    in.sendCommand(kCmdCallNBA);
    const Handle result = Handle(b.param(2));
    const std::string out = ReferenceBytes(result).value_or(std::string());
    DisposeReference(result);
    if (result != h) DisposeReference(h);
    if (failed(in)) return kNone;
    return word(in, out);
}

// ---- CALLBACK and the CB... primitives ----

Ref primCallback(PrimCall& c) {
    c.in.sendCommand(block(c.in).command());
    return kNone;
}

Ref primCbSetCmd(PrimCall& c) {
    Interpreter& in = c.in;
    const int32_t n = in.ToInteger(c.args[0], c.index);
    if (!failed(in)) block(in).setCommand(uint16_t(n));
    return kNone;
}

// The slot input, 1 to 5; error 41 and 0 otherwise.
int slotOf(PrimCall& c) {
    Interpreter& in = c.in;
    if (!present(c, c.args[0])) return 0;
    if (in.IsNumeric(c.args[0], kReportSilent)) {
        const double d = in.ToFloat(c.args[0], kReportSilent);
        if (d >= 1 && d <= 5 && d == std::floor(d)) return int(d);
    }
    in.RaisePrimError(kErrDoesntLike, c.index, c.args[0]);
    return 0;
}

Ref primCbSetParamInt(PrimCall& c) {
    Interpreter& in = c.in;
    const int slot = slotOf(c);
    if (!slot || failed(in)) return kNone;
    const int32_t v = in.ToInteger(c.args[1], c.index);
    if (!failed(in)) block(in).setParam(slot, uint32_t(v));
    return kNone;
}

Ref primCbSetParamStr(PrimCall& c) {
    Interpreter& in = c.in;
    const int slot = slotOf(c);
    std::string text;
    if (!slot || failed(in) || !inputText(c, c.args[1], text)) return kNone;
    putString(in, slot, text);
    return kNone;
}

Ref primCbSetParamStrH(PrimCall& c) {
    Interpreter& in = c.in;
    const int slot = slotOf(c);
    std::string text;
    if (!slot || failed(in) || !inputText(c, c.args[1], text)) return kNone;
    // Not the slot's own: the script gives it back with CBDISPOSEPARAMH.
    const Handle h = NewReferenceFrom(text.data(), uint32_t(text.size()));
    if (!h) {
        in.RaiseError(kErrOutOfSpace, kNone, kNone);
        return kNone;
    }
    block(in).setParam(slot, uint32_t(h));
    return kNone;
}

Ref primCbSetParamPoint(PrimCall& c) {
    Interpreter& in = c.in;
    int slot = slotOf(c);
    if (in.stopRequested) return kNone;
    if (!slot) slot = 5;
    double v[2];
    if (failed(in) || !readNumbers(c, c.args[1], 2, v)) return kNone;
    const PlayerPoint p = toWindow(frameOf(in), v[0], v[1]);
    putPoint(in, slot, p.x, p.y);
    return kNone;
}

Ref primCbSetParamRect(PrimCall& c) {
    Interpreter& in = c.in;
    int slot = slotOf(c);
    if (in.stopRequested) return kNone;
    if (!slot) slot = 5;
    double v[4];
    if (failed(in) || !readNumbers(c, c.args[1], 4, v)) return kNone;
    const Frame f = frameOf(in);
    const PlayerPoint a = toWindow(f, v[0], v[1]), b = toWindow(f, v[2], v[3]);
    const int32_t r[4] = {a.x, a.y, b.x, b.y};
    putRect(in, slot, r);
    return kNone;
}

Ref primCbGetParamInt(PrimCall& c) {
    Interpreter& in = c.in;
    const int slot = slotOf(c);
    if (!slot) return failed(in) ? kNone : in.NewInteger(0);
    return in.NewInteger(int32_t(block(in).param(slot)));
}

Ref primCbGetParamStr(PrimCall& c) {
    Interpreter& in = c.in;
    const int slot = slotOf(c);
    if (!slot) return failed(in) ? kNone : kEmptyWord;
    return word(in, stringAt(block(in).param(slot)));
}

Ref primCbGetParamStrH(PrimCall& c) {
    Interpreter& in = c.in;
    const int slot = slotOf(c);
    if (!slot) return failed(in) ? kNone : kEmptyWord;
    return word(in, ReferenceBytes(Handle(block(in).param(slot))).value_or(std::string()));
}

Ref primCbGetParamPoint(PrimCall& c) {
    Interpreter& in = c.in;
    int slot = slotOf(c);
    if (in.stopRequested) return kNone;
    if (!slot) slot = 5;
    const uint8_t* d = ReferenceData(Handle(block(in).param(slot)), 8);
    if (!d) return numberList(in, {0, 0});
    const PlayerPoint p = toTurtle(frameOf(in), getLE32(d), getLE32(d + 4));
    return numberList(in, {p.x, p.y});
}

Ref primCbGetParamRect(PrimCall& c) {
    Interpreter& in = c.in;
    int slot = slotOf(c);
    if (in.stopRequested) return kNone;
    if (!slot) slot = 5;
    const uint8_t* d = ReferenceData(Handle(block(in).param(slot)), 16);
    if (!d) return numberList(in, {0, 0, 0, 0});
    const Frame f = frameOf(in);
    const PlayerPoint a = toTurtle(f, getLE32(d), getLE32(d + 4)), b = toTurtle(f, getLE32(d + 8), getLE32(d + 12));
    return numberList(in, {a.x, a.y, b.x, b.y});
}

Ref primCbDisposeParamH(PrimCall& c) {
    Interpreter& in = c.in;
    const int slot = slotOf(c);
    if (!slot) return kNone;
    const Handle h = Handle(block(in).param(slot));
    PlayerState& s = state(in);
    for (Handle& owned : s.owned)
        if (owned == h) owned = 0;
    DisposeReference(h);
    return kNone;
}

const PrimitiveFamily kPlayer("player", {
    {"MOVETOFIRST", primMoveToFirst},
    {"MOVETOLAST", primMoveToLast},
    {"MOVEPREV", primMovePrev},
    {"MOVENEXT", primMoveNext},
    {"MOVETOCARD", primMoveToCard},
    {"REDRAWCARD", primRedrawCard},
    {"FINDTEXT", primFindText},
    {"DOMENU", primDoMenu},
    {"VISIBLEP", primVisibleP},
    {"HIDEITEM", primHideItem},
    {"SHOWITEM", primShowItem},
    {"GETITEMRECT", primGetItemRect},
    {"SETITEMRECT", primSetItemRect},
    {"GETITEMPOS", primGetItemPos},
    {"SETITEMPOS", primSetItemPos},
    {"DOBUTTON", primDoButton},
    {"GETCURRENTSCORE", primGetCurrentScore},
    {"QUIT", primQuit},
    {"GETFIELDTEXT", primGetFieldText},
    {"GETSELECTEDTEXT", primGetSelectedText},
    {"SETFIELDTEXT", primSetFieldText},
    {"DOALERT", primDoAlert},
    {"SETBKGDDIRTY", primSetBkgdDirty},
    {"GETBUTTONNAME", primGetButtonName},
    {"GETTEXTNAME", primGetTextName},
    {"GETGRAPHICNAME", primGetGraphicName},
    {"DRAWTOSCREEN", primDrawToScreen},
    {"DRAWTOOFFSCREEN", primDrawToOffscreen},
    {"DONEP", primDoneP},
    {"INVERTITEM", primInvertItem},
    {"SETTRANSITION", primSetTransition},
    {"LOCKSCREEN", primLockScreen},
    {"UNLOCKSCREEN", primUnlockScreen},
    {"CALLNBA", primCallNBA},
    {"CALLBACK", primCallback},
    {"CBSETCMD", primCbSetCmd},
    {"CBSETPARAMINT", primCbSetParamInt},
    {"CBSETPARAMSTR", primCbSetParamStr},
    {"CBSETPARAMSTRH", primCbSetParamStrH},
    {"CBSETPARAMPOINT", primCbSetParamPoint},
    {"CBSETPARAMRECT", primCbSetParamRect},
    {"CBGETPARAMINT", primCbGetParamInt},
    {"CBGETPARAMSTR", primCbGetParamStr},
    {"CBGETPARAMSTRH", primCbGetParamStrH},
    {"CBGETPARAMPOINT", primCbGetParamPoint},
    {"CBGETPARAMRECT", primCbGetParamRect},
    {"CBDISPOSEPARAMH", primCbDisposeParamH},
});

} // namespace

int16_t PendingEffect(Interpreter& in) { return state(in).pendingEffect; }
int16_t PendingSpeed(Interpreter& in) { return state(in).pendingSpeed; }

} // namespace cv::script
