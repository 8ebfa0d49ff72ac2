// The player's movies: the movie action starts one in its rectangle, each step shows the frame
// due at the clock's time, a button waits for its movie, leaving the card ends them, and the
// play bar under a movie (option 0x0001) plays, pauses and seeks it.
#include <QCoreApplication>
#include <QPainter>
#include <QTimer>
#include <QPolygon>
#include <algorithm>
#include <map>
#include <memory>
#include <thread>

#include "core/byte_order.h"
#include "core/clock.h"
#include "core/handles.h"
#include "core/host_path.h"
#include "media/movie_channel.h"
#include "player/events.h"
#include "player/player.h"
#include "player/stored_files.h"
#include "stack/mac_path.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"

namespace cv {

namespace {

// The play bar: under the movie, as tall as a QuickTime controller.
constexpr int kBarHeight = 16;
constexpr int kBarButton = 18;
constexpr int kBarTime = 44;
constexpr int kBarMinWidth = 100;
// On the real clock the decode thread is asked for a new frame this often while waiting.
constexpr uint64_t kThreadedPollMs = 5;
// A movie action's option that places the movie on its card as the card is shown.
constexpr int16_t kMoviePlaceOnCard = 0x0004;
constexpr int kFirstFrameWaitMs = 200;

QRect movieRect(const MovieChannel& m) {
    return QRect(m.rect.left, m.rect.top, m.rect.width(), m.rect.height());
}

QRect barRect(const MovieChannel& m) {
    return QRect(m.rect.left, m.rect.bottom, std::max(m.rect.width(), kBarMinWidth), kBarHeight);
}

QRect sliderRect(const QRect& bar) {
    return QRect(bar.left() + kBarButton + 4, bar.top(), bar.width() - kBarButton - kBarTime - 8, bar.height());
}

QString timeText(int64_t ms) {
    const int64_t s = std::max<int64_t>(ms, 0) / 1000;
    return QString("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QChar('0'));
}

// The movie action (code 89) of an action list held in `list`, or empty.
std::span<const uint8_t> movieActionIn(std::span<const uint8_t> list) {
    const uint32_t length = std::min<uint32_t>(get32(list.data() + actionlist::kLength), uint32_t(list.size()));
    uint32_t off = actionlist::kHeaderSize;
    while (off < length && length - off >= action::kPayload) {
        const uint32_t alen = get32(list.data() + off + action::kLength);
        if (alen < action::kPayload || alen > length - off) break;
        if (get16(list.data() + off + action::kCode) == action::kMovie) return list.subspan(off, alen);
        off += alen;
    }
    return {};
}

class PlayerMovies {
public:
    explicit PlayerMovies(Player& player) : player_(player), list_(player.sounds()) {}

    MovieList& list() { return list_; }

    static MovieRequest requestOf(std::span<const uint8_t> act, const std::string& path) {
        MovieRequest r;
        r.source.path = path;
        r.options = geti16(act.data() + 2);
        r.rect = {geti16(act.data() + 4), geti16(act.data() + 6), geti16(act.data() + 8), geti16(act.data() + 10)};
        r.level = get16(act.data() + 20);
        return r;
    }

    void chooseMode() {
        // Sessions and tests on the virtual clock decode as they go, so each time shows one frame.
        list_.mode = dynamic_cast<VirtualClock*>(&clock()) ? MoviePlayback::Mode::Synchronous
                                                            : MoviePlayback::Mode::Threaded;
    }

    bool start(std::span<const uint8_t> act, const std::string& path, uint16_t owner) {
        if (act.size() < action::kPayload) return false;
        chooseMode();
        MovieChannel* m = list_.PrepareMovie(requestOf(act, path), owner, true);
        if (!m) return false;
        drawn_[m] = 0;
        show(*m, true);
        if (list_.mode == MoviePlayback::Mode::Threaded) pace();
        return true;
    }

    bool done(uint16_t owner) {
        MovieChannel* m = list_.find(owner);
        if (!m || (m->options & kMovieNoWait)) return true;
        step(*m);
        return !m->playing;
    }

    void stepAll() {
        for (auto& m : list_.movies()) step(*m);
    }

    uint64_t nextStepMs() {
        uint64_t next = 0;
        for (auto& m : list_.movies()) {
            if (!m->playing || !m->playback || !m->playback->hasPictures()) continue;
            uint64_t due = clock().nowMs() + kThreadedPollMs;
            if (m->playback->mode() == MoviePlayback::Mode::Synchronous) {
                const auto pos = m->playback->nextFramePosition();
                if (!pos) continue;
                due = uint64_t(std::max<int64_t>(0, m->originMs + *pos));
            }
            if (!next || due < next) next = due;
        }
        return next;
    }

    // After a wait: the movies the list waited for stop where they are.
    void stopAfterWait() {
        stepAll();
        list_.stopPlaying(true);
        for (auto& m : list_.movies()) drawBar(*m);
    }

    void clear() {
        list_.clear();
        drawn_.clear();
    }

    void stopSoundOnly() { list_.stopSoundOnly(false); }

    // The buttons of a newly composed card whose movie asks to be placed on it: the movie is
    // prepared (found without asking) and its first frame drawn into the card.
    void placeOnCard(QImage& composed) {
        const Handle card = player_.currentCard();
        const uint8_t* c = card ? memRefs().data(card) : nullptr;
        if (!c) return;
        const uint32_t size = GetHandleSize(card);
        for (const DisplayRecord& r : player_.displayList()) {
            if (!r.isButton() || r.hidden) continue;
            const uint32_t off = FindObject(card, obj::kButton, r.id);
            if (!off || off >= size || size - off < actionlist::kHeaderSize) continue;
            const std::span<const uint8_t> list(c + off, size - off);
            if (!(get16(list.data() + actionlist::kFlags) & actionlist::kFlagMovie)) continue;
            const std::span<const uint8_t> act = movieActionIn(list);
            if (act.size() < action::kPayload || !(geti16(act.data() + 2) & kMoviePlaceOnCard)) continue;
            uint32_t n = uint32_t(act.size()) - action::kPayload;
            if ((get16(act.data() + action::kFlags) & action::kFlagPadded) && n > 0) --n;
            const auto path = resolveHostPath(actionPathText(act.data() + action::kPayload, n), storedFileFolders(),
                                              AbsolutePaths::Anywhere);
            if (!path) continue;
            chooseMode();
            MovieChannel* m = list_.PrepareMovie(requestOf(act, *path), r.id, false);
            const MovieFrame* f = m && m->playback ? m->playback->frameAt(0) : nullptr;
            // The decode thread has its first frame within a few milliseconds.
            for (int i = 0; !f && m && m->playback->hasPictures() && i < kFirstFrameWaitMs; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                f = m->playback->frameAt(0);
            }
            if (!f) continue;
            QPainter p(&composed);
            p.drawImage(movieRect(*m), QImage(reinterpret_cast<const uchar*>(f->pixels.data()), f->width, f->height,
                                               f->width * 4, QImage::Format_RGB32));
        }
    }

    // A press on a movie's play bar, or a right-button press on a movie: true when taken.
    bool mouse(const Message& msg) {
        if (msg.type != MsgType::MouseDown && msg.type != MsgType::RightDown && msg.type != MsgType::DoubleClick)
            return false;
        const QPoint at(msg.x, msg.y);
        for (auto it = list_.movies().rbegin(); it != list_.movies().rend(); ++it) {
            MovieChannel& m = **it;
            if (!m.shown) continue;
            const bool onBar = (m.options & kMoviePlayBar) && barRect(m).contains(at);
            if (!onBar && !movieRect(m).contains(at)) continue;
            // The right button pauses, as the controller's menu did when it opened.
            if (msg.type == MsgType::RightDown) {
                list_.pause(m);
                drawBar(m);
                return true;
            }
            if (!onBar) return false; // a click on the picture goes to what lies under it
            const QRect bar = barRect(m);
            if (at.x() < bar.left() + kBarButton) {
                if (m.playing) list_.pause(m);
                else list_.resume(m);
                if (m.playing && list_.mode == MoviePlayback::Mode::Threaded) pace();
            } else {
                const QRect slider = sliderRect(bar);
                const double f = std::clamp(double(at.x() - slider.left()) / std::max(1, slider.width()), 0.0, 1.0);
                list_.seek(m, int64_t(f * double(list_.length(m))));
                drawn_[&m] = 0;
                step(m, true);
            }
            drawBar(m);
            return true;
        }
        return false;
    }

    // On the real clock media are shown at their own times, not only on timer 1's ticks: one
    // fine timer gives them a wait's step when they next want it (a movie's frame, an
    // animation's move) while the player is idle, and stops once none wants one. A wait, or
    // a session on the virtual clock, steps them itself.
    void pace() {
        if (!QCoreApplication::instance() || dynamic_cast<VirtualClock*>(&clock())) return;
        if (!pacer_) {
            pacer_ = std::make_unique<QTimer>();
            pacer_->setTimerType(Qt::PreciseTimer);
            pacer_->setSingleShot(true);
            QObject::connect(pacer_.get(), &QTimer::timeout, [this] {
                const bool idle = !player_.busy();
                if (idle && player_.media.step) player_.media.step();
                rearm(idle);
            });
        }
        rearm(true);
    }

private:
    void rearm(bool idle) {
        const uint64_t due = player_.media.nextStepMs ? player_.media.nextStepMs() : 0;
        if (!due) {
            pacer_->stop();
            return;
        }
        // A running operation steps the media itself: look again a little later.
        const uint64_t now = clock().nowMs();
        const uint64_t wait = !idle ? kThreadedPollMs : due > now ? due - now : 0;
        pacer_->start(int(std::clamp<uint64_t>(wait, 1, kTimerPeriodMs)));
    }

    void step(MovieChannel& m, bool force = false) {
        if (!m.playback) return;
        if (m.playing || force) {
            const MovieFrame* f = m.playback->frameAt(list_.position(m));
            if (f && m.shown && (force || drawn_[&m] != m.playback->frameSerial())) {
                drawn_[&m] = m.playback->frameSerial();
                drawFrame(m, *f);
            }
        }
        if (m.playing && list_.IsMovieDone(m) && !m.shown) show(m, false);
        if (m.shown) drawBar(m);
    }

    void drawFrame(const MovieChannel& m, const MovieFrame& f) {
        const QImage image(reinterpret_cast<const uchar*>(f.pixels.data()), f.width, f.height, f.width * 4,
                           QImage::Format_RGB32);
        const QRect r = movieRect(m);
        QPainter p(&player_.screen());
        p.setClipRect(player_.screen().rect());
        if (r.size() == image.size()) p.drawImage(r.topLeft(), image);
        else p.drawImage(r, image); // the decoder scales; this covers a frame caught mid-change
        p.end();
        const QRect shown = r.intersected(player_.screen().rect());
        if (!shown.isEmpty()) player_.host().present(shown);
    }

    // The movie's window appears (its last frame stays until something is drawn over it) or
    // goes, leaving the card as it is under it.
    void show(MovieChannel& m, bool on) {
        if (on) {
            if (const MovieFrame* f = m.playback ? m.playback->frameAt(list_.position(m)) : nullptr) drawFrame(m, *f);
            drawBar(m);
            return;
        }
        QRect r = movieRect(m);
        if (m.options & kMoviePlayBar) r = r.united(barRect(m));
        r = r.intersected(player_.screen().rect());
        if (!r.isEmpty()) player_.paintCardRect(r);
    }

    void drawBar(const MovieChannel& m) {
        if (!(m.options & kMoviePlayBar) || !m.shown) return;
        const QRect bar = barRect(m);
        QImage& screen = player_.screen();
        QPainter p(&screen);
        p.setClipRect(screen.rect());
        p.fillRect(bar, QColor(0xD4, 0xD0, 0xC8));
        p.setPen(QColor(0x40, 0x40, 0x40));
        p.drawRect(bar.adjusted(0, 0, -1, -1));
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setBrush(Qt::black);
        const int cx = bar.left() + kBarButton / 2, cy = bar.center().y();
        if (m.playing) { // pause: two bars
            p.fillRect(QRect(cx - 4, cy - 4, 3, 9), Qt::black);
            p.fillRect(QRect(cx + 1, cy - 4, 3, 9), Qt::black);
        } else { // play: a triangle
            p.drawPolygon(QPolygon({QPoint(cx - 3, cy - 5), QPoint(cx + 4, cy), QPoint(cx - 3, cy + 5)}));
        }
        const QRect slider = sliderRect(bar);
        p.fillRect(QRect(slider.left(), cy - 1, slider.width(), 3), QColor(0x80, 0x80, 0x80));
        const int64_t len = std::max<int64_t>(1, list_.length(m));
        const int64_t pos = std::clamp<int64_t>(list_.position(m), 0, len);
        const int thumb = slider.left() + int(double(pos) / double(len) * slider.width());
        p.fillRect(QRect(thumb - 2, bar.top() + 2, 5, bar.height() - 4), Qt::black);
        QFont font = p.font();
        font.setPixelSize(10);
        p.setFont(font);
        p.drawText(QRect(bar.right() - kBarTime, bar.top(), kBarTime - 2, bar.height()),
                   Qt::AlignRight | Qt::AlignVCenter, timeText(pos));
        p.end();
        const QRect shown = bar.intersected(screen.rect());
        if (!shown.isEmpty()) player_.host().present(shown);
    }

    Player& player_;
    MovieList list_;
    std::unique_ptr<QTimer> pacer_;
    std::map<const MovieChannel*, uint64_t> drawn_; // the frame serial last drawn of each movie
};

} // namespace

void installMovies(Player& player) {
    auto mv = std::make_shared<PlayerMovies>(player);
    MediaHooks& m = player.media;
    m.startMovie = [mv](std::span<const uint8_t> act, const std::string& path, uint16_t owner) {
        return mv->start(act, path, owner);
    };
    m.movieDone = [mv](uint16_t owner) { return mv->done(owner); };
    m.anyMoviePlaying = [mv] { return mv->list().anyPlaying(); };
    m.showOnCard = [mv, next = m.showOnCard](QImage& composed) {
        if (next) next(composed);
        mv->placeOnCard(composed);
    };
    m.showDue = [mv, next = m.showDue] {
        if (next) next();
        mv->stepAll();
    };
    m.step = [mv, next = m.step] {
        if (next) next();
        mv->stepAll();
    };
    m.nextStepMs = [mv, next = m.nextStepMs]() -> uint64_t {
        const uint64_t other = next ? next() : 0;
        const uint64_t mine = mv->nextStepMs();
        if (!mine) return other;
        return other ? std::min(other, mine) : mine;
    };
    m.stopAll = [mv, next = m.stopAll] {
        if (next) next();
        mv->clear();
    };
    m.stopAnimationsAndMovies = [mv, next = m.stopAnimationsAndMovies] {
        if (next) next();
        mv->stopAfterWait();
    };
    // The one pacer, for the movies and every other medium that asks for it.
    m.pace = [mv] { mv->pace(); };
    // Stopping sounds ends the movies that are only sound.
    m.stopSound = [mv, next = m.stopSound] {
        if (next) next();
        mv->stopSoundOnly();
    };
    // Movies that no list waits for go on with timer 1's idle work.
    player.timerHandler = [mv, next = std::move(player.timerHandler)] {
        if (next) next();
        mv->stepAll();
    };
    player.mouseHandler = [mv, &player, next = std::move(player.mouseHandler)](const Message& msg) {
        if (mv->mouse(msg)) return;
        if (next) next(msg);
        else player.events().handleMouse(msg);
    };
}

} // namespace cv
