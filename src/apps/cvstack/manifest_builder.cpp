// The manifest builder's main line: the stack header, the cards and the resources.
#include <QJsonDocument>
#include <cstring>

#include "apps/cvstack/manifest.h"
#include "core/byte_order.h"
#include "core/handles.h"
#include "stack/bitmap.h"
#include "stack/chunk_file.h"
#include "stack/picture_card.h"
#include "stack/ppak.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"
#include "stack/stack_io.h"

namespace cv::tool {

namespace {

uint16_t kindOfPictureDepth(int depth) {
    if (!isPictureDepth(depth) || depth == 1) throw ManifestError("depth must be 2, 4, 8, 16 or 32");
    return uint16_t(depth);
}

// The stack's chunk file, made when the first resource arrives.
void ensureChunkFile() {
    StackDocument& s = theStack();
    if (!s.chunkFile) {
        s.chunkFile = OpenScratchChunkFile();
        if (!s.chunkFile) throw ManifestError("cannot make a temporary file for the stack's resources");
    }
    SetCurrentChunkFile(s.chunkFile);
}

void addChunk(uint32_t type, uint16_t id, const QString& name, const Bytes& data, uint16_t marker = 0) {
    ensureChunkFile();
    Handle h = NewHandleFrom(data.data(), uint32_t(data.size()));
    uint8_t pname[32] = {};
    const std::string n = manifestBytes(name);
    if (n.size() > 31) throw ManifestError("a resource name is longer than 31 characters");
    pname[0] = uint8_t(n.size());
    std::memcpy(pname + 1, n.data(), n.size());
    if (!h || AddChunk(h, 0, type, id, pname) != kOk) throw ManifestError("cannot add a resource");
    if (marker) chunkFileFor(theStack().chunkFile)->directory.back().marker = marker;
}

uint32_t typeCode(const QString& t) {
    const QByteArray b = t.toLatin1();
    if (b.size() != 4) throw ManifestError("a resource type has four characters: \"" + t.toStdString() + "\"");
    return (uint32_t(uint8_t(b[0])) << 24) | (uint32_t(uint8_t(b[1])) << 16) | (uint32_t(uint8_t(b[2])) << 8) |
           uint8_t(b[3]);
}

} // namespace

uint16_t ManifestBuilder::cardIdFor(const QJsonValue& v) const {
    if (v.isDouble()) return uint16_t(v.toInt());
    auto it = cardIds_.find(v.toString());
    if (it == cardIds_.end()) throw ManifestError("no card named \"" + v.toString().toStdString() + "\"");
    return it->second;
}

uint16_t ManifestBuilder::fontNumber(const QJsonValue& font) {
    if (font.isUndefined() || font.isNull()) return 0;
    if (font.isDouble()) return uint16_t(font.toInt());
    const QString name = font.toString();
    for (const Font& f : fonts_)
        if (f.name.compare(name, Qt::CaseInsensitive) == 0) return f.number;
    if (explicitFontList_) throw ManifestError("the font list has no font \"" + name.toStdString() + "\"");
    const uint16_t number = uint16_t(1000 + fonts_.size());
    fonts_.push_back({name, number, false});
    return number;
}

void ManifestBuilder::writeFontList() {
    if (fonts_.empty()) return;
    Bytes data;
    for (const Font& f : fonts_) {
        Bytes e(92, 0);
        const std::string n = manifestBytes(f.name);
        if (n.size() > 63) throw ManifestError("a font name is longer than 63 characters");
        e[0] = uint8_t(n.size());
        std::memcpy(e.data() + 1, n.data(), n.size());
        storeBE16(e.data() + 64, f.number);
        storeBE16(e.data() + 66, f.mac ? 1 : 0);
        storeBE16(e.data() + 90, 400);
        data.insert(data.end(), e.begin(), e.end());
    }
    data.insert(data.end(), 92, 0);
    addChunk(chunk::kFntL, 128, "", data);
}

void ManifestBuilder::addResource(const QJsonObject& r) {
    const QString type = r["type"].toString();
    const uint16_t id = uint16_t(r["id"].toInt(0));
    const QString name = r["name"].toString();
    if (type == "Actn") {
        addChunk(chunk::kActn, id, name, buildActionList(r, obj::kButton, id));
    } else if (type == "Snd " || type == "Strk") {
        addChunk(typeCode(type), id, name, r.contains("wav") ? soundFromWav(fileBytes(r["wav"].toString()))
                                                              : r.contains("file") ? fileBytes(r["file"].toString())
                                                                                   : hexBytes(r["hex"].toString()));
    } else if (type == "WKSp" || type == "WkSp") {
        const std::string text = manifestBytes(r["text"].toString());
        addChunk(typeCode(type), id ? id : 128, name, Bytes(text.begin(), text.end()));
    } else if (type == "FntL") {
        explicitFontList_ = true;
        for (const QJsonValue& v : r["fonts"].toArray()) {
            const QJsonObject f = v.toObject();
            fonts_.push_back({f["name"].toString(), uint16_t(f["number"].toInt()), f["mac"].toBool()});
        }
    } else if (type == "Hlnk") {
        const std::string text = manifestBytes(r["text"].toString());
        if (text.size() > 255) throw ManifestError("a link's text is longer than 255 characters");
        Bytes d(hlnk::kHeaderSize, 0);
        put16At(d, hlnk::kLinkNumber, id);
        put16At(d, hlnk::kTextObject, uint16_t(r["text_object"].toInt(0)));
        put16At(d, hlnk::kTextLength, uint16_t(text.size()));
        d.insert(d.end(), text.begin(), text.end());
        if (r.contains("actions") || r.contains("go")) {
            put16At(d, hlnk::kHasAction, 1);
            const Bytes list = buildActionList(r, obj::kButton, id);
            d.insert(d.end(), list.begin(), list.end());
        }
        addChunk(chunk::kHlnk, id, name, d);
    } else if (type == "NBAs" && r.contains("library")) {
        addChunk(chunk::kNBAs, id, name, buildNBARecord(r));
    } else if (type == "Icon") {
        QJsonObject o = r;
        const QImage img = loadImage(r["picture"].toString());
        const Bitmap picture = pictureFrom(o, img.width(), img.height(), depth_);
        auto record = encodePPak(picture, 4);
        if (!record) throw ManifestError("the icon cannot be encoded");
        addChunk(chunk::kIcon, id, name, *record);
    } else {
        Bytes data = r.contains("file") ? fileBytes(r["file"].toString())
                   : r.contains("text") ? [&] { auto t = manifestBytes(r["text"].toString()); return Bytes(t.begin(), t.end()); }()
                                        : hexBytes(r["hex"].toString());
        addChunk(typeCode(type), id, name, data, uint16_t(r["marker"].toInt(0)));
    }
}

void ManifestBuilder::build(const QJsonObject& m) {
    DisposeStack();
    StackDocument& s = theStack();
    depth_ = kindOfPictureDepth(m["depth"].toInt(8));
    width_ = m["card_width"].toInt(640);
    height_ = m["card_height"].toInt(480);
    if (width_ <= 0 || height_ <= 0 || width_ > kMaxCardSide || height_ > kMaxCardSide) throw ManifestError("card size out of range");

    s.header = NewHandle(hdr::kSize);
    s.setH16(hdr::kVersion, uint16_t(m["version"].toInt(5)));
    s.setH16(12, 1);
    s.setH16(hdr::kFlags, uint16_t(m["flags"].toInt(0)));
    s.setH16(hdr::kDepth, uint16_t(depth_));
    s.setH16(hdr::kCardWidth, uint16_t(width_));
    s.setH16(hdr::kCardHeight, uint16_t(height_));
    s.setH16(hdr::kField50, 1);
    const QJsonObject settings = m["settings"].toObject();
    s.setH16(hdr::kAutoSave, uint16_t(settings["auto_save"].toInt(0)));
    s.setH16(hdr::kTimersOn, uint16_t(settings["timers_and_links"].toInt(1)));
    s.setH16(hdr::kLocked, uint16_t(settings["locked"].toInt(0)));
    s.setH16(hdr::kShowCardNumber, uint16_t(settings["show_card_number"].toInt(0)));
    s.setH16(hdr::kPresentation, uint16_t(settings["presentation"].toInt(0)));
    const std::string password = manifestBytes(settings["password"].toString());
    if (password.size() > 15) throw ManifestError("a password has at most 15 characters");
    std::memcpy(memRefs().data(s.header) + hdr::kPassword, password.data(), password.size());
    const QJsonObject sa = m["stack_actions"].toObject();
    s.setH16(hdr::kArriveAction, uint16_t(sa["arrive"].toInt(0)));
    s.setH16(hdr::kLeaveAction, uint16_t(sa["leave"].toInt(0)));
    s.setH16(hdr::kClickAction, uint16_t(sa["click"].toInt(0)));
    s.macText = m["mac_text"].toBool(false);

    // Card ids first, so that objects can name any card.
    const QJsonArray cards = m["cards"].toArray();
    if (cards.isEmpty()) throw ManifestError("a stack needs at least one card");
    std::vector<uint16_t> ids;
    uint16_t next = 1;
    for (const QJsonValue& v : cards) {
        const QJsonObject c = v.toObject();
        const uint16_t id = c.contains("id") ? uint16_t(c["id"].toInt()) : next;
        if (id == 0 || std::find(ids.begin(), ids.end(), id) != ids.end())
            throw ManifestError("card ids must be unique and non-zero");
        ids.push_back(id);
        next = std::max<uint16_t>(next, uint16_t(id + 1));
        if (c.contains("name")) cardIds_[c["name"].toString()] = id;
    }
    s.setH16(hdr::kNextCardId, next);

    for (const QJsonValue& v : m["resources"].toArray()) {
        const QJsonObject r = v.toObject();
        if (r["type"].toString() == "FntL") addResource(r);
    }

    for (int i = 0; i < cards.size(); ++i) {
        const QJsonObject c = cards[i].toObject();
        Bytes rec(card::kBody, 0);
        put16At(rec, card::kId, ids[i]);
        put16At(rec, card::kAttributes, uint16_t(c["attributes"].toInt(0) | (c["marked"].toBool() ? 0x80 : 0)));
        put16At(rec, card::kDepth, uint16_t(depth_));
        put16At(rec, card::kWidth, uint16_t(width_));
        put16At(rec, card::kHeight, uint16_t(height_));
        putNameAt(rec, card::kName, card::kNameSize, c["name"].toString());
        const QJsonObject ca = c["actions"].toObject();
        put16At(rec, card::kArriveAction, uint16_t(ca["arrive"].toInt(0)));
        put16At(rec, card::kLeaveAction, uint16_t(ca["leave"].toInt(0)));
        put16At(rec, card::kClickAction, uint16_t(ca["click"].toInt(0)));
        if (c.contains("background_card")) {
            put16At(rec, card::kMode, card::kModeShared);
            put16At(rec, card::kBackgroundCard, cardIdFor(c["background_card"]));
        } else if (c.contains("background")) {
            put16At(rec, card::kMode, card::kModeOwn);
            const Bytes picture = buildCardPicture(c["background"].toObject());
            rec.insert(rec.end(), picture.begin(), picture.end());
        }
        for (const QJsonValue& ov : c["objects"].toArray()) {
            const Bytes object = buildObject(ov.toObject(), ids[i]);
            rec.insert(rec.end(), object.begin(), object.end());
        }
        rec.insert(rec.end(), {0, 0, 0xFA, 0xCE});
        put32At(rec, card::kLength, uint32_t(rec.size()));
        CardEntry e;
        e.record = NewHandleFrom(rec.data(), uint32_t(rec.size()));
        if (!e.record) throw ManifestError("out of memory");
        s.cards.push_back(e);
    }

    for (const QJsonValue& v : m["resources"].toArray()) {
        const QJsonObject r = v.toObject();
        if (r["type"].toString() != "FntL") addResource(r);
    }
    writeFontList();
}

} // namespace cv::tool
