// The main window: events in, the card out.
#include "player/qt/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>
#include <algorithm>
#include <optional>

#include "core/host_path.h"
#include "core/text_encoding.h"
#include "core/ui.h"
#include "player/player.h"
#include "player/qt/background_window.h"
#include "player/qt/key_map.h"
#include "player/qt/qt_host.h"
#include "player/shell.h"

namespace cv {

namespace {

QString fromCp1252(const std::string& s) { return QString::fromStdString(cp1252ToUtf8(s)); }

Message mouseMessage(MsgType type, const QMouseEvent* e) {
    Message m;
    m.type = type;
    const QPoint p = e->position().toPoint();
    m.x = p.x();
    m.y = p.y();
    m.modifiers = playerModifiers(e->modifiers());
    m.buttonDown = (e->buttons() & Qt::LeftButton) != 0;
    return m;
}

// The grey of the window class, round the card.
const QColor kWindowGrey(192, 192, 192);

} // namespace

// ---- The card view ----

CardView::CardView(Player& player, QWidget* parent) : QWidget(parent), player_(player) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true); // roll-over buttons and the cursor follow the pointer
    setFocusPolicy(Qt::StrongFocus);
}

void CardView::post(const Message& m) {
    if (auto* w = dynamic_cast<MainWindow*>(window())) w->post(m);
}

void CardView::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    const QImage& screen = player_.screen();
    const QRect dirty = e->rect();
    const QRect onCard = dirty.intersected(screen.rect());
    if (!onCard.isEmpty()) p.drawImage(onCard.topLeft(), screen, onCard);
    // Beyond the card (a card narrower than the smallest window).
    const QRegion rest = QRegion(dirty) - QRegion(screen.rect());
    for (const QRect& r : rest) p.fillRect(r, kWindowGrey);
    if (startupDone && onFirstCardPainted) {
        auto report = std::move(onFirstCardPainted);
        onFirstCardPainted = nullptr;
        report();
    }
}

void CardView::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) post(mouseMessage(MsgType::MouseDown, e));
    else if (e->button() == Qt::RightButton) post(mouseMessage(MsgType::RightDown, e));
}

void CardView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) post(mouseMessage(MsgType::MouseUp, e));
}

void CardView::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) post(mouseMessage(MsgType::DoubleClick, e));
    else if (e->button() == Qt::RightButton) post(mouseMessage(MsgType::RightDown, e));
}

void CardView::mouseMoveEvent(QMouseEvent* e) { post(mouseMessage(MsgType::MouseMove, e)); }

void CardView::keyPressEvent(QKeyEvent* e) { takeKeyPress(e); }

void CardView::keyReleaseEvent(QKeyEvent* e) { takeKeyRelease(e); }

void CardView::takeKeyPress(QKeyEvent* e) {
    const bool keypad = (e->modifiers() & Qt::KeypadModifier) != 0;
    const int key = windowsVirtualKey(e->key(), keypad);
    const uint32_t mods = playerModifiers(e->modifiers());
    if (key) {
        Message m;
        m.type = MsgType::KeyDown;
        m.key = key;
        m.modifiers = mods;
        post(m);
    }
    // The characters follow their key, as the system's character messages do; the shortcut
    // translator drops them when the key was a command. Alt with a key types nothing (it is
    // a menu key), unless Control is held too, as some keyboards type characters with both.
    if ((mods & kModAlt) && !(mods & kModControl)) return;
    const std::string typed = utf8ToCp1252(e->text().toStdString());
    for (unsigned char c : typed) {
        if (!typedCharacter(c, (mods & kModControl) != 0)) continue;
        Message m;
        m.type = MsgType::Char;
        m.key = key;
        m.ch = c;
        m.modifiers = mods;
        post(m);
    }
}

void CardView::takeKeyRelease(QKeyEvent* e) {
    if (e->isAutoRepeat()) return; // a held key repeats its key-down only
    const int key = windowsVirtualKey(e->key(), (e->modifiers() & Qt::KeypadModifier) != 0);
    if (!key) return;
    Message m;
    m.type = MsgType::KeyUp;
    m.key = key;
    m.modifiers = playerModifiers(e->modifiers());
    post(m);
}

