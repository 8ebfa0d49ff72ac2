// The Extra Manager dialog: the installed Extras, Add Extra..., Delete Extra and Done.
#include "player/qt/extra_manager_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <filesystem>

#include "core/text_encoding.h"
#include "core/ui.h"
#include "media/extras/extras.h"
#include "player/player_plugins.h"
#include "resources/strings.h"

namespace cv {

ExtraManagerView::ExtraManagerView(QWidget* owner, ExtraManagerForm& form) : QDialog(owner), form_(form) {
    setObjectName("EXTRA_MNGR");
    setWindowTitle("Extra Manager");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Add or delete items from the 'Extras' menu", this));
    list_ = new QListWidget(this);
    layout->addWidget(list_);
    auto* buttons = new QHBoxLayout;
    auto* add = new QPushButton("&Add Extra...", this);
    delete_ = new QPushButton("&Delete Extra", this);
    auto* done = new QPushButton("Done", this);
    done->setDefault(true);
    buttons->addWidget(add);
    buttons->addWidget(delete_);
    buttons->addStretch();
    buttons->addWidget(done);
    layout->addLayout(buttons);
    connect(add, &QPushButton::clicked, this, [this] { addExtra(); });
    connect(delete_, &QPushButton::clicked, this, [this] { deleteExtra(); });
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) { delete_->setEnabled(row >= 0); });
    refresh();
}

void ExtraManagerView::refresh() {
    list_->clear();
    for (const std::string& p : form_.paths())
        list_->addItem(QString::fromStdString(std::filesystem::path(p).filename().string()));
    delete_->setEnabled(list_->currentRow() >= 0);
}

void ExtraManagerView::addExtra() {
    const std::string filter = loadString(2528).value_or("Extras *.xtr") + "|" + loadString(2529).value_or("*.xtr");
    const auto path = ui().chooseFile("Add Extra", filter, false);
    if (!path || !form_.add(*path)) return;
    refresh();
    list_->setCurrentRow(list_->count() - 1);
}

void ExtraManagerView::deleteExtra() {
    const int row = list_->currentRow();
    if (row < 0 || !form_.remove(size_t(row))) return;
    refresh();
}

void installExtraManagerDialog(QWidget* owner) {
    setExtraManagerDialog([owner](ExtraManagerForm& form) {
        ExtraManagerView view(owner, form);
        return view.exec() == QDialog::Accepted;
    });
}

} // namespace cv
