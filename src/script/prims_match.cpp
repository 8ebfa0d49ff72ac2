// Pattern matching: MATCH, MATCHP and SIMILARP. The options list says how the texts of the
// pattern and of each candidate are changed before they are compared; in the comparison `?`
// on either side stands for any one character and `%` for one white-space character.
#include <vector>

#include "script/prims_words.h"

namespace cv::script {

namespace {

using namespace words;

inline bool isWhite(char c) { return c == ' ' || (c >= 9 && c <= 13); }

struct Option {
    enum Kind { Uppercase, Delete, Replace, Whitespace } kind;
    char a = 0, b = 0;
};

// A changed text, with the place in the original text of each of its characters (and of its
// end), so that a match can be given back in the original's own characters.
struct Text {
    std::string chars;
    std::vector<size_t> from;
};

// Reads the options list; error 41 naming the primitive (the whole list shown) when it is not
// a list of known options each with its one-character arguments.
bool readOptions(PrimCall& c, std::vector<Option>& options) {
    Interpreter& in = c.in;
    const Ref list = c.args[0];
    if (!Present(c, list)) return false;
    auto invalid = [&] {
        in.RaisePrimError(kErrDoesntLike, c.index, list);
        return false;
    };
    if (!in.isList(list)) return invalid();
    Ref p = firstNode(in, list);
    // The next element as a one-character argument.
    auto argument = [&](char& ch) {
        p = in.rest(p);
        const Ref e = in.first(p);
        if (!in.isList(p) || !in.isWordLike(e)) return false;
        const std::string t = in.TextOf(e);
        if (t.size() != 1) return false;
        ch = t[0];
        return true;
    };
    for (; in.isList(p); p = in.rest(p)) {
        const Ref e = in.first(p);
        if (!in.isWordLike(e)) return invalid();
        std::string name = in.TextOf(e);
        for (char& ch : name)
            if (ch >= 'a' && ch <= 'z') ch = char(ch - 32);
        Option o{Option::Uppercase};
        if (name == "U" || name == "UPPERCASE") {
            o.kind = Option::Uppercase;
        } else if (name == "D" || name == "DELETE") {
            o.kind = Option::Delete;
            if (!argument(o.a)) return invalid();
        } else if (name == "R" || name == "REPLACE") {
            o.kind = Option::Replace;
            if (!argument(o.a) || !argument(o.b)) return invalid();
        } else if (name == "W" || name == "WHITESPACE") {
            o.kind = Option::Whitespace;
        } else {
            return invalid();
        }
        options.push_back(o);
    }
    return true;
}

Text transform(const std::string& original, const std::vector<Option>& options) {
    Text t{original, {}};
    t.from.resize(original.size() + 1);
    for (size_t i = 0; i <= original.size(); ++i) t.from[i] = i;
    for (const Option& o : options) {
        Text next;
        switch (o.kind) {
        case Option::Uppercase:
            for (char& ch : t.chars)
                if (ch >= 'a' && ch <= 'z') ch = char(ch - 32);
            continue;
        case Option::Replace:
            for (char& ch : t.chars)
                if (ch == o.a) ch = o.b;
            continue;
        case Option::Delete:
            for (size_t i = 0; i < t.chars.size(); ++i) {
                if (t.chars[i] == o.a) continue;
                next.chars += t.chars[i];
                next.from.push_back(t.from[i]);
            }
            break;
        case Option::Whitespace:
            for (size_t i = 0; i < t.chars.size();) {
                if (!isWhite(t.chars[i])) {
                    next.chars += t.chars[i];
                    next.from.push_back(t.from[i]);
                    ++i;
                    continue;
                }
                // A run becomes one space; none is kept at the start or the end.
                const size_t run = i;
                while (i < t.chars.size() && isWhite(t.chars[i])) ++i;
                if (!next.chars.empty()) {
                    next.chars += ' ';
                    next.from.push_back(t.from[run]);
                }
            }
            if (!next.chars.empty() && next.chars.back() == ' ') {
                next.chars.pop_back();
                next.from.pop_back();
            }
            break;
        }
        next.from.push_back(t.from.back());
        t = std::move(next);
    }
    return t;
}

inline bool sameChar(char p, char t) {
    return p == t || p == '?' || t == '?' || (p == '%' && isWhite(t)) || (t == '%' && isWhite(p));
}

// The pattern against the candidate from `at`: all of the pattern's characters.
bool matchesAt(const std::string& pattern, const std::string& text, size_t at) {
    if (text.size() - at < pattern.size()) return false;
    for (size_t i = 0; i < pattern.size(); ++i)
        if (!sameChar(pattern[i], text[at + i])) return false;
    return true;
}

bool matchesWholly(const std::string& pattern, const std::string& text) {
    return pattern.size() == text.size() && matchesAt(pattern, text, 0);
}

// The texts of a thing changed by the options; false after an error.
bool changedText(Interpreter& in, Ref v, const std::vector<Option>& options, Text& out) {
    std::string t;
    if (!ThingText(in, v, t)) return false;
    out = transform(t, options);
    return true;
}

// What MATCH finds: the tail of a list target, or the rest of a word target's text.
struct Found {
    Ref tail = kNone;
    std::string rest;
    bool found = false;
};

bool match(PrimCall& c, Found& f) {
    Interpreter& in = c.in;
    std::vector<Option> options;
    if (!readOptions(c, options)) return false;
    const Ref target = c.args[2];
    if (!Present(c, c.args[1]) || !Present(c, target)) return false;
    Text pattern;
    if (!changedText(in, c.args[1], options, pattern)) return false;
    if (in.isList(target)) {
        for (Ref p = firstNode(in, target); in.isList(p); p = in.rest(p)) {
            Text candidate;
            if (!changedText(in, in.first(p), options, candidate)) return false;
            if (matchesWholly(pattern.chars, candidate.chars)) {
                f.tail = p;
                f.found = true;
                return true;
            }
        }
        return true;
    }
    const std::string original = in.TextOf(target);
    const Text text = transform(original, options);
    // A long pattern tried at every place of a long word is slow (wild characters rule out
    // the quicker searches): Escape is looked at now and then.
    size_t work = 0;
    for (size_t at = 0; at + pattern.chars.size() <= text.chars.size(); ++at) {
        work += pattern.chars.size() + 1;
        if (work > (size_t(1) << 22)) {
            work = 0;
            in.PollInterrupt();
            if (in.stopRequested) return false;
        }
        if (matchesAt(pattern.chars, text.chars, at)) {
            f.rest = original.substr(text.from[at]);
            f.found = true;
            return true;
        }
    }
    return true;
}

Ref primMatch(PrimCall& c) {
    Interpreter& in = c.in;
    Found f;
    if (!match(c, f)) return kNone;
    if (in.isList(c.args[2])) return f.found ? f.tail : Ref(kEmptyList);
    return NewWord(in, f.rest);
}

Ref primMatchP(PrimCall& c) {
    Found f;
    if (!match(c, f)) return kFalse;
    return (f.found && (f.tail != kNone || !f.rest.empty())) ? kTrue : kFalse;
}

Ref primSimilarP(PrimCall& c) {
    Interpreter& in = c.in;
    std::vector<Option> options;
    if (!readOptions(c, options)) return kFalse;
    if (!Present(c, c.args[1]) || !Present(c, c.args[2])) return kFalse;
    Text a, b;
    if (!changedText(in, c.args[1], options, a) || !changedText(in, c.args[2], options, b)) return kFalse;
    return matchesWholly(a.chars, b.chars) ? kTrue : kFalse;
}

const PrimitiveFamily kMatch("match", {
    {"MATCH", primMatch},
    {"MATCHP", primMatchP},
    {"SIMILARP", primSimilarP},
});

} // namespace

} // namespace cv::script
