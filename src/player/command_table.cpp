// The player command table: the common rules (range, empty entries, nesting), the object
// lookup most object commands share, the redraw of a changed object, and most of the commands
// that scripts send. The other handlers live beside it by topic: command_table_cards,
// command_table_objects, command_table_text and command_table_system.
#include "player/command_table.h"
#include "player/command_table_parts.h"

#include <QPainter>
#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "core/alerts.h"
#include "core/byte_order.h"
#include "core/pstring.h"
#include "core/references.h"
#include "core/ui.h"
#include "media/sound_manager.h"
#include "player/actions.h"
#include "player/events.h"
#include "player/navigation.h"
#include "player/player.h"
#include "player/script_bridge.h"
#include "player/shell.h"
#include "player/text_fields.h"
#include "player/transitions.h"
#include "resources/strings.h"
#include "script/script_host.h"
#include "stack/record_layout.h"
#include "stack/record_convert.h"
#include "stack/stack_document.h"
#include "stack/stack_resources.h"
#include "stack/text_engine/text_engine.h"
#include "stack/text_records.h"

namespace cv {

namespace {

constexpr int kCommandCount = 179;
constexpr uint16_t kCardByText = 0xFFFE;
constexpr uint16_t kAnyCard = 0xFFFF;
// A file-location record holds at most this many characters of path.
constexpr size_t kSoundPathLimit = 260;

uint32_t low16(uint32_t v) { return v & 0xFFFF; }
uint32_t high16(uint32_t v) { return v >> 16; }

uint16_t kindOfIndex(int32_t index) {
    switch (index) {
    case 0: return obj::kButton;
    case 1: return obj::kText;
    case 2: return obj::kGraphic;
    default: return 0;
    }
}

// The fixed part of an object of each kind: shorter records are damaged and never matched.
uint32_t fixedLength(uint16_t kind) {
    switch (kind) {
    case obj::kGraphic: return graphic::kData;
    case obj::kButton: return button::kActions;
    case obj::kText: return text::kSubrecords;
    default: return 0;
    }
}

uint32_t nameOffset(uint16_t kind) {
    switch (kind) {
    case obj::kGraphic: return graphic::kName;
    case obj::kButton: return button::kName;
    default: return text::kName;
    }
}

uint32_t nameSize(uint16_t kind) {
    switch (kind) {
    case obj::kGraphic: return graphic::kNameSize;
    case obj::kButton: return button::kNameSize;
    default: return text::kNameSize;
    }
}

// The objects of a card record that the commands can name: a known kind, its fixed part whole.
template <class Fn>
void forEachNamedObject(Handle card, Fn&& fn) {
    const uint8_t* p = memRefs().data(card);
    if (!p) return;
    forEachObject(p, GetHandleSize(card), [&](uint32_t off, uint16_t kind) {
        const uint32_t need = fixedLength(kind);
        if (need == 0 || get32(p + off + obj::kLength) < need) return;
        fn(off, kind);
    });
}

std::string objectName(Handle card, uint32_t off, uint16_t kind) {
    return pstringField(memRefs().data(card) + off + nameOffset(kind), nameSize(kind));
}

bool isCardOfStack(Handle h) {
    if (!h) return false;
    for (const CardEntry& e : theStack().cards)
        if (e.record == h) return true;
    return false;
}

int32_t clamp16(int32_t v) { return std::clamp<int32_t>(v, -32768, 32767); }

} // namespace

// ---- Helpers other parts use ----

Handle CardByNameOrNumber(const std::string& text) {
    const StackDocument& s = theStack();
    if (!s.open()) return 0;
    const bool digits = !text.empty() && text.size() <= 9 &&
                        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (digits) {
        const long n = std::stol(text);
        if (n >= 1 && n <= s.cardCount()) return CardByNumber(int(n));
    }
    for (const CardEntry& e : s.cards)
        if (equalNoCase(CardName(e.record), text)) return e.record;
    return 0;
}

int TransitionNumberOfName(const std::string& name) {
    for (int id = 2750; id <= 2776; ++id) {
        const auto text = loadString(id);
        if (!text || !equalNoCase(*text, name)) continue;
        for (int n = 1; n < kTransitionCount; ++n)
            if (transitionNameId(n) == id) return n;
    }
    return -1;
}

std::optional<std::string> TransitionNameOfNumber(int number) {
    const int id = transitionNameId(number);
    if (id == 0) return std::nullopt;
    return loadString(id);
}

std::string AlertTextFromScript(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '\\') {
            out += '\\';
            ++i;
        } else {
            out += '~';
        }
    }
    return out;
}

