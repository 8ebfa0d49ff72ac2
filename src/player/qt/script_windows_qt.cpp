#include "player/qt/script_windows_qt.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSet>
#include <QSyntaxHighlighter>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>
#include <functional>

#include "core/alerts.h"
#include "core/text_encoding.h"
#include "player/player.h"
#include "player/qt/main_window.h"
#include "player/script_bridge.h"
#include "script/interpreter.h"
#include "script/primitive_table.h"

namespace cv {

namespace {

// The text window keeps at least this many lines to scroll back through.
constexpr int kTextWindowLines = 20000;
constexpr int kRunBoxHeight = 80;

QString fromBytes(std::string_view s) { return QString::fromStdString(cp1252ToUtf8(s)); }
std::string toBytes(const QString& s) { return utf8ToCp1252(s.toStdString()); }

bool isEnter(const QKeyEvent* e) { return e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter; }

// An edit control whose Enter and Escape belong to its window.
class ScriptEdit final : public QPlainTextEdit {
public:
    using QPlainTextEdit::QPlainTextEdit;
    std::function<bool(QKeyEvent*)> onKey;  // true: taken

protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (onKey && onKey(e)) return;
        QPlainTextEdit::keyPressEvent(e);
    }
};

// A window that reports its closing.
class ScriptWindow final : public QWidget {
public:
    ScriptWindow(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags) {}
    std::function<void()> onClose;

protected:
    void closeEvent(QCloseEvent* e) override {
        if (onClose) onClose();
        QWidget::closeEvent(e);
    }
};

class QuillscriptHighlighter final : public QSyntaxHighlighter {
public:
    explicit QuillscriptHighlighter(QTextDocument* doc) : QSyntaxHighlighter(doc) {
        const auto& table = script::primitiveTable();
        for (int i = 0; i < script::kPrimitiveCount; ++i)
            if (table[size_t(i)].name) primitives_.insert(QString::fromLatin1(table[size_t(i)].name));
        primitive_.setForeground(QColor(0x00, 0x33, 0x99));
        primitive_.setFontWeight(QFont::Bold);
        number_.setForeground(QColor(0x99, 0x33, 0x00));
        quoted_.setForeground(QColor(0x00, 0x77, 0x33));
        comment_.setForeground(QColor(0x77, 0x77, 0x77));
        comment_.setFontItalic(true);
    }

protected:
    void highlightBlock(const QString& text) override {
        static const QRegularExpression token(R"((;.*$)|("[^\s\[\]()]*)|(-?\b\d+(\.\d+)?([eE][-+]?\d+)?\b)|([A-Za-z_.?][A-Za-z0-9_.?]*))");
        auto it = token.globalMatch(text);
        while (it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            if (m.capturedStart(1) >= 0) setFormat(int(m.capturedStart(1)), int(m.capturedLength(1)), comment_);
            else if (m.capturedStart(2) >= 0) setFormat(int(m.capturedStart(2)), int(m.capturedLength(2)), quoted_);
            else if (m.capturedStart(3) >= 0) setFormat(int(m.capturedStart(3)), int(m.capturedLength(3)), number_);
            else if (m.capturedStart(6) >= 0 && primitives_.contains(m.captured(6).toUpper()))
                setFormat(int(m.capturedStart(6)), int(m.capturedLength(6)), primitive_);
        }
    }

private:
    QSet<QString> primitives_;
    QTextCharFormat primitive_, number_, quoted_, comment_;
};

// The editor: closing it defines the text, and an error keeps it open; Discard leaves the
// workspace as it was.
class ScriptEditor final : public QDialog {
public:
    std::function<bool()> define;
    void done(int r) override {
        if (r == QDialog::Accepted || r == QDialog::Rejected) {
            if (r == QDialog::Accepted && define && !define()) return;  // the error box was shown
        }
        QDialog::done(r);
    }
    void reject() override { done(QDialog::Accepted); }  // closing defines
    void discard() { QDialog::done(QDialog::Rejected); }
};

} // namespace

QSyntaxHighlighter* highlightQuillscript(QTextDocument* document) { return new QuillscriptHighlighter(document); }

QtScriptWindows::QtScriptWindows(Player& player, MainWindow& window) : player_(player), window_(window) {}

QtScriptWindows::~QtScriptWindows() {
    if (loop_) loop_->exit();
    delete runBox_.data();
    delete textWindow_.data();
}

