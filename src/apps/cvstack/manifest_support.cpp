// Small pieces of the manifest builder: native field writers, colours, hex, destinations and
// stored sounds made from WAV files.
#include <QColor>
#include <cstring>

#include "apps/cvstack/manifest.h"
#include "core/byte_order.h"
#include "core/pstring.h"
#include "core/text_encoding.h"

namespace cv::tool {

void put16At(Bytes& b, size_t off, uint16_t v) {
    if (b.size() < off + 2) b.resize(off + 2);
    put16(b.data() + off, v);
}

void put32At(Bytes& b, size_t off, uint32_t v) {
    if (b.size() < off + 4) b.resize(off + 4);
    put32(b.data() + off, v);
}

void putRectAt(Bytes& b, size_t off, const QJsonValue& rect) {
    const QJsonArray a = rect.toArray();
    if (!rect.isUndefined() && a.size() != 4) throw ManifestError("a rectangle is [left, top, right, bottom]");
    for (int i = 0; i < 4; ++i) put16At(b, off + 2 * i, static_cast<uint16_t>(a.isEmpty() ? 0 : a[i].toInt()));
}

std::string manifestBytes(const QString& s) { return utf8ToCp1252(s.toStdString()); }

void putNameAt(Bytes& b, size_t off, size_t fieldSize, const QString& name) {
    if (b.size() < off + fieldSize) b.resize(off + fieldSize);
    const std::string bytes = manifestBytes(name);
    if (bytes.size() >= fieldSize)
        throw ManifestError("the name \"" + name.toStdString() + "\" is longer than " +
                            std::to_string(fieldSize - 1) + " characters");
    setPStringField(b.data() + off, fieldSize, bytes);
}

uint32_t colourValue(const QJsonValue& v) {
    if (v.isArray()) {
        const QJsonArray a = v.toArray();
        if (a.size() != 3) throw ManifestError("a colour is [red, green, blue] or \"#rrggbb\"");
        return (uint32_t(a[0].toInt() & 255) << 16) | (uint32_t(a[1].toInt() & 255) << 8) | uint32_t(a[2].toInt() & 255);
    }
    const QColor c(v.toString());
    if (!c.isValid()) throw ManifestError("not a colour: " + v.toString().toStdString());
    return c.rgb() & 0xFFFFFF;
}

Bytes hexBytes(const QString& hex) {
    QByteArray clean = hex.toLatin1();
    clean.replace(" ", "").replace("\n", "");
    if (clean.size() % 2) throw ManifestError("hex data needs an even number of digits");
    const QByteArray raw = QByteArray::fromHex(clean);
    return Bytes(raw.begin(), raw.end());
}

int16_t destinationCode(const QJsonValue& v, const std::map<QString, uint16_t>& cardIds) {
    if (v.isDouble()) return static_cast<int16_t>(v.toInt());
    const QString s = v.toString();
    static const std::map<QString, int16_t> kWords = {
        {"next", -1}, {"previous", -2}, {"home", -3}, {"back", -4}, {"last_marked", -5}, {"first", -6}};
    if (auto it = kWords.find(s); it != kWords.end()) return it->second;
    if (auto it = cardIds.find(s); it != cardIds.end()) return static_cast<int16_t>(it->second);
    throw ManifestError("no card named \"" + s.toStdString() + "\"");
}

namespace {
uint32_t le32(const Bytes& b, size_t off) { return off + 4 <= b.size() ? loadLE32(b.data() + off) : 0; }
uint16_t le16(const Bytes& b, size_t off) { return off + 2 <= b.size() ? loadLE16(b.data() + off) : 0; }
} // namespace

Bytes soundFromWav(const Bytes& wav) {
    if (wav.size() < 12 || std::memcmp(wav.data(), "RIFF", 4) != 0 || std::memcmp(wav.data() + 8, "WAVE", 4) != 0)
        throw ManifestError("not a WAV file");
    uint16_t channels = 0, bits = 0;
    uint32_t rate = 0;
    const uint8_t* samples = nullptr;
    uint32_t sampleBytes = 0;
    for (size_t off = 12; off + 8 <= wav.size();) {
        const uint32_t len = le32(wav, off + 4);
        const size_t body = off + 8;
        if (len > wav.size() - body) break;
        if (std::memcmp(wav.data() + off, "fmt ", 4) == 0 && len >= 16) {
            if (le16(wav, body) != 1) throw ManifestError("only uncompressed (PCM) WAV files can be stored");
            channels = le16(wav, body + 2);
            rate = le32(wav, body + 4);
            bits = le16(wav, body + 14);
        } else if (std::memcmp(wav.data() + off, "data", 4) == 0) {
            samples = wav.data() + body;
            sampleBytes = len;
        }
        off = body + len + (len & 1);
    }
    if (!samples || channels == 0 || (bits != 8 && bits != 16) || rate == 0 || rate > 65535)
        throw ManifestError("the WAV file needs 8- or 16-bit PCM samples at a rate below 65536 Hz");
    const uint32_t frameBytes = channels * bits / 8;
    const uint32_t frames = sampleBytes / frameBytes;

    // Form 1 preamble: one data format (sampled sound), one buffer command.
    Bytes out;
    auto be16 = [&](uint16_t v) { out.push_back(uint8_t(v >> 8)); out.push_back(uint8_t(v)); };
    auto be32 = [&](uint32_t v) { be16(uint16_t(v >> 16)); be16(uint16_t(v)); };
    be16(1);
    be16(1);
    be16(5);
    be32(0x80);
    be16(1);
    be16(0x8051);
    be16(0);
    be32(20);
    const bool standard = channels == 1 && bits == 8;
    be32(0);                                  // sample pointer
    be32(standard ? frames : channels);       // length, or channel count
    be32(rate << 16);                         // 16.16 fixed point
    be32(0);
    be32(0);
    out.push_back(standard ? 0x00 : 0xFF);    // encoding
    out.push_back(60);                        // base frequency
    if (!standard) {
        be32(frames);
        out.insert(out.end(), 10, 0);         // extended rate (not read)
        be32(0);
        be32(0);
        be32(0);
        be16(bits);
        out.insert(out.end(), 14, 0);         // up to the samples at 64
    }
    const size_t start = out.size();
    out.insert(out.end(), samples, samples + size_t(frames) * frameBytes);
    if (bits == 16)  // WAV samples are little-endian; stored sounds are big-endian
        for (size_t i = start; i + 1 < out.size(); i += 2) std::swap(out[i], out[i + 1]);
    return out;
}

} // namespace cv::tool
