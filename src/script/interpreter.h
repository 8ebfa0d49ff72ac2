#pragma once
// The Quillscript interpreter: one object holds the node pool, the workspace, the evaluation
// state and the channels to the outside. It is single-threaded and re-entrant only through
// the player (a script that presses a button that runs a script).
//
// Values are node references (Ref). A value returned by an evaluation is locked or rooted;
// native code that keeps values across a call that may allocate pins them (NodeMemory::Pin).
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <typeindex>
#include <unordered_map>
#include <vector>

#include "script/name_table.h"
#include "script/node_memory.h"
#include "script/primitive_table.h"
#include "script/script_host.h"

namespace cv {
class Ui;
}

namespace cv::script {

// Error numbers.
enum ErrorCode : int {
    kErrIsPrimitive = 6,
    kErrNoLabel = 7,
    kErrUndefined = 9,
    kErrDivideByZero = 13,
    kErrTooFewItems = 19,
    kErrTooManyFiles = 20,
    kErrNoCatch = 21,
    kErrOutOfSpace = 23,
    kErrNotTrueOrFalse = 25,
    kErrNotEnoughInputs = 29,
    kErrTooManyInputs = 30,
    kErrOnlyInProcedure = 33,
    kErrTurtleBounds = 34,
    kErrDontKnowHow = 35,
    kErrNothingToDo = 38,
    kErrDoesntLike = 41,
    kErrNotOpen = 45,
    kErrCantWrite = 57,
    kErrCantRead = 58,
    kErrSoundChannel = 59,
    kErrNoMemory = 60,
    kErrOddPropertyList = 61,
    kErrBadDirectory = 62,
    kErrDiskIO = 63,
    kErrPoFileText = 64,
    kErrWantsReader = 65,
    kErrNeedsTextFile = 66,
    kErrNoWindow = 67,
    kErrNoSuchWindow = 68,
    kErrOutOfStack = 69,
    kErrToWithoutEnd = 71,
    kErrWantsWriter = 73,
    kErrMath = 74,
    kErrNotInProcedure = 75,
    kErrNotInScript = 76,
    kErrIndexTooBig = 77,
    kErrReserved = 99,
};

// The message of an error number with its name (N), quoted datum (D) and plain datum (P).
std::string ErrorMessage(int code, std::string_view n, std::string_view d, std::string_view p);

// A source of whole lines that takes precedence over the script text (a file being loaded).
class LineSource {
public:
    virtual ~LineSource() = default;
    virtual bool active() const = 0;
    // The next line without its terminator; false at the end (the source then closes).
    virtual bool readLine(std::string& line) = 0;
};

// Output that goes somewhere other than the run's text output (a workspace file being saved,
// the writer file while printing). Returns true when it took the text.
class OutputRedirect {
public:
    virtual ~OutputRedirect() = default;
    virtual bool write(std::string_view bytes, bool printing) = 0;
};

// Per-interpreter state of a primitive family, made on first use with Interpreter::family<T>().
class FamilyState {
public:
    virtual ~FamilyState() = default;
};

class Interpreter : public NodeMemory {
public:
    Interpreter();
    ~Interpreter() override;

    // --- the outside --------------------------------------------------------------------
    void setUi(Ui* ui) { ui_ = ui; }
    Ui& ui();
    void setCommands(CommandDispatcher* d) { commands_ = d; }
    CommandDispatcher& commands();
    void setHost(ScriptHost* h) { host_ = h; }
    ScriptHost& host();
    // Steps an outermost run may take before it is stopped as if Escape had been pressed (0: no
    // limit); a run started from inside it counts towards it.
    void setStepLimit(uint64_t steps) { stepLimit_ = steps; }
    // Expressions evaluated so far, over every run (what bounds on a run's work count).
    uint64_t steps() const { return steps_; }
    void setRandomSeed(uint32_t seed) { randomSeed_ = randomState_ = seed; }