int MenuCommandFor(const std::string& title, const std::string& itemIn) {
    std::string item = itemIn;
    while (!item.empty() && item.back() == '.') item.pop_back();
    const std::vector<MenuDef>& menus = mainMenu();
    for (size_t m = 0; m < menus.size(); ++m) {
        if (!equalNoCase(menus[m].title, title)) continue;
        if (m == 3 || m == 5) {
            // These menus are addressed by number.
            if (item.empty() || item.size() > 6 ||
                !std::all_of(item.begin(), item.end(), [](char c) { return c >= '0' && c <= '9'; }))
                return 0;
            return std::stoi(item) - 1;
        }
        auto cut = [](const std::string& t) { return t.substr(0, t.find_first_of(".\t")); };
        for (const MenuItemDef& it : menus[m].items)
            if (it.id > 0 && equalNoCase(cut(it.text), item)) return it.id;
        // Our items carry a second word ("Next Card"): the first word alone names the item too.
        for (const MenuItemDef& it : menus[m].items) {
            const std::string t = cut(it.text);
            if (it.id > 0 && !item.empty() && t.size() > item.size() && t[item.size()] == ' ' &&
                equalNoCase(t.substr(0, item.size()), item))
                return it.id;
        }
        return 0;
    }
    return 0;
}

// ---- The table ----

struct CommandTable::Impl {
    using Handler = void (*)(CommandTable&, CommandBlock&);
    static const std::array<Handler, kCommandCount>& table();

    using Found = commands::Found;

    // The object lookup (command 24 and the first step of the object commands).
    static std::optional<Found> find(const CommandBlock& b, uint16_t currentId) {
        const uint32_t p1 = b.param(1);
        const uint16_t selector = uint16_t(high16(p1));
        const uint16_t objectId = uint16_t(low16(p1));
        const int32_t kindIndex = int32_t(b.param(2));
        if (!theStack().open()) return std::nullopt;
        std::vector<Handle> cards;
        if (selector == 0) {
            if (currentId) cards.push_back(CardById(currentId));
        } else if (selector == kCardByText) {
            const auto text = CountedStringAt(Handle(b.param(4)));
            if (!text) return std::nullopt;
            cards.push_back(CardByNameOrNumber(*text));
        } else if (selector == kAnyCard) {
            for (const CardEntry& e : theStack().cards) cards.push_back(e.record);
        } else {
            cards.push_back(CardById(selector));
        }
        cards.erase(std::remove(cards.begin(), cards.end(), Handle(0)), cards.end());
        if (cards.empty()) return std::nullopt;
        if (kindIndex == 3) return Found{cards.front(), 0, 0, 0, cards.front()};
        const uint16_t kind = kindOfIndex(kindIndex);
        if (!kind) return std::nullopt;
        std::optional<std::string> name;
        if (objectId == 0) {
            name = CountedStringAt(Handle(b.param(3)));
            if (!name) return std::nullopt;
        }
        for (Handle card : cards) {
            std::optional<Found> hit;
            forEachNamedObject(card, [&](uint32_t off, uint16_t k) {
                if (hit || k != kind) return;
                const uint16_t id = get16(memRefs().data(card) + off + obj::kId);
                if (objectId ? id == objectId : equalNoCase(objectName(card, off, k), *name))
                    hit = Found{card, off, kind, id, cards.front()};
            });
            if (hit) return hit;
        }
        return std::nullopt;
    }

