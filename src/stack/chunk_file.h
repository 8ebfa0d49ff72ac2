#pragma once
// The chunk area of a stack: typed data items (icons, sounds, action lists, links, plug-in
// settings, fonts, the saved workspace) named by a four-character type and a 16-bit id.
// Open chunk areas form one process-wide list; the most recently opened one is current.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/file_io.h"
#include "core/handles.h"

namespace cv {

// Result codes shared by the stack document layer.
enum : int { kOk = 0, kErrIO = -1, kErrDamaged = -12, kErrNotFound = 16 };

constexpr uint32_t kChunkHeaderSize = 68;
constexpr uint32_t kChunkRemoved = 0x80000000u;
constexpr uint32_t kChunkNameSize = 32;

struct ChunkEntry {
    uint32_t type = 0;
    uint16_t id = 0;
    uint16_t marker = 0;          // header bytes 6-7 as read (low byte first)
    uint8_t name[kChunkNameSize] = {};
    uint32_t attributes = 0;
    uint32_t dataLength = 0;      // as stored
    Handle data = 0;              // loaded data, native form for the converted types
    uint32_t headerOffset = 0;    // where its header is in the file (for reloading)
    // Data whose records do not fit (a damaged action list or link), kept as stored: lookups
    // see an empty handle, and a save writes these bytes back as they were read.
    std::shared_ptr<const std::vector<uint8_t>> unreadable;
    bool removed() const { return (attributes & kChunkRemoved) != 0; }
};

struct ChunkFile {
    uint32_t refNum = 0;
    uint32_t flags = 0;           // bit 0: scratch file, deleted when closed
    uint32_t firstHeaderOffset = 0;
    uint32_t lastId = 0;          // where the search for a new id starts
    std::vector<ChunkEntry> directory;
    std::string path;
    // Called on data read again after it was purged, so that it gets the same load-time
    // changes as the data read at open (the open stack sets it).
    std::function<void(ChunkEntry&)> finishReload;
};

// Opens the chunk area of `path` whose first header is at `firstHeaderOffset`. Returns its
// reference number (it becomes current), or 0; `result` gets 0, -1 or -12.
uint32_t OpenChunkFile(const std::string& path, uint32_t firstHeaderOffset, int* result = nullptr);
void CloseChunkFile(uint32_t refNum);
// Scratch file in the temporary folder, deleted when closed.
uint32_t OpenScratchChunkFile();
// "Samples.stk" in the program folder; alerts when it is missing.
uint32_t OpenSamplesChunkFile(const std::string& programFolder);

ChunkFile* chunkFileFor(uint32_t refNum);
ChunkFile* currentChunkFile();
uint32_t CurrentChunkFile();
void SetCurrentChunkFile(uint32_t refNum);

// Lookups on the current chunk file; removed entries are skipped.
Handle GetChunk(uint32_t type, uint16_t id);
Handle GetIndexedChunk(uint32_t type, int index);
Handle GetNamedChunk(uint32_t type, const uint8_t* pname);
int CountChunks(uint32_t type);
int ChunkIndexOf(uint32_t refNum, uint32_t type, uint16_t id);
uint32_t ChunkSizeOf(uint32_t refNum, uint32_t type, uint16_t id);
int GetChunkInfo(Handle data, uint32_t* type, uint16_t* id, uint8_t* name, uint32_t* attributes);
void GetChunkName(uint32_t type, uint16_t id, uint8_t* name);
int AddChunk(Handle data, uint32_t attributes, uint32_t type, uint16_t id, const uint8_t* pname,
             uint16_t* assignedId = nullptr);
int RemoveChunk(uint32_t type, uint16_t id);
// The same for entries already at hand (walks over a whole directory).
Handle ChunkEntryData(ChunkFile& cf, ChunkEntry& e);
void RemoveChunkEntry(ChunkEntry& e);
int DetachChunk(Handle data);
uint16_t UniqueChunkId(ChunkFile& cf);
uint64_t TotalChunkBytes(uint32_t refNum);
// Writes every live chunk at the writer's position, which is `offset` in the new file. The
// new directory (removed entries dropped, header offsets in the new file) is returned in
// `written` and takes effect with CommitChunkWrite once the whole save has succeeded.
struct ChunkWrite {
    std::vector<ChunkEntry> directory;
    uint64_t end = 0;
};
int WriteChunks(OutFile& out, uint64_t offset, uint32_t refNum, ChunkWrite* written,
                bool macText = false);
void CommitChunkWrite(uint32_t refNum, ChunkWrite&& written, const std::string& newPath);

// Loading of purged data on lookup (on by default).
void SetChunkLoading(bool on);
bool ChunkLoading();

// Whether a type is one of the ten known chunk types.
bool isKnownChunkType(uint32_t type);
std::string fourCCText(uint32_t type);

} // namespace cv
