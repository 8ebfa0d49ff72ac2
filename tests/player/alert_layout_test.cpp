// The alert dialog: reading the alert string, the layout arithmetic, and the rules that decide
// whether an alert is shown at all.
#include "player/alert_layout.h"

#include <gtest/gtest.h>

#include "core/alerts.h"
#include "core/ui.h"

using namespace cv;

namespace {
constexpr int kSide = 3 + 1;     // dialog frame + border
constexpr int kCaption = 19;
const QSize kDog(48, 48);
} // namespace

TEST(AlertString, DigitsButtonsAndTheDefault) {
    AlertText a = parseAlertString("54This stack must be saved before continuing.~^Save~Cancel");
    EXPECT_EQ(a.sizeClass, 5);
    EXPECT_EQ(a.picture, 4);
    EXPECT_EQ(a.message, "This stack must be saved before continuing.");
    EXPECT_EQ(a.buttons, (std::vector<std::string>{"Save", "Cancel"}));
    EXPECT_EQ(a.defaultButton, 0);

    // No '^': the first button is the default.
    a = parseAlertString("03This stack was changed, do you want to save it?~Save~Cancel~Don't Save");
    EXPECT_EQ(a.defaultButton, 0);
    EXPECT_EQ(a.buttons.size(), 3u);

    // Four '~' make three buttons; the fourth label is dropped.
    a = parseAlertString("22Text~One~Two~^Three~Four");
    EXPECT_EQ(a.buttons, (std::vector<std::string>{"One", "Two", "Three"}));
    EXPECT_EQ(a.defaultButton, 2);
    EXPECT_EQ(layoutAlert(a, true, kDog).buttons.size(), 3u);

    // Without any '~' there is still a button to close the dialog with.
    a = parseAlertString("44Only a message");
    EXPECT_EQ(a.buttons, (std::vector<std::string>{"OK"}));
}

TEST(AlertLayout, SizeClassesAndButtonWidths) {
    const AlertLayout five = layoutAlert(parseAlertString("50Hi~^OK"), true, kDog);
    EXPECT_EQ(five.window, QSize(400, 180));
    EXPECT_EQ(five.client, QSize(400 - 2 * kSide, 180 - kCaption - 2 * kSide));
    // Classes out of range take the default's size.
    EXPECT_EQ(alertClassWidth(-1), 400);
    EXPECT_EQ(alertClassHeight(12), 130);

    EXPECT_EQ(alertButtonWidth("OK"), 75);                  // the template button
    EXPECT_EQ(alertButtonWidth("No, change name"), 15 * 8 + 24);

    // Buttons too wide for the class widen the dialog: widths + 15 between + twice (4 + 4).
    AlertText wide = parseAlertString("10Hi~A rather long first label~^A rather long second label~Third label");
    const AlertLayout l = layoutAlert(wide, true, kDog);
    const int sum = (26 * 8 + 24) + (25 * 8 + 24) + (11 * 8 + 24);
    EXPECT_EQ(l.window.width(), sum + 2 * 15 + 2 * (kSide + 4));
}

TEST(AlertLayout, ButtonsRunRightToLeftAlongTheBottom) {
    AlertText a = parseAlertString("53Converted.~No, change name~^Replace~Cancel");
    const AlertLayout l = layoutAlert(a, true, kDog);
    ASSERT_EQ(l.buttons.size(), 3u);
    EXPECT_EQ(l.buttons[0].right() + 1, l.client.width() - 4); // the first is rightmost
    EXPECT_EQ(l.buttons[1].right() + 1, l.buttons[0].left() - 15);
    EXPECT_EQ(l.buttons[2].right() + 1, l.buttons[1].left() - 15);
    for (const QRect& b : l.buttons) {
        EXPECT_EQ(b.bottom() + 1, l.client.height() - 4);
        EXPECT_EQ(b.height(), 23);
    }
    EXPECT_EQ(l.buttons[0].width(), 15 * 8 + 24);
    EXPECT_EQ(l.buttons[1].width(), 7 * 8 + 24); // "Replace" is wider than the template
    EXPECT_EQ(l.buttons[2].width(), 75);
    EXPECT_EQ(l.defaultButton, 1);
    EXPECT_EQ(l.cancelButton, 2);
}

