// Starting the interpreter, running scripts, errors, interruption and the output channel.
#include "script/interpreter.h"

#include <algorithm>
#include <ctime>
#include <new>
#include <pthread.h>

#include "core/clock.h"
#include "core/ui.h"
#include "script/printer_limits.h"

namespace cv::script {

void ScriptHost::waitIdle(uint64_t deadlineMs) { clock().sleepUntilMs(deadlineMs); }

namespace {

class NullCommands final : public CommandDispatcher {
public:
    NBAParamBlock& paramBlock() override { return block_; }
    void NBACallback() override {}
    bool hasPlayer() const override { return false; }
private:
    NBAParamBlock block_;
};

NullCommands& nullCommands() {
    static NullCommands c;
    return c;
}

ScriptHost& defaultHost() {
    static ScriptHost h;
    return h;
}

// The lowest usable address of this thread's stack.
const char* stackFloor() {
    thread_local const char* floor = [] {
        pthread_attr_t attr;
        void* addr = nullptr;
        size_t size = 0;
        if (pthread_getattr_np(pthread_self(), &attr) == 0) {
            pthread_attr_getstack(&attr, &addr, &size);
            pthread_attr_destroy(&attr);
        }
        return static_cast<const char*>(addr);
    }();
    return floor;
}

// Room kept free below the deepest call: what one level of evaluation may need before the
// next check, with margin for instrumented builds.
constexpr size_t kStackReserve = 128 * 1024;

} // namespace

Interpreter::Interpreter() = default;

Interpreter::~Interpreter() { families_.clear(); }

Ui& Interpreter::ui() { return ui_ ? *ui_ : cv::ui(); }
CommandDispatcher& Interpreter::commands() { return commands_ ? *commands_ : nullCommands(); }
ScriptHost& Interpreter::host() { return host_ ? *host_ : defaultHost(); }

bool Interpreter::stackLow() {
    const char* floor = stackFloor();
    if (!floor) return false;
    const char* here = static_cast<const char*>(__builtin_frame_address(0));
    return here < floor + kStackReserve;
}

void Interpreter::outOfSpace() { RaiseError(kErrOutOfSpace, kNone, kNone); }

Interpreter::LineState Interpreter::lineState() const {
    return LineState{catchChain, runList, errorLine, varInputs_.size(), inParens, printing};
}

void Interpreter::outOfMemoryInLine(const LineState& s) {
    // The native frames that would have undone these are gone: put back what they held at
    // the start of the line. Values they had locked stay locked (there is no telling which).
    catchChain = s.catchChain;
    runList = s.runList;
    errorLine = s.errorLine;
    varInputs_.resize(s.varInputs);
    inParens = s.inParens;
    printing = s.printing;
    outputValue = pendingOperand = nextBodyLine = bodyStart = kNone;
    throwInProgress = false;
    try {
        RaiseError(kErrOutOfSpace, kNone, kNone);
    } catch (const std::bad_alloc&) {
        // Not even the message could be made: the run ends without it.
        stopRequested = true;
    }
}

void Interpreter::markRoots() {
    markFrom(currentLine);
    for (const auto* table : {&procedures, &buriedProcedures, &variables, &buriedVariables})
        for (Ref r : *table) markFrom(r);
    for (Ref r : plists) markFrom(r);
    for (Ref r : buriedPlists) markFrom(r);
    markFrom(frameChain);
    markFrom(catchChain);
    markFrom(runList);
    for (Ref r : primNames_) markFrom(r);
    // Held by the evaluator between calls.
    markFrom(outputValue);
    markFrom(pendingOperand);
    for (Ref r : varInputs_) markFrom(r);
    for (Ref r : outerRoots_) markFrom(r);
}

bool Interpreter::ensureInitialised() {
    if (initialised_) return true;
    return initialise();
}

bool Interpreter::initialise() {
    if (!InitNodeMemory()) {
        RaiseError(kErrNoMemory, kNone, kNone);
        return false;
    }
    for (NameTable* t : {&procedures, &buriedProcedures, &variables, &buriedVariables, &plists, &buriedPlists})
        t->clear();
    currentLine = runList = errorLine = kNone;
    currentFrame = frameChain = catchChain = kNone;
    outputValue = nextBodyLine = bodyStart = pendingOperand = kNone;
    const auto& table = primitiveTable();
    for (int i = 0; i < kTableSize; ++i) {
        const Ref w = WordFromText(table[size_t(i)].name);
        if (w == kNone) return false;
        primNames_[size_t(i)] = w;
        UnlockValue(w);
    }
    // The hash index: entries ordered by hash, with the first position and count of each.
    std::array<int, kPrimitiveCount> hashes{};
    for (int i = 0; i < kPrimitiveCount; ++i) {
        hashOrder_[size_t(i)] = int16_t(i);
        hashes[size_t(i)] = PrimitiveHash(std::string_view(table[size_t(i)].name));
    }
    std::stable_sort(hashOrder_.begin(), hashOrder_.end(),
                     [&](int16_t a, int16_t b) { return hashes[size_t(a)] < hashes[size_t(b)]; });
    hashFirst_.fill(0);
    hashCount_.fill(0);
    for (int k = kPrimitiveCount - 1; k >= 0; --k) {
        const int h = hashes[size_t(hashOrder_[size_t(k)])];
        hashFirst_[size_t(h)] = int16_t(k);
        ++hashCount_[size_t(h)];
    }
    primRefLow_ = *std::min_element(primNames_.begin(), primNames_.begin() + kPrimitiveCount);
    const Ref high = *std::max_element(primNames_.begin(), primNames_.begin() + kPrimitiveCount);
    primByRef_.assign(high - primRefLow_ + 1, int16_t(-1));
    for (int i = 0; i < kPrimitiveCount; ++i) primByRef_[primNames_[size_t(i)] - primRefLow_] = int16_t(i);
    if (randomSeed_ == 0 && randomState_ == 0) setRandomSeed(uint32_t(std::time(nullptr)));
    initialised_ = true;
    for (const FamilyHooks& h : familyHooks())
        if (h.initialise) h.initialise(*this);
    return true;
}

int Interpreter::LookupPrimitive(Ref word, Ref slot) {
    if (!isWord(word)) return -1;
    // After the first call a line holds the entry's own name word.
    if (word >= primRefLow_ && word - primRefLow_ < primByRef_.size()) {
        const int16_t index = primByRef_[word - primRefLow_];
        if (index >= 0) return index;
    }
    const int h = PrimitiveHash(word);
    for (int k = 0; k < hashCount_[size_t(h)]; ++k) {
        const int index = hashOrder_[size_t(hashFirst_[size_t(h)] + k)];
        const Ref name = primNames_[size_t(index)];
        const int c = slot != kNone ? MatchAndCanonicalise(slot, name) : CompareNames(word, name);
        if (c == 0) return index;
    }
    return -1;
}

void Interpreter::RunScript(const char* text, size_t length, LineInput* li, TextOutput* out,
                            DrawingSurface* window) {
    if (!ensureInitialised()) return;
    // A script run from inside a script (through the player) keeps the outer run's state.
    struct Saved {
        Ref currentLine, runList, errorLine, currentFrame, frameChain, outputValue, nextBodyLine, bodyStart;
        const char* scriptText;
        size_t scriptRemaining;
        LineInput* lineInput;
        TextOutput* textOutput;
        DrawingSurface* drawingWindow;
    } saved{currentLine, runList, errorLine, currentFrame, frameChain, outputValue, nextBodyLine, bodyStart,
            scriptText_, scriptRemaining_, lineInput, textOutput, drawingWindow};
    const size_t rootMark = outerRoots_.size();
    if (runDepth_ > 0) {
        for (Ref r : {currentLine, runList, errorLine, frameChain, outputValue, nextBodyLine, bodyStart})
            outerRoots_.push_back(r);
    }
    // The step limit bounds each outermost run, not the interpreter's whole life.
    if (runDepth_ == 0) runStartSteps_ = steps_;
    ++runDepth_;
    const std::string buffer(text ? text : "", text ? length : 0);
    scriptText_ = buffer.data();
    scriptRemaining_ = buffer.size();
    lineInput = li;
    textOutput = out;
    if (window) drawingWindow = window;
    stopRequested = false;
    // A run started while an outer instruction finishes under a throw runs as any other; the
    // outer throw goes on when it is done.
    const bool outerThrow = throwInProgress;
    const Ref outerThrowTarget = throwTarget;
    throwInProgress = false;
    outputValue = nextBodyLine = bodyStart = kNone;
    for (const FamilyHooks& h : familyHooks())
        if (h.runStarted) h.runStarted(*this);

    std::string line;
    while (!stopRequested) {
        if (scriptRemaining_ == 0 && !(loadSource && loadSource->active())) break;
        currentFrame = frameChain = kNone;
        if (!ReadSourceLine(line)) break;
        // Memory the platform refuses in the middle of a line (a text, a table, the index of
        // the workspace) ends the line with "Out of space", as running out of nodes does.
        const LineState atStart = lineState();
        try {
            currentLine = ParseText(line);
            if (!IsEmptyList(currentLine)) {
                const Ref v = RunList(currentLine);
                if (v != kNone) {
                    RaiseLeftOver(currentLine, v);
                    UnlockValue(v);
                }
            }
        } catch (const std::bad_alloc&) {
            outOfMemoryInLine(atStart);
        }
        UnlockValue(currentLine);
        // Whatever a throw or error left behind ends with the line.
        throwInProgress = false;
    }

    for (const FamilyHooks& h : familyHooks())
        if (h.runFinished) h.runFinished(*this);
    restoreScreen();
    --runDepth_;
    outerRoots_.resize(rootMark);
    if (runDepth_ > 0) {
        currentLine = saved.currentLine;
        runList = saved.runList;
        errorLine = saved.errorLine;
        currentFrame = saved.currentFrame;
        frameChain = saved.frameChain;
        outputValue = saved.outputValue;
        nextBodyLine = saved.nextBodyLine;
        bodyStart = saved.bodyStart;
    }
    scriptText_ = saved.scriptText;
    scriptRemaining_ = saved.scriptRemaining;
    lineInput = saved.lineInput;
    textOutput = saved.textOutput;
    drawingWindow = saved.drawingWindow;
    if (outerThrow && !stopRequested) {
        throwInProgress = true;
        throwTarget = outerThrowTarget;
    }
}

bool Interpreter::ReadSourceLine(std::string& line) {
    line.clear();
    if (loadSource && loadSource->active()) {
        if (loadSource->readLine(line)) return true;
        line.clear();
    }
    if (scriptRemaining_ > 0) {
        const char* p = scriptText_;
        size_t n = 0;
        while (n < scriptRemaining_ && p[n] != '\r' && p[n] != '\n') ++n;
        line.assign(p, n);
        const size_t used = n < scriptRemaining_ ? n + 1 : n;  // exactly one terminator
        scriptText_ += used;
        scriptRemaining_ -= used;
        return true;
    }
    return ReadInteractiveLine(line);
}

bool Interpreter::ReadInteractiveLine(std::string& line) {
    line.clear();
    if (!lineInput) return false;
    if (!lineInput->readLine(promptChar, line)) return false;
    if (!line.empty() && (line[0] == '>' || line[0] == '?')) line.erase(0, 1);
    return true;
}

void Interpreter::write(std::string_view bytes) {
    if (bytes.empty()) return;
    // Once an error has ended the run, its instruction prints nothing more. (An error taken
    // by a catch lets the instruction finish, printing included.)
    if (runDepth_ > 0 && stopRequested) return;
    if (outputCapture) {
        outputCapture->append(bytes);
        return;
    }
    if (outputRedirect && outputRedirect->write(bytes, printing)) return;
    if (turtleIO && turtleText && drawingWindow) {
        turtleText(*this, bytes);
        return;
    }
    if (textOutput) textOutput->write(bytes);
}

void Interpreter::PollInterrupt() {
    if (host().interruptRequested()) stopRequested = true;
}

void Interpreter::sendCommand(uint16_t command) {
    // A command may run a script that sends a command (a button pressing itself, a card whose
    // arrival goes to itself): the nesting is bounded before the native stack is.
    if (commandDepth_ >= kMaxCommandDepth || stackLow()) {
        RaiseError(kErrOutOfStack, kNone, kNone);
        return;
    }
    dispatchCommand(command);
}

void Interpreter::dispatchCommand(uint16_t command) {
    CommandDispatcher& d = commands();
    d.paramBlock().setCommand(command);
    ++commandDepth_;
    d.NBACallback();
    --commandDepth_;
}

void Interpreter::RaisePrimError(int code, int index, Ref datum) {
    if (index < 0 || index >= kTableSize) {
        RaiseError(code, kNone, datum);
        return;
    }
    RaiseErrorText(code, primitiveTable()[size_t(index)].name, datum);
}

void Interpreter::RaiseLeftOver(Ref list, Ref value) {
    if (stopRequested || throwInProgress) return;
    const Ref saved = errorLine;
    errorLine = list;
    RaiseError(kErrNothingToDo, kNone, value);
    errorLine = saved;
}

void Interpreter::RaiseError(int code, Ref name, Ref datum) {
    if (stopRequested || throwInProgress) return;
    RaiseErrorText(code, name == kNone ? std::string() : MessageText(name), datum);
}

void Interpreter::RaiseErrorText(int code, std::string_view name, Ref datum) {
    if (stopRequested || throwInProgress) return;
    // An active "ERROR" catch turns the error into a throw.
    size_t guard = 0;
    for (Ref e = catchChain; isList(e) && guard++ <= poolSize(); e = first(e)) {
        if (CompareNames(first(rest(e)), kErrorWord) == 0) {
            // The instruction that raised it finishes first (RunList makes the catcher's
            // frame current after it).
            throwInProgress = true;
            throwTarget = e;
            lastErrorCode = code;
            return;
        }
    }
    for (const FamilyHooks& h : familyHooks())
        if (h.beforeErrorMessage) h.beforeErrorMessage(*this);
    restoreScreen();
    // Every part of the box is bounded, however big the values it quotes.
    std::string shortName(name.substr(0, kMessageTextLimit));
    if (name.size() > kMessageTextLimit) shortName += "...";
    std::string text = "Logo Error: ";
    text += ErrorMessage(code, shortName, QuotedMessageText(datum), MessageText(datum));
    if (errorLine != kNone) {
        const std::string at = LineText(errorLine);
        if (!at.empty()) {
            text += "\n\nAt: ";
            text += at;
        }
    }
    showError(text);
    stopRequested = true;
}

void Interpreter::restoreScreen() {
    // These go out even at the nesting limit: they only put the screen back.
    if (drawingOffscreen) {
        drawingOffscreen = false;
        dispatchCommand(85);
    }
    if (screenLocked) {
        // The unlock shows the card again; a second redraw would only repeat it.
        screenLocked = false;
        dispatchCommand(171);
    }
}

void Interpreter::showError(const std::string& text) {
    ++errorsShown_;
    ui().messageBox("Quillscript", text);
}

} // namespace cv::script
