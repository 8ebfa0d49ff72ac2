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

    RecordingUi ui;
    CaptureOutput out;
    Interpreter in;
};

} // namespace cv::script::test
