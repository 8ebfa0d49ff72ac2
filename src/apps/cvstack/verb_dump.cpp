// cvstack dump STACK: the stack's fields as JSON on stdout.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

#include "apps/cvstack/tool_support.h"
#include "apps/cvstack/verbs.h"
#include "core/pstring.h"
#include "media/sprite_record.h"
#include "stack/ppak.h"
#include "stack/card_io.h"
#include "stack/chunk_file.h"
#include "stack/record_convert.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"

namespace cv::tool {

namespace {

QString qtext(const std::string& bytes, bool mac = false) {
    return QString::fromStdString(displayText(bytes, mac));
}

QJsonObject actionIds(uint16_t arrive, uint16_t leave, uint16_t click) {
    return QJsonObject{{"arrive", arrive}, {"leave", leave}, {"click", click}};
}

// A sprite's records as stored in an animation action: read, never run.
QJsonObject dumpSprite(std::span<const uint8_t> data) {
    const auto r = parseSpriteRecords(data);
    if (!r) return QJsonObject{{"damaged", true}};
    const SpriteMotion& m = r->motion;
    QJsonArray path, frames;
    for (const PathPoint& p : m.path) path.append(QJsonArray{p.x, p.y, qint64(p.time)});
    for (const SpriteFrameEntry& f : r->frames) {
        QJsonObject jf{{"hotspot", QJsonArray{f.hotX, f.hotY}}, {"mask", f.maskLength > 0}};
        if (const auto h = parsePPak(r->film.subspan(f.picture, f.pictureLength), f.pictureLength))
            jf["size"] = QJsonArray{h->width, h->height, h->depth};
        frames.append(jf);
    }
    auto settings = [](const FrameSettings& f) {
        return QJsonObject{{"mode", f.mode}, {"step", f.step}, {"first", qint64(f.first)}, {"end", qint64(f.end)}};
    };
    return QJsonObject{{"path_mode", m.pathMode},
                       {"repeat_mode", m.repeatMode},
                       {"pass_limit", qint64(m.passLimit)},
                       {"frame_cycle_limit", qint64(m.frameCycleLimit)},
                       {"path_step", m.pathStep},
                       {"path_range", QJsonArray{qint64(m.firstPath), qint64(m.pathEnd)}},
                       {"timing", r->pathTimed ? (m.pathTimerKind == sprite::kRecordedTiming ? "recorded" : "fixed")
                                               : "every step"},
                       {"fixed_interval", qint64(m.fixedInterval)},
                       {"speed", qint64(m.speedPercent)},
                       {"frames_on_move", m.framesOnMove},
                       {"frame_interval", qint64(m.frameInterval)},
                       {"run_time", r->runTimer ? qint64(r->runTime) : -1},
                       {"forward_frames", settings(m.forward)},
                       {"backward_frames", settings(m.backward)},
                       {"path", path},
                       {"frames", frames}};
}

QJsonObject dumpObject(const uint8_t* o, uint16_t kind) {
    static const char* kKinds[] = {"graphic", "button", "text"};
    const uint32_t len = get32(o + obj::kLength);
    QJsonObject j;
    j["kind"] = kind == obj::kGraphic ? kKinds[0] : kind == obj::kButton ? kKinds[1]
              : kind == obj::kText    ? kKinds[2] : QString::number(kind);
    j["id"] = get16(o + obj::kId);
    NameField nf = objectNameField(kind);
    if (nf.size && nf.offset + nf.size <= len) j["name"] = qtext(pstringField(o + nf.offset, nf.size));
    j["rect"] = QJsonArray{geti16(o + 4), geti16(o + 6), geti16(o + 8), geti16(o + 10)};
    j["flags"] = get16(o + obj::kFlags);
    if (kind == obj::kButton) {
        j["shape"] = get16(o + button::kShape);
        j["button_flags"] = get16(o + button::kButtonFlags);
        j["action_flags"] = get16(o + actionlist::kFlags);
        j["destination"] = geti16(o + actionlist::kDestination);
        QJsonArray codes;
        uint32_t off = button::kActions;
        while (off < len && len - off >= action::kPayload) {
            const uint32_t alen = get32(o + off + action::kLength);
            if (alen < action::kPayload || alen > len - off) break;
            codes.append(get16(o + off + action::kCode));
            const uint8_t* payload = o + off + action::kPayload;
            if (get16(o + off + action::kCode) == action::kAnimation && alen >= action::kPayload + 4 &&
                loadBE32(payload) == sprite::kSpriteType)
                j["sprite"] = dumpSprite({payload, alen - action::kPayload});
            off += alen;
        }
        j["action_codes"] = codes;
    } else if (kind == obj::kText && len >= text::kSubrecords + text::kSubHeaderSize) {
        const uint8_t* sub = o + text::kSubrecords;
        const uint32_t subLen = get32(sub + text::kSubLength);
        const uint32_t textLen = get32(sub + text::kSubTextLength);
        if (subLen <= len - text::kSubrecords && textLen <= subLen - text::kSubHeaderSize) {
            const std::string bytes(reinterpret_cast<const char*>(sub + text::kSubHeaderSize), textLen);
            if (get16(o + obj::kFlags) & obj::kFlagFileRef) j["file"] = qtext(bytes.substr(0, bytes.find('\0')));
            else j["text"] = qtext(bytes, theStack().macText);
        }
    }
    return j;
}

int runDump(const std::vector<std::string>& args) {
    if (args.size() != 1) return usageError("usage: cvstack dump STACK");
    if (!openStackForTool(args[0])) return 1;
    const StackDocument& s = theStack();
    QJsonObject root;
    root["version"] = s.h16(hdr::kVersion);
    root["depth"] = s.depth();
    root["card_width"] = s.cardWidth();
    root["card_height"] = s.cardHeight();
    root["flags"] = s.h16(hdr::kFlags);
    root["mac_text"] = s.macText;
    root["next_card_id"] = s.h16(hdr::kNextCardId);
    root["stack_actions"] = actionIds(s.h16(hdr::kArriveAction), s.h16(hdr::kLeaveAction), s.h16(hdr::kClickAction));

    QJsonArray cards;
    for (int n = 1; n <= s.cardCount(); ++n) {
        Handle c = CardByNumber(n);
        const uint8_t* p = memRefs().data(c);
        QJsonObject jc;
        jc["number"] = n;
        jc["id"] = get16(p + card::kId);
        jc["name"] = qtext(CardName(c));
        jc["background_mode"] = get16(p + card::kMode);
        jc["background_card"] = get16(p + card::kBackgroundCard);
        jc["actions"] = actionIds(get16(p + card::kArriveAction), get16(p + card::kLeaveAction),
                                  get16(p + card::kClickAction));
        QJsonArray objects;
        forEachObject(p, GetHandleSize(c), [&](uint32_t off, uint16_t kind) { objects.append(dumpObject(p + off, kind)); });
        jc["objects"] = objects;
        cards.append(jc);
    }
    root["cards"] = cards;

    QJsonArray chunks;
    if (ChunkFile* cf = chunkFileFor(s.chunkFile)) {
        for (auto& e : cf->directory) {
            if (e.removed()) continue;
            chunks.append(QJsonObject{{"type", QString::fromLatin1(fourCCText(e.type).c_str())},
                                      {"id", e.id},
                                      {"name", qtext(pstringField(e.name, kChunkNameSize))},
                                      {"size", static_cast<qint64>(e.dataLength)}});
        }
    }
    root["chunks"] = chunks;
    const QByteArray json = QJsonDocument(root).toJson(QJsonDocument::Indented);
    std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    return 0;
}

VerbRegistration reg("dump", runDump, "dump STACK            the stack's fields as JSON");
} // namespace

} // namespace cv::tool
