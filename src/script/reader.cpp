// The reader: text to lists of words, numbers and nested lists, and TO ... END.
#include <cstdlib>

#include "script/interpreter.h"

namespace cv::script {

namespace {

inline bool isWhite(char c) { return c == ' ' || (c >= 9 && c <= 13); }
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }
inline bool endsWord(char c) {
    switch (c) {
    case '[': case ']': case '(': case ')': case '=': case '<': case '>': case '+': case '-': case '*':
    case '\0':
        return true;
    default:
        return isWhite(c);
    }
}
inline bool isOperatorChar(char c) {
    switch (c) {
    case '(': case ')': case '*': case '+': case '/': case '<': case '=': case '>':
        return true;
    default:
        return false;
    }
}
inline int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The text being read; a NUL byte ends it as the end does.
struct Scan {
    std::string_view t;
    size_t pos = 0;
    char cur() const { return pos < t.size() ? t[pos] : '\0'; }
    void advance() { if (cur() != '\0') ++pos; }
    void end() { pos = t.size(); }
};

} // namespace

Ref Interpreter::ParseWord(Ref word) {
    if (!isWordLike(word)) return kEmptyList;
    return ParseText(TextOf(word));
}

Ref Interpreter::ParseText(std::string_view text) {
    Scan s{text};
    const size_t nul = text.find('\0');
    if (nul != std::string_view::npos) s.t = text.substr(0, nul);
    bool operandExpected = true;

    // Backslash after a quote or inside apostrophes: the next character as it is, or \x and
    // up to two hexadecimal digits for one character.
    auto escaped = [&] {
        s.advance();
        const char c = s.cur();
        if (c == '\0') return;
        s.advance();
        if (c != 'x') {
            AppendChar(c);
            return;
        }
        int code = -1;
        for (int k = 0; k < 2 && hexValue(s.cur()) >= 0; ++k) {
            code = (code < 0 ? 0 : code * 16) + hexValue(s.cur());
            s.advance();
        }
        AppendChar(code < 0 ? 'x' : char(code));
    };

    auto readNumber = [&]() -> Ref {
        std::string t;
        bool isFloat = false;
        if (s.cur() == '0') {
            while (s.cur() == '0') s.advance();
            t.push_back('0');
        }
        for (int n = 0; n < 19 && (isDigit(s.cur()) || s.cur() == '.'); ++n) {
            if (s.cur() == '.') isFloat = true;
            t.push_back(s.cur());
            s.advance();
        }
        if (s.cur() == 'E' || s.cur() == 'e') {
            isFloat = true;
            t.push_back(s.cur());
            s.advance();
            if (s.cur() == '+' || s.cur() == '-') {
                t.push_back(s.cur());
                s.advance();
            }
            if (s.cur() == '0') {
                while (s.cur() == '0') s.advance();
                t.push_back('0');
            }
            for (int n = 0; n < 3 && isDigit(s.cur()); ++n) {
                t.push_back(s.cur());
                s.advance();
            }
        }
        if (!isFloat) {
            uint64_t v = 0;
            bool fits = true;
            for (char c : t) {
                v = v * 10 + uint64_t(c - '0');
                if (v > 2147483647u) { fits = false; break; }
            }
            if (fits) return NewInteger(int32_t(v));
        }
        return NewFloat(std::strtod(t.c_str(), nullptr));
    };

    auto afterElement = [&] {
        if (isWhite(s.cur())) {
            operandExpected = true;
            while (isWhite(s.cur())) s.advance();
            if (s.cur() == ';') s.end();
        } else if (s.cur() == ';') {
            s.end();
        }
    };

    auto startList = [&] {
        operandExpected = true;
        while (isWhite(s.cur())) s.advance();
        if (s.cur() == ';') s.end();
    };

    // Lists being built, outermost first; nested lists need no native recursion.
    struct Level { Ref head, tail; };
    std::vector<Level> levels;
    Pin pin(*this);
    levels.push_back({kNone, kNone});
    startList();
    while (true) {
        Level& level = levels.back();
        const char c = s.cur();
        if (c == '\0' || c == ']') {
            if (c == ']') s.advance();
            const Ref list = level.head != kNone ? level.head : Ref(kEmptyList);
            levels.pop_back();
            if (levels.empty()) return list;
            at(levels.back().tail).item = list;
            operandExpected = true;
            afterElement();
            continue;
        }
        const Ref node = NewList(kNone, kNone);
        if (node == kNone) {
            s.end();
            continue;
        }
        if (level.head == kNone) {
            level.head = node;
            if (levels.size() == 1) pin.add(node);
        } else {
            at(level.tail).next = node;
        }
        level.tail = node;
        if (c == '[') {
            s.advance();
            levels.push_back({kNone, kNone});
            startList();
            continue;
        }
        Ref element = kNone;
        if (c == '"') {
            BeginWord();
            AppendChar('"');
            s.advance();
            if (s.cur() != '[' && s.cur() != ' ') {
                while (!endsWord(s.cur())) {
                    if (s.cur() == '\\') escaped();
                    else { AppendChar(s.cur()); s.advance(); }
                }
            }
            element = EndWord();
            operandExpected = false;
        } else if (c == '\'') {
            s.advance();
            BeginWord();
            AppendChar('"');
            while (s.cur() != '\0' && s.cur() != '\'') {
                if (s.cur() == '\\') escaped();
                else { AppendChar(s.cur()); s.advance(); }
            }
            s.advance();
            element = EndWord();
            operandExpected = false;
        } else if (isOperatorChar(c)) {
            BeginWord();
            AppendChar(c);
            element = EndWord();
            s.advance();
            operandExpected = true;
        } else if (c == '-') {
            s.advance();
            if (operandExpected && (isDigit(s.cur()) || s.cur() == '.')) {
                const Ref n = readNumber();
                if (isInteger(n)) at(n).next = uint32_t(0u - at(n).next);
                else if (isFloat(n)) at(n).item ^= 0x80000000u;  // the sign bit of the double
                element = n;
                operandExpected = false;
            } else {
                BeginWord();
                AppendChar('-');
                element = EndWord();
                operandExpected = true;
            }
        } else if (c == '.' || isDigit(c)) {
            element = readNumber();
            operandExpected = false;
        } else {
            // An ordinary word. A backslash keeps the next character whatever it is; here x
            // after it is just the letter (only quoted words and apostrophe text read \x).
            BeginWord();
            while (!endsWord(s.cur())) {
                if (s.cur() == '\\') {
                    s.advance();
                    if (s.cur() == '\0') break;
                }
                AppendChar(s.cur());
                s.advance();
            }
            element = EndWord();
            operandExpected = false;
        }
        at(levels.back().tail).item = element;
        afterElement();
    }
}

