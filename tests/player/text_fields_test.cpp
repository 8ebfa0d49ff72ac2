// Text fields in the player: the engine's text and style runs, drawing, the active field,
// typing and keys, clicks and drags, the clipboard commands, locked fields, storing typed text
// so that a saved stack keeps it, Find, text links and Macintosh text.
#include <QClipboard>
#include <QFontMetrics>
#include <QPainter>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "browse_fixture.h"
#include "core/clock.h"
#include "core/pstring.h"
#include "core/byte_order.h"
#include "core/mac_charset.h"
#include "player/events.h"
#include "player/text_fields.h"
#include "stack/font_list.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"
#include "stack/text_engine/text_engine.h"
#include "stack/text_engine/text_load.h"
#include "stack/text_engine/text_styles.h"
#include "stack/text_records.h"

using namespace cv;
using namespace cv::test;

namespace {

StyleRun run(uint32_t start, uint8_t style, uint16_t size, uint16_t font, uint8_t red = 0) {
    StyleRun r;
    r.start = start;
    r.style = style;
    r.size = size;
    r.font = font;
    r.lineHeight = uint16_t(size + 3);
    r.ascent = uint16_t(size - 2);
    r.red = uint16_t(red << 8 | red);
    r.green = 0x0012;  // low bytes are kept as stored
    return r;
}

// Two cards; card 1: an editable field (3), a locked one (4) and a default button; card 2: a
// field (5) with a link word.
const char* kManifest = R"({
  "card_width": 320, "card_height": 240,
  "resources": [
    {"type": "Hlnk", "id": 200, "text": "fox", "text_object": 0,
     "actions": [{"type": "script", "text": "followed"}]}
  ],
  "cards": [
    {"name": "One", "objects": [
      {"kind": "text", "id": 3, "rect": [10, 10, 300, 60], "text": "Hello",
       "styles": [{"start": 0, "font": "Arial", "size": 16}], "back_colour": 1},
      {"kind": "text", "id": 4, "rect": [10, 70, 300, 120], "text": "Locked words", "locked": true,
       "styles": [{"start": 0, "font": "Arial", "size": 16}], "back_colour": 1},
      {"kind": "button", "id": 9, "name": "Go", "rect": [10, 200, 80, 230], "shape": 1,
       "actions": [{"type": "script", "text": "default button"}]}
    ]},
    {"name": "Two", "objects": [
      {"kind": "text", "id": 5, "rect": [10, 10, 300, 60], "text": "The quick brown fox",
       "styles": [{"start": 0, "font": "Courier New", "size": 16}], "back_colour": 1, "locked": true}
    ]}
  ]
})";

class TextFieldsTest : public BrowseTest {
protected:
    void SetUp() override {
        BrowseTest::SetUp();
        setClock(&vclock);
        fields().writeClipboard = [this](const std::string& t) { clipboard = t; };
        fields().readClipboard = [this]() -> std::optional<std::string> {
            if (clipboard.empty()) return std::nullopt;
            return clipboard;
        };
    }
    void TearDown() override {
        BrowseTest::TearDown();
        setClock(nullptr);
    }
    TextFields& fields() { return player->textFields(); }
    TextDocument& doc(uint16_t id) {
        TextDocument* d = fields().document(id);
        EXPECT_NE(d, nullptr) << "field " << id << " is not shown";
        static TextDocument none(QRect(0, 0, 10, 10));
        return d ? *d : none;
    }
    void type(const std::string& text) {
        for (unsigned char c : text) player->dispatch({.type = MsgType::Char, .ch = c});
    }
    void keyDown(int key, uint32_t mods = 0) {
        player->dispatch({.type = MsgType::KeyDown, .key = key, .modifiers = mods});
    }
    void doubleClick(int x, int y) {
        player->dispatch({.type = MsgType::DoubleClick, .x = x, .y = y});
        up(x, y);
    }
    std::string stored(int cardNumber, uint16_t id) {
        Handle card = CardByNumber(cardNumber);
        return TextForCard(TextObjectIn(card, id), CardIdOf(card), theStack().macText);
    }
    // A point on character `pos` of a field's first line.
    QPoint pointAt(uint16_t id, size_t pos) {
        TextDocument& d = doc(id);
        const int y = d.viewRect().top() + 6;
        for (int x = d.viewRect().left(); x <= d.viewRect().right(); ++x)
            if (d.pointToChar(QPoint(x, y)) > pos) return QPoint(x - 1, y);
        ADD_FAILURE() << "no point on character " << pos;
        return {};
    }
    // Dark pixels of the screen inside `r`.
    int inkIn(const QRect& r) const {
        int n = 0;
        const QImage& s = player->screen();
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                if (qGray(s.pixel(x, y)) < 128) ++n;
        return n;
    }

