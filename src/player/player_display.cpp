// Showing cards: composing the picture and objects, painting, the window title.
#include <QPainter>
#include <filesystem>

#include "core/byte_order.h"
#include "core/text_encoding.h"
#include "player/menu_bar.h"
#include "player/player.h"
#include "player/text_fields.h"
#include "resources/strings.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"

namespace cv {

Handle Player::currentCard() const { return CardByNumber(currentCardNumber_); }

void Player::resizeCard(int width, int height) {
    width = std::max(width, 1);
    height = std::max(height, 1);
    if (width == cardWidth_ && height == cardHeight_) return;
    cardWidth_ = width;
    cardHeight_ = height;
    screen_ = QImage(width, height, QImage::Format_RGB32);
    screen_.fill(Qt::white);
    host_.resizeToCard(width, height);
}

void Player::showCard(Handle card, int transitionNumber, int speed, bool arrive) {
    // A disc playing for the card left behind stops when another card arrives.
    if (arrive && media.stopVideodisc) media.stopVideodisc();
    const StackDocument& s = theStack();
    if (s.open()) resizeCard(s.cardWidth(), s.cardHeight());
    if (revealed_) revealButtons(false);
    if (cardWantsMenuBar(memRefs().data(card), GetHandleSize(card)) != host_.menuBarVisible()) toggleMenuBar(*this);

    picture_ = decodeCardPicture(card, cardWidth_, cardHeight_);
    drawContext_.palette = &picture_.palette;
    displayList_ = buildDisplayList(card, picture_.colourTable, s.path);
    textFields_->cardShown(card);

    QImage composed = picture_.image.copy();
    {
        QPainter p(&composed);
        drawObjects(p, displayList_, composed.rect(), drawContext_);
    }
    if (currentTool == kBrowseTool && media.showOnCard) media.showOnCard(composed);
    const QRect rect = screen_.rect();
    if (transition) {
        transition(screen_, composed, rect, transitionNumber, speed);
    } else {
        screen_ = composed;
    }
    host_.present(rect);
    textFields_->activatePending();
}

void Player::paintCardRect(const QRect& r) {
    const QRect rect = r.intersected(screen_.rect());
    if (rect.isEmpty()) return;
    QPainter p(&screen_);
    if (picture_.image.isNull()) {
        p.fillRect(rect, Qt::white);
    } else {
        p.drawImage(rect.topLeft(), picture_.image, rect);
        p.setClipRect(rect);
        drawObjects(p, displayList_, rect, drawContext_);
    }
    p.end();
    // Revealed outlines were wiped where the picture was copied back: draw them again there.
    if (revealed_) drawButtonOutlines(screen_, displayList_, rect);
    host_.present(rect);
}

void Player::showCardNumber(int number, int transitionNumber, int speed, bool arriveAtStack) {
    Handle card = CardByNumber(number);
    if (!card) return;
    currentCardNumber_ = number;
    currentCardId_ = CardIdOf(card);
    showCard(card, transitionNumber, speed, true);
    updateTitle();
    arrived(arriveAtStack);
}

std::string Player::windowTitle() const {
    const StackDocument& s = theStack();
    std::string title = s.path.empty() ? loadString(2502).value_or("Untitled")
                                       : utf8ToCp1252(std::filesystem::path(s.path).filename().string());
    if (!s.open() || !s.h16(hdr::kShowCardNumber)) return title;
    Handle card = currentCard();
    if (!card) return title;
    // The card's number, not counting cards that ask to be left out of it.
    int shown = 0;
    for (int n = 1; n <= currentCardNumber_ && n <= s.cardCount(); ++n)
        if (!(get16(memRefs().data(CardByNumber(n)) + card::kAttributes) & 0x01)) ++shown;
    std::string label = loadString(2521).value_or(" - Card ");
    if ((get16(memRefs().data(card) + card::kAttributes) & 0x80) && label.size() > 1) label[1] = '*';
    return title + label + std::to_string(shown);
}

void Player::updateTitle() { host_.setTitle(windowTitle()); }

void toggleMenuBar(Player& player) {
    Host& host = player.host();
    host.setMenuBarVisible(!host.menuBarVisible());
    host.resizeToCard(player.cardWidth(), player.cardHeight());
}

bool cardWantsMenuBar(const uint8_t* card, uint32_t size) {
    if (!card || size < kCardMenuBarOffset + 2) return true;
    return (get16(card + kCardMenuBarOffset) & kCardHidesMenuBar) == 0;
}

} // namespace cv
