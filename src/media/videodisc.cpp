#include "media/videodisc.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "core/byte_order.h"

namespace cv {

namespace {

void putText(uint8_t* r, size_t at, size_t room, std::string_view text) {
    const size_t n = std::min(text.size(), room - 1);
    std::memcpy(r + at, text.data(), n);
    std::memset(r + at + n, 0, room - n);
}

void putCounted(uint8_t* r, size_t at, std::string_view text) {
    const size_t n = std::min(text.size(), vd::kTextBytes - 1);
    r[at] = uint8_t(n);
    std::memcpy(r + at + 1, text.data(), n);
    std::memset(r + at + 1 + n, 0, vd::kTextBytes - 1 - n);
}

// A decimal argument as typed: leading blanks, digits; `fallback` when there are none.
uint32_t decimal(const std::string& text, uint32_t fallback) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i == text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return fallback;
    uint64_t v = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        v = std::min<uint64_t>(v * 10 + uint64_t(text[i] - '0'), UINT32_MAX);
    return uint32_t(v);
}

// The record's view of a disc: whether positions are times (a CLV disc counted in frames).
bool countsTime(const uint8_t* r) { return r[vd::kDiscType] == '1' && !(get16(r + vd::kFlags) & vd::kChapterUnit); }

// A position given as typed, in the device's format.
uint32_t devicePosition(const uint8_t* r, uint32_t typed) { return countsTime(r) ? PackDiscTime(typed) : typed; }

// A device position in a unit that orders positions (seconds for times).
uint64_t ordered(const uint8_t* r, uint32_t position) {
    if (!countsTime(r)) return position;
    const uint32_t t = UnpackDiscTime(position);
    return uint64_t(t / 10000) * 3600 + (t / 100 % 100) * 60 + t % 100;
}

// Keeps the wait cursor up for the life of a long command, when the state is not yet known.
class BusyScope {
public:
    BusyScope(const VideodiscBusy& busy, bool on) : busy_(on ? &busy : nullptr) {
        if (busy_ && *busy_) (*busy_)(true);
        else busy_ = nullptr;
    }
    ~BusyScope() {
        if (busy_) (*busy_)(false);
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    const VideodiscBusy* busy_;
};

int run(int code, VideodiscArg& arg, uint8_t* r, VideodiscDevice& dev, const VideodiscBusy& busy) {
    uint16_t flags = get16(r + vd::kFlags);
    if ((flags & vd::kSwitchedOff) && code != 22) return 0;
    const bool stateUnknown = get16(r + vd::kState) == vdstate::kUnknown;
    const bool reverseArg = arg.value == 'R';
    int st = 0;
    switch (code) {
    case 0: {
        BusyScope wait(busy, stateUnknown);
        if (!(flags & vd::kOpen)) {
            if ((st = dev.open()) != 0) return st;
            flags |= vd::kOpen;
            put32(r + vd::kDeviceId, 1);
        }
        if (dev.ready()) st = dev.keylockOff();
        break;
    }
    case 1: {
        flags &= uint16_t(~vd::kDiscPresent);
        uint16_t mode = 0;
        bool present = false;
        char type = 'X';
        put16(r + vd::kFlags, flags);
        if ((st = dev.status(mode, present, type)) != 0) return st;
        put16(r + vd::kState, mode);
        if (present) {
            flags |= vd::kDiscPresent;
            r[vd::kDiscType] = uint8_t(type == '0' || type == '1' ? type : 'X');
        }
        flags |= vd::kStateRead;
        break;
    }
    case 2: {
        std::string unit = arg.text.substr(0, 2);
        const bool chapters = unit.size() == 2 && std::toupper(static_cast<unsigned char>(unit[0])) == 'C' &&
                              std::toupper(static_cast<unsigned char>(unit[1])) == 'H';
        VideodiscFormat format = VideodiscFormat::Chapters;
        if (!chapters) {
            if (r[vd::kDiscType] == '0') format = VideodiscFormat::Frames;
            else if (r[vd::kDiscType] == '1') format = VideodiscFormat::Hms;
            else return 1;
        }
        if ((st = dev.setFormat(format)) != 0) return st;
        flags = chapters ? uint16_t(flags | vd::kChapterUnit) : uint16_t(flags & ~vd::kChapterUnit);
        putText(r, vd::kUnitText, 3, unit);
        break;
    }
    case 3:
        put16(r + vd::kSpeed, uint16_t(std::min<uint32_t>(decimal(arg.text, vd::kDefaultSpeed), 0xFFFF)));
        break;
    case 4: {
        if (arg.value < '0' || arg.value > '3') return 1;
        const int bits = arg.value - '0'; // 1 right, 2 left
        if ((st = dev.setAudio(bits & 2, bits & 1)) != 0) return st;
        r[vd::kAudioText] = uint8_t(arg.value);
        break;
    }
    case 5: {
        const uint32_t to = devicePosition(r, decimal(arg.text, 0));
        const uint64_t from = ordered(r, get32(r + vd::kPosition));
        const uint64_t target = ordered(r, to);
        BusyScope wait(busy, stateUnknown && (target > from ? target - from : from - target) > 500);
        if ((st = dev.seek(to)) != 0) return st;
        put32(r + vd::kPosition, to);
        break;
    }
    case 6: {
        const uint32_t to = devicePosition(r, decimal(arg.text, 0));
        uint32_t now = get32(r + vd::kPosition);
        uint32_t asked = 0;
        if (dev.position(asked) == 0) now = asked;
        const bool reverse = ordered(r, to) < ordered(r, now);
        BusyScope wait(busy, stateUnknown);
        if ((st = dev.play(to, reverse, get16(r + vd::kSpeed) / 2u)) != 0) return st;
        put16(r + vd::kState, vdstate::kPlaying);
        flags = reverse ? uint16_t(flags | vd::kReversed) : uint16_t(flags & ~vd::kReversed);
        break;
    }
    case 7:
    case 8: {
        BusyScope wait(busy, stateUnknown);
        if ((st = dev.pause()) != 0) return st;
        put16(r + vd::kState, vdstate::kPaused);
        break;
    }
    case 9:
    case 10:
        if ((st = dev.eject()) != 0) return st;
        put16(r + vd::kState, vdstate::kUnknown);
        break;
    case 11: st = dev.spinUp(); break;
    case 12: {
        BusyScope wait(busy, stateUnknown);
        if (flags & vd::kChapterUnit) {
            const uint32_t at = get32(r + vd::kPosition);
            if (reverseArg && at == 0) return 1;
            const uint32_t to = reverseArg ? at - 1 : at + 1;
            if ((st = dev.seek(to)) != 0) return st;
            put32(r + vd::kPosition, to);
        } else {
            st = dev.step(reverseArg ? -1 : 1);
        }
        break;
    }
    case 13: {
        BusyScope wait(busy, stateUnknown);
        st = dev.scan(reverseArg);
        break;
    }
    case 14: st = dev.video(arg.value != '0'); break;
    case 15:
    case 21:
    case 23: break;
    case 16:
    case 17:
    case 18: {
        uint32_t v = 0;
        if ((st = (code == 18 ? dev.chapter(v) : dev.position(v))) != 0) return st;
        if (code == 17 && countsTime(r)) v = UnpackDiscTime(v);
        arg.value = int32_t(v);
        break;
    }
    case 19: {
        BusyScope wait(busy, stateUnknown);
        if ((st = dev.index(arg.value != '0')) != 0) return st;
        r[vd::kDisplayText] = uint8_t(arg.value);
        break;
    }
    case 20: {
        BusyScope wait(busy, stateUnknown);
        if ((st = dev.playOn(reverseArg, get16(r + vd::kSpeed))) != 0) return st;
        put16(r + vd::kState, vdstate::kPlaying);
        flags = reverseArg ? uint16_t(flags | vd::kReversed) : uint16_t(flags & ~vd::kReversed);
        break;
    }
    case 22:
        flags = arg.value ? uint16_t(flags | vd::kSwitchedOff) : uint16_t(flags & ~vd::kSwitchedOff);
        break;
    case 24:
        if ((st = dev.close()) != 0) return st;
        flags &= uint16_t(~vd::kOpen);
        put32(r + vd::kDeviceId, 0);
        break;
    default: return 1;
    }
    put16(r + vd::kFlags, flags);
    return st;
}

} // namespace

uint32_t PackDiscTime(uint32_t hhmmss) {
    const uint32_t h = std::min<uint32_t>(hhmmss / 10000, 255), m = hhmmss / 100 % 100, s = hhmmss % 100;
    return h | (m << 8) | (s << 16);
}

uint32_t UnpackDiscTime(uint32_t packed) {
    return (packed & 0xFF) * 10000 + ((packed >> 8) & 0xFF) * 100 + ((packed >> 16) & 0xFF);
}

Handle NewVideodiscRecord(const std::string& firstText, const std::string& secondText, uint16_t segmentValue,
                          const std::array<uint32_t, 4>& segmentData, bool forSegment, Handle templ) {
    const Handle h = NewHandle(vd::kRecordBytes);
    if (!h) return 0;
    uint8_t* r = LockHandle(h);
    std::memset(r, 0, vd::kRecordBytes);
    put16(r + vd::kFlags, uint16_t(vd::kNew | (forSegment ? vd::kForSegment : 0)));
    put16(r + vd::kSpeed, vd::kDefaultSpeed);
    r[vd::kDiscType] = 'X';
    putCounted(r, vd::kFirstText, !firstText.empty() || forSegment ? firstText : vd::kFirstDefault);
    putCounted(r, vd::kSecondText, !secondText.empty() || forSegment ? secondText : vd::kSecondDefault);
    if (forSegment) {
        put16(r + vd::kSegmentValue, segmentValue);
        for (size_t i = 0; i < 4; ++i) put32(r + vd::kSegmentData + 4 * i, segmentData[i]);
    }
    putText(r, vd::kDisplayText, 5, "0DS\r");
    putText(r, vd::kAudioText, 5, "3AD\r");
    putText(r, vd::kSpeedText, 7, "060SP\r");
    putText(r, vd::kUnitText, 3, "FR");
    putText(r, vd::kPortSettings, vd::kTextBytes, vd::kPortDefault);
    if (templ && IsHandleValid(templ) && GetHandleSize(templ) >= 16) {
        if (const uint8_t* t = LockHandle(templ)) {
            std::memcpy(r, t, 16);
            UnlockHandle(templ);
        }
    }
    UnlockHandle(h);
    return h;
}

int VideodiscCommand(int code, VideodiscArg& arg, Handle record, VideodiscDevice& device, const VideodiscBusy& busy) {
    if (!record || !IsHandleValid(record) || GetHandleSize(record) < vd::kRecordBytes) return 1;
    uint8_t* r = LockHandle(record);
    if (!r) return 1;
    const int st = run(code, arg, r, device, busy);
    UnlockHandle(record);
    return st;
}

bool ConnectVideodisc(Handle record, VideodiscDevice& device, const std::function<int()>& askNoPlayer,
                      const VideodiscBusy& busy) {
    VideodiscArg arg;
    for (int tries = 0;; ++tries) {
        if (VideodiscCommand(0, arg, record, device, busy) == 0) break;
        // A person at the desk chooses; a script that keeps answering "Try Again" gives up.
        const int answer = tries + 1 >= vd::kMaxConnectTries ? 54 : (askNoPlayer ? askNoPlayer() : 54);
        if (answer == 53) {
            VideodiscArg off{1, {}};
            VideodiscCommand(22, off, record, device, busy);
            break;
        }
        if (answer != 52) return false;
    }
    VideodiscArg state;
    return VideodiscCommand(1, state, record, device, busy) == 0;
}

} // namespace cv
