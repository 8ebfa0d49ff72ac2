#include "script/primitive_table.h"


#include "script/interpreter.h"

namespace cv::script {

namespace {

using F = PrimFamily;

// Nearly alphabetical; the order carries no meaning (lookup goes through the hash index),
// except that the six infix operators come last.
constexpr PrimitiveEntry kEntries[kTableSize] = {
    {"ABS", 1, 0, F::Arithmetic, nullptr},
    {"ADDFRAME", 0, 0, F::ReservedAnimation, nullptr},
    {"ALLOPEN", 0, 0, F::Files, nullptr},
    {"AND", -1, 2, F::Arithmetic, nullptr},
    {"ARCCOS", 1, 0, F::Arithmetic, nullptr},
    {"ARCSIN", 1, 0, F::Arithmetic, nullptr},
    {"ARCTAN", 1, 0, F::Arithmetic, nullptr},
    {"ARCTAN2", 2, 0, F::Arithmetic, nullptr},
    {"ASCII", 1, 0, F::WordsLists, nullptr},
    {"BACK", 1, 0, F::Turtle, nullptr},
    {"BACKGROUND", 0, 0, F::Turtle, nullptr},
    {"BACKGROUNDRGB", 0, 0, F::Turtle, nullptr},
    {"BEFOREP", 2, 0, F::WordsLists, nullptr},
    {"BF", 1, 0, F::WordsLists, nullptr},
    {"BG", 0, 0, F::Turtle, nullptr},
    {"BK", 1, 0, F::Turtle, nullptr},
    {"BL", 1, 0, F::WordsLists, nullptr},
    {"BURY", 1, 0, F::Procedures, nullptr},
    {"BURYALL", 0, 0, F::Workspace, nullptr},
    {"BURYNAME", 1, 0, F::Variables, nullptr},
    {"BURYPLIST", 1, 0, F::Procedures, nullptr},
    {"BUTFIRST", 1, 0, F::WordsLists, nullptr},
    {"BUTLAST", 1, 0, F::WordsLists, nullptr},
    {"BUTTONP", 0, 0, F::InputOutput, nullptr},
    {"CALLBACK", 0, 0, F::Player, nullptr},
    {"CALLNBA", 3, 0, F::Player, nullptr},
    {"CATALOG", 0, 0, F::Files, nullptr},
    {"CATCH", 2, 0, F::Control, nullptr},
    {"CBDISPOSEPARAMH", 1, 0, F::Player, nullptr},
    {"CBGETPARAMINT", 1, 0, F::Player, nullptr},
    {"CBGETPARAMPOINT", 1, 0, F::Player, nullptr},
    {"CBGETPARAMRECT", 1, 0, F::Player, nullptr},
    {"CBGETPARAMSTR", 1, 0, F::Player, nullptr},
    {"CBGETPARAMSTRH", 1, 0, F::Player, nullptr},
    {"CBSETCMD", 1, 0, F::Player, nullptr},
    {"CBSETPARAMINT", 2, 0, F::Player, nullptr},
    {"CBSETPARAMPOINT", 2, 0, F::Player, nullptr},
    {"CBSETPARAMRECT", 2, 0, F::Player, nullptr},
    {"CBSETPARAMSTR", 2, 0, F::Player, nullptr},
    {"CBSETPARAMSTRH", 2, 0, F::Player, nullptr},
    {"CHAR", 1, 0, F::WordsLists, nullptr},
    {"CLEAN", 0, 0, F::Turtle, nullptr},
    {"CLEARSCREEN", 0, 0, F::Turtle, nullptr},
    {"CLEARSCREEN3D", 0, 0, F::Turtle, nullptr},
    {"CLOSE", 1, 0, F::Files, nullptr},
    {"CLOSEALL", 0, 0, F::Files, nullptr},
    {"COPYDEF", 2, 0, F::Procedures, nullptr},
    {"COS", 1, 0, F::Arithmetic, nullptr},
    {"COUNT", 1, 0, F::WordsLists, nullptr},
    {"CREATEDIRECTORY", 1, 0, F::Files, nullptr},
    {"CS", 0, 0, F::Turtle, nullptr},
    {"CS3D", 0, 0, F::Turtle, nullptr},
    {"DATE", 0, 0, F::Control, nullptr},
    {"DEFINE", 2, 0, F::Procedures, nullptr},
    {"DEFINEDP", 1, 0, F::Procedures, nullptr},
    {"DELETEFRAME", 0, 0, F::ReservedAnimation, nullptr},
    {"DICT", 2, 0, F::ReservedSpeech, nullptr},
    {"DIFFERENCE", 2, 0, F::Arithmetic, nullptr},
    {"DIR", 0, 0, F::Files, nullptr},
    {"DOALERT", 4, 0, F::Player, nullptr},
    {"DOBUTTON", 2, 0, F::Player, nullptr},
    {"DOMENU", 2, 0, F::Player, nullptr},
    {"DONEP", 1, 0, F::Player, nullptr},
    {"DOT", 1, 0, F::Turtle, nullptr},
    {"DOTP", 1, 0, F::Turtle, nullptr},
    {"DOUNTIL", -1, 0, F::Control, nullptr},
    {"DRAWTOOFFSCREEN", -1, 0, F::Player, nullptr},
    {"DRAWTOSCREEN", 0, 0, F::Player, nullptr},
    {"EDIT", 1, 0, F::InputOutput, nullptr},
    {"EDITS", 0, 0, F::InputOutput, nullptr},
    {"EMPTYP", 1, 0, F::WordsLists, nullptr},
    {"EQUALP", 2, 0, F::WordsLists, nullptr},
    {"ERALL", 0, 0, F::Workspace, nullptr},
    {"ERASE", 1, 0, F::Procedures, nullptr},
    {"ERASEARC", 3, 0, F::Drawing, nullptr},
    {"ERASEFILE", 1, 0, F::Files, nullptr},
    {"ERASEOVAL", 1, 0, F::Drawing, nullptr},
    {"ERASERECT", 1, 0, F::Drawing, nullptr},
    {"ERASERRECT", 3, 0, F::Drawing, nullptr},
    {"ERDICT", 0, 0, F::ReservedSpeech, nullptr},
    {"ERN", 1, 0, F::Variables, nullptr},
    {"ERNS", 0, 0, F::Variables, nullptr},
    {"ERPROPS", 0, 0, F::Procedures, nullptr},
    {"ERPS", 0, 0, F::Procedures, nullptr},
    {"ERROR", 0, 0, F::Control, nullptr},
    {"EXP", 1, 0, F::Arithmetic, nullptr},
    {"FD", 1, 0, F::Turtle, nullptr},
    {"FENCE", 0, 0, F::Turtle, nullptr},
    {"FILELEN", 1, 0, F::Files, nullptr},
    {"FILEP", 1, 0, F::Files, nullptr},
    {"FILL", 0, 0, F::Turtle, nullptr},
    {"FINDTEXT", 2, 0, F::Player, nullptr},
    {"FIRST", 1, 0, F::WordsLists, nullptr},
    {"FLOAT", 1, 0, F::Arithmetic, nullptr},
    {"FLOATP", 1, 0, F::WordsLists, nullptr},
    {"FORM", 3, 0, F::Arithmetic, nullptr},
    {"FORWARD", 1, 0, F::Turtle, nullptr},
    {"FPUT", 2, 0, F::WordsLists, nullptr},
    {"FRAMEARC", 3, 0, F::Drawing, nullptr},
    {"FRAMEOVAL", 1, 0, F::Drawing, nullptr},
    {"FRAMERECT", 1, 0, F::Drawing, nullptr},
    {"FRAMERRECT", 3, 0, F::Drawing, nullptr},
    {"GETBACKCOLOR", 0, 0, F::Drawing, nullptr},
    {"GETBUTTONNAME", 0, 0, F::Player, nullptr},
    {"GETCURRENTSCORE", 0, 0, F::Player, nullptr},
    {"GETFIELDTEXT", 2, 0, F::Player, nullptr},
    {"GETFONTINFO", 0, 0, F::Drawing, nullptr},
    {"GETFORECOLOR", 0, 0, F::Drawing, nullptr},
    {"GETGRAPHICNAME", 0, 0, F::Player, nullptr},
    {"GETITEMPOS", 3, 0, F::Player, nullptr},
    {"GETITEMRECT", 3, 0, F::Player, nullptr},
    {"GETSELECTEDTEXT", 2, 0, F::Player, nullptr},
    {"GETTEXTNAME", 0, 0, F::Player, nullptr},
    {"GO", 1, 0, F::Control, nullptr},
    {"GPROP", 2, 0, F::Procedures, nullptr},
    {"HEADING", 0, 0, F::Turtle, nullptr},
    {"HIDEITEM", 3, 0, F::Player, nullptr},
    {"HIDETURTLE", 0, 0, F::Turtle, nullptr},
    {"HOME", 0, 0, F::Turtle, nullptr},
    {"HT", 0, 0, F::Turtle, nullptr},
    {"IF", -1, 0, F::Control, nullptr},
    {"IFF", -1, 0, F::Control, nullptr},
    {"IFFALSE", -1, 0, F::Control, nullptr},
    {"IFT", -1, 0, F::Control, nullptr},
    {"IFTRUE", -1, 0, F::Control, nullptr},
    {"INSERT", 3, 0, F::WordsLists, nullptr},
    {"INSERTFRAME", 0, 0, F::ReservedAnimation, nullptr},
    {"INT", 1, 0, F::Arithmetic, nullptr},
    {"INTEGERP", 1, 0, F::WordsLists, nullptr},
    {"INTQUOTIENT", 2, 0, F::Arithmetic, nullptr},
    {"INVERTARC", 3, 0, F::Drawing, nullptr},
    {"INVERTITEM", 3, 0, F::Player, nullptr},
    {"INVERTOVAL", 1, 0, F::Drawing, nullptr},
    {"INVERTRECT", 1, 0, F::Drawing, nullptr},
    {"INVERTRRECT", 3, 0, F::Drawing, nullptr},
    {"ITEM", 2, 0, F::WordsLists, nullptr},
    {"KEYP", 0, 0, F::InputOutput, nullptr},
    {"LABEL", 1, 0, F::Control, nullptr},
    {"LAST", 1, 0, F::WordsLists, nullptr},
    {"LASTFRAME", 0, 0, F::ReservedAnimation, nullptr},
    {"LEFT", 1, 0, F::Turtle, nullptr},
    {"LIST", -1, 2, F::WordsLists, nullptr},
    {"LISTP", 1, 0, F::WordsLists, nullptr},
    {"LN", 1, 0, F::Arithmetic, nullptr},
    {"LOAD", 1, 0, F::InputOutput, nullptr},
    {"LOCAL", 1, 0, F::Variables, nullptr},
    {"LOCKSCREEN", 0, 0, F::Player, nullptr},
    {"LOWERCASE", 1, 0, F::WordsLists, nullptr},
    {"LPUT", 2, 0, F::WordsLists, nullptr},
    {"LT", 1, 0, F::Turtle, nullptr},
    {"MAKE", 2, 0, F::Variables, nullptr},
    {"MATCH", 3, 0, F::WordsLists, nullptr},
    {"MATCHP", 3, 0, F::WordsLists, nullptr},
    {"MEMBER", 2, 0, F::WordsLists, nullptr},
    {"MEMBERP", 2, 0, F::WordsLists, nullptr},
    {"MOUSE", 0, 0, F::InputOutput, nullptr},
    {"MOVENEXT", 0, 0, F::Player, nullptr},
    {"MOVEPREV", 0, 0, F::Player, nullptr},
    {"MOVETOCARD", 1, 0, F::Player, nullptr},
    {"MOVETOFIRST", 0, 0, F::Player, nullptr},
    {"MOVETOLAST", 0, 0, F::Player, nullptr},
    {"NAME", 2, 0, F::Variables, nullptr},
    {"NAMEP", 1, 0, F::Variables, nullptr},
    {"NEXTFRAME", 0, 0, F::ReservedAnimation, nullptr},
    {"NODES", 0, 0, F::Workspace, nullptr},
    {"NOT", 1, 0, F::Arithmetic, nullptr},
    {"NUMBERP", 1, 0, F::WordsLists, nullptr},
    {"ONLINE", 0, 0, F::Files, nullptr},
    {"OP", 1, 0, F::Control, nullptr},
    {"OPEN", 1, 0, F::Files, nullptr},
    {"OR", -1, 2, F::Arithmetic, nullptr},
    {"OUTPUT", 1, 0, F::Control, nullptr},
    {"PAINTARC", 3, 0, F::Drawing, nullptr},
    {"PAINTOVAL", 1, 0, F::Drawing, nullptr},
    {"PAINTRECT", 1, 0, F::Drawing, nullptr},
    {"PAINTRRECT", 3, 0, F::Drawing, nullptr},
    {"PARSE", 1, 0, F::WordsLists, nullptr},
    {"PC", 0, 0, F::Turtle, nullptr},
    {"PD", 0, 0, F::Turtle, nullptr},
    {"PE", 0, 0, F::Turtle, nullptr},
    {"PEN", 0, 0, F::Turtle, nullptr},
    {"PENCOLOR", 0, 0, F::Turtle, nullptr},
    {"PENCOLORRGB", 0, 0, F::Turtle, nullptr},
    {"PENDOWN", 0, 0, F::Turtle, nullptr},
    {"PENERASE", 0, 0, F::Turtle, nullptr},
    {"PENREVERSE", 0, 0, F::Turtle, nullptr},
    {"PENUP", 0, 0, F::Turtle, nullptr},
    {"PHONETIC", 1, 0, F::ReservedSpeech, nullptr},
    {"PITCH", 1, 0, F::ReservedSpeech, nullptr},
    {"PLAY", 0, 0, F::ReservedAnimation, nullptr},
    {"PLIST", 1, 0, F::Procedures, nullptr},
    {"PO", 1, 0, F::Procedures, nullptr},
    {"POALL", 0, 0, F::Workspace, nullptr},
    {"POFILE", 1, 0, F::Files, nullptr},
    {"PON", 1, 0, F::Variables, nullptr},
    {"PONS", 0, 0, F::Variables, nullptr},
    {"POPS", 0, 0, F::Procedures, nullptr},
    {"POS", 0, 0, F::Turtle, nullptr},
    {"POT", 1, 0, F::Procedures, nullptr},
    {"POTS", 0, 0, F::Procedures, nullptr},
    {"POWER", 2, 0, F::Arithmetic, nullptr},
    {"PPROP", 3, 0, F::Procedures, nullptr},
    {"PPS", 0, 0, F::Procedures, nullptr},
    {"PR", -1, 1, F::InputOutput, nullptr},
    {"PREFIX", 0, 0, F::Files, nullptr},
    {"PRIMITIVEP", 1, 0, F::Procedures, nullptr},
    {"PRINT", -1, 1, F::InputOutput, nullptr},
    {"PRODUCT", -1, 2, F::Arithmetic, nullptr},
    {"PU", 0, 0, F::Turtle, nullptr},
    {"PX", 0, 0, F::Turtle, nullptr},
    {"QUIT", 0, 0, F::Player, nullptr},
    {"QUOTIENT", 2, 0, F::Arithmetic, nullptr},
    {"RANDOM", 1, 0, F::Arithmetic, nullptr},
    {"RANDOMIZE", 1, 0, F::WordsLists, nullptr},
    {"RC", 0, 0, F::InputOutput, nullptr},
    {"RCS", 1, 0, F::InputOutput, nullptr},
    {"READCHAR", 0, 0, F::InputOutput, nullptr},
    {"READCHARS", 1, 0, F::InputOutput, nullptr},
    {"READER", 0, 0, F::Files, nullptr},
    {"READLIST", 0, 0, F::InputOutput, nullptr},
    {"READPOS", 0, 0, F::Files, nullptr},
    {"READWORD", 0, 0, F::InputOutput, nullptr},
    {"RECYCLE", 0, 0, F::Workspace, nullptr},
    {"REDRAWCARD", 0, 0, F::Player, nullptr},
    {"REMAINDER", 2, 0, F::Arithmetic, nullptr},
    {"REMOVE", 2, 0, F::WordsLists, nullptr},
    {"REMPROP", 2, 0, F::Procedures, nullptr},
    {"RENAME", 2, 0, F::Files, nullptr},
    {"REPEAT", 2, 0, F::Control, nullptr},
    {"REPLACE", 3, 0, F::WordsLists, nullptr},
    {"RERANDOM", 0, 0, F::Arithmetic, nullptr},
    {"RI", 1, 0, F::Turtle, nullptr},
    {"RIGHT", 1, 0, F::Turtle, nullptr},
    {"RL", 0, 0, F::InputOutput, nullptr},
    {"RLL", 1, 0, F::Turtle, nullptr},
    {"RLR", 1, 0, F::Turtle, nullptr},
    {"RO", 1, 0, F::Turtle, nullptr},
    {"ROLLLEFT", 1, 0, F::Turtle, nullptr},
    {"ROLLRIGHT", 1, 0, F::Turtle, nullptr},
    {"ROTATEIN", 1, 0, F::Turtle, nullptr},
    {"ROTATEOUT", 1, 0, F::Turtle, nullptr},
    {"ROUND", 1, 0, F::Arithmetic, nullptr},
    {"RT", 1, 0, F::Turtle, nullptr},
    {"RUN", 1, 0, F::Control, nullptr},
    {"SAVE", 1, 0, F::InputOutput, nullptr},
    {"SAY", 1, 0, F::ReservedSpeech, nullptr},
    {"SCRUNCH", 0, 0, F::Turtle, nullptr},
    {"SE", -1, 2, F::WordsLists, nullptr},
    {"SENTENCE", -1, 2, F::WordsLists, nullptr},
    {"SETBACKCOLOR", 1, 0, F::Drawing, nullptr},
    {"SETBG", 1, 0, F::Turtle, nullptr},
    {"SETBGRGB", 1, 0, F::Turtle, nullptr},
    {"SETBKGDDIRTY", 0, 0, F::Player, nullptr},
    {"SETFIELDTEXT", 3, 0, F::Player, nullptr},
    {"SETFONTFAMILY", 1, 0, F::Drawing, nullptr},
    {"SETFONTSIZE", 1, 0, F::Drawing, nullptr},
    {"SETFONTSTYLE", 1, 0, F::Drawing, nullptr},
    {"SETFORECOLOR", 1, 0, F::Drawing, nullptr},
    {"SETH", 1, 0, F::Turtle, nullptr},
    {"SETH3D", 3, 0, F::Turtle, nullptr},
    {"SETHEADING", 1, 0, F::Turtle, nullptr},
    {"SETHEADING3D", 3, 0, F::Turtle, nullptr},
    {"SETITEMPOS", 4, 0, F::Player, nullptr},
    {"SETITEMRECT", 4, 0, F::Player, nullptr},
    {"SETPC", 1, 0, F::Turtle, nullptr},
    {"SETPCRGB", 1, 0, F::Turtle, nullptr},
    {"SETPENSIZE", 2, 0, F::Drawing, nullptr},
    {"SETPLIST", 2, 0, F::Procedures, nullptr},
    {"SETPOS", 1, 0, F::Turtle, nullptr},
    {"SETPREFIX", 1, 0, F::Files, nullptr},
    {"SETREAD", 1, 0, F::Files, nullptr},
    {"SETREADPOS", 1, 0, F::Files, nullptr},
    {"SETRWPROMPT", 1, 0, F::InputOutput, nullptr},
    {"SETRWRECT", 1, 0, F::InputOutput, nullptr},
    {"SETSCRUNCH", 1, 0, F::Turtle, nullptr},
    {"SETTRANSITION", 2, 0, F::Player, nullptr},
    {"SETWRITE", 1, 0, F::Files, nullptr},
    {"SETWRITEPOS", 1, 0, F::Files, nullptr},
    {"SETX", 1, 0, F::Turtle, nullptr},
    {"SETY", 1, 0, F::Turtle, nullptr},
    {"SETZ", 1, 0, F::Turtle, nullptr},
    {"SHOW", 1, 0, F::InputOutput, nullptr},
    {"SHOWITEM", 3, 0, F::Player, nullptr},
    {"SHOWNP", 0, 0, F::Turtle, nullptr},
    {"SHOWTURTLE", 0, 0, F::Turtle, nullptr},
    {"SHOWTURTLE3D", 0, 0, F::Turtle, nullptr},
    {"SIMILARP", 3, 0, F::WordsLists, nullptr},
    {"SIN", 1, 0, F::Arithmetic, nullptr},
    {"SPEED", 1, 0, F::ReservedSpeech, nullptr},
    {"SQRT", 1, 0, F::Arithmetic, nullptr},
    {"ST", 0, 0, F::Turtle, nullptr},
    {"ST3D", 0, 0, F::Turtle, nullptr},
    {"STOP", 0, 0, F::Control, nullptr},
    {"SUM", -1, 2, F::Arithmetic, nullptr},
    {"TAN", 1, 0, F::Arithmetic, nullptr},
    {"TEST", 1, 0, F::Control, nullptr},
    {"TEXT", 1, 0, F::Procedures, nullptr},
    {"TEXTIO", 0, 0, F::Drawing, nullptr},
    {"TEXTWIDTH", 1, 0, F::Drawing, nullptr},
    {"THING", 1, 0, F::Variables, nullptr},
    {"THROW", 1, 0, F::Control, nullptr},
    {"TIME", 0, 0, F::Control, nullptr},
    {"TO", -1, 0, F::Procedures, nullptr},
    {"TONE", 1, 0, F::ReservedSpeech, nullptr},
    {"TOOT", 2, 0, F::InputOutput, nullptr},
    {"TOPLEVEL", 0, 0, F::Control, nullptr},
    {"TOWARDS", 1, 0, F::Turtle, nullptr},
    {"TURTLEIO", 0, 0, F::Drawing, nullptr},
    {"TYPE", -1, 1, F::InputOutput, nullptr},
    {"UNBURY", 1, 0, F::Procedures, nullptr},
    {"UNBURYALL", 0, 0, F::Workspace, nullptr},
    {"UNBURYNAME", 1, 0, F::Variables, nullptr},
    {"UNBURYPLIST", 1, 0, F::Procedures, nullptr},
    {"UNLOCKSCREEN", 0, 0, F::Player, nullptr},
    {"UNPARSE", 1, 0, F::WordsLists, nullptr},
    {"UPPERCASE", 1, 0, F::WordsLists, nullptr},
    {"VERSION", 0, 0, F::Control, nullptr},
    {"VISIBLEP", 3, 0, F::Player, nullptr},
    {"VOICE", 1, 0, F::ReservedSpeech, nullptr},
    {"VOLUME", 1, 0, F::ReservedSpeech, nullptr},
    {"WAIT", 1, 0, F::Control, nullptr},
    {"WHILE", -1, 0, F::Control, nullptr},
    {"WINDOW", 0, 0, F::Turtle, nullptr},
    {"WORD", -1, 2, F::WordsLists, nullptr},
    {"WORDP", 1, 0, F::WordsLists, nullptr},
    {"WRAP", 0, 0, F::Turtle, nullptr},
    {"WRITEPOS", 0, 0, F::Files, nullptr},
    {"WRITER", 0, 0, F::Files, nullptr},
    {"XCOR", 0, 0, F::Turtle, nullptr},
    {"YCOR", 0, 0, F::Turtle, nullptr},
    {"ZCOR", 0, 0, F::Turtle, nullptr},
    {"+", 2, 0, F::Operator, nullptr},
    {"-", 2, 0, F::Operator, nullptr},
    {"<", 2, 0, F::Operator, nullptr},
    {">", 2, 0, F::Operator, nullptr},
    {"*", 2, 0, F::Operator, nullptr},
    {"/", 2, 0, F::Operator, nullptr},
};

struct Registration {
    const char* family;
    std::vector<PrimitiveDef> defs;
    FamilyHooks hooks;
};

std::vector<Registration>& registrations() {
    static std::vector<Registration> r;
    return r;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = char(x - 32);
        if (y >= 'a' && y <= 'z') y = char(y - 32);
        if (x != y) return false;
    }
    return true;
}

// Reads (and drops) the inputs of a variable-input call that has no handler yet.
void skipVariableInputs(PrimCall& c) {
    Ref v;
    while (c.in.NextInput(c, v)) {}
}

// Without a player or a drawing window these do nothing.
Ref primWithoutPlayer(PrimCall& c) {
    if (primitiveTable()[size_t(c.index)].inputs < 0) skipVariableInputs(c);
    return kNone;
}

// A core primitive whose family is not in this build.
Ref primNotAvailable(PrimCall& c) {
    if (primitiveTable()[size_t(c.index)].inputs < 0) skipVariableInputs(c);
    c.in.RaisePrimError(kErrDontKnowHow, c.index, kNone);
    return kNone;
}

struct Resolved {
    std::array<PrimitiveEntry, kTableSize> table{};
    std::array<bool, kTableSize> implemented{};
    std::vector<FamilyHooks> hooks;
    std::vector<std::string> problems;
};

const Resolved& resolved() {
    static const Resolved r = [] {
        Resolved out;
        for (int i = 0; i < kTableSize; ++i) out.table[size_t(i)] = kEntries[i];
        for (const Registration& reg : registrations()) {
            out.hooks.push_back(reg.hooks);
            for (const PrimitiveDef& d : reg.defs) {
                const int i = findPrimitive(d.name);
                if (i < 0 || i >= kPrimitiveCount) {
                    out.problems.push_back(std::string(reg.family) + ": " + d.name + " is not in the table");
                } else if (out.implemented[size_t(i)]) {
                    out.problems.push_back(std::string(reg.family) + ": " + d.name + " is registered twice");
                } else if (d.handler) {
                    out.table[size_t(i)].handler = d.handler;
                    out.implemented[size_t(i)] = true;
                }
            }
        }
        for (int i = 0; i < kPrimitiveCount; ++i) {
            PrimitiveEntry& e = out.table[size_t(i)];
            if (e.handler) continue;
            const bool quiet = e.family == F::Player || e.family == F::Turtle || e.family == F::Drawing;
            e.handler = quiet ? primWithoutPlayer : primNotAvailable;
        }
        return out;
    }();
    return r;
}

} // namespace

PrimitiveFamily::PrimitiveFamily(const char* familyName, std::initializer_list<PrimitiveDef> defs,
                                 FamilyHooks hooks) {
    registrations().push_back(Registration{familyName, std::vector<PrimitiveDef>(defs), hooks});
}

const std::array<PrimitiveEntry, kTableSize>& primitiveTable() { return resolved().table; }
const std::vector<FamilyHooks>& familyHooks() { return resolved().hooks; }
const std::vector<std::string>& registrationProblems() { return resolved().problems; }
bool primitiveImplemented(int index) {
    return index >= 0 && index < kTableSize && resolved().implemented[size_t(index)];
}

int findPrimitive(std::string_view name) {
    for (int i = 0; i < kTableSize; ++i)
        if (equalsIgnoringCase(kEntries[i].name, name)) return i;
    return -1;
}

} // namespace cv::script
