#pragma once
// The Preferences dialog ("PREFERENCES") in the player's window: a view of a PreferencesForm,
// which decides what each click and each typed password does.
#include <QDialog>
#include <map>

#include "core/ui.h"

class QCheckBox;
class QLineEdit;

namespace cv {

class PreferencesView : public QDialog {
public:
    PreferencesView(QWidget* owner, PreferencesForm& form);

    QLineEdit* passwordField() const { return password_; }
    QCheckBox* checkBox(int control) const;

private:
    // Shows the form's checks and which controls it enables.
    void refresh();

    PreferencesForm& form_;
    QLineEdit* password_ = nullptr;
    std::map<int, QCheckBox*> boxes_;
};

} // namespace cv
