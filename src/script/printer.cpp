// The text forms of values: plain (PRINT), with brackets (SHOW), escaped so that it reads
// back into the same words (listings and workspace files), and the forms of error messages.
#include <algorithm>
#include <cstdio>
#include <unordered_set>

#include "script/interpreter.h"
#include "script/printer_limits.h"

namespace cv::script {

namespace {

enum class Style { Plain, Escaped, Line };

inline bool selfDelimiting(char c) {
    switch (c) {
    case ' ': case '(': case ')': case '*': case '+': case '-': case ';': case '<': case '=': case '>':
    case '[': case '\\': case ']':
        return true;
    default:
        return false;
    }
}

inline bool operatorWord(const std::string& t) {
    if (t.size() != 1) return false;
    switch (t[0]) {
    case '(': case ')': case '*': case '+': case '-': case '/': case '<': case '=': case '>':
        return true;
    default:
        return false;
    }
}

// The escaped form of a word. `quoted` tells that the reader will take it as a quoted word (it
// follows, or begins with, the quote character), where a backslash, x and two hexadecimal
// digits stand for one byte. An ordinary word reads x after a backslash as the letter, so there
// a byte outside printed ASCII is written as it is (after a backslash when the reader would
// otherwise end the word at it). CR and LF end the line a listing is read by and cannot be kept
// in an ordinary word: they are written in the hexadecimal form all the same.
void appendEscapedWord(std::string& out, const std::string& t, bool quoted) {
    if (t == "\"") {
        out += "''";
        return;
    }
    static const char hex[] = "0123456789ABCDEF";
    for (size_t i = 0; i < t.size(); ++i) {
        const char c = t[i];
        const uint8_t u = uint8_t(c);
        const bool outsideAscii = u < 32 || u > 126;
        if (outsideAscii && (quoted || c == '\r' || c == '\n')) {
            out += "\\x";
            out += hex[u >> 4];
            out += hex[u & 15];
        } else if (outsideAscii) {
            if (u < 128) out += '\\';
            out += c;
        } else if (selfDelimiting(c) || (i == 0 && ((c >= '0' && c <= '9') || c == '.' || c == '\''))) {
            // A leading apostrophe would start quoted text.
            out += '\\';
            out += c;
        } else {
            out += c;
        }
    }
}

// The characters of a word, at most `most` of them: a message needs only the start of a word
// that may be megabytes long.
std::string wordPrefix(const Interpreter& in, Ref w, size_t most) {
    std::string t;
    for (Ref r = w; in.isWord(r) && t.size() < most; r = in.at(r).next) {
        const uint32_t item = in.at(r).item;
        for (int i = 0; i < 4; ++i) {
            const char c = charAt(item, i);
            if (c == 0) return t;
            t += c;
        }
    }
    return t;
}

} // namespace

// Appends the form of one value, stopping once `out` holds `limit` bytes (the walk then ends
// too, so a structure that shares its parts any number of times costs no more than the text
// it gives). Returns false when the form was cut short. Lists are walked with an explicit
// stack, so nesting depth costs no native stack.
static bool appendForm(Interpreter& in, std::string& out, Ref v, Style style, bool expandColon,
                       bool outerBrackets, size_t limit = kMaxFormText) {
    uint64_t& visited = in.family<FormWalkCount>().elements;
    auto atom = [&](Ref a) {
        ++visited;
        if (in.isNumber(a)) {
            out += in.NumberText(a);
            return;
        }
        if (!in.isWord(a)) return;
        // Escaped forms must be whole to read back; they are never cut at a small limit.
        const std::string t = limit < kMaxFormText ? wordPrefix(in, a, limit - std::min(limit, out.size()) + 1)
                                                   : in.TextFromWord(a);
        if (expandColon && !t.empty() && t[0] == ':') {
            const Ref w = in.WordFromText(std::string_view(t).substr(1));
            const Ref b = in.FindBinding(w);
            in.UnlockValue(w);
            if (b != kNone && in.first(in.rest(b)) != kNone) {
                appendForm(in, out, in.first(in.rest(b)), style, false, in.isList(in.first(in.rest(b))), limit);
                return;
            }
        }
        switch (style) {
        case Style::Plain:
            if (t != "\"") out += t;
            break;
        case Style::Escaped:
            appendEscapedWord(out, t, !t.empty() && t[0] == '"');
            break;
        case Style::Line:
            if (operatorWord(t)) {
                out += t;
                break;
            }
            for (char c : t) {
                if (c == '\r') out += ' ';
                else {
                    if (selfDelimiting(c)) out += '\\';
                    out += c;
                }
            }
            break;
        }
    };
    if (!in.isList(v)) {
        atom(v);
        return out.size() <= limit;
    }
    struct Level { Ref head; Ref node; bool first; };
    std::vector<Level> stack;
    // A property list that holds itself is written as [...] where it comes back, instead of
    // for ever. The lists being written are looked through; past some depth, a set of them
    // is kept instead.
    constexpr size_t kScanDepth = 32;
    std::unordered_set<Ref> open;
    auto isOpen = [&](Ref e) {
        if (stack.size() <= kScanDepth) {
            for (const Level& l : stack)
                if (l.head == e) return true;
            return false;
        }
        if (open.empty())
            for (const Level& l : stack) open.insert(l.head);
        return open.count(e) != 0;
    };
    if (outerBrackets) out += '[';
    stack.push_back({v, in.IsEmptyList(v) ? kNone : v, true});
    while (!stack.empty()) {
        if (out.size() > limit) return false;
        ++visited;
        Level& l = stack.back();
        if (!in.isList(l.node)) {
            if (!open.empty()) open.erase(l.head);
            stack.pop_back();
            if (!open.empty() && stack.size() <= kScanDepth) open.clear();
            if (!stack.empty() || outerBrackets) out += ']';
            continue;
        }
        const Ref e = in.first(l.node);
        l.node = in.rest(l.node);
        if (!l.first) out += ' ';
        l.first = false;
        if (in.isList(e)) {
            if (isOpen(e)) {
                out += "[...]";
                continue;
            }
            out += '[';
            stack.push_back({e, in.IsEmptyList(e) ? kNone : e, true});
            if (!open.empty()) open.insert(e);
        } else {
            atom(e);
        }
    }
    return out.size() <= limit;
}

// A message's form of a value: at most kMessageTextLimit bytes, then "...".
static std::string messageForm(Interpreter& in, Ref v, bool outerBrackets) {
    std::string out;
    bool whole;
    if (in.isWord(v)) {
        out = wordPrefix(in, v, kMessageTextLimit + 1);
        whole = out.size() <= kMessageTextLimit;
    } else {
        whole = appendForm(in, out, v, Style::Plain, false, outerBrackets, kMessageTextLimit);
    }
    if (!whole) {
        out.resize(kMessageTextLimit);
        out += "...";
    }
    return out;
}

std::string Interpreter::FormText(Ref v, bool expandColon, bool escaped) {
    std::string out;
    appendForm(*this, out, v, escaped ? Style::Escaped : Style::Plain, expandColon, false);
    return out;
}

void Interpreter::PrintForm(Ref v, bool expandColon, bool escaped) { write(FormText(v, expandColon, escaped)); }

void Interpreter::ShowForm(Ref v) {
    if (v == kNone) {
        write("[]");
        return;
    }
    std::string out;
    appendForm(*this, out, v, Style::Plain, false, isList(v));
    write(out);
}

// Messages quote a datum at most a few hundred bytes long, however big the value is.
std::string Interpreter::MessageText(Ref v) {
    if (v == kNone) return "[]";
    return messageForm(*this, v, false);
}

std::string Interpreter::QuotedMessageText(Ref v) {
    if (v == kNone) return "[]";
    if (isWord(v)) return "\"" + messageForm(*this, v, false);
    return messageForm(*this, v, isList(v));
}

std::string Interpreter::LineText(Ref list) {
    std::string out;
    appendForm(*this, out, list, Style::Line, false, false, kLineTextLimit);
    if (out.size() > kLineTextLimit) out.resize(kLineTextLimit);
    return out;
}

std::string Interpreter::ProcedureListing(Ref definition, bool titleOnly) {
    std::string out = "TO ";
    out += TextOf(first(definition));
    Ref params = first(rest(definition));
    for (Ref p = IsEmptyList(params) ? kNone : params; isList(p); p = rest(p)) {
        out += " :";
        out += TextOf(first(p));
    }
    out += '\n';
    if (titleOnly) return out;
    for (Ref l = rest(rest(definition)); isList(l); l = rest(l)) {
        appendForm(*this, out, first(l), Style::Escaped, false, false);
        out += '\n';
    }
    out += "END\n";
    return out;
}

std::string Interpreter::VariableListing(Ref name, Ref value) {
    std::string out = "MAKE \"";
    out += TextOf(name);
    out += ' ';
    if (isWord(value)) {
        const std::string t = TextFromWord(value);
        out += '"';
        // The lone quote word: "" reads back as it, where its escaped form '' would not.
        if (t == "\"") out += '"';
        else appendEscapedWord(out, t, true);
    } else if (isNumber(value)) {
        out += NumberText(value);
    } else {
        appendForm(*this, out, value, Style::Escaped, false, true);
    }
    out += '\n';
    return out;
}

} // namespace cv::script
