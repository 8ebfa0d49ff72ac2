#include "stack/stack_resources.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "core/byte_order.h"
#include "core/pstring.h"
#include "stack/chunk_file.h"
#include "stack/record_convert.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"
#include "stack/stack_io.h"

namespace cv {

namespace {

bool g_reportErrors = true;

// Makes the open stack's chunk file current; false when it has none.
ChunkFile* stackChunks() {
    StackDocument& s = theStack();
    if (!s.chunkFile) return nullptr;
    SetCurrentChunkFile(s.chunkFile);
    return chunkFileFor(s.chunkFile);
}

ChunkEntry* findEntry(ChunkFile* cf, uint32_t type, uint16_t id) {
    if (!cf) return nullptr;
    for (auto& e : cf->directory)
        if (!e.removed() && e.type == type && e.id == id) return &e;
    return nullptr;
}

// What an action list (a button, an 'Actn' list or a link's action record) refers to.
struct References {
    std::set<uint16_t> icons, sounds, tracks, nbas;
};

void collectListReferences(const uint8_t* p, uint32_t size, References& refs) {
    if (size < button::kActions) return;
    const uint32_t len = std::min(get32(p + actionlist::kLength), size);
    if (get16(p + button::kButtonFlags) & 0x10) refs.icons.insert(get16(p + button::kIconId));
    const uint16_t summary = get16(p + button::kSummary);
    uint32_t off = button::kActions;
    while (off < len && len - off >= action::kPayload) {
        const uint8_t* a = p + off;
        const uint32_t alen = get32(a + action::kLength);
        if (alen < action::kPayload || alen > len - off) break;
        const uint16_t code = get16(a + action::kCode);
        if (code == action::kStackSound && (summary & actionlist::kFlagStackSound)) {
            if (get16(a + 24) & 0x8000) refs.tracks.insert(get16(a + 16));
            else refs.sounds.insert(get16(a + 16));
        } else if (code == action::kNBA && (summary & actionlist::kFlagNBA)) {
            refs.nbas.insert(get16(a + 16));
        }
        off += alen;
    }
}

// A link's action record, when it has one.
bool linkActionList(const uint8_t* d, uint32_t size, uint32_t* at) {
    if (size < hlnk::kHeaderSize || !get16(d + hlnk::kHasAction)) return false;
    *at = hlnk::kHeaderSize + get16(d + hlnk::kTextLength) + get16(d + hlnk::kAfterLength);
    return *at < size;
}

bool belongsToNBA(const ChunkEntry& e, const std::vector<std::string>& nbaNames) {
    const std::string name = pstringField(e.name, kChunkNameSize);
    for (const std::string& n : nbaNames) {
        if (n.empty() || name.size() < n.size()) continue;
        if (!equalNoCase(std::string_view(name).substr(0, n.size()), n)) continue;
        if (name.size() == n.size() || name[n.size()] == '@') return true;
    }
    return false;
}

} // namespace

void SetResourceErrorReporting(bool on) { g_reportErrors = on; }

int AddStackResource(ResourceRequest& req) {
    if (!(req.flags & kResPerform)) return 0;
    const Handle callers = req.data;
    if (req.flags & kResCopyKeepFlags) {
        Handle copy = req.data;
        if (DetachCopy(&copy) != 0) {
            if (g_reportErrors) ReportError(kErrNoMemory);
            return 0;
        }
        req.data = copy;
    }
    StackDocument& s = theStack();
    if (!s.chunkFile) {
        s.chunkFile = OpenScratchChunkFile();
        if (!s.chunkFile) return 0;
    }
    ChunkFile* cf = stackChunks();
    if (ChunkEntry* existing = findEntry(cf, req.type, req.id)) {
        if (req.flags & kResReplace) {
            // Data stored back under its own id (an action list after it ran) is the entry's
            // own handle: the entry gives it up rather than disposing it.
            if (existing->data == req.data) existing->data = 0;
            RemoveChunk(req.type, req.id);
        } else if (req.flags & kResNameOnly) {
            std::memcpy(req.name, existing->name, sizeof req.name);
            if (req.data != callers) { // the copy made above is not needed
                DisposeHandle(req.data);
                req.data = callers;
            }
            return 1;
        } else if (HandlesEqual(GetChunk(req.type, req.id), req.data)) {
            DisposeHandle(req.data);
            req.data = 0;
            return 1;
        } else {
            req.id = UniqueChunkId(*cf);
        }
    }
    if (AddChunk(req.data, req.attributes, req.type, req.id, req.name, &req.id) != kOk) {
        DisposeHandle(req.data);
        req.data = 0;
        if (g_reportErrors) ReportError(kErrCannotAdd);
        return 0;
    }
    s.changed = true;
    if (!(req.flags & kResCopyKeepFlags)) req.flags = 0;
    return 1;
}

int GetStackResource(ResourceRequest& req, uint32_t type, uint16_t id) {
    ChunkFile* cf = stackChunks();
    const ChunkEntry* e = findEntry(cf, type, id);
    if (!e) return -1;
    Handle data = GetChunk(type, id);
    if (DetachCopy(&data) != 0) return -1;
    req = ResourceRequest{};
    req.type = type;
    req.id = id;
    req.attributes = e->attributes;
    req.data = data;
    req.flags = kResPerform;
    PStringCopyLimited(req.name, e->name, kChunkNameSize);
    return 0;
}

int StackResourceIndex(uint32_t type, uint16_t id) {
    const uint32_t ref = theStack().chunkFile;
    return ref ? ChunkIndexOf(ref, type, id) : 0;
}

uint16_t StackResourceIdAt(uint32_t type, int index) {
    ChunkFile* cf = stackChunks();
    if (!cf || index < 1) return 0;
    for (auto& e : cf->directory)
        if (!e.removed() && e.type == type && --index == 0) return e.id;
    return 0;
}

uint16_t StackResourceIdNamed(uint32_t type, const std::string& name) {
    ChunkFile* cf = stackChunks();
    if (!cf) return 0;
    for (auto& e : cf->directory)
        if (!e.removed() && e.type == type && equalNoCase(pstringField(e.name, kChunkNameSize), name))
            return e.id;
    return 0;
}

std::string StackResourceName(uint32_t type, uint16_t id) {
    const ChunkEntry* e = findEntry(stackChunks(), type, id);
    return e ? pstringField(e->name, kChunkNameSize) : std::string();
}

void PurgeUnusedResources() {
    StackDocument& s = theStack();
    ChunkFile* cf = stackChunks();
    if (!cf || (s.h16(hdr::kFlags) & hdr::kFlagKeepResources)) return;

    // Action lists named by the stack, its cards and their objects. A button also finds an
    // action list that carries its own id, so those count as used too.
    std::set<uint16_t> usedLists = {s.h16(hdr::kArriveAction), s.h16(hdr::kLeaveAction),
                                    s.h16(hdr::kClickAction)};
    References refs;
    for (auto& c : s.cards) {
        const uint8_t* p = memRefs().data(c.record);
        const uint32_t size = GetHandleSize(c.record);
        for (uint32_t f : {card::kArriveAction, card::kLeaveAction, card::kClickAction})
            usedLists.insert(get16(p + f));
        forEachObject(p, size, [&](uint32_t off, uint16_t kind) {
            const uint8_t* o = p + off;
            const uint32_t len = get32(o + obj::kLength);
            if (kind == obj::kGraphic && len > graphic::kAction + 1) usedLists.insert(get16(o + graphic::kAction));
            if (kind == obj::kText && len > text::kAction + 1) usedLists.insert(get16(o + text::kAction));
            if (kind == obj::kButton) {
                usedLists.insert(get16(o + obj::kId));
                if (!(get16(o + obj::kFlags) & obj::kFlagNotCounted)) collectListReferences(o, len, refs);
            }
        });
    }
    usedLists.erase(0);

    // Entries are taken as they come: looking each one up again by type and id would make the
    // purge quadratic in the size of the directory.
    bool removed = false;
    for (auto& e : cf->directory) {
        if (!e.removed() && e.type == chunk::kActn && !usedLists.count(e.id)) {
            RemoveChunkEntry(e);
            removed = true;
        }
    }

    std::vector<std::string> nbaNames;
    for (auto& e : cf->directory) {
        if (e.removed()) continue;
        if (e.type == chunk::kActn || e.type == chunk::kHlnk) {
            Handle h = ChunkEntryData(*cf, e);
            const uint8_t* d = memRefs().data(h);
            const uint32_t size = GetHandleSize(h);
            uint32_t at = 0;
            if (e.type == chunk::kActn) collectListReferences(d, size, refs);
            else if (linkActionList(d, size, &at)) collectListReferences(d + at, size - at, refs);
        } else if (e.type == chunk::kNBAs) {
            nbaNames.push_back(pstringField(e.name, kChunkNameSize));
        }
    }

    struct Kind {
        uint32_t type;
        const std::set<uint16_t>* used;
    };
    const Kind kinds[] = {{chunk::kIcon, &refs.icons}, {chunk::kSnd, &refs.sounds},
                          {chunk::kStrk, &refs.tracks}, {chunk::kNBAs, &refs.nbas}};
    for (auto& e : cf->directory) {
        if (e.removed()) continue;
        for (const Kind& k : kinds) {
            if (e.type != k.type || k.used->count(e.id)) continue;
            if (e.type != chunk::kNBAs && belongsToNBA(e, nbaNames)) continue;
            RemoveChunkEntry(e);
            removed = true;
        }
    }
    if (removed) s.changed = true;
}

} // namespace cv
