#include "player/qt/audio_output.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "media/sound_manager.h"
#include "player/player.h"

namespace cv {

namespace {

// What the device pulls: the mixer's next samples, as many as it asks for. The device may
// call this from its own thread; the mixer locks what it shares.
class MixerStream final : public QIODevice {
public:
    Mixer* mixer = nullptr;
    int channels = 2;

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return 1 << 16; }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 frameBytes = qint64(sizeof(int16_t)) * channels;
        const qint64 frames = maxSize / frameBytes;
        if (!mixer || frames <= 0) return 0;
        mixer->render(reinterpret_cast<int16_t*>(data), size_t(frames));
        return frames * frameBytes;
    }
    qint64 writeData(const char*, qint64) override { return -1; }
};

class DeviceSink final : public AudioSink {
public:
    DeviceSink(const QAudioDevice& device, const QAudioFormat& format) : sink_(device, format) {
        format_.rate = format.sampleRate();
        format_.channels = format.channelCount();
        stream_.channels = format_.channels;
        // About 40 ms of buffer: short enough that a click is heard at once.
        sink_.setBufferSize(qsizetype(format.bytesForDuration(40000)));
        // Long sounds are decoded ahead on this (the player's) thread. The player's own idle
        // calls do it too, but they pause while it is busy or shows a dialog; this timer
        // fires in any event loop, so a sound does not run dry behind an alert.
        feed_.setInterval(kFeedMs);
        feed_.callOnTimeout([this] {
            if (stream_.mixer) stream_.mixer->feed();
        });
    }
    OutputFormat format() const override { return format_; }
    void start(Mixer& mixer) override {
        stream_.mixer = &mixer;
        stream_.open(QIODevice::ReadOnly);
        sink_.start(&stream_);
        feed_.start();
    }
    void stop() override {
        feed_.stop();
        sink_.stop();
        stream_.close();
        stream_.mixer = nullptr;
    }

private:
    static constexpr int kFeedMs = 100;
    OutputFormat format_;
    QAudioSink sink_;
    MixerStream stream_;
    QTimer feed_;
};

std::unique_ptr<AudioSink> deviceSink() {
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) return nullptr;
    QAudioFormat format;
    format.setSampleRate(48000);
    format.setChannelCount(2);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) {
        const QAudioFormat preferred = device.preferredFormat();
        format.setSampleRate(preferred.sampleRate());
        format.setChannelCount(std::min(preferred.channelCount(), 2));
        if (!device.isFormatSupported(format)) return nullptr;
    }
    return std::make_unique<DeviceSink>(device, format);
}

} // namespace

void installAudioOutput(Player& player) {
    if (auto sink = deviceSink()) {
        player.sounds().setSink(std::move(sink));
        return;
    }
    static bool said = false;
    if (!said) {
        std::fprintf(stderr, "corvella: no audio output device was found; sounds play silently\n");
        said = true;
    }
}

} // namespace cv
