// The videodisc segment of a button (action 119): the player connects to the disc, seeks to
// the segment's first frame and plays to its last. Which disc: the video file named in the
// settings ("Videodisc", "Disc"), played in the action's rectangle on the card; with none set,
// no player is connected and the person is told so.
#include <QPainter>
#include <cctype>
#include <memory>

#include "core/alerts.h"
#include "core/byte_order.h"
#include "core/clock.h"
#include "core/settings.h"
#include "core/ui.h"
#include "media/videodisc.h"
#include "media/sound_manager.h"
#include "media/videodisc_file.h"
#include "player/player.h"
#include "stack/record_layout.h"

namespace cv {

namespace {

struct Videodisc {
    explicit Videodisc(Player& p) : player(p) {}
    ~Videodisc() {
        if (record) {
            VideodiscArg arg;
            if (device) VideodiscCommand(24, arg, record, *device);
            DisposeHandle(record);
        }
    }
    Videodisc(const Videodisc&) = delete;
    Videodisc& operator=(const Videodisc&) = delete;

    // The device for the disc the settings name now; a change of disc closes the old one.
    VideodiscDevice& deviceForSettings() {
        const std::string path = settings().get(kVideodiscSection, kVideodiscDiscKey);
        if (!device || path != discPath) {
            if (device && record) {
                VideodiscArg arg;
                VideodiscCommand(24, arg, record, *device);
            }
            const std::string type = settings().get(kVideodiscSection, kVideodiscTypeKey);
            device = OpenVideodiscDevice(path, type.size() == 3 && std::toupper(uchar(type[0])) == 'C' &&
                                                   std::toupper(uchar(type[1])) == 'L' && std::toupper(uchar(type[2])) == 'V',
                                         &player.sounds().mixer());
            screen = dynamic_cast<VideodiscScreen*>(device.get());
            discPath = path;
        }
        return *device;
    }

    // Draws the disc's picture in the segment's rectangle, with the frame number over it
    // while the index display is on.
    void draw() {
        const VideodiscPicture* pic = screen ? screen->picture() : nullptr;
        if (!showing || rect.isEmpty()) return;
        QImage& target = player.screen();
        {
            QPainter p(&target);
            p.setClipRect(rect);
            if (!pic || pic->argb.size() < size_t(pic->width) * size_t(pic->height) || pic->width <= 0) {
                p.fillRect(rect, Qt::black);
            } else {
                const QImage frame(reinterpret_cast<const uchar*>(pic->argb.data()), pic->width, pic->height,
                                   pic->width * 4, QImage::Format_RGB32);
                p.drawImage(rect, frame);
                if (pic->index) {
                    QFont font("Courier New");
                    font.setPixelSize(std::max(10, rect.height() / 8));
                    font.setBold(true);
                    p.setFont(font);
                    const QString text = QString::number(pic->frame);
                    const QRect box = p.fontMetrics().boundingRect(text).adjusted(-3, -1, 3, 1);
                    const QRect at = box.translated(rect.topLeft() - box.topLeft() + QPoint(4, 4));
                    p.fillRect(at, Qt::black);
                    p.setPen(Qt::white);
                    p.drawText(at, Qt::AlignCenter, text);
                }
            }
        }
        player.host().present(rect.intersected(target.rect()));
    }

    void step() {
        if (showing && screen && screen->advance(clock().nowMs())) draw();
    }

    Player& player;
    std::unique_ptr<VideodiscDevice> device;
    VideodiscScreen* screen = nullptr;
    std::string discPath;
    Handle record = 0;
    QRect rect;
    bool showing = false;
};

// Options ▸ Videodisc…: which video file is the disc, or none.
void chooseDisc() {
    const std::string now = settings().get(kVideodiscSection, kVideodiscDiscKey);
    const std::string text = "04Buttons of some stacks play a videodisc. Corvella plays the disc from a video file of it.\n"
                             "Disc: " + (now.empty() ? std::string("none") : now) + "~^Choose File...~No Disc~Cancel";
    switch (showAlertText(text, true)) {
    case 52:
        if (const auto file = ui().chooseFile("Choose the video file of the disc",
                                              "Video files|*.mp4;*.m4v;*.mov;*.avi;*.mkv;*.mpg;*.mpeg;*.webm;*.ogv", false))
            settings().set(kVideodiscSection, kVideodiscDiscKey, *file);
        return;
    case 53: settings().set(kVideodiscSection, kVideodiscDiscKey, ""); return;
    default: return;
    }
}

uint16_t field16(std::span<const uint8_t> a, size_t at) { return a.size() >= at + 2 ? get16(a.data() + at) : 0; }

} // namespace

void installVideodisc(Player& player) {
    auto v = std::make_shared<Videodisc>(player);
    MediaHooks& m = player.media;
    m.playVideodisc = [v](std::span<const uint8_t> a) {
        if (a.size() < 26) return;
        VideodiscDevice& dev = v->deviceForSettings();
        if (!v->record) {
            v->record = NewVideodiscRecord("", "", field16(a, 24), {field16(a, 18), field16(a, 20), 0, 0}, true);
            if (!v->record) {
                showAlert(2224);
                return;
            }
        }
        Player& p = v->player;
        const VideodiscBusy busy = [&p](bool on) { p.host().setCursor(on ? CursorShape::Wait : CursorShape::Arrow); };
        if (!ConnectVideodisc(v->record, dev, [] { return showAlert(2278, false, true); }, busy)) return;
        const uint8_t* r = LockHandle(v->record);
        const bool off = get16(r + vd::kFlags) & vd::kSwitchedOff;
        UnlockHandle(v->record);
        if (off) return;
        const uint8_t* at = a.data() + 4;
        v->rect = QRect(QPoint(geti16(at), geti16(at + 2)), QPoint(geti16(at + 4) - 1, geti16(at + 6) - 1));
        VideodiscArg unit{0, "FR"}, from{0, std::to_string(field16(a, 18))}, to{0, std::to_string(field16(a, 20))};
        if (VideodiscCommand(2, unit, v->record, dev, busy) != 0) return;
        if (VideodiscCommand(5, from, v->record, dev, busy) != 0) return;
        v->showing = true;
        if (v->screen) v->screen->advance(clock().nowMs());
        v->draw();
        VideodiscCommand(6, to, v->record, dev, busy);
    };
    m.stopVideodisc = [v] {
        v->showing = false;
        if (!v->record || !v->device) return;
        const uint8_t* r = LockHandle(v->record);
        const bool playing = get16(r + vd::kState) == vdstate::kPlaying;
        UnlockHandle(v->record);
        VideodiscArg arg;
        if (playing) VideodiscCommand(7, arg, v->record, *v->device);
    };
    m.step = [v, next = m.step] {
        if (next) next();
        v->step();
    };
    // A snapshot or a pixel check shows the frame due at that moment.
    m.showDue = [v, next = m.showDue] {
        if (next) next();
        v->step();
    };
    m.nextStepMs = [v, next = m.nextStepMs]() -> uint64_t {
        const uint64_t other = next ? next() : 0;
        const uint64_t mine = v->showing && v->screen ? v->screen->nextDueMs() : 0;
        if (!mine) return other;
        return other ? std::min(other, mine) : mine;
    };
    player.commandHandler = [next = std::move(player.commandHandler)](int id) {
        if (id == kCmdVideodisc) {
            chooseDisc();
            return true;
        }
        return next && next(id);
    };
    player.timerHandler = [v, tick = std::move(player.timerHandler)] {
        if (tick) tick();
        v->step();
    };
}

} // namespace cv
