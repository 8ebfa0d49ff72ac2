// The saved workspace between the stack and the player's interpreter.
#include "player/workspace_link.h"

#include <algorithm>

#include "player/actions.h"
#include "player/player.h"
#include "player/script_bridge.h"
#include "player/stack_world.h"
#include "script/workspace_store.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"
#include "stack/stack_io.h"
#include "stack/stack_resources.h"

namespace cv {

namespace {
constexpr uint16_t kWorkspaceId = 128;

// The player whose hooks are installed, so that a player going away removes only its own.
const WorkspaceLink* g_installed = nullptr;
} // namespace

bool savedWorkspaceText(std::string* text) {
    if (!theStack().open()) return false;
    ResourceRequest req;
    if (GetStackResource(req, chunk::kWKSp, kWorkspaceId) != 0 && GetStackResource(req, chunk::kWkSp, kWorkspaceId) != 0)
        return false;
    const uint8_t* d = memRefs().data(req.data);
    const uint32_t size = GetHandleSize(req.data);
    // Plain text; a terminating NUL (or padding after it) is not part of it.
    const uint8_t* end = d ? std::find(d, d + size, uint8_t(0)) : d;
    text->assign(reinterpret_cast<const char*>(d), size_t(end - d));
    DisposeHandle(req.data);
    return true;
}

bool LoadWorkspace(Player& player) {
    script::Interpreter& in = player.scripts().interpreter();
    // Whatever the workspace and the stack's scripts do with files happens in its world.
    enterStackWorld(player);
    std::string text;
    if (!savedWorkspaceText(&text)) {
        // What the previous stack left stays, and counts as this stack's unchanged workspace.
        script::NoteWorkspaceStored(in);
        return false;
    }
    if (!in.ensureInitialised()) return false;
    script::EraseWorkspace(in);
    const bool protects = in.makeProtectsBuried;
    in.makeProtectsBuried = true;
    player.scripts().run(text);
    in.makeProtectsBuried = protects;
    script::NoteWorkspaceStored(in);
    return true;
}

bool SaveWorkspace(Player& player) {
    if (!theStack().open()) return false;
    script::Interpreter& in = player.scripts().interpreter();
    if (!script::WorkspaceChanged(in)) return false;
    const std::string text = script::StoredWorkspaceText(in);
    ResourceRequest req;
    req.type = chunk::kWKSp;
    req.id = kWorkspaceId;
    req.data = NewHandleFrom(text.data(), uint32_t(text.size()));
    if (!req.data) {
        ReportError(kErrNoMemory);
        return false;
    }
    req.flags = kResPerform | kResReplace;
    if (AddStackResource(req) != 1) return false; // reported, and the data disposed
    script::NoteWorkspaceStored(in);
    return true;
}

WorkspaceLink::WorkspaceLink(Player& player) : player_(player) {
    // Scripts run before any stack opens are confined too.
    enterStackWorld(player);
    StackHooks& h = stackHooks();
    h.loadWorkspace = [this] { LoadWorkspace(player_); };
    h.saveWorkspace = [this] { SaveWorkspace(player_); };
    h.stopMedia = [this] { player_.actions().stopCardMedia(); };
    g_installed = this;
}

WorkspaceLink::~WorkspaceLink() {
    if (g_installed != this) return;
    StackHooks& h = stackHooks();
    h.loadWorkspace = nullptr;
    h.saveWorkspace = nullptr;
    h.stopMedia = nullptr;
    g_installed = nullptr;
}

} // namespace cv
