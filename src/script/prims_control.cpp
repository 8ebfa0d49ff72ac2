// Control: running lists, conditionals, loops, procedure exits, labels, catch and throw,
// waiting, and the clock and version words.
#include <algorithm>
#include <ctime>

#include "core/clock.h"
#include "script/interpreter.h"

namespace cv::script {

namespace {

bool inProcedure(PrimCall& c) {
    if (c.in.currentFrame != kNone) return true;
    c.in.RaisePrimError(kErrOnlyInProcedure, c.index, kNone);
    return false;
}

// Runs a loop body; a value from it is an error. True while the loop may go on.
bool runBody(Interpreter& in, Ref list) {
    const Ref v = in.RunList(list);
    if (v != kNone) {
        in.RaiseLeftOver(list, v);
        in.UnlockValue(v);
        return false;
    }
    return !in.stopRequested && !in.throwInProgress;
}

// A literal list at the cursor, consumed; none when the element is missing or not a list.
Ref literalList(Interpreter& in, Ref& cursor) {
    if (!in.isList(cursor) || !in.isList(in.first(cursor))) return kNone;
    const Ref l = in.first(cursor);
    cursor = in.rest(cursor);
    return l;
}

Ref primRun(PrimCall& c) { return c.in.RunList(c.args[0]); }

Ref primRepeat(PrimCall& c) {
    Interpreter& in = c.in;
    const int32_t count = in.ToInteger(c.args[0], c.index);
    if (count < 0) {
        in.RaisePrimError(kErrDoesntLike, c.index, c.args[0]);
        return kNone;
    }
    if (!in.isList(c.args[1])) {
        in.RaisePrimError(kErrDoesntLike, c.index, c.args[1]);
        return kNone;
    }
    for (int32_t i = 0; i < count; ++i) {
        if (!runBody(in, c.args[1])) break;
        in.PollInterrupt();
        if (in.stopRequested || in.throwInProgress) break;
    }
    return kNone;
}

Ref primIf(PrimCall& c) {
    Interpreter& in = c.in;
    Ref& cursor = *c.cursor;
    if (!in.isList(cursor)) {
        in.RaisePrimError(kErrNotEnoughInputs, c.index, kNone);
        return kNone;
    }
    const Ref cond = in.EvalExpression(cursor, false);
    NodeMemory::Pin pin(in, cond);
    const Ref restOfLine = cursor;
    const Ref thenPart = literalList(in, cursor);
    // The element after the then-part is the else-part only when it is a list; anything
    // else is the next instruction of the line.
    const Ref elsePart = thenPart != kNone ? literalList(in, cursor) : kNone;
    Ref result = kNone;
    if (in.IsTrue(cond) && thenPart != kNone) {
        result = in.RunList(thenPart);
    } else if (in.IsFalse(cond) && thenPart != kNone) {
        if (elsePart != kNone) result = in.RunList(elsePart);
    } else if (!in.IsTrue(cond) && !in.IsFalse(cond)) {
        in.RaiseError(kErrNotTrueOrFalse, kNone, cond);
    } else {
        in.RaisePrimError(kErrDoesntLike, c.index, in.isList(restOfLine) ? restOfLine : Ref(kEmptyList));
    }
    in.UnlockValue(cond);
    return result;
}

Ref primTest(PrimCall& c) {
    if (!inProcedure(c)) return kNone;
    Interpreter& in = c.in;
    const Ref v = c.args[0];
    if (!in.IsTrue(v) && !in.IsFalse(v)) {
        in.RaiseError(kErrNotTrueOrFalse, kNone, v);
        return kNone;
    }
    in.setFrameTest(in.currentFrame, in.IsTrue(v) ? kTrue : kFalse);
    return kNone;
}

Ref ifTest(PrimCall& c, bool wanted) {
    Interpreter& in = c.in;
    Ref& cursor = *c.cursor;
    if (!inProcedure(c)) {
        literalList(in, cursor);
        return kNone;
    }
    const Ref list = literalList(in, cursor);
    if (list == kNone) {
        in.RaisePrimError(kErrDoesntLike, c.index, in.isList(cursor) ? in.first(cursor) : Ref(kEmptyList));
        return kNone;
    }
    const Ref test = in.frameTest(in.currentFrame);
    if (test == kNone || (wanted ? test != kTrue : test != kFalse)) return kNone;
    runBody(in, list);
    return kNone;
}

Ref primIfTrue(PrimCall& c) { return ifTest(c, true); }
Ref primIfFalse(PrimCall& c) { return ifTest(c, false); }

Ref primWhile(PrimCall& c) {
    Interpreter& in = c.in;
    Ref& cursor = *c.cursor;
    if (!in.isList(cursor) || in.IsCharWord(in.first(cursor), ')')) {
        in.RaisePrimError(kErrNotEnoughInputs, c.index, kNone);
        return kNone;
    }
    const Ref condStart = cursor;
    Ref body = kNone;
    while (true) {
        Ref at = condStart;
        const Ref cond = in.EvalExpression(at, false);
        NodeMemory::Pin pin(in, cond);
        if (body == kNone) {
            if (!in.isList(at)) {
                in.UnlockValue(cond);
                in.RaisePrimError(kErrNotEnoughInputs, c.index, kNone);
                cursor = kNone;
                return kNone;
            }
            body = in.first(at);
            cursor = in.rest(at);
            if (!in.isList(body)) {
                in.UnlockValue(cond);
                in.RaisePrimError(kErrDoesntLike, c.index, body);
                return kNone;
            }
        }
        const bool t = in.IsTrue(cond), f = in.IsFalse(cond);
        in.UnlockValue(cond);
        if (in.stopRequested || in.throwInProgress) break;
        if (f) break;
        if (!t) {
            in.RaiseError(kErrNotTrueOrFalse, kNone, cond);
            break;
        }
        if (!runBody(in, body)) break;
        in.PollInterrupt();
        if (in.stopRequested || in.throwInProgress) break;
    }
    return kNone;
}

Ref primDoUntil(PrimCall& c) {
    Interpreter& in = c.in;
    Ref& cursor = *c.cursor;
    if (!in.isList(cursor)) {
        in.RaisePrimError(kErrNotEnoughInputs, c.index, kNone);
        return kNone;
    }
    const Ref body = in.first(cursor);
    cursor = in.rest(cursor);
    if (!in.isList(body)) {
        in.RaisePrimError(kErrDoesntLike, c.index, body);
        return kNone;
    }
    if (!in.isList(cursor)) {
        in.RaisePrimError(kErrNotEnoughInputs, c.index, kNone);
        return kNone;
    }
    const Ref condStart = cursor;
    while (true) {
        if (!runBody(in, body)) break;
        Ref at = condStart;
        const Ref cond = in.EvalExpression(at, false);
        cursor = at;
        const bool t = in.IsTrue(cond), f = in.IsFalse(cond);
        if (in.stopRequested || in.throwInProgress) {
            in.UnlockValue(cond);
            break;
        }
        if (t) {
            in.UnlockValue(cond);
            break;
        }
        if (!f) {
            in.RaiseError(kErrNotTrueOrFalse, kNone, cond);
            in.UnlockValue(cond);
            break;
        }
        in.UnlockValue(cond);
        in.PollInterrupt();
        if (in.stopRequested || in.throwInProgress) break;
    }
    return kNone;
}

Ref primOutput(PrimCall& c) {
    if (!inProcedure(c)) return kNone;
    Interpreter& in = c.in;
    if (in.outputValue != c.args[0]) in.UnlockValue(in.outputValue);
    // The value stays locked until the procedure hands it back.
    in.outputValue = c.args[0];
    c.args[0] = kNone;
    in.nextBodyLine = kNone;
    return kNone;
}

Ref primStop(PrimCall& c) {
    if (!inProcedure(c)) return kNone;
    c.in.nextBodyLine = kNone;
    return kNone;
}

Ref primLabel(PrimCall& c) {
    if (!inProcedure(c)) return kNone;
    c.in.CheckWord(c.args[0], c.index);
    return kNone;
}

// Label names match ignoring case and a leading quote on either side.
std::string labelName(Interpreter& in, Ref w) {
    std::string t = in.TextOf(w);
    if (!t.empty() && t[0] == '"') t.erase(0, 1);
    for (char& ch : t)
        if (ch >= 'a' && ch <= 'z') ch = char(ch - 32);
    return t;
}

Ref primGo(PrimCall& c) {
    if (!inProcedure(c)) return kNone;
    Interpreter& in = c.in;
    if (!in.CheckWord(c.args[0], c.index)) return kNone;
    const std::string wanted = labelName(in, c.args[0]);
    const int labelIndex = findPrimitive("LABEL");
    for (Ref l = in.bodyStart; in.isList(l); l = in.rest(l)) {
        const Ref line = in.first(l);
        if (!in.isList(line) || !in.isWord(in.first(line))) continue;
        if (in.CompareNames(in.first(line), in.primitiveName(labelIndex)) != 0) continue;
        const Ref second = in.first(in.rest(line));
        if (!in.isWordLike(second) || labelName(in, second) != wanted) continue;
        in.nextBodyLine = l;
        return kNone;
    }
    in.RaiseError(kErrNoLabel, kNone, c.args[0]);
    return kNone;
}

Ref primCatch(PrimCall& c) {
    Interpreter& in = c.in;
    if (!in.CheckWord(c.args[0], c.index)) return kNone;
    // A number tag is caught by its text.
    const Ref tag = in.isNumber(c.args[0]) ? in.WordFromNumber(c.args[0]) : c.args[0];
    NodeMemory::Pin pinTag(in, tag);
    if (!in.isList(c.args[1])) {
        in.RaisePrimError(kErrDoesntLike, c.index, c.args[1]);
        return kNone;
    }
    const Ref n3 = in.NewList(in.currentFrame, kNone);
    const Ref n2 = n3 != kNone ? in.NewList(tag, n3) : kNone;
    const Ref entry = n2 != kNone ? in.NewList(in.catchChain, n2) : kNone;
    if (entry == kNone) return kNone;
    in.catchChain = entry;
    for (Ref r : {n3, n2, entry}) in.at(r).flags &= ~kLockBit;
    const Ref v = in.RunList(c.args[1]);
    in.catchChain = in.first(entry);
    if (in.throwInProgress && in.throwTarget == entry) {
        in.throwInProgress = false;
        in.throwTarget = kNone;
    }
    if (v != kNone) {
        in.RaiseLeftOver(c.args[1], v);
        in.UnlockValue(v);
    }
    return kNone;
}

Ref primThrow(PrimCall& c) {
    Interpreter& in = c.in;
    const Ref tag = c.args[0];
    if (!in.CheckWord(tag, c.index)) return kNone;
    const Ref word = in.isNumber(tag) ? in.WordFromNumber(tag) : tag;
    for (Ref e = in.catchChain; in.isList(e); e = in.first(e)) {
        if (in.CompareNames(in.first(in.rest(e)), word) == 0) {
            // The catcher's frame becomes current once this instruction has finished.
            in.throwInProgress = true;
            in.throwTarget = e;
            return kNone;
        }
    }
    in.RaiseError(kErrNoCatch, kNone, tag);
    return kNone;
}

Ref primError(PrimCall& c) {
    Interpreter& in = c.in;
    const Ref n = in.NewInteger(in.lastErrorCode);
    if (n == kNone) return kNone;
    NodeMemory::Pin pin(in, n);
    return in.NewList(n, kNone);
}

Ref primToplevel(PrimCall& c) {
    c.in.stopRequested = true;
    return kNone;
}

} // namespace

// Lets `count` 60ths of a second pass, the player working meanwhile. A wait polls for
// interruption as loops do, so Escape, closing the window or a bound on the run ends it; on the
// real clock it sleeps in short slices for that, while a virtual clock jumps (its host still
// decides how far each pass goes).
void waitTicks(Interpreter& in, int32_t count) {
    constexpr uint64_t kSliceMs = 50;
    Clock& clk = clock();
    const bool jumps = dynamic_cast<VirtualClock*>(&clk) != nullptr;
    const uint64_t start = clk.nowMs();
    const uint64_t deadline = start + (count > 0 ? uint64_t(count) * 1000 / 60 : 0);
    while (clk.nowMs() < deadline) {
        in.sendCommand(42);
        in.host().waitIdle(jumps ? deadline : std::min(deadline, clk.nowMs() + kSliceMs));
        in.PollInterrupt();
        if (in.stopRequested) break;
    }
}

namespace {

Ref primWait(PrimCall& c) {
    waitTicks(c.in, c.in.ToInteger(c.args[0], c.index));
    return kNone;
}

// A list made from numbers and words, in order.
Ref makeList(Interpreter& in, std::initializer_list<Ref> items) {
    NodeMemory::Pin pin(in);
    for (Ref r : items) pin.add(r);
    Ref head = kNone, tail = kNone;
    for (Ref r : items)
        if (!in.AppendToList(head, tail, r)) return kNone;
    return head;
}

std::tm localNow() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

Ref primTime(PrimCall& c) {
    Interpreter& in = c.in;
    const std::tm tm = localNow();
    char buf[32];
    const int h12 = tm.tm_hour % 12 == 0 ? 12 : tm.tm_hour % 12;
    std::snprintf(buf, sizeof buf, "%d:%02d:%02d %s", h12, tm.tm_min, tm.tm_sec, tm.tm_hour < 12 ? "AM" : "PM");
    NodeMemory::Pin pin(in);
    const Ref h = in.NewInteger(tm.tm_hour); pin.add(h);
    const Ref m = in.NewInteger(tm.tm_min); pin.add(m);
    const Ref s = in.NewInteger(tm.tm_sec); pin.add(s);
    const Ref w = in.WordFromText(buf); pin.add(w);
    return makeList(in, {h, m, s, w});
}

Ref primDate(PrimCall& c) {
    static const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    static const char* const kMonths[] = {"January", "February", "March", "April", "May", "June", "July",
                                          "August", "September", "October", "November", "December"};
    Interpreter& in = c.in;
    const std::tm tm = localNow();
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %s %d, %d", kDays[tm.tm_wday % 7], kMonths[tm.tm_mon % 12], tm.tm_mday,
                  tm.tm_year + 1900);
    NodeMemory::Pin pin(in);
    const Ref mo = in.NewInteger(tm.tm_mon + 1); pin.add(mo);
    const Ref d = in.NewInteger(tm.tm_mday); pin.add(d);
    const Ref y = in.NewInteger(tm.tm_year); pin.add(y);
    const Ref w = in.WordFromText(buf); pin.add(w);
    return makeList(in, {mo, d, y, w});
}

Ref primVersion(PrimCall& c) {
    Interpreter& in = c.in;
    NodeMemory::Pin pin(in);
    const Ref a = in.NewInteger(2); pin.add(a);
    const Ref b = in.NewInteger(5); pin.add(b);
    const Ref d = in.NewInteger(2); pin.add(d);
    const Ref os = in.WordFromText("Windows"); pin.add(os);
    const Ref v = in.WordFromText("2.5.2"); pin.add(v);
    return makeList(in, {a, b, d, os, v});
}

const PrimitiveFamily kControl("control", {
    {"RUN", primRun},
    {"REPEAT", primRepeat},
    {"IF", primIf},
    {"TEST", primTest},
    {"IFTRUE", primIfTrue},
    {"IFT", primIfTrue},
    {"IFFALSE", primIfFalse},
    {"IFF", primIfFalse},
    {"WHILE", primWhile},
    {"DOUNTIL", primDoUntil},
    {"OUTPUT", primOutput},
    {"OP", primOutput},
    {"STOP", primStop},
    {"LABEL", primLabel},
    {"GO", primGo},
    {"CATCH", primCatch},
    {"THROW", primThrow},
    {"ERROR", primError},
    {"TOPLEVEL", primToplevel},
    {"WAIT", primWait},
    {"TIME", primTime},
    {"DATE", primDate},
    {"VERSION", primVersion},
});

} // namespace

} // namespace cv::script