    VirtualClock vclock{1000};
    std::string clipboard;
    static constexpr int kKeyHome = 0x24, kKeyEnd = 0x23;
};

} // namespace

TEST_F(TextFieldsTest, StyleRunsComeBackAsTheyWereApplied) {
    open(kManifest);
    TextDocument d(QRect(0, 0, 300, 200));
    // Runs over a paragraph end, a run starting on one, a line break and a CR LF pair.
    const std::string text = "Title\rBody text\nmore\r\nend";
    const std::vector<StyleRun> runs = {run(0, kStyleBold | kStyleUnderline, 18, 1000),
                                        run(5, 0, 12, 1000, 0x80),
                                        run(11, kStyleItalic | kStyleOutline, 14, 4242),
                                        run(16, kStyleShadow | kStyleCondensed, 9, 1000),
                                        run(22, kStyleExtended, 24, 1000, 0xFF)};
    d.insertStyled(text, runs);
    EXPECT_EQ(d.text(), text);
    EXPECT_EQ(d.textSize(), text.size());
    EXPECT_EQ(d.styleRuns(), runs);

    // Styling a range splits the run it falls in.
    d.setStyle(1, 3, run(0, kStyleItalic, 12, 1000));
    const auto after = d.styleRuns();
    ASSERT_EQ(after.size(), runs.size() + 2);
    EXPECT_EQ(after[1].start, 1u);
    EXPECT_EQ(after[1].style, kStyleItalic);
    EXPECT_EQ(after[2].start, 3u);
    EXPECT_TRUE(after[2].sameStyle(runs[0]));

    // Runs whose starts go backwards (a damaged record) lose no text and repeat none.
    TextDocument damaged(QRect(0, 0, 300, 200));
    damaged.insertStyled("abcdefghij", {run(0, 0, 12, 1000), run(6, kStyleBold, 12, 1000), run(3, 0, 14, 1000),
                                        run(400, 0, 9, 1000)});
    EXPECT_EQ(damaged.text(), "abcdefghij");

    // Every Windows byte but NUL keeps its offset and its value.
    std::string all;
    for (int b = 1; b < 256; ++b) all += char(b);
    TextDocument bytes(QRect(0, 0, 300, 200));
    bytes.insert(all);
    EXPECT_EQ(bytes.text(), all);
}

TEST_F(TextFieldsTest, AStoredFontWidthStretchesTheFace) {
    open(kManifest);
    // Two entries of the same face, one asking for characters 3 pixels wide on average.
    std::vector<uint8_t> list(3 * fntl::kEntrySize, 0);
    for (int i = 0; i < 2; ++i) {
        uint8_t* e = list.data() + i * fntl::kEntrySize;
        setPStringField(e, fntl::kNameSize, "Times New Roman");
        storeBE16(e + fntl::kNumber, uint16_t(7 + i));
        storeBE16(e + fntl::kWidth, i == 0 ? 3 : 0);
        storeBE16(e + fntl::kWeight, 400);
    }
    DisposeHandle(theStack().fontList);
    theStack().fontList = NewHandleFrom(list.data(), uint32_t(list.size()));
    const QFont narrow = engine::formatForRun(run(0, 0, 24, 7)).font();
    const QFont natural = engine::formatForRun(run(0, 0, 24, 8)).font();
    EXPECT_EQ(natural.stretch(), QFont::AnyStretch);
    EXPECT_LT(QFontMetrics(narrow).horizontalAdvance("mmmmmmmmmm"), QFontMetrics(natural).horizontalAdvance("mmmmmmmmmm"));
    EXPECT_NEAR(QFontMetrics(narrow).averageCharWidth(), 3, 2);
}

