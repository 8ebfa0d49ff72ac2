// The videodisc record and its commands, against a device that records what it was asked.
#include "media/videodisc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/byte_order.h"

namespace cv {
namespace {

// Logs each call; the disc type 'X' means no disc.
class RecordingDevice final : public VideodiscDevice {
public:
    std::vector<std::string> calls;
    int failOpen = 0;
    uint16_t mode = vdstate::kStopped;
    char type = '0';
    uint32_t at = 0;

    int log(std::string s) {
        calls.push_back(std::move(s));
        return 0;
    }
    static std::string fps(bool reverse, unsigned f) { return (reverse ? " reverse" : "") + std::string(" fps ") + std::to_string(f); }
    int open() override { return log("open"), failOpen; }
    int close() override { return log("close"); }
    bool ready() override { return true; }
    int keylockOff() override { return log("keylock off"); }
    int status(uint16_t& m, bool& present, char& t) override {
        m = mode, present = type != 'X', t = type;
        return log("status");
    }
    int setFormat(VideodiscFormat f) override {
        return log(f == VideodiscFormat::Chapters ? "format track" : f == VideodiscFormat::Hms ? "format hms" : "format frames");
    }
    int setAudio(bool l, bool r) override { return log(std::string("audio left ") + (l ? "on" : "off") + " right " + (r ? "on" : "off")); }
    int seek(uint32_t p) override { return at = p, log("seek " + std::to_string(p)); }
    int play(uint32_t to, bool reverse, unsigned f) override { return log("play to " + std::to_string(to) + fps(reverse, f)); }
    int playOn(bool reverse, unsigned f) override { return log("play on" + fps(reverse, f)); }
    int pause() override { return log("pause"); }
    int eject() override { return log("eject"); }
    int spinUp() override { return log("spin up"); }
    int step(int n) override { return log("step " + std::to_string(n)); }
    int scan(bool reverse) override { return log(reverse ? "scan reverse" : "scan"); }
    int video(bool on) override { return log(on ? "video on" : "video off"); }
    int index(bool on) override { return log(on ? "index on" : "index off"); }
    int position(uint32_t& p) override { return p = at, 0; }
    int chapter(uint32_t& c) override { return c = 1, 0; }
};

class Videodisc : public ::testing::Test {
protected:
    void SetUp() override { rec = NewVideodiscRecord("", "", 0, {}, false); }
    void TearDown() override { DisposeHandle(rec); }
    int cmd(int code, int32_t value = 0, std::string text = {}) {
        arg = VideodiscArg{value, std::move(text)};
        return VideodiscCommand(code, arg, rec, dev, busy);
    }
    const uint8_t* bytes() { return memRefs().data(rec); }
    uint16_t u16(size_t at) { return get16(bytes() + at); }
    uint32_t u32(size_t at) { return get32(bytes() + at); }
    std::string text(size_t at, size_t n) { return std::string(reinterpret_cast<const char*>(bytes() + at), n); }
    void connect(char discType) {
        dev.type = discType;
        ASSERT_TRUE(ConnectVideodisc(rec, dev, [] { return 54; }, busy));
        dev.calls.clear();
    }