    static std::optional<Found> lookup(CommandTable& t, CommandBlock& b) {
        auto f = find(b, t.player_.currentCard() ? t.player_.currentCardId() : 0);
        if (!f) {
            b.setParam(1, 0);
            b.setParam(2, 0);
            b.setParam(3, 0);
            return std::nullopt;
        }
        b.setParam(1, f->offset);
        b.setParam(2, uint32_t(f->card));
        b.setParam(3, uint32_t(f->first));
        return f;
    }

    static bool onCurrentCard(CommandTable& t, const Found& f) {
        return f.card && f.card == t.player_.currentCard();
    }

    // The display list of the shown card after an object's record changed: the other
    // records are kept, the changed one is made again, in stored order.
    static QRect refreshDisplay(CommandTable& t, const Found& f) {
        Player& p = t.player_;
        DisplayList& list = p.displayList();
        QRect before;
        for (const DisplayRecord& r : list)
            if (r.kind == f.kind && r.id == f.id) before = r.bounds;
        DisplayList fresh = buildDisplayListKeeping(f.card, list, f.kind, f.id, p);
        QRect after;
        for (const DisplayRecord& r : fresh)
            if (r.kind == f.kind && r.id == f.id) after = r.bounds;
        list = std::move(fresh);
        if (f.kind == obj::kText) p.textFields().refresh();
        return before.united(after);
    }

    static DisplayList buildDisplayListKeeping(Handle card, DisplayList& old, uint16_t kind, uint16_t id, Player& p) {
        // Which records the shown list would hold: those of the stored list (hidden ones too,
        // so that the order is kept), filtered as when the card is shown.
        DisplayList all = buildDisplayListSkeleton(card);
        DisplayList out;
        out.reserve(all.size());
        const uint8_t* d = memRefs().data(card);
        for (const DisplayRecord& s : all) {
            if (s.kind == kind && s.id == id) {
                const uint32_t off = FindObject(card, kind, id);
                if (!off) continue;
                if (get16(d + off + obj::kFlags) & obj::kFlagHidden) continue;
                if (kind == obj::kGraphic && get16(d + off + graphic::kPictureFlags) == 0x20) continue;
                out.push_back(makeDisplayRecord(d + off, get32(d + off + obj::kLength), p.cardPicture().colourTable,
                                                theStack().path));
                continue;
            }
            auto kept = std::find_if(old.begin(), old.end(), [&](const DisplayRecord& r) {
                return r.kind == s.kind && r.id == s.id;
            });
            if (kept != old.end()) out.push_back(std::move(*kept));
        }
        return out;
    }

    // Kind and id of every object of the card in stored order.
    static DisplayList buildDisplayListSkeleton(Handle card) {
        DisplayList out;
        const uint8_t* p = memRefs().data(card);
        if (!p) return out;
        forEachObject(p, GetHandleSize(card), [&](uint32_t off, uint16_t kind) {
            DisplayRecord r;
            r.kind = kind;
            r.id = get16(p + off + obj::kId);
            out.push_back(r);
        });
        return out;
    }

    // Shows a changed part of the card through the item transition.
    static void redrawItem(CommandTable& t, CommandBlock& b, const QRect& area) {
        Player& p = t.player_;
        int transition = 3, speed = 8;
        if (t.itemTransition == 2) {
            transition = int(int16_t(low16(b.param(4))));
            speed = int(int16_t(low16(b.param(5))));
        }
        t.itemTransition = 1;
        if (t.screenLocked_ || area.isEmpty()) return;
        if (correctedTransitionNumber(transition) == kTransFastest || !p.transition) {
            p.paintCardRect(area);
            return;
        }
        QImage composed = p.cardPicture().image.copy();
        {
            QPainter painter(&composed);
            drawObjects(painter, p.displayList(), area, p.drawContext());
        }
        p.transition(p.screen(), composed, area.intersected(p.screen().rect()), transition, speed);
        p.host().present(area);
    }

