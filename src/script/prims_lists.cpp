// Building and taking apart lists: FPUT, LPUT, LIST, SENTENCE, INSERT, REMOVE, REPLACE,
// MEMBER, MEMBERP and RANDOMIZE. Outputs are new list nodes; the elements, and the part of a
// list after a change, are shared with the inputs and never changed.
#include <vector>

#include "script/prims_words.h"

namespace cv::script {

namespace {

using namespace words;

Ref truth(bool b) { return b ? kTrue : kFalse; }

// True when the list has an index-th element (counted from 1).
bool hasElement(Interpreter& in, Ref list, int64_t index) {
    Ref p = firstNode(in, list);
    for (int64_t i = 1; i < index && in.isList(p); ++i) p = in.rest(p);
    return in.isList(p);
}

Ref primFput(PrimCall& c) {
    Interpreter& in = c.in;
    const Ref thing = c.args[0], list = c.args[1];
    if (thing == kNone) {
        in.RaisePrimError(kErrDoesntLike, c.index, kNone);
        return list;
    }
    if (!in.isList(list)) {
        in.RaisePrimError(kErrDoesntLike, c.index, list);
        return list;
    }
    return in.NewList(thing, firstNode(in, list));
}

Ref primLput(PrimCall& c) {
    Interpreter& in = c.in;
    const Ref thing = c.args[0], list = c.args[1];
    // A missing element would make a list that holds nothing where an element should be.
    if (thing == kNone) {
        in.RaisePrimError(kErrDoesntLike, c.index, kNone);
        return kNone;
    }
    if (!in.isList(list)) {
        in.RaisePrimError(kErrDoesntLike, c.index, list);
        return kNone;
    }
    ListBuilder b(in);
    b.copy(firstNode(in, list), INT64_MAX);
    b.add(thing);
    return b.finish();
}

// Variable inputs, all evaluated before any is used. A missing one (a command's result) is
// error 29.
std::vector<Ref> allInputs(PrimCall& c) {
    std::vector<Ref> inputs;
    Ref v;
    while (c.in.NextInput(c, v)) {
        if (v == kNone) c.in.RaisePrimError(kErrNotEnoughInputs, c.index, kNone);
        else inputs.push_back(v);
    }
    return inputs;
}

Ref primList(PrimCall& c) {
    const std::vector<Ref> inputs = allInputs(c);
    ListBuilder b(c.in);
    for (Ref v : inputs) b.add(v);
    return b.finish();
}

Ref primSentence(PrimCall& c) {
    Interpreter& in = c.in;
    const std::vector<Ref> inputs = allInputs(c);
    ListBuilder b(in);
    for (Ref v : inputs) {
        if (in.isList(v)) b.copy(firstNode(in, v), INT64_MAX);
        else b.add(v);
    }
    return b.finish();
}

// The index input of INSERT, REMOVE and REPLACE; false after error 41 when below `lowest`.
bool indexInput(PrimCall& c, int arg, int32_t lowest, int32_t& index) {
    index = c.in.ToInteger(c.args[arg], c.index);
    if (index >= lowest) return true;
    c.in.RaisePrimError(kErrDoesntLike, c.index, c.args[arg]);
    return false;
}

Ref primInsert(PrimCall& c) {
    Interpreter& in = c.in;
    const Ref thing = c.args[0], target = c.args[2];
    int32_t index;
    if (!indexInput(c, 1, 0, index) || !Present(c, thing) || !Present(c, target)) return kNone;
    if (in.isList(target)) {
        if (index > 0 && !hasElement(in, target, index)) {
            in.RaiseError(kErrIndexTooBig, kNone, target);
            return kNone;
        }
        ListBuilder b(in);
        const Ref after = b.copy(firstNode(in, target), index);
        b.add(thing);
        return b.finish(after);
    }
    const std::string t = in.TextOf(target);
    if (size_t(index) > t.size()) {
        in.RaiseError(kErrIndexTooBig, kNone, target);
        return kNone;
    }
    std::string inserted;
    if (!ThingText(in, thing, inserted)) return kNone;
    return NewWord(in, t.substr(0, size_t(index)) + inserted + t.substr(size_t(index)));
}

Ref primRemove(PrimCall& c) {
    Interpreter& in = c.in;
    const Ref thing = c.args[1];
    int32_t index;
    if (!indexInput(c, 0, 1, index) || !Present(c, thing)) return kNone;
    if (in.isList(thing)) {
        if (!hasElement(in, thing, index)) {
            in.RaiseError(kErrIndexTooBig, kNone, thing);
            return kNone;
        }
        ListBuilder b(in);
        const Ref at = b.copy(firstNode(in, thing), index - 1);
        return b.finish(in.rest(at));
    }
    std::string t = in.TextOf(thing);
    if (size_t(index) > t.size()) {
        in.RaiseError(kErrIndexTooBig, kNone, thing);
        return kNone;
    }
    t.erase(size_t(index) - 1, 1);
    return NewWord(in, t);
}

Ref primReplace(PrimCall& c) {
    Interpreter& in = c.in;
    const Ref thing = c.args[0], target = c.args[2];
    int32_t index;
    if (!indexInput(c, 1, 1, index) || !Present(c, thing) || !Present(c, target)) return kNone;
    if (in.isList(target)) {
        if (!hasElement(in, target, index)) {
            in.RaiseError(kErrIndexTooBig, kNone, target);
            return kNone;
        }
        ListBuilder b(in);
        const Ref at = b.copy(firstNode(in, target), index - 1);
        b.add(thing);
        return b.finish(in.rest(at));
    }
    std::string t = in.TextOf(target);
    std::string with;
    if (!ThingText(in, thing, with)) return kNone;
    // The word keeps its length: the new text must fit from the index on.
    if (size_t(index) - 1 + with.size() > t.size()) {
        in.RaiseError(kErrIndexTooBig, kNone, target);
        return kNone;
    }
    t.replace(size_t(index) - 1, with.size(), with);
    return NewWord(in, t);
}

// Where MEMBER finds the thing: the tail of a list target, or the offset in a word target's
// text (npos when absent). False after an error.
struct Found {
    Ref tail = kNone;
    std::string text;
    size_t offset = std::string::npos;
};

// Where `wanted` first occurs in `text` (npos: nowhere), in time linear in both: a search
// that tried every place could be made to take very long by a script.
size_t firstPlace(const std::string& text, const std::string& wanted) {
    if (wanted.empty()) return 0;
    // For each length, how much of the start of `wanted` also ends its first `length` bytes.
    std::vector<size_t> border(wanted.size() + 1, 0);
    for (size_t i = 1, k = 0; i < wanted.size(); ++i) {
        while (k > 0 && wanted[i] != wanted[k]) k = border[k];
        if (wanted[i] == wanted[k]) ++k;
        border[i + 1] = k;
    }
    for (size_t i = 0, k = 0; i < text.size(); ++i) {
        while (k > 0 && text[i] != wanted[k]) k = border[k];
        if (text[i] == wanted[k]) ++k;
        if (k == wanted.size()) return i + 1 - k;
    }
    return std::string::npos;
}

bool findMember(PrimCall& c, Found& f) {
    Interpreter& in = c.in;
    const Ref thing = c.args[0], target = c.args[1];
    if (!Present(c, thing) || !Present(c, target)) return false;
    if (in.isList(target)) {
        for (Ref p = firstNode(in, target); in.isList(p); p = in.rest(p)) {
            if (in.EqualP(in.first(p), thing)) {
                f.tail = p;
                break;
            }
            if (in.stopRequested) return false;
        }
        return true;
    }
    std::string wanted;
    if (!ThingText(in, thing, wanted)) return false;
    f.text = in.TextOf(target);
    f.offset = firstPlace(f.text, wanted);
    return true;
}

Ref primMember(PrimCall& c) {
    Interpreter& in = c.in;
    Found f;
    if (!findMember(c, f)) return kNone;
    if (in.isList(c.args[1])) return f.tail != kNone ? f.tail : Ref(kEmptyList);
    if (f.offset == std::string::npos) return kEmptyWord;
    return NewWord(in, f.text.substr(f.offset));
}

Ref primMemberP(PrimCall& c) {
    Found f;
    if (!findMember(c, f)) return kFalse;
    if (c.in.isList(c.args[1])) return truth(f.tail != kNone);
    return truth(f.offset != std::string::npos && f.offset < f.text.size());
}

// Positions still in a sequence, to find the k-th remaining one in logarithmic time.
class Remaining {
public:
    explicit Remaining(size_t n) : tree_(n + 1, 0) {
        for (size_t i = 1; i <= n; ++i) {
            tree_[i] += 1;
            const size_t up = i + (i & (~i + 1));
            if (up <= n) tree_[up] += tree_[i];
        }
        for (top_ = 1; top_ * 2 <= n; top_ *= 2) {}
    }
    // Takes out the k-th (from 0) remaining position and gives it (from 0).
    size_t take(size_t k) {
        size_t pos = 0;
        for (size_t step = top_; step; step /= 2) {
            if (pos + step < tree_.size() && tree_[pos + step] <= k) {
                pos += step;
                k -= tree_[pos];
            }
        }
        for (size_t i = pos + 1; i < tree_.size(); i += i & (~i + 1)) --tree_[i];
        return pos;
    }

private:
    std::vector<size_t> tree_;
    size_t top_ = 1;
};

Ref primRandomize(PrimCall& c) {
    Interpreter& in = c.in;
    const Ref thing = c.args[0];
    if (!Present(c, thing)) return kNone;
    if (in.isList(thing)) {
        std::vector<Ref> items;
        for (Ref p = firstNode(in, thing); in.isList(p); p = in.rest(p)) items.push_back(in.first(p));
        // Taken out at random one at a time, each pushed on the front of the result.
        Remaining remaining(items.size());
        Ref result = kNone;
        for (size_t left = items.size(); left > 0; --left) {
            const size_t at = remaining.take(size_t(in.random15()) % left);
            const Ref node = in.NewList(items[at], result);
            if (node == kNone) {
                in.UnlockValue(result);
                return kNone;
            }
            // The new first node is locked and keeps the rest.
            if (result != kNone) in.at(result).flags &= uint8_t(~kLockBit);
            result = node;
        }
        return result != kNone ? result : Ref(kEmptyList);
    }
    std::string t = in.TextOf(thing);
    for (size_t i = 0; i < t.size(); ++i) std::swap(t[i], t[size_t(in.random15()) % t.size()]);
    return NewWord(in, t);
}

const PrimitiveFamily kLists("lists", {
    {"FPUT", primFput},
    {"LPUT", primLput},
    {"LIST", primList},
    {"SENTENCE", primSentence},
    {"SE", primSentence},
    {"INSERT", primInsert},
    {"REMOVE", primRemove},
    {"REPLACE", primReplace},
    {"MEMBER", primMember},
    {"MEMBERP", primMemberP},
    {"RANDOMIZE", primRandomize},
});

} // namespace

} // namespace cv::script