    Handle rec = 0;
    RecordingDevice dev;
    VideodiscArg arg;
    int busyShown = 0;
    VideodiscBusy busy = [this](bool on) { busyShown += on; };
};

TEST_F(Videodisc, NewRecordsCarryTheDefaultsOrTheSegmentAndTheTemplate) {
    EXPECT_EQ(std::pair(u16(vd::kFlags), u16(vd::kSpeed)), std::pair(uint16_t(vd::kNew), uint16_t(60)));
    EXPECT_EQ(text(vd::kDiscType, 1), "X");
    EXPECT_EQ(text(vd::kUnitText, 3), std::string("FR", 2) + '\0');

    put16(memRefs().data(rec) + vd::kState, vdstate::kPaused);
    const Handle seg = NewVideodiscRecord("A", "", 7, {100, 160, 0, 0}, true, rec);
    const uint8_t* s = memRefs().data(seg);
    EXPECT_EQ(get16(s + vd::kState), vdstate::kPaused) << "the template's first 16 bytes";
    EXPECT_EQ(std::pair(get16(s + vd::kSegmentValue), get32(s + vd::kSegmentData + 4)), std::pair(uint16_t(7), 160u));
    EXPECT_EQ(std::pair(s[vd::kFirstText], s[vd::kSecondText]), std::pair(uint8_t(1), uint8_t(0)))
        << "a segment record keeps its texts as given";
    DisposeHandle(seg);
}

TEST_F(Videodisc, TimesOnALinearDiscArePackedAndReadBack) {
    connect('1');
    ASSERT_EQ(cmd(2, 0, "FR"), 0);
    ASSERT_EQ(cmd(5, 0, "13005"), 0);
    EXPECT_EQ(dev.calls, (std::vector<std::string>{"format hms", "seek " + std::to_string(1 | 30 << 8 | 5 << 16)}));
    ASSERT_EQ(cmd(17), 0);
    EXPECT_EQ(arg.value, 13005);
    ASSERT_EQ(cmd(16), 0);
    EXPECT_EQ(arg.value, 1 | 30 << 8 | 5 << 16) << "16 reads the position as the device gives it";
    // Playing to an earlier time runs in reverse, at half the stored speed.
    ASSERT_EQ(cmd(6, 0, "11000"), 0);
    EXPECT_EQ(dev.calls.back(), "play to " + std::to_string(1 | 10 << 8) + " reverse fps 30");
    EXPECT_EQ(u16(vd::kState), vdstate::kPlaying);
    EXPECT_TRUE(u16(vd::kFlags) & vd::kReversed);
    ASSERT_EQ(cmd(6, 0, "20000"), 0);
    EXPECT_FALSE(u16(vd::kFlags) & vd::kReversed);
}

TEST_F(Videodisc, ChaptersStepBySeekingAndFramesStepOnTheDevice) {
    connect('0');
    ASSERT_EQ(cmd(2, 0, "CH"), 0);
    EXPECT_TRUE(u16(vd::kFlags) & vd::kChapterUnit);
    EXPECT_EQ(text(vd::kUnitText, 2), "CH");
    ASSERT_EQ(cmd(5, 0, "3"), 0);
    ASSERT_EQ(cmd(12), 0);
    EXPECT_EQ(dev.calls.back(), "seek 4");
    EXPECT_EQ(u32(vd::kPosition), 4u);
    ASSERT_EQ(cmd(12, 'R'), 0);
    EXPECT_EQ(dev.calls.back(), "seek 3");
    ASSERT_EQ(cmd(2, 0, "FR"), 0);
    EXPECT_EQ(dev.calls.back(), "format frames");
    ASSERT_EQ(cmd(12, 'R'), 0);
    EXPECT_EQ(dev.calls.back(), "step -1");
}

TEST_F(Videodisc, SettingsReachTheDeviceAndTheRecord) {
    connect('0');
    ASSERT_EQ(cmd(4, '1'), 0);
    EXPECT_EQ(dev.calls.back(), "audio left off right on");
    EXPECT_EQ(text(vd::kAudioText, 1), "1");
    EXPECT_EQ(cmd(4, '7'), 1);
    ASSERT_EQ(cmd(3, 0, "24"), 0);
    ASSERT_EQ(cmd(20, 'R'), 0);
    EXPECT_EQ(dev.calls.back(), "play on reverse fps 24");
    ASSERT_EQ(cmd(3), 0);
    EXPECT_EQ(u16(vd::kSpeed), 60) << "no speed given: the default";
    ASSERT_EQ(cmd(19, '0'), 0);
    EXPECT_EQ(dev.calls.back(), "index off");
    EXPECT_EQ(text(vd::kDisplayText, 1), "0");
    for (int code : {7, 13, 14, 11, 9}) ASSERT_EQ(cmd(code), 0) << code;
    EXPECT_EQ(std::vector<std::string>(dev.calls.end() - 5, dev.calls.end()),
              (std::vector<std::string>{"pause", "scan", "video on", "spin up", "eject"}));
    EXPECT_EQ(u16(vd::kState), vdstate::kUnknown);
    ASSERT_EQ(cmd(24), 0);
    EXPECT_FALSE(u16(vd::kFlags) & vd::kOpen);
    EXPECT_EQ(u32(vd::kDeviceId), 0u);
    EXPECT_EQ(cmd(25), 1);
    EXPECT_EQ(cmd(15), 0);
}

TEST_F(Videodisc, ASwitchedOffPlayerAnswersEveryCommandAndDoesNothing) {
    connect('0');
    ASSERT_EQ(cmd(22, 1), 0);
    for (int code = 0; code <= 24; ++code)
        if (code != 22) {
            EXPECT_EQ(cmd(code, 'R', "100"), 0) << code;
        }
    EXPECT_EQ(cmd(99), 0);
    EXPECT_TRUE(dev.calls.empty());
    ASSERT_EQ(cmd(22, 0), 0);
    ASSERT_EQ(cmd(7), 0);
    EXPECT_EQ(dev.calls, std::vector<std::string>{"pause"});
}

TEST_F(Videodisc, FailuresKeepTheRecordAsItWas) {
    // A unit on a disc of unknown type fails; so does a record that is too short.
    EXPECT_EQ(cmd(2, 0, "FR"), 1);
    EXPECT_EQ(text(vd::kUnitText, 2), "FR");
    const Handle small = NewHandle(20);
    VideodiscArg a;
    EXPECT_EQ(VideodiscCommand(7, a, small, dev), 1);
    EXPECT_EQ(VideodiscCommand(7, a, 0, dev), 1);
    DisposeHandle(small);
    NoVideodiscPlayer none;
    EXPECT_EQ(VideodiscCommand(5, a, rec, none), kVideodiscNoDevice);
    EXPECT_EQ(u32(vd::kPosition), 0u);
}

TEST_F(Videodisc, ConnectingAsksUntilThePersonChooses) {
    dev.failOpen = kVideodiscNoDevice;
    std::vector<int> answers{52, 52, 53};
    int asked = 0;
    EXPECT_TRUE(ConnectVideodisc(rec, dev, [&] { return answers[size_t(asked++)]; }, busy));
    EXPECT_EQ(asked, 3);
    EXPECT_TRUE(u16(vd::kFlags) & vd::kSwitchedOff) << "Continue switches the player off";
    EXPECT_EQ(busyShown, 3) << "each try shows the wait cursor while the state is unknown";

    const Handle other = NewVideodiscRecord("", "", 0, {}, false);
    asked = 0;
    EXPECT_FALSE(ConnectVideodisc(other, dev, [&] { return ++asked, 54; }));
    EXPECT_EQ(asked, 1);
    asked = 0;
    EXPECT_FALSE(ConnectVideodisc(other, dev, [&] { return ++asked, 52; })) << "an endless Try Again gives up";
    EXPECT_EQ(asked, vd::kMaxConnectTries - 1);
    DisposeHandle(other);

    // A player that opens: ready, keys unlocked, its state read.
    RecordingDevice good;
    const Handle ok = NewVideodiscRecord("", "", 0, {}, false);
    EXPECT_TRUE(ConnectVideodisc(ok, good, [] { return 54; }));
    EXPECT_EQ(good.calls, (std::vector<std::string>{"open", "keylock off", "status"}));
    const uint8_t* r = memRefs().data(ok);
    EXPECT_EQ(get16(r + vd::kFlags) & (vd::kOpen | vd::kStateRead | vd::kDiscPresent),
              vd::kOpen | vd::kStateRead | vd::kDiscPresent);
    EXPECT_EQ(std::pair(get16(r + vd::kState), char(r[vd::kDiscType])), std::pair(uint16_t(vdstate::kStopped), '0'));
    DisposeHandle(ok);
}

TEST_F(Videodisc, OnlyLongSeeksShowTheWaitCursor) {
    connect('0');
    busyShown = 0;
    ASSERT_EQ(cmd(5, 0, "400"), 0);
    EXPECT_EQ(busyShown, 0) << "the state is known after connecting";
    put16(memRefs().data(rec) + vd::kState, vdstate::kUnknown);
    ASSERT_EQ(cmd(5, 0, "800"), 0);
    EXPECT_EQ(busyShown, 0) << "400 units away";
    ASSERT_EQ(cmd(5, 0, "1301"), 0);
    EXPECT_EQ(busyShown, 1);
}

} // namespace
} // namespace cv
