#include "player/text_fields.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>
#include <algorithm>
#include <filesystem>

#include "core/alerts.h"
#include "core/byte_order.h"
#include "core/clock.h"
#include "core/host_path.h"
#include "core/mac_charset.h"
#include "core/text_encoding.h"
#include "core/ui.h"
#include "player/card_picture.h"
#include "player/events.h"
#include "player/navigation.h"
#include "player/player.h"
#include "player/stored_files.h"
#include "resources/strings.h"
#include "stack/record_convert.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"
#include "stack/text_engine/text_engine.h"
#include "stack/text_engine/text_load.h"
#include "stack/text_records.h"

namespace cv {

namespace {

constexpr uint64_t kLinkFlashMs = 300;

uint8_t lowerCp1252(uint8_t b) {
    if (b >= 'A' && b <= 'Z') return uint8_t(b + 32);
    if (b >= 0xC0 && b <= 0xDE && b != 0xD7) return uint8_t(b + 32);
    switch (b) {
    case 0x8A: return 0x9A;
    case 0x8C: return 0x9C;
    case 0x8E: return 0x9E;
    case 0x9F: return 0xFF;
    default: return b;
    }
}


std::string& fallbackClipboard() {
    static std::string text;
    return text;
}

// Clipboard text has LF line ends; the engine's paragraphs end with CR.
std::string fromClipboardText(const std::string& utf8) {
    const std::string bytes = utf8ToCp1252(utf8);
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        out += bytes[i] == '\n' ? '\r' : bytes[i];
    }
    return out;
}

std::string toClipboardText(std::string bytes) {
    std::replace(bytes.begin(), bytes.end(), '\r', '\n');
    return cp1252ToUtf8(bytes);
}

// The text objects of a card record that are shown (not hidden), in stored order.
std::vector<uint16_t> shownTextObjects(Handle card) {
    std::vector<uint16_t> ids;
    const uint8_t* p = memRefs().data(card);
    if (!p) return ids;
    forEachObject(p, GetHandleSize(card), [&](uint32_t off, uint16_t kind) {
        if (kind == obj::kText && !(get16(p + off + obj::kFlags) & obj::kFlagHidden)) ids.push_back(get16(p + off + obj::kId));
    });
    return ids;
}

constexpr int kKeyEnd = 0x23;
constexpr int kKeyHome = 0x24;

// The move of the insertion point a key makes in the active field; Shift with it selects.
std::optional<TextArrow> caretMove(int key, bool control) {
    switch (key) {
    case kKeyLeft: return control ? TextArrow::WordLeft : TextArrow::Left;
    case kKeyRight: return control ? TextArrow::WordRight : TextArrow::Right;
    case kKeyUp: return TextArrow::Up;
    case kKeyDown: return TextArrow::Down;
    case kKeyHome: return control ? TextArrow::TextStart : TextArrow::LineStart;
    case kKeyEnd: return control ? TextArrow::TextEnd : TextArrow::LineEnd;
    default: return std::nullopt;
    }
}

} // namespace

bool textObjectLocked(const uint8_t* object, uint32_t length) {
    if (!object || length < text::kSubrecords) return true;
    return (get16(object + text::kSecondFlags) & kTextLocked) || (get16(object + obj::kFlags) & obj::kFlagFileRef);
}

size_t findNoCase(const std::string& hay, const std::string& needle, size_t from) {
    if (needle.empty() || needle.size() > hay.size()) return std::string::npos;
    for (size_t at = from; at + needle.size() <= hay.size(); ++at) {
        size_t i = 0;
        while (i < needle.size() && lowerCp1252(uint8_t(hay[at + i])) == lowerCp1252(uint8_t(needle[i]))) ++i;
        if (i == needle.size()) return at;
    }
    return std::string::npos;
}

struct TextFields::Field {
    uint16_t id = 0;
    std::unique_ptr<TextDocument> doc;
    QRect bounds;
    bool locked = false;
    bool notActivated = false;
    bool flashing = false;  // a link's text is being flashed
};

