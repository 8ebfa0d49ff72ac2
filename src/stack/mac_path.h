#pragma once
// File references stored in stacks. Macintosh stacks store colon paths ("Disk:Folder:File");
// on loading they become Windows paths, which the host-path resolver later finds on this
// machine. Paths already in Windows form are left alone, so loading is idempotent.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cv {

// "X:\" when the stack's path starts with a drive, else "C:\" (stacks on this host have none).
std::string driveRootOf(const std::string& stackPath);

// The colon path `mac` as a Windows path: a drive form ("C::Folder:File") keeps its drive;
// otherwise the volume name is replaced by the stack's drive root; remaining ':' become '\'.
// A path without any ':' is a bare name and stays as it is.
std::string macPathToWindows(const std::string& mac, const std::string& stackPath);

// An object's file reference (graphic object data at 80, text file path at 144): a counted
// path padded to even length, 6 bytes, a counted file name. Returns the translated
// reference (NUL-terminated path padded to even length, 6 zero bytes, NUL-terminated name),
// with the number of stored bytes it replaces, or nullopt when the reference is already in
// Windows form, is a bare file name, or does not fit in `n` bytes.
struct TranslatedRef {
    std::vector<uint8_t> bytes;
    uint32_t replaced = 0;
};
std::optional<TranslatedRef> TranslateMacPath(const uint8_t* ref, uint32_t n, const std::string& stackPath);

// An action's path payload (counted path): the Windows form (counted path, 6 zero bytes,
// counted file name), or nullopt when it is already a Windows path or malformed.
std::optional<std::vector<uint8_t>> translateActionPath(const uint8_t* payload, uint32_t n,
                                                        const std::string& stackPath);

// The path an object reference or action payload names, in whichever form it is held.
std::string objectRefPath(const uint8_t* ref, uint32_t n);
std::string actionPathText(const uint8_t* payload, uint32_t n);

} // namespace cv
