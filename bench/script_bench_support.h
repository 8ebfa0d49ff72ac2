#pragma once
// What the interpreter benchmarks share: printed text kept, and error boxes kept instead of shown.
#include <string>
#include <string_view>

#include "core/ui.h"
#include "script/script_host.h"

namespace cv::bench {

class Capture final : public script::TextOutput {
public:
    void write(std::string_view bytes) override { text.append(bytes); }
    std::string text;
};

class QuietUi final : public HeadlessUi {
public:
    void messageBox(std::string_view, std::string_view text) override { errors.append(text); }
    std::string errors;
};

} // namespace cv::bench