    // After commands 26, 27, 32, 59: the parameters as they were, then the object redrawn.
    static void afterChange(CommandTable& t, CommandBlock& b, const CommandBlock& saved, const Found& f) {
        for (int i = 1; i <= 5; ++i) b.setParam(i, saved.param(i));
        if (!onCurrentCard(t, f)) return;
        const QRect area = refreshDisplay(t, f);
        redrawItem(t, b, area);
    }

    // ---- Handlers ----

    static void nothing(CommandTable&, CommandBlock&) {}

    static int16_t lo(uint32_t v) { return int16_t(low16(v)); }

    static void redrawCard(CommandTable& t, CommandBlock&) {
        Player& p = t.player_;
        if (Handle card = p.currentCard()) p.showCard(card, 3, 8, false);
    }

    static void menu(CommandTable& t, CommandBlock& b) {
        const auto title = CountedStringAt(Handle(b.param(3)));
        const auto item = CountedStringAt(Handle(b.param(4)));
        if (!title || !item) return;
        const int id = MenuCommandFor(*title, *item);
        if (id > 0 && id != kCmdNewStack) t.player_.runCommand(id);
    }

    static void lookupOnly(CommandTable& t, CommandBlock& b) { lookup(t, b); }

    static void setHidden(CommandTable& t, CommandBlock& b, bool hidden) {
        const CommandBlock saved = b;
        auto f = lookup(t, b);
        if (!f || !f->kind) return;
        if (f->kind == obj::kText && onCurrentCard(t, *f)) {
            // A field about to be hidden loses its document: what was typed in it is kept.
            t.player_.textFields().storePending();
            f->offset = FindObject(f->card, f->kind, f->id);
            if (!f->offset) return;
        }
        uint8_t* o = memRefs().data(f->card) + f->offset;
        uint16_t flags = get16(o + obj::kFlags);
        flags = hidden ? uint16_t(flags | obj::kFlagHidden) : uint16_t(flags & ~obj::kFlagHidden);
        put16(o + obj::kFlags, flags);
        afterChange(t, b, saved, *f);
    }
    static void hide(CommandTable& t, CommandBlock& b) { setHidden(t, b, true); }
    static void show(CommandTable& t, CommandBlock& b) { setHidden(t, b, false); }

    static void getRect(CommandTable& t, CommandBlock& b) {
        const auto f = lookup(t, b);
        if (!f || !f->kind) {
            b.setParam(1, 0);
            return;
        }
        const uint8_t* o = memRefs().data(f->card) + f->offset + obj::kRect;
        int32_t r[4];
        for (int i = 0; i < 4; ++i) r[i] = geti16(o + 2 * i);
        if (!IsReference(t.rect_)) t.rect_ = NewReference(16);
        uint8_t* d = ReferenceData(t.rect_, 16);
        if (!d) {
            b.setParam(1, 0);
            return;
        }
        for (int i = 0; i < 4; ++i) putLE32(d + 4 * i, uint32_t(r[i]));
        b.setParam(1, uint32_t(t.rect_));
    }

    static void setRect(CommandTable& t, CommandBlock& b) {
        const CommandBlock saved = b;
        const uint8_t* src = ReferenceData(Handle(b.param(5)), 16);
        if (!src) return;
        int32_t r[4];
        for (int i = 0; i < 4; ++i) r[i] = clamp16(int32_t(getLE32(src + 4 * i)));
        if (r[0] > r[2]) std::swap(r[0], r[2]);
        if (r[1] > r[3]) std::swap(r[1], r[3]);
        const auto f = lookup(t, b);
        if (!f || !f->kind) return;
        uint8_t* o = memRefs().data(f->card) + f->offset + obj::kRect;
        for (int i = 0; i < 4; ++i) put16(o + 2 * i, uint16_t(int16_t(r[i])));
        afterChange(t, b, saved, *f);
    }

