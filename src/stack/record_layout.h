#pragma once
// Offsets of the fields of stack records, in one place. Records are held in native byte order
// in memory; use get16/put16 (core/byte_order.h) on them.
#include <cstdint>

namespace cv {

constexpr uint32_t fourCC(const char (&s)[5]) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
           (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

namespace chunk {
constexpr uint32_t kWKSp = fourCC("WKSp");
constexpr uint32_t kStrk = fourCC("Strk");
constexpr uint32_t kCVpr = fourCC("CVpr");
constexpr uint32_t kFntL = fourCC("FntL");
constexpr uint32_t kIcon = fourCC("Icon");
constexpr uint32_t kSnd = fourCC("Snd ");
constexpr uint32_t kActn = fourCC("Actn");
constexpr uint32_t kHlnk = fourCC("Hlnk");
constexpr uint32_t kNBAs = fourCC("NBAs");
constexpr uint32_t kWkSp = fourCC("WkSp");
constexpr uint32_t kPPak = fourCC("PPak");
} // namespace chunk

// Stack header (128 bytes).
namespace hdr {
constexpr uint32_t kSize = 128;
constexpr uint32_t kAutoSave = 0;
constexpr uint32_t kCardCount = 4;
constexpr uint32_t kField6 = 6;
constexpr uint32_t kVersion = 8;
constexpr uint32_t kNextCardId = 10;
constexpr uint32_t kFlags = 14;
constexpr uint32_t kDepth = 16;
constexpr uint32_t kTimersOn = 20;
constexpr uint32_t kLocked = 24;
constexpr uint32_t kShowCardNumber = 26;
constexpr uint32_t kPassword = 32;     // 16 bytes, NUL-terminated
constexpr uint32_t kPresentation = 48;
constexpr uint32_t kField50 = 50;
constexpr uint32_t kCardWidth = 56;
constexpr uint32_t kCardHeight = 58;
constexpr uint32_t kChunkOffset = 60;
constexpr uint32_t kChunkCount = 64;
constexpr uint32_t kLastChunkId = 68;
constexpr uint32_t kArriveAction = 72;
constexpr uint32_t kLeaveAction = 74;
constexpr uint32_t kClickAction = 78;

constexpr uint16_t kFlagKeepResources = 0x01;
constexpr uint16_t kFlagDiscardClicks = 0x02;
constexpr uint16_t kFlagHighCompression = 0x04;
constexpr uint16_t kFlagMacText = 0x10;
} // namespace hdr

// Card record.
namespace card {
constexpr uint32_t kId = 0;
constexpr uint32_t kLength = 2;
constexpr uint32_t kMode = 6;
constexpr uint32_t kBackgroundCard = 8;
constexpr uint32_t kAttributes = 10; // bit 0x80 marked, bit 0x01 not counted in the title
constexpr uint32_t kSetting16 = 16;
constexpr uint32_t kDepth = 18;
constexpr uint32_t kWidth = 20;
constexpr uint32_t kHeight = 22;
constexpr uint32_t kName = 32;      // 16-byte counted string
constexpr uint32_t kNameSize = 16;
constexpr uint32_t kArriveAction = 48;
constexpr uint32_t kLeaveAction = 50;
constexpr uint32_t kClickAction = 52;
constexpr uint32_t kBody = 96;      // picture record (mode 1) or first object
constexpr uint32_t kTrailer = 0xFACE;

constexpr uint16_t kModeNone = 0;
constexpr uint16_t kModeOwn = 1;
constexpr uint16_t kModeShared = 3;
} // namespace card

// Card picture record (at card offset 96 with mode 1).
namespace pict {
constexpr uint32_t kHeaderSize = 24;
constexpr uint32_t kFormat = 2;
constexpr uint32_t kFlags = 10;
constexpr uint32_t kLength = 12;
constexpr uint32_t kColourTableLength = 16;
constexpr uint32_t kFillBlockSize = 16;
constexpr uint16_t kFlagPadded = 0x200;
} // namespace pict

// Object common header.
namespace obj {
constexpr uint32_t kKind = 0;
constexpr uint32_t kId = 2;
constexpr uint32_t kRect = 4;
constexpr uint32_t kLength = 12;
constexpr uint32_t kFlags = 22;

constexpr uint16_t kGraphic = 16;
constexpr uint16_t kButton = 48;
constexpr uint16_t kText = 96;

constexpr uint16_t kFlagNotCounted = 0x01;
constexpr uint16_t kFlagPerCardText = 0x10;
constexpr uint16_t kFlagHidden = 0x20;
constexpr uint16_t kFlagFileRef = 0x40;
constexpr uint16_t kFlagRollOver = 0x80; // buttons; draggable graphics; transparent text
constexpr uint16_t kFlagDropTarget = 0x100;
constexpr uint16_t kFlagPadded = 0x200;
} // namespace obj

namespace graphic {
constexpr uint32_t kFrameWidth = 16;
constexpr uint32_t kFrameColour = 24;
constexpr uint32_t kPictureFlags = 28;
constexpr uint32_t kPictureRect = 30;
constexpr uint32_t kName = 38;
constexpr uint32_t kNameSize = 16;
constexpr uint32_t kDepth = 54;
constexpr uint32_t kAction = 56;
constexpr uint32_t kTrailingLength = 60;
constexpr uint32_t kData = 80;
constexpr uint16_t kPictureLZRW1Rows = 0x10;
constexpr uint16_t kPictureTrailing = 0x02;
} // namespace graphic

// Buttons, and action lists in general (an 'Actn' chunk is laid out as a button).
namespace button {
constexpr uint32_t kSummary = 20; // action flags
constexpr uint32_t kName = 28;
constexpr uint32_t kNameSize = 32;
constexpr uint32_t kShape = 60;
constexpr uint32_t kButtonFlags = 64;
constexpr uint32_t kNameColour = 66;
constexpr uint32_t kFillColour = 68;
constexpr uint32_t kIconId = 78;
constexpr uint32_t kActions = 136;
} // namespace button

namespace actionlist {
constexpr uint32_t kOwnerId = 2;
constexpr uint32_t kRect = 4;
constexpr uint32_t kLength = 12;
constexpr uint32_t kDestination = 16;
constexpr uint32_t kTransition = 18;
constexpr uint32_t kFlags = 20;
constexpr uint32_t kTimerInterval = 24;
constexpr uint32_t kTimerMode = 26;
constexpr uint32_t kName = 28;
constexpr uint32_t kTestAnswer = 62;
constexpr uint32_t kButtonColour = 68;
constexpr uint32_t kSpeed = 76;
constexpr uint32_t kHeaderSize = 136;

constexpr uint16_t kFlagStackSound = 0x0004;
constexpr uint16_t kFlagSoundFile = 0x0001;
constexpr uint16_t kFlagMovie = 0x0100;
constexpr uint16_t kFlagAnimation = 0x0080;
constexpr uint16_t kFlagVideodisc = 0x4000;
constexpr uint16_t kFlagNBA = 0x0008;
constexpr uint16_t kFlagScript = 0x1000;
constexpr uint16_t kFlagGoToCard = 0x0020;
constexpr uint16_t kFlagLaunch = 0x8000;
} // namespace actionlist

namespace action {
constexpr uint32_t kCode = 0;
constexpr uint32_t kLength = 12;
constexpr uint32_t kFlags = 22;
constexpr uint32_t kPayload = 32;
constexpr uint16_t kFlagPadded = 0x0200;

constexpr uint16_t kNBA = 51;
constexpr uint16_t kAnimation = 56;
constexpr uint16_t kLaunch = 59;
constexpr uint16_t kOtherStack = 60;
constexpr uint16_t kScript = 64;
constexpr uint16_t kSoundFile = 82;
constexpr uint16_t kStackSound = 83;
constexpr uint16_t kMovie = 89;
constexpr uint16_t kVideodisc = 119;
constexpr uint16_t kButtonShape = 130;
} // namespace action

namespace text {
constexpr uint32_t kSecondFlags = 26;
constexpr uint32_t kBackColour = 30;
constexpr uint32_t kAlignment = 66;
constexpr uint32_t kName = 72;
constexpr uint32_t kNameSize = 16;
constexpr uint32_t kAction = 102;
constexpr uint32_t kSubrecords = 128;
constexpr uint32_t kSubHeaderSize = 16;
// Sub-record fields.
constexpr uint32_t kSubType = 0;
constexpr uint32_t kSubCardId = 2;
constexpr uint32_t kSubFlags = 4;
constexpr uint32_t kSubTextLength = 8;
constexpr uint32_t kSubLength = 12;
constexpr uint16_t kSubTypeText = 99;
} // namespace text

namespace hlnk {
constexpr uint32_t kLinkNumber = 0;
constexpr uint32_t kTextObject = 2;
constexpr uint32_t kAfterLength = 4;
constexpr uint32_t kTextLength = 6;
constexpr uint32_t kHasAction = 8;
constexpr uint32_t kHeaderSize = 24;
} // namespace hlnk

} // namespace cv
