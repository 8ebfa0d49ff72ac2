// Words and the selectors that work on any thing: FIRST, LAST, BUTFIRST, BUTLAST, COUNT, ITEM,
// WORD, UNPARSE, ASCII, CHAR, the case changes, BEFOREP, EQUALP and the kind predicates.
// A number given where a word is wanted is used through its printed text.
#include "script/prims_words.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

namespace cv::script {

namespace words {

namespace {

// Beyond this a text is a structure that contains itself or repeats one part without end.
constexpr size_t kMaxText = size_t(64) << 20;

} // namespace

bool ThingText(Interpreter& in, Ref v, std::string& text) {
    text.clear();
    if (!in.isList(v)) {
        text = in.TextOf(v);
        return true;
    }
    auto tooLong = [&] {
        text.clear();
        in.RaiseError(kErrOutOfSpace, kNone, kNone);
        return false;
    };
    // Nested lists are walked with an explicit stack: depth costs no native stack.
    std::vector<Ref> stack{firstNode(in, v)};
    bool first = true;
    while (!stack.empty()) {
        Ref& node = stack.back();
        if (!in.isList(node)) {
            stack.pop_back();
            continue;
        }
        const Ref e = in.first(node);
        node = in.rest(node);
        if (in.isList(e)) {
            // Deeper than the pool has list nodes: the list holds itself.
            if (stack.size() > in.poolSize()) return tooLong();
            stack.push_back(firstNode(in, e));
            continue;
        }
        if (!first) text += ' ';
        first = false;
        text += in.TextOf(e);
        if (text.size() > kMaxText) return tooLong();
    }
    return true;
}

Ref NewWord(Interpreter& in, std::string_view text) {
    WordWriter w(in);
    w.putText(text);
    return w.finish();
}

bool Present(PrimCall& c, Ref v) {
    if (v != kNone) return true;
    c.in.RaisePrimError(kErrNotEnoughInputs, c.index, kNone);
    return false;
}

} // namespace words

namespace {

using namespace words;

Ref truth(bool b) { return b ? kTrue : kFalse; }

// A one-character word.
Ref charWord(Interpreter& in, char ch) {
    WordWriter w(in);
    w.put(ch);
    return w.finish();
}

// Where the last look into a word ended, so that walking a long word with ITEM goes on from
// there instead of from its start. Words never change once made, and a node is only reused
// after a collection, so the place holds while the word and the collection count are the same.
struct WordPlace : FamilyState {
    Ref word = kNone;
    uint64_t collections = 0;
    size_t nodeIndex = 0;
    Ref node = kNone;
};

// The index-th character (from 0) of a word, or NUL past its end.
char wordCharAt(Interpreter& in, Ref w, size_t index) {
    WordPlace& place = in.family<WordPlace>();
    const size_t wanted = index / 4;
    Ref r = w;
    size_t at = 0;
    if (place.word == w && place.collections == in.collections() && place.nodeIndex <= wanted) {
        r = place.node;
        at = place.nodeIndex;
    }
    for (; at < wanted && in.isWord(r); ++at) r = in.at(r).next;
    if (!in.isWord(r)) return 0;
    place.word = w;
    place.collections = in.collections();
    place.nodeIndex = at;
    place.node = r;
    return charAt(in.at(r).item, int(index % 4));
}

// The last character of a word (NUL for the empty word), in one walk along its nodes.
char lastChar(const Interpreter& in, Ref w) {
    char ch = 0;
    size_t guard = in.poolSize() + 1;
    for (Ref r = w; in.isWord(r) && guard-- > 0; r = in.at(r).next) {
        const uint32_t item = in.at(r).item;
        if (FullNode(item)) {
            ch = charAt(item, 3);
            continue;
        }
        for (int i = 0; i < 4 && charAt(item, i) != 0; ++i) ch = charAt(item, i);
        break;
    }
    return ch;
}

Ref lastNode(const Interpreter& in, Ref list) {
    Ref p = firstNode(in, list);
    while (in.isList(in.rest(p))) p = in.rest(p);
    return p;
}

// FIRST and LAST: an element of a list, or a character of a word or of a number's text.
Ref firstOrLast(PrimCall& c, bool last) {
    Interpreter& in = c.in;
    const Ref thing = c.args[0];
    if (!Present(c, thing)) return kNone;
    if (in.isList(thing)) {
        if (in.IsEmptyList(thing)) {
            in.RaisePrimError(kErrDoesntLike, c.index, thing);
            return kNone;
        }
        return in.first(last ? lastNode(in, thing) : thing);
    }
    char ch = 0;
    if (in.isWord(thing)) {
        ch = last ? lastChar(in, thing) : in.FirstChar(thing);
    } else {
        const std::string t = in.TextOf(thing);
        if (!t.empty()) ch = last ? t.back() : t.front();
    }
    if (ch == 0) {
        in.RaisePrimError(kErrDoesntLike, c.index, thing);
        return kNone;
    }
    return charWord(in, ch);
}

Ref primFirst(PrimCall& c) { return firstOrLast(c, false); }
Ref primLast(PrimCall& c) { return firstOrLast(c, true); }

// BUTFIRST and BUTLAST of a word or a number's text. The empty word is refused, and given
// back as it came.
Ref wordButOne(PrimCall& c, bool dropLast) {
    Interpreter& in = c.in;
    const Ref thing = c.args[0];
    WordWriter w(in);
    if (in.isWord(thing)) {
        if (in.FirstChar(thing) == 0) {
            in.RaisePrimError(kErrDoesntLike, c.index, thing);
            return thing;
        }
        if (dropLast) w.putWord(thing, 0, in.WordLength(thing) - 1);
        else w.putWord(thing, 1);
    } else {
        const std::string t = in.TextOf(thing);
        w.putText(dropLast ? std::string_view(t).substr(0, t.size() - 1) : std::string_view(t).substr(1));
    }
    return w.finish();
}

Ref primButFirst(PrimCall& c) {
    Interpreter& in = c.in;
    const Ref thing = c.args[0];
    if (!Present(c, thing)) return kNone;
    if (!in.isList(thing)) return wordButOne(c, false);
    if (in.IsEmptyList(thing)) {
        in.RaisePrimError(kErrDoesntLike, c.index, thing);
        return kNone;
    }
    const Ref r = in.rest(thing);
    return in.IsEmptyList(r) ? Ref(kEmptyList) : r;
}

// A new list of every element but the last; the elements are shared.
Ref allButLast(Interpreter& in, Ref list) {
    ListBuilder b(in);
    for (Ref p = firstNode(in, list); in.isList(in.rest(p)); p = in.rest(p)) b.add(in.first(p));
    return b.finish();
}

Ref primButLast(PrimCall& c) {
    Interpreter& in = c.in;
    const Ref thing = c.args[0];
    if (!Present(c, thing)) return kNone;
    if (!in.isList(thing)) return wordButOne(c, true);
    if (in.IsEmptyList(thing)) {
        in.RaisePrimError(kErrDoesntLike, c.index, thing);
        return kNone;
    }
    return allButLast(in, thing);
}

Ref primCount(PrimCall& c) {
    Interpreter& in = c.in;
    const Ref thing = c.args[0];
    if (!Present(c, thing)) return kNone;
    if (in.isList(thing)) return in.NewInteger(int32_t(in.ListLength(thing)));
    if (!in.isWord(thing)) return in.NewInteger(int32_t(in.TextOf(thing).size()));
    const size_t n = in.WordLength(thing);
    // The quote word alone prints as nothing and counts as nothing.
    if (n == 1 && in.FirstChar(thing) == '"') return in.NewInteger(0);
    return in.NewInteger(int32_t(n));
}

Ref primItem(PrimCall& c) {
    Interpreter& in = c.in;
    const int32_t index = in.ToInteger(c.args[0], c.index);
    const Ref thing = c.args[1];
    if (index < 1) {
        in.RaisePrimError(kErrDoesntLike, c.index, c.args[0]);
        return kNone;
    }
    if (!Present(c, thing)) return kNone;
    if (in.isList(thing)) {
        Ref p = firstNode(in, thing);
        for (int32_t i = 1; i < index; ++i) {
            const Node& n = in.at(p);
            if (!(n.flags & kListBit)) break;
            p = n.next;
        }
        if (!in.isList(p)) {
            in.RaiseError(kErrIndexTooBig, kNone, thing);
            return kEmptyList;
        }
        return in.first(p);
    }
    char ch = 0;
    if (in.isWord(thing)) {
        ch = wordCharAt(in, thing, size_t(index) - 1);
    } else {
        const std::string t = in.TextOf(thing);
        if (size_t(index) <= t.size()) ch = t[size_t(index) - 1];
    }
    if (ch == 0) {
        in.RaisePrimError(kErrDoesntLike, c.index, c.args[0]);
        return kNone;
    }
    return charWord(in, ch);
}

Ref primWord(PrimCall& c) {
    Interpreter& in = c.in;
    // Every input is evaluated before any is looked at, as fixed inputs are.
    std::vector<Ref> inputs;
    Ref v;
    while (in.NextInput(c, v)) inputs.push_back(v);
    WordWriter w(in);
    for (Ref x : inputs) {
        if (x == kNone) in.RaisePrimError(kErrNotEnoughInputs, c.index, kNone);
        else if (in.isList(x)) in.RaisePrimError(kErrDoesntLike, c.index, x);
        else if (in.isWord(x)) w.putWord(x);
        else w.putText(in.NumberText(x));
    }
    return w.finish();
}

Ref primUnparse(PrimCall& c) {
    Interpreter& in = c.in;
    if (!Present(c, c.args[0])) return kNone;
    std::string text;
    if (!ThingText(in, c.args[0], text)) return kNone;
    return NewWord(in, text);
}

Ref primAscii(PrimCall& c) {
    Interpreter& in = c.in;
    const Ref w = c.args[0];
    if (!in.CheckWord(w, c.index)) return kNone;
    const std::string t = in.TextOf(w);
    if (t.empty() || (in.isWord(w) && t == "\"")) return in.NewInteger(0);
    return in.NewInteger(int32_t(uint8_t(t.front())));
}

Ref primChar(PrimCall& c) {
    Interpreter& in = c.in;
    // A non-numeric input counts as 0, which gives the empty word.
    const int32_t code = in.ToInteger(c.args[0], c.index);
    const char ch = char(uint32_t(code) & 0xFF);
    // Character 0 would end the word at once: it is the empty word.
    if (ch == 0) return kEmptyWord;
    return charWord(in, ch);
}

Ref changeCase(PrimCall& c, bool upper) {
    Interpreter& in = c.in;
    if (!in.CheckWord(c.args[0], c.index)) return kNone;
    std::string t = in.TextOf(c.args[0]);
    for (char& ch : t) {
        if (upper && ch >= 'a' && ch <= 'z') ch = char(ch - 32);
        else if (!upper && ch >= 'A' && ch <= 'Z') ch = char(ch + 32);
    }
    return NewWord(in, t);
}

Ref primUppercase(PrimCall& c) { return changeCase(c, true); }
Ref primLowercase(PrimCall& c) { return changeCase(c, false); }

Ref primBeforeP(PrimCall& c) {
    Interpreter& in = c.in;
    if (!in.CheckWord(c.args[0], c.index) || !in.CheckWord(c.args[1], c.index)) return kFalse;
    const std::string a = in.TextOf(c.args[0]), b = in.TextOf(c.args[1]);
    // Bytes compare as signed characters, so those from 128 up sort before the letters.
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto x = static_cast<signed char>(a[i]), y = static_cast<signed char>(b[i]);
        if (x != y) return truth(x < y);
    }
    return truth(a.size() < b.size());
}

Ref primEqualP(PrimCall& c) {
    Interpreter& in = c.in;
    if (!Present(c, c.args[0]) || !Present(c, c.args[1])) return kFalse;
    return truth(in.EqualP(c.args[0], c.args[1]));
}

Ref primEmptyP(PrimCall& c) {
    Interpreter& in = c.in;
    const Ref v = c.args[0];
    if (v == kNone) return kFalse;
    return truth((in.isList(v) && in.IsEmptyList(v)) || in.IsEmptyWord(v));
}

Ref primWordP(PrimCall& c) { return truth(c.in.isWordLike(c.args[0])); }
Ref primListP(PrimCall& c) { return truth(c.in.isList(c.args[0])); }
Ref primNumberP(PrimCall& c) { return truth(c.in.isNumber(c.args[0])); }
Ref primIntegerP(PrimCall& c) { return truth(c.in.isInteger(c.args[0])); }
Ref primFloatP(PrimCall& c) { return truth(c.in.isFloat(c.args[0])); }

// A pool made again numbers its nodes from the start: a remembered place would be wrong.
void forgetWordPlace(Interpreter& in) { in.family<WordPlace>() = WordPlace{}; }

const PrimitiveFamily kWords("words", {
    {"FIRST", primFirst},
    {"LAST", primLast},
    {"BUTFIRST", primButFirst},
    {"BF", primButFirst},
    {"BUTLAST", primButLast},
    {"BL", primButLast},
    {"COUNT", primCount},
    {"ITEM", primItem},
    {"WORD", primWord},
    {"UNPARSE", primUnparse},
    {"ASCII", primAscii},
    {"CHAR", primChar},
    {"UPPERCASE", primUppercase},
    {"LOWERCASE", primLowercase},
    {"BEFOREP", primBeforeP},
    {"EQUALP", primEqualP},
    {"EMPTYP", primEmptyP},
    {"WORDP", primWordP},
    {"LISTP", primListP},
    {"NUMBERP", primNumberP},
    {"INTEGERP", primIntegerP},
    {"FLOATP", primFloatP},
}, FamilyHooks{forgetWordPlace});

} // namespace

} // namespace cv::script
