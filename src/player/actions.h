#pragma once
// Running action lists: what a button, a card or stack event, a clicked graphic or text field
// or a text link does, in its fixed order of steps.
#include <QPoint>
#include <QRgb>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "core/handles.h"

namespace cv {

class Player;
class Navigation;
struct MediaHooks;

// Stores 'Actn' list `id` back (replacing it, name and attributes kept) after a run when the
// run changed it: `list` is its data handle, `before` its bytes before the run, `chunkFile` the
// stack it belongs to. Nothing is stored when it is unchanged, replaced or removed meanwhile,
// or when its stack has gone. True when it was stored.
bool storeBackActionList(uint16_t id, Handle list, std::span<const uint8_t> before, uint32_t chunkFile);

// A file a stack names (stored path text), found on this machine or asked for with `question`
// and the file-dialog `filter`; empty when cancelled.
std::string locateFile(const std::string& stored, const std::string& question, const std::string& filter);

struct TestAnswer {
    bool right = false;
    std::string name;   // at most 255 bytes
};

class ActionRunner {
public:
    ActionRunner(Player& player, Navigation& nav, MediaHooks& media);

    // Runs the action list held in `h` at `offset`. `ownerId` is the button's or resource's
    // id; `name` is the owner's name, used by test answers and messages.
    int runActionList(Handle h, uint32_t offset, uint16_t ownerId, bool waitAfter, const std::string& name);
    // The stored 'Actn' list with that id (nothing for 0, or when the browse tool is not active).
    void runActionById(uint16_t id, bool waitAfter, const std::string& name);
    // A card's or the stack's 'Actn' list, labelled by a string of the string table; a list
    // its run changed is stored back under its id.
    void runNamedAction(uint16_t id, bool waitAfter, int stringId);
    // A button of the current card: its list, with its name, not waiting after it.
    void activateButton(uint16_t buttonId);
    // Whether the 'Actn' list exists and has something to do.
    bool hasActions(uint16_t actionId) const;
    // Waits for the media a list started (a click or key ends the wait early).
    void waitForMedia(bool animation, bool movie, bool nba, uint16_t ownerId);
    // Stops everything the card's lists started.
    void stopCardMedia();

    bool buttonActionRunning() const { return buttonRunning_ > 0; }
    const std::map<uint16_t, TestAnswer>& answers() const { return answers_; }
    const std::string& userName() const { return userName_; }

    // Where transitions that grow from a button start, and the colour of the fade to the
    // button's colour: set by the last list run.
    QPoint transitionCentre;
    QRgb buttonColour = 0;
    // The name of the button activated last (at most 32 bytes), as scripts ask for it.
    std::string lastButtonName;

private:
    // The action of `code` for the list: in the list itself, then (for a button) in the
    // 'Actn' list and the link with the button's id.
    std::vector<uint8_t> findAction(std::span<const uint8_t> list, uint16_t code, uint16_t ownerId, bool isButton) const;
    bool ownerGone(Handle h, uint32_t size, bool isButton, uint16_t ownerId) const;
    // Launch action 59, once the person agreed; true when the program started.
    bool launch(std::span<const uint8_t> action);

    Player& player_;
    Navigation& nav_;
    MediaHooks& media_;
    int buttonRunning_ = 0;
    std::map<uint16_t, TestAnswer> answers_;  // by card id
    std::string userName_;
};

} // namespace cv