TextFields::TextFields(Player& player) : player_(player) {
    TextEngineStartup();
    writeClipboard = [](const std::string& text) {
        if (qGuiApp) QGuiApplication::clipboard()->setText(QString::fromStdString(toClipboardText(text)));
        else fallbackClipboard() = text;
    };
    readClipboard = []() -> std::optional<std::string> {
        if (!qGuiApp) return fallbackClipboard();
        const QString t = QGuiApplication::clipboard()->text();
        if (t.isEmpty()) return std::nullopt;
        return fromClipboardText(t.toStdString());
    };

    player_.drawContext().drawText = [this](QPainter& p, const DisplayRecord& r) { draw(p, r); };
    TextInputHooks& t = player_.events().text;
    t.click = [this](const DisplayRecord& r, QPoint p, uint32_t mods, bool dbl) { click(r, p, mods, dbl); };
    t.drag = [this](QPoint p) { drag(p); };
    t.release = [this](QPoint p) { return release(p); };
    t.followLink = [this](const DisplayRecord& r, QPoint p) { followLink(r, p); };
    t.editing = [this]() { return editing(); };
    t.locked = [this](const DisplayRecord& r) { return locked(r.id); };

    // Hooks other subsystems may also use: ours run first, then whatever was there.
    auto key = std::move(player_.keyHandler);
    player_.keyHandler = [this, key](const Message& m) { return this->key(m) || (key && key(m)); };
    auto command = std::move(player_.commandHandler);
    player_.commandHandler = [this, command](int id) {
        if (id == -1) endEditing();
        else if (this->command(id)) return true;
        return command ? command(id) : false;
    };
    auto leaving = std::move(player_.onCardLeaving);
    player_.onCardLeaving = [this, leaving]() {
        endEditing();
        storePending();
        if (leaving) leaving();
    };
    auto left = std::move(player_.onCardLeft);
    player_.onCardLeft = [this, left]() {
        if (left) left();
        // The leave action may have changed text too.
        storePending();
        fields_.clear();
        card_ = 0;
        cardId_ = 0;
        active_.reset();
        pending_.reset();
        lastActive_.reset();
    };
    auto timer = std::move(player_.timerHandler);
    player_.timerHandler = [this, timer]() {
        timerTick();
        if (timer) timer();
    };
    auto linkFound = std::move(player_.onLinkFound);
    player_.onLinkFound = [this, linkFound](const std::string& text) {
        flashLink(text);
        if (linkFound) linkFound(text);
    };
}

TextFields::~TextFields() = default;

// ---- Documents of the shown card ----

TextFields::Field* TextFields::field(uint16_t id) const {
    for (const auto& f : fields_)
        if (f->id == id) return f.get();
    return nullptr;
}

TextFields::Field* TextFields::activeDoc() const { return active_ ? field(*active_) : nullptr; }

TextDocument* TextFields::document(uint16_t id) const {
    Field* f = field(id);
    return f ? f->doc.get() : nullptr;
}

bool TextFields::cardStillThere() const { return card_ && cardId_ && CardById(cardId_) == card_; }

void TextFields::syncDocuments(Handle card) {
    const uint16_t cardId = CardIdOf(card);
    if (card != card_ || cardId != cardId_) {
        // Another card is shown without this one having been left: keep what was typed.
        if (cardStillThere()) storePending();
        fields_.clear();
        active_.reset();
        card_ = card;
        cardId_ = cardId;
    }
    std::vector<std::unique_ptr<Field>> next;
    for (const DisplayRecord& r : player_.displayList()) {
        if (!r.isText()) continue;
        if (std::any_of(next.begin(), next.end(), [&](const auto& f) { return f->id == r.id; })) continue;
        auto kept = std::find_if(fields_.begin(), fields_.end(), [&](const auto& f) { return f && f->id == r.id; });
        if (kept != fields_.end()) {
            // A field that moved gets a new document, after what was typed in it is stored.
            if ((*kept)->bounds == r.bounds) {
                next.push_back(std::move(*kept));
                continue;
            }
            if (cardStillThere()) storeField(**kept);
        }
        const std::span<const uint8_t> object = TextObjectIn(card, r.id);
        if (object.empty()) continue;
        auto f = std::make_unique<Field>();
        f->id = r.id;
        f->doc = MakeTextDocument(object, cardId, theStack().macText, storedFileFolders());
        if (!f->doc) continue;
        f->bounds = r.bounds;
        f->locked = textObjectLocked(object.data(), uint32_t(object.size()));
        f->notActivated = (r.secondFlags & kTextNotActivated) != 0;
        next.push_back(std::move(f));
    }
    fields_ = std::move(next);
    if (active_ && !field(*active_)) active_.reset();
}

