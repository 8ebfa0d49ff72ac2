// Loading files, reading lines and characters from the person, and the read dialog's settings.
#include <deque>
#include <string>
#include <vector>

#include "core/clock.h"
#include "files_fixture.h"

namespace cv::script::test {
namespace {

class QueuedLines final : public LineInput {
public:
    bool readLine(char prompt, std::string& line) override {
        prompts.push_back(prompt);
        if (lines.empty()) return false;
        line = lines.front();
        lines.pop_front();
        return true;
    }
    std::deque<std::string> lines;
    std::string prompts;
};

class KeyboardHost final : public ScriptHost {
public:
    bool interruptRequested() override { return interruptAfter >= 0 && ++polls > interruptAfter; }
    int readChar() override {
        if (keys.empty()) return -1;
        const int c = static_cast<unsigned char>(keys.front());
        keys.erase(0, 1);
        return c;
    }
    bool charWaiting() override { return !keys.empty(); }
    bool pointerButtonDown() override { return buttonDown; }
    void tone(double frequency, uint64_t durationMs) override {
        tones.push_back(std::to_string(int(frequency)) + "@" + std::to_string(clock().nowMs()) + "+" + std::to_string(durationMs));
    }
    std::string keys;
    bool buttonDown = false;
    std::vector<std::string> tones;
    int interruptAfter = -1;
    int polls = 0;
};

class FilesIoTest : public FilesTest {
protected:
    FilesIoTest() { in.setHost(&host); }
    std::string runTyped(std::string_view text) {
        out.text.clear();
        in.RunScript(text.data(), text.size(), &typed, &out);
        return out.text;
    }
    QueuedLines typed;
    KeyboardHost host;
};

TEST_F(FilesIoTest, LoadRunsTheFileAfterTheCurrentLine) {
    put("lib.logo", "TO TWICE :X\r\nOUTPUT :X * 2\r\nEND\r\nPRINT TWICE 21\r\n");
    EXPECT_EQ(run("LOAD \"LIB.LOGO PRINT \"first\nPRINT \"after"), "first\n42\nafter\n");
    EXPECT_EQ(errorCount(), 0u);
    EXPECT_EQ(run("PRINT TWICE 5"), "10\n");
    // A LOAD inside a procedure still waits for the end of the top-level line.
    put("two.logo", "PRINT \"loaded");
    run("TO L\nLOAD \"two.logo\nPRINT \"inside\nEND");
    EXPECT_EQ(run("L PRINT \"same.line"), "inside\nsame.line\nloaded\n");
}

TEST_F(FilesIoTest, AnErrorInALoadedFileEndsItForGood) {
    put("bad.logo", "PRINT 1\nNOSUCH\nPRINT 2\n");
    EXPECT_EQ(run("LOAD \"bad.logo"), "1\n");
    EXPECT_EQ(lastMessage(), "Logo Error: I don't know how to NOSUCH");
    EXPECT_EQ(run("PRINT \"next"), "next\n");
    // An empty file loads nothing, and a TO without END in a file ends at the run's text.
    put("empty.logo", "");
    put("open.logo", "TO HALF\nPRINT \"in.half");
    EXPECT_EQ(run("LOAD \"empty.logo LOAD \"open.logo\nEND\nHALF"), "in.half\n");
}

TEST_F(FilesIoTest, AFileThatLoadsItselfStopsOnEscape) {
    put("self.logo", "TYPE \"x\nLOAD \"self.logo\n");
    host.interruptAfter = 50;
    const std::string printed = run("LOAD \"self.logo");
    EXPECT_GE(printed.size(), 10u);
    EXPECT_EQ(errorCount(), 0u);
    host.interruptAfter = -1;
    EXPECT_EQ(run("PRINT \"fresh"), "fresh\n");
}

TEST_F(FilesIoTest, SaveThenLoadRestoresWhatWasNotBuried) {
    run("TO SQ :N\nOUTPUT :N * :N\nEND\nTO HIDDEN\nEND\n"
        "MAKE \"V [a [b] 'c d']\nMAKE \"W \"x\\ y PPROP \"P \"K 7 BURY \"HIDDEN");
    put("ws.logo", "old contents");
    EXPECT_EQ(run("SAVE \"WS.LOGO"), "");
    EXPECT_EQ(errorCount(), 0u);
    EXPECT_EQ(contents("ws.logo"), "MAKE \"V [a [b] \"c\\ d]\nMAKE \"W \"x\\ y\n\n"
                                   "SETPLIST \"P [K 7]\n\nTO SQ :N\nOUTPUT :N \\* :N\nEND\n");
    EXPECT_EQ(run("ERALL SHOW DEFINEDP \"SQ LOAD \"ws.logo\nPRINT SQ 4 SHOW :V SHOW :W SHOW GPROP \"P \"K"),
              "FALSE\n16\n[a [b] \"c d]\nx y\n7\n");
    EXPECT_EQ(errorCount(), 0u);

    // A save that cannot be made leaves the old file whole.
    EXPECT_EQ(errorOf("OPEN \"ws.logo SAVE \"ws.logo"), "Logo Error: Can't write to \"ws.logo");
    std::filesystem::create_directory(at("folder"));
    EXPECT_EQ(errorOf("SAVE \"folder"), "Logo Error: Can't write to \"folder");
    EXPECT_EQ(contents("ws.logo").substr(0, 9), "MAKE \"V [");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 2);
}

TEST_F(FilesIoTest, ReadWordTakesTheLoadedFileThenThePerson) {
    put("data.logo", "SHOW READWORD\nthe data line\nSHOW READLIST\n");
    typed.lines = {"?typed [in] 3", "> more"};
    EXPECT_EQ(runTyped("LOAD \"data.logo"), "the data line\n[typed [in] 3]\n");
    // The script's own next line is not input.
    EXPECT_EQ(runTyped("SHOW READWORD\nPRINT \"next"), " more\nnext\n");
    // Without input the line is empty.
    EXPECT_EQ(runTyped("SHOW READWORD SHOW READLIST SHOW RL"), "\n[]\n[]\n");
    EXPECT_EQ(typed.prompts, "?????");
}

TEST_F(FilesIoTest, TypedCharacters) {
    host.keys = "ab\xE9z";
    EXPECT_EQ(run("SHOW KEYP SHOW RC SHOW READCHARS 2 SHOW KEYP SHOW RCS 1 SHOW KEYP"),
              "TRUE\na\nb\xE9\nTRUE\nz\nFALSE\n");
    EXPECT_EQ(errorOf("SHOW RCS 0"), "Logo Error: RCS doesn't like 0 as input");
    // No character can come: the run ends without a message.
    EXPECT_EQ(run("SHOW READCHAR PRINT \"never"), "");
    EXPECT_EQ(errorCount(), 1u);
}

TEST_F(FilesIoTest, ReadDialogSettingsAndTheMouse) {
    EXPECT_EQ(run("SETRWPROMPT \"Name? SETRWRECT [-10 20 / 2 2 * 5 -10] SHOW MOUSE"), "[0 0]\n");
    const ReadDialogSettings& d = in.family<ReadDialogSettings>();
    EXPECT_EQ(d.prompt, "Name?");
    EXPECT_TRUE(d.rectSet);
    EXPECT_EQ(std::vector<int>(std::begin(d.rect), std::end(d.rect)), (std::vector<int>{-10, -10, 10, 10}));
    for (const char* bad : {"SETRWRECT [1 2 3]", "SETRWRECT [1 2 3 4 5]", "SETRWRECT [[1] 2 3 4]", "SETRWRECT \"x"}) {
        run(bad);
        EXPECT_NE(lastMessage().find("SETRWRECT doesn't like"), std::string::npos) << bad;
    }
    EXPECT_EQ(errorOf("SETRWPROMPT [a]"), "Logo Error: SETRWPROMPT doesn't like [a] as input");
}

TEST_F(FilesIoTest, TheMouseButtonAndTonesThatTakeTheirTime) {
    VirtualClock virtualClock(1000);
    Clock* previous = &clock();
    setClock(&virtualClock);
    EXPECT_EQ(run("SHOW BUTTONP"), "FALSE\n");
    host.buttonDown = true;
    EXPECT_EQ(run("SHOW BUTTONP"), "TRUE\n");
    // Durations are 60ths of a second; the tone is waited for.
    EXPECT_EQ(run("TOOT 440 30 TOOT 880.5 6 PRINT \"done"), "done\n");
    EXPECT_EQ(host.tones, (std::vector<std::string>{"440@1000+500", "880@1500+100"}));
    EXPECT_EQ(virtualClock.nowMs(), 1600u);
    // Nothing is asked of the host for a tone of no length or with a bad input.
    host.tones.clear();
    run("TOOT 440 0 TOOT 440 -5");
    EXPECT_EQ(errorOf("TOOT \"high 10"), "Logo Error: TOOT doesn't like \"high as input");
    EXPECT_TRUE(host.tones.empty());
    EXPECT_EQ(virtualClock.nowMs(), 1600u);
    setClock(previous);
}

} // namespace
} // namespace cv::script::test