TEST_F(TextFieldsTest, DamagedTextObjectsAreShownWithoutLeavingTheirRecord) {
    open(kManifest);
    Handle card = CardByNumber(1);
    const auto stored = TextObjectIn(card, 3);
    const std::vector<uint8_t> base(stored.begin(), stored.end());
    QImage image(320, 240, QImage::Format_RGB32);
    uint32_t seed = 99;
    auto next = [&]() { return seed = seed * 1103515245u + 12345u; };
    for (int i = 0; i < 300; ++i) {
        std::vector<uint8_t> o = base;
        for (int k = 0; k < 3; ++k) o[obj::kRect + next() % (o.size() - obj::kRect)] = uint8_t(next() >> 8);
        auto d = MakeTextDocument({o.data(), o.size()}, 1, i % 2 == 0, {});
        if (!d) continue;
        QPainter p(&image);
        d->draw(p, {true, true});
        d->click(QPoint(int(next() % 320), int(next() % 240)), false);
        d->typeChar('x');
        EXPECT_EQ(d->text().size(), d->textSize());
    }
}

TEST_F(TextFieldsTest, TextWithoutRunsGetsTheDefaultFontNumbered) {
    open(kManifest);
    TextDocument d(QRect(0, 0, 300, 200));
    d.insertStyled("plain", {});
    const auto runs = d.styleRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_GE(runs[0].font, 1000);
    EXPECT_EQ(runs[0].size, 12);
    EXPECT_EQ(FontForNumber(runs[0].font, 9).faceName, FontForNumber(0, 9).faceName);
    // Its face was chosen among the installed ones and recorded as the one Qt uses.
    EXPECT_FALSE(FontForNumber(0, 9).faceName.empty());
}

TEST_F(TextFieldsTest, TheFirstEditableFieldIsActiveAndTakesTyping) {
    open(kManifest);
    ASSERT_EQ(fields().activeField(), std::optional<uint16_t>(3));
    EXPECT_TRUE(fields().editing());
    // The caret goes where the click is; characters, Return, Backspace and arrows edit.
    click(290, 20);
    type("!x");
    type("\x08");
    EXPECT_EQ(doc(3).text(), "Hello!");
    keyDown(kKeyLeft);
    keyDown(kKeyLeft);
    type("\r");
    EXPECT_EQ(doc(3).text(), "Hell\ro!");
    EXPECT_TRUE(log.empty()) << "Return in an edited field must not reach the default button";
    // Shift+arrows select.
    keyDown(kKeyRight, kModShift);
    EXPECT_EQ(doc(3).selectedText(), "o");
    EXPECT_TRUE(fields().modified());
    EXPECT_EQ(stored(1, 3), "Hello");   // not stored until the card is left
}

TEST_F(TextFieldsTest, HomeEndAndControlArrowsMoveByLinesAndWordsAndShiftSelects) {
    open(kManifest);
    click(290, 20);
    type(" brave new world");
    ASSERT_EQ(doc(3).text(), "Hello brave new world");
    keyDown(kKeyHome);
    EXPECT_EQ(doc(3).insertionPoint(), 0u);
    keyDown(kKeyEnd);
    EXPECT_EQ(doc(3).insertionPoint(), 21u);
    keyDown(kKeyLeft, kModControl);
    EXPECT_EQ(doc(3).insertionPoint(), 16u);
    keyDown(kKeyLeft, kModControl | kModShift);
    EXPECT_EQ(doc(3).selectedText(), "new ");
    keyDown(kKeyRight, kModControl);
    EXPECT_FALSE(doc(3).hasSelection());
    EXPECT_EQ(doc(3).insertionPoint(), 16u);
    keyDown(kKeyHome, kModShift);
    EXPECT_EQ(doc(3).selectedText(), "Hello brave new ");
    keyDown(kKeyRight, kModControl);
    keyDown(kKeyRight, kModControl | kModShift);
    EXPECT_EQ(doc(3).selectedText(), "brave ");
    // Home and End keep to the line; with Control they go to the ends of the text.
    keyDown(kKeyEnd, kModControl);
    type("\rsecond line");
    keyDown(kKeyHome);
    EXPECT_EQ(doc(3).insertionPoint(), 22u);
    keyDown(kKeyEnd, kModShift);
    EXPECT_EQ(doc(3).selectedText(), "second line");
    keyDown(kKeyHome, kModControl);
    EXPECT_EQ(doc(3).insertionPoint(), 0u);
    keyDown(kKeyEnd, kModControl | kModShift);
    EXPECT_EQ(doc(3).selection(), (std::pair<size_t, size_t>{0, 33}));
    EXPECT_EQ(doc(3).text(), "Hello brave new world\rsecond line") << "moving changes no text";
}

