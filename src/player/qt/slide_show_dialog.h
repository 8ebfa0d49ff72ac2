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

private:
    // The pause belongs to the automatic show only.
    void showPause();

    QRadioButton* untilEscape_ = nullptr; // 1001
    QRadioButton* allCards_ = nullptr;    // 1002
    QLineEdit* pause_ = nullptr;
    QLabel* pauseLabel_ = nullptr;
};

} // namespace cv
