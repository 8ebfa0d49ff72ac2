#include "player/actions.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "core/alerts.h"
#include "core/byte_order.h"
#include "core/clock.h"
#include "core/host_path.h"
#include "core/pstring.h"
#include "core/text_encoding.h"
#include "core/ui.h"
#include "player/host.h"
#include "player/media_hooks.h"
#include "player/menu_bar.h"
#include "player/navigation.h"
#include "player/player.h"
#include "player/stored_files.h"
#include "resources/strings.h"
#include "stack/chunk_file.h"
#include "stack/mac_path.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"
#include "stack/stack_resources.h"

namespace fs = std::filesystem;

namespace cv {

namespace {

// Launch action option (u16 at 16): close the player once the program has started.
constexpr uint16_t kLaunchQuitAfter = 0x4000;

constexpr uint16_t kSomethingToDo = actionlist::kFlagMovie | actionlist::kFlagStackSound | actionlist::kFlagSoundFile |
                                    actionlist::kFlagAnimation | actionlist::kFlagVideodisc | actionlist::kFlagNBA |
                                    actionlist::kFlagScript | actionlist::kFlagGoToCard;

// The actions of a list, each as (offset, length) within it.
std::vector<std::pair<uint32_t, uint32_t>> actionsOf(std::span<const uint8_t> list) {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    if (list.size() < actionlist::kHeaderSize) return out;
    const uint32_t len = std::min<uint32_t>(get32(list.data() + actionlist::kLength), uint32_t(list.size()));
    uint32_t off = actionlist::kHeaderSize;
    while (off < len && len - off >= action::kPayload) {
        const uint32_t alen = get32(list.data() + off + action::kLength);
        if (alen < action::kPayload || alen > len - off) break;
        out.emplace_back(off, alen);
        off += alen;
    }
    return out;
}

std::span<const uint8_t> payloadOf(std::span<const uint8_t> a) {
    if (a.size() <= action::kPayload) return {};
    const uint32_t pad = (get16(a.data() + action::kFlags) & action::kFlagPadded) ? 1 : 0;
    return a.subspan(action::kPayload, a.size() - action::kPayload - std::min<size_t>(pad, a.size() - action::kPayload));
}


// The question before another program starts. The path is shown whole, with any '~' (short
// Windows names such as PROGRA~1) made a small tilde: in an alert text '~' starts a button,
// and a path could otherwise add a button of its own that starts the program.
std::string launchQuestion(const std::string& hostPath) {
    std::string shown = utf8ToCp1252(hostPath);
    std::replace(shown.begin(), shown.end(), '~', '\x98');
    return "33This stack wants to start \"" + shown + "\". Do you want to start it?~Start~^Don't Start";
}

// Alert 2344, or our own words when the string table has none for it: a failed start is
// always told.
void showLaunchFailure() {
    if (loadString(2344)) showAlert(2344, false, true);
    else showAlertText("34Sorry, that program could not be started.~^OK", true);
}

} // namespace

std::string locateFile(const std::string& stored, const std::string& question, const std::string& filter) {
    if (auto found = resolveHostPath(stored, storedFileFolders(), AbsolutePaths::Anywhere)) return *found;
    const auto parts = storedPathComponents(stored);
    const std::string name = parts.empty() ? stored : utf8ToCp1252(parts.back());
    const auto chosen = ui().chooseFile(question + name, filter, false);
    return chosen ? *chosen : std::string();
}

ActionRunner::ActionRunner(Player& player, Navigation& nav, MediaHooks& media)
    : player_(player), nav_(nav), media_(media) {
    // Answers belong to the cards of the stack they were given in: another stack (whose card
    // ids mean other cards) starts with none.
    auto arrive = std::move(player_.onArrive);
    player_.onArrive = [this, arrive](bool arriveAtStack) {
        if (arriveAtStack) answers_.clear();
        if (arrive) arrive(arriveAtStack);
    };
}

std::vector<uint8_t> ActionRunner::findAction(std::span<const uint8_t> list, uint16_t code, uint16_t ownerId,
                                              bool isButton) const {
    for (auto [off, len] : actionsOf(list))
        if (get16(list.data() + off) == code) return {list.begin() + off, list.begin() + off + len};
    if (!isButton || !theStack().chunkFile) return {};
    SetCurrentChunkFile(theStack().chunkFile);
    if (Handle h = GetChunk(chunk::kActn, ownerId)) {
        const std::span<const uint8_t> l(memRefs().data(h), GetHandleSize(h));
        for (auto [off, len] : actionsOf(l))
            if (get16(l.data() + off) == code) return {l.begin() + off, l.begin() + off + len};
    }
    if (Handle h = GetChunk(chunk::kHlnk, ownerId)) {
        const uint8_t* d = memRefs().data(h);
        const uint32_t size = GetHandleSize(h);
        if (size >= hlnk::kHeaderSize && get16(d + hlnk::kHasAction)) {
            const uint32_t at = hlnk::kHeaderSize + get16(d + hlnk::kTextLength) + get16(d + hlnk::kAfterLength);
            if (at < size) {
                const std::span<const uint8_t> l(d + at, size - at);
                for (auto [off, len] : actionsOf(l))
                    if (get16(l.data() + off) == code) return {l.begin() + off, l.begin() + off + len};
            }
        }
    }
    return {};
}

bool ActionRunner::ownerGone(Handle h, uint32_t size, bool isButton, uint16_t ownerId) const {
    if (isButton) return FindObject(player_.currentCard(), obj::kButton, ownerId) == 0;
    return !IsHandleValid(h) || GetHandleSize(h) != size;
}

int ActionRunner::runActionList(Handle h, uint32_t offset, uint16_t ownerId, bool waitAfter, const std::string& name) {
    const uint8_t* base = memRefs().data(h);
    const uint32_t handleSize = GetHandleSize(h);
    if (!base || offset >= handleSize || handleSize - offset < actionlist::kHeaderSize) return 0;
    const uint32_t listLen = std::min(get32(base + offset + actionlist::kLength), handleSize - offset);
    if (listLen < actionlist::kHeaderSize) return 0;
    // Work on a copy: the steps may change or free the record the list lives in.
    const std::vector<uint8_t> list(base + offset, base + offset + listLen);
    const uint8_t* l = list.data();
    const bool isButton = h != 0 && h == player_.currentCard();

    // 1. The header.
    const int left = geti16(l + actionlist::kRect), top = geti16(l + actionlist::kRect + 2);
    const int right = geti16(l + actionlist::kRect + 4), bottom = geti16(l + actionlist::kRect + 6);
    transitionCentre = QPoint(left + (right - left) / 2, top + (bottom - top) / 2);
    buttonColour = paletteColour(player_.cardPicture().palette, int(get16(l + actionlist::kButtonColour)) - 1);
    const int16_t destination = geti16(l + actionlist::kDestination);
    const int transition = get16(l + actionlist::kTransition);
    const int speed = get16(l + actionlist::kSpeed);
    const uint16_t flags = get16(l + actionlist::kFlags);
    if (player_.onActionHeader) player_.onActionHeader(transitionCentre, buttonColour);

    // 2. Test answers.
    const uint16_t answer = get16(l + actionlist::kTestAnswer);
    if (answer == 1 || answer == 2) {
        answers_[player_.currentCardId()] = TestAnswer{answer == 1, name.substr(0, 255)};
    } else if (answer == 3) {
        if (auto n = ui().askText("ASKUSERNAME", "Hello, please enter your name.", userName_)) userName_ = *n;
    }

    bool animationStarted = false, movieStarted = false, nbaStarted = false;
    auto value16 = [](const std::vector<uint8_t>& a, size_t off) { return a.size() >= off + 2 ? get16(a.data() + off) : 0; };

    // 3. A stored sound ('Strk' sounds, marked by bit 15 at 24, play nothing here).
    if (flags & actionlist::kFlagStackSound) {
        if (media_.stopSound) media_.stopSound();
        const auto a = findAction(list, action::kStackSound, ownerId, isButton);
        if (!a.empty() && int16_t(value16(a, 24)) >= 0 && media_.playStackSound)
            media_.playStackSound(value16(a, 16), value16(a, 4), value16(a, 24));
    }
    // 4. A sound file.
    if (flags & actionlist::kFlagSoundFile) {
        if (media_.stopSound) media_.stopSound();
        const auto a = findAction(list, action::kSoundFile, ownerId, isButton);
        if (!a.empty()) {
            const auto p = payloadOf(a);
            const std::string file = locateFile(actionPathText(p.data(), uint32_t(p.size())),
                                                "Please find the sound named: ", "Sounds|*.wav;*.aif;*.au");
            if (!file.empty() && media_.playSoundFile) media_.playSoundFile(file, value16(a, 4), value16(a, 24));
        }
    }
    // 5. A movie.
    if (flags & actionlist::kFlagMovie) {
        const auto a = findAction(list, action::kMovie, ownerId, isButton);
        if (!a.empty() && media_.startMovie) {
            const auto p = payloadOf(a);
            const std::string file = locateFile(actionPathText(p.data(), uint32_t(p.size())),
                                                "Please find the movie named: ", "Movies|*.mov;*.avi");
            if (!file.empty()) movieStarted = media_.startMovie(a, file, ownerId);
        }
    }
    // 6. An animation.
    if (flags & actionlist::kFlagAnimation) {
        const auto a = findAction(list, action::kAnimation, ownerId, isButton);
        if (!a.empty() && media_.startAnimation) animationStarted = media_.startAnimation(a, ownerId);
    }
    // 7. A videodisc segment.
    if (flags & actionlist::kFlagVideodisc) {
        const auto a = findAction(list, action::kVideodisc, ownerId, isButton);
        if (!a.empty() && media_.playVideodisc) media_.playVideodisc(a);
    }
    // 8. An NBA.
    if (flags & actionlist::kFlagNBA) {
        const auto a = findAction(list, action::kNBA, ownerId, isButton);
        if (!a.empty() && media_.callNBA) {
            const auto p = payloadOf(a);
            nbaStarted = media_.callNBA(value16(a, 16), p);
            if (ownerGone(h, handleSize, isButton, ownerId)) return 0;
        }
    }
    // 9. A script.
    if (flags & actionlist::kFlagScript) {
        const auto a = findAction(list, action::kScript, ownerId, isButton);
        if (!a.empty() && media_.runScript) {
            const auto p = payloadOf(a);
            // Alt held on a card without a menu bar brings the bar back while the script runs,
            // unless the stack is locked.
            Host& host = player_.host();
            const bool showBar = !host.menuBarVisible() && host.altKeyDown() && !theStack().h16(hdr::kLocked);
            if (showBar) toggleMenuBar(player_);
            media_.runScript(std::string(p.begin(), p.end()));
            if (showBar && host.menuBarVisible()) toggleMenuBar(player_);
            if (ownerGone(h, handleSize, isButton, ownerId)) return 0;
        }
    }
    // 10. Going to a card, else 11. launching a program.
    if (flags & actionlist::kFlagGoToCard) {
        waitForMedia(animationStarted, movieStarted, nbaStarted, ownerId);
        const auto other = findAction(list, action::kOtherStack, ownerId, isButton);
        if (!other.empty()) {
            const auto p = payloadOf(other);
            const std::string stored = actionPathText(p.data(), uint32_t(p.size()));
            std::string file = locateFile(stored, "Please find the stack named: ", "Stacks (*.STK)|*.stk");
            if (!file.empty()) nav_.goToOtherStack(file, destination, transition, speed, true);
        } else {
            switch (destination) {
            case -5: nav_.goLastMarked(transition, speed); break;
            case -4: nav_.goBack(transition, speed); break;
            case -3: nav_.goHome(transition, speed); break;
            case -2: nav_.goPrevious(transition, speed); break;
            case -1: nav_.goNext(transition, speed); break;
            default:
                if (destination > 0) nav_.goToCardId(uint16_t(destination), transition, speed, true);
                break;
            }
        }
    } else if (flags & actionlist::kFlagLaunch) {
        waitForMedia(animationStarted, movieStarted, nbaStarted, ownerId);
        if (media_.stopVideodisc) media_.stopVideodisc();
        const auto a = findAction(list, action::kLaunch, ownerId, isButton);
        // "Quit after launching" only once the program is running: a refusal or a failed
        // start leaves the person in the stack.
        if (!a.empty() && launch(a) && (value16(a, 16) & kLaunchQuitAfter)) {
            Message close;
            close.type = MsgType::Close;
            player_.post(close);
        }
    }
    // 12, 13.
    if (waitAfter) waitForMedia(animationStarted, movieStarted, nbaStarted, ownerId);
    if (theStack().open() && (theStack().h16(hdr::kFlags) & hdr::kFlagDiscardClicks))
        player_.queue().removeIf([](const Message& m) { return m.isMouseButton(); });
    return 0;
}

bool ActionRunner::launch(std::span<const uint8_t> a) {
    const auto p = payloadOf(a);
    const uint32_t docLen = a.size() >= 22 ? std::min<uint32_t>(get32(a.data() + 18), uint32_t(p.size())) : 0;
    const std::string storedDoc(reinterpret_cast<const char*>(p.data()), docLen);
    std::string storedProgram(reinterpret_cast<const char*>(p.data()) + docLen, p.size() - docLen);
    storedProgram = storedProgram.substr(0, storedProgram.find('\0'));

    std::string document, program;
    if (!storedDoc.empty()) {
        document = locateFile(storedDoc, loadString(2419).value_or("Please find the document named: "),
                              loadString(4082).value_or("Documents|*.*"));
        if (document.empty()) return false;
    }
    if (!storedProgram.empty()) {
        program = locateFile(storedProgram, loadString(2418).value_or("Please find the program named: "),
                             loadString(4081).value_or("Programs") + "|*.exe");
        if (program.empty()) return false;
    }
    if (program.empty() && document.empty()) return false;
    // Stacks come from anywhere: the person decides whether another program starts.
    if (showAlertText(launchQuestion(program.empty() ? document : program), true) != kAnswerFirst) return false;
    if (media_.launch && media_.launch(program, document)) return true;
    showLaunchFailure();
    return false;
}

void ActionRunner::runActionById(uint16_t id, bool waitAfter, const std::string& name) {
    if (id == 0 || player_.currentTool != kBrowseTool || !theStack().chunkFile) return;
    SetCurrentChunkFile(theStack().chunkFile);
    Handle h = GetChunk(chunk::kActn, id);
    if (!h) return;
    runActionList(h, 0, id, waitAfter, name);
}

void ActionRunner::runNamedAction(uint16_t id, bool waitAfter, int stringId) {
    if (id == 0 || player_.currentTool != kBrowseTool || !theStack().chunkFile) return;
    const uint32_t chunks = theStack().chunkFile;
    SetCurrentChunkFile(chunks);
    Handle h = GetChunk(chunk::kActn, id);
    if (!h) return;
    const uint8_t* d = memRefs().data(h);
    const std::vector<uint8_t> before(d, d + GetHandleSize(h));
    runActionList(h, 0, id, waitAfter, loadString(stringId).value_or(""));
    storeBackActionList(id, h, before, chunks);
}

bool storeBackActionList(uint16_t id, Handle list, std::span<const uint8_t> before, uint32_t chunkFile) {
    // Storing an unchanged list would mark every stack changed at each arrival; storing into
    // another stack (the list went there) would overwrite that stack's list.
    if (!theStack().open() || theStack().chunkFile != chunkFile || !IsHandleValid(list)) return false;
    SetCurrentChunkFile(chunkFile);
    if (GetChunk(chunk::kActn, id) != list) return false;
    const uint8_t* now = memRefs().data(list);
    if (GetHandleSize(list) == before.size() && std::equal(before.begin(), before.end(), now)) return false;
    ResourceRequest req;
    if (GetStackResource(req, chunk::kActn, id) != 0) return false;
    DisposeHandle(req.data); // only its name and attributes are wanted
    req.data = list;
    req.flags = kResPerform | kResReplace;
    return AddStackResource(req) == 1;
}

void ActionRunner::activateButton(uint16_t buttonId) {
    Handle card = player_.currentCard();
    const uint32_t off = FindObject(card, obj::kButton, buttonId);
    if (!off) return;
    const std::string name = pstringField(memRefs().data(card) + off + button::kName, button::kNameSize).substr(0, 32);
    lastButtonName = name;
    ++buttonRunning_;
    runActionList(card, off, buttonId, false, name);
    --buttonRunning_;
}

bool ActionRunner::hasActions(uint16_t actionId) const {
    if (!actionId || !theStack().chunkFile) return false;
    SetCurrentChunkFile(theStack().chunkFile);
    Handle h = GetChunk(chunk::kActn, actionId);
    const uint8_t* d = memRefs().data(h);
    if (!d || GetHandleSize(h) < actionlist::kHeaderSize) return false;
    return (get16(d + actionlist::kFlags) & kSomethingToDo) || get16(d + actionlist::kTestAnswer) != 0;
}

void ActionRunner::waitForMedia(bool animation, bool movie, bool nba, uint16_t ownerId) {
    if (!animation && !movie && !nba) return;
    auto done = [&] {
        const bool movieDone = !movie || !media_.movieDone || media_.movieDone(ownerId);
        const bool animDone = !animation || !media_.animationDone || media_.animationDone(ownerId);
        const bool soundDone = !media_.soundDone || media_.soundDone(ownerId);
        const bool nbaDone = !nba || !media_.nbaBusy || !media_.nbaBusy();
        return movieDone && animDone && soundDone && nbaDone;
    };
    std::vector<Message> deferred; // requests that must outlive the wait (close, commands)
    while (!done()) {
        // One message: everything in the queue is the main window's own, so none is
        // dispatched; a press or a key ends the wait once this pass is over.
        player_.host().pump();
        Message m;
        bool interrupted = false;
        if (player_.queue().take(&m)) {
            interrupted = m.type == MsgType::MouseDown || m.type == MsgType::RightDown || m.type == MsgType::KeyDown;
            if (m.type == MsgType::Close || m.type == MsgType::Quit || m.type == MsgType::Command) deferred.push_back(m);
        }
        // The media's step (the animations' scheduler pass first), then a timer tick.
        if (media_.step) media_.step();
        if (player_.timerHandler) player_.timerHandler();
        if (interrupted) break;
        // Sleep to the next tick or the next frame due, whichever comes first; every pass
        // takes at least a millisecond, so frames of no delay cannot hold the clock still.
        const uint64_t now = clock().nowMs();
        uint64_t wake = now + kTimerPeriodMs;
        if (media_.nextStepMs)
            if (const uint64_t due = media_.nextStepMs(); due && due < wake) wake = due;
        clock().sleepUntilMs(std::max(wake, now + 1));
    }
    for (const Message& m : deferred) player_.post(m);
    if (media_.stopAnimationsAndMovies) media_.stopAnimationsAndMovies();
}

void ActionRunner::stopCardMedia() {
    if (media_.stopAll) media_.stopAll();
}

} // namespace cv
