// Text objects: laying out and drawing a card-sized text of 5,000 characters in 50 style runs,
// and typing one character into it and drawing it again.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

#include "core/byte_order.h"
#include "core/pstring.h"
#include "stack/font_list.h"
#include "stack/stack_document.h"
#include "player/headless_host.h"
#include "player/player.h"
#include "stack/record_layout.h"
#include "stack/text_engine/text_engine.h"

namespace {

constexpr int kWidth = 512, kHeight = 342;
const QRect kField(0, 0, kWidth, kHeight);

void installFontList() {
    std::vector<uint8_t> list;
    const char* names[] = {"Arial", "Times New Roman", "Courier New"};
    for (int i = 0; i < 3; ++i) {
        std::vector<uint8_t> e(cv::fntl::kEntrySize, 0);
        cv::setPStringField(e.data(), cv::fntl::kNameSize, names[i]);
        cv::storeBE16(e.data() + cv::fntl::kNumber, uint16_t(1000 + i));
        cv::storeBE16(e.data() + cv::fntl::kWeight, 400);
        list.insert(list.end(), e.begin(), e.end());
    }
    list.resize(list.size() + cv::fntl::kEntrySize, 0);
    cv::theStack().fontList = cv::NewHandleFrom(list.data(), uint32_t(list.size()));
}

std::string sampleText() {
    static const char* words[] = {"stack", "card", "button", "field", "picture", "sound", "movie", "link"};
    std::string t;
    for (int i = 0; t.size() < 5000; ++i) {
        t += words[i % 8];
        t += (i % 23 == 22) ? '\r' : ' ';
    }
    t.resize(5000);
    return t;
}

std::vector<cv::StyleRun> sampleRuns() {
    std::vector<cv::StyleRun> runs;
    for (int i = 0; i < 50; ++i) {
        cv::StyleRun r;
        r.start = uint32_t(i * 100);
        r.font = uint16_t(1000 + i % 3);
        r.size = uint16_t(10 + (i % 4) * 2);
        r.style = uint8_t(i % 5 == 0 ? cv::kStyleBold : i % 5 == 1 ? cv::kStyleItalic : i % 5 == 2 ? cv::kStyleUnderline : 0);
        r.red = uint16_t((i * 40 % 256) << 8);
        runs.push_back(r);
    }
    return runs;
}

void drawField(QImage& screen, const QImage& picture, const cv::TextDocument& doc, bool active) {
    QPainter p(&screen);
    p.drawImage(kField.topLeft(), picture, kField);
    p.setClipRect(kField);
    p.fillRect(kField, Qt::white);
    cv::TextDocument::DrawOptions o;
    o.showCaret = o.showSelection = active;
    doc.draw(p, o);
}

void BM_LayoutAndDraw5000(benchmark::State& state) {
    const std::string text = sampleText();
    const auto runs = sampleRuns();
    QImage picture(kWidth, kHeight, QImage::Format_RGB32);
    picture.fill(Qt::lightGray);
    QImage screen = picture.copy();
    for (auto _ : state) {
        cv::TextDocument doc(kField);
        doc.insertStyled(text, runs);
        drawField(screen, picture, doc, false);
        benchmark::DoNotOptimize(screen.constBits());
    }
}
BENCHMARK(BM_LayoutAndDraw5000)->Unit(benchmark::kMillisecond);

void BM_TypeAndRedraw(benchmark::State& state) {
    QImage picture(kWidth, kHeight, QImage::Format_RGB32);
    picture.fill(Qt::lightGray);
    QImage screen = picture.copy();
    cv::TextDocument doc(kField);
    doc.insertStyled(sampleText(), sampleRuns());
    doc.setSelection(300, 300);
    drawField(screen, picture, doc, true);
    int typed = 0;
    for (auto _ : state) {
        // Typing goes on in the text shown, deleting now and then so the text keeps its size.
        doc.typeChar(++typed % 8 == 0 ? 8 : 'x');
        drawField(screen, picture, doc, true);
        benchmark::DoNotOptimize(screen.constBits());
    }
}
BENCHMARK(BM_TypeAndRedraw)->Unit(benchmark::kMillisecond);

// The same through the player: a stack whose one card holds the text object, shown in a
// headless player; each character is typed as the window would send it, and the player
// redraws the field on its screen.
void BM_PlayerTypeAndRedraw(benchmark::State& state) {
    if (!cv::NewStack(kWidth, kHeight, 8)) {
        state.SkipWithError("no stack");
        return;
    }
    installFontList();
    const std::string text = sampleText();
    const std::vector<uint8_t> runs = cv::StyleRunBytes(sampleRuns());
    std::vector<uint8_t> o(cv::text::kSubrecords + cv::text::kSubHeaderSize, 0);
    cv::put16(o.data() + cv::obj::kKind, cv::obj::kText);
    cv::put16(o.data() + cv::obj::kId, 1);
    cv::put16(o.data() + cv::obj::kRect + 4, kWidth);
    cv::put16(o.data() + cv::obj::kRect + 6, kHeight);
    cv::put16(o.data() + cv::text::kBackColour, 1);
    uint8_t* sub = o.data() + cv::text::kSubrecords;
    cv::put16(sub + cv::text::kSubType, cv::text::kSubTypeText);
    cv::put16(sub + cv::text::kSubCardId, 1);
    cv::put32(sub + cv::text::kSubTextLength, uint32_t(text.size()));
    cv::put32(sub + cv::text::kSubLength, uint32_t(16 + text.size() + runs.size()));
    o.insert(o.end(), text.begin(), text.end());
    o.insert(o.end(), runs.begin(), runs.end());
    cv::put32(o.data() + cv::obj::kLength, uint32_t(o.size()));
    cv::Handle card = cv::CardByNumber(1);
    cv::InsertBytes(card, o.data(), cv::card::kBody, uint32_t(o.size()));
    cv::put32(cv::memRefs().data(card) + cv::card::kLength, cv::GetHandleSize(card));

    cv::HeadlessHost host;
    cv::Player player(host);
    player.showCardNumber(1, 3, 8, false);
    cv::Message m;
    m.type = cv::MsgType::Char;
    int typed = 0;
    for (auto _ : state) {
        m.ch = ++typed % 8 == 0 ? 8 : 'x';
        player.dispatch(m);
        benchmark::DoNotOptimize(player.screen().constBits());
    }
    cv::DisposeStack();
}
BENCHMARK(BM_PlayerTypeAndRedraw)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    cv::TextEngineStartup();
    installFontList();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
