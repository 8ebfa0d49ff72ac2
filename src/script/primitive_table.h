#pragma once
// The vocabulary: 331 primitives and the six infix operators, each with its number of
// inputs. The handlers come from primitive families, each in its own file, which register
// themselves with a PrimitiveFamily object (see docs/quillscript.md):
//
//     namespace {
//     Ref primFirst(PrimCall& c) { ... }
//     const PrimitiveFamily kWords("words", {{"FIRST", primFirst}, {"BF", primButFirst}, ...});
//     }
//
// A name that no family has registered yet gets its family's default: player commands and
// drawing do nothing (as without a player or a drawing window); others report that they are
// not known.
#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "script/node_memory.h"

namespace cv::script {

class Interpreter;

// One call of a primitive. Fixed inputs arrive evaluated in args (locked and pinned; they are
// unlocked when the handler returns, unless it sets the slot to none to keep its value).
// A primitive with a variable number of inputs reads them with Interpreter::NextInput, or
// reads the instruction list itself through `cursor`.
struct PrimCall {
    Interpreter& in;
    int index;           // entry number in the table
    Ref args[4];
    Ref* cursor;         // the caller's position in the instruction list (variable inputs)
    bool inParens;       // the call was written inside parentheses
    int inputsRead = 0;  // variable inputs taken so far
    bool abandoned = false;  // an input gave nothing during a throw: the call gives nothing
    Ref arg(int i) const { return args[i]; }
};

using PrimHandler = Ref (*)(PrimCall&);

enum class PrimFamily : uint8_t {
    Control, Files, Drawing, InputOutput, WordsLists, Player, Arithmetic, ReservedAnimation,
    Workspace, Procedures, ReservedSpeech, Turtle, Variables, Operator,
};

struct PrimitiveEntry {
    const char* name;
    int16_t inputs;         // 0..4, or -1 for a variable number
    int16_t defaultInputs;  // variable-input primitives: inputs taken outside parentheses
    PrimFamily family;
    PrimHandler handler;    // resolved from the registered families; never null for 0..330
};

inline constexpr int kPrimitiveCount = 331;
inline constexpr int kTableSize = 337;
// Entries of the infix operators, named in messages only.
enum OperatorEntry : int { kOpPlus = 331, kOpMinus, kOpLess, kOpGreater, kOpTimes, kOpDivide };

// Reporters for the numeric conversions: a primitive's entry number, or one of these.
inline constexpr int kReportMath = -1;    // error 74
inline constexpr int kReportSilent = -2;  // no report

// Hooks a family may give for its part of the interpreter's life.
struct FamilyHooks {
    void (*initialise)(Interpreter&) = nullptr;         // when the interpreter starts
    void (*runStarted)(Interpreter&) = nullptr;         // at the start of every script run
    void (*runFinished)(Interpreter&) = nullptr;        // at the end of every script run
    void (*beforeErrorMessage)(Interpreter&) = nullptr; // before an error box is shown
};

struct PrimitiveDef {
    const char* name;
    PrimHandler handler;
};

// Registers a family's handlers (and hooks) when the program starts.
class PrimitiveFamily {
public:
    PrimitiveFamily(const char* familyName, std::initializer_list<PrimitiveDef> defs, FamilyHooks hooks = {});
};

// The resolved table (built once, from the registrations).
const std::array<PrimitiveEntry, kTableSize>& primitiveTable();
// The hooks of every registered family.
const std::vector<FamilyHooks>& familyHooks();
// Registrations that did not fit the table (unknown or twice-registered names); empty when
// every family is consistent. Tests check it.
const std::vector<std::string>& registrationProblems();
// Entry number of a name (any case), or -1. For tools and tests; the evaluator uses the hash index.
int findPrimitive(std::string_view name);
// True when a family registered a handler for the entry.
bool primitiveImplemented(int index);

} // namespace cv::script
