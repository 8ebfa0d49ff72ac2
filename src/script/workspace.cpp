// The workspace tables: procedures and variables in seven chains each (and their buried
// twins), and lookups through a procedure's locals.
#include "script/interpreter.h"

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

static Ref findInChain(const Interpreter& in, Ref chain, const NameKey& key) {
    size_t guard = 0;
    for (Ref e = chain; in.isList(e) && guard++ <= in.poolSize(); e = in.rest(e)) {
        const Ref pair = in.first(e);
        if (in.CompareNamesSkip(key.word, key.skip, in.first(pair)) == 0) return pair;
    }
    return kNone;
}

static Ref findGlobal(Interpreter& in, const NameKey& key, bool buried) {
    const auto& table = buried ? in.buriedVariables : in.variables;
    return findInChain(in, table[size_t(in.NameHash(key.word, key.skip))], key);
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
    if (currentFrame != kNone) pair = findInChain(*this, frameLocals(currentFrame), key);
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
    auto& table = buried ? buriedVariables : variables;
    Pin pin(*this, name);
    pin.add(value);
    const Ref valueNode = NewList(value, kNone);
    if (valueNode == kNone) return kNone;
    const Ref pair = NewList(name, valueNode);
    if (pair == kNone) return kNone;
    const size_t bucket = size_t(NameHash(name));
    const Ref entry = NewList(pair, table[bucket]);
    if (entry == kNone) return kNone;
    table[bucket] = entry;
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
    if (currentFrame != kNone) pair = findInChain(*this, frameLocals(currentFrame), key);
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
    const auto& table = buried ? buriedProcedures : procedures;
    size_t guard = 0;
    for (Ref e = table[size_t(NameHash(name))]; isList(e) && guard++ <= poolSize(); e = rest(e))
        if (CompareNames(first(first(e)), name) == 0) return e;
    return kNone;
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
    auto& table = buried ? buriedProcedures : procedures;
    Pin pin(*this, definition);
    const size_t bucket = size_t(NameHash(first(definition)));
    const Ref entry = NewList(definition, table[bucket]);
    if (entry == kNone) return;
    table[bucket] = entry;
    at(entry).flags &= ~kLockBit;
}

bool Interpreter::EraseProcedure(Ref name) {
    for (bool buried : {false, true}) {
        auto& table = buried ? buriedProcedures : procedures;
        Ref& head = table[size_t(NameHash(name))];
        Ref prev = kNone;
        size_t guard = 0;
        for (Ref e = head; isList(e) && guard++ <= poolSize(); prev = e, e = rest(e)) {
            if (CompareNames(first(first(e)), name) != 0) continue;
            if (prev == kNone) head = rest(e);
            else at(prev).next = rest(e);
            return true;
        }
    }
    return false;
}

} // namespace cv::script
