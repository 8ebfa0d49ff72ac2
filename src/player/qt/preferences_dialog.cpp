// The Preferences dialog of the player's window.
#include "player/qt/preferences_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QVBoxLayout>

#include "core/text_encoding.h"
#include "player/preferences.h"
#include "player/qt/qt_ui.h"

namespace cv {

namespace {

struct BoxText {
    int control;
    const char* text; // with the dialog's own mnemonics
};

constexpr BoxText kBoxes[] = {
    {kPrefExperienced, "I'm an experienced Corvella &user"},
    {kPrefIgnoreClicks, "&Ignore extra mouse clicks"},
    {kPrefLockStack, "&Lock stack"},
    {kPrefShowCardNumber, "Show card &number with stack name"},
    {kPrefTimersAndLinks, "Turn on Automatic &Timers && HyperLinks"},
    {kPrefAutoSave, "Automatically &save stack"},
    {kPrefPresentation, "Presentation &mode..."},
    {kPrefCompression, "Highest compression for backgrounds"},
    {kPrefAllFiles, "Let this stack's scripts use &all my files"},
};

} // namespace

PreferencesView::PreferencesView(QWidget* owner, PreferencesForm& form) : QDialog(owner), form_(form) {
    setWindowTitle("Preferences");
    auto* layout = new QVBoxLayout(this);
    auto* passwordRow = new QFormLayout;
    password_ = new QLineEdit(this);
    password_->setMaxLength(int(form_.passwordLimit()));
    password_->setText(QString::fromStdString(cp1252ToUtf8(form_.password())));
    auto* label = new QLabel("Stack &password:", this);
    label->setBuddy(password_);
    passwordRow->addRow(label, password_);
    layout->addLayout(passwordRow);
    for (const BoxText& b : kBoxes) {
        auto* box = new QCheckBox(b.text, this);
        boxes_[b.control] = box;
        layout->addWidget(box);
        const int control = b.control;
        connect(box, &QCheckBox::clicked, this, [this, control] {
            form_.click(control);
            refresh();
            password_->setFocus();
        });
    }
    connect(password_, &QLineEdit::textEdited, this, [this](const QString& text) {
        form_.passwordChanged(utf8ToCp1252(text.toStdString()));
        refresh();
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    refresh();

    adjustSize();
    const QScreen* s = owner && owner->screen() ? owner->screen() : QGuiApplication::primaryScreen();
    if (s) {
        QRect r(QPoint(), size());
        r.moveCenter(s->availableGeometry().center());
        move(r.topLeft());
    }
    password_->selectAll();
    password_->setFocus();
}

QCheckBox* PreferencesView::checkBox(int control) const {
    auto it = boxes_.find(control);
    return it == boxes_.end() ? nullptr : it->second;
}

void PreferencesView::refresh() {
    for (auto& [control, box] : boxes_) {
        box->setChecked(form_.checked(control));
        box->setEnabled(form_.enabled(control));
    }
}

bool QtUi::preferencesDialog(PreferencesForm& form) {
    PreferencesView dialog(owner_, form);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace cv