QWidget* QtScriptWindows::runBoxWidget() const { return runBox_; }
QWidget* QtScriptWindows::textWindowWidget() const { return textWindow_; }

// --- the Run Box ------------------------------------------------------------------------------

bool QtScriptWindows::runBoxOpen() const { return runBox_ && runBox_->isVisible(); }

void QtScriptWindows::setRunBoxOpen(bool open) {
    if (!open) {
        if (runBox_) runBox_->close();
        return;
    }
    if (!runBox_) {
        auto* box = new ScriptWindow(&window_, Qt::Tool);
        box->setObjectName("LogoRunBox");
        box->setWindowTitle("Quillscript Run Box");
        box->setAttribute(Qt::WA_DeleteOnClose, false);
        box->onClose = [this] { runBoxClosed(); };
        auto* layout = new QVBoxLayout(box);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        auto* edit = new ScriptEdit(box);
        edit->setTabChangesFocus(true);
        edit->onKey = [this](QKeyEvent* e) {
            if (isEnter(e)) {
                runBoxEnter();
                return true;
            }
            if (e->key() == Qt::Key_Escape) {
                escape();
                return true;
            }
            return false;
        };
        auto* bar = new QMenuBar(box);
        QMenu* edits = bar->addMenu("&Edit");
        const auto add = [&](QMenu* menu, const char* text, QKeySequence keys, std::function<void()> act) {
            QAction* a = menu->addAction(text);
            a->setShortcut(keys);
            a->setShortcutContext(Qt::WindowShortcut);
            QObject::connect(a, &QAction::triggered, box, std::move(act));
        };
        add(edits, "&Close", QKeySequence("Ctrl+W"), [box] { box->close(); });
        edits->addSeparator();
        add(edits, "&Undo", QKeySequence::Undo, [edit] { edit->undo(); });
        add(edits, "Cu&t", QKeySequence::Cut, [edit] { edit->cut(); });
        add(edits, "&Copy", QKeySequence::Copy, [edit] { edit->copy(); });
        add(edits, "&Paste", QKeySequence::Paste, [edit] { edit->paste(); });
        add(edits, "Cle&ar", QKeySequence(), [edit] { edit->textCursor().removeSelectedText(); });
        add(edits, "Select &All", QKeySequence::SelectAll, [edit] { edit->selectAll(); });
        QMenu* help = bar->addMenu("&Help");
        add(help, "Quillscript Run Box &Help", QKeySequence::HelpContents, [this] { runBoxHelp(); });
        layout->setMenuBar(bar);
        layout->addWidget(edit);
        runBox_ = box;
        runEdit_ = edit;
    }
    // Where it was left, or first under the player window, as wide as it; always on screen.
    QRect place = runBoxRect_;
    if (place.isEmpty()) {
        const QRect frame = window_.frameGeometry();
        place = QRect(frame.left(), frame.bottom() + 1, window_.width(), kRunBoxHeight);
    }
    if (const QScreen* s = window_.screen() ? window_.screen() : QGuiApplication::primaryScreen()) {
        const QRect avail = s->availableGeometry();
        place.setSize(place.size().boundedTo(avail.size()));
        place.moveLeft(std::clamp(place.left(), avail.left(), avail.right() + 1 - place.width()));
        place.moveTop(std::clamp(place.top(), avail.top(), avail.bottom() + 1 - place.height()));
    }
    runBox_->resize(place.size());
    runBox_->move(place.topLeft());  // the frame's corner
    runEdit_->setPlainText(fromBytes(kRunBoxGreeting));
    runEdit_->selectAll();
    runBox_->show();
    runBox_->raise();
    runBox_->activateWindow();
    runEdit_->setFocus();
}

void QtScriptWindows::runBoxClosed() {
    if (runBox_) runBoxRect_ = QRect(runBox_->pos(), runBox_->size());
    if (waiting_ == Waiting::RunBox) finish(TypedLine::End::Closed);
}

void QtScriptWindows::runBoxHelp() {
    // The alert format of DOALERT: the backslash separates the button.
    std::string text(kRunBoxHelpAlert);
    for (char& c : text)
        if (c == '\\') c = '~';
    showAlertText(text, true, true);
}

