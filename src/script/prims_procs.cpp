// Procedures: defining them from lists, their text, copying, erasing, burying and listing.
// TO (definitions typed as lines) is with the reader.
#include "script/workspace_store.h"

namespace cv::script {

namespace {

using ws::NameWord;

// True when the text of the word reads back as that one word, so that the title line of its
// listing ("TO name") names it again when a saved workspace is run.
bool readsBackAsItself(Interpreter& in, Ref word) {
    const std::string text = in.TextOf(word);
    const Ref parsed = in.ParseText(text);
    const Ref element = in.first(parsed);
    const bool same = in.isWord(element) && in.rest(parsed) == kNone && in.TextOf(element) == text;
    in.UnlockValue(parsed);
    return same;
}

// A name a procedure can be given: a word that is not empty, not a colon or quoted word, and
// reads back as itself (else its listing could not define it again); not a primitive's.
bool checkNewName(PrimCall& c, Ref input, Ref word) {
    Interpreter& in = c.in;
    const char c0 = in.FirstChar(word);
    if (!in.isWord(word) || c0 == '\0' || c0 == ':' || c0 == '"' || !readsBackAsItself(in, word)) {
        in.RaisePrimError(kErrDoesntLike, c.index, input);
        return false;
    }
    if (in.LookupPrimitive(word) >= 0) {
        in.RaiseError(kErrIsPrimitive, kNone, word);
        return false;
    }
    return true;
}

// Enters [name . text] in the procedure table in place of any procedure of that name.
void enterDefinition(Interpreter& in, Ref name, Ref text) {
    in.EraseProcedure(name);
    const Ref def = in.NewList(name, in.IsEmptyList(text) ? kNone : text);
    if (def == kNone) return;
    in.AddProcedure(def);
    in.at(def).flags &= ~kLockBit;  // the table holds it now
}

Ref primDefine(PrimCall& c) {
    Interpreter& in = c.in;
    if (!in.CheckWord(c.args[0], c.index)) return kNone;
    const NameWord name(in, c.args[0], false);
    if (!checkNewName(c, c.args[0], name.word())) return kNone;
    const Ref text = c.args[1];
    if (text == kNone) {
        in.RaisePrimError(kErrNotEnoughInputs, c.index, kNone);
        return kNone;
    }
    if (!in.isList(text)) {
        in.RaisePrimError(kErrDoesntLike, c.index, text);
        return kNone;
    }
    size_t guard = 0;
    for (Ref l = in.IsEmptyList(text) ? kNone : text; in.isList(l) && guard++ <= in.poolSize(); l = in.rest(l)) {
        if (!in.isList(in.first(l))) {
            in.RaisePrimError(kErrDoesntLike, c.index, in.first(l));
            return kNone;
        }
    }
    enterDefinition(in, name.word(), text);
    return kNone;
}

// The definition of a procedure named by a word input; error 9 when there is none.
Ref definitionOf(PrimCall& c, Ref input) {
    Interpreter& in = c.in;
    if (!in.CheckWord(input, c.index)) return kNone;
    const NameWord name(in, input, false);
    const Ref def = in.FindProcedure(name.word());
    if (def == kNone) in.RaiseError(kErrUndefined, kNone, name.word());
    return def;
}

Ref primText(PrimCall& c) {
    const Ref def = definitionOf(c, c.args[0]);
    if (def == kNone) return kNone;
    const Ref text = c.in.rest(def);
    return text == kNone ? Ref(kEmptyList) : text;
}

Ref primCopyDef(PrimCall& c) {
    Interpreter& in = c.in;
    const Ref from = definitionOf(c, c.args[0]);
    if (from == kNone) return kNone;
    NodeMemory::Pin pin(in, from);
    if (!in.CheckWord(c.args[1], c.index)) return kNone;
    const NameWord to(in, c.args[1], false);
    if (!checkNewName(c, c.args[1], to.word())) return kNone;
    enterDefinition(in, to.word(), in.rest(from));
    return kNone;
}

Ref primDefinedP(PrimCall& c) {
    Interpreter& in = c.in;
    if (!in.CheckWord(c.args[0], c.index)) return kNone;
    const NameWord name(in, c.args[0], false);
    return in.FindProcedure(name.word()) != kNone ? kTrue : kFalse;
}

Ref primPrimitiveP(PrimCall& c) {
    Interpreter& in = c.in;
    if (!in.CheckWord(c.args[0], c.index)) return kNone;
    const NameWord name(in, c.args[0], false);
    return in.LookupPrimitive(name.word()) >= 0 ? kTrue : kFalse;
}

Ref primErase(PrimCall& c) {
    Interpreter& in = c.in;
    ws::forEachName(c, c.args[0], [&](Ref input) {
        const NameWord name(in, input, false);
        if (in.EraseProcedure(name.word())) return true;
        in.RaiseError(kErrUndefined, kNone, name.word());
        return false;
    });
    return kNone;
}

Ref primErPs(PrimCall& c) {
    c.in.procedures.clear();
    return kNone;
}

// Moves a procedure between the procedure and the buried tables. Burying one that is
// buried already does nothing; anything else not found is error 9.
void moveProcedure(PrimCall& c, bool bury) {
    Interpreter& in = c.in;
    ws::forEachName(c, c.args[0], [&](Ref input) {
        const NameWord name(in, input, false);
        return ws::moveEntry(in, bury ? in.procedures : in.buriedProcedures,
                             bury ? in.buriedProcedures : in.procedures, name.word(), bury);
    });
}

Ref primBury(PrimCall& c) {
    moveProcedure(c, true);
    return kNone;
}

Ref primUnbury(PrimCall& c) {
    moveProcedure(c, false);
    return kNone;
}

void listNamed(PrimCall& c, bool titleOnly) {
    Interpreter& in = c.in;
    ws::forEachName(c, c.args[0], [&](Ref input) {
        const NameWord name(in, input, false);
        const Ref def = in.FindProcedure(name.word());
        if (def == kNone) {
            in.RaiseError(kErrUndefined, kNone, name.word());
            return false;
        }
        return ws::writeListingPart(in, in.ProcedureListing(def, titleOnly));
    });
}

Ref primPo(PrimCall& c) {
    listNamed(c, false);
    return kNone;
}

Ref primPoT(PrimCall& c) {
    listNamed(c, true);
    return kNone;
}

Ref primPoTs(PrimCall& c) {
    ws::forEachProcedureListing(c.in, false, true,
                                [&](const std::string& title) { return ws::writeListingPart(c.in, title); });
    return kNone;
}

Ref primPoPs(PrimCall& c) {
    bool first = true;
    ws::forEachProcedureListing(c.in, false, false, [&](const std::string& listing) {
        const bool go = ws::writeListingPart(c.in, first ? listing : "\n" + listing);
        first = false;
        return go;
    });
    return kNone;
}

const PrimitiveFamily kProcedures("procedures", {
    {"BURY", primBury},
    {"COPYDEF", primCopyDef},
    {"DEFINE", primDefine},
    {"DEFINEDP", primDefinedP},
    {"ERASE", primErase},
    {"ERPS", primErPs},
    {"PO", primPo},
    {"POPS", primPoPs},
    {"POT", primPoT},
    {"POTS", primPoTs},
    {"PRIMITIVEP", primPrimitiveP},
    {"TEXT", primText},
    {"UNBURY", primUnbury},
});

} // namespace

} // namespace cv::script
