#include "player/navigation.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "core/alerts.h"
#include "core/byte_order.h"
#include "core/clock.h"
#include "core/host_path.h"
#include "core/pstring.h"
#include "core/text_encoding.h"
#include "core/ui.h"
#include "player/actions.h"
#include "player/player.h"
#include "player/stored_files.h"
#include "resources/strings.h"
#include "stack/chunk_file.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"
#include "stack/stack_io.h"

namespace fs = std::filesystem;

namespace cv {

namespace {
constexpr int kFullScreenFade = 28;

bool samePath(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return a == b;
    std::error_code ec;
    if (fs::equivalent(a, b, ec)) return true;
    return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

bool isWhite(char c) { return c == ' ' || (c >= 9 && c <= 13); }
} // namespace

Navigation::Navigation(Player& player) : player_(player) {}

Navigation::WorkScope::WorkScope(Navigation& nav, Work work) : nav_(nav), outer_(nav.work_) {
    // Card work that starts afresh leaves the card whose work asked for the waiting move.
    if (nav_.workDepth_++ == 0) nav_.pending_ = nullptr;
    nav_.work_ = work;
}

Navigation::WorkScope::~WorkScope() {
    --nav_.workDepth_;
    nav_.work_ = outer_;
}

Navigation::Deferral Navigation::defer(std::function<void()> move) {
    if (workDepth_ == 0) return Deferral::RunNow;
    if (work_ == Work::Leaving) return Deferral::GivesWay;
    pending_ = std::move(move); // the last asked wins
    return Deferral::Waits;
}

bool Navigation::postPendingMove() {
    if (!pending_ || workDepth_ > 0) return false;
    for (const Message& m : player_.queue())
        if (m.type == MsgType::Timer && m.key == kMoveTimerId) return false;
    Message m;
    m.type = MsgType::Timer;
    m.key = kMoveTimerId;
    player_.post(m);
    return true;
}

void Navigation::runPendingMove() {
    if (!pending_ || workDepth_ > 0) return;
    const std::function<void()> move = std::move(pending_);
    pending_ = nullptr;
    move();
}

void Navigation::pushHistory() {
    const StackDocument& s = theStack();
    Handle card = player_.currentCard();
    if (!card) return;
    const uint16_t id = CardIdOf(card);
    if (get16(memRefs().data(card) + card::kAttributes) & 0x80) {
        lastMarkedCardId_ = id;
        lastMarkedPath_ = s.path;
    }
    if (!history_.empty() && history_.front().cardId == id && samePath(history_.front().path, s.path)) return;
    if (history_.size() > kHistoryLimit - 1) history_.pop_back();
    history_.push_front(HistoryEntry{id, s.path});
}

void Navigation::leaveCard(bool history) {
    if (!player_.currentCard()) return;
    const WorkScope leaving(*this, Work::Leaving);
    if (history) pushHistory();
    if (player_.onCardLeaving) player_.onCardLeaving();
    if (actions_) {
        Handle card = player_.currentCard();
        actions_->runNamedAction(get16(memRefs().data(card) + card::kLeaveAction), true, 2031);
        actions_->stopCardMedia();
    }
    if (player_.onCardLeft) player_.onCardLeft();
}

void Navigation::goToNumber(int number, int transition, int speed, bool history) {
    if (number < 1 || number > theStack().cardCount()) return;
    const WorkScope move(*this, Work::Entering);
    leaveCard(history);
    player_.showCardNumber(number, transition, speed, false);
}

void Navigation::goNext(int transition, int speed) {
    if (defer([=, this] { goNext(transition, speed); }) != Deferral::RunNow) return;
    const int n = theStack().cardCount();
    if (n) goToNumber(player_.currentCardNumber() % n + 1, transition, speed, true);
}

void Navigation::goPrevious(int transition, int speed) {
    if (defer([=, this] { goPrevious(transition, speed); }) != Deferral::RunNow) return;
    const int n = theStack().cardCount();
    if (n) goToNumber((player_.currentCardNumber() + n - 2) % n + 1, transition, speed, true);
}

void Navigation::goFirst(int transition, int speed) {
    if (defer([=, this] { goFirst(transition, speed); }) != Deferral::RunNow) return;
    goToNumber(1, transition, speed, true);
}

void Navigation::goLast(int transition, int speed) {
    if (defer([=, this] { goLast(transition, speed); }) != Deferral::RunNow) return;
    goToNumber(theStack().cardCount(), transition, speed, true);
}

bool Navigation::goToCardId(uint16_t id, int transition, int speed, bool history) {
    if (const Deferral d = defer([=, this] { goToCardId(id, transition, speed, history); }); d != Deferral::RunNow)
        return d == Deferral::Waits;
    const WorkScope move(*this, Work::Entering);
    leaveCard(history);
    const int number = CardNumberOfId(id);
    if (number == 0) {
        showAlert(2223);
        player_.showCardNumber(std::max(player_.currentCardNumber(), 1), 3, 8, false);
        return false;
    }
    player_.showCardNumber(number, transition, speed, false);
    return true;
}

void Navigation::goBack(int transition, int speed) {
    if (defer([=, this] { goBack(transition, speed); }) != Deferral::RunNow) return;
    if (history_.empty()) return;
    const HistoryEntry entry = history_.front();
    const std::string& current = theStack().path;
    // An entry without a path was left in an untitled stack: while a stack with a file is open,
    // that is another stack, and its card id means nothing here.
    const bool otherStack = entry.path.empty() ? !current.empty() : !samePath(entry.path, current);
    if (history_.size() > 1) history_.pop_front();
    if (otherStack) goToOtherStack(entry.path, int16_t(entry.cardId), transition, speed, false);
    else goToCardId(entry.cardId, transition, speed, false);
}

void Navigation::goHome(int transition, int speed) {
    if (defer([=, this] { goHome(transition, speed); }) != Deferral::RunNow) return;
    if (homePath_.empty()) return;
    goToOtherStack(homePath_, homeCardId_ ? int16_t(homeCardId_) : int16_t(-6), transition, speed, true);
}

void Navigation::goLastMarked(int transition, int speed) {
    if (defer([=, this] { goLastMarked(transition, speed); }) != Deferral::RunNow) return;
    if (lastMarkedCardId_ == 0) {
        showAlert(2242);
        return;
    }
    if (lastMarkedPath_.empty() || samePath(lastMarkedPath_, theStack().path))
        goToCardId(lastMarkedCardId_, transition, speed, true);
    else
        goToOtherStack(lastMarkedPath_, int16_t(lastMarkedCardId_), transition, speed, true);
}

bool Navigation::goToOtherStack(const std::string& path, int16_t destination, int transition, int speed,
                                bool history) {
    if (const Deferral d = defer([=, this] { goToOtherStack(path, destination, transition, speed, history); });
        d != Deferral::RunNow)
        return d == Deferral::Waits;
    if (!player_.mayCloseStack()) return false;
    const WorkScope move(*this, Work::Entering);
    leaveCard(history);

    // Find the file: as named, then by name near the current stack, then ask.
    std::string file = path;
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        if (auto found = resolveHostPath(utf8ToCp1252(path), storedFileFolders())) file = *found;
    }
    if (!fs::is_regular_file(file, ec)) {
        // An untitled stack has no file name: it is asked for by the name its title showed.
        const std::string name = path.empty() ? cp1252ToUtf8(loadString(2502).value_or("Untitled"))
                                              : fs::path(path).filename().string();
        const auto chosen = ui().chooseFile("Please find the stack named: " + utf8ToCp1252(name),
                                            "Stacks (*.STK)|*.stk", false);
        if (!chosen) {
            player_.showCardNumber(std::max(player_.currentCardNumber(), 1), 3, 8, false);
            return false;
        }
        file = *chosen;
    }

