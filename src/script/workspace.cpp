// The workspace tables: procedures and variables in seven chains each (and their buried
// twins), and lookups through a procedure's locals.
#include "script/interpreter.h"
#include "script/workspace_store.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace cv::script {

namespace {

// A name, possibly written with a leading colon, as the word to look for.
struct NameKey {
    Ref word = kNone;
    int skip = 0;       // 1 for a colon word
    bool owned = false;
};

} // namespace

static NameKey nameKey(Interpreter& in, Ref name) {
    if (in.isNumber(name)) return {in.WordFromNumber(name), 0, true};
    if (in.IsColonWord(name)) return {name, 1, false};
    return {name, 0, false};
}

// A procedure's locals are one chain that only grows at its front while the procedure runs.
// Short chains are walked; a long one gets an index, brought up to date from the front when
// the chain has grown. The index names nodes by number, and a node number is only reused
// after a collection: the indexes are dropped at each collection.
struct LocalsIndex final : FamilyState {
    struct Frame {
        Ref knownHead = kNone;                       // the chain's front when last brought up to date
        std::unordered_map<std::string, Ref> pairs;  // name key to binding
    };
    uint64_t collections = 0;
    std::unordered_map<Ref, Frame> frames;  // by the frame's locals node
    std::string key;
};

constexpr size_t kLocalsWalk = 8;

static Ref findLocal(Interpreter& in, Ref frame, const NameKey& key) {
    const Ref localsNode = in.rest(frame);
    const Ref head = in.first(localsNode);
    size_t walked = 0;
    for (Ref e = head; in.isList(e) && walked < kLocalsWalk; e = in.rest(e), ++walked) {
        const Ref pair = in.first(e);
        if (in.CompareNamesSkip(key.word, key.skip, in.first(pair)) == 0) return pair;
    }
    if (walked < kLocalsWalk) return kNone;
    LocalsIndex& index = in.family<LocalsIndex>();
    if (index.collections != in.collections()) {
        index.frames.clear();
        index.collections = in.collections();
    }
    LocalsIndex::Frame& f = index.frames[localsNode];
    if (f.knownHead != head) {
        // The bindings made since the last look, newest first; they are added oldest first
        // so that the newest of a name wins.
        std::vector<Ref> added;
        bool metKnown = false;
        size_t guard = 0;
        for (Ref e = head; in.isList(e) && guard++ <= in.poolSize(); e = in.rest(e)) {
            if (e == f.knownHead) {
                metKnown = true;
                break;
            }
            added.push_back(e);
        }
        if (!metKnown && f.knownHead != kNone) f.pairs.clear();
        for (auto it = added.rbegin(); it != added.rend(); ++it) {
            const Ref pair = in.first(*it);
            NameTable::NameKey(in, in.first(pair), 0, index.key);
            f.pairs[index.key] = pair;
        }
        f.knownHead = head;
    }
    NameTable::NameKey(in, key.word, key.skip, index.key);
    const auto it = f.pairs.find(index.key);
    return it != f.pairs.end() ? it->second : kNone;
}

static Ref findGlobal(Interpreter& in, const NameKey& key, bool buried) {
    const NameTable& table = buried ? in.buriedVariables : in.variables;
    return in.first(table.find(in, key.word, key.skip));
}

Ref ws::findLocalBinding(Interpreter& in, Ref frame, Ref name) {
    if (frame == kNone) return kNone;
    return findLocal(in, frame, NameKey{name, 0, false});
}

Ref Interpreter::FindGlobalBinding(Ref name, bool buried) {
    const NameKey key = nameKey(*this, name);
    Pin pin(*this, key.word);
    const Ref pair = findGlobal(*this, key, buried);
    if (key.owned) UnlockValue(key.word);
    return pair;
}

Ref Interpreter::FindBinding(Ref name, bool includeBuried) {
    const NameKey key = nameKey(*this, name);
    Pin pin(*this, key.word);
    Ref pair = kNone;
    if (currentFrame != kNone) pair = findLocal(*this, currentFrame, key);
    if (pair == kNone) pair = findGlobal(*this, key, false);
    if (pair == kNone && includeBuried) pair = findGlobal(*this, key, true);
    if (key.owned) UnlockValue(key.word);
    return pair;
}