void TextFields::cardShown(Handle card) {
    syncDocuments(card);
    pending_.reset();
    if (active_) {
        // Shown again: the field stays the active one once the card is on screen. Until then
        // (the card may be on its way in through a transition) nothing is active.
        pending_ = active_;
        active_.reset();
        return;
    }
    for (const auto& f : fields_) {
        if (!f->notActivated && !f->locked) {
            pending_ = f->id;
            break;
        }
    }
}

void TextFields::refresh() {
    if (Handle card = player_.currentCard()) syncDocuments(card);
}

void TextFields::activatePending() {
    if (pending_) activate(*pending_);
    pending_.reset();
}

void TextFields::forget() {
    fields_.clear();
    card_ = 0;
    cardId_ = 0;
    active_.reset();
    pending_.reset();
    lastActive_.reset();
    mouseDown_ = dragMoved_ = false;
}

std::optional<uint16_t> TextFields::activeField() const { return active_; }

bool TextFields::editing() const {
    const Field* f = activeDoc();
    return f && !f->locked;
}

bool TextFields::locked(uint16_t id) const {
    if (const Field* f = field(id)) return f->locked;
    const std::span<const uint8_t> object = TextObjectIn(player_.currentCard(), id);
    return textObjectLocked(object.data(), uint32_t(object.size()));
}

bool TextFields::activate(uint16_t id) {
    Field* f = field(id);
    if (!f) return false;
    f->doc->restartCaret(clock().nowMs());
    if (active_ == id) return true;
    Field* old = activeDoc();
    active_ = id;
    if (old) repaint(*old);
    repaint(*f);
    return true;
}

void TextFields::endEditing() {
    Field* f = activeDoc();
    if (active_) lastActive_ = active_;
    active_.reset();
    mouseDown_ = dragMoved_ = false;
    if (f) repaint(*f);
}

bool TextFields::modified() const {
    return std::any_of(fields_.begin(), fields_.end(), [](const auto& f) { return f->doc->modified(); });
}

void TextFields::storeField(Field& f) {
    if (!f.doc->modified()) return;
    const std::vector<uint8_t> runs = StyleRunBytes(f.doc->styleRuns());
    if (StoreTextFromEngine(f.id, card_, f.doc->text(), runs, cardId_) == 0) f.doc->setModified(false);
}

void TextFields::storePending() {
    if (!cardStillThere()) return;
    // Locked fields are stored too: scripts may have changed them.
    for (auto& f : fields_) storeField(*f);
}

// ---- Drawing ----

void TextFields::draw(QPainter& p, const DisplayRecord& r) {
    Field* f = field(r.id);
    if (!f && player_.currentCard()) {
        syncDocuments(player_.currentCard());
        f = field(r.id);
    }
    if (!(r.flags & obj::kFlagRollOver)) {
        // A stored colour of 0 names no palette entry: such fields show white.
        const QRgb back = r.textColourIndex >= 0 && r.textColourIndex < 256 && player_.drawContext().palette
                              ? paletteColour(*player_.drawContext().palette, r.textColourIndex)
                              : qRgb(255, 255, 255);
        p.fillRect(r.bounds, QColor(back));
    }
    if (!f) return;
    const bool active = active_ == f->id;
    TextDocument::DrawOptions o;
    o.showSelection = active || f->flashing;
    o.showCaret = active && focused_ && !f->locked && f->doc->caretShown();
    f->doc->draw(p, o);
}

void TextFields::repaint(const Field& f) { player_.paintCardRect(f.bounds); }

void TextFields::repaintCaret(const Field& f, const QRect& before) {
    const QRect now = f.doc->caretRect();
    player_.paintCardRect(before.united(now).adjusted(-1, 0, 1, 0).intersected(f.bounds));
}

void TextFields::edited(Field& f) {
    f.doc->restartCaret(clock().nowMs());
    repaint(f);
}

// ---- Input ----

void TextFields::click(const DisplayRecord& r, QPoint p, uint32_t modifiers, bool doubleClick) {
    Field* f = field(r.id);
    mouseDown_ = dragMoved_ = false;
    if (!f || f->locked) return;
    activate(f->id);
    if (doubleClick) f->doc->doubleClick(p);
    else f->doc->click(p, (modifiers & kModShift) != 0);
    mouseDown_ = true;
    lastPointer_ = p;
    edited(*f);
}

void TextFields::drag(QPoint p) {
    Field* f = activeDoc();
    if (!f || !mouseDown_) return;
    lastPointer_ = p;
    dragMoved_ = true;
    f->doc->dragTo(p);
    edited(*f);
}

