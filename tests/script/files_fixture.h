#pragma once
// Scripts run with their file names taken in a temporary folder of their own.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

#include "script/script_files.h"
#include "script_fixture.h"

namespace cv::script::test {

class FilesTest : public ScriptTest {
protected:
    FilesTest() {
        std::string templ = (std::filesystem::temp_directory_path() / "cvfilesXXXXXX").string();
        dir = ::mkdtemp(templ.data()) ? templ : std::string();
        scriptFiles(in).setPrefix(dir.string());
    }
    ~FilesTest() override {
        scriptFiles(in).closeAll();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::filesystem::path at(const std::string& name) const { return dir / name; }
    std::string contents(const std::string& name) const {
        std::ifstream f(at(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    void put(const std::string& name, const std::string& text) const {
        std::ofstream f(at(name), std::ios::binary);
        f << text;
    }
    // Whether an entry of that name is there (a link counts, wherever it leads).
    bool exists(const std::string& name) const {
        std::error_code ec;
        return std::filesystem::exists(std::filesystem::symlink_status(at(name), ec));
    }

    std::filesystem::path dir;
};

} // namespace cv::script::test