void QtScriptWindows::runBoxEnter() {
    if (!runEdit_) return;
    QString text = runEdit_->toPlainText();
    text.remove(QChar('\n'));
    text.remove(QChar(QChar::ParagraphSeparator));
    if (waiting_ == Waiting::RunBox) {
        if (text.startsWith(QChar(prompt_))) text.remove(0, 1);
        finish(TypedLine::End::Line, toBytes(text));
        return;
    }
    // One run at a time: the line stays for when the running script has ended.
    if (waiting_ != Waiting::None || player_.scripts().running() || player_.busy()) {
        QApplication::beep();
        return;
    }
    runText(toBytes(text), int(ScriptBridge::Start::RunBox));
    if (runEdit_) runEdit_->selectAll();
}

TypedLine QtScriptWindows::runBoxLine(char prompt) {
    if (!runBoxOpen()) return {TypedLine::End::Closed, {}};
    prompt_ = prompt;
    runEdit_->setPlainText(QString(QChar(prompt)));
    runEdit_->moveCursor(QTextCursor::End);
    runBox_->raise();
    runBox_->activateWindow();
    runEdit_->setFocus();
    waiting_ = Waiting::RunBox;
    TypedLine line = waitForLine();
    waiting_ = Waiting::None;
    if (runEdit_) runEdit_->selectAll();  // typing next replaces the answer
    return line;
}

// --- the text window ----------------------------------------------------------------------

void QtScriptWindows::showTextWindow() {
    if (!textWindow_) {
        auto* w = new ScriptWindow(nullptr, Qt::Window);
        w->setObjectName("LogoText");
        w->setWindowTitle("Quillscript Text");
        w->onClose = [this] {
            if (waiting_ == Waiting::TextWindow) finish(TypedLine::End::Closed);
        };
        auto* layout = new QVBoxLayout(w);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* edit = new ScriptEdit(w);
        edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        edit->setMaximumBlockCount(kTextWindowLines);
        edit->setLineWrapMode(QPlainTextEdit::NoWrap);
        edit->onKey = [this](QKeyEvent* e) {
            if (textWindowTyped(e->text(), e->key())) return true;
            if (isEnter(e)) {
                textWindowEnter();
                return true;
            }
            if (e->key() == Qt::Key_Escape) {
                escape();
                return true;
            }
            return false;
        };
        layout->addWidget(edit);
        textWindow_ = w;
        textEdit_ = edit;
        const QRect frame = window_.frameGeometry();
        w->resize(std::max(frame.width(), 400), 240);
        w->move(frame.right() + 1, frame.top());
    }
    if (!textWindow_->isVisible()) textWindow_->show();
}

void QtScriptWindows::appendText(std::string_view bytes) {
    showTextWindow();
    QString text = fromBytes(bytes);
    text.replace(QChar('\r'), QChar('\n'));
    QTextCursor c(textEdit_->document());
    c.movePosition(QTextCursor::End);
    c.insertText(text);
    textEdit_->moveCursor(QTextCursor::End);
    textEdit_->verticalScrollBar()->setValue(textEdit_->verticalScrollBar()->maximum());
}

void QtScriptWindows::textWindowEnter() {
    if (waiting_ != Waiting::None || player_.scripts().running() || player_.busy()) {
        QApplication::beep();
        return;
    }
    // The selection, or else the line that holds the caret.
    QTextCursor c = textEdit_->textCursor();
    QString text = c.hasSelection() ? c.selectedText() : c.block().text();
    text.replace(QChar(QChar::ParagraphSeparator), QChar('\r'));
    textEdit_->moveCursor(QTextCursor::End);
    appendText("\n");
    runText(toBytes(text), int(ScriptBridge::Start::TextWindow));
    appendText("\n");
}

bool QtScriptWindows::textWindowTyped(const QString& text, int key) {
    if (waiting_ != Waiting::TextWindow) return false;
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        finish(TypedLine::End::Line, toBytes(lineTyped_));
        return true;
    }
    if (key == Qt::Key_Escape) {
        finish(TypedLine::End::Stopped);
        return true;
    }
    if (key == Qt::Key_Backspace) {
        if (!lineTyped_.isEmpty()) {
            lineTyped_.chop(1);
            QTextCursor c(textEdit_->document());
            c.movePosition(QTextCursor::End);
            c.deletePreviousChar();
        }
        return true;
    }
    for (const QChar ch : text) {
        if (!ch.isPrint()) continue;
        // A full line ends with the character that did not fit.
        if (size_t(lineTyped_.size()) >= kTextWindowLineLimit) {
            finish(TypedLine::End::Line, toBytes(lineTyped_));
            return true;
        }
        lineTyped_.append(ch);
        appendText(toBytes(QString(ch)));
    }
    return true;  // nothing else edits the window while a line is read
}

