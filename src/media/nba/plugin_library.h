#pragma once
// Loading a plug-in library (an NBA or an Extra): the one step that differs between kinds of
// library. A loader opens a file and hands back a library; the library says whether it has
// the entry, reads its resources and runs the entry on the native block; destroying it
// unloads it. The native libraries of this machine are loaded with QLibrary; another kind of
// loader can stand beside it without the rest knowing.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "media/nba_abi.h"
#include "script/script_host.h"

namespace cv {

// The block a plug-in is given: the 78 bytes, then the host table's pointer at offset 80.
struct NativeBlock {
    script::NBAParamBlock block;
    uint8_t padding[NBA_HOST_TABLE_OFFSET - NBA_BLOCK_SIZE] = {};
    const NBAHostTable* host = nullptr;
};
static_assert(offsetof(NativeBlock, host) == NBA_HOST_TABLE_OFFSET);
static_assert(sizeof(NativeBlock) == NBA_NATIVE_BLOCK_SIZE);

// A library's resources (its file name, short name, about text, flags and id).
struct PluginResources {
    std::string fileName;
    std::string shortName;
    std::string aboutText;
    uint16_t aboutFlags = 0;
    uint16_t nbaId = 0;
};

class PluginLibrary {
public:
    virtual ~PluginLibrary() = default;  // unloads
    // Whether the library exports NBAMain.
    virtual bool hasEntry() const = 0;
    // Its resources, or nullopt when it exports none (or they are unreadable).
    virtual std::optional<PluginResources> resources() = 0;
    // Runs NBAMain on `block`; its return value (0 when the library has no entry).
    virtual int32_t call(NativeBlock& block) = 0;
};

class PluginLoader {
public:
    virtual ~PluginLoader() = default;
    // The library in `path`, or nullptr with `error` saying why.
    virtual std::unique_ptr<PluginLibrary> load(const std::string& path, std::string* error) = 0;
};

// The loader of this machine's shared libraries.
PluginLoader& nativePluginLoader();

} // namespace cv
