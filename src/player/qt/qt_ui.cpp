// Dialogs of the player's window.
#include "player/qt/qt_ui.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include "core/text_encoding.h"
#include "player/alert_layout.h"
#include "player/qt/art.h"
#include "player/shell.h"
#include "resources/strings.h"

namespace cv {

namespace {

QString fromCp1252(std::string_view s) {
    QString text = QString::fromStdString(cp1252ToUtf8(s));
    // Texts break lines with CR LF, or with CR alone.
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    return text;
}

std::string toCp1252(const QString& s) { return utf8ToCp1252(s.toStdString()); }

void centre(QWidget* w, QWidget* owner) {
    const QScreen* s = owner && owner->isVisible() && owner->screen() ? owner->screen() : QGuiApplication::primaryScreen();
    if (!s) return;
    QRect r(QPoint(), w->size());
    r.moveCenter(s->availableGeometry().center());
    w->move(r.topLeft());
}

// The alert dialog: the picture, the message and one to three buttons where the layout puts them.
class AlertDialog : public QDialog {
public:
    AlertDialog(QWidget* owner, const AlertText& a, bool showIcon) : QDialog(owner) {
        setWindowTitle("Corvella");
        const QString message = fromCp1252(a.message);
        const QFontMetrics fm(font());
        auto textHeight = [&](int width) {
            // A little room for the label's own margins.
            return fm.boundingRect(QRect(0, 0, width, 1 << 15), Qt::TextWordWrap | Qt::AlignLeft, message).height() + 4;
        };
        const AlertPicture kind = alertPicture(a.picture, showIcon);
        const QPixmap picture = pictureFor(kind);
        const AlertLayout l = layoutAlert(a, showIcon, picture.size(), textHeight);
        cancel_ = l.cancelButton;

        Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
        if (cancel_ >= 0) flags |= Qt::WindowCloseButtonHint; // closing is pressing Cancel
        setWindowFlags(flags);
        setFixedSize(l.client);

        if (!l.pictureRect.isEmpty()) {
            auto* icon = new QLabel(this);
            icon->setPixmap(picture);
            icon->setGeometry(l.pictureRect);
        }
        auto* text = new QLabel(message, this);
        text->setTextFormat(Qt::PlainText);
        text->setWordWrap(true);
        text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        text->setGeometry(l.textRect);

        for (size_t i = 0; i < l.buttons.size(); ++i) {
            auto* b = new QPushButton(fromCp1252(a.buttons[i]), this);
            b->setGeometry(l.buttons[i]);
            const int answer = kAnswerFirst + static_cast<int>(i);
            connect(b, &QPushButton::clicked, this, [this, answer] { done(answer); });
            buttons_.push_back(b);
        }
        // Tab goes left to right, as the buttons stand.
        for (size_t i = buttons_.size(); i-- > 1;) setTabOrder(buttons_[i], buttons_[i - 1]);
        if (!buttons_.empty()) {
            QPushButton* d = buttons_[static_cast<size_t>(l.defaultButton)];
            d->setDefault(true);
            d->setFocus();
        }
        centre(this, owner);
    }

    // Escape (and the close box) press Cancel when there is one, and do nothing otherwise.
    void reject() override {
        if (cancel_ >= 0) done(kAnswerFirst + cancel_);
    }

    int answer() {
        const int r = exec();
        const int last = kAnswerFirst + static_cast<int>(buttons_.size()) - 1;
        return r >= kAnswerFirst && r <= last ? r : kAnswerFirst;
    }

private:
    QPixmap pictureFor(AlertPicture kind) const {
        switch (kind) {
        case AlertPicture::Stop: return style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32);
        case AlertPicture::Exclamation: return style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32);
        case AlertPicture::Dog: {
            const QImage dog = loadBitmap("DOGGIE");
            if (dog.isNull()) return QPixmap();
            QImage face(dog.width() / 2, dog.height(), QImage::Format_RGB32);
            face.fill(palette().window().color());
            drawTransparent(face, dog, QPoint(0, 0));
            return QPixmap::fromImage(face);
        }
        case AlertPicture::None: break;
        }
        return QPixmap();
    }