TEST_F(TextFieldsTest, TypedTextIsKeptWhenTheCardIsLeftOrTheStackClosedAndSaved) {
    open(kManifest);
    const std::string path = theStack().path;
    click(290, 20);
    type(" world");
    command(kCmdNext);
    EXPECT_EQ(player->currentCardNumber(), 2);
    EXPECT_EQ(stored(1, 3), "Hello world");
    EXPECT_TRUE(theStack().changed);
    ASSERT_TRUE(player->saveStack(false));
    ASSERT_TRUE(player->openStack(path));
    EXPECT_EQ(stored(1, 3), "Hello world");
    EXPECT_EQ(doc(3).text(), "Hello world");
    // The run the text was typed in is the stored one.
    const auto runs = ReadStoredText(TextObjectIn(CardByNumber(1), 3),
                                     *FindTextSubrecord(TextObjectIn(CardByNumber(1), 3), CardIdOf(CardByNumber(1))))
                          .runs;
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].size, 16);
    // Text still being edited: closing asks to save the change; saving keeps it.
    type("Hi ");
    headlessUi().queueAnswer(kAnswerFirst);
    EXPECT_TRUE(player->mayCloseStack());
    ASSERT_TRUE(player->openStack(path));
    EXPECT_EQ(stored(1, 3), "Hi Hello world");
}

TEST_F(TextFieldsTest, TextTypedIntoAStackThatCannotBeWrittenIsSavedUnderAnotherName) {
    open(kManifest);
    const std::filesystem::path path = theStack().path;
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                           std::filesystem::perms::others_read);
    type("Hi ");
    const std::string other = (path.parent_path() / "kept.stk").string();
    headlessUi().clearLog();
    headlessUi().queueAnswer(kAnswerFirst); // Save
    headlessUi().queueFile(other);          // the file is locked: Save As
    EXPECT_TRUE(player->mayCloseStack());
    EXPECT_EQ(theStack().path, other);
    ASSERT_TRUE(player->openStack(other));
    EXPECT_EQ(stored(1, 3), "Hi Hello");
    // Cancelling the new name keeps the stack open, with its change.
    ASSERT_TRUE(player->openStack(path.string()));
    type("Yo ");
    headlessUi().queueAnswer(kAnswerFirst);
    headlessUi().queueCancel();
    EXPECT_FALSE(player->mayCloseStack());
    EXPECT_TRUE(player->textFields().modified() || theStack().changed);
}

TEST_F(TextFieldsTest, ALockedFieldIgnoresTyping) {
    open(kManifest);
    EXPECT_TRUE(fields().locked(4));
    click(50, 90);
    EXPECT_EQ(fields().activeField(), std::optional<uint16_t>(3));
    command(kCmdAbout);  // a command that ends editing
    EXPECT_FALSE(fields().editing());
    click(50, 90);
    type("typed");
    EXPECT_EQ(doc(4).text(), "Locked words");
    // With nothing being edited, Return is the default button's.
    type("\r");
    EXPECT_EQ(log, std::vector<std::string>{"script default button"});
    // No I-beam over it; the editable field has one.
    EXPECT_EQ(player->events().chooseCursor(QPoint(50, 90)).shape, CursorShape::Hand);
    EXPECT_EQ(player->events().chooseCursor(QPoint(50, 30)).shape, CursorShape::IBeam);
}

