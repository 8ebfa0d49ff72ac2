// Words and the selectors that work on any thing: FIRST, LAST, BUTFIRST, BUTLAST, COUNT, ITEM,
// WORD, UNPARSE, ASCII, CHAR, the case changes, BEFOREP, EQUALP and the kind predicates.
// A number given where a word is wanted is used through its printed text.
#include "script/prims_words.h"

#include <algorithm>
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

Ref NewWord(Interpreter& in, const std::string& text) {
    if (text.empty()) return kEmptyWord;
    return in.WordFromText(text);
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
Ref charWord(Interpreter& in, char ch) { return NewWord(in, std::string(1, ch)); }

Ref lastNode(const Interpreter& in, Ref list) {
    Ref p = firstNode(in, list);
    while (in.isList(in.rest(p))) p = in.rest(p);
    return p;
}

Ref primFirst(PrimCall& c) {
    Interpreter& in = c.in;
    const Ref thing = c.args[0];
    if (!Present(c, thing)) return kNone;
    if (in.isList(thing)) {
        if (in.IsEmptyList(thing)) {
            in.RaisePrimError(kErrDoesntLike, c.index, thing);
            return kNone;
        }
        return in.first(thing);
    }
    const std::string t = in.TextOf(thing);
    if (t.empty()) {
        in.RaisePrimError(kErrDoesntLike, c.index, thing);
        return kNone;
    }
    return charWord(in, t.front());
}

Ref primLast(PrimCall& c) {
    Interpreter& in = c.in;
    const Ref thing = c.args[0];
    if (!Present(c, thing)) return kNone;
    if (in.isList(thing)) {
        if (in.IsEmptyList(thing)) {
            in.RaisePrimError(kErrDoesntLike, c.index, thing);
            return kNone;
        }
        return in.first(lastNode(in, thing));
    }
    const std::string t = in.TextOf(thing);
    if (t.empty()) {
        in.RaisePrimError(kErrDoesntLike, c.index, thing);
        return kNone;
    }
    return charWord(in, t.back());
}

Ref primButFirst(PrimCall& c) {
    Interpreter& in = c.in;
    const Ref thing = c.args[0];
    if (!Present(c, thing)) return kNone;
    if (in.isList(thing)) {
        if (in.IsEmptyList(thing)) {
            in.RaisePrimError(kErrDoesntLike, c.index, thing);
            return kNone;
        }
        const Ref r = in.rest(thing);
        return in.IsEmptyList(r) ? Ref(kEmptyList) : r;
    }
    const std::string t = in.TextOf(thing);
    if (t.empty()) {
        in.RaisePrimError(kErrDoesntLike, c.index, thing);
        return thing;
    }
    return NewWord(in, t.substr(1));
}

// A new list of every element but the last; the elements are shared.
Ref allButLast(Interpreter& in, Ref list) {
    Ref head = kNone, tail = kNone;
    for (Ref p = firstNode(in, list); in.isList(in.rest(p)); p = in.rest(p)) {
        if (!in.AppendToList(head, tail, in.first(p))) {
            in.UnlockValue(head);
            return kNone;
        }
    }
    return head != kNone ? head : Ref(kEmptyList);
}

Ref primButLast(PrimCall& c) {
    Interpreter& in = c.in;
    const Ref thing = c.args[0];
    if (!Present(c, thing)) return kNone;
    if (in.isList(thing)) {
        if (in.IsEmptyList(thing)) {
            in.RaisePrimError(kErrDoesntLike, c.index, thing);
            return kNone;
        }
        return allButLast(in, thing);
    }
    const std::string t = in.TextOf(thing);
    if (t.empty()) {
        // An empty word has no last character to take away: refused as BUTFIRST refuses it.
        in.RaisePrimError(kErrDoesntLike, c.index, thing);
        return thing;
    }
    return NewWord(in, t.substr(0, t.size() - 1));
}

Ref primCount(PrimCall& c) {
    Interpreter& in = c.in;
    const Ref thing = c.args[0];
    if (!Present(c, thing)) return kNone;
    if (in.isList(thing)) return in.NewInteger(int32_t(in.ListLength(thing)));
    const std::string t = in.TextOf(thing);
    // The quote word alone prints as nothing and counts as nothing.
    if (in.isWord(thing) && t == "\"") return in.NewInteger(0);
    return in.NewInteger(int32_t(t.size()));
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
        for (int32_t i = 1; i < index && in.isList(p); ++i) p = in.rest(p);
        if (!in.isList(p)) {
            in.RaiseError(kErrIndexTooBig, kNone, thing);
            return kEmptyList;
        }
        return in.first(p);
    }
    const std::string t = in.TextOf(thing);
    if (size_t(index) > t.size()) {
        in.RaisePrimError(kErrDoesntLike, c.index, c.args[0]);
        return kNone;
    }
    return charWord(in, t[size_t(index) - 1]);
}

Ref primWord(PrimCall& c) {
    Interpreter& in = c.in;
    // Every input is evaluated before any is looked at, as fixed inputs are.
    std::vector<Ref> inputs;
    Ref v;
    while (in.NextInput(c, v)) inputs.push_back(v);
    std::string text;
    for (Ref x : inputs) {
        if (x == kNone) {
            in.RaisePrimError(kErrNotEnoughInputs, c.index, kNone);
        } else if (in.isList(x)) {
            in.RaisePrimError(kErrDoesntLike, c.index, x);
        } else {
            text += in.TextOf(x);
        }
    }
    return NewWord(in, text);
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
});

} // namespace

} // namespace cv::script