    static void objectInfo(CommandTable&, CommandBlock& b) {
        const Handle card = Handle(b.param(1));
        const uint32_t offset = b.param(2);
        b.setParam(1, 0);
        if (!isCardOfStack(card)) return;
        int number = 0;
        bool hit = false;
        forEachNamedObject(card, [&](uint32_t off, uint16_t kind) {
            if (hit) return;
            const uint16_t wanted = get16(memRefs().data(card) + offset + obj::kKind);
            if (kind == wanted) ++number;
            if (off != offset) return;
            hit = true;
            const uint8_t* o = memRefs().data(card) + off;
            b.setParam(1, get16(o + obj::kId));
            b.setParam(2, uint32_t(number));
            b.setParam(3, off + nameOffset(kind));
            b.setParam(4, get32(o + obj::kLength));
            b.setParam(5, get16(o + obj::kFlags));
        });
    }

    static void getPosition(CommandTable& t, CommandBlock& b) {
        const auto f = lookup(t, b);
        if (!f || !f->kind) {
            b.setParam(1, 0);
            return;
        }
        const uint8_t* o = memRefs().data(f->card) + f->offset + obj::kRect;
        const int32_t left = geti16(o), top = geti16(o + 2), right = geti16(o + 4), bottom = geti16(o + 6);
        b.setParam(1, uint32_t(left + (right - left) / 2));
        b.setParam(2, uint32_t(top + (bottom - top) / 2));
    }

    static void idle(CommandTable& t, CommandBlock&) { t.player_.pumpPendingMessage(); }

    static void pressButton(CommandTable& t, CommandBlock& b) {
        const auto f = lookup(t, b);
        // Only a button of the shown card can be pressed: activation finds buttons there.
        if (!f || f->kind != obj::kButton || !onCurrentCard(t, *f)) return;
        t.player_.actions().activateButton(f->id);
    }

    static void score(CommandTable& t, CommandBlock& b) {
        const auto& answers = t.player_.actions().answers();
        uint32_t answered = 0, right = 0;
        for (const CardEntry& e : theStack().cards) {
            const auto it = answers.find(CardIdOf(e.record));
            if (it == answers.end()) continue;
            ++answered;
            if (it->second.right) ++right;
        }
        b.setParam(1, answered);
        b.setParam(2, right);
        if (!IsReference(t.userName_)) t.userName_ = NewReference(1);
        PutCountedString(t.userName_, t.player_.actions().userName());
        b.setParam(3, IsReference(t.userName_) ? uint32_t(t.userName_) : 0);
    }

    static void quit(CommandTable& t, CommandBlock&) {
        Message m;
        m.type = MsgType::Close;
        t.player_.post(m);
    }

    static void alert(CommandTable&, CommandBlock& b) {
        const auto text = CountedStringAt(Handle(b.param(1)));
        if (!text) return;
        // A script's question is always put: without it the script would go on unanswered.
        b.setParam(1, uint32_t(showAlertText(AlertTextFromScript(*text), true)));
    }

    static void backgroundDirty(CommandTable& t, CommandBlock&) {
        if (!t.screenLocked_) t.player_.paintCardRect(t.player_.screen().rect());
    }

    static void currentNames(CommandTable& t, CommandBlock& b) {
        Player& p = t.player_;
        const std::string names[3] = {p.actions().lastButtonName, p.events().lastTextName, p.events().lastGraphicName};
        for (int i = 0; i < 3; ++i) {
            if (!IsReference(t.names_[i])) t.names_[i] = NewReference(33);
            PutCountedString(t.names_[i], names[i].substr(0, 32));
            b.setParam(i + 1, IsReference(t.names_[i]) ? uint32_t(t.names_[i]) : 0);
        }
    }

    static void drawToScreen(CommandTable& t, CommandBlock&) {
        Player& p = t.player_;
        const bool was = p.scripts().drawingOffscreen;
        p.scripts().drawingOffscreen = false;
        if (was && !t.screenLocked_) p.paintCardRect(p.screen().rect());
    }

