// Running instruction lists: expressions, the infix parser, calls of primitives and of
// procedures. Lines are run as parsed, by recursion on the native stack.
#include <cmath>
#include <unordered_set>

#include "script/interpreter.h"

namespace cv::script {

namespace {

inline bool isOperatorWord(const NodeMemory& m, Ref e, char& op, const char* set) {
    if (!m.isWord(e)) return false;
    const Node& n = m.at(e);
    if (n.next != kNone || (n.item >> 8) != 0) return false;
    const char c = char(n.item & 0xFF);
    for (const char* p = set; *p; ++p)
        if (*p == c) { op = c; return true; }
    return false;
}

} // namespace

bool Interpreter::atInputsEnd(Ref cursor) const {
    return !isList(cursor) || IsCharWord(first(cursor), ')');
}

Ref Interpreter::RunList(Ref list) {
    // A list met while a throw finishes its instruction is not run.
    if (throwInProgress) return kNone;
    if (!isList(list)) {
        RaisePrimError(kErrDoesntLike, findPrimitive("RUN"), list);
        return kNone;
    }
    // The list entered last is the one errors show; an outer list is shown again once an
    // inner one is done.
    const Ref savedRunList = runList, savedErrorLine = errorLine;
    runList = errorLine = list;
    Ref cursor = IsEmptyList(list) ? kNone : list;
    Ref last = kNone;
    Pin pin(*this, list);
    pin.add(kNone);
    while (isList(cursor)) {
        UnlockValue(last);
        last = kNone;
        const Ref before = cursor;
        const Ref v = EvalExpression(cursor, false);
        pin.set(v);
        if (v != kNone && isList(cursor)) {
            RaiseError(kErrNothingToDo, kNone, v);
            UnlockValue(v);
            break;
        }
        last = v;
        if (stopRequested || throwInProgress) {
            // The instruction was cut short: what it left is not a value of the list.
            UnlockValue(last);
            last = kNone;
            break;
        }
        if (cursor == before) break;
    }
    // A throw takes effect here, once the instruction that raised it has finished with the
    // values it had: the catcher's frame becomes current, and the procedures in between run
    // no further line.
    if (throwInProgress && isList(throwTarget)) currentFrame = first(rest(rest(throwTarget)));
    runList = savedRunList;
    errorLine = savedErrorLine;
    return last;
}

Ref Interpreter::continueInfix(Ref value, Ref& cursor) {
    pendingOperand = value;
    const Ref v = parseInfixComparison(cursor);
    pendingOperand = kNone;
    return v;
}

Ref Interpreter::EvalExpression(Ref& cursor, bool inParensArg) {
    if (!isList(cursor)) return kNone;
    // After an error that ends the run nothing more of the instruction runs. During a throw
    // the instruction is finished, with the fallback values of the calls that failed.
    if (stopRequested) return kNone;
    if (++steps_ - runStartSteps_ > stepLimit_ && stepLimit_) {
        stopRequested = true;
        cursor = kNone;
        return kNone;
    }
    if (stackLow()) {
        RaiseError(kErrOutOfStack, kNone, kNone);
        cursor = kNone;
        return kNone;
    }
    const Ref e = first(cursor);
    if (isList(e)) {
        cursor = rest(cursor);
        if (isList(cursor) && IsCharWord(first(cursor), '=')) {
            cursor = rest(cursor);
            Pin pin(*this, e);
            const Ref right = EvalExpression(cursor, false);
            pin.add(right);
            const Ref r = EqualP(e, right) ? Ref(kTrue) : Ref(kFalse);
            UnlockValue(right);
            return r;
        }
        return e;
    }
    if (isNumber(e)) return parseInfixComparison(cursor);
    if (!isWord(e)) {
        cursor = rest(cursor);
        return kNone;
    }
    const char c0 = FirstChar(e);
    if (c0 == '"') {
        cursor = rest(cursor);
        return continueInfix(ButFirstChar(e), cursor);
    }
    if (c0 == ':') {
        cursor = rest(cursor);
        const Ref v = Thing(e);
        if (v == kNone) return kNone;
        if (isList(v)) {
            if (isList(cursor) && IsCharWord(first(cursor), '=')) {
                cursor = rest(cursor);
                Pin pin(*this, v);
                const Ref right = EvalExpression(cursor, false);
                pin.add(right);
                const Ref r = EqualP(v, right) ? Ref(kTrue) : Ref(kFalse);
                UnlockValue(right);
                return r;
            }
            return v;
        }
        return continueInfix(v, cursor);
    }
    if (IsCharWord(e, '-')) return parseInfixComparison(cursor);
    if (IsCharWord(e, '(')) {
        cursor = rest(cursor);
        const Ref v = EvalExpression(cursor, true);
        if (isList(cursor) && IsCharWord(first(cursor), ')')) cursor = rest(cursor);
        if (isWordLike(v) && isList(cursor)) return continueInfix(v, cursor);
        return v;
    }
    const Ref v = CallNamed(cursor, inParensArg);
    if (isWordLike(v) && isList(cursor)) return continueInfix(v, cursor);
    return v;
}

Ref Interpreter::parseInfixComparison(Ref& cursor) {
    Ref left = parseInfixAdditive(cursor);
    Pin pin(*this, left);
    char op;
    while (isList(cursor) && isOperatorWord(*this, first(cursor), op, "=<>")) {
        cursor = rest(cursor);
        const Ref right = parseInfixAdditive(cursor);
        if (right == kNone) break;
        left = applyOperator(op, left, right);
        pin.set(left);
    }
    return left;
}

Ref Interpreter::parseInfixAdditive(Ref& cursor) {
    Ref left = parseInfixMultiplicative(cursor);
    Pin pin(*this, left);
    char op;
    while (isList(cursor) && isOperatorWord(*this, first(cursor), op, "+-")) {
        cursor = rest(cursor);
        const Ref right = parseInfixMultiplicative(cursor);
        if (right == kNone) break;
        left = applyOperator(op, left, right);
        pin.set(left);
    }
    return left;
}

Ref Interpreter::parseInfixMultiplicative(Ref& cursor) {
    Ref left = parsePrimary(cursor);
    Pin pin(*this, left);
    char op;
    while (isList(cursor) && isOperatorWord(*this, first(cursor), op, "*/")) {
        cursor = rest(cursor);
        const Ref right = parsePrimary(cursor);
        if (right == kNone) break;
        left = applyOperator(op, left, right);
        pin.set(left);
    }
    return left;
}

Ref Interpreter::parsePrimary(Ref& cursor) {
    if (pendingOperand != kNone) {
        const Ref v = pendingOperand;
        pendingOperand = kNone;
        return v;
    }
    if (stopRequested) return kNone;
    if (!isList(cursor)) {
        RaiseErrorText(kErrTooFewItems, "expression", kNone);
        return kZeroValue;
    }
    if (stackLow()) {
        RaiseError(kErrOutOfStack, kNone, kNone);
        cursor = kNone;
        return kZeroValue;
    }
    const Ref e = first(cursor);
    if (isNumber(e) || isList(e)) {
        cursor = rest(cursor);
        return e;
    }
    if (!isWord(e)) {
        cursor = rest(cursor);
        return kNone;
    }
    if (IsCharWord(e, '-')) {
        cursor = rest(cursor);
        const Ref v = parsePrimary(cursor);
        Pin pin(*this, v);
        Ref r;
        if (isInteger(v)) r = NewInteger(int32_t(0u - uint32_t(intValue(v))));
        else r = NewFloat(-ToFloat(v, kOpMinus));
        UnlockValue(v);
        return r;
    }
    if (IsCharWord(e, '(')) {
        cursor = rest(cursor);
        const Ref v = parseInfixComparison(cursor);
        if (isList(cursor) && IsCharWord(first(cursor), ')')) cursor = rest(cursor);
        return v;
    }
    const char c0 = FirstChar(e);
    if (c0 == ':') {
        cursor = rest(cursor);
        return Thing(e);
    }
    if (c0 == '"') {
        cursor = rest(cursor);
        return ButFirstChar(e);
    }
    if (IsNumeric(e, kReportSilent)) {
        cursor = rest(cursor);
        return e;
    }
    return CallNamed(cursor, false);
}

Ref Interpreter::applyOperator(char op, Ref a, Ref b) {
    Pin pin(*this, a);
    pin.add(b);
    Ref r = kNone;
    switch (op) {
    case '=':
        r = EqualP(a, b) ? kTrue : kFalse;
        break;
    case '<':
    case '>': {
        bool less, greater;
        if (isInteger(a) && isInteger(b)) {
            less = intValue(a) < intValue(b);
            greater = intValue(a) > intValue(b);
        } else {
            const int rep = op == '<' ? kOpLess : kOpGreater;
            const double x = ToFloat(a, rep), y = ToFloat(b, rep);
            less = x < y;
            greater = x > y;
        }
        r = (op == '<' ? less : greater) ? kTrue : kFalse;
        break;
    }
    case '+':
    case '-':
    case '*':
        if (isInteger(a) && isInteger(b)) {
            const uint32_t x = uint32_t(intValue(a)), y = uint32_t(intValue(b));
            const uint32_t z = op == '+' ? x + y : op == '-' ? x - y : x * y;
            r = NewInteger(int32_t(z));
        } else {
            const int rep = op == '+' ? kOpPlus : op == '-' ? kOpMinus : kOpTimes;
            const double x = ToFloat(a, rep), y = ToFloat(b, rep);
            r = NewFloat(op == '+' ? x + y : op == '-' ? x - y : x * y);
        }
        break;
    case '/': {
        const double x = ToFloat(a, kOpDivide);
        double y = ToFloat(b, kOpDivide);
        if (y == 0) {
            RaiseError(kErrDivideByZero, kNone, kNone);
            y = 1;
        }
        r = NewFloat(x / y);
        break;
    }
    default:
        break;
    }
    UnlockValue(a);
    UnlockValue(b);
    return r;
}

bool Interpreter::EqualP(Ref a, Ref b) {
    std::vector<std::pair<Ref, Ref>> work;
    // A property list can be made to hold itself. Past a few hundred nested pairs, each
    // pair of lists is compared once: meeting it again adds nothing, and the walk ends.
    std::unordered_set<uint64_t> seen;
    size_t listPairs = 0;
    work.emplace_back(a, b);
    while (!work.empty()) {
        auto [x, y] = work.back();
        work.pop_back();
        if (x == y) continue;
        const bool lx = isList(x) || x == kNone, ly = isList(y) || y == kNone;
        if (lx && ly) {
            if (++listPairs > 256 && !seen.insert((uint64_t(x) << 32) | y).second) continue;
            Ref p = IsEmptyList(x) ? kNone : x, q = IsEmptyList(y) ? kNone : y;
            for (size_t guard = 0; isList(p) && isList(q) && guard <= poolSize(); ++guard) {
                work.emplace_back(first(p), first(q));
                p = rest(p);
                q = rest(q);
            }
            if (isList(p) || isList(q)) return false;
            continue;
        }
        if (lx || ly) return false;
        if (isWord(x) && isWord(y)) {
            if (TextFromWord(x) != TextFromWord(y)) return false;
            continue;
        }
        if (isInteger(x) && isInteger(y)) {
            if (intValue(x) != intValue(y)) return false;
            continue;
        }
        if (isFloat(x) && isFloat(y)) {
            if (floatValue(x) != floatValue(y)) return false;
            continue;
        }
        if (!IsNumeric(x, kReportSilent) || !IsNumeric(y, kReportSilent)) return false;
        if (ToFloat(x, kReportSilent) != ToFloat(y, kReportSilent)) return false;
    }
    return true;
}

Ref Interpreter::CallNamed(Ref& cursor, bool inParensArg) {
    const Ref slot = cursor;
    const int index = LookupPrimitive(first(slot), slot);
    if (index < 0) return CallProcedure(slot, cursor);
    const PrimitiveEntry& entry = primitiveTable()[size_t(index)];
    const Ref callList = runList;
    cursor = rest(cursor);
    PrimCall call{*this, index, {kNone, kNone, kNone, kNone}, &cursor, inParensArg};
    Pin pin(*this);
    const size_t mark = varInputs_.size();
    if (entry.inputs >= 0) {
        for (int i = 0; i < entry.inputs; ++i) {
            if (!isList(cursor)) {
                RaisePrimError(kErrNotEnoughInputs, index, kNone);
                for (int k = 0; k < i; ++k) UnlockValue(call.args[k]);
                return kNone;
            }
            const Ref v = EvalExpression(cursor, false);
            call.args[i] = v;
            pin.add(v);
            // An input that raised an error that ends the run: the primitive is not run.
            // Under a catch it is, with the value the failed input fell back on; an input
            // that gave nothing (a throw, a failure with no fallback) ends this call too.
            if (stopRequested || (throwInProgress && v == kNone)) {
                for (int k = 0; k <= i; ++k) UnlockValue(call.args[k]);
                return kNone;
            }
        }
        if (entry.inputs >= 1) errorLine = callList;
    } else {
        errorLine = callList;
    }
    const bool savedInParens = inParens;
    inParens = inParensArg;
    const Ref result = entry.handler(call);
    inParens = savedInParens;
    if (entry.inputs >= 0) {
        for (int i = 0; i < entry.inputs; ++i) UnlockValue(call.args[i]);
    } else {
        for (size_t i = mark; i < varInputs_.size(); ++i) UnlockValue(varInputs_[i]);
        varInputs_.resize(mark);
    }
    // After an error that ends the run a primitive gives nothing back. An error taken by a
    // catch (or a throw) lets the instruction finish: the fallback value goes on.
    if (stopRequested || call.abandoned) {
        UnlockValue(result);
        return kNone;
    }
    LockValue(result);
    return result;
}

bool Interpreter::NextInput(PrimCall& c, Ref& value) {
    const PrimitiveEntry& entry = primitiveTable()[size_t(c.index)];
    if (stopRequested) return false;
    if (!c.inParens && c.inputsRead >= entry.defaultInputs) return false;
    if (atInputsEnd(*c.cursor)) {
        if (!c.inParens) RaisePrimError(kErrNotEnoughInputs, c.index, kNone);
        return false;
    }
    value = EvalExpression(*c.cursor, false);
    varInputs_.push_back(value);
    if (stopRequested) {
        value = kNone;
        return false;
    }
    if (throwInProgress && value == kNone) {
        c.abandoned = true;
        return false;
    }
    ++c.inputsRead;
    return true;
}

Ref Interpreter::newFrame(Ref previous) {
    const Ref n3 = NewList(kNone, kNone);
    if (n3 == kNone) return kNone;
    const Ref n2 = NewList(kNone, n3);
    if (n2 == kNone) return kNone;
    const Ref n1 = NewList(previous, n2);
    if (n1 == kNone) return kNone;
    at(n1).flags &= ~kLockBit;
    at(n2).flags &= ~kLockBit;
    at(n3).flags &= ~kLockBit;
    return n1;
}

Ref Interpreter::CallProcedure(Ref nameSlot, Ref& cursor) {
    // A procedure met while a throw finishes its instruction is not entered; the instruction
    // ends here.
    if (throwInProgress) {
        cursor = kNone;
        return kNone;
    }
    if (stackLow()) {
        RaiseError(kErrOutOfStack, kNone, kNone);
        cursor = kNone;
        return kNone;
    }
    const Ref word = first(nameSlot);
    const Ref def = FindProcedure(word, nameSlot);
    if (def == kNone) {
        RaiseError(kErrDontKnowHow, word, kNone);
        cursor = kNone;
        return kNone;
    }
    cursor = rest(nameSlot);
    // The definition stays alive even if the procedure erases or redefines itself.
    Pin pinDef(*this, def);
    const Ref name = first(def);
    const Ref callerFrame = currentFrame;
    const Ref previous = frameChain;
    const Ref frame = newFrame(previous);
    if (frame == kNone) return kNone;
    frameChain = currentFrame = frame;

    auto pop = [&] {
        frameChain = previous;
        // During a throw the catcher's frame is current already.
        if (currentFrame == frame) currentFrame = previous;
    };

    Ref params = first(rest(def));
    if (IsEmptyList(params)) params = kNone;
    for (; isList(params); params = rest(params)) {
        const Ref pair = NewLocalBinding(first(params), kNone);
        if (pair == kNone) {
            pop();
            return kNone;
        }
        if (!isList(cursor)) {
            RaiseError(kErrNotEnoughInputs, name, kNone);
            pop();
            return kNone;
        }
        currentFrame = callerFrame;
        const Ref v = EvalExpression(cursor, false);
        if (throwInProgress) {
            UnlockValue(v);
            frameChain = previous;
            return kNone;
        }
        if (stopRequested) {
            // An input raised an error: the body does not run.
            UnlockValue(v);
            frameChain = previous;
            return kNone;
        }
        currentFrame = frame;
        if (v == kNone) {
            RaiseError(kErrNotEnoughInputs, name, kNone);
            pop();
            return kNone;
        }
        at(rest(pair)).item = v;
        UnlockValue(v);
    }

    const Ref savedOutput = outputValue, savedNext = nextBodyLine, savedStart = bodyStart;
    Pin pinSaved(*this, savedOutput);
    Ref body = rest(rest(def));
    bodyStart = nextBodyLine = body;
    outputValue = kNone;
    while (isList(nextBodyLine)) {
        const Ref line = first(nextBodyLine);
        nextBodyLine = rest(nextBodyLine);
        if (IsEmptyList(line)) continue;
        const Ref v = RunList(line);
        if (v != kNone) {
            RaiseLeftOver(line, v);
            UnlockValue(v);
            break;
        }
        PollInterrupt();
        if (stopRequested) break;
        if (throwInProgress || currentFrame != frame) break;  // a throw is passing
    }
    pop();
    Ref result = outputValue;
    if (stopRequested) {
        // Ended by an error: the output is not handed on. (A throw passing through hands on
        // what OUTPUT was given on the line it ended, for that instruction to finish with.)
        UnlockValue(result);
        result = kNone;
    }
    outputValue = savedOutput;
    nextBodyLine = savedNext;
    bodyStart = savedStart;
    return result;
}

} // namespace cv::script
