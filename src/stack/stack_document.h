#pragma once
// The open stack: its header, its card list and its chunk file. There is one open stack per
// process, as there is one window; it belongs to the stack document layer from opening until
// it is closed or replaced.
#include <cstdint>
#include <string>
#include <vector>

#include "core/byte_order.h"
#include "core/handles.h"
#include "stack/record_layout.h"

namespace cv {

struct CardEntry {
    Handle record = 0;
    uint8_t runtime[12] = {};
};

struct StackDocument {
    Handle header = 0;                  // 128 bytes, native order
    std::vector<CardEntry> cards;
    uint32_t chunkFile = 0;             // reference number, 0 when none yet
    std::string path;                   // file read from or last saved to; empty when untitled
    bool macText = false;               // names and text are in the Macintosh set
    bool converted = false;             // loaded from an older version
    bool recoloured = false;            // loading had to change its colours
    bool changed = false;
    Handle fontList = 0;                // the detached 'FntL' 128
    uint16_t currentWhenLastAdded = 0;  // card id current when the last card was added

    bool open() const { return header != 0; }
    uint16_t h16(uint32_t off) const { return header ? get16(memRefs().data(header) + off) : 0; }
    uint32_t h32(uint32_t off) const { return header ? get32(memRefs().data(header) + off) : 0; }
    void setH16(uint32_t off, uint16_t v) { if (header) put16(memRefs().data(header) + off, v); }
    void setH32(uint32_t off, uint32_t v) { if (header) put32(memRefs().data(header) + off, v); }
    int cardCount() const { return static_cast<int>(cards.size()); }
    uint16_t cardWidth() const { return h16(hdr::kCardWidth); }
    uint16_t cardHeight() const { return h16(hdr::kCardHeight); }
    uint16_t depth() const { return h16(hdr::kDepth); }
};

StackDocument& theStack();

// Disposes the open stack's cards, header, font list and chunk file.
void DisposeStack();
// Makes a new, untitled stack with one empty card of the given size and depth.
bool NewStack(uint16_t width, uint16_t height, uint16_t depth);

// Card lookups. Numbers are 1-based positions; 0 means none.
Handle CardByNumber(int number);
Handle CardById(uint16_t id);
int CardNumberOfId(uint16_t id);
Handle CardByName(const uint8_t* pname);
uint16_t CardIdOf(Handle card);
// The id of the card whose picture `cardId` shows (following mode 3 chains).
uint16_t BackgroundCardId(uint16_t cardId);
bool IsBackgroundCard(uint16_t cardId);

// A new empty card record (native form).
Handle NewCardRecord(uint16_t id, uint16_t mode, uint16_t backgroundId, uint16_t depth,
                     uint16_t width, uint16_t height);
// Adds a card after position `currentNumber` (0: first) and returns its number, or 0 (with
// the out-of-memory alert) when it cannot be made. With `shareBackground` it uses the
// background of the current card.
int AddCard(int currentNumber, bool shareBackground, uint16_t playerSetting = 0);

// Objects on a card record (native form): offset of the object of that kind and id, or 0.
uint32_t FindObject(Handle card, uint16_t kind, uint16_t id);

// The card's name, Windows bytes.
std::string CardName(Handle card);

} // namespace cv