TypedLine QtScriptWindows::textWindowLine(char prompt) {
    showTextWindow();
    prompt_ = prompt;
    lineTyped_.clear();
    appendText(std::string(1, prompt));
    textWindow_->raise();
    textWindow_->activateWindow();
    textEdit_->setFocus();
    waiting_ = Waiting::TextWindow;
    TypedLine line = waitForLine();
    waiting_ = Waiting::None;
    appendText("\n");
    return line;
}

// --- the read dialog ----------------------------------------------------------------------

TypedLine QtScriptWindows::readDialog(std::string_view prompt, const ReadRect& rect) {
    QDialog dialog(&window_);
    dialog.setObjectName("READ");
    dialog.setWindowTitle("Quillscript");
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(fromBytes(prompt), &dialog);
    label->setWordWrap(true);
    auto* edit = new QLineEdit(&dialog);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addWidget(buttons);
    if (rect) {
        // The rectangle is in the drawing window's pixels; the dialog takes at least its own size.
        const QRect r = QRect(QPoint((*rect)[0], (*rect)[1]), QPoint((*rect)[2], (*rect)[3])).normalized();
        const QPoint at = window_.cardView()->mapToGlobal(r.topLeft());
        dialog.adjustSize();
        dialog.setGeometry(QRect(at, r.size().expandedTo(dialog.sizeHint())));
    }
    edit->setFocus();
    if (dialog.exec() != QDialog::Accepted) return {TypedLine::End::Closed, {}};
    return {TypedLine::End::Line, toBytes(edit->text())};
}

// --- the script editor -------------------------------------------------------------------

bool QtScriptWindows::editScript(std::string_view title, const std::string& text,
                                 const std::function<bool(const std::string&)>& define) {
    ScriptEditor editor;
    editor.setParent(&window_, Qt::Window);
    editor.setObjectName("LogoEdit");
    editor.setWindowTitle("Quillscript Editor - " + fromBytes(title));
    auto* layout = new QVBoxLayout(&editor);
    auto* edit = new QPlainTextEdit(&editor);
    edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit->setPlainText(fromBytes(text));
    highlightQuillscript(edit->document());
    auto* buttons = new QDialogButtonBox(&editor);
    QPushButton* defineButton = buttons->addButton("&Define", QDialogButtonBox::AcceptRole);
    QPushButton* discard = buttons->addButton("D&iscard", QDialogButtonBox::DestructiveRole);
    defineButton->setDefault(false);
    defineButton->setAutoDefault(false);  // Enter belongs to the text
    discard->setAutoDefault(false);
    QObject::connect(defineButton, &QPushButton::clicked, &editor, [&editor] { editor.done(QDialog::Accepted); });
    QObject::connect(discard, &QPushButton::clicked, &editor, [&editor] { editor.discard(); });
    layout->addWidget(edit);
    layout->addWidget(buttons);
    editor.define = [&] {
        QString t = edit->toPlainText();
        t.replace(QChar(QChar::ParagraphSeparator), QChar('\n'));
        return define(toBytes(t));
    };
    editor.resize(std::max(window_.width(), 480), 360);
    edit->setFocus();
    editor.exec();
    return true;
}

// --- waiting and running ------------------------------------------------------------------

TypedLine QtScriptWindows::waitForLine() {
    QEventLoop loop;
    loop_ = &loop;
    result_ = {TypedLine::End::Closed, {}};
    // Escape pressed on the card, closing the player's window and quitting end the wait.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [this] {
        if (player_.scripts().interpreter().host().interruptRequested()) finish(TypedLine::End::Stopped);
    });
    poll.start(kTimerPeriodMs);
    loop.exec();
    loop_ = nullptr;
    return result_;
}

void QtScriptWindows::finish(TypedLine::End end, std::string text) {
    if (!loop_) return;
    result_ = {end, std::move(text)};
    loop_->exit();
}

void QtScriptWindows::escape() {
    if (waiting_ != Waiting::None) {
        finish(TypedLine::End::Stopped);
        return;
    }
    // A running script looks for Escape in the player's queue.
    if (!player_.scripts().running()) return;
    Message m;
    m.type = MsgType::KeyDown;
    m.key = kKeyEscape;
    player_.post(m);
}

void QtScriptWindows::runText(const std::string& text, int start) {
    window_.runHeld([&] { player_.scripts().run(text, ScriptBridge::Start(start)); });
}

} // namespace cv
