#pragma once
// Plug-in libraries made in the test: a loader that hands out scripted libraries for the
// files of a folder, and a stack holding 'NBAs' records.
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/byte_order.h"
#include "core/settings.h"
#include "media/nba/nba_manager.h"
#include "stack/chunk_file.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"

namespace cvtest {

struct FakePlugin {
    bool entry = true;
    std::optional<cv::PluginResources> resources;
    std::function<int32_t(cv::NativeBlock&)> onCall;
};

class FakeLoader : public cv::PluginLoader {
public:
    struct Call {
        std::string file;
        uint16_t message;
    };
    std::map<std::string, FakePlugin> plugins;  // by file name
    std::map<std::string, int> loads, unloads;
    std::vector<Call> calls;

    std::unique_ptr<cv::PluginLibrary> load(const std::string& path, std::string* error) override;
    int live(const std::string& file) { return loads[file] - unloads[file]; }
    std::vector<std::string> calledFiles(uint16_t message) const {
        std::vector<std::string> out;
        for (const Call& c : calls)
            if (c.message == message) out.push_back(c.file);
        return out;
    }
};

inline std::unique_ptr<cv::PluginLibrary> FakeLoader::load(const std::string& path, std::string* error) {
    const std::string file = std::filesystem::path(path).filename().string();
    auto it = plugins.find(file);
    if (it == plugins.end()) {
        if (error) *error = "not a library";
        return nullptr;
    }
    ++loads[file];
    struct Lib : cv::PluginLibrary {
        FakeLoader& loader;
        std::string file;
        Lib(FakeLoader& l, std::string f) : loader(l), file(std::move(f)) {}
        ~Lib() override { ++loader.unloads[file]; }
        bool hasEntry() const override { return loader.plugins[file].entry; }
        std::optional<cv::PluginResources> resources() override { return loader.plugins[file].resources; }
        int32_t call(cv::NativeBlock& b) override {
            loader.calls.push_back({file, b.block.command()});
            const auto& on = loader.plugins[file].onCall;
            return on ? on(b) : 0;
        }
    };
    return std::make_unique<Lib>(*this, file);
}

// An empty file of that name in `folder`, so that the folder lookup finds it.
inline void touch(const std::filesystem::path& folder, const std::string& name) {
    std::filesystem::create_directories(folder);
    std::ofstream(folder / name) << "x";
}

// A new stack (scratch chunk file) holding 'NBAs' records: id -> library file name.
inline void stackWithNBAs(const std::vector<std::pair<uint16_t, std::string>>& nbas) {
    cv::NewStack(512, 342, 8);
    cv::theStack().chunkFile = cv::OpenScratchChunkFile();
    cv::SetCurrentChunkFile(cv::theStack().chunkFile);
    for (const auto& [id, file] : nbas) {
        cv::PluginResources r;
        r.fileName = file;
        r.shortName = file.substr(0, file.find('.'));
        r.nbaId = id;
        const cv::Handle h = cv::MakeNBARecord(r);
        uint8_t pname[33] = {uint8_t(r.shortName.size())};
        std::copy(r.shortName.begin(), r.shortName.end(), pname + 1);
        cv::AddChunk(h, 0, cv::chunk::kNBAs, id, pname);
    }
}

inline uint32_t dataWordOf(uint16_t id) {
    cv::SetCurrentChunkFile(cv::theStack().chunkFile);
    return cv::loadBE32(cv::memRefs().data(cv::GetChunk(cv::chunk::kNBAs, id)) + cv::nbarec::kDataWord);
}

} // namespace cvtest
