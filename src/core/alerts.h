#pragma once
// showAlert: the one way the program shows a message from its string table. It applies the
// rules every alert shares (experienced users see only forced alerts; once-alerts show once
// per run) and hands the parsed text to the Ui.
#include <string_view>

namespace cv {

// Minimum window size of this platform (Qt imposes none; we keep the historical floor).
constexpr int kMinWindowWidth = 40;
constexpr int kMinWindowHeight = 40;

// Shows string `id` as an alert; returns 52, 53 or 54. A string that cannot be loaded
// returns 52 without showing anything.
int showAlert(int id, bool once = false, bool forced = false, bool showIcon = true);
// Shows a run-time text in the alert format (string id 0).
int showAlertText(std::string_view text, bool forced = false, bool showIcon = true);

// The "advancedUser" setting: unforced alerts are not shown to experienced users.
void setAdvancedUser(bool on);
bool advancedUser();
// Forgets which once-alerts were shown (a new run).
void resetAlertOnceList();

} // namespace cv
