#include "player/script_windows.h"

#include "core/ui.h"
#include "script/interpreter.h"
#include "script/script_files.h"

namespace cv {

namespace {
// The text window keeps this much of what was printed, headless.
constexpr size_t kHeadlessTextLimit = 1 << 20;
} // namespace

LineSourceKind chooseLineSource(RunOrigin origin, bool turtleIO, bool runBoxOpen) {
    if (turtleIO && !runBoxOpen) return LineSourceKind::ReadDialog;
    if (origin == RunOrigin::TextWindow) return LineSourceKind::TextWindowEditor;
    return runBoxOpen ? LineSourceKind::RunBox : LineSourceKind::EmptyLine;
}

class ScriptWindows::Input final : public script::LineInput {
public:
    Input(ScriptWindows& w, RunOrigin o) : windows(w), origin(o) {}
    bool readLine(char prompt, std::string& line) override { return windows.readLine(origin, prompt, line); }
    bool choosesReadDialog() const override { return true; }
    ScriptWindows& windows;
    RunOrigin origin;
};

ScriptWindows::ScriptWindows(script::Interpreter& in) : in_(in) {
    for (size_t i = 0; i < inputs_.size(); ++i) inputs_[i] = new Input(*this, RunOrigin(i));
}

ScriptWindows::~ScriptWindows() {
    for (Input* i : inputs_) delete i;
}

script::LineInput& ScriptWindows::lineInput(RunOrigin origin) { return *inputs_[size_t(origin) & 3]; }

bool ScriptWindows::readLine(RunOrigin origin, char prompt, std::string& line) {
    // No line (READWORD then has an empty one; a definition being read ends).
    line.clear();
    if (!view_) return false;
    // A window can be asked once at a time; a script started from a button while another
    // waits for its line gets no line rather than taking that one.
    if (reading_ > 0) return false;
    TypedLine typed;
    ++reading_;
    switch (chooseLineSource(origin, in_.turtleIO, view_->runBoxOpen())) {
    case LineSourceKind::ReadDialog: {
        const script::ReadDialogSettings& d = in_.family<script::ReadDialogSettings>();
        ReadRect rect;
        if (d.rectSet) rect = std::array<int, 4>{d.rect[0], d.rect[1], d.rect[2], d.rect[3]};
        typed = view_->readDialog(d.prompt, rect);
        break;
    }
    case LineSourceKind::TextWindowEditor: typed = view_->textWindowLine(prompt); break;
    case LineSourceKind::RunBox:
        readPending_ = true;
        typed = view_->runBoxLine(prompt);
        readPending_ = false;
        break;
    case LineSourceKind::EmptyLine: break;
    }
    --reading_;
    if (typed.end == TypedLine::End::Stopped) {
        in_.stopRequested = true;
        return false;
    }
    if (typed.end != TypedLine::End::Line) return false;
    for (char c : typed.text)
        if (c != '\n' && c != '\r') line.push_back(c);
    return true;
}

void HeadlessScriptWindows::appendText(std::string_view bytes) {
    text_.append(bytes);
    if (text_.size() > kHeadlessTextLimit) {
        const size_t cut = text_.size() - kHeadlessTextLimit;
        text_.erase(0, cut);
        taken_ = taken_ > cut ? taken_ - cut : 0;
    }
}

std::string HeadlessScriptWindows::takeNewText() {
    std::string out = text_.substr(std::min(taken_, text_.size()));
    taken_ = text_.size();
    return out;
}

TypedLine HeadlessScriptWindows::runBoxLine(char prompt) {
    (void)prompt;
    if (!runBoxOpen_ || runBoxLines_.empty()) return {TypedLine::End::Closed, {}};
    TypedLine t{TypedLine::End::Line, std::move(runBoxLines_.front())};
    runBoxLines_.pop_front();
    return t;
}

TypedLine HeadlessScriptWindows::textWindowLine(char prompt) {
    if (textWindowLines_.empty()) return {TypedLine::End::Stopped, {}};
    std::string line = std::move(textWindowLines_.front());
    textWindowLines_.pop_front();
    // The editor echoes the prompt and the line, and holds at most its limit.
    if (line.size() > kTextWindowLineLimit) line.resize(kTextWindowLineLimit);
    appendText(std::string(1, prompt) + line + "\n");
    return {TypedLine::End::Line, std::move(line)};
}

TypedLine HeadlessScriptWindows::readDialog(std::string_view prompt, const ReadRect& rect) {
    lastReadPrompt = std::string(prompt);
    lastReadRect = rect;
    const auto answer = ui().askText("READ", prompt, "");
    if (!answer) return {TypedLine::End::Closed, {}};
    return {TypedLine::End::Line, *answer};
}

bool HeadlessScriptWindows::editScript(std::string_view title, const std::string& text,
                                       const std::function<bool(const std::string&)>& define) {
    editorTitle = std::string(title);
    editorTexts.push_back(text);
    while (!edits_.empty()) {
        const std::string edited = std::move(edits_.front());
        edits_.pop_front();
        if (define(edited)) return true;
        editorTexts.push_back(edited);  // refused: it stays in the editor
    }
    return true;
}

} // namespace cv