bool TextFields::release(QPoint p) {
    Field* f = activeDoc();
    const bool dragged = mouseDown_ && dragMoved_ && f && f->doc->hasSelection();
    if (f && mouseDown_ && dragMoved_) {
        f->doc->dragTo(p);
        edited(*f);
    }
    mouseDown_ = dragMoved_ = false;
    return dragged;
}

void TextFields::followLink(const DisplayRecord& r, QPoint p) {
    Field* f = field(r.id);
    if (!f) return;
    link_ = LinkClick{};
    link_.fieldId = f->id;
    link_.locked = f->locked;
    std::tie(link_.selStart, link_.selEnd) = f->doc->selection();
    link_.position = f->locked ? f->doc->pointToChar(p) : link_.selStart;
    // Link texts are kept in the stack's own character set.
    link_.text = theStack().macText ? windowsToMac(f->doc->text()) : f->doc->text();
    player_.navigation().followTextLink(f->id, link_.text, link_.position, link_.locked, link_.selStart, link_.selEnd);
}

void TextFields::pause(uint64_t ms) {
    const uint64_t deadline = clock().nowMs() + ms;
    while (clock().nowMs() < deadline) {
        player_.host().pump();
        player_.postDueTimer();
        clock().sleepUntilMs(std::min(deadline, clock().nowMs() + kTimerPeriodMs));
    }
}

void TextFields::flashLink(const std::string& linkText) {
    Field* f = field(link_.fieldId);
    if (!f) return;
    const auto at = matchTextLink(link_.text, link_.position, linkText, link_.locked, link_.selStart, link_.selEnd);
    if (!at) return;
    const auto [selStart, selEnd] = f->doc->selection();
    const uint16_t id = f->id;
    for (int i = 0; i < 3; ++i) {
        if (!(f = field(id))) return;
        f->doc->setSelection(*at, *at + linkText.size());
        f->flashing = true;
        repaint(*f);
        pause(kLinkFlashMs);
        if (!(f = field(id))) return;
        f->flashing = false;
        f->doc->setSelection(selStart, selEnd);
        repaint(*f);
        if (i < 2) pause(kLinkFlashMs);
    }
}

bool TextFields::key(const Message& m) {
    Field* f = activeDoc();
    if (!f) return false;
    if (m.type == MsgType::Char) {
        if (f->locked || m.ch > 255 || (m.modifiers & kModControl)) return false;
        if (!f->doc->typeChar(uint8_t(m.ch))) return false;
        edited(*f);
        return true;
    }
    if (m.type != MsgType::KeyDown) return false;
    const auto move = caretMove(m.key, (m.modifiers & kModControl) != 0);
    if (!move) return false;
    f->doc->arrow(*move, (m.modifiers & kModShift) != 0);
    edited(*f);
    return true;
}

void TextFields::timerTick() {
    Field* f = activeDoc();
    const bool focused = player_.host().hasFocus();
    if (!f) {
        focused_ = focused;
        return;
    }
    if (focused != focused_) {
        focused_ = focused;
        repaintCaret(*f, f->doc->caretRect());
    }
    // A selection drag that left the field keeps going towards the pointer.
    if (mouseDown_ && dragMoved_ && !f->doc->viewRect().contains(lastPointer_)) {
        f->doc->dragTo(lastPointer_);
        repaint(*f);
    }
    const QRect caret = f->doc->caretRect();
    if (f->doc->idle(clock().nowMs()) && !f->locked && !f->doc->hasSelection()) repaintCaret(*f, caret);
}

// ---- Commands ----

bool TextFields::command(int id) {
    Field* f = activeDoc();
    switch (id) {
    case kCmdCut:
    case kCmdCopy:
        if (!f) return false;
        if (f->doc->hasSelection()) {
            writeClipboard(f->doc->selectedText());
            if (id == kCmdCut && !f->locked) {
                f->doc->deleteForward();
                edited(*f);
            }
        }
        return true;
    case kCmdPaste:
        if (!f) return false;
        if (!f->locked) {
            if (const auto text = readClipboard ? readClipboard() : std::nullopt; text && !text->empty()) {
                f->doc->insert(*text);
                f->doc->ensureCaretVisible();
                edited(*f);
            }
        }
        return true;
    case kCmdClear:
        if (!f) return false;
        if (!f->locked) {
            f->doc->deleteForward();
            edited(*f);
        }
        return true;
    case kCmdFind: findDialog(); return true;
    default: return false;
    }
}

