// The card and stack commands of the table: moving back, home, to the last marked card, to a
// card by number and to another stack; the card records a plug-in walks (first, current, next,
// previous, by number) and what it reads of a card and of the open stack.
#include <algorithm>
#include <string>

#include "core/alerts.h"
#include "core/references.h"
#include "core/text_encoding.h"
#include "player/command_table.h"
#include "player/command_table_parts.h"
#include "player/navigation.h"
#include "player/player.h"
#include "stack/stack_document.h"

namespace cv::commands {

namespace {

// The interface version the player answers to command 12.
constexpr uint32_t kInterfaceVersion = 5;
// Where goToOtherStack starts when no card id is given: the stack's first card.
constexpr int16_t kFirstCardOfStack = -6;

// The 1-based number of a card record of the open stack, or 0.
int numberOf(Handle card) {
    const auto& cards = theStack().cards;
    for (size_t i = 0; i < cards.size(); ++i)
        if (cards[i].record == card) return int(i) + 1;
    return 0;
}

// Answers a card record and its number in p1 and p2 (0 and 0 for none).
void answerCard(CommandBlock& b, int number) {
    const bool valid = theStack().open() && number >= 1 && number <= theStack().cardCount();
    b.setParam(1, valid ? uint32_t(CardByNumber(number)) : 0);
    b.setParam(2, valid ? uint32_t(number) : 0);
}

// A transition and speed packed as command 5 takes them (transition low, speed high), put right
// the same way: outside 1..27, or a speed other than 0, 8 and 16, gives 3 at speed 8.
std::pair<int, int> packedTransition(uint32_t packed) {
    int transition = lo(packed);
    int speed = int16_t(high16(packed));
    if (transition <= 0 || transition >= 28 || (speed != 0 && speed != 8 && speed != 16)) return {3, 8};
    return {transition, speed};
}

// ---- Moving ----

// 1 to 4: first, last, previous, next card; p1 transition, p2 speed (low 16 bits).
void goFirst(CommandTable& t, CommandBlock& b) { playerOf(t).navigation().goFirst(lo(b.param(1)), lo(b.param(2))); }
void goLast(CommandTable& t, CommandBlock& b) { playerOf(t).navigation().goLast(lo(b.param(1)), lo(b.param(2))); }
void goPrevious(CommandTable& t, CommandBlock& b) {
    playerOf(t).navigation().goPrevious(lo(b.param(1)), lo(b.param(2)));
}
void goNext(CommandTable& t, CommandBlock& b) { playerOf(t).navigation().goNext(lo(b.param(1)), lo(b.param(2))); }

// 5: to the card whose id is p1's low 16 bits, or when that is 0 the card named or numbered
// by the counted string in p3; p2 packs the transition and speed.
void goToCard(CommandTable& t, CommandBlock& b) {
    if (!theStack().open()) return;
    const auto [transition, speed] = packedTransition(b.param(2));
    uint16_t id = uint16_t(low16(b.param(1)));
    if (id == 0) {
        const auto text = CountedStringAt(Handle(b.param(3)));
        if (!text) return;
        const Handle card = CardByNameOrNumber(*text);
        if (!card) {
            showAlert(2223);
            return;
        }
        id = CardIdOf(card);
    }
    playerOf(t).navigation().goToCardId(id, transition, speed);
}

// 7: back through the history (the Back command), p1 transition, p2 speed.
void goBack(CommandTable& t, CommandBlock& b) { playerOf(t).navigation().goBack(lo(b.param(1)), lo(b.param(2))); }

// 11: to the home stack, p1 transition, p2 speed.
void goHome(CommandTable& t, CommandBlock& b) { playerOf(t).navigation().goHome(lo(b.param(1)), lo(b.param(2))); }

// 44: to the last marked card, p1 transition, p2 speed.
void goLastMarked(CommandTable& t, CommandBlock& b) {
    playerOf(t).navigation().goLastMarked(lo(b.param(1)), lo(b.param(2)));
}

// 13: to card number p1 (low 16 bits), p2 as command 5 takes it. A number no card has shows
// the same alert as a card name no card has.
void goToNumber(CommandTable& t, CommandBlock& b) {
    if (!theStack().open()) return;
    const int number = lo(b.param(1));
    if (number < 1 || number > theStack().cardCount()) {
        showAlert(2223);
        return;
    }
    const auto [transition, speed] = packedTransition(b.param(2));
    playerOf(t).navigation().goToCardId(CardIdOf(CardByNumber(number)), transition, speed);
}

// 101: to another stack: p3 its file (a counted string), p1's low 16 bits the card id there
// (0: its first card), p2 as command 5 takes it. A file not found is asked for, as for a
// button that goes to another stack.
void goToStack(CommandTable& t, CommandBlock& b) {
    const auto path = CountedStringAt(Handle(b.param(3)));
    if (!path || path->empty()) return;
    const uint16_t id = uint16_t(low16(b.param(1)));
    const auto [transition, speed] = packedTransition(b.param(2));
    playerOf(t).navigation().goToOtherStack(cp1252ToUtf8(*path), id ? int16_t(id) : kFirstCardOfStack, transition,
                                            speed, true);
}

// ---- Answers ----

// 12: the interface version.
void version(CommandTable&, CommandBlock& b) {
    b.setParam(1, kInterfaceVersion);
    b.setParam(2, 0);
}

// 14: the number of cards.
void cardCount(CommandTable&, CommandBlock& b) {
    b.setParam(1, theStack().open() ? uint32_t(theStack().cardCount()) : 0);
}

// 19: card 1's record.
void firstCard(CommandTable&, CommandBlock& b) {
    b.setParam(1, theStack().open() ? uint32_t(CardByNumber(1)) : 0);
}

// 20: the current card's record and number.
void currentCard(CommandTable& t, CommandBlock& b) {
    Player& p = playerOf(t);
    const Handle card = p.currentCard();
    b.setParam(1, uint32_t(card));
    b.setParam(2, card ? uint32_t(p.currentCardNumber()) : 0);
}

// 21 and 22: the card after (before) the card record in p1; 0 past the end, and for a p1
// that is no card of the open stack.
void nextCard(CommandTable&, CommandBlock& b) {
    const Handle card = Handle(b.param(1));
    const int number = isCardOfStack(card) ? numberOf(card) : 0;
    answerCard(b, number ? number + 1 : 0);
}

void previousCard(CommandTable&, CommandBlock& b) {
    const Handle card = Handle(b.param(1));
    const int number = isCardOfStack(card) ? numberOf(card) : 0;
    answerCard(b, number ? number - 1 : 0);
}

// 23: the record of card number p1.
void cardOfNumber(CommandTable&, CommandBlock& b) { answerCard(b, int32_t(b.param(1))); }

// 25: what a card record (p1) holds: p1 its id, p2 its number, p3 its name (a counted
// string the player keeps until the next command 25), p4 its background card's id. p1 to p4
// are 0 when p1 is no card of the open stack.
void cardInfo(CommandTable& t, CommandBlock& b) {
    const Handle card = Handle(b.param(1));
    for (int i = 1; i <= 4; ++i) b.setParam(i, 0);
    if (!isCardOfStack(card)) return;
    const uint16_t id = CardIdOf(card);
    b.setParam(1, id);
    b.setParam(2, uint32_t(numberOf(card)));
    b.setParam(3, uint32_t(keptString(t, kKeptCardName, CardName(card))));
    b.setParam(4, BackgroundCardId(id));
}

// 48: the card named or numbered by the counted string in p3 (as command 5 reads it): p1 its
// id, p2 its number; both 0 when there is none.
void cardOfName(CommandTable&, CommandBlock& b) {
    const auto text = CountedStringAt(Handle(b.param(3)));
    const Handle card = text ? CardByNameOrNumber(*text) : 0;
    b.setParam(1, card ? CardIdOf(card) : 0);
    b.setParam(2, card ? uint32_t(numberOf(card)) : 0);
}

// 100: the open stack: p1 its file (a counted string the player keeps; empty when untitled),
// p2 and p3 the card width and height, p4 1 when it has changes not saved.
void stackInfo(CommandTable& t, CommandBlock& b) {
    const StackDocument& s = theStack();
    Player& p = playerOf(t);
    b.setParam(1, uint32_t(keptString(t, kKeptStackPath, utf8ToCp1252(s.path))));
    b.setParam(2, uint32_t(p.cardWidth()));
    b.setParam(3, uint32_t(p.cardHeight()));
    b.setParam(4, s.open() && s.changed ? 1 : 0);
}

} // namespace

void installCardCommands(Table& a) {
    a[1] = &goFirst;
    a[2] = &goLast;
    a[3] = &goPrevious;
    a[4] = &goNext;
    a[5] = &goToCard;
    a[7] = &goBack;
    a[11] = &goHome;
    a[12] = &version;
    a[13] = &goToNumber;
    a[14] = &cardCount;
    a[19] = &firstCard;
    a[20] = &currentCard;
    a[21] = &nextCard;
    a[22] = &previousCard;
    a[23] = &cardOfNumber;
    a[25] = &cardInfo;
    a[44] = &goLastMarked;
    a[48] = &cardOfName;
    a[100] = &stackInfo;
    a[101] = &goToStack;
}

} // namespace cv::commands
