#include "stack/mac_path.h"

#include <algorithm>
#include <cstring>

namespace cv {

namespace {
bool isDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string lastComponent(const std::string& path) {
    const size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
} // namespace

std::string driveRootOf(const std::string& stackPath) {
    if (stackPath.size() >= 3 && isDriveLetter(stackPath[0]) && stackPath[1] == ':' &&
        (stackPath[2] == '\\' || stackPath[2] == '/'))
        return std::string(1, stackPath[0]) + ":\\";
    return "C:\\";
}

std::string macPathToWindows(const std::string& mac, const std::string& stackPath) {
    std::string out;
    if (mac.size() >= 3 && mac[1] == ':' && mac[2] == ':') {
        out = mac.substr(0, 2) + "\\" + mac.substr(3);
    } else {
        const size_t colon = mac.find(':');
        if (colon == std::string::npos) return mac;
        out = driveRootOf(stackPath) + mac.substr(colon + 1);
    }
    std::replace(out.begin() + std::min<size_t>(3, out.size()), out.end(), ':', '\\');
    return out;
}

std::optional<TranslatedRef> TranslateMacPath(const uint8_t* ref, uint32_t n, const std::string& stackPath) {
    if (n < 3) return std::nullopt;
    if (ref[1] == ':' && ref[2] == '\\') return std::nullopt; // already Windows form
    const uint32_t pathLen = ref[0];
    const uint32_t nameAt = ((1 + pathLen + 1) & ~1u) + 6;
    if (nameAt >= n) return std::nullopt;
    const uint32_t nameLen = ref[nameAt];
    if (nameAt + 1 + nameLen > n) return std::nullopt;

    const std::string mac(reinterpret_cast<const char*>(ref + 1), pathLen);
    // A bare file name keeps its counted form: written NUL-terminated it would no longer read
    // as either form.
    if (mac.find(':') == std::string::npos) return std::nullopt;
    const std::string name(reinterpret_cast<const char*>(ref + nameAt + 1), nameLen);
    const std::string win = macPathToWindows(mac, stackPath);

    TranslatedRef t;
    t.replaced = nameAt + 1 + nameLen;
    t.bytes.assign(win.begin(), win.end());
    t.bytes.push_back(0);
    if (t.bytes.size() & 1) t.bytes.push_back(0);
    t.bytes.insert(t.bytes.end(), 6, 0);
    t.bytes.insert(t.bytes.end(), name.begin(), name.end());
    t.bytes.push_back(0);
    return t;
}

std::optional<std::vector<uint8_t>> translateActionPath(const uint8_t* payload, uint32_t n,
                                                        const std::string& stackPath) {
    if (n < 1 || payload[0] == 0 || uint32_t(payload[0]) + 1 > n) return std::nullopt;
    const std::string mac(reinterpret_cast<const char*>(payload + 1), payload[0]);
    if (mac.size() >= 3 && mac[1] == ':' && mac[2] == '\\') return std::nullopt;
    if (mac.find(':') == std::string::npos) return std::nullopt;
    std::string win = macPathToWindows(mac, stackPath);
    if (win.size() > 255) win.resize(255);
    std::string name = lastComponent(win);
    std::vector<uint8_t> out;
    out.push_back(static_cast<uint8_t>(win.size()));
    out.insert(out.end(), win.begin(), win.end());
    out.insert(out.end(), 6, 0);
    out.push_back(static_cast<uint8_t>(name.size()));
    out.insert(out.end(), name.begin(), name.end());
    return out;
}

std::string objectRefPath(const uint8_t* ref, uint32_t n) {
    if (n == 0) return {};
    if (n >= 3 && ref[1] == ':' && ref[2] == '\\') {
        const void* nul = std::memchr(ref, 0, n);
        const uint32_t len = nul ? uint32_t(static_cast<const uint8_t*>(nul) - ref) : n;
        return std::string(reinterpret_cast<const char*>(ref), len);
    }
    const uint32_t len = std::min<uint32_t>(ref[0], n - 1);
    return std::string(reinterpret_cast<const char*>(ref + 1), len);
}

std::string actionPathText(const uint8_t* payload, uint32_t n) {
    if (n == 0) return {};
    const uint32_t len = std::min<uint32_t>(payload[0], n - 1);
    return std::string(reinterpret_cast<const char*>(payload + 1), len);
}

} // namespace cv