TEST_F(TextFieldsTest, ClicksDoubleClicksAndDragsSelect) {
    open(kManifest);
    click(290, 20);
    type(" there");
    const QPoint there = pointAt(3, 8);
    doubleClick(there.x(), there.y());
    EXPECT_EQ(doc(3).selectedText(), "there");
    EXPECT_EQ(player->menuText(kCmdCopy), "Copy text\tCtrl+C");
    command(kCmdCopy);
    EXPECT_EQ(clipboard, "there");
    command(kCmdClear);
    EXPECT_EQ(doc(3).text(), "Hello ");
    command(kCmdPaste);
    command(kCmdPaste);
    EXPECT_EQ(doc(3).text(), "Hello therethere");
    // A drag from the start selects what it passes over; the selection grows past the field's
    // edge while the button is held.
    down(14, 20);
    move(40, 20);
    up(40, 20);
    EXPECT_FALSE(doc(3).selectedText().empty());
    EXPECT_EQ(doc(3).selection().first, 0u);
    command(kCmdCut);
    EXPECT_EQ(doc(3).text().size() + clipboard.size(), std::string("Hello therethere").size());
    EXPECT_EQ(player->menuText(kCmdCut), "Cut\tCtrl+X");
    EXPECT_EQ(player->menuText(kCmdPaste), "Paste text\tCtrl+V");
    EXPECT_TRUE(player->commandEnabled(kCmdPaste));
    // A command that moves on ends editing; the clipboard commands are disabled then.
    fields().endEditing();
    EXPECT_FALSE(player->commandEnabled(kCmdCopy));
    EXPECT_EQ(player->menuText(kCmdPaste), "Paste\tCtrl+V");
}

TEST_F(TextFieldsTest, TheSystemClipboardHoldsLinesWithItsOwnLineEnds) {
    HeadlessHost otherHost;
    Player other(otherHost);  // a player whose clipboard is the system's
    other.textFields().writeClipboard("one\rtwo \x80");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8("one\ntwo \u20AC"));
    QGuiApplication::clipboard()->setText(QString::fromUtf8("a\r\nb\nc \u00E9"));
    EXPECT_EQ(other.textFields().readClipboard().value_or(""), "a\rb\rc \xE9");
}

TEST_F(TextFieldsTest, FindGoesToTheCardAndSelectsTheMatch) {
    open(kManifest);
    headlessUi().queueText("BROWN");
    command(kCmdFind);
    EXPECT_EQ(player->currentCardNumber(), 2);
    EXPECT_EQ(fields().activeField(), std::optional<uint16_t>(5));
    EXPECT_EQ(doc(5).selection(), std::make_pair(size_t(10), size_t(15)));
    EXPECT_EQ(headlessUi().lastAlertText(), "");
    // Searching on finds what was typed on the first card, wrapping round the stack.
    headlessUi().queueText("hello");
    command(kCmdFind);
    EXPECT_EQ(player->currentCardNumber(), 1);
    EXPECT_EQ(doc(3).selectedText(), "Hello");
    headlessUi().queueText("zebra");
    command(kCmdFind);
    EXPECT_EQ(headlessUi().lastAlertText(), "No match found.");
    EXPECT_EQ(player->currentCardNumber(), 1);
}

TEST_F(TextFieldsTest, AClickOnALinkRunsItsAction) {
    open(kManifest);
    command(kCmdNext);
    // "The quick brown fox": "fox" is characters 16-18.
    const QPoint onFox = pointAt(5, 17);
    const uint64_t before = vclock.nowMs();
    click(onFox.x(), onFox.y());
    EXPECT_EQ(log, std::vector<std::string>{"script followed"});
    // The link flashed three times before its action ran.
    EXPECT_GE(vclock.nowMs() - before, 5 * 300u);
    // Elsewhere in the field nothing runs.
    log.clear();
    click(16, 20);
    EXPECT_TRUE(log.empty());
}

