// The workspace as a whole: BURYALL, ERALL, POALL, UNBURYALL; the listings that POALL, SAVE
// and a stack's stored workspace share; loading a stack's workspace and noticing changes to it.
// Also the chain helpers that the variable, procedure and property-list primitives use.
#include "script/workspace_store.h"

namespace cv::script {

namespace ws {

NameWord::NameWord(Interpreter& in, Ref input, bool dropColon) : in_(in), pin_(in) {
    if (in.isNumber(input)) {
        word_ = in.WordFromNumber(input);
        owned_ = true;
    } else if (dropColon && in.IsColonWord(input)) {
        word_ = in.ButFirstChar(input);
        owned_ = word_ != kEmptyWord;
    } else {
        word_ = input;
    }
    pin_.add(word_);
}

NameWord::~NameWord() {
    if (owned_) in_.UnlockValue(word_);
}

Ref findEntry(Interpreter& in, const NameTable& table, Ref name) { return table.find(in, name); }

bool moveEntry(Interpreter& in, NameTable& from, NameTable& to, Ref name, bool burying) {
    if (const Ref e = from.find(in, name)) {
        from.unlink(in, e);
        to.pushFront(in, e);
        return true;
    }
    if (burying && to.find(in, name) != kNone) return true;
    in.RaiseError(kErrUndefined, kNone, name);
    return false;
}

void forEachEntry(Interpreter& in, Ref chain, const std::function<void(Ref)>& fn) {
    size_t guard = 0;
    for (Ref e = chain; in.isList(e) && guard++ <= in.poolSize(); e = in.rest(e)) fn(e);
}

void forEachName(PrimCall& c, Ref input, const std::function<bool(Ref)>& fn) {
    Interpreter& in = c.in;
    if (input == kNone) {
        in.RaisePrimError(kErrNotEnoughInputs, c.index, kNone);
        return;
    }
    if (in.isWordLike(input)) {
        fn(input);
        return;
    }
    size_t guard = 0;
    for (Ref l = in.IsEmptyList(input) ? kNone : input; in.isList(l) && guard++ <= in.poolSize(); l = in.rest(l)) {
        const Ref name = in.first(l);
        if (!in.isWordLike(name)) {
            in.RaisePrimError(kErrDoesntLike, c.index, name);
            return;
        }
        if (!fn(name) || in.stopRequested || in.throwInProgress) return;
    }
}

bool writeListingPart(Interpreter& in, std::string_view text) {
    in.write(text);
    in.PollInterrupt();
    return !in.stopRequested;
}

std::string variablesListing(Interpreter& in, bool buried) {
    std::string out;
    for (Ref chain : buried ? in.buriedVariables : in.variables) {
        forEachEntry(in, chain, [&](Ref e) {
            const Ref pair = in.first(e);
            const Ref value = in.first(in.rest(pair));
            if (value != kNone) out += in.VariableListing(in.first(pair), value);
        });
    }
    return out;
}

std::string plistListing(Interpreter& in, Ref pair) {
    const Ref plist = in.first(in.rest(pair));
    std::string out = "SETPLIST \"";
    out += in.TextOf(in.first(pair));
    out += " [";
    out += in.FormText(plist, false, true);
    out += "]\n";
    return out;
}

std::string plistsListing(Interpreter& in, bool buried) {
    std::string out;
    forEachEntry(in, (buried ? in.buriedPlists : in.plists)[0], [&](Ref e) {
        // An entry without pairs cannot be set again; there is nothing to keep.
        if (!in.IsEmptyList(in.first(in.rest(in.first(e))))) out += plistListing(in, in.first(e));
    });
    return out;
}

void forEachProcedureListing(Interpreter& in, bool buried, bool titlesOnly,
                             const std::function<bool(const std::string&)>& fn) {
    for (Ref chain : buried ? in.buriedProcedures : in.procedures) {
        size_t guard = 0;
        for (Ref e = chain; in.isList(e) && guard++ <= in.poolSize(); e = in.rest(e))
            if (!fn(in.ProcedureListing(in.first(e), titlesOnly))) return;
    }
}

std::string proceduresListing(Interpreter& in, bool buried) {
    std::string out;
    bool first = true;
    forEachProcedureListing(in, buried, false, [&](const std::string& listing) {
        if (!first) out += '\n';
        first = false;
        out += listing;
        return true;
    });
    return out;
}

}  // namespace ws

namespace {

struct WorkspaceState final : FamilyState {
    bool known = false;   // loaded or stored at least once
    std::string baseline; // the stored text at that time
};

// The stored text of a workspace holding nothing.
constexpr std::string_view kEmptyWorkspaceText = "\n\n";

template <class F>
void eachTablePair(Interpreter& in, F&& f) {
    f(in.procedures, in.buriedProcedures);
    f(in.variables, in.buriedVariables);
    f(in.plists, in.buriedPlists);
}

Ref primBuryAll(PrimCall& c) {
    eachTablePair(c.in, [&](NameTable& plain, NameTable& buried) { plain.moveAllTo(c.in, buried); });
    return kNone;
}

Ref primUnburyAll(PrimCall& c) {
    eachTablePair(c.in, [&](NameTable& plain, NameTable& buried) { buried.moveAllTo(c.in, plain); });
    return kNone;
}

Ref primErAll(PrimCall& c) {
    EraseWorkspace(c.in);
    return kNone;
}

Ref primPoAll(PrimCall& c) {
    Interpreter& in = c.in;
    in.write(ws::variablesListing(in, false));
    in.write("\n");
    in.write(ws::plistsListing(in, false));
    in.write("\n");
    bool first = true;
    ws::forEachProcedureListing(in, false, false, [&](const std::string& listing) {
        const bool go = ws::writeListingPart(in, first ? listing : "\n" + listing);
        first = false;
        return go;
    });
    return kNone;
}

const PrimitiveFamily kWorkspace("workspace", {
    {"BURYALL", primBuryAll},
    {"ERALL", primErAll},
    {"POALL", primPoAll},
    {"UNBURYALL", primUnburyAll},
});

} // namespace

std::string WorkspaceListing(Interpreter& in) {
    std::string out = ws::variablesListing(in, false);
    out += '\n';
    out += ws::plistsListing(in, false);
    out += '\n';
    out += ws::proceduresListing(in, false);
    return out;
}

std::string StoredWorkspaceText(Interpreter& in) {
    std::string out = ws::variablesListing(in, false);
    out += ws::variablesListing(in, true);
    out += '\n';
    out += ws::plistsListing(in, false);
    out += '\n';
    out += ws::proceduresListing(in, false);
    return out;
}

void EraseWorkspace(Interpreter& in) {
    in.variables.clear();
    in.procedures.clear();
    in.plists.clear();
}

void LoadWorkspace(Interpreter& in, std::string_view text, LineInput* lineInput, TextOutput* output,
                   DrawingSurface* window) {
    if (!in.ensureInitialised()) return;
    EraseWorkspace(in);
    const bool saved = in.makeProtectsBuried;
    in.makeProtectsBuried = true;
    in.RunScript(text.data(), text.size(), lineInput, output, window);
    in.makeProtectsBuried = saved;
    NoteWorkspaceStored(in);
}

bool WorkspaceChanged(Interpreter& in) {
    WorkspaceState& s = in.family<WorkspaceState>();
    const std::string now = StoredWorkspaceText(in);
    return s.known ? now != s.baseline : now != kEmptyWorkspaceText;
}

void NoteWorkspaceStored(Interpreter& in) {
    WorkspaceState& s = in.family<WorkspaceState>();
    s.baseline = StoredWorkspaceText(in);
    s.known = true;
}

} // namespace cv::script
