#pragma once
// The videodisc record a button keeps for the laserdisc player beside the computer, and the
// commands that drive the player through a VideodiscDevice. The record lives in a Handle, in
// native byte order; its settings are kept as the short command texts of serial players
// ("060SP", "3AD", "0DS"), which is how stacks store them.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "core/handles.h"
#include "media/videodisc_device.h"

namespace cv {

namespace vd {
constexpr uint32_t kRecordBytes = 178;
constexpr size_t kFlags = 0;
constexpr size_t kState = 2;
constexpr size_t kSpeed = 4;
constexpr size_t kDeviceId = 6;
constexpr size_t kPosition = 10;
constexpr size_t kDiscType = 14;
constexpr size_t kSegmentValue = 18;
constexpr size_t kFirstText = 20;  // length-prefixed, 32 bytes
constexpr size_t kSecondText = 52; // length-prefixed, 32 bytes
constexpr size_t kTextBytes = 32;
constexpr size_t kSegmentData = 84; // four u32
constexpr size_t kDisplayText = 100;
constexpr size_t kAudioText = 105;
constexpr size_t kSpeedText = 110;
constexpr size_t kUnitText = 117;
constexpr size_t kZero = 124;
constexpr size_t kPortSettings = 146;

constexpr uint16_t kForSegment = 0x0001;
constexpr uint16_t kNew = 0x0004;
constexpr uint16_t kChapterUnit = 0x0010;
constexpr uint16_t kReversed = 0x0020;
constexpr uint16_t kStateRead = 0x0040;
constexpr uint16_t kDiscPresent = 0x0080;
constexpr uint16_t kOpen = 0x0200;
constexpr uint16_t kSwitchedOff = 0x0400;

constexpr uint16_t kDefaultSpeed = 60;
constexpr char kFirstDefault[] = "060SP3AD12345SE\r";
constexpr char kSecondDefault[] = "12345SMPL\r";
// The serial settings a new record carries (the player sends no serial commands itself).
constexpr char kPortDefault[] = "COM1:4800,N,8,1";

// Connecting asks at most this often before it gives up as if cancelled.
constexpr int kMaxConnectTries = 20;
} // namespace vd

// What a command gives and answers: a number (a character code for the one-character
// arguments; the position read back) or a text (units, speeds and positions as typed).
struct VideodiscArg {
    int32_t value = 0;
    std::string text;
};

// Shows or hides the wait cursor while the device works on a long command.
using VideodiscBusy = std::function<void(bool busy)>;

// A new record with the defaults, or the template's first 16 bytes over them; 0 when memory
// runs out.
Handle NewVideodiscRecord(const std::string& firstText, const std::string& secondText, uint16_t segmentValue,
                          const std::array<uint32_t, 4>& segmentData, bool forSegment, Handle templ = 0);

// Runs command `code` on `device` for `record`: 0, the device's error, or 1 (an unknown
// code, a record that cannot be used, an argument the command cannot take).
int VideodiscCommand(int code, VideodiscArg& arg, Handle record, VideodiscDevice& device,
                     const VideodiscBusy& busy = {});

// Opens the device for `record`, asking the person (alert 2278: 52 try again, 53 continue
// without the player, 54 cancel) while it cannot be opened, then reads its state. False
// when the person cancelled or the state could not be read.
bool ConnectVideodisc(Handle record, VideodiscDevice& device, const std::function<int()>& askNoPlayer,
                      const VideodiscBusy& busy = {});

// Times on a constant-linear-velocity disc: hhmmss as typed, and the device's packing
// (hours in the lowest byte, then minutes, then seconds).
uint32_t PackDiscTime(uint32_t hhmmss);
uint32_t UnpackDiscTime(uint32_t packed);

} // namespace cv