    // --- running ------------------------------------------------------------------------
    // Initialises on the first call; false (after error 60) when the pool cannot be had.
    bool ensureInitialised();
    void RunScript(const char* text, size_t length, LineInput* lineInput, TextOutput* output,
                   DrawingSurface* window = nullptr);
    // Error boxes shown so far (a run that ended with an error message adds one).
    uint64_t errorsShown() const { return errorsShown_; }
    Ref RunList(Ref list);
    Ref EvalExpression(Ref& cursor, bool inParens);
    Ref CallNamed(Ref& cursor, bool inParens);
    Ref CallProcedure(Ref nameSlot, Ref& cursor);
    // EQUALP: lists element by element, words by their exact characters, numbers by value.
    bool EqualP(Ref a, Ref b);
    void RaiseError(int code, Ref name, Ref datum);
    void RaiseErrorText(int code, std::string_view name, Ref datum);
    // Error naming a primitive by its entry number.
    void RaisePrimError(int code, int index, Ref datum);
    // Error 38 for a value that running `list` left over; the message shows that list.
    void RaiseLeftOver(Ref list, Ref value);
    void PollInterrupt();
    // Variable inputs: the next one, or false when the call's inputs are over (error 29
    // raised when a call outside parentheses has fewer than its default number).
    bool NextInput(PrimCall& c, Ref& value);
    // Element at a cursor; true when the cursor is at the end of its list or at the word ")".
    Ref elementAt(Ref cursor) const { return first(cursor); }
    bool atInputsEnd(Ref cursor) const;

    // --- numbers ------------------------------------------------------------------------
    bool IsNumeric(Ref v, int reporter);
    int32_t ToInteger(Ref v, int reporter);
    double ToFloat(Ref v, int reporter);
    static std::string NumberText(double x);
    std::string NumberText(Ref v) const;
    Ref WordFromNumber(Ref v);
    // The characters of a word, or the text of a number; empty for anything else.
    std::string TextOf(Ref v) const;
    // Word check for a primitive's input: error 29 when missing, 41 when not a word or number.
    bool CheckWord(Ref v, int index);

    // --- reader -------------------------------------------------------------------------
    Ref ParseWord(Ref word);
    Ref ParseText(std::string_view text);
    // One line from the line source; false when every source is used up.
    bool ReadSourceLine(std::string& line);
    void DefineFromLines(Ref& cursor);
    char promptChar = '?';

    // --- printing -----------------------------------------------------------------------
    void PrintForm(Ref v, bool expandColon, bool escaped);
    void ShowForm(Ref v);
    std::string FormText(Ref v, bool expandColon, bool escaped);
    std::string MessageText(Ref v);
    std::string QuotedMessageText(Ref v);
    std::string LineText(Ref list);
    // "TO NAME :A :B", the body lines escaped, "END"; each line ends with a newline.
    std::string ProcedureListing(Ref definition, bool titleOnly = false);
    // MAKE "NAME value, and a newline.
    std::string VariableListing(Ref name, Ref value);
    // Writes to the current output (the capture, a redirect, the turtle or the run's output).
    void write(std::string_view bytes);
    std::string* outputCapture = nullptr;
    OutputRedirect* outputRedirect = nullptr;
    bool printing = false;   // set while PRINT, TYPE, SHOW and friends write
    bool turtleIO = false;
    // Draws text for TURTLEIO output; installed by the turtle family.
    void (*turtleText)(Interpreter&, std::string_view) = nullptr;

    // --- interactive input --------------------------------------------------------------
    LineSource* loadSource = nullptr;
    // A line typed by the person (prompt shown, leading '>' or '?' dropped); false when none.
    bool ReadInteractiveLine(std::string& line);

    // --- workspace ----------------------------------------------------------------------
    NameTable procedures{7}, buriedProcedures{7}, variables{7}, buriedVariables{7};
    NameTable plists{1}, buriedPlists{1};
    bool makeProtectsBuried = false;
    // Binding entry ([name value] pair's list node) visible from here, or none.
    Ref FindBinding(Ref name, bool includeBuried = true);
    Ref FindGlobalBinding(Ref name, bool buried);
    // The value of a variable (the leading colon ignored); none, after error 9, when unbound.
    Ref Thing(Ref name);
    // MAKE without its checks: the first binding found, else a new global.
    void SetVariable(Ref name, Ref value);
    Ref NewGlobalBinding(Ref name, Ref value, bool buried);
    Ref NewLocalBinding(Ref name, Ref value);
    static Ref bindingValueNode(const NodeMemory& m, Ref pair) { return m.rest(pair); }
    // Procedure definition [name [params] line ...] or none; `slot` (may be none) is the list
    // node holding the word in an instruction list, canonicalised on a match.
    Ref FindProcedure(Ref name, Ref slot = kNone);
    Ref FindProcedureEntry(Ref name, bool buried);
    void AddProcedure(Ref definition, bool buried = false);
    // Removes from the procedure table (or else the buried one); false when not found.
    bool EraseProcedure(Ref name);
    // Entry number of the primitive the word names, or -1; `slot` as for FindProcedure.
    int LookupPrimitive(Ref word, Ref slot = kNone);
    Ref primitiveName(int index) const { return primNames_[size_t(index)]; }