TEST(AlertLayout, PictureAndText) {
    AlertText a = parseAlertString("44Sorry.~^OK");
    AlertLayout l = layoutAlert(a, true, kDog);
    EXPECT_EQ(l.picture, AlertPicture::Dog);
    EXPECT_EQ(l.pictureRect, QRect(4, 4, 48, 48));
    EXPECT_EQ(l.textRect.left(), 48 + 12);
    EXPECT_EQ(l.textRect.right() + 1, l.client.width() - 4);
    EXPECT_EQ(l.textRect.top(), 12);
    EXPECT_LT(l.textRect.bottom(), l.buttons[0].top());

    // Without the icon (the caller's choice, or a digit that names none) the text starts at 4.
    for (const AlertLayout& none : {layoutAlert(a, false, kDog), layoutAlert(parseAlertString("40Hi~OK"), true, kDog),
                                    layoutAlert(parseAlertString("47Hi~OK"), true, kDog)}) {
        EXPECT_EQ(none.picture, AlertPicture::None);
        EXPECT_TRUE(none.pictureRect.isEmpty());
        EXPECT_EQ(none.textRect.left(), 4);
    }
    l = layoutAlert(parseAlertString("31Stop.~OK"), true, QSize(32, 32));
    EXPECT_EQ(l.textRect.left(), 32 + 12);
}

TEST(AlertLayout, NothingIsCutOff) {
    // A long run-time message makes the dialog taller than its class, with the text whole.
    AlertText a = parseAlertString("10" + std::string(600, 'x') + "~^OK");
    const AlertLayout l = layoutAlert(a, true, kDog, [](int width) { return 600 * 7 / width * 16 + 16; });
    EXPECT_GT(l.window.height(), 100);
    const int needed = 600 * 7 / l.textRect.width() * 16 + 16;
    EXPECT_GE(l.textRect.height(), needed);
    EXPECT_LT(l.textRect.bottom(), l.buttons[0].top());
    // A short one keeps the class height.
    EXPECT_EQ(layoutAlert(parseAlertString("10Hi~^OK"), true, kDog, [](int) { return 16; }).window.height(), 100);

    // Three buttons in the narrowest class reach under the dog: they go below it.
    const AlertLayout crowded = layoutAlert(parseAlertString("12Hi~One~Two~Three"), true, kDog);
    EXPECT_GE(crowded.buttons[2].top(), crowded.pictureRect.bottom());
}

TEST(AlertLayout, EscapeBelongsToACancelButtonOnly) {
    EXPECT_TRUE(isCancelLabel("Cancel"));
    EXPECT_TRUE(isCancelLabel("CANCEL"));
    EXPECT_TRUE(isCancelLabel("&Cancel"));
    EXPECT_FALSE(isCancelLabel("Cancel it"));
    EXPECT_EQ(layoutAlert(parseAlertString("44Sorry.~^OK"), true, kDog).cancelButton, -1);
    EXPECT_EQ(layoutAlert(parseAlertString("03Save?~Save~Cancel~Don't Save"), true, kDog).cancelButton, 1);
}

class AlertRules : public ::testing::Test {
protected:
    void SetUp() override {
        setAdvancedUser(false);
        resetAlertOnceList();
        headlessUi().clearLog();
    }
    void TearDown() override { setAdvancedUser(false); }
    size_t shown() const { return headlessUi().log().size(); }
};

TEST_F(AlertRules, AOnceAlertShowsOncePerRun) {
    headlessUi().queueAnswer(kAnswerFirst);
    EXPECT_EQ(showAlert(2229, true), kAnswerFirst);
    EXPECT_EQ(shown(), 1u);
    headlessUi().queueAnswer(kAnswerThird);
    EXPECT_EQ(showAlert(2229, true), kAnswerFirst); // not shown again, and 52
    EXPECT_EQ(shown(), 1u);
    EXPECT_EQ(showAlert(2229, false, false), kAnswerThird); // the same id without the once flag shows
    EXPECT_EQ(shown(), 2u);
    resetAlertOnceList();
    showAlert(2229, true);
    EXPECT_EQ(shown(), 3u);
}

TEST_F(AlertRules, ExperiencedUsersSeeForcedAlertsOnly) {
    setAdvancedUser(true);
    headlessUi().queueAnswer(kAnswerSecond);
    EXPECT_EQ(showAlert(2213), kAnswerFirst);
    EXPECT_EQ(shown(), 0u);
    EXPECT_EQ(showAlert(2213, false, true), kAnswerSecond);
    EXPECT_EQ(shown(), 1u);
    EXPECT_EQ(showAlert(123456, false, true), kAnswerFirst); // no such string: nothing shown
    EXPECT_EQ(shown(), 1u);
}
