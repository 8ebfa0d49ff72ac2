#pragma once
// The workspace as a whole: its listings (POALL, SAVE and the text a stack stores), erasing it,
// loading a stack's saved workspace, and telling whether it changed since it was loaded or
// stored. Also the table helpers that the variable, procedure and property-list primitives
// share.
#include <functional>
#include <string>
#include <string_view>

#include "script/interpreter.h"

namespace cv::script {

// --- for the player and the files primitives ---------------------------------------------

// PONS, a newline, PPS, a newline, POPS: what SAVE writes and POALL shows (nothing buried).
std::string WorkspaceListing(Interpreter& in);
// The text a stack stores as its workspace: as WorkspaceListing, but with the buried
// variables too (a stack loads it with makeProtectsBuried set, which keeps their live values).
std::string StoredWorkspaceText(Interpreter& in);
// Erases what is not buried: variables, procedures and property lists (ERALL).
void EraseWorkspace(Interpreter& in);
// A stack's saved workspace: erases as ERALL does, then runs the text with
// makeProtectsBuried set. The workspace as it stands afterwards counts as unchanged.
void LoadWorkspace(Interpreter& in, std::string_view text, LineInput* lineInput, TextOutput* output,
                   DrawingSurface* window = nullptr);
// True when the stored text would differ from the one the workspace had when it was last
// loaded or stored (or from an empty workspace, when neither happened yet).
bool WorkspaceChanged(Interpreter& in);
// The player stored the workspace (or opened a stack without one): the workspace as it
// stands now counts as unchanged.
void NoteWorkspaceStored(Interpreter& in);

// --- shared by the workspace primitives ----------------------------------------------------

namespace ws {

// A name input as the word to look for: numbers by their text, a leading colon dropped when
// `dropColon`. Holds a new word locked (and pinned) while it lives.
class NameWord {
public:
    NameWord(Interpreter& in, Ref input, bool dropColon);
    ~NameWord();
    NameWord(const NameWord&) = delete;
    NameWord& operator=(const NameWord&) = delete;
    Ref word() const { return word_; }

private:
    Interpreter& in_;
    Ref word_ = kNone;
    bool owned_ = false;
    NodeMemory::Pin pin_;
};

// The entry of a name in a table (bindings, definitions and property-list entries alike: an
// entry's element starts with its name), or none.
Ref findEntry(Interpreter& in, const NameTable& table, Ref name);
// The binding of a name among a procedure frame's own locals, or none.
Ref findLocalBinding(Interpreter& in, Ref frame, Ref name);
// Burying and unburying: moves the entry of that name from one table to the front of the
// other. Burying what is already buried is no error; anything else not found raises error
// 9 naming it. False after an error.
bool moveEntry(Interpreter& in, NameTable& from, NameTable& to, Ref name, bool burying);
// Calls fn on each entry of a chain, from the front; fn may not change the chain.
void forEachEntry(Interpreter& in, Ref chain, const std::function<void(Ref entry)>& fn);

// A word, or each element of a list, given to fn in order; stops once fn returns false or
// an error has been raised. Error 29 for a missing input, 41 for anything else (naming the
// element of a list that is not a word).
void forEachName(PrimCall& c, Ref input, const std::function<bool(Ref name)>& fn);

// Writes text where listings go (never to the writer file) and polls for Escape.
// False when the listing should stop.
bool writeListingPart(Interpreter& in, std::string_view text);

// The listings, in table order (bucket 0 to 6, each chain from its front).
std::string variablesListing(Interpreter& in, bool buried);
std::string plistsListing(Interpreter& in, bool buried);
std::string plistListing(Interpreter& in, Ref pair);
// Calls fn with each procedure's listing (titles only when asked), in table order.
// Stops when fn returns false.
void forEachProcedureListing(Interpreter& in, bool buried, bool titlesOnly,
                             const std::function<bool(const std::string&)>& fn);
// POPS into a string: listings separated by an empty line.
std::string proceduresListing(Interpreter& in, bool buried);

}  // namespace ws

} // namespace cv::script
