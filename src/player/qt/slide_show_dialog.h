#pragma once
// The slide show dialog ("PRINTVIDEO", "Print to Video"): every card once automatically, or
// until Escape is pressed, with the pause between cards.
#include <QDialog>

#include "core/ui.h"

class QLabel;
class QLineEdit;
class QRadioButton;

namespace cv {

class SlideShowView : public QDialog {
public:
    SlideShowView(QWidget* owner, const SlideShowChoice& initial);

    // The settings chosen (a pause that is no number gives 3 seconds).
    SlideShowChoice choice() const;

    QRadioButton* untilEscape() const { return untilEscape_; }
    QRadioButton* allCards() const { return allCards_; }
    QLineEdit* pauseField() const { return pause_; }
    QLabel* pauseWord() const { return pauseWord_; }
    QLabel* pauseUnit() const { return pauseLabel_; }

private:
    // The pause belongs to the automatic show only.
    void showPause();

    QRadioButton* untilEscape_ = nullptr; // 1001
    QRadioButton* allCards_ = nullptr;    // 1002
    QLabel* pauseWord_ = nullptr;         // 1004 "Pause"
    QLineEdit* pause_ = nullptr;          // 1003
    QLabel* pauseLabel_ = nullptr;        // 1005 "seconds between cards"
};

} // namespace cv
