// EDIT and EDITS: the script editor on named procedures or on all of them. The editor shows
// their listings and reads the edited text back through the reader, as if typed.
#include "core/ui.h"
#include "script/interpreter.h"
#include "script/primitive_table.h"
#include "script/workspace_store.h"

namespace cv::script {

namespace {

// Beyond this the editor is not given the whole workspace at once.
constexpr size_t kEditLimit = 256 * 1024;

// Shows `text` in the editor; each text handed back is run, and accepted when it ran
// without an error box.
void edit(PrimCall& c, std::string_view title, const std::string& text) {
    Interpreter& in = c.in;
    const auto define = [&in](const std::string& edited) {
        const uint64_t before = in.errorsShown();
        in.RunScript(edited.data(), edited.size(), nullptr, in.textOutput, nullptr);
        return in.errorsShown() == before;
    };
    if (!in.host().editScript(title, text, define)) {
        in.RaisePrimError(kErrDontKnowHow, c.index, kNone);
        return;
    }
    // The editor's runs ended themselves; the run that called EDIT goes on.
    in.stopRequested = false;
    in.throwInProgress = false;
}

// The listing of a procedure, or an empty definition to fill in for a new name.
void appendListing(Interpreter& in, Ref name, std::string& text) {
    const Ref def = in.FindProcedure(name);
    if (def != kNone) text += in.ProcedureListing(def);
    else text += "TO " + in.TextOf(name) + "\nEND\n";
}

Ref primEdit(PrimCall& c) {
    Interpreter& in = c.in;
    const Ref names = c.args[0];
    std::string text, title;
    if (in.isWordLike(names)) {
        if (!in.CheckWord(names, c.index)) return kNone;
        appendListing(in, names, text);
        title = in.TextOf(names);
    } else if (in.isList(names) && !in.IsEmptyList(names)) {
        size_t guard = 0;
        for (Ref e = names; in.isList(e) && guard++ <= in.poolSize(); e = in.rest(e)) {
            if (!in.isWord(in.first(e))) {
                in.RaisePrimError(kErrDoesntLike, c.index, names);
                return kNone;
            }
            appendListing(in, in.first(e), text);
            if (text.size() > kEditLimit) break;
        }
        title = in.MessageText(names);
    } else {
        in.RaisePrimError(kErrDoesntLike, c.index, names);
        return kNone;
    }
    edit(c, title, text);
    return kNone;
}

Ref primEdits(PrimCall& c) {
    Interpreter& in = c.in;
    std::string text;
    bool tooLarge = false;
    ws::forEachProcedureListing(in, false, false, [&](const std::string& listing) {
        text += listing;
        tooLarge = text.size() > kEditLimit;
        return !tooLarge;
    });
    if (tooLarge) {
        in.ui().messageBox("Quillscript", "The workspace is too large to edit all at once. Use EDIT to edit individual items.");
        return kNone;
    }
    edit(c, "Workspace", text);
    return kNone;
}

const PrimitiveFamily kEditor("editor", {
    {"EDIT", primEdit},
    {"EDITS", primEdits},
});

} // namespace

} // namespace cv::script
