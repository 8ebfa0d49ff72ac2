// Property lists: a name's flat list of property and value pairs, changed in place by PPROP,
// REMPROP and SETPLIST; reading, erasing, listing and burying them.
#include "script/workspace_store.h"

#include <string>
#include <unordered_map>

namespace cv::script {

namespace {

using ws::NameWord;

// A node that a table now holds: it needs no lock of its own.
void release(Interpreter& in, Ref node) { in.at(node).flags &= ~kLockBit; }

// The [name plist] pair of a property list among the ordinary entries, else the buried ones.
Ref findPair(Interpreter& in, Ref name, bool* buried = nullptr) {
    for (bool b : {false, true}) {
        if (const Ref e = ws::findEntry(in, b ? in.buriedPlists : in.plists, name)) {
            if (buried) *buried = b;
            return in.first(e);
        }
    }
    return kNone;
}

Ref plistOf(Interpreter& in, Ref pair) { return in.first(in.rest(pair)); }
void setPlistOf(Interpreter& in, Ref pair, Ref plist) { in.at(in.rest(pair)).item = plist; }

// Properties are compared as names; a number property by its text.
bool sameProperty(Interpreter& in, Ref key, Ref word) {
    if (in.isNumber(key)) return in.CompareNameText(word, in.NumberText(key)) == 0;
    return in.CompareNames(key, word) == 0;
}

// A long property list gets an index from property key (as sameProperty compares) to the
// node holding the property, and remembers its last value node, where PPROP appends. Only
// this file changes a property list in place; an index is made again when its list's first
// node is not the one it was made for, dropped when REMPROP takes a pair out, and all are
// dropped at a collection (after which a node number may name another node).
struct PropertyIndex final : FamilyState {
    struct List {
        Ref head = kNone;
        Ref lastValue = kNone;
        std::unordered_map<std::string, Ref> keys;  // the first node of each key
    };
    uint64_t collections = 0;
    std::unordered_map<Ref, List> lists;  // by the [name plist] pair
    std::string key;
};

// Lists up to this many pairs are walked.
constexpr size_t kWalkPairs = 16;

PropertyIndex& propertyIndex(Interpreter& in) {
    PropertyIndex& x = in.family<PropertyIndex>();
    if (x.collections != in.collections()) {
        x.lists.clear();
        x.collections = in.collections();
    }
    return x;
}

void propertyKey(Interpreter& in, Ref key, std::string& out) {
    if (!in.isNumber(key)) {
        NameTable::NameKey(in, key, 0, out);
        return;
    }
    out = in.NumberText(key);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = char(c - 32);
}

// The node holding the property's name in the pair's list, or none; `lastValue` gets the
// list's last value node (none for an empty list).
Ref findProperty(Interpreter& in, Ref pair, Ref property, Ref* lastValue = nullptr) {
    const Ref plist = plistOf(in, pair);
    Ref last = kNone;
    size_t walked = 0;
    Ref k = in.IsEmptyList(plist) ? kNone : plist;
    for (; in.isList(k) && walked < kWalkPairs; k = in.rest(last), ++walked) {
        if (sameProperty(in, in.first(k), property)) return k;
        last = in.rest(k);
    }
    if (!in.isList(k)) {
        if (lastValue) *lastValue = last;
        return kNone;
    }
    PropertyIndex& x = propertyIndex(in);
    PropertyIndex::List& l = x.lists[pair];
    if (l.head != plist) {
        l.keys.clear();
        l.head = kNone;
        Ref lastNode = kNone;
        size_t guard = 0;
        for (Ref n = plist; in.isList(n) && guard++ <= in.poolSize(); n = in.rest(lastNode)) {
            propertyKey(in, in.first(n), x.key);
            l.keys.emplace(x.key, n);
            lastNode = in.rest(n);
        }
        l.lastValue = lastNode;
        l.head = plist;
    }
    if (lastValue) *lastValue = l.lastValue;
    NameTable::NameKey(in, property, 0, x.key);
    const auto it = l.keys.find(x.key);
    return it != l.keys.end() ? it->second : kNone;
}

// PPROP added a pair after `lastValue`: an index of the list takes it in.
void noteAppended(Interpreter& in, Ref pair, Ref keyNode) {
    PropertyIndex& x = propertyIndex(in);
    const auto it = x.lists.find(pair);
    if (it == x.lists.end() || it->second.head != plistOf(in, pair)) return;
    propertyKey(in, in.first(keyNode), x.key);
    it->second.keys.emplace(x.key, keyNode);
    it->second.lastValue = in.rest(keyNode);
}

void forgetIndex(Interpreter& in, Ref pair) { propertyIndex(in).lists.erase(pair); }

// A new entry [name plist] at the front of the ordinary chain.
void newEntry(Interpreter& in, Ref name, Ref plist) {
    NodeMemory::Pin pin(in, name);
    pin.add(plist);
    const Ref valueNode = in.NewList(plist, kNone);
    const Ref pair = valueNode != kNone ? in.NewList(name, valueNode) : kNone;
    const Ref entry = pair != kNone ? in.NewList(pair, kNone) : kNone;
    if (entry == kNone) return;
    for (Ref r : {valueNode, pair, entry}) release(in, r);
    in.plists.pushFront(in, entry);
}

// Removes the entry holding `pair` from whichever chain has it.
void removeEntryOf(Interpreter& in, Ref pair) {
    for (NameTable* table : {&in.plists, &in.buriedPlists}) {
        const Ref e = table->find(in, in.first(pair));
        if (e != kNone && in.first(e) == pair) {
            table->unlink(in, e);
            return;
        }
    }
}

Ref primGProp(PrimCall& c) {
    Interpreter& in = c.in;
    if (!in.CheckWord(c.args[0], c.index) || !in.CheckWord(c.args[1], c.index)) return kNone;
    const NameWord name(in, c.args[0], false);
    const NameWord property(in, c.args[1], false);
    const Ref pair = findPair(in, name.word());
    const Ref k = pair != kNone ? findProperty(in, pair, property.word()) : kNone;
    const Ref value = in.first(in.rest(k));
    return value != kNone ? value : Ref(kEmptyList);
}

Ref primPProp(PrimCall& c) {
    Interpreter& in = c.in;
    if (!in.CheckWord(c.args[0], c.index) || !in.CheckWord(c.args[1], c.index)) return kNone;
    const Ref value = c.args[2];
    if (value == kNone) {
        in.RaisePrimError(kErrNotEnoughInputs, c.index, kNone);
        return kNone;
    }
    const NameWord name(in, c.args[0], false);
    const NameWord property(in, c.args[1], false);
    // The new pair, made before anything changes; the property is kept as it was given.
    const Ref valueNode = in.NewList(value, kNone);
    const Ref keyNode = valueNode != kNone ? in.NewList(c.args[1], valueNode) : kNone;
    if (keyNode == kNone) return kNone;
    NodeMemory::Pin pin(in, keyNode);
    const Ref pair = findPair(in, name.word());
    if (pair == kNone) {
        newEntry(in, name.word(), keyNode);
    } else {
        Ref last = kNone;
        if (const Ref k = findProperty(in, pair, property.word(), &last)) {
            in.at(in.rest(k)).item = value;
            in.UnlockValue(keyNode);  // not needed after all
            return kNone;
        }
        if (!in.isList(last)) {
            setPlistOf(in, pair, keyNode);
        } else {
            in.at(last).next = keyNode;
            noteAppended(in, pair, keyNode);
        }
    }
    release(in, keyNode);
    release(in, valueNode);
    return kNone;
}

Ref primRemProp(PrimCall& c) {
    Interpreter& in = c.in;
    if (!in.CheckWord(c.args[0], c.index) || !in.CheckWord(c.args[1], c.index)) return kNone;
    const NameWord name(in, c.args[0], false);
    const NameWord property(in, c.args[1], false);
    const Ref pair = findPair(in, name.word());
    if (pair == kNone) {
        in.RaiseError(kErrUndefined, kNone, name.word());
        return kNone;
    }
    const Ref plist = plistOf(in, pair);
    Ref prevValue = kNone;  // the value node before the pair
    size_t guard = 0;
    for (Ref k = in.IsEmptyList(plist) ? kNone : plist; in.isList(k) && guard++ <= in.poolSize();) {
        const Ref valueNode = in.rest(k);
        const Ref after = in.rest(valueNode);
        if (sameProperty(in, in.first(k), property.word())) {
            forgetIndex(in, pair);
            if (prevValue != kNone) {
                in.at(prevValue).next = after;
            } else if (after != kNone) {
                setPlistOf(in, pair, after);
            } else {
                removeEntryOf(in, pair);  // its last pair
            }
            return kNone;
        }
        prevValue = valueNode;
        k = after;
    }
    in.RaiseError(kErrUndefined, kNone, property.word());
    return kNone;
}

Ref primPList(PrimCall& c) {
    Interpreter& in = c.in;
    if (!in.CheckWord(c.args[0], c.index)) return kNone;
    const NameWord name(in, c.args[0], false);
    const Ref pair = findPair(in, name.word());
    const Ref plist = pair != kNone ? plistOf(in, pair) : kNone;
    return in.IsEmptyList(plist) ? Ref(kEmptyList) : plist;
}

Ref primSetPList(PrimCall& c) {
    Interpreter& in = c.in;
    if (!in.CheckWord(c.args[0], c.index)) return kNone;
    const Ref list = c.args[1];
    if (list == kNone || (in.isList(list) && in.IsEmptyList(list))) {
        in.RaisePrimError(kErrNotEnoughInputs, c.index, kNone);
        return kNone;
    }
    if (!in.isList(list)) {
        in.RaisePrimError(kErrDoesntLike, c.index, list);
        return kNone;
    }
    size_t count = 0;
    for (Ref l = list; in.isList(l) && count <= in.poolSize(); l = in.rest(l), ++count) {
        if (count % 2 == 0 && !in.isWordLike(in.first(l))) {
            in.RaisePrimError(kErrDoesntLike, c.index, list);
            return kNone;
        }
    }
    if (count % 2 != 0) {
        in.RaiseError(kErrOddPropertyList, kNone, kNone);
        return kNone;
    }
    const NameWord name(in, c.args[0], false);
    bool buried = false;
    const Ref pair = findPair(in, name.word(), &buried);
    // While a stack's saved workspace runs, buried property lists keep their values.
    if (pair != kNone && buried && in.makeProtectsBuried) return kNone;
    // The list's own nodes are copied: PPROP and REMPROP change the property list in place,
    // and must not change the list it was set from (a variable, a procedure's line).
    Ref head = kNone, tail = kNone;
    for (Ref l = list; in.isList(l) && count-- > 0; l = in.rest(l)) {
        if (!in.AppendToList(head, tail, in.first(l))) {
            for (Ref n = head; in.isList(n); n = in.rest(n)) release(in, n);
            return kNone;
        }
    }
    for (Ref n = head; in.isList(n); n = in.rest(n)) release(in, n);
    if (pair != kNone) {
        forgetIndex(in, pair);
        setPlistOf(in, pair, head);
    }
    else newEntry(in, name.word(), head);
    return kNone;
}

Ref primPPs(PrimCall& c) {
    c.in.write(ws::plistsListing(c.in, false));
    return kNone;
}

Ref primErProps(PrimCall& c) {
    c.in.plists.clear();
    return kNone;
}

// Moves a property list between the ordinary and the buried chains. Burying one that is
// buried already does nothing; anything else not found is error 9.
void movePlist(PrimCall& c, bool bury) {
    Interpreter& in = c.in;
    ws::forEachName(c, c.args[0], [&](Ref input) {
        const NameWord name(in, input, false);
        return ws::moveEntry(in, bury ? in.plists : in.buriedPlists, bury ? in.buriedPlists : in.plists,
                             name.word(), bury);
    });
}

Ref primBuryPList(PrimCall& c) {
    movePlist(c, true);
    return kNone;
}

Ref primUnburyPList(PrimCall& c) {
    movePlist(c, false);
    return kNone;
}

const PrimitiveFamily kPlists("plists", {
    {"BURYPLIST", primBuryPList},
    {"ERPROPS", primErProps},
    {"GPROP", primGProp},
    {"PLIST", primPList},
    {"PPROP", primPProp},
    {"PPS", primPPs},
    {"REMPROP", primRemProp},
    {"SETPLIST", primSetPList},
    {"UNBURYPLIST", primUnburyPList},
});

} // namespace

} // namespace cv::script
