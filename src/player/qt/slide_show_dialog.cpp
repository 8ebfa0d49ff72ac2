// The slide show dialog of the player's window.
#include "player/qt/slide_show_dialog.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include "player/qt/qt_ui.h"

namespace cv {

namespace {
constexpr int kDefaultPause = 3;
}

SlideShowView::SlideShowView(QWidget* owner, const SlideShowChoice& initial) : QDialog(owner) {
    setWindowTitle("Print to Video");
    auto* layout = new QVBoxLayout(this);
    untilEscape_ = new QRadioButton("Print until Escape key is pressed", this);
    allCards_ = new QRadioButton("Print all cards automatically", this);
    layout->addWidget(untilEscape_);
    layout->addWidget(allCards_);

    auto* pauseRow = new QHBoxLayout;
    pause_ = new QLineEdit(QString::number(initial.pauseSeconds > 0 ? initial.pauseSeconds : kDefaultPause), this);
    pause_->setValidator(new QIntValidator(0, 3600, pause_));
    pause_->setMaximumWidth(60);
    pauseLabel_ = new QLabel("seconds between cards", this);
    pauseWord_ = new QLabel("&Pause", this);
    pauseWord_->setBuddy(pause_);
    pauseRow->addSpacing(20);
    pauseRow->addWidget(pauseWord_);
    pauseRow->addWidget(pause_);
    pauseRow->addWidget(pauseLabel_);
    pauseRow->addStretch();
    layout->addLayout(pauseRow);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* start = buttons->addButton("Start", QDialogButtonBox::AcceptRole);
    buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
    start->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    (initial.allCards ? allCards_ : untilEscape_)->setChecked(true);
    connect(allCards_, &QRadioButton::toggled, this, [this] { showPause(); });
    showPause();

    adjustSize();
    const QScreen* s = owner && owner->screen() ? owner->screen() : QGuiApplication::primaryScreen();
    if (s) {
        QRect r(QPoint(), sizeHint());
        r.moveCenter(s->availableGeometry().center());
        move(r.topLeft());
    }
}

void SlideShowView::showPause() {
    const bool automatic = allCards_->isChecked();
    pauseWord_->setVisible(automatic);
    pause_->setVisible(automatic);
    pauseLabel_->setVisible(automatic);
}

SlideShowChoice SlideShowView::choice() const {
    SlideShowChoice c;
    c.allCards = allCards_->isChecked();
    bool ok = false;
    const int seconds = pause_->text().trimmed().toInt(&ok);
    c.pauseSeconds = ok && seconds > 0 ? seconds : kDefaultPause;
    return c;
}

std::optional<SlideShowChoice> QtUi::slideShowDialog(const SlideShowChoice& initial) {
    SlideShowView dialog(owner_, initial);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.choice();
}

} // namespace cv
