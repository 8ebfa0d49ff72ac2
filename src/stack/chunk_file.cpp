#include "stack/chunk_file.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <list>
#include <memory>
#include <unistd.h>

#include "core/alerts.h"
#include "core/byte_order.h"
#include "core/file_io.h"
#include "core/mac_charset.h"
#include "core/pstring.h"
#include "core/ui.h"
#include "resources/strings.h"
#include "stack/record_convert.h"
#include "stack/record_layout.h"

namespace cv {

namespace {

constexpr uint32_t kNotInFile = UINT32_MAX;

std::list<std::unique_ptr<ChunkFile>> g_files; // newest first
ChunkFile* g_current = nullptr;
uint32_t g_nextRef = 1;
bool g_loading = true;

constexpr uint32_t kKnownTypes[] = {
    chunk::kWKSp, chunk::kStrk, chunk::kCVpr, chunk::kFntL, chunk::kIcon,
    chunk::kSnd,  chunk::kActn, chunk::kHlnk, chunk::kNBAs, chunk::kWkSp,
};

uint32_t roundUp4(uint32_t n) { return (n + 3u) & ~3u; }

// Converts freshly read chunk data to its in-memory form; false when it is damaged.
bool dataToNative(uint32_t type, std::vector<uint8_t>& d) {
    if (type == chunk::kActn) return convertActionList(d.data(), uint32_t(d.size()), Convert::ToNative);
    if (type == chunk::kHlnk) return convertLinkToNative(d);
    if (type == chunk::kNBAs && d.size() >= 8) std::memset(d.data() + 4, 0, 4);
    return true;
}

// Action list names of a Macintosh stack go back to the Macintosh set when written.
void actionListNameToMac(uint32_t type, std::vector<uint8_t>& d) {
    uint32_t at = 0;
    if (type == chunk::kHlnk) {
        if (d.size() < hlnk::kHeaderSize || !get16(d.data() + hlnk::kHasAction)) return;
        at = hlnk::kHeaderSize + get16(d.data() + hlnk::kTextLength) + get16(d.data() + hlnk::kAfterLength);
    }
    if (d.size() < at + actionlist::kName + 32) return;
    uint8_t* name = d.data() + at + actionlist::kName;
    windowsToMac(name + 1, std::min<uint32_t>(name[0], 31));
}

// The stored form of an entry's data, as it goes to the file.
bool dataToStored(uint32_t type, std::vector<uint8_t>& d) {
    if (type == chunk::kActn) return convertActionList(d.data(), uint32_t(d.size()), Convert::ToStored);
    if (type == chunk::kHlnk) return convertLinkToStored(d);
    return true;
}

// Where a file read front to back stands, so that reading on needs no seek: opening a stack
// reads thousands of headers in a row, and a seek costs a system call and the read buffer.
struct ForwardReader {
    static constexpr uint64_t kUnknown = UINT64_MAX;
    File& f;
    uint64_t at = kUnknown;