Ref Interpreter::Thing(Ref name) {
    const Ref pair = FindBinding(name);
    const Ref value = pair != kNone ? first(rest(pair)) : kNone;
    if (value == kNone) {
        // The message names the variable without its colon.
        const Ref bare = IsColonWord(name) ? ButFirstChar(name) : name;
        RaiseError(kErrUndefined, kNone, bare);
        if (bare != name) UnlockValue(bare);
    }
    return value;
}

Ref Interpreter::NewGlobalBinding(Ref name, Ref value, bool buried) {
    NameTable& table = buried ? buriedVariables : variables;
    Pin pin(*this, name);
    pin.add(value);
    const Ref valueNode = NewList(value, kNone);
    if (valueNode == kNone) return kNone;
    const Ref pair = NewList(name, valueNode);
    if (pair == kNone) return kNone;
    const Ref entry = NewList(pair, kNone);
    if (entry == kNone) return kNone;
    table.pushFront(*this, entry);
    for (Ref r : {valueNode, pair, entry}) at(r).flags &= ~kLockBit;
    return pair;
}

Ref Interpreter::NewLocalBinding(Ref name, Ref value) {
    if (currentFrame == kNone) return kNone;
    const Ref frame = currentFrame;
    Pin pin(*this, name);
    pin.add(value);
    const Ref valueNode = NewList(value, kNone);
    if (valueNode == kNone) return kNone;
    const Ref pair = NewList(name, valueNode);
    if (pair == kNone) return kNone;
    const Ref localsNode = rest(frame);
    const Ref entry = NewList(pair, first(localsNode));
    if (entry == kNone) return kNone;
    at(localsNode).item = entry;
    for (Ref r : {valueNode, pair, entry}) at(r).flags &= ~kLockBit;
    return pair;
}

void Interpreter::SetVariable(Ref name, Ref value) {
    const NameKey key = nameKey(*this, name);
    Pin pin(*this, key.word);
    pin.add(value);
    Ref pair = kNone;
    if (currentFrame != kNone) pair = findLocal(*this, currentFrame, key);
    if (pair == kNone) pair = findGlobal(*this, key, false);
    if (pair == kNone) {
        pair = findGlobal(*this, key, true);
        // While the stack's saved workspace runs, buried names are left alone.
        if (pair != kNone && makeProtectsBuried) {
            if (key.owned) UnlockValue(key.word);
            return;
        }
    }
    if (pair != kNone) {
        at(rest(pair)).item = value;
    } else {
        const Ref bare = key.skip ? ButFirstChar(key.word) : key.word;
        NewGlobalBinding(bare, value, false);
        if (bare != key.word) UnlockValue(bare);
    }
    if (key.owned) UnlockValue(key.word);
}

Ref Interpreter::FindProcedureEntry(Ref name, bool buried) {
    return (buried ? buriedProcedures : procedures).find(*this, name);
}

Ref Interpreter::FindProcedure(Ref name, Ref slot) {
    if (!isWord(name)) return kNone;
    Ref e = FindProcedureEntry(name, false);
    if (e == kNone) e = FindProcedureEntry(name, true);
    if (e == kNone) return kNone;
    const Ref def = first(e);
    if (slot != kNone && isList(slot) && at(slot).item != first(def)) {
        const Ref typed = at(slot).item;
        at(slot).item = first(def);
        UnlockValue(typed);
    }
    return def;
}

void Interpreter::AddProcedure(Ref definition, bool buried) {
    NameTable& table = buried ? buriedProcedures : procedures;
    Pin pin(*this, definition);
    const Ref entry = NewList(definition, kNone);
    if (entry == kNone) return;
    table.pushFront(*this, entry);
    at(entry).flags &= ~kLockBit;
}

bool Interpreter::EraseProcedure(Ref name) {
    for (NameTable* table : {&procedures, &buriedProcedures}) {
        if (const Ref e = table->find(*this, name)) return table->unlink(*this, e);
    }
    return false;
}

} // namespace cv::script
