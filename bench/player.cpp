// Showing and repainting a card: a 640 x 480 8-bit card holding 20 objects (buttons of every
// shape with names, pictures with masks and frames, text fields), composed as the player
// shows it (decode, display list, objects, present), and rectangles of it repainted. Also a
// click on its "Next" button ("go to next card", Fastest at speed 8) on the real clock, from
// the press to the next card fully shown.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cmath>
#include <cstdlib>
#include <random>

#include "core/byte_order.h"
#include "core/pstring.h"
#include "player/headless_host.h"
#include "player/player.h"
#include "resources/default_palette.h"
#include "stack/colour_table.h"
#include "stack/picture_card.h"
#include "stack/picture_mask.h"
#include "stack/picture_object.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"

using namespace cv;

namespace {

constexpr int kW = 640, kH = 480;
using Bytes = std::vector<uint8_t>;

void putRect(Bytes& b, const QRect& r) {
    put16(b.data() + obj::kRect, uint16_t(r.left()));
    put16(b.data() + obj::kRect + 2, uint16_t(r.top()));
    put16(b.data() + obj::kRect + 4, uint16_t(r.right() + 1));
    put16(b.data() + obj::kRect + 6, uint16_t(r.bottom() + 1));
}

Bitmap paletteBitmap(int w, int h) {
    Bitmap b = *MakeDIB(w, h, 8);
    const Palette& def = LoadDefaultPalette();
    for (int i = 0; i < 256; ++i) b.colours[size_t(i)] = paletteColour(def[size_t(i)]);
    return b;
}

// Flat areas, a gradient band, a noisy photograph-like patch and lines of text-like strokes.
Bitmap cardPicture() {
    Bitmap b = paletteBitmap(kW, kH);
    std::mt19937 rng(7);
    for (int y = 0; y < kH; ++y) {
        uint8_t* row = b.row(y);
        for (int x = 0; x < kW; ++x) {
            uint8_t v = 0;
            if (y < 60) v = 180;
            else if (y >= 80 && y < 200) v = uint8_t(215 + x * 10 / kW);
            else if (x >= 360 && x < 600 && y >= 220 && y < 420) v = uint8_t((x / 24 + y / 20) * 6 % 215 + rng() % 3);
            else if (x >= 40 && x < 320 && y >= 240 && y < 440 && (y % 14) < 2 && rng() % 5) v = 255;
            row[x] = v;
        }
    }
    return b;
}

Bytes buttonRecord(uint16_t id, const QRect& r, int shape, const char* name) {
    Bytes b(button::kActions, 0);
    put16(b.data() + obj::kKind, obj::kButton);
    put16(b.data() + obj::kId, id);
    putRect(b, r);
    put32(b.data() + obj::kLength, uint32_t(b.size()));
    setPStringField(b.data() + button::kName, button::kNameSize, name);
    put16(b.data() + button::kShape, uint16_t(shape));
    put16(b.data() + button::kButtonFlags, 0x08);
    put16(b.data() + button::kNameColour, 256);
    put16(b.data() + button::kFillColour, uint16_t(2 + id));
    put16(b.data() + actionlist::kTransition, 3);
    put16(b.data() + actionlist::kSpeed, 8);
    return b;
}

Bytes goButtonRecord(uint16_t id, const QRect& r, const char* name, int16_t destination) {
    Bytes b = buttonRecord(id, r, 1, name);
    put16(b.data() + actionlist::kDestination, uint16_t(destination));
    put16(b.data() + actionlist::kFlags, actionlist::kFlagGoToCard);
    return b;
}

Bytes graphicRecord(uint16_t id, const QRect& r, bool masked, int frame) {
    Bitmap pic = paletteBitmap(r.width(), r.height());
    for (int y = 0; y < r.height(); ++y)
        for (int x = 0; x < r.width(); ++x) pic.row(y)[x] = uint8_t((x / 8 + y / 8 + id * 13) % 215);
    Bytes trailing;
    if (masked) {
        Bitmap mask = makeMask(r.width(), r.height());
        const double cx = r.width() / 2.0, cy = r.height() / 2.0;
        for (int y = 0; y < r.height(); ++y)
            for (int x = 0; x < r.width(); ++x)
                if (std::hypot((x - cx) / cx, (y - cy) / cy) <= 1.0) mask.setPixel(x, y, 1);
        trailing = encodeMaskTrailer(mask);
    }
    Bytes b(graphic::kData, 0);
    put16(b.data() + obj::kKind, obj::kGraphic);
    put16(b.data() + obj::kId, id);
    putRect(b, r);
    put16(b.data() + graphic::kFrameWidth, uint16_t(frame));
    put16(b.data() + graphic::kFrameColour, 256);
    put16(b.data() + graphic::kPictureFlags, graphic::kPictureLZRW1Rows);
    put16(b.data() + graphic::kPictureRect, uint16_t(r.left()));
    put16(b.data() + graphic::kPictureRect + 2, uint16_t(r.top()));
    put16(b.data() + graphic::kPictureRect + 4, uint16_t(r.right() + 1));
    put16(b.data() + graphic::kPictureRect + 6, uint16_t(r.bottom() + 1));
    put16(b.data() + graphic::kDepth, 8);
    return spliceObjectPicture(b, *encodeObjectPicture(pic, true), trailing);
}

Bytes textRecord(uint16_t id, const QRect& r) {
    Bytes b(text::kSubrecords, 0);
    put16(b.data() + obj::kKind, obj::kText);
    put16(b.data() + obj::kId, id);
    putRect(b, r);
    put32(b.data() + obj::kLength, uint32_t(b.size()));
    return b;
}

// Card 1 of a new stack becomes the benchmark's card.
void makeStack() {
    NewStack(kW, kH, 8);
    Bytes rec(card::kBody, 0);
    put16(rec.data() + card::kId, 1);
    put16(rec.data() + card::kMode, card::kModeOwn);
    put16(rec.data() + card::kDepth, 8);
    put16(rec.data() + card::kWidth, kW);
    put16(rec.data() + card::kHeight, kH);
    const Bitmap picture = cardPicture();
    const Bytes pict = *encodeCardPicture(picture, makeColourTable(picture.colours));
    rec.insert(rec.end(), pict.begin(), pict.end());
    auto add = [&](const Bytes& o) { rec.insert(rec.end(), o.begin(), o.end()); };
    const char* names[] = {"Rounded", "Default", "Rectangle", "Shadowed", "Transparent", "Next", "Previous", "Home"};
    for (int i = 0; i < 8; ++i) {
        const QRect r(20 + (i % 4) * 150, 380 + (i / 4) * 45, 120, 36);
        if (i == 5) add(goButtonRecord(uint16_t(1 + i), r, names[i], -1));
        else add(buttonRecord(uint16_t(1 + i), r, i % 5, names[i]));
    }
    for (int i = 0; i < 10; ++i)
        add(graphicRecord(uint16_t(20 + i), QRect(20 + (i % 5) * 124, 70 + (i / 5) * 150, 110, 120), i % 2 == 1, i % 3));
    add(textRecord(40, QRect(20, 10, 600, 40)));
    add(textRecord(41, QRect(360, 220, 240, 140)));
    rec.insert(rec.end(), {0, 0, 0xFA, 0xCE});
    put32(rec.data() + card::kLength, uint32_t(rec.size()));
    StackDocument& s = theStack();
    DisposeHandle(s.cards[0].record);
    s.cards[0].record = NewHandleFrom(rec.data(), uint32_t(rec.size()));
    // Card 2 is the same card under another id: "Next" on it comes back to card 1.
    put16(rec.data() + card::kId, 2);
    CardEntry second;
    second.record = NewHandleFrom(rec.data(), uint32_t(rec.size()));
    s.cards.push_back(second);
    s.setH16(hdr::kCardCount, 2);
    s.setH16(hdr::kNextCardId, 3);
}

const QPoint kNextButton(230, 443);

struct Fixture {
    HeadlessHost host;
    Player player{host};
    Fixture() {
        makeStack();
        player.showCardNumber(1, 3, 8, false);
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_ShowCard(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        f.player.showCardNumber(1, 3, 8, false);
        benchmark::DoNotOptimize(f.player.screen().constBits());
    }
}
BENCHMARK(BM_ShowCard)->Unit(benchmark::kMillisecond);

void BM_DecodeCardPicture(benchmark::State& state) {
    fixture();
    for (auto _ : state) benchmark::DoNotOptimize(decodeCardPicture(CardByNumber(1), kW, kH));
}
BENCHMARK(BM_DecodeCardPicture)->Unit(benchmark::kMillisecond);

void BM_BuildDisplayList(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state)
        benchmark::DoNotOptimize(buildDisplayList(CardByNumber(1), f.player.cardPicture().colourTable, ""));
}
BENCHMARK(BM_BuildDisplayList)->Unit(benchmark::kMillisecond);

void BM_DrawObjects(benchmark::State& state) {
    Fixture& f = fixture();
    QImage image = f.player.cardPicture().image.copy();
    for (auto _ : state) {
        QPainter p(&image);
        drawObjects(p, f.player.displayList(), image.rect(), f.player.drawContext());
    }
}
BENCHMARK(BM_DrawObjects)->Unit(benchmark::kMillisecond);

// A 200 x 150 rectangle over a masked picture, a framed picture and a button.
void BM_RepaintRect(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) f.player.paintCardRect(QRect(100, 250, 200, 150));
}
BENCHMARK(BM_RepaintRect)->Unit(benchmark::kMicrosecond);

// A rectangle of plain picture: pixels copied, nothing drawn.
void BM_RepaintPlainRect(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) f.player.paintCardRect(QRect(100, 192, 200, 26));
}
BENCHMARK(BM_RepaintPlainRect)->Unit(benchmark::kMicrosecond);

void BM_RepaintWholeCard(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) f.player.paintCardRect(QRect(0, 0, kW, kH));
}
BENCHMARK(BM_RepaintWholeCard)->Unit(benchmark::kMicrosecond);

// Press and release on "Next", on the real clock: the action list runs, the next card is
// composed and the Fastest transition shows it.
void BM_ClickNextCard(benchmark::State& state) {
    Fixture& f = fixture();
    f.player.showCardNumber(1, 3, 8, false);
    Message down;
    down.type = MsgType::MouseDown;
    down.x = kNextButton.x();
    down.y = kNextButton.y();
    Message up = down;
    up.type = MsgType::MouseUp;
    for (auto _ : state) {
        const int before = f.player.currentCardNumber();
        f.player.dispatch(down);
        f.player.dispatch(up);
        if (f.player.currentCardNumber() == before) {
            state.SkipWithError("the click did not move to the next card");
            break;
        }
    }
}
BENCHMARK(BM_ClickNextCard)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
