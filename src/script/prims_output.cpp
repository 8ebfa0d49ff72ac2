// PRINT, TYPE and SHOW: the plain printed forms on the current output.
#include "script/interpreter.h"

namespace cv::script {

namespace {

// Inputs are all evaluated before anything is written.
std::vector<Ref> allInputs(PrimCall& c) {
    std::vector<Ref> values;
    Ref v;
    while (c.in.NextInput(c, v)) values.push_back(v);
    return values;
}

void writePrinting(Interpreter& in, const std::string& text) {
    const bool saved = in.printing;
    in.printing = true;
    in.write(text);
    in.printing = saved;
}

Ref primPrint(PrimCall& c) {
    const std::vector<Ref> values = allInputs(c);
    if (c.abandoned) return kNone;
    std::string text;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i) text += ' ';
        text += c.in.FormText(values[i], false, false);
    }
    text += '\n';
    writePrinting(c.in, text);
    return kNone;
}

Ref primType(PrimCall& c) {
    const std::vector<Ref> values = allInputs(c);
    if (c.abandoned) return kNone;
    std::string text;
    for (Ref v : values) text += c.in.FormText(v, false, false);
    writePrinting(c.in, text);
    return kNone;
}

Ref primShow(PrimCall& c) {
    Interpreter& in = c.in;
    const bool saved = in.printing;
    in.printing = true;
    in.ShowForm(c.args[0]);
    in.write("\n");
    in.printing = saved;
    return kNone;
}

const PrimitiveFamily kOutput("output", {
    {"PRINT", primPrint},
    {"PR", primPrint},
    {"TYPE", primType},
    {"SHOW", primShow},
});

} // namespace

} // namespace cv::script