    static void drawOffscreen(CommandTable& t, CommandBlock& b) {
        Player& p = t.player_;
        if (!p.currentCard()) {
            b.setParam(1, 0);
            return;
        }
        // The surface is the card's own picture: what is drawn there shows at the next
        // DRAWTOSCREEN or repaint.
        p.scripts().drawingOffscreen = true;
        b.setParam(1, 1);
    }

    static void mediaStatus(CommandTable& t, CommandBlock& b) {
        const MediaHooks& m = t.player_.media;
        b.setParam(1, m.anyMoviePlaying && m.anyMoviePlaying() ? 1 : 0);
        b.setParam(2, m.anySoundPlaying && m.anySoundPlaying() ? 1 : 0);
        b.setParam(3, m.anyAnimationPlaying && m.anyAnimationPlaying() ? 1 : 0);
        // No videodisc reports its state here: video counts as done.
        b.setParam(4, 0);
    }

    // The sound file named by the location block in p1 (its path text, up to a NUL or the
    // record's 260 characters), at the level in p2's low 16 bits.
    static void playSoundFile(CommandTable& t, CommandBlock& b) {
        auto bytes = ReferenceBytes(Handle(b.param(1)));
        if (!bytes) return;
        bytes->resize(std::min(bytes->find('\0'), size_t(kSoundPathLimit)));
        if (bytes->empty()) return;
        const std::string file = locateFile(*bytes, "Please find the sound named: ", "Sounds|*.wav;*.aif;*.au");
        if (file.empty()) return;
        t.player_.sounds().PlaySoundFile(file, 0, uint16_t(low16(b.param(2))));
    }

    // The stored sound whose id is p1's low 16 bits, or when that is 0 the one named by the
    // counted string in p3; the level is p2's low 16 bits.
    static void playStoredSound(CommandTable& t, CommandBlock& b) {
        if (!theStack().open()) return;
        uint16_t id = uint16_t(low16(b.param(1)));
        if (id == 0) {
            const auto name = CountedStringAt(Handle(b.param(3)));
            if (!name) return;
            id = StackResourceIdNamed(chunk::kSnd, *name);
            // No sound of that name: nothing plays, and what plays goes on.
            if (id == 0) return;
        }
        t.player_.sounds().PlayStoredSound(id, 0, uint16_t(low16(b.param(2))));
    }

    static void invert(CommandTable& t, CommandBlock& b) {
        const auto f = lookup(t, b);
        if (!f || !f->kind || !onCurrentCard(t, *f) || t.screenLocked_) return;
        for (const DisplayRecord& r : t.player_.displayList()) {
            if (r.kind != f->kind || r.id != f->id) continue;
            QImage& screen = t.player_.screen();
            const QRect area = r.bounds.intersected(screen.rect());
            if (area.isEmpty()) return;
            QPainter painter(&screen);
            painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            painter.fillRect(area, Qt::white);
            painter.end();
            t.player_.host().present(area);
            return;
        }
    }

    static void transitionName(CommandTable&, CommandBlock& b) {
        if (b.param(2) != 0) {
            const auto name = TransitionNameOfNumber(int32_t(b.param(1)));
            if (!name || !PutCountedString(Handle(b.param(3)), *name)) {
                b.setParam(1, uint32_t(-1));
            }
            return;
        }
        const auto name = CountedStringAt(Handle(b.param(1)));
        b.setParam(1, uint32_t(name ? TransitionNumberOfName(*name) : -1));
    }

    static void lockScreen(CommandTable& t, CommandBlock&) { t.screenLocked_ = true; }
    static void unlockScreen(CommandTable& t, CommandBlock& b) {
        t.screenLocked_ = false;
        redrawCard(t, b);
    }

    // Another NBA, called by the plug-in layer on this same block.
    static void callAnotherNBA(CommandTable& t, CommandBlock& b) {
        if (t.player_.media.callNBAFromBlock) t.player_.media.callNBAFromBlock(b);
    }

