#pragma once
// Building a stack from a JSON manifest (see docs/manifest.md). The builder makes the stack
// in memory through the stack document layer, exactly as the player holds one, and saves it.
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "stack/bitmap.h"

namespace cv::tool {

// A manifest that cannot be built; the message names what is wrong.
struct ManifestError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

using Bytes = std::vector<uint8_t>;

// Native-order writers over a growing byte vector.
void put16At(Bytes& b, size_t off, uint16_t v);
void put32At(Bytes& b, size_t off, uint32_t v);
void putRectAt(Bytes& b, size_t off, const QJsonValue& rect);
void putNameAt(Bytes& b, size_t off, size_t fieldSize, const QString& name);
// Windows-1252 bytes of a manifest text.
std::string manifestBytes(const QString& s);

class ManifestBuilder {
public:
    explicit ManifestBuilder(QString baseDir) : baseDir_(std::move(baseDir)) {}
    // Builds the stack of `manifest` as the open stack. Throws ManifestError.
    void build(const QJsonObject& manifest);

    // Pieces, used by each other.
    Bytes buildObject(const QJsonObject& o, uint16_t cardId);
    Bytes buildActionList(const QJsonObject& o, uint16_t kind, uint16_t id);
    Bytes buildAction(const QJsonObject& a, uint16_t* summary);
    // An animation description made from the pictures of an animation action's `frames`.
    Bytes buildFrameAnimation(const QJsonObject& a);
    // A sprite on a path (its records and pictures) from an animation action's `sprite`.
    Bytes buildSprite(const QJsonObject& sprite);
    Bytes buildTextObject(const QJsonObject& o, uint16_t cardId);
    Bytes buildGraphicObject(const QJsonObject& o);
    Bytes buildCardPicture(const QJsonObject& bg);
    void addResource(const QJsonObject& r);
    uint16_t fontNumber(const QJsonValue& font);

    // Pictures: a file (relative to the manifest) or a solid colour, at the stack's depth.
    Bitmap pictureFrom(const QJsonObject& o, int width, int height, int depth);
    QImage loadImage(const QString& file) const;
    QString path(const QString& file) const;
    Bytes fileBytes(const QString& file) const;

    int depth() const { return depth_; }

private:
    QString baseDir_;
    int depth_ = 8;
    int width_ = 640;
    int height_ = 480;
    std::map<QString, uint16_t> cardIds_;     // card names to ids
    std::map<QString, uint16_t> fontNumbers_; // font names to numbers
    struct Font {
        QString name;
        uint16_t number;
        bool mac;
    };
    std::vector<Font> fonts_;
    bool explicitFontList_ = false;
    uint16_t cardIdFor(const QJsonValue& v) const;
    void writeFontList();
};

// Destination card codes.
int16_t destinationCode(const QJsonValue& v, const std::map<QString, uint16_t>& cardIds);
// 'Snd ' data made from a WAV file's bytes.
Bytes soundFromWav(const Bytes& wav);
// Parses "#rrggbb" or [r, g, b] (0-255) as 0xRRGGBB.
uint32_t colourValue(const QJsonValue& v);
// Bytes from a hex string (spaces allowed).
Bytes hexBytes(const QString& hex);

} // namespace cv::tool
