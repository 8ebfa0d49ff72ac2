// Objects and action lists of a manifest, built in their in-memory (native) form.
#include <QStringList>
#include <algorithm>
#include <cmath>

#include "apps/cvstack/manifest.h"
#include "core/byte_order.h"
#include "core/mac_charset.h"
#include "core/pstring.h"
#include "media/frame_animation.h"
#include "media/sprite_record.h"
#include "stack/stack_document.h"
#include "stack/picture_mask.h"
#include "stack/record_layout.h"

namespace cv::tool {

namespace {

struct ActionKind {
    const char* name;
    uint16_t code;
    uint16_t flag;
};
constexpr ActionKind kActionKinds[] = {
    {"sound", action::kStackSound, actionlist::kFlagStackSound},
    {"sound_file", action::kSoundFile, actionlist::kFlagSoundFile},
    {"movie", action::kMovie, actionlist::kFlagMovie},
    {"animation", action::kAnimation, actionlist::kFlagAnimation},
    {"videodisc", action::kVideodisc, actionlist::kFlagVideodisc},
    {"nba", action::kNBA, actionlist::kFlagNBA},
    {"script", action::kScript, actionlist::kFlagScript},
    {"other_stack", action::kOtherStack, actionlist::kFlagGoToCard},
    {"launch", action::kLaunch, actionlist::kFlagLaunch},
    {"shape", action::kButtonShape, 0},
};

void appendCounted(Bytes& b, const std::string& s) {
    if (s.size() > 255) throw ManifestError("a path is longer than 255 characters");
    b.push_back(uint8_t(s.size()));
    b.insert(b.end(), s.begin(), s.end());
}

uint16_t styleBits(const QJsonValue& v) {
    static const std::pair<const char*, uint16_t> kStyles[] = {
        {"bold", 0x01}, {"italic", 0x02}, {"underline", 0x04}, {"outline", 0x08},
        {"shadow", 0x10}, {"condensed", 0x20}, {"extended", 0x40}};
    if (v.isDouble()) return uint16_t(v.toInt());
    uint16_t bits = 0;
    for (const QString& word : v.toString().split(' ', Qt::SkipEmptyParts)) {
        auto it = std::find_if(std::begin(kStyles), std::end(kStyles), [&](auto& s) { return word == s.first; });
        if (it == std::end(kStyles)) throw ManifestError("unknown text style: " + word.toStdString());
        bits |= it->second;
    }
    return bits;
}

} // namespace

Bytes ManifestBuilder::buildFrameAnimation(const QJsonObject& a) {
    // The pictures' size: `size`, else the action's rectangle.
    const QJsonArray size = a["size"].toArray(), rect = a["rect"].toArray();
    int width = 0, height = 0;
    if (size.size() == 2) {
        width = size[0].toInt();
        height = size[1].toInt();
    } else if (rect.size() == 4) {
        width = rect[2].toInt() - rect[0].toInt();
        height = rect[3].toInt() - rect[1].toInt();
    }
    if (width <= 0 || height <= 0 || width > 0x7FFF || height > 0x7FFF)
        throw ManifestError("an animation needs a size: [width, height], or a rect");
    std::vector<Bitmap> pictures;
    for (const QJsonValue& f : a["frames"].toArray()) {
        QJsonObject frame = f.isString() ? QJsonObject{{"picture", f.toString()}} : f.toObject();
        pictures.push_back(pictureFrom(frame, width, height, depth_));
    }
    const int changes = a["changes"].toInt(16);
    if (changes != 16 && changes != 32) throw ManifestError("animation changes are 16 or 32 (bits)");
    uint16_t flags = uint16_t(a["flags"].toInt(0)) & ~uint16_t(frameanim::kDeltas16);
    if (changes == 16) flags |= frameanim::kDeltas16;
    auto record = encodeFrameAnimation(pictures, uint16_t(a["delay"].toInt(100)), uint16_t(a["repeats"].toInt(1)), flags);
    if (!record) throw ManifestError("an animation needs 1 to 32767 frames");
    return *record;
}

namespace {

// A mode given by name or number.
uint16_t modeValue(const QJsonValue& v, std::initializer_list<std::pair<const char*, uint16_t>> names, uint16_t byDefault,
                   const char* what) {
    if (v.isUndefined()) return byDefault;
    if (v.isDouble()) return uint16_t(v.toInt());
    for (const auto& [name, value] : names)
        if (v.toString() == name) return value;
    throw ManifestError(std::string("unknown ") + what + ": " + v.toString().toStdString());
}

uint32_t count32(const QJsonObject& o, const char* key, uint32_t byDefault) {
    const double v = o[key].toDouble(byDefault);
    if (v < 0 || v > 4294967295.0) throw ManifestError(std::string("\"") + key + "\" is out of range");
    return uint32_t(v);
}

FrameSettings frameSettings(const QJsonObject& o, const FrameSettings& base) {
    FrameSettings f = base;
    f.mode = modeValue(o["frame_mode"], {{"forward", 1}, {"backward", 2}, {"advance", 3}, {"keep", 4}}, base.mode,
                       "frame mode");
    f.step = o["frame_step"].toInt(base.step);
    f.first = count32(o, "first_frame", base.first);
    f.end = count32(o, "frame_end", base.end);
    return f;
}

} // namespace

Bytes ManifestBuilder::buildSprite(const QJsonObject& sp) {
    SpriteOptions o;
    o.pathMode = modeValue(sp["path_mode"], {{"forward", 1}, {"backward", 2}, {"back_and_forth", 3}, {"circular", 4}},
                           sprite::kPathForward, "path mode");
    o.repeatMode = modeValue(sp["repeat"], {{"always", 0}, {"run_time", 2}, {"cycles", 4}, {"passes", 5}, {"once", 6}},
                             sprite::kRepeatOnce, "repeat rule");
    o.passLimit = count32(sp, "passes", 1);
    o.frameCycleLimit = count32(sp, "cycles", 0);
    o.pathStep = sp["step"].toInt(1);
    o.speedPercent = count32(sp, "speed", 100);
    o.runTime = count32(sp, "run_time", 0);
    if (sp.contains("interval")) {
        o.recordedTiming = false;
        o.fixedInterval = count32(sp, "interval", 100);
    }
    if (sp.contains("frame_interval")) {
        o.framesOnMove = false;
        o.frameInterval = count32(sp, "frame_interval", 0);
    }
    o.forward = frameSettings(sp, o.forward);
    if (sp.contains("back")) o.backward = frameSettings(sp["back"].toObject(), o.forward);

    std::vector<PathPoint> path;
    for (const QJsonValue& v : sp["path"].toArray()) {
        const QJsonArray p = v.toArray();
        if (p.size() < 2 || p.size() > 3) throw ManifestError("a path point is [x, y] or [x, y, ms]");
        path.push_back({int16_t(p[0].toInt()), int16_t(p[1].toInt()), uint32_t(p.size() > 2 ? p[2].toInt() : 0)});
    }
    if (path.empty()) throw ManifestError("a sprite needs a \"path\" of points");

    std::vector<SpritePicture> frames;
    for (const QJsonValue& f : sp["frames"].toArray()) {
        const QJsonObject frame = f.isString() ? QJsonObject{{"picture", f.toString()}} : f.toObject();
        QImage image;
        int width = 0, height = 0;
        if (frame.contains("picture")) {
            image = loadImage(frame["picture"].toString());
            width = image.width();
            height = image.height();
        }
        const QJsonArray size = frame["size"].toArray();
        if (size.size() == 2) {
            width = size[0].toInt();
            height = size[1].toInt();
        }
        if (width <= 0 || height <= 0 || width > 0x7FFF || height > 0x7FFF)
            throw ManifestError("a sprite frame needs a picture or a \"size\"");
        SpritePicture pic;
        pic.picture = pictureFrom(frame, width, height, depth_);
        // The picture's transparent pixels (alpha below half) are the ones its mask hides.
        if (!image.isNull() && image.hasAlphaChannel()) {
            const QImage alpha = image.scaled(width, height).convertToFormat(QImage::Format_ARGB32);
            Bitmap mask = *MakeDIB(width, height, 1);
            mask.colours = {0xFF000000u, 0xFFFFFFFFu};
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    if (qAlpha(alpha.pixel(x, y)) < 128) mask.setPixel(x, y, 1);
            pic.mask = std::move(mask);
        }
        const QJsonArray hot = frame["hotspot"].toArray();
        if (hot.size() == 2) {
            pic.hotX = int16_t(hot[0].toInt());
            pic.hotY = int16_t(hot[1].toInt());
        }
        frames.push_back(std::move(pic));
    }
    if (frames.empty() || frames.size() > sprite::kMaxFrames)
        throw ManifestError("a sprite needs 1 to 4096 \"frames\"");
    auto data = encodeSprite(o, path, frames);
    if (!data) throw ManifestError("a sprite frame cannot be stored");
    return *data;
}

Bytes ManifestBuilder::buildAction(const QJsonObject& a, uint16_t* summary) {
    const QString type = a["type"].toString();
    uint16_t code = 0;
    if (type == "raw") {
        code = uint16_t(a["code"].toInt());
    } else {
        auto it = std::find_if(std::begin(kActionKinds), std::end(kActionKinds),
                               [&](const ActionKind& k) { return type == k.name; });
        if (it == std::end(kActionKinds)) throw ManifestError("unknown action type: " + type.toStdString());
        code = it->code;
        *summary |= it->flag;
    }
    Bytes b(action::kPayload, 0);
    put16At(b, action::kCode, code);
    Bytes payload;
    switch (code) {
    case action::kStackSound:
        put16At(b, 4, uint16_t(a["value4"].toInt(0)));
        put16At(b, 16, uint16_t(a["id"].toInt()));
        put16At(b, 24, uint16_t(a["value24"].toInt(0)) | (a["track"].toBool() ? 0x8000 : 0));
        break;
    case action::kSoundFile:
        put16At(b, 4, uint16_t(a["value4"].toInt(0)));
        put16At(b, 24, uint16_t(a["value24"].toInt(0)));
        appendCounted(payload, manifestBytes(a["path"].toString()));
        break;
    case action::kMovie:
        put16At(b, 2, uint16_t(a["value2"].toInt(0)));
        putRectAt(b, 4, a["rect"].isUndefined() ? QJsonArray{0, 0, 0, 0} : a["rect"]);
        put32At(b, 16, uint32_t(a["value16"].toInt(0)));
        put16At(b, 20, uint16_t(a["value20"].toInt(0)));
        appendCounted(payload, manifestBytes(a["path"].toString()));
        break;
    case action::kScript: {
        putRectAt(b, 4, a["rect"].isUndefined() ? QJsonArray{0, 0, 0, 0} : a["rect"]);
        const std::string text = manifestBytes(a["text"].toString());
        payload.assign(text.begin(), text.end());
        break;
    }
    case action::kOtherStack:
        appendCounted(payload, manifestBytes(a["path"].toString()));
        break;
    case action::kLaunch: {
        const std::string doc = manifestBytes(a["document"].toString());
        const std::string program = manifestBytes(a["program"].toString());
        put16At(b, 16, a["quit"].toBool() ? 0x4000 : 0);
        put32At(b, 18, uint32_t(doc.size()));
        payload.assign(doc.begin(), doc.end());
        payload.insert(payload.end(), program.begin(), program.end());
        break;
    }
    case action::kNBA:
        put16At(b, 16, uint16_t(a["id"].toInt()));
        payload = hexBytes(a["data"].toString());
        break;
    case action::kAnimation:
        putRectAt(b, 4, a["rect"].isUndefined() ? QJsonArray{0, 0, 0, 0} : a["rect"]);
        if (a.contains("sprite")) payload = buildSprite(a["sprite"].toObject());
        else if (a.contains("frames")) payload = buildFrameAnimation(a);
        else payload = a.contains("file") ? fileBytes(a["file"].toString()) : hexBytes(a["data"].toString());
        break;
    case action::kVideodisc:
        putRectAt(b, 4, a["rect"].isUndefined() ? QJsonArray{0, 0, 0, 0} : a["rect"]);
        put16At(b, 18, uint16_t(a["start"].toInt(0)));
        put16At(b, 20, uint16_t(a["end"].toInt(0)));
        put16At(b, 24, uint16_t(a["mode"].toInt(0)));
        break;
    case action::kButtonShape:
        if (a.contains("mask")) {
            // The button's shape from an image: its dark pixels are the button.
            const QImage m = loadImage(a["mask"].toString());
            Bitmap mask = makeMask(m.width(), m.height());
            for (int y = 0; y < m.height(); ++y)
                for (int x = 0; x < m.width(); ++x)
                    if (qGray(m.pixel(x, y)) < 128) mask.setPixel(x, y, 1);
            payload = encodeMaskTrailer(mask);
        } else {
            // Stored bytes: width and height big-endian, as in a stack file.
            payload = hexBytes(a["payload"].toString());
            if (payload.size() >= 4) {
                std::swap(payload[0], payload[1]);
                std::swap(payload[2], payload[3]);
            }
        }
        break;
    default:
        payload = hexBytes(a["payload"].toString());
        break;
    }
    uint16_t flags = uint16_t(a["flags"].toInt(0)) & ~action::kFlagPadded;
    b.insert(b.end(), payload.begin(), payload.end());
    if (b.size() & 1) {
        b.push_back(0);
        flags |= action::kFlagPadded;
    }
    put16At(b, action::kFlags, flags);
    put32At(b, action::kLength, uint32_t(b.size()));
    return b;
}

Bytes ManifestBuilder::buildActionList(const QJsonObject& o, uint16_t kind, uint16_t id) {
    Bytes b(button::kActions, 0);
    put16At(b, obj::kKind, kind);
    put16At(b, obj::kId, id);
    putRectAt(b, obj::kRect, o["rect"].isUndefined() ? QJsonArray{0, 0, 0, 0} : o["rect"]);
    putNameAt(b, button::kName, button::kNameSize, o["name"].toString());
    put16At(b, button::kShape, uint16_t(o["shape"].toInt(0)));
    put16At(b, actionlist::kTestAnswer, uint16_t(o["test_answer"].toInt(0)));
    put16At(b, actionlist::kTransition, uint16_t(o["transition"].toInt(3)));
    put16At(b, actionlist::kSpeed, uint16_t(o["speed"].toInt(8)));
    put16At(b, actionlist::kButtonColour, uint16_t(o["button_colour"].toInt(0)));

    uint16_t buttonFlags = uint16_t(o["button_flags"].toInt(0));
    if (o["show_name"].toBool(o.contains("name") && !o.contains("button_flags"))) buttonFlags |= 0x08;
    if (o["no_invert"].toBool()) buttonFlags |= 0x04;
    if (o.contains("icon")) {
        buttonFlags |= 0x10;
        put16At(b, button::kIconId, uint16_t(o["icon"].toInt()));
    }
    put16At(b, button::kButtonFlags, buttonFlags);
    put16At(b, button::kNameColour, uint16_t(o["name_colour"].toInt(256)));  // black
    put16At(b, button::kFillColour, uint16_t(o["fill_colour"].toInt(1)));    // white

    uint16_t flags = uint16_t(o["flags"].toInt(0));
    if (o["hidden"].toBool()) flags |= obj::kFlagHidden;
    if (o["roll_over"].toBool()) flags |= obj::kFlagRollOver;
    if (o["drop_target"].toBool()) flags |= obj::kFlagDropTarget;
    if (o["not_counted"].toBool()) flags |= obj::kFlagNotCounted;

    uint16_t summary = 0;
    if (o.contains("go")) {
        put16At(b, actionlist::kDestination, uint16_t(destinationCode(o["go"], cardIds_)));
        summary |= actionlist::kFlagGoToCard;
    }
    if (o.contains("timer")) {
        const QJsonObject t = o["timer"].toObject();
        put16At(b, actionlist::kTimerInterval, uint16_t(t["seconds"].toInt()));
        put16At(b, actionlist::kTimerMode, t["repeat"].toBool() ? 2 : 1);
    }
    for (const QJsonValue& v : o["actions"].toArray()) {
        const QJsonObject a = v.toObject();
        if (a["type"].toString() == "other_stack" && a.contains("card"))
            put16At(b, actionlist::kDestination, uint16_t(destinationCode(a["card"], cardIds_)));
        const Bytes action = buildAction(a, &summary);
        b.insert(b.end(), action.begin(), action.end());
    }
    summary |= uint16_t(o["action_flags"].toInt(0));
    put16At(b, actionlist::kFlags, summary);
    if (b.size() & 1) {
        b.push_back(0);
        flags |= obj::kFlagPadded;
    }
    put16At(b, obj::kFlags, flags);
    put32At(b, obj::kLength, uint32_t(b.size()));
    return b;
}

Bytes ManifestBuilder::buildTextObject(const QJsonObject& o, uint16_t cardId) {
    Bytes b(text::kSubrecords, 0);
    put16At(b, obj::kKind, obj::kText);
    put16At(b, obj::kId, uint16_t(o["id"].toInt()));
    putRectAt(b, obj::kRect, o["rect"]);
    putNameAt(b, text::kName, text::kNameSize, o["name"].toString());
    put16At(b, text::kAction, uint16_t(o["action"].toInt(0)));
    put16At(b, text::kBackColour, uint16_t(o["back_colour"].toInt(0)));
    const QString align = o["align"].toString("left");
    put16At(b, text::kAlignment, uint16_t(align == "center" || align == "centre" ? 1 : align == "right" ? -1 : 0));
    uint16_t second = uint16_t(o["second_flags"].toInt(0));
    if (o["locked"].toBool()) second |= 0x01;      // locked against typing
    if (o["inactive"].toBool()) second |= 0x02;    // not made active when its card is shown
    put16At(b, text::kSecondFlags, second);
    uint16_t flags = uint16_t(o["flags"].toInt(0));
    if (o["hidden"].toBool()) flags |= obj::kFlagHidden;
    if (o["transparent"].toBool()) flags |= obj::kFlagRollOver;

    // One sub-record, or one per card ("texts": [{"card": ..., "text": ..., "styles": ...}]).
    // With "file", the first sub-record holds the file's path in place of the text.
    QJsonArray texts;
    if (o.contains("file")) {
        flags |= obj::kFlagFileRef;
        texts.append(QJsonObject{{"styles", o["styles"]}, {"file", o["file"]}});
    } else if (o.contains("texts")) {
        texts = o["texts"].toArray();
        flags |= obj::kFlagPerCardText;
    } else {
        texts.append(QJsonObject{{"text", o["text"]}, {"styles", o["styles"]}});
    }
    for (const QJsonValue& tv : texts) {
        const QJsonObject t = tv.toObject();
        // Text stays in the stack's own character set inside its record.
        std::string chars = manifestBytes(t["text"].toString());
        if (theStack().macText) chars = windowsToMac(chars);
        if (t.contains("file")) {
            // A file reference: the counted path padded to an even length, 6 bytes, the
            // counted file name.
            const std::string path = manifestBytes(t["file"].toString());
            if (path.size() > 255) throw ManifestError("a path is longer than 255 characters");
            const size_t slash = path.find_last_of("\\:/");
            const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
            chars.assign(1, char(path.size()));
            chars += path;
            if (chars.size() & 1) chars += '\0';
            chars.append(6, '\0');
            chars += char(name.size());
            chars += name;
        }
        Bytes runs;
        auto be16 = [&](uint16_t v) { runs.push_back(uint8_t(v >> 8)); runs.push_back(uint8_t(v)); };
        QJsonArray styles = t["styles"].toArray();
        if (styles.isEmpty()) styles.append(QJsonObject{});
        be16(uint16_t(styles.size()));
        for (const QJsonValue& sv : styles) {
            const QJsonObject s = sv.toObject();
            const int size = s["size"].toInt(12);
            const uint32_t start = uint32_t(s["start"].toInt(0));
            be16(uint16_t(start >> 16));
            be16(uint16_t(start));
            be16(uint16_t(std::lround(size * 1.25)));   // line height
            be16(uint16_t(std::lround(size * 0.9)));    // ascent
            be16(fontNumber(s["font"]));
            runs.push_back(uint8_t(styleBits(s["style"])));
            runs.push_back(0);
            be16(uint16_t(size));
            const uint32_t rgb = s.contains("colour") ? colourValue(s["colour"]) : 0;
            for (int shift : {16, 8, 0}) {
                const uint8_t c = uint8_t(rgb >> shift);
                be16(uint16_t(c << 8 | c));
            }
        }
        Bytes sub(text::kSubHeaderSize, 0);
        put16At(sub, text::kSubType, text::kSubTypeText);
        put16At(sub, text::kSubCardId, t.contains("card") ? cardIdFor(t["card"]) : cardId);
        put32At(sub, text::kSubTextLength, uint32_t(chars.size()));
        sub.insert(sub.end(), chars.begin(), chars.end());
        sub.insert(sub.end(), runs.begin(), runs.end());
        if (sub.size() & 1) {
            sub.push_back(0);
            put32At(sub, text::kSubFlags, 0x200);
        }
        put32At(sub, text::kSubLength, uint32_t(sub.size()));
        b.insert(b.end(), sub.begin(), sub.end());
    }
    put16At(b, obj::kFlags, flags);
    put32At(b, obj::kLength, uint32_t(b.size()));
    return b;
}

Bytes ManifestBuilder::buildObject(const QJsonObject& o, uint16_t cardId) {
    const QString kind = o["kind"].toString();
    if (!o.contains("id")) throw ManifestError("every object needs an \"id\"");
    const uint16_t id = uint16_t(o["id"].toInt());
    if (kind == "button") return buildActionList(o, obj::kButton, id);
    if (kind == "text") return buildTextObject(o, cardId);
    if (kind == "graphic") {
        Bytes b = buildGraphicObject(o);
        put16At(b, obj::kId, id);
        putRectAt(b, obj::kRect, o["rect"]);
        putNameAt(b, graphic::kName, graphic::kNameSize, o["name"].toString());
        uint16_t flags = get16(b.data() + obj::kFlags);
        if (o["hidden"].toBool()) flags |= obj::kFlagHidden;
        if (o["draggable"].toBool()) flags |= obj::kFlagRollOver;
        put16At(b, obj::kFlags, flags | uint16_t(o["flags"].toInt(0)));
        return b;
    }
    throw ManifestError("unknown object kind: " + kind.toStdString());
}

} // namespace cv::tool