    // --- evaluation state ---------------------------------------------------------------
    Ref currentLine = kNone;
    Ref runList = kNone;
    Ref errorLine = kNone;
    Ref currentFrame = kNone;
    Ref frameChain = kNone;
    Ref catchChain = kNone;
    Ref pendingOperand = kNone;
    bool inParens = false;
    bool stopRequested = false;
    bool throwInProgress = false;
    Ref throwTarget = kNone;  // the catch entry a throw is going to
    Ref outputValue = kNone;
    Ref nextBodyLine = kNone;
    Ref bodyStart = kNone;
    int lastErrorCode = 0;
    // Frame access: the three nodes are (previous frame, locals, last TEST).
    Ref frameLocals(Ref frame) const { return first(rest(frame)); }
    Ref frameTest(Ref frame) const { return first(rest(rest(frame))); }
    void setFrameTest(Ref frame, Ref v) { const Ref n = rest(rest(frame)); if (isList(n)) at(n).item = v; }

    // Player-side state that errors and the end of a run undo (restoreScreen).
    bool screenLocked = false;
    bool drawingOffscreen = false;
    // Draws on the screen again and unlocks it, when a script left it otherwise.
    void restoreScreen();
    DrawingSurface* drawingWindow = nullptr;
    LineInput* lineInput = nullptr;
    TextOutput* textOutput = nullptr;

    // Random numbers 0..32767.
    int random15();
    void rerandom() { randomState_ = randomSeed_; }

    // Per-family state.
    template <class T>
    T& family() {
        auto& slot = families_[std::type_index(typeid(T))];
        if (!slot) slot = std::make_unique<T>();
        return static_cast<T&>(*slot);
    }

    // Sends one player command with the given parameters (the others keep their values).
    // Commands nested deeper than kMaxCommandDepth raise "Out of stack space" instead.
    void sendCommand(uint16_t command);
    static constexpr int kMaxCommandDepth = 32;
    int commandDepth() const { return commandDepth_; }

protected:
    void outOfSpace() override;
    void markRoots() override;

private:
    bool initialise();
    Ref parseInfixComparison(Ref& cursor);
    Ref parseInfixAdditive(Ref& cursor);
    Ref parseInfixMultiplicative(Ref& cursor);
    Ref parsePrimary(Ref& cursor);
    Ref continueInfix(Ref value, Ref& cursor);
    Ref applyOperator(char op, Ref a, Ref b);
    Ref newFrame(Ref previous);
    bool stackLow();
    void dispatchCommand(uint16_t command);
    void showError(const std::string& text);
    // What a line's native frames restore when they return, for a line cut short by a
    // refusal of memory.
    struct LineState {
        Ref catchChain, runList, errorLine;
        size_t varInputs;
        bool inParens, printing;
    };
    LineState lineState() const;
    void outOfMemoryInLine(const LineState& s);

    Ui* ui_ = nullptr;
    CommandDispatcher* commands_ = nullptr;
    ScriptHost* host_ = nullptr;
    bool initialised_ = false;
    uint64_t errorsShown_ = 0;
    uint64_t stepLimit_ = 0;
    uint64_t steps_ = 0;
    uint64_t runStartSteps_ = 0;  // steps_ when the outermost run began
    uint32_t randomSeed_ = 0, randomState_ = 0;
    std::array<Ref, kTableSize> primNames_{};
    std::array<int16_t, 361> hashFirst_{}, hashCount_{};
    std::array<int16_t, kPrimitiveCount> hashOrder_{};
    Ref primRefLow_ = 0;
    std::vector<int16_t> primByRef_;
    // script text of the run
    const char* scriptText_ = nullptr;
    size_t scriptRemaining_ = 0;
    // Saved state of outer runs (a script run from inside a script), kept as roots.
    std::vector<Ref> outerRoots_;
    // Inputs read by variable-input primitives, until their call returns.
    std::vector<Ref> varInputs_;
    int runDepth_ = 0;
    int commandDepth_ = 0;
    std::unordered_map<std::type_index, std::unique_ptr<FamilyState>> families_;
};

// Lets `count` 60ths of a second pass on the program clock, the host working meanwhile (WAIT,
// TOOT); it polls for interruption as loops do, and a stop request ends it early.
void waitTicks(Interpreter& in, int32_t count);

} // namespace cv::script