    int cancel_ = -1;
    std::vector<QPushButton*> buttons_;
};

} // namespace

int QtUi::alert(int, const AlertText& a, bool showIcon) {
    if (a.buttons.empty()) return kAnswerFirst;
    AlertDialog d(owner_, a, showIcon);
    return d.answer();
}

void QtUi::messageBox(std::string_view caption, std::string_view text) {
    QMessageBox::Icon icon = QMessageBox::Information;
    if (caption == "Quillscript") icon = QMessageBox::Warning;
    else if (caption == loadString(4132).value_or("")) icon = QMessageBox::Critical;
    QMessageBox box(icon, fromCp1252(caption), fromCp1252(text), QMessageBox::Ok, owner_);
    box.exec();
}

QString questionTitle(std::string_view dialog) {
    if (dialog == "JUMP_TO_CARD") return "Jump To Card";
    if (dialog == "ASKUSERNAME") return "Your Name";
    // A name with lower-case letters is a title already.
    for (char c : dialog)
        if (c >= 'a' && c <= 'z') return fromCp1252(dialog);
    return "Corvella";
}

std::optional<std::string> QtUi::askText(std::string_view dialog, std::string_view prompt, std::string_view initial) {
    QDialog d(owner_);
    d.setWindowTitle(questionTitle(dialog));
    auto* layout = new QVBoxLayout(&d);
    auto* label = new QLabel(fromCp1252(prompt), &d);
    label->setWordWrap(true);
    auto* edit = new QLineEdit(fromCp1252(initial), &d);
    edit->selectAll();
    label->setBuddy(edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &d);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addWidget(buttons);
    d.setMinimumWidth(320);
    edit->setFocus();
    if (d.exec() != QDialog::Accepted) return std::nullopt;
    return toCp1252(edit->text());
}

QString qtFileFilter(std::string_view filter) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t bar = filter.find('|', start);
        parts.emplace_back(filter.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start));
        if (bar == std::string_view::npos) break;
        start = bar + 1;
    }
    if (parts.size() == 1) parts.push_back(parts[0]); // a pattern alone describes itself
    QStringList filters;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        QString description = fromCp1252(parts[i]).trimmed();
        // The description may carry its own "(*.STK)"; the patterns come from the second part.
        if (const int paren = description.indexOf('('); paren > 0) description = description.left(paren).trimmed();
        QStringList patterns;
        for (const QString& p : fromCp1252(parts[i + 1]).split(';', Qt::SkipEmptyParts)) {
            for (const QString& v : {p.trimmed(), p.trimmed().toLower(), p.trimmed().toUpper()})
                if (!v.isEmpty() && !patterns.contains(v)) patterns << v;
        }
        if (patterns.isEmpty()) patterns << "*";
        filters << (description.isEmpty() ? patterns.join(' ') : description + " (" + patterns.join(' ') + ")");
    }
    return filters.join(";;");
}

std::optional<std::string> QtUi::chooseFile(std::string_view prompt, std::string_view filter, bool forSaving) {
    // Start where the last file was chosen.
    FileLocation& last = fileLocations()[kLocLastFolder];
    QString folder = QString::fromStdString(last.path);
    if (!folder.isEmpty() && !QFileInfo(folder).isDir()) folder = QFileInfo(folder).absolutePath();
    const QString caption = fromCp1252(prompt);
    const QString qtFilter = qtFileFilter(filter);
    const QString chosen = forSaving ? QFileDialog::getSaveFileName(owner_, caption, folder, qtFilter)
                                     : QFileDialog::getOpenFileName(owner_, caption, folder, qtFilter);
    if (chosen.isEmpty()) return std::nullopt;
    const std::string path = QFile::encodeName(chosen).toStdString();
    last.set(path);
    return path;
}

} // namespace cv