std::string TextFields::menuText(int id) const {
    const Field* f = activeDoc();
    const bool selected = f && f->doc->hasSelection();
    switch (id) {
    case kCmdPrint: return f ? loadString(2026).value_or("Print Text...\tCtrl+P") : std::string();
    case kCmdCut: return selected ? "Cut text\tCtrl+X" : "Cut\tCtrl+X";
    case kCmdCopy: return selected ? "Copy text\tCtrl+C" : "Copy\tCtrl+C";
    case kCmdClear: return selected ? "Clear text\tDel" : "Clear\tDel";
    case kCmdPaste: return commandEnabled(kCmdPaste) ? "Paste text\tCtrl+V" : "Paste\tCtrl+V";
    default: return {};
    }
}

bool TextFields::commandEnabled(int id) const {
    const Field* f = activeDoc();
    switch (id) {
    case kCmdCut:
    case kCmdCopy:
    case kCmdClear: return f != nullptr;
    case kCmdPaste: {
        if (!f || f->locked || !readClipboard) return false;
        const auto text = readClipboard();
        return text && !text->empty();
    }
    default: return true;
    }
}

void TextFields::findDialog() {
    const auto answer = ui().askText("FIND_TEXT", "&Find:", lastFind_);
    if (!answer || answer->empty()) return;
    lastFind_ = *answer;
    if (!find(*answer)) showAlert(kStrNoMatchFound);
}

bool TextFields::find(const std::string& needle) {
    const StackDocument& s = theStack();
    const int count = s.cardCount();
    const int current = player_.currentCardNumber();
    if (needle.empty() || !s.open() || current < 1 || current > count) return false;

    // Where the search starts: after the selection of the field last edited, else at the
    // start of the card's first field.
    const std::vector<uint16_t> here = shownTextObjects(CardByNumber(current));
    size_t startField = 0, startAt = 0;
    const std::optional<uint16_t> from = active_ ? active_ : lastActive_;
    if (from) {
        const auto it = std::find(here.begin(), here.end(), *from);
        if (it != here.end() && field(*from)) {
            startField = size_t(it - here.begin());
            startAt = field(*from)->doc->selection().second;
        }
    }
    auto textOf = [&](Handle card, uint16_t cardId, uint16_t fieldId) -> std::string {
        if (card == card_ && cardId == cardId_) {
            if (const Field* f = field(fieldId)) return f->doc->text();
        }
        const std::span<const uint8_t> object = TextObjectIn(card, fieldId);
        if (object.empty()) return {};
        if (auto ref = TextFileReference(object)) {
            const auto path = resolveHostPath(*ref, storedFileFolders());
            return path ? ReadTextFile(*path).value_or(std::string()) : std::string();
        }
        return TextForCard(object, cardId, s.macText);
    };

    struct Hit {
        int number = 0;
        uint16_t fieldId = 0;
        size_t at = 0;
    };
    std::optional<Hit> hit;
    auto search = [&](int number, size_t firstField, size_t lastField, size_t fromAt) {
        Handle card = CardByNumber(number);
        const std::vector<uint16_t> ids = number == current ? here : shownTextObjects(card);
        for (size_t i = firstField; i < ids.size() && i < lastField && !hit; ++i) {
            const size_t at = findNoCase(textOf(card, CardIdOf(card), ids[i]), needle, i == firstField ? fromAt : 0);
            if (at != std::string::npos) hit = Hit{number, ids[i], at};
        }
    };
    search(current, startField, SIZE_MAX, startAt);
    for (int k = 1; k < count && !hit; ++k) search((current - 1 + k) % count + 1, 0, SIZE_MAX, 0);
    if (!hit) search(current, 0, startField + 1, 0);
    if (!hit) return false;

    Handle card = CardByNumber(hit->number);
    const uint16_t cardId = CardIdOf(card);
    if (hit->number != current) {
        player_.navigation().goToCardId(cardId);
        if (player_.currentCardId() != cardId) return true; // the card's arrival went elsewhere
    }
    if (!activate(hit->fieldId)) return true;
    Field* f = field(hit->fieldId);
    f->doc->setSelection(hit->at, hit->at + needle.size());
    f->doc->ensureCaretVisible();
    edited(*f);
    return true;
}

} // namespace cv