    static void runScript(CommandTable& t, CommandBlock& b) {
        if (b.param(3) || b.param(4) || b.param(5)) return;
        const uint32_t length = b.param(2);
        const uint8_t* text = ReferenceData(Handle(b.param(1)), length);
        if (!text) return;
        const std::string copy(reinterpret_cast<const char*>(text), length);
        t.player_.scripts().run(copy);
    }

    static Player& player(CommandTable& t) { return t.player_; }

    static Handle keptString(CommandTable& t, int slot, std::string_view text) {
        if (slot < 0 || slot >= kKeptSlots) return 0;
        Handle& h = t.kept_[slot];
        if (!IsReference(h)) h = NewReference(1);
        return h && PutCountedString(h, text) ? h : 0;
    }

    static bool isKept(const CommandTable& t, Handle h) {
        if (!h) return false;
        if (h == t.rect_ || h == t.userName_) return true;
        return std::find(std::begin(t.names_), std::end(t.names_), h) != std::end(t.names_) ||
               std::find(std::begin(t.kept_), std::end(t.kept_), h) != std::end(t.kept_);
    }

    static void putLE32(uint8_t* d, uint32_t v) {
        d[0] = uint8_t(v);
        d[1] = uint8_t(v >> 8);
        d[2] = uint8_t(v >> 16);
        d[3] = uint8_t(v >> 24);
    }
    static uint32_t getLE32(const uint8_t* d) {
        return uint32_t(d[0]) | (uint32_t(d[1]) << 8) | (uint32_t(d[2]) << 16) | (uint32_t(d[3]) << 24);
    }
};

const std::array<CommandTable::Impl::Handler, kCommandCount>& CommandTable::Impl::table() {
    static const std::array<Handler, kCommandCount> t = [] {
        std::array<Handler, kCommandCount> a{};
        // Accepted and doing nothing, as plug-ins know them.
        for (int c : {8, 9, 40, 41, 45, 46, 47, 50, 51, 52, 53, 56, 60, 63, 65, 66, 69, 74, 76, 77, 78, 79, 80,
                      83, 84, 87, 88, 90, 92, 94, 95, 96, 97, 98, 99, 102, 103, 105, 113, 116, 119, 123, 126,
                      127, 128, 151, 176, 177, 178})
            a[size_t(c)] = &Impl::nothing;
        a[6] = &Impl::redrawCard;
        a[10] = &Impl::menu;
        a[24] = &Impl::lookupOnly;
        a[26] = &Impl::hide;
        a[27] = &Impl::show;
        a[31] = &Impl::getRect;
        a[32] = &Impl::setRect;
        a[35] = &Impl::objectInfo;
        a[37] = &Impl::getPosition;
        a[42] = &Impl::idle;
        a[43] = &Impl::pressButton;
        a[49] = &Impl::score;
        a[54] = &Impl::playSoundFile;
        a[55] = &Impl::playStoredSound;
        a[57] = &Impl::quit;
        a[67] = &Impl::callAnotherNBA;
        a[68] = &Impl::alert;
        a[70] = &Impl::backgroundDirty;
        a[71] = &Impl::currentNames;
        a[85] = &Impl::drawToScreen;
        a[86] = &Impl::drawOffscreen;
        a[89] = &Impl::mediaStatus;
        a[122] = &Impl::invert;
        a[148] = &Impl::transitionName;
        a[170] = &Impl::lockScreen;
        a[171] = &Impl::unlockScreen;
        a[172] = &Impl::runScript;
        commands::installCardCommands(a);
        commands::installObjectCommands(a);
        commands::installSystemCommands(a);
        commands::installTextCommands(a);
        return a;
    }();
    return t;
}

// ---- What the topic files share ----

