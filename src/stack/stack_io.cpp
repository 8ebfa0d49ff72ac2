#include "stack/stack_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>

#include "core/alerts.h"
#include "core/byte_order.h"
#include "core/file_io.h"
#include "core/ui.h"
#include "resources/strings.h"
#include "stack/card_io.h"
#include "stack/chunk_file.h"
#include "stack/record_convert.h"
#include "stack/record_layout.h"
#include "stack/stack_depth.h"
#include "stack/stack_document.h"
#include "stack/stack_resources.h"

namespace fs = std::filesystem;

namespace cv {

namespace {

constexpr uint32_t kMinCardRecord = card::kBody + 4;
constexpr size_t kWriteBuffer = 65536;

// Header checks that refuse a file, in their order. 0 when the header may be loaded.
int checkHeader(const StackDocument& s, bool* raiseSize) {
    const uint16_t depth = s.h16(hdr::kDepth), version = s.h16(hdr::kVersion);
    if (depth > 32 || version < 1 || version > 255 || s.h16(hdr::kField6) > 255 ||
        s.cardWidth() == 0 || s.cardHeight() == 0 || s.cardWidth() > kMaxCardSide ||
        s.cardHeight() > kMaxCardSide || s.h32(hdr::kChunkCount) > 65536 ||
        s.h16(hdr::kCardCount) == 0) {
        showAlert(kStrNotAStack);
        return kErrDamaged;
    }
    if (depth == 1) {
        showAlert(kStrBlackAndWhite);
        return kErrDamaged;
    }
    *raiseSize = false;
    if (s.cardWidth() < kMinWindowWidth || s.cardHeight() < kMinWindowHeight) {
        if (showAlert(kStrMinimumCardSize) != kAnswerFirst) return kErrDamaged;
        *raiseSize = true;
    }
    if (version > 5) {
        showAlert(kStrNewerVersion);
        return kErrDamaged;
    }
    if (version < 4) {
        showAlert(kStrOlderVersion);
        return kErrDamaged;
    }
    return kOk;
}

// Reads the card records; `err` gets -1 for a short read (the cards read so far are kept)
// or -12 for a damaged record (after the not-a-stack alert).
void readCards(File& f, StackDocument& s, int* err, bool* macDetected) {
    const int64_t fileSize = f.size();
    uint64_t pos = hdr::kSize;
    bool examined = false;
    const int count = s.h16(hdr::kCardCount);
    // Records follow one another: the file is read on without seeking.
    if (!f.seek(pos)) { *err = kErrIO; return; }
    for (int i = 0; i < count; ++i) {
        uint8_t prefix[6];
        if (!f.read(prefix, sizeof prefix)) { *err = kErrIO; return; }
        const uint32_t len = loadBE32(prefix + 2);
        if (len < kMinCardRecord) {
            showAlert(kStrNotAStack);
            *err = kErrDamaged;
            return;
        }
        if (pos + len > static_cast<uint64_t>(fileSize)) { *err = kErrIO; return; }
        Handle h = NewHandle(len);
        if (!h) { *err = kErrIO; return; }
        uint8_t* p = memRefs().data(h);
        std::memcpy(p, prefix, sizeof prefix);
        if (!f.read(p + 6, len - 6)) {
            DisposeHandle(h);
            *err = kErrIO;
            return;
        }
        if (!convertCardRecord(p, len, Convert::ToNative)) {
            DisposeHandle(h);
            showAlert(kStrNotAStack);
            *err = kErrDamaged;
            return;
        }
        if (!examined && get16(p + card::kMode) == card::kModeOwn) {
            examined = true;
            *macDetected = pictureLooksMacintosh(p, len);
        }
        CardEntry e;
        e.record = h;
        s.cards.push_back(e);
        pos += len;
    }
}

// Action lists held in chunks get the same load-time changes as those in buttons.
void finishChunkActionList(ChunkEntry& e, bool macText, const std::string& path) {
    if (e.removed() || e.unreadable || (e.type != chunk::kActn && e.type != chunk::kHlnk) || !e.data) return;
    const uint8_t* d = memRefs().data(e.data);
    std::vector<uint8_t> bytes(d, d + GetHandleSize(e.data));
    uint32_t at = 0;
    if (e.type == chunk::kHlnk) {
        if (bytes.size() < hlnk::kHeaderSize || !get16(bytes.data() + hlnk::kHasAction)) return;
        at = hlnk::kHeaderSize + get16(bytes.data() + hlnk::kTextLength) + get16(bytes.data() + hlnk::kAfterLength);
        if (at >= bytes.size()) return;
    }
    std::vector<uint8_t> list(bytes.begin() + at, bytes.end());
    finishLoadedActionList(list, macText, path);
    bytes.resize(at);
    bytes.insert(bytes.end(), list.begin(), list.end());
    if (SetHandleSize(e.data, uint32_t(bytes.size())) == 0)
        std::memcpy(memRefs().data(e.data), bytes.data(), bytes.size());
}

void finishChunkActionLists(uint32_t ref, bool macText, const std::string& path) {
    ChunkFile* cf = chunkFileFor(ref);
    if (!cf) return;
    for (auto& e : cf->directory) finishChunkActionList(e, macText, path);
    // Lists read again later, after their data was purged, are finished the same way.
    cf->finishReload = [ref](ChunkEntry& e) {
        const StackDocument& s = theStack();
        if (s.chunkFile == ref) finishChunkActionList(e, s.macText, s.path);
    };
}

void normaliseHeader(StackDocument& s, bool raiseSize) {
    const uint16_t f50 = s.h16(hdr::kField50);
    if (f50 == 255) s.setH16(hdr::kField50, 256);
    else if (f50 == 0) s.setH16(hdr::kField50, 1);
    if (s.h16(hdr::kVersion) < 5) {
        s.setH16(hdr::kVersion, 5);
        s.converted = true;
    }
    if (raiseSize) {
        s.setH16(hdr::kCardWidth, std::max<uint16_t>(s.cardWidth(), kMinWindowWidth));
        s.setH16(hdr::kCardHeight, std::max<uint16_t>(s.cardHeight(), kMinWindowHeight));
    }
    for (auto& c : s.cards) {
        uint8_t* p = memRefs().data(c.record);
        put16(p + card::kWidth, s.cardWidth());
        put16(p + card::kHeight, s.cardHeight());
    }
}

std::string folderOf(const std::string& path) {
    fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

// A file whose owner may not write it is read-only, even to a process whose privileges would
// let it write anyway: the mark is the person's, and saving must respect it.
bool writable(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && !(st.st_mode & S_IWUSR)) return false;
    return ::access(path.c_str(), W_OK) == 0;
}

} // namespace

StackHooks& stackHooks() {
    static StackHooks h;
    return h;
}

void ReportError(int code) {
    if (code == kOk || code == kErrDamaged) return;
    if ((code >= 2680 && code <= 2694) || code == kErrFileLocked) {
        if (loadString(code)) {
            showAlert(code);
            return;
        }
    }
    showAlert(kStrSomeError);
}

int codeForErrno(int err) {
    switch (err) {
    case ENOSPC:
    case EDQUOT: return kErrDiskFull;
    case EROFS: return kErrWriteProtected;
    case EACCES:
    case EPERM: return kErrNoAccess;
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ: return kErrBadName;
    case EBUSY:
    case ETXTBSY: return kErrFileBusy;
    case ENOMEM: return kErrNoMemory;
    case EMLINK: return kErrDirectoryFull;
    case ENOENT: return kErrResourceNotFound;
    default: return kErrIOMessage;
    }
}

int OpenStack(const std::string& path) {
    DisposeStack();
    StackDocument& s = theStack();
    File f(path, "rb");
    if (!f) {
        const int code = codeForErrno(errno);
        ReportError(code);
        return code;
    }
    s.header = NewHandle(hdr::kSize);
    uint8_t* h = memRefs().data(s.header);
    if (!h || !f.readAt(0, h, hdr::kSize)) {
        DisposeStack();
        showAlert(kStrNotAStack);
        return kErrDamaged;
    }
    convertStackHeader(h, Convert::ToNative);
    bool raiseSize = false;
    if (int r = checkHeader(s, &raiseSize); r != kOk) {
        DisposeStack();
        return r;
    }

    int err = kOk;
    bool macDetected = false;
    readCards(f, s, &err, &macDetected);
    if (err == kErrDamaged) {
        DisposeStack();
        return err;
    }
    f.close();
    if (!s.cards.empty()) {
        int r = kOk;
        s.chunkFile = OpenChunkFile(path, s.h32(hdr::kChunkOffset), &r);
        if (!s.chunkFile) {
            for (auto& c : s.cards) DisposeHandle(c.record);
            s.cards.clear();
            if (err == kOk) err = r;
        }
    }
    if (s.cards.empty()) {
        ReportError(err);
        showAlert(kStrNoCardsRead);
        DisposeStack();
        return err != kOk ? err : kErrDamaged;
    }
    if (err != kOk) ReportError(err); // a short card area: the cards read so far are kept

    s.macText = (s.h16(hdr::kFlags) & hdr::kFlagMacText) || macDetected;
    for (auto& c : s.cards) finishLoadedCard(c.record, s.macText, path);
    s.path = path;
    finishChunkActionLists(s.chunkFile, s.macText, path);
    normaliseHeader(s, raiseSize);

    SetCurrentChunkFile(s.chunkFile);
    if (Handle fonts = GetChunk(chunk::kFntL, 128); fonts && DetachChunk(fonts) == kOk)
        s.fontList = fonts;
    s.changed = false;
    if (stackHooks().loadWorkspace) stackHooks().loadWorkspace();
    return kOk;
}

int ReadCardFromStack(const std::string& path, bool byId, uint16_t which, OtherCard* out) {
    File f(path, "rb");
    if (!f) return codeForErrno(errno);
    uint8_t h[hdr::kSize];
    if (!f.readAt(0, h, sizeof h)) return kErrIO;
    convertStackHeader(h, Convert::ToNative);
    const uint16_t version = get16(h + hdr::kVersion);
    if (version < 4 || version > 5) return kErrNotFound;
    const int64_t fileSize = f.size();
    uint64_t pos = hdr::kSize;
    const int count = get16(h + hdr::kCardCount);
    for (int i = 1; i <= count; ++i) {
        uint8_t prefix[6];
        if (!f.readAt(pos, prefix, sizeof prefix)) return kErrIO;
        const uint32_t len = loadBE32(prefix + 2);
        if (len < kMinCardRecord || pos + len > static_cast<uint64_t>(fileSize)) return kErrDamaged;
        if (byId ? loadBE16(prefix) == which : i == which) {
            Handle rec = NewHandle(len);
            if (!rec) return kErrNotFound;
            if (!f.readAt(pos, memRefs().data(rec), len) ||
                !convertCardRecord(memRefs().data(rec), len, Convert::ToNative)) {
                DisposeHandle(rec);
                return kErrDamaged;
            }
            out->record = rec;
            out->depth = get16(h + hdr::kDepth);
            out->version = version;
            out->chunkOffset = get32(h + hdr::kChunkOffset);
            return kOk;
        }
        pos += len;
    }
    return kErrNotFound;
}

namespace {

bool isTemporaryName(const char* name) {
    // CVTMPddd.TMP, exactly as claimTemporaryFile makes them.
    if (std::strlen(name) != 12 || std::strncmp(name, "CVTMP", 5) != 0 || std::strcmp(name + 8, ".TMP") != 0)
        return false;
    return std::isdigit(uint8_t(name[5])) && std::isdigit(uint8_t(name[6])) && std::isdigit(uint8_t(name[7]));
}

bool before(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// Follows symbolic links to the file they name, relative to the folder each link lies in.
// A chain that does not end (a loop) stays a link, which the save refuses.
std::string followLinks(const std::string& path) {
    fs::path p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
        std::error_code ec;
        const fs::path to = fs::read_symlink(p, ec);
        if (ec) break;
        p = to.is_absolute() ? to : p.parent_path() / to;
    }
    return p.string();
}

// The temporary file of a save: removed when the save does not reach its rename.
struct PendingFile {
    TemporaryFile file;
    ~PendingFile() { discard(); }
    void discard() {
        if (file.fd >= 0) fileLayer().close(file.fd);
        if (!file.path.empty()) fileLayer().unlink(file.path);
        file = TemporaryFile{};
    }
};

// Gives a new file the original's permissions, and its owner and group where this process
// may set them (a process that may not keeps itself as owner, and the group when it can).
void copyOwnership(int fd, const struct stat& original) {
    if (::fchown(fd, original.st_uid, original.st_gid) != 0) {
        [[maybe_unused]] const int r = ::fchown(fd, uid_t(-1), original.st_gid);
    }
    ::fchmod(fd, original.st_mode & 07777);
}

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

int removeStaleTemporaryFiles(const std::string& folder) {
    DIR* d = ::opendir(folder.c_str());
    if (!d) return 0;
    const timespec start = processStartTime();
    int removed = 0;
    while (const dirent* e = ::readdir(d)) {
        if (!isTemporaryName(e->d_name)) continue;
        const std::string path = (fs::path(folder) / e->d_name).string();
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !before(st.st_mtim, start)) continue;
        // A save that is still writing it holds its lock.
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && fileLayer().unlink(path) == 0) ++removed;
        ::close(fd);
    }
    ::closedir(d);
    return removed;
}

