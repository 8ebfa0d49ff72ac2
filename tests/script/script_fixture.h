#pragma once
// Runs Quillscript text in a fresh interpreter and keeps what it printed and the error boxes
// it showed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ui.h"
#include "script/interpreter.h"

namespace cv::script::test {

class CaptureOutput final : public TextOutput {
public:
    void write(std::string_view bytes) override { text.append(bytes); }
    std::string text;
};

class RecordingUi final : public HeadlessUi {
public:
    void messageBox(std::string_view caption, std::string_view text) override {
        captions.emplace_back(caption);
        boxes.emplace_back(text);
    }
    std::vector<std::string> captions;
    std::vector<std::string> boxes;
};

class ScriptTest : public ::testing::Test {
protected:
    ScriptTest() {
        in.setUi(&ui);
        in.setRandomSeed(12345);
    }
    // Runs the text as one script run; returns what it printed.
    std::string run(std::string_view text) {
        out.text.clear();
        in.RunScript(text.data(), text.size(), nullptr, &out);
        return out.text;
    }
    // The last error box's text, or "" when none was shown.
    std::string lastError() const { return ui.boxes.empty() ? std::string() : ui.boxes.back(); }
    size_t errorCount() const { return ui.boxes.size(); }
    // The first line of the last error box (without the "At:" part).
    std::string lastMessage() const {
        const std::string e = lastError();
        return e.substr(0, e.find("\n\n"));
    }
    // The first line of the error box this run showed, or "" when it showed none.
    std::string errorOf(std::string_view text) {
        const size_t before = errorCount();
        run(text);
        return errorCount() == before ? std::string() : lastMessage();
    }

    // Runs `outer`; when it prints `trigger`, the output starts a run of `inner` of its own, as a
    // button pressed from a script does. Returns what both printed.
    std::string runReentrant(std::string_view outer, std::string_view trigger, std::string_view inner) {
        struct Reentrant final : TextOutput {
            Interpreter* in;
            std::string_view trigger, inner;
            std::string text;
            void write(std::string_view bytes) override {
                text.append(bytes);
                if (bytes == trigger) in->RunScript(inner.data(), inner.size(), nullptr, this);
            }
        } reentrant;
        reentrant.in = &in;
        reentrant.trigger = trigger;
        reentrant.inner = inner;
        in.RunScript(outer.data(), outer.size(), nullptr, &reentrant);
        return reentrant.text;
    }

    RecordingUi ui;
    CaptureOutput out;
    Interpreter in;
};

} // namespace cv::script::test