    bool readAt(uint64_t pos, void* dst, size_t n) {
        uint8_t gap[16];
        if (pos != at) {
            // A slot's few padding bytes are read past; anything else is sought.
            const bool near = at != kUnknown && pos > at && pos - at <= sizeof gap;
            if (near ? !f.read(gap, size_t(pos - at)) : !f.seek(pos)) {
                at = kUnknown;
                return false;
            }
        }
        if (!f.read(dst, n)) {
            at = kUnknown;
            return false;
        }
        at = pos + n;
        return true;
    }
};

// Reads and converts an entry's data from the file into a new handle (0 on failure). Data
// that cannot be converted fails with -12 and, when `unreadable` is given, is kept there as
// read.
Handle readEntryData(ForwardReader& r, const ChunkEntry& e, int* result,
                     std::shared_ptr<const std::vector<uint8_t>>* unreadable = nullptr) {
    std::vector<uint8_t> bytes;
    const bool converted = e.type == chunk::kActn || e.type == chunk::kHlnk || e.type == chunk::kNBAs;
    if (!converted) {
        // Read straight into the handle: large sounds are not copied twice.
        Handle h = NewHandle(e.dataLength);
        if (!h) { *result = kErrIO; return 0; }
        if (!r.readAt(uint64_t(e.headerOffset) + kChunkHeaderSize, memRefs().data(h), e.dataLength)) {
            DisposeHandle(h);
            *result = kErrIO;
            return 0;
        }
        return h;
    }
    bytes.resize(e.dataLength);
    if (!r.readAt(uint64_t(e.headerOffset) + kChunkHeaderSize, bytes.data(), bytes.size())) {
        *result = kErrIO;
        return 0;
    }
    std::vector<uint8_t> stored;
    if (unreadable) stored = bytes;
    if (!dataToNative(e.type, bytes)) {
        if (unreadable) *unreadable = std::make_shared<const std::vector<uint8_t>>(std::move(stored));
        *result = kErrDamaged;
        return 0;
    }
    Handle h = NewHandleFrom(bytes.data(), uint32_t(bytes.size()));
    if (!h) *result = kErrIO;
    return h;
}

// Reads the header at `pos` into `e` and, unless removed, its data. Returns 0, -1 or -12.
int readChunkHeader(ForwardReader& r, uint64_t pos, int64_t fileSize, ChunkEntry& e, uint64_t* next) {
    uint8_t h[kChunkHeaderSize];
    if (!r.readAt(pos, h, sizeof h)) return kErrIO;
    e.type = loadBE32(h);
    e.id = loadBE16(h + 4);
    e.marker = loadLE16(h + 6);
    std::memcpy(e.name, h + 8, kChunkNameSize);
    e.attributes = loadBE32(h + 40);
    e.dataLength = loadBE32(h + 44);
    const uint32_t slot = loadBE32(h + 48);
    e.headerOffset = static_cast<uint32_t>(pos);
    e.data = 0;
    if (pos + slot + kChunkHeaderSize > static_cast<uint64_t>(fileSize)) return kErrDamaged;
    if (!isKnownChunkType(e.type) && (e.marker < 0x4321 || e.marker > 0x4325)) return kErrDamaged;
    if (e.dataLength > slot) return kErrDamaged;
    *next = pos + kChunkHeaderSize + slot;
    if (e.removed()) return kOk;
    int result = kOk;
    e.data = readEntryData(r, e, &result, &e.unreadable);
    if (!e.data && e.unreadable) {
        // Its header is sound, so the chunks after it are too: this one alone cannot be used.
        e.data = NewHandle(0);
        return e.data ? kOk : kErrIO;
    }
    return e.data ? kOk : result;
}

void disposeEntries(std::vector<ChunkEntry>& dir, size_t from) {
    for (size_t i = from; i < dir.size(); ++i) {
        DisposeHandle(dir[i].data);
        dir[i].data = 0;
    }
}

ChunkEntry* findLive(ChunkFile* cf, uint32_t type, uint16_t id) {
    if (!cf) return nullptr;
    for (auto& e : cf->directory)
        if (!e.removed() && e.type == type && e.id == id) return &e;
    return nullptr;
}

// Makes sure a live entry's data is there: reloaded from the file, or an empty handle when
// loading is off or the file cannot give it back.
Handle ensureLoaded(ChunkFile& cf, ChunkEntry& e) {
    if (e.unreadable) {
        if (!IsHandleValid(e.data)) e.data = NewHandle(0);
        return e.data;
    }
    const bool present = IsHandleValid(e.data) && (GetHandleSize(e.data) > 0 || e.dataLength == 0);
    if (present) return e.data;
    if (!IsHandleValid(e.data)) e.data = 0;
    if (g_loading && e.headerOffset != kNotInFile) {
        File f(cf.path, "rb");
        ForwardReader r{f};
        int result = kOk;
        Handle h = f ? readEntryData(r, e, &result) : 0;
        if (h) {
            DisposeHandle(e.data);
            e.data = h;
            if (cf.finishReload) cf.finishReload(e);
            return e.data;
        }
    }
    if (!e.data) e.data = NewHandle(0);
    return e.data;
}

} // namespace

bool isKnownChunkType(uint32_t type) {
    return std::find(std::begin(kKnownTypes), std::end(kKnownTypes), type) != std::end(kKnownTypes);
}

std::string fourCCText(uint32_t t) {
    std::string s(4, ' ');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((t >> (24 - 8 * i)) & 0xFF);
    return s;
}

void SetChunkLoading(bool on) { g_loading = on; }
bool ChunkLoading() { return g_loading; }

ChunkFile* chunkFileFor(uint32_t ref) {
    for (auto& f : g_files)
        if (f->refNum == ref) return f.get();
    return nullptr;
}
ChunkFile* currentChunkFile() { return g_current; }
uint32_t CurrentChunkFile() { return g_current ? g_current->refNum : 0; }
void SetCurrentChunkFile(uint32_t ref) {
    if (ChunkFile* cf = chunkFileFor(ref)) g_current = cf;
}

uint32_t OpenChunkFile(const std::string& path, uint32_t firstHeaderOffset, int* resultOut) {
    int dummy;
    int& result = resultOut ? *resultOut : dummy;
    result = kOk;
    File f(path, "rb");
    if (!f) { result = kErrIO; return 0; }
    auto cf = std::make_unique<ChunkFile>();
    cf->path = path;
    cf->firstHeaderOffset = firstHeaderOffset;
    uint8_t counts[8];
    if (!f.readAt(hdr::kChunkCount, counts, sizeof counts)) { result = kErrIO; return 0; }
    const uint32_t count = loadBE32(counts);
    cf->lastId = loadBE32(counts + 4);
    const int64_t fileSize = f.size();
    cf->directory.reserve(std::min<uint32_t>(count, 65536));

    uint64_t pos = firstHeaderOffset;
    ForwardReader reader{f};
    for (uint32_t k = 1; k <= count; ++k) {
        ChunkEntry e;
        const int r = readChunkHeader(reader, pos, fileSize, e, &pos);
        if (r == kOk) {
            cf->directory.push_back(e);
            continue;
        }
        if (r == kErrDamaged && showAlert(kStrRepairChunks, false, true) == kAnswerFirst) {
            // Keep what came before the last good header: its slot may be what misled us.
            disposeEntries(cf->directory, k >= 2 ? k - 2 : 0);
            cf->directory.resize(k >= 2 ? k - 2 : 0);
            break;
        }
        disposeEntries(cf->directory, 0);
        result = r;
        return 0;
    }
    cf->refNum = g_nextRef++;
    g_current = cf.get();
    g_files.push_front(std::move(cf));
    return g_current->refNum;
}

void CloseChunkFile(uint32_t ref) {
    auto it = std::find_if(g_files.begin(), g_files.end(), [&](auto& f) { return f->refNum == ref; });
    if (it == g_files.end()) return;
    std::unique_ptr<ChunkFile> cf = std::move(*it);
    g_files.erase(it);
    disposeEntries(cf->directory, 0);
    if (cf->flags & 1) {
        std::error_code ec;
        std::filesystem::remove(cf->path, ec);
    }
    if (g_current == cf.get()) g_current = g_files.empty() ? nullptr : g_files.front().get();
}

uint32_t OpenScratchChunkFile() {
    std::error_code ec;
    std::string dir = std::filesystem::temp_directory_path(ec).string();
    if (ec) dir = "/tmp";
    std::string tmpl = dir + "/CVTXXXXXX";
    int fd = mkstemp(tmpl.data());
    if (fd < 0) return 0;
    uint8_t header[hdr::kSize] = {};
    storeBE32(header + hdr::kChunkOffset, hdr::kSize);
    storeBE32(header + hdr::kChunkCount, 0);
    storeBE32(header + hdr::kLastChunkId, 1);
    const bool ok = ::write(fd, header, sizeof header) == static_cast<ssize_t>(sizeof header);
    ::close(fd);
    if (!ok) {
        std::filesystem::remove(tmpl, ec);
        return 0;
    }
    const uint32_t ref = OpenChunkFile(tmpl, hdr::kSize);
    if (ChunkFile* cf = chunkFileFor(ref)) cf->flags |= 1;
    else std::filesystem::remove(tmpl, ec);
    return ref;
}

uint32_t OpenSamplesChunkFile(const std::string& programFolder) {
    const std::string path = (std::filesystem::path(programFolder) / "Samples.stk").string();
    File f(path, "rb");
    uint8_t off[4];
    if (!f || !f.readAt(hdr::kChunkOffset, off, 4)) {
        showAlert(kStrSamplesMissing);
        return 0;
    }
    f.close();
    return OpenChunkFile(path, loadBE32(off));
}

Handle GetChunk(uint32_t type, uint16_t id) {
    ChunkEntry* e = findLive(g_current, type, id);
    return e ? ensureLoaded(*g_current, *e) : 0;
}

Handle GetIndexedChunk(uint32_t type, int index) {
    if (!g_current || index < 1) return 0;
    for (auto& e : g_current->directory) {
        if (e.removed() || e.type != type) continue;
        if (--index == 0) return ensureLoaded(*g_current, e);
    }
    return 0;
}

Handle GetNamedChunk(uint32_t type, const uint8_t* pname) {
    if (!g_current) return 0;
    for (auto& e : g_current->directory) {
        if (e.removed() || e.type != type) continue;
        if (e.name[0] < kChunkNameSize && PStringEqualNoCase(e.name, pname))
            return ensureLoaded(*g_current, e);
    }
    return 0;
}

int CountChunks(uint32_t type) {
    if (!g_current) return 0;
    int n = 0;
    for (auto& e : g_current->directory) n += (!e.removed() && e.type == type);
    return n;
}

int ChunkIndexOf(uint32_t ref, uint32_t type, uint16_t id) {
    ChunkFile* cf = chunkFileFor(ref);
    if (!cf) return 0;
    int index = 0;
    for (auto& e : cf->directory) {
        if (e.removed() || e.type != type) continue;
        ++index;
        if (e.id == id) return index;
    }
    return 0;
}

uint32_t ChunkSizeOf(uint32_t ref, uint32_t type, uint16_t id) {
    ChunkEntry* e = findLive(chunkFileFor(ref), type, id);
    return e ? e->dataLength : 0;
}

int GetChunkInfo(Handle data, uint32_t* type, uint16_t* id, uint8_t* name, uint32_t* attributes) {
    if (!g_current || !data) return kErrNotFound;
    for (auto& e : g_current->directory) {
        if (e.removed() || e.data != data) continue;
        if (type) *type = e.type;
        if (id) *id = e.id;
        if (name) std::memcpy(name, e.name, kChunkNameSize);
        if (attributes) *attributes = e.attributes;
        return kOk;
    }
    return kErrNotFound;
}

void GetChunkName(uint32_t type, uint16_t id, uint8_t* name) {
    if (ChunkEntry* e = findLive(g_current, type, id)) PStringCopyLimited(name, e->name, kChunkNameSize);
}

uint16_t UniqueChunkId(ChunkFile& cf) {
    // The ids in use are marked in one pass: searching the directory once per try is
    // quadratic in a stack whose ids are dense.
    std::vector<bool> used(65536, false);
    for (const ChunkEntry& e : cf.directory) used[e.id] = true;
    uint32_t v = cf.lastId & 0xFFFF;
    for (int tries = 0; tries < 65536; ++tries) {
        v = (v + 1) & 0xFFFF;
        if (v == 0 || used[v]) continue;
        cf.lastId = v;
        return static_cast<uint16_t>(v);
    }
    return 0;
}

int AddChunk(Handle data, uint32_t attributes, uint32_t type, uint16_t id, const uint8_t* pname,
             uint16_t* assignedId) {
    if (!g_current || !IsHandleValid(data)) return kErrNotFound;
    if (id == 0) id = UniqueChunkId(*g_current);
    if (id == 0) return kErrNotFound;
    ChunkEntry e;
    e.type = type;
    e.id = id;
    e.attributes = attributes & ~kChunkRemoved;
    e.dataLength = GetHandleSize(data);
    e.data = data;
    e.headerOffset = kNotInFile;
    if (pname && pname[0] > 0 && pname[0] < kChunkNameSize) PStringCopy(e.name, pname);
    g_current->directory.push_back(e);
    if (assignedId) *assignedId = id;
    return kOk;
}

int RemoveChunk(uint32_t type, uint16_t id) {
    ChunkEntry* e = findLive(g_current, type, id);
    if (!e) return kErrNotFound;
    RemoveChunkEntry(*e);
    return kOk;
}

void RemoveChunkEntry(ChunkEntry& e) {
    DisposeHandle(e.data);
    e.data = 0;
    e.attributes |= kChunkRemoved;
}

Handle ChunkEntryData(ChunkFile& cf, ChunkEntry& e) { return e.removed() ? 0 : ensureLoaded(cf, e); }

int DetachChunk(Handle data) {
    if (!g_current || !data) return kErrNotFound;
    for (auto& e : g_current->directory) {
        if (e.removed() || e.data != data) continue;
        Handle copy = data;
        if (DetachCopy(&copy) != 0) return kErrNotFound;
        e.data = copy;
        return kOk;
    }
    return kErrNotFound;
}

uint64_t TotalChunkBytes(uint32_t ref) {
    ChunkFile* cf = chunkFileFor(ref);
    if (!cf) return 0;
    uint64_t total = 0;
    for (auto& e : cf->directory) {
        const uint32_t len = e.unreadable       ? uint32_t(e.unreadable->size())
                             : IsHandleValid(e.data) ? GetHandleSize(e.data)
                                                     : e.dataLength;
        total += kChunkHeaderSize + roundUp4(len);
    }
    return total;
}

int WriteChunks(OutFile& file, uint64_t offset, uint32_t ref, ChunkWrite* out, bool macText) {
    ChunkFile* cf = chunkFileFor(ref);
    if (!cf) return kErrNotFound;
    // Everything must be in memory before the file (possibly the one we read from) changes.
    const bool loading = g_loading;
    g_loading = true;
    for (auto& e : cf->directory)
        if (!e.removed()) ensureLoaded(*cf, e);
    g_loading = loading;

    if (file.position() != offset) return kErrIO;
    uint64_t pos = offset;
    std::vector<std::pair<uint32_t, uint32_t>> written; // header offset, stored length
    written.reserve(cf->directory.size());
    std::vector<uint8_t> converted;
    for (auto& e : cf->directory) {
        if (e.removed()) continue;
        const uint8_t* data = memRefs().data(e.data);
        uint32_t len = GetHandleSize(e.data);
        if (e.unreadable) {
            data = e.unreadable->data();
            len = uint32_t(e.unreadable->size());
        } else if (e.type == chunk::kActn || e.type == chunk::kHlnk) {
            converted.assign(data, data + len);
            if (macText) actionListNameToMac(e.type, converted);
            if (!dataToStored(e.type, converted)) return kErrIO;
            data = converted.data();
            len = static_cast<uint32_t>(converted.size());
        }
        const uint32_t slot = roundUp4(len);
        uint8_t h[kChunkHeaderSize] = {};
        storeBE32(h, e.type);
        storeBE16(h + 4, e.id);
        storeLE16(h + 6, e.marker);
        std::memcpy(h + 8, e.name, kChunkNameSize);
        storeBE32(h + 40, e.attributes);
        storeBE32(h + 44, len);
        storeBE32(h + 48, slot);
        if (pos > UINT32_MAX) return kErrIO; // offsets in the file are 32-bit
        if (!file.write(h, sizeof h) || !file.write(data, len) || !file.writeZeros(slot - len)) return kErrIO;
        written.emplace_back(static_cast<uint32_t>(pos), len);
        pos += kChunkHeaderSize + slot;
    }

    // The directory as it will describe the new file.
    size_t k = 0;
    out->directory.clear();
    out->directory.reserve(written.size());
    for (auto& e : cf->directory) {
        if (e.removed()) continue;
        ChunkEntry n = e;
        n.headerOffset = written[k].first;
        n.dataLength = written[k].second;
        ++k;
        out->directory.push_back(n);
    }
    out->end = pos;
    return kOk;
}

void CommitChunkWrite(uint32_t ref, ChunkWrite&& written, const std::string& newPath) {
    ChunkFile* cf = chunkFileFor(ref);
    if (!cf) return;
    // Removed entries have no data left; live ones keep theirs in the new directory.
    cf->directory = std::move(written.directory);
    if ((cf->flags & 1) && cf->path != newPath) {
        // A scratch file that has been saved as a stack: the stack is now where its chunks live.
        std::error_code ec;
        std::filesystem::remove(cf->path, ec);
        cf->flags &= ~1u;
    }
    cf->path = newPath;
}

} // namespace cv