TemporaryFile claimTemporaryFile(const std::string& folder) {
    char digits[3] = {'0', '0', '0'};
    for (int tries = 0; tries < 1000; ++tries) {
        const std::string name = std::string("CVTMP") + digits[0] + digits[1] + digits[2] + ".TMP";
        const std::string path = (fs::path(folder) / name).string();
        const int fd = fileLayer().open(path, O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (fd >= 0) {
            // Held while the save writes it, so that no other player takes it for a stale one.
            ::flock(fd, LOCK_EX | LOCK_NB);
            return TemporaryFile{fd, path};
        }
        if (errno != EEXIST) return TemporaryFile{};
        for (int d = 2; d >= 0; --d) {
            if (digits[d] == '9') {
                digits[d] = '0';
            } else {
                ++digits[d];
                break;
            }
        }
    }
    errno = EEXIST;
    return TemporaryFile{};
}

int SaveStack(const std::string& target, const SaveOptions& options) {
    StackDocument& s = theStack();
    if (!s.open()) return kErrNotFound;
    if (stackHooks().stopMedia) stackHooks().stopMedia();

    // A symbolic link is saved through: the stack goes to the file it names, and the
    // temporary file beside that file, so that the rename stays within one folder.
    const std::string file = followLinks(target);
    struct stat original;
    const bool exists = ::lstat(file.c_str(), &original) == 0;
    if (exists && !S_ISREG(original.st_mode)) {
        showAlert(kStrNotAFile);
        return kErrDamaged;
    }
    const std::string folder = folderOf(file);

    // Temporary files left by saves that were killed would fill the folder's names.
    removeStaleTemporaryFiles(folder);
    PendingFile pending;
    pending.file = claimTemporaryFile(folder);
    if (!pending.file) {
        const int err = errno;
        if (err == EEXIST) {
            showAlert(kStrTooManyTemporaryFiles);
            return kErrDamaged;
        }
        if (err == EACCES || err == EPERM || err == EROFS || err == ENOENT || err == ENOTDIR) {
            showAlert(kStrDiskLocked);
            return kErrDamaged;
        }
        const int code = codeForErrno(err);
        ReportError(code);
        return code;
    }

    // Pictures keep their stored form: they are encoded again only for a new depth.
    if (options.newDepth && options.newDepth != s.depth() && ChangeStackDepth(options.newDepth) != 0) {
        ReportError(kErrSaveFailed);
        return kErrSaveFailed;
    }
    if (exists && !writable(file)) {
        ReportError(kErrFileLocked);
        return kErrFileLocked;
    }
    if (options.purge) PurgeUnusedResources();
    if (stackHooks().saveWorkspace) stackHooks().saveWorkspace();

    // The original is never written over: when a whole copy does not fit beside it, nothing
    // is written.
    uint64_t cardBytes = 0;
    for (auto& c : s.cards) cardBytes += GetHandleSize(c.record);
    const uint64_t newSize = hdr::kSize + cardBytes + (s.chunkFile ? TotalChunkBytes(s.chunkFile) : 0);
    std::error_code ec;
    const fs::space_info space = fs::space(folder, ec);
    if (!ec && space.available < newSize + 2048) {
        showAlert(kStrDiskFull);
        return kErrDamaged;
    }

    auto fail = [&]() {
        pending.discard();
        ReportError(kErrSaveFailed);
        return kErrSaveFailed;
    };

    const uint64_t chunkOffset = hdr::kSize + cardBytes;
    if (chunkOffset > UINT32_MAX) return fail();
    ChunkFile* cf = chunkFileFor(s.chunkFile);
    uint32_t liveChunks = 0;
    if (cf)
        for (const ChunkEntry& e : cf->directory) liveChunks += !e.removed();

    // Front to back: the header, the cards, then the chunks.
    OutFile out(pending.file.fd, kWriteBuffer);
    uint8_t header[hdr::kSize];
    std::memcpy(header, memRefs().data(s.header), hdr::kSize);
    put16(header + hdr::kCardCount, static_cast<uint16_t>(s.cards.size()));
    put32(header + hdr::kChunkOffset, static_cast<uint32_t>(chunkOffset));
    put32(header + hdr::kChunkCount, cf ? liveChunks : 0);
    put32(header + hdr::kLastChunkId, cf ? cf->lastId : 1);
    if (s.macText) put16(header + hdr::kFlags, get16(header + hdr::kFlags) | hdr::kFlagMacText);
    convertStackHeader(header, Convert::ToStored);
    if (!out.write(header, sizeof header)) return fail();
    for (auto& c : s.cards) {
        const std::vector<uint8_t> bytes = storedCardBytes(c.record, s.macText);
        if (!out.write(bytes.data(), bytes.size())) return fail();
    }
    ChunkWrite written;
    if (cf && (WriteChunks(out, chunkOffset, s.chunkFile, &written, s.macText) != kOk ||
               written.directory.size() != liveChunks))
        return fail();
    if (!out.flush()) return fail();

    // The copy reaches the disk, with the original's permissions, before it takes the
    // original's name: a power cut at any moment leaves one stack or the other whole.
    if (exists) copyOwnership(pending.file.fd, original);
    else ::fchmod(pending.file.fd, newFileMode());
    // The file stays open, and locked, until it has its new name.
    FileLayer& fl = fileLayer();
    if (fl.fsync(pending.file.fd) != 0 || syncFolder(folder) != 0) return fail();
    if (fl.rename(pending.file.path, file) != 0) return fail();
    pending.file.path.clear();
    // The save has been made: should these fail, the folder holds one whole stack or the other.
    fl.close(pending.file.fd);
    pending.file.fd = -1;
    syncFolder(folder);

    if (s.chunkFile) CommitChunkWrite(s.chunkFile, std::move(written), target);
    s.setH16(hdr::kCardCount, static_cast<uint16_t>(s.cards.size()));
    if (s.macText) s.setH16(hdr::kFlags, s.h16(hdr::kFlags) | hdr::kFlagMacText);
    s.path = target;
    s.converted = s.recoloured = false;
    s.changed = false;
    return kOk;
}

} // namespace cv