// ---- The main window ----

MainWindow::MainWindow(Player& player, QtHost& host) : player_(player), host_(host) {
    setWindowTitle(QString());
    view_ = new CardView(player, this);
    setCentralWidget(view_);
    buildMenus();
    view_->setFocus();
    // Timer 1 drives the card's idle work and the automatic button timers.
    timer1_.setInterval(kTimerPeriodMs);
    timer1_.setTimerType(Qt::PreciseTimer);
    connect(&timer1_, &QTimer::timeout, this, [this] { tick(); });
    timer1_.start();
    background_ = std::make_unique<BackgroundWindow>(player_, this);
}

MainWindow::~MainWindow() = default;

void MainWindow::post(const Message& m) {
    if (inputStopped_) return;
    player_.post(m);
    if (!held_) player_.processQueue();
}

void MainWindow::runHeld(const std::function<void()>& work) {
    ++held_;
    work();
    --held_;
    if (!held_ && !inputStopped_) player_.processQueue();
}

void MainWindow::tick() {
    if (inputStopped_ || held_ || player_.busy()) return; // a running operation takes its own ticks
    player_.postDueTimer();
    player_.processQueue();
    if (!pendingOpens_.empty()) openPendingStack();
}

void MainWindow::closeEvent(QCloseEvent* e) {
    // The player decides: a changed stack may keep the window open.
    e->ignore();
    Message m;
    m.type = MsgType::Close;
    post(m);
}

void MainWindow::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange) {
        Message m;
        m.type = isActiveWindow() ? MsgType::FocusIn : MsgType::FocusOut;
        post(m);
    }
    QMainWindow::changeEvent(e);
}

void MainWindow::keyPressEvent(QKeyEvent* e) {
    // The card takes the keyboard back: the menu bar leaves its keyboard mode as it loses the
    // focus, and the next key goes straight to the card.
    if (!view_->hasFocus()) view_->setFocus(Qt::OtherFocusReason);
    view_->takeKeyPress(e);
    e->accept();
}

void MainWindow::keyReleaseEvent(QKeyEvent* e) {
    view_->takeKeyRelease(e);
    e->accept();
}

void MainWindow::buildMenus() {
    const std::vector<MenuDef>& defs = mainMenu();
    for (size_t index = 0; index < defs.size(); ++index) {
        const MenuDef& def = defs[index];
        QMenu* menu = menuBar()->addMenu(fromCp1252(menuLabel(def.title, def.mnemonic)));
        for (const MenuItemDef& item : def.items) {
            if (item.id == 0) {
                menu->addSeparator();
                continue;
            }
            // The shortcut shows after the tab; the player's own translator carries it out,
            // so no Qt shortcut is registered for it.
            QAction* a = menu->addAction(fromCp1252(menuLabel(item.text, item.mnemonic)));
            a->setData(item.id);
            const int id = item.id;
            connect(a, &QAction::triggered, this, [this, id] { runMenuItem(id); });
        }
        connect(menu, &QMenu::aboutToShow, this, [this, index] { updateMenu(static_cast<int>(index)); });
        menus_.push_back(menu);
    }
}

void MainWindow::updateMenu(int index) {
    if (index < 0 || index >= static_cast<int>(menus_.size())) return;
    QMenu* menu = menus_[index];
    const MenuDef& def = mainMenu()[index];
    if (index == kExtrasMenuIndex) {
        // The installed Extras follow the Extra Manager; they change while the player runs.
        const QList<QAction*> actions = menu->actions();
        for (QAction* a : actions) {
            if (!a->property("extra").toBool()) continue;
            menu->removeAction(a);
            a->deleteLater();
        }
        if (player_.extrasMenuItems) {
            for (const auto& [id, title] : player_.extrasMenuItems()) {
                QAction* a = menu->addAction(fromCp1252(menuLabel(title, 0)));
                a->setData(id);
                a->setProperty("extra", true);
                connect(a, &QAction::triggered, this, [this, id = id] { runMenuItem(id); });
            }
        }
    }
    for (QAction* a : menu->actions()) {
        const int id = a->data().toInt();
        if (id <= 0 || a->property("extra").toBool()) continue;
        a->setEnabled(player_.commandEnabled(id));
        const auto item = std::find_if(def.items.begin(), def.items.end(), [id](const MenuItemDef& i) { return i.id == id; });
        if (item == def.items.end()) continue;
        std::string text = player_.menuText(id);
        if (text.empty()) text = item->text;
        a->setText(fromCp1252(menuLabel(text, item->mnemonic)));
    }
}