namespace commands {

std::optional<Found> lookup(CommandTable& t, CommandBlock& b) { return CommandTable::Impl::lookup(t, b); }
QRect refreshDisplay(CommandTable& t, const Found& f) { return CommandTable::Impl::refreshDisplay(t, f); }
void redrawItem(CommandTable& t, CommandBlock& b, const QRect& area) { CommandTable::Impl::redrawItem(t, b, area); }
bool onCurrentCard(CommandTable& t, const Found& f) { return CommandTable::Impl::onCurrentCard(t, f); }
void afterChange(CommandTable& t, CommandBlock& b, const CommandBlock& saved, const Found& f) {
    CommandTable::Impl::afterChange(t, b, saved, f);
}
bool isCardOfStack(Handle h) { return cv::isCardOfStack(h); }
uint16_t kindOfIndex(int32_t index) { return cv::kindOfIndex(index); }
int32_t kindIndexOf(uint16_t kind) {
    switch (kind) {
    case obj::kButton: return 0;
    case obj::kText: return 1;
    case obj::kGraphic: return 2;
    default: return -1;
    }
}
void forEachNamedObject(Handle card, void (*fn)(void*, uint32_t, uint16_t), void* context) {
    cv::forEachNamedObject(card, [&](uint32_t off, uint16_t kind) { fn(context, off, kind); });
}
std::string objectName(Handle card, uint32_t offset, uint16_t kind) { return cv::objectName(card, offset, kind); }
uint32_t nameOffset(uint16_t kind) { return cv::nameOffset(kind); }
uint32_t nameSize(uint16_t kind) { return cv::nameSize(kind); }
Player& playerOf(CommandTable& t) { return CommandTable::Impl::player(t); }
bool screenLocked(CommandTable& t) { return t.screenLocked(); }
Handle keptString(CommandTable& t, int slot, std::string_view text) { return CommandTable::Impl::keptString(t, slot, text); }
bool isKeptBlock(const CommandTable& t, Handle h) { return CommandTable::Impl::isKept(t, h); }
uint32_t getLE32(const uint8_t* d) { return CommandTable::Impl::getLE32(d); }
void putLE32(uint8_t* d, uint32_t v) { CommandTable::Impl::putLE32(d, v); }

} // namespace commands

namespace {

// The table and block that the host table's callback works on: there is one player, and
// plug-ins are called on its one thread.
CommandTable* hostCommands = nullptr;
CommandBlock* hostBlock = nullptr;

void hostCallback() {
    if (hostCommands && hostBlock) hostCommands->NBACallback(*hostBlock);
}
uint8_t* hostLock(NBARef ref) {
    if (!IsReference(ref)) return nullptr;
    return LockHandle(ref);
}
void hostUnlock(NBARef ref) {
    if (IsReference(ref)) UnlockHandle(ref);
}
uint32_t hostSize(NBARef ref) { return ReferenceSize(ref); }
NBARef hostNew(uint32_t size) { return NewReference(size); }
void hostDispose(NBARef ref) { DisposeReference(ref); }

const NBAHostTable kHostTable = {sizeof(NBAHostTable), NBA_BLOCK_VERSION, hostCallback, hostLock,
                                 hostUnlock, hostSize, hostNew, hostDispose};

} // namespace

CommandTable::CommandTable(Player& player) : player_(player) {}

const NBAHostTable& CommandTable::hostTable(CommandBlock& block) {
    hostCommands = this;
    hostBlock = &block;
    return kHostTable;
}

CommandTable::~CommandTable() {
    if (hostCommands == this) {
        hostCommands = nullptr;
        hostBlock = nullptr;
    }
    DisposeReference(rect_);
    DisposeReference(userName_);
    for (Handle h : names_) DisposeReference(h);
    for (Handle h : kept_) DisposeReference(h);
}

bool CommandTable::hasEntry(int command) {
    return command >= 0 && command < kCommandCount && Impl::table()[size_t(command)] != nullptr;
}

void CommandTable::NBACallback(CommandBlock& block) {
    // The command is a signed 16-bit number.
    const int command = int16_t(block.command());
    if (!hasEntry(command)) return;
    if (depth_ >= kMaxDepth) return;
    ++depth_;
    Impl::table()[size_t(command)](*this, block);
    --depth_;
}

} // namespace cv
