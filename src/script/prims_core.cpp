// The primitives of the reader and of node memory (PARSE, TO, NODES, RECYCLE), and the
// names reserved for future expansion.
#include <cstdio>

#include "script/interpreter.h"

namespace cv::script {

namespace {

Ref primParse(PrimCall& c) {
    Interpreter& in = c.in;
    if (c.args[0] == kNone) {
        in.RaisePrimError(kErrNotEnoughInputs, c.index, kNone);
        return kNone;
    }
    if (!in.isWordLike(c.args[0])) {
        in.RaisePrimError(kErrDoesntLike, c.index, c.args[0]);
        return kNone;
    }
    return in.ParseWord(c.args[0]);
}

Ref primTo(PrimCall& c) {
    c.in.DefineFromLines(*c.cursor);
    return kNone;
}

Ref primNodes(PrimCall& c) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "There are %lu free nodes.\n", static_cast<unsigned long>(c.in.CountFreeNodes()));
    c.in.write(buf);
    return kNone;
}

Ref primRecycle(PrimCall& c) {
    c.in.CollectGarbage();
    return kNone;
}

Ref primReserved(PrimCall& c) {
    c.in.RaisePrimError(kErrReserved, c.index, kNone);
    return kNone;
}

const PrimitiveFamily kCore("core", {
    {"PARSE", primParse},
    {"TO", primTo},
    {"NODES", primNodes},
    {"RECYCLE", primRecycle},
    {"ADDFRAME", primReserved},
    {"DELETEFRAME", primReserved},
    {"INSERTFRAME", primReserved},
    {"LASTFRAME", primReserved},
    {"NEXTFRAME", primReserved},
    {"PLAY", primReserved},
    {"DICT", primReserved},
    {"ERDICT", primReserved},
    {"PHONETIC", primReserved},
    {"PITCH", primReserved},
    {"SAY", primReserved},
    {"SPEED", primReserved},
    {"TONE", primReserved},
    {"VOICE", primReserved},
    {"VOLUME", primReserved},
});

} // namespace

} // namespace cv::script
