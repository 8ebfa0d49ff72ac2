// The text commands of the table: finding text in the shown text objects, reading and
// replacing a text object's text on any card, appending to it, locking it against typing, and
// the active text object (making one active, its selection, typing over it, storing what was
// typed).
#include <algorithm>
#include <string>
#include <tuple>

#include "core/byte_order.h"
#include "core/references.h"
#include "player/command_table.h"
#include "player/command_table_parts.h"
#include "player/player.h"
#include "player/text_fields.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"
#include "stack/text_engine/text_engine.h"
#include "stack/text_records.h"

namespace cv::commands {

namespace {

// 8: finds the counted string in p1 in the active text object (else the card's first shown
// one) from character p2, and selects it: p2 = where, or -1.
void findText(CommandTable& t, CommandBlock& b) {
    const auto needle = CountedStringAt(Handle(b.param(1)));
    const int32_t start = int32_t(b.param(2));
    b.setParam(2, uint32_t(-1));
    if (!needle || needle->empty()) return;
    TextFields& fields = playerOf(t).textFields();
    std::optional<uint16_t> id = fields.activeField();
    if (!id) {
        for (const DisplayRecord& r : playerOf(t).displayList())
            if (r.isText() && fields.document(r.id)) {
                id = r.id;
                break;
            }
    }
    TextDocument* doc = id ? fields.document(*id) : nullptr;
    if (!doc) return;
    const size_t at = findNoCase(doc->text(), *needle, size_t(std::max(start, 0)));
    if (at == std::string::npos) return;
    fields.activate(*id);
    doc->setSelection(at, at + needle->size());
    doc->ensureCaretVisible();
    playerOf(t).paintCardRect(doc->objectRect());
    b.setParam(2, uint32_t(at));
}

// 58: the looked-up text object's text and style runs (new blocks), and on the shown card
// its selection.
void getText(CommandTable& t, CommandBlock& b) {
    const auto f = lookup(t, b);
    b.setParam(4, 0);
    b.setParam(5, 0);
    if (!f || f->kind != obj::kText) {
        b.setParam(1, 0);
        b.setParam(2, 0);
        b.setParam(3, 0);
        return;
    }
    Player& p = playerOf(t);
    std::string text;
    std::vector<uint8_t> runs;
    TextDocument* doc = onCurrentCard(t, *f) ? p.textFields().document(f->id) : nullptr;
    size_t selStart = 0, selEnd = 0;
    if (doc) {
        // The shown text, with what was typed and not yet stored.
        text = doc->text();
        runs = StyleRunBytes(doc->styleRuns());
        std::tie(selStart, selEnd) = doc->selection();
    } else {
        const uint8_t* d = memRefs().data(f->card);
        const std::span<const uint8_t> object(d + f->offset, get32(d + f->offset + obj::kLength));
        const uint16_t cardId = CardIdOf(f->card);
        text = TextForCard(object, cardId, theStack().macText);
        if (const auto sub = FindTextSubrecord(object, cardId)) {
            const StoredText stored = ReadStoredText(object, *sub);
            if (!stored.runs.empty()) runs = StyleRunBytes(stored.runs);
        }
    }
    const Handle textRef = NewReferenceFrom(text.data(), uint32_t(text.size()));
    const Handle runsRef = runs.empty() ? 0 : NewReferenceFrom(runs.data(), uint32_t(runs.size()));
    b.setParam(1, uint32_t(textRef));
    b.setParam(2, uint32_t(runsRef));
    const bool selection = doc && p.currentTool == kBrowseTool;
    b.setParam(3, selection ? uint32_t(selStart) : 0);
    b.setParam(4, selection ? uint32_t(selEnd) : 0);
}

// 59: replaces the looked-up text object's text with the block in p2 (style runs in p5, or
// the first character's style).
void setText(CommandTable& t, CommandBlock& b) {
    const CommandBlock saved = b;
    const auto newText = ReferenceBytes(Handle(b.param(2)));
    const Handle runsRef = Handle(b.param(5));
    std::optional<std::string> runBytes;
    if (runsRef) {
        runBytes = ReferenceBytes(runsRef);
        if (!runBytes) return;
    }
    if (!newText) return;
    b.setParam(2, 1);
    const auto f = lookup(t, b);
    if (!f || f->kind != obj::kText) {
        for (int i = 1; i <= 5; ++i) b.setParam(i, saved.param(i));
        return;
    }
    Player& p = playerOf(t);
    TextFields& fields = p.textFields();
    TextDocument* doc = onCurrentCard(t, *f) ? fields.document(f->id) : nullptr;
    std::vector<StyleRun> runs;
    if (runBytes) runs = ParseStyleRuns({reinterpret_cast<const uint8_t*>(runBytes->data()), runBytes->size()});
    if (doc) {
        const std::vector<StyleRun> before = doc->styleRuns();
        doc->setSelection(0, doc->textSize());
        doc->deleteForward();
        if (runBytes) {
            doc->insertStyled(*newText, runs);
        } else {
            doc->insert(*newText);
            if (!before.empty()) doc->setStyle(0, doc->textSize(), before.front());
        }
        doc->setSelection(0, 0);
        fields.storePending();
    } else {
        uint8_t* d = memRefs().data(f->card);
        const std::span<const uint8_t> object(d + f->offset, get32(d + f->offset + obj::kLength));
        const uint16_t cardId = CardIdOf(f->card);
        std::vector<uint8_t> bytes;
        if (runBytes) {
            bytes.assign(runBytes->begin(), runBytes->end());
        } else if (const auto sub = FindTextSubrecord(object, cardId)) {
            const StoredText stored = ReadStoredText(object, *sub);
            if (!stored.runs.empty()) bytes = StyleRunBytes(stored.runs);
        }
        StoreTextFromEngine(f->id, f->card, *newText, bytes, cardId);
    }
    const bool notActivated = [&] {
        const uint32_t off = FindObject(f->card, obj::kText, f->id);
        return !off || (get16(memRefs().data(f->card) + off + text::kSecondFlags) & kTextNotActivated);
    }();
    for (int i = 1; i <= 5; ++i) b.setParam(i, saved.param(i));
    if (!onCurrentCard(t, *f)) return;
    // The record may have moved in memory: look the object up again by its id.
    Found again = *f;
    again.offset = FindObject(f->card, obj::kText, f->id);
    if (!again.offset) return;
    const QRect area = refreshDisplay(t, again);
    redrawItem(t, b, area);
    if (doc && !notActivated) fields.activate(f->id);
}

// 125: locks the looked-up text object against typing (p5 non-zero) or unlocks it (p5 = 0).
void lockText(CommandTable& t, CommandBlock& b) {
    const CommandBlock saved = b;
    auto f = lookup(t, b);
    if (!f || f->kind != obj::kText) {
        for (int i = 1; i <= 5; ++i) b.setParam(i, saved.param(i));
        return;
    }
    Player& p = playerOf(t);
    if (onCurrentCard(t, *f)) {
        // What was typed is kept; storing may move the record.
        p.textFields().storePending();
        f->offset = FindObject(f->card, f->kind, f->id);
        if (!f->offset) return;
    }
    const bool lock = saved.param(5) != 0;
    uint8_t* o = memRefs().data(f->card) + f->offset;
    const uint16_t flags = get16(o + text::kSecondFlags);
    put16(o + text::kSecondFlags, lock ? uint16_t(flags | kTextLocked) : uint16_t(flags & ~kTextLocked));
    afterChange(t, b, saved, *f);
    if (!onCurrentCard(t, *f)) return;
    // The shown fields take their lock from the record when made: make them again, keeping
    // another field's caret and selection (the locked field's own editing ends).
    TextFields& fields = p.textFields();
    const auto active = fields.activeField();
    std::pair<size_t, size_t> selection{0, 0};
    if (TextDocument* doc = active ? fields.document(*active) : nullptr) selection = doc->selection();
    fields.forget();
    fields.refresh();
    if (!active || (lock && *active == f->id) || !fields.activate(*active)) return;
    if (TextDocument* doc = fields.document(*active)) doc->setSelection(selection.first, selection.second);
}

// ---- Text ----

// 61: makes the looked-up text object of the shown card the active one (caret in it):
// p1 = 1 when it is, else 0. A field locked against typing takes no caret, as for a click.
void activateText(CommandTable& t, CommandBlock& b) {
    const auto f = lookup(t, b);
    TextFields& fields = playerOf(t).textFields();
    const bool done = f && f->kind == obj::kText && onCurrentCard(t, *f) && !fields.locked(f->id) &&
                      fields.activate(f->id);
    b.setParam(1, done ? 1 : 0);
}

// 62: appends the bytes of the Handle in p2 to the looked-up text object (p2 = 1 is set for
// the lookup, as command 59 does): typed into the shown text, in the style of its end, or
// added to the stored text of another card.
void appendText(CommandTable& t, CommandBlock& b) {
    const CommandBlock saved = b;
    const auto added = ReferenceBytes(Handle(b.param(2)));
    if (!added) return;
    b.setParam(2, 1);
    const auto f = lookup(t, b);
    for (int i = 1; i <= 5; ++i) b.setParam(i, saved.param(i));
    if (!f || f->kind != obj::kText) return;
    Player& p = playerOf(t);
    TextFields& fields = p.textFields();
    if (TextDocument* doc = onCurrentCard(t, *f) ? fields.document(f->id) : nullptr) {
        const auto [s, e] = doc->selection();
        doc->setSelection(doc->textSize(), doc->textSize());
        doc->insert(*added);
        doc->setSelection(s, e);
        fields.storePending();
        if (!screenLocked(t)) p.paintCardRect(doc->objectRect());
        return;
    }
    // Another card: the stored text and runs, through the replacing command.
    CommandBlock get = saved;
    get.setCommand(58);
    get.setParam(2, 1);
    t.NBACallback(get);
    const auto old = ReferenceBytes(Handle(get.param(1)));
    DisposeReference(Handle(get.param(1)));
    DisposeReference(Handle(get.param(2)));
    if (!old) return;
    const std::string whole = *old + *added;
    const Handle text = NewReferenceFrom(whole.data(), uint32_t(whole.size()));
    if (!text) return;
    CommandBlock set = saved;
    set.setCommand(59);
    set.setParam(2, uint32_t(text));
    set.setParam(5, 0);
    t.NBACallback(set);
    DisposeReference(text);
}

// 64: the active text object of the shown card: p1 its id (0 when none), p2 and p3 the start
// and end of its selection, p4 a new Handle holding the selected bytes (0 when nothing is
// selected; the caller disposes it).
void activeText(CommandTable& t, CommandBlock& b) {
    for (int i = 1; i <= 4; ++i) b.setParam(i, 0);
    TextFields& fields = playerOf(t).textFields();
    const auto id = fields.activeField();
    TextDocument* doc = id ? fields.document(*id) : nullptr;
    if (!doc) return;
    const auto [s, e] = doc->selection();
    b.setParam(1, *id);
    b.setParam(2, uint32_t(s));
    b.setParam(3, uint32_t(e));
    if (doc->hasSelection()) {
        const std::string text = doc->selectedText();
        b.setParam(4, uint32_t(NewReferenceFrom(text.data(), uint32_t(text.size()))));
    }
}

// 72: selects characters p1 to p2 of the active text object (held to its text; the order
// does not matter): p1 = 1 when there was one, else 0.
void selectText(CommandTable& t, CommandBlock& b) {
    Player& p = playerOf(t);
    TextFields& fields = p.textFields();
    const auto id = fields.activeField();
    TextDocument* doc = id ? fields.document(*id) : nullptr;
    if (!doc) {
        b.setParam(1, 0);
        return;
    }
    const size_t size = doc->textSize();
    size_t from = std::min<size_t>(b.param(1), size), to = std::min<size_t>(b.param(2), size);
    if (from > to) std::swap(from, to);
    doc->setSelection(from, to);
    doc->ensureCaretVisible();
    if (!screenLocked(t)) p.paintCardRect(doc->objectRect());
    b.setParam(1, 1);
}

// 73: types the bytes of the Handle in p1 into the active text object in place of its
// selection: p1 = 1 when there was one, else 0.
void replaceSelection(CommandTable& t, CommandBlock& b) {
    const auto text = ReferenceBytes(Handle(b.param(1)));
    Player& p = playerOf(t);
    TextFields& fields = p.textFields();
    const auto id = fields.activeField();
    TextDocument* doc = id ? fields.document(*id) : nullptr;
    b.setParam(1, 0);
    if (!text || !doc) return;
    doc->insert(*text);
    doc->ensureCaretVisible();
    if (!screenLocked(t)) p.paintCardRect(doc->objectRect());
    b.setParam(1, 1);
}

// 75: stores what was typed into the shown text objects into their records, so that reading
// the card records sees it.
void storeTyping(CommandTable& t, CommandBlock&) { playerOf(t).textFields().storePending(); }

} // namespace

void installTextCommands(Table& a) {
    a[8] = &findText;
    a[58] = &getText;
    a[59] = &setText;
    a[61] = &activateText;
    a[62] = &appendText;
    a[64] = &activeText;
    a[72] = &selectText;
    a[73] = &replaceSelection;
    a[75] = &storeTyping;
    a[125] = &lockText;
}

} // namespace cv::commands