void MainWindow::runMenuItem(int id) {
    switch (id) {
    case kWindowMinimize: showMinimized(); return;
    case kWindowCentre: centreOnScreen(); return;
    default: break;
    }
    Message m;
    m.type = MsgType::Command;
    m.command = id;
    post(m);
}

void MainWindow::fitToCard(int width, int height) {
    cardWidth_ = width;
    cardHeight_ = height;
    const QSize viewSize(std::max(width, kMinCardViewWidth), std::max(height, kMinCardViewHeight));
    view_->setFixedSize(viewSize);
    int menuHeight = 0;
    if (menuBarShown_) {
        menuHeight = menuBar()->heightForWidth(viewSize.width());
        if (menuHeight <= 0) menuHeight = menuBar()->sizeHint().height();
    }
    const QRect frame = frameGeometry();
    const QRect inner = geometry();
    const QSize chrome(frame.width() - inner.width(), frame.height() - inner.height());
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect avail = s ? s->availableGeometry() : QRect(0, 0, 1 << 14, 1 << 14);
    const QRect fit = fitWindowToCard(frame, chrome, menuHeight, QSize(width, height), avail);
    setFixedSize(fit.width() - chrome.width(), fit.height() - chrome.height());
    move(fit.topLeft());
}

void MainWindow::setMenuBarShown(bool shown) {
    if (shown == menuBarShown_) return;
    menuBarShown_ = shown;
    menuBar()->setVisible(shown);
    if (cardWidth_ > 0) refit();
}

void MainWindow::centreOnScreen() {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s) return;
    const QRect avail = s->availableGeometry();
    QRect frame = frameGeometry();
    frame.moveCenter(avail.center());
    move(frame.topLeft().x(), std::max(frame.top(), avail.top()));
}

void MainWindow::comeForward() {
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

void MainWindow::openRequested(const std::string& path) {
    pendingOpens_.push_back(path);
    openPendingStack();
}

void MainWindow::openPendingStack() {
    // A stack opens between messages, never in the middle of one; timer 1 tries again.
    if (inputStopped_ || held_ || player_.busy() || pendingOpens_.empty()) return;
    const std::string path = pendingOpens_.front();
    pendingOpens_.erase(pendingOpens_.begin());
    runHeld([&] { openRequestedStack(player_, path); });
}

void showPlayerHelp(QWidget* parent) {
    const std::string folder = QCoreApplication::applicationDirPath().toStdString();
    std::optional<std::string> page;
    for (const char* name : {"CVHELP.HTML", "CVHELP.HTM"})
        if ((page = findNoCase(folder, name))) break;
    if (!page) {
        ui().messageBox("Corvella Help", "The help file CVHELP.HTML is not installed in the player's folder.");
        return;
    }
    // One help window, beside the player's (it goes when the player's window goes); it needs
    // no browser.
    static QPointer<QTextBrowser> window;
    if (!window) {
        window = new QTextBrowser(parent);
        window->setWindowFlag(Qt::Window);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setObjectName("CorvellaHelp");
        window->setWindowTitle("Corvella Help");
        window->setOpenExternalLinks(true);
        window->resize(680, 600);
        // Over the player's window, on its screen.
        if (parent) {
            QRect r(QPoint(), window->size());
            r.moveCenter(parent->frameGeometry().center());
            if (const QScreen* s = parent->screen()) {
                const QRect avail = s->availableGeometry();
                r.moveLeft(std::clamp(r.left(), avail.left(), std::max(avail.left(), avail.right() - r.width())));
                r.moveTop(std::clamp(r.top(), avail.top(), std::max(avail.top(), avail.bottom() - r.height())));
            }
            window->move(r.topLeft());
        }
    }
    window->setSource(QUrl::fromLocalFile(QString::fromStdString(*page)));
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace cv
