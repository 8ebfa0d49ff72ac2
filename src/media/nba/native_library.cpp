// Plug-ins built for this machine: shared libraries opened with QLibrary.
#include <QLibrary>

#include <cstring>

#include "media/nba/plugin_library.h"
#include "media/nba/wine_library.h"

namespace cv {

namespace {

// A text a library hands over, cut to `limit` bytes (a pointer it gives may be anything).
std::string boundedText(const char* s, size_t limit) {
    if (!s) return {};
    const void* end = std::memchr(s, 0, limit);
    return std::string(s, end ? size_t(static_cast<const char*>(end) - s) : limit);
}

class NativeLibrary final : public PluginLibrary {
public:
    explicit NativeLibrary(std::unique_ptr<QLibrary> lib) : lib_(std::move(lib)) {
        entry_ = reinterpret_cast<NBAMainFunction>(lib_->resolve(NBA_ENTRY_NAME));
    }
    ~NativeLibrary() override { lib_->unload(); }

    bool hasEntry() const override { return entry_ != nullptr; }

    std::optional<PluginResources> resources() override {
        const auto get = reinterpret_cast<NBAResourcesFunction>(lib_->resolve(NBA_RESOURCES_NAME));
        if (!get) return std::nullopt;
        const NBAResources* r = get();
        // A table smaller than the fields we read comes from a plug-in we cannot read.
        if (!r || r->size < sizeof(NBAResources)) return std::nullopt;
        PluginResources out;
        out.fileName = boundedText(r->fileName, 255);
        out.shortName = boundedText(r->shortName, 31);
        out.aboutText = boundedText(r->aboutText, 32000 - 561);
        out.aboutFlags = r->aboutFlags;
        out.nbaId = r->nbaId;
        return out;
    }

    int32_t call(NativeBlock& block) override {
        if (!entry_) return 0;
        return entry_(reinterpret_cast<uint8_t*>(&block));
    }

private:
    std::unique_ptr<QLibrary> lib_;
    NBAMainFunction entry_ = nullptr;
};

class NativeLoader final : public PluginLoader {
public:
    std::unique_ptr<PluginLibrary> load(const std::string& path, std::string* error) override {
        // The stacks' original plug-ins are 32-bit Windows libraries: they run under Wine.
        if (isWindowsLibrary(path)) return winePluginLoader().load(path, error);
        auto lib = std::make_unique<QLibrary>(QString::fromStdString(path));
        // Every symbol is bound now: a library missing one fails here, not in the middle of a call.
        lib->setLoadHints(QLibrary::ResolveAllSymbolsHint);
        if (!lib->load()) {
            if (error) *error = lib->errorString().toStdString();
            return nullptr;
        }
        return std::make_unique<NativeLibrary>(std::move(lib));
    }
};

} // namespace

PluginLoader& nativePluginLoader() {
    static NativeLoader loader;
    return loader;
}

} // namespace cv
