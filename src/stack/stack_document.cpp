#include "stack/stack_document.h"

#include <cstring>

#include "core/alerts.h"
#include "core/pstring.h"
#include "resources/strings.h"
#include "stack/chunk_file.h"
#include "stack/record_convert.h"
#include "stack/stack_io.h"

namespace cv {

StackDocument& theStack() {
    static StackDocument s;
    return s;
}

void DisposeStack() {
    StackDocument& s = theStack();
    if (s.open() && stackHooks().closing) stackHooks().closing();
    for (auto& c : s.cards) DisposeHandle(c.record);
    s.cards.clear();
    if (s.chunkFile) CloseChunkFile(s.chunkFile);
    DisposeHandle(s.fontList);
    DisposeHandle(s.header);
    s = StackDocument{};
}

Handle NewCardRecord(uint16_t id, uint16_t mode, uint16_t backgroundId, uint16_t depth,
                     uint16_t width, uint16_t height) {
    const uint32_t size = card::kBody + 4;
    Handle h = NewHandle(size);
    if (!h) return 0;
    uint8_t* p = memRefs().data(h);
    put16(p + card::kId, id);
    put32(p + card::kLength, size);
    put16(p + card::kMode, mode);
    put16(p + card::kBackgroundCard, backgroundId);
    put16(p + card::kDepth, depth);
    put16(p + card::kWidth, width);
    put16(p + card::kHeight, height);
    put16(p + size - 2, card::kTrailer);
    return h;
}

bool NewStack(uint16_t width, uint16_t height, uint16_t depth) {
    DisposeStack();
    StackDocument& s = theStack();
    s.header = NewHandle(hdr::kSize);
    if (!s.header) return false;
    s.setH16(hdr::kVersion, 5);
    s.setH16(hdr::kNextCardId, 1);
    s.setH16(12, 1);
    s.setH16(hdr::kDepth, depth);
    s.setH16(hdr::kCardWidth, width);
    s.setH16(hdr::kCardHeight, height);
    s.setH16(hdr::kField50, 1);
    s.setH32(hdr::kLastChunkId, 1);
    if (AddCard(0, false) == 0) {
        DisposeStack();
        return false;
    }
    s.changed = false;
    return true;
}

Handle CardByNumber(int number) {
    const StackDocument& s = theStack();
    if (number < 1 || number > s.cardCount()) return 0;
    return s.cards[number - 1].record;
}

uint16_t CardIdOf(Handle card) {
    const uint8_t* p = memRefs().data(card);
    return p ? get16(p + card::kId) : 0;
}

int CardNumberOfId(uint16_t id) {
    const StackDocument& s = theStack();
    for (size_t i = 0; i < s.cards.size(); ++i)
        if (CardIdOf(s.cards[i].record) == id) return static_cast<int>(i + 1);
    return 0;
}

Handle CardById(uint16_t id) { return CardByNumber(CardNumberOfId(id)); }

Handle CardByName(const uint8_t* pname) {
    const std::string_view wanted(reinterpret_cast<const char*>(pname + 1), pname[0]);
    for (auto& c : theStack().cards) {
        // The name is read within its field: a damaged length byte must not lead past the record.
        if (equalNoCase(CardName(c.record), wanted)) return c.record;
    }
    return 0;
}

std::string CardName(Handle card) {
    const uint8_t* p = memRefs().data(card);
    return p ? pstringField(p + card::kName, card::kNameSize) : std::string();
}

uint16_t BackgroundCardId(uint16_t cardId) {
    uint16_t id = cardId;
    // A chain can loop in a damaged stack; it cannot be longer than the card list.
    for (int guard = theStack().cardCount() + 1; guard > 0; --guard) {
        Handle c = CardById(id);
        if (!c) return id;
        const uint8_t* p = memRefs().data(c);
        if (get16(p + card::kMode) != card::kModeShared) return id;
        id = get16(p + card::kBackgroundCard);
    }
    return id;
}

bool IsBackgroundCard(uint16_t cardId) {
    Handle c = CardById(cardId);
    if (!c || get16(memRefs().data(c) + card::kMode) != card::kModeOwn) return false;
    for (auto& e : theStack().cards) {
        const uint8_t* p = memRefs().data(e.record);
        if (get16(p + card::kMode) == card::kModeShared && get16(p + card::kBackgroundCard) == cardId)
            return true;
    }
    return false;
}

int AddCard(int currentNumber, bool shareBackground, uint16_t playerSetting) {
    StackDocument& s = theStack();
    if (!s.open()) return 0;
    const uint16_t id = s.h16(hdr::kNextCardId);
    uint16_t mode = card::kModeNone, background = 0;
    Handle current = CardByNumber(currentNumber);
    if (shareBackground && current) {
        mode = card::kModeShared;
        background = BackgroundCardId(CardIdOf(current));
    }
    Handle rec = NewCardRecord(id, mode, background, s.depth(), s.cardWidth(), s.cardHeight());
    if (!rec) {
        showAlert(kStrNotEnoughMemory);
        return 0;
    }
    put16(memRefs().data(rec) + card::kSetting16, playerSetting);
    const int at = s.cards.empty() ? 0 : std::min(std::max(currentNumber, 0), s.cardCount());
    CardEntry entry;
    entry.record = rec;
    s.cards.insert(s.cards.begin() + at, entry);
    s.setH16(hdr::kNextCardId, static_cast<uint16_t>(id + 1));
    s.currentWhenLastAdded = current ? CardIdOf(current) : 0;
    s.changed = true;
    return at + 1;
}

uint32_t FindObject(Handle card, uint16_t kind, uint16_t id) {
    const uint8_t* p = memRefs().data(card);
    if (!p) return 0;
    uint32_t found = 0;
    forEachObject(p, GetHandleSize(card), [&](uint32_t off, uint16_t k) {
        if (!found && k == kind && get16(p + off + obj::kId) == id) found = off;
    });
    return found;
}

} // namespace cv
