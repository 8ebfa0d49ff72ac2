// Variables: MAKE, NAME, THING, LOCAL, NAMEP, erasing, listing and burying them.
// A name may be written with a leading colon; it is looked up without it.
#include "script/workspace_store.h"

namespace cv::script {

namespace {

using ws::NameWord;

Ref make(PrimCall& c, Ref name, Ref value) {
    Interpreter& in = c.in;
    if (!in.CheckWord(name, c.index)) return kNone;
    if (value == kNone) {
        in.RaisePrimError(kErrNotEnoughInputs, c.index, kNone);
        return kNone;
    }
    in.SetVariable(name, value);
    return kNone;
}

Ref primMake(PrimCall& c) { return make(c, c.args[0], c.args[1]); }
Ref primName(PrimCall& c) { return make(c, c.args[1], c.args[0]); }

Ref primThing(PrimCall& c) {
    if (!c.in.CheckWord(c.args[0], c.index)) return kNone;
    return c.in.Thing(c.args[0]);
}

Ref primLocal(PrimCall& c) {
    Interpreter& in = c.in;
    if (in.currentFrame == kNone) {
        in.RaisePrimError(kErrOnlyInProcedure, c.index, kNone);
        return kNone;
    }
    if (!in.CheckWord(c.args[0], c.index)) return kNone;
    const NameWord name(in, c.args[0], true);
    if (ws::findLocalBinding(in, in.currentFrame, name.word()) == kNone)
        in.NewLocalBinding(name.word(), kNone);
    return kNone;
}

Ref primNameP(PrimCall& c) {
    Interpreter& in = c.in;
    if (!in.CheckWord(c.args[0], c.index)) return kNone;
    return in.FindBinding(c.args[0]) != kNone ? kTrue : kFalse;
}

// The global entry of a name, or else its buried one.
Ref globalEntry(Interpreter& in, Ref word, bool buried) {
    return ws::findEntry(in, buried ? in.buriedVariables : in.variables, word);
}

Ref primErN(PrimCall& c) {
    Interpreter& in = c.in;
    ws::forEachName(c, c.args[0], [&](Ref input) {
        const NameWord name(in, input, true);
        for (NameTable* table : {&in.variables, &in.buriedVariables}) {
            if (const Ref e = ws::findEntry(in, *table, name.word())) return table->unlink(in, e);
        }
        in.RaiseError(kErrUndefined, kNone, name.word());
        return false;
    });
    return kNone;
}

Ref primErNs(PrimCall& c) {
    c.in.variables.clear();
    return kNone;
}

Ref primPoN(PrimCall& c) {
    Interpreter& in = c.in;
    ws::forEachName(c, c.args[0], [&](Ref input) {
        const NameWord name(in, input, true);
        const Ref pair = in.FindBinding(name.word());
        const Ref value = pair != kNone ? in.first(in.rest(pair)) : kNone;
        if (value == kNone) {
            in.RaiseError(kErrUndefined, kNone, name.word());
            return false;
        }
        in.write(in.VariableListing(in.first(pair), value));
        return true;
    });
    return kNone;
}

Ref primPoNs(PrimCall& c) {
    c.in.write(ws::variablesListing(c.in, false));
    return kNone;
}

// Moves a variable between the global and the buried tables. Burying one that is buried
// already does nothing; anything else not found is error 9.
void moveVariable(PrimCall& c, bool bury) {
    Interpreter& in = c.in;
    ws::forEachName(c, c.args[0], [&](Ref input) {
        const NameWord name(in, input, true);
        NameTable& from = bury ? in.variables : in.buriedVariables;
        NameTable& to = bury ? in.buriedVariables : in.variables;
        if (const Ref e = ws::findEntry(in, from, name.word())) {
            from.unlink(in, e);
            to.pushFront(in, e);
            return true;
        }
        if (bury && globalEntry(in, name.word(), true) != kNone) return true;
        in.RaiseError(kErrUndefined, kNone, name.word());
        return false;
    });
}

Ref primBuryName(PrimCall& c) {
    moveVariable(c, true);
    return kNone;
}

Ref primUnburyName(PrimCall& c) {
    moveVariable(c, false);
    return kNone;
}

const PrimitiveFamily kVariables("variables", {
    {"BURYNAME", primBuryName},
    {"ERN", primErN},
    {"ERNS", primErNs},
    {"LOCAL", primLocal},
    {"MAKE", primMake},
    {"NAME", primName},
    {"NAMEP", primNameP},
    {"PON", primPoN},
    {"PONS", primPoNs},
    {"THING", primThing},
    {"UNBURYNAME", primUnburyName},
});

} // namespace

} // namespace cv::script
