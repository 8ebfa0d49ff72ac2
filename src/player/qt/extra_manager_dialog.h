#pragma once
// The Extra Manager ("EXTRA_MNGR") in the player's window: a view of an ExtraManagerForm,
// which adds, deletes and, on Done, rewrites the installed list.
#include <QDialog>

class QListWidget;
class QPushButton;

namespace cv {

class ExtraManagerForm;

class ExtraManagerView : public QDialog {
public:
    ExtraManagerView(QWidget* owner, ExtraManagerForm& form);

    QListWidget* list() const { return list_; }
    QPushButton* deleteButton() const { return delete_; }
    // Adding asks for a file through the program's Ui (the file chooser).
    void addExtra();
    void deleteExtra();

private:
    void refresh();

    ExtraManagerForm& form_;
    QListWidget* list_ = nullptr;
    QPushButton* delete_ = nullptr;
};

// Makes command 450 open this dialog over `owner`.
void installExtraManagerDialog(QWidget* owner);

} // namespace cv