TEST_F(TextFieldsTest, FieldsAreDrawnWithTheirBackgroundAlignmentAndStyles) {
    open(R"({"card_width": 320, "card_height": 240,
      "cards": [{"background": {"colour": "#336699"}, "objects": [
        {"kind": "text", "id": 1, "rect": [10, 10, 150, 60], "text": "Hi", "align": "right",
         "styles": [{"start": 0, "font": "Arial", "size": 24, "style": "bold"}], "back_colour": 1},
        {"kind": "text", "id": 2, "rect": [160, 10, 310, 60], "text": "Hi", "transparent": true,
         "styles": [{"start": 0, "font": "Times New Roman", "size": 24, "colour": "#ff0000"}]},
        {"kind": "text", "id": 3, "rect": [10, 70, 150, 120], "text": "", "inactive": true}
      ]}]})");
    const QImage& s = player->screen();
    // Right-aligned: ink near the right edge only.
    EXPECT_GT(inkIn(QRect(100, 13, 47, 40)), 20);
    EXPECT_EQ(inkIn(QRect(13, 13, 60, 40)), 0);
    // Red letters on the transparent field.
    int red = 0;
    for (int y = 13; y < 57; ++y)
        for (int x = 163; x < 220; ++x)
            if (qRed(s.pixel(x, y)) > 200 && qGreen(s.pixel(x, y)) < 80) ++red;
    EXPECT_GT(red, 20);
    // The empty field was asked not to become active; the first one is.
    EXPECT_EQ(fields().activeField(), std::optional<uint16_t>(1));
}

TEST_F(TextFieldsTest, TheCaretBlinksWhileTheWindowHasTheFocus) {
    open(kManifest);
    click(290, 20);
    const QRect caret = doc(3).caretRect();
    ASSERT_TRUE(caret.isValid());
    EXPECT_GT(inkIn(caret), 0);
    vclock.advance(600);
    player->timerHandler();
    EXPECT_EQ(inkIn(caret), 0);
    type("a");  // typing shows it again at once
    EXPECT_GT(inkIn(doc(3).caretRect()), 0);
    host.focused = false;
    player->timerHandler();
    EXPECT_EQ(inkIn(doc(3).caretRect()), 0);
}

TEST_F(TextFieldsTest, TheTitleShowsAFileNameInTheWindowsSet) {
    ASSERT_TRUE(player->openStack(buildStack(kManifest, "caf\xC3\xA9.stk")));
    EXPECT_EQ(host.title, "caf\xE9.stk");
}

TEST_F(TextFieldsTest, MacintoshTextIsShownAndStoredInItsOwnSet) {
    open(R"({"card_width": 320, "card_height": 240, "mac_text": true,
      "cards": [{"objects": [{"kind": "text", "id": 1, "rect": [10, 10, 300, 60], "text": "café"}]},
                {"objects": []}]})");
    ASSERT_TRUE(theStack().macText);
    Handle card = CardByNumber(1);
    const auto object = TextObjectIn(card, 1);
    EXPECT_EQ(ReadStoredText(object, TextSubrecords(object)[0]).text, "caf\x8E");
    EXPECT_EQ(doc(1).text(), "caf\xE9");
    click(290, 20);
    type("\xE0");  // a typed Windows character
    command(kCmdNext);
    const auto after = TextObjectIn(CardByNumber(1), 1);
    EXPECT_EQ(ReadStoredText(after, TextSubrecords(after)[0]).text, "caf\x8E\x88");
}

TEST_F(TextFieldsTest, TextFromAFileIsShownAndNeverOverwritten) {
    const std::string stack = buildStack(R"({"card_width": 320, "card_height": 240,
      "cards": [{"objects": [{"kind": "text", "id": 1, "rect": [10, 10, 300, 100],
                              "file": "C:\\Stuff\\notes.txt"}]}]})");
    std::ofstream(std::filesystem::path(stack).parent_path() / "notes.txt", std::ios::binary) << "line one\r\nline two\n";
    ASSERT_TRUE(player->openStack(stack));
    EXPECT_EQ(doc(1).text(), "line one\rline two\r");
    EXPECT_TRUE(fields().locked(1));
    type("x");
    EXPECT_EQ(doc(1).text(), "line one\rline two\r");
}
