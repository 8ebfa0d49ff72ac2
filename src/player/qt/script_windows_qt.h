#pragma once
// The script windows on the desktop: the Run Box (a small tool window with one edit line in
// which Quillscript commands are typed), the text window (where printed text goes, with its
// own line editor) and the read dialog.
#include <QPointer>
#include <QRect>
#include <QString>
#include <functional>
#include <memory>

#include "player/script_windows.h"

class QEventLoop;
class QSyntaxHighlighter;
class QTextDocument;
class QPlainTextEdit;
class QWidget;

namespace cv {

class Player;
class MainWindow;

// Colours Quillscript in a document: primitive names, numbers, quoted words, comments.
QSyntaxHighlighter* highlightQuillscript(QTextDocument* document);

class QtScriptWindows final : public ScriptWindowsView {
public:
    QtScriptWindows(Player& player, MainWindow& window);
    ~QtScriptWindows() override;

    void appendText(std::string_view bytes) override;
    bool runBoxOpen() const override;
    void setRunBoxOpen(bool open) override;
    TypedLine runBoxLine(char prompt) override;
    TypedLine textWindowLine(char prompt) override;
    TypedLine readDialog(std::string_view prompt, const ReadRect& rect) override;
    bool editScript(std::string_view title, const std::string& text,
                    const std::function<bool(const std::string&)>& define) override;

    // Shows the text window (it also shows itself when text is printed).
    void showTextWindow();
    QWidget* runBoxWidget() const;
    QWidget* textWindowWidget() const;

    // What the windows' keys and menus do (the widgets call these).
    void runBoxEnter();
    void runBoxHelp();
    void runBoxClosed();
    void textWindowEnter();
    bool textWindowTyped(const QString& text, int key);
    void escape();

private:
    // A nested loop for a typed line, ended by `finish` or by Escape, closing or quitting.
    TypedLine waitForLine();
    void finish(TypedLine::End end, std::string text = {});
    void runText(const std::string& text, int start);

    Player& player_;
    MainWindow& window_;
    QPointer<QWidget> runBox_;
    QPlainTextEdit* runEdit_ = nullptr;
    QPointer<QWidget> textWindow_;
    QPlainTextEdit* textEdit_ = nullptr;
    QRect runBoxRect_;       // remembered when it closes; empty until then
    enum class Waiting { None, RunBox, TextWindow } waiting_ = Waiting::None;
    char prompt_ = '?';
    QString lineTyped_;      // the text window's line being typed
    QEventLoop* loop_ = nullptr;
    TypedLine result_;
};

} // namespace cv