void Interpreter::DefineFromLines(Ref& cursor) {
    const int toIndex = findPrimitive("TO");
    if (!isList(cursor)) {
        RaisePrimError(kErrNotEnoughInputs, toIndex, kNone);
        return;
    }
    const Ref name = first(cursor);
    const char c0 = FirstChar(name);
    if (!isWord(name) || c0 == ':' || c0 == '"') {
        RaisePrimError(kErrDoesntLike, toIndex, name);
        cursor = kNone;
        return;
    }
    if (LookupPrimitive(name) >= 0) {
        RaiseError(kErrIsPrimitive, kNone, name);
        cursor = kNone;
        return;
    }
    EraseProcedure(name);
    // [name [params] line ...]
    const Ref paramsNode = NewList(kEmptyList, kNone);
    if (paramsNode == kNone) return;
    const Ref def = NewList(name, paramsNode);
    if (def == kNone) return;
    AddProcedure(def);
    Pin pin(*this, def);
    Ref pHead = kNone, pTail = kNone;
    for (cursor = rest(cursor); isList(cursor); cursor = rest(cursor)) {
        const Ref p = first(cursor);
        if (!IsColonWord(p)) {
            RaisePrimError(kErrDoesntLike, toIndex, p);
            EraseProcedure(name);
            UnlockValue(def);
            cursor = kNone;
            return;
        }
        const Ref bare = ButFirstChar(p);
        if (bare == kNone || !AppendToList(pHead, pTail, bare)) break;
        if (pHead == pTail) at(paramsNode).item = pHead;
    }
    cursor = kNone;

    const char savedPrompt = promptChar;
    promptChar = '>';
    Ref tail = paramsNode;
    std::string line;
    bool ended = false;
    while (!stopRequested) {
        if (!ReadSourceLine(line)) break;
        const Ref parsed = ParseText(line);
        if (isList(parsed) && rest(parsed) == kNone && isWord(first(parsed)) &&
            CompareNameText(first(parsed), "END") == 0) {
            UnlockValue(parsed);
            ended = true;
            break;
        }
        const Ref node = NewList(parsed, kNone);
        if (node == kNone) break;
        at(tail).next = node;
        tail = node;
        UnlockValue(node);
    }
    promptChar = savedPrompt;
    UnlockValue(def);
    // Input that runs out before END would otherwise leave the reader waiting for ever.
    if (!ended && !stopRequested) RaiseError(kErrToWithoutEnd, kNone, kNone);
}

} // namespace cv::script
