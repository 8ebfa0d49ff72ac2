#pragma once
// The Ui of the player's window: real dialogs for alerts (laid out by alert_layout), message
// boxes, one-line questions and file choosers. Texts arrive and leave as Windows-1252 bytes;
// file paths leave as this machine writes them.
#include <QString>

#include "core/ui.h"

class QWidget;

namespace cv {

class QtUi : public Ui {
public:
    explicit QtUi(QWidget* owner) : owner_(owner) {}

    int alert(int stringId, const AlertText& alert, bool showIcon) override;
    void messageBox(std::string_view caption, std::string_view text) override;
    std::optional<std::string> askText(std::string_view dialog, std::string_view prompt,
                                       std::string_view initial) override;
    std::optional<std::string> chooseFile(std::string_view prompt, std::string_view filter,
                                          bool forSaving) override;
    // "PRINTVIDEO" and "PREFERENCES" (in slide_show_dialog.cpp and preferences_dialog.cpp).
    std::optional<SlideShowChoice> slideShowDialog(const SlideShowChoice& initial) override;
    bool preferencesDialog(PreferencesForm& form) override;

private:
    QWidget* owner_;
};

// A file filter in the program's form ("Stacks (*.STK)|*.stk", pairs separated by '|') in
// Qt's form, each pattern in lower and upper case ("Stacks (*.stk *.STK)").
QString qtFileFilter(std::string_view filter);
// The title of a question dialog named by its resource name ("JUMP_TO_CARD").
QString questionTitle(std::string_view dialog);

} // namespace cv
