// cvstack dump STACK: the stack's fields as JSON on stdout.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

#include "apps/cvstack/tool_support.h"
#include "apps/cvstack/verbs.h"
#include "core/pstring.h"
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