    closeStack();
    if (!player_.openStackOnly(file)) {
        player_.newUntitledStack();
        return false;
    }
    int number = destination == -6 ? 1 : CardNumberOfId(uint16_t(destination));
    if (number == 0) number = 1;
    player_.showCardNumber(number, transition, speed, true);
    return true;
}

void Navigation::closeStack() {
    if (!theStack().open()) return;
    const WorkScope leaving(*this, Work::Leaving);
    if (actions_) actions_->runNamedAction(theStack().h16(hdr::kLeaveAction), false, 2034);
    if (stackHooks().saveWorkspace) stackHooks().saveWorkspace();
}

void Navigation::redisplayCurrentCard() {
    if (defer([this] { redisplayCurrentCard(); }) != Deferral::RunNow) return;
    if (actions_) actions_->stopCardMedia();
    player_.showCardNumber(std::max(player_.currentCardNumber(), 1), 3, 8, false);
}

std::optional<uint16_t> Navigation::jumpTarget(const std::string& text) {
    const std::string t = text.substr(0, 15);
    if (std::all_of(t.begin(), t.end(), isWhite)) return uint16_t(0);
    const bool digits = std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (digits) {
        const long n = std::strtol(t.c_str(), nullptr, 10);
        if (n >= 1 && n <= theStack().cardCount()) return CardIdOf(CardByNumber(int(n)));
    }
    uint8_t pname[256] = {};
    const std::string name = t.substr(0, 33);
    pname[0] = uint8_t(name.size());
    std::copy(name.begin(), name.end(), pname + 1);
    Handle card = CardByName(pname);
    if (!card) return std::nullopt;
    return CardIdOf(card);
}

void Navigation::jumpToCardDialog() {
    while (true) {
        const auto text = ui().askText("JUMP_TO_CARD", "&Jump to card:", "");
        if (!text) return;
        const auto target = jumpTarget(*text);
        if (!target) {
            showAlert(2223);
            continue; // the dialog stays open
        }
        if (*target == 0) return;
        goToCardId(*target, 3, 8, true);
        return;
    }
}

bool Navigation::slideShowPause(int ticks) {
    const uint64_t deadline = clock().nowMs() + uint64_t(ticks) * 17;
    while (clock().nowMs() < deadline) {
        player_.host().pump();
        bool escape = false;
        player_.queue().removeIf([&](const Message& m) {
            if (m.type != MsgType::KeyDown) return false;
            if (m.key == kKeyEscape) escape = true;
            return true;
        });
        if (escape) return true;
        player_.postDueTimer();
        clock().sleepUntilMs(std::min(deadline, clock().nowMs() + kTimerPeriodMs));
    }
    return false;
}

void Navigation::runSlideShow() {
    if (defer([this] { runSlideShow(); }) != Deferral::RunNow) return;
    if (!theStack().open()) return;
    const auto choice = ui().slideShowDialog(SlideShowChoice{slideShowAllCards, slideShowPauseSeconds});
    if (!choice) return;
    slideShowAllCards = choice->allCards;
    slideShowPauseSeconds = choice->pauseSeconds > 0 ? choice->pauseSeconds : 3; // kept for next time
    const uint16_t start = player_.currentCardId();
    const int pause = slideShowPauseSeconds;
    goToNumber(1, kFullScreenFade, 8, true);
    bool stop = slideShowPause(pause * 60);
    int shown = 1;
    const int count = theStack().cardCount();
    while (!stop && !(slideShowAllCards && shown >= count)) {
        goToNumber(player_.currentCardNumber() % count + 1, kFullScreenFade, 4, true);
        ++shown;
        stop = slideShowPause(pause * 60);
    }
    goToCardId(start, kFullScreenFade, 8, true);
}

std::optional<size_t> matchTextLink(const std::string& text, size_t position, const std::string& link,
                                    bool locked, size_t selStart, size_t selEnd) {
    if (link.empty() || text.empty()) return std::nullopt;
    const size_t from = position > link.size() ? position - link.size() : 0;
    const size_t to = std::min(text.size(), position + link.size());
    for (size_t at = from; at + link.size() <= to; ++at) {
        if (text.compare(at, link.size(), link) != 0) continue;
        const size_t end = at + link.size();
        if (locked ? (position > at && position < end) : (selStart >= at && selEnd <= end)) return at;
    }
    return std::nullopt;
}

bool Navigation::followTextLink(uint16_t fieldId, const std::string& fieldText, size_t position, bool locked,
                                size_t selStart, size_t selEnd) {
    ChunkFile* cf = chunkFileFor(theStack().chunkFile);
    if (!cf || !actions_) return false;
    SetCurrentChunkFile(cf->refNum);
    for (int pass = 0; pass < 2; ++pass) {
        const uint16_t wanted = pass == 0 ? fieldId : 0;
        const int count = CountChunks(chunk::kHlnk);
        for (int i = 1; i <= count; ++i) {
            Handle h = GetIndexedChunk(chunk::kHlnk, i);
            const uint8_t* d = memRefs().data(h);
            const uint32_t size = GetHandleSize(h);
            if (!d || size < hlnk::kHeaderSize) continue;
            if (get16(d + hlnk::kTextObject) != wanted || !get16(d + hlnk::kHasAction)) continue;
            const uint32_t textLen = std::min<uint32_t>(get16(d + hlnk::kTextLength), size - hlnk::kHeaderSize);
            const std::string link(reinterpret_cast<const char*>(d + hlnk::kHeaderSize), textLen);
            if (!matchTextLink(fieldText, position, link, locked, selStart, selEnd)) continue;
            const uint32_t at = hlnk::kHeaderSize + textLen + get16(d + hlnk::kAfterLength);
            if (at + 136 > size) continue;
            if (player_.onLinkFound) player_.onLinkFound(link);
            actions_->runActionList(h, at, get16(d + hlnk::kLinkNumber), false, link.substr(0, 32));
            return true;
        }
    }
    return false;
}

} // namespace cv
