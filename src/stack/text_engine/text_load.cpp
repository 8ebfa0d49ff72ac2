#include "stack/text_engine/text_load.h"

#include <cstdio>
#include <optional>

#include "core/byte_order.h"
#include "core/host_path.h"
#include "core/mac_charset.h"
#include "stack/record_layout.h"

namespace cv {

std::optional<std::string> ReadTextFile(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return std::nullopt;
    std::string raw;
    char buf[65536];
    size_t n;
    while (raw.size() < kMaxTextFileBytes && (n = std::fread(buf, 1, sizeof buf, f)) > 0)
        raw.append(buf, std::min(n, kMaxTextFileBytes - raw.size()));
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) return std::nullopt;
    // Files end their lines with CR LF, LF or CR; the engine's paragraphs end with CR.
    std::string text;
    text.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
        text += raw[i] == '\n' ? '\r' : raw[i];
    }
    return text;
}

bool LoadTextIntoEngine(TextDocument& doc, std::span<const uint8_t> object, uint16_t cardId, bool macText,
                        const std::vector<std::string>& folders) {
    if (object.size() < text::kSubrecords) return false;
    const bool fromFile = (get16(object.data() + obj::kFlags) & obj::kFlagFileRef) != 0;
    const auto sub = fromFile ? [&]() -> std::optional<TextSubrecord> {
        const auto subs = TextSubrecords(object);
        if (subs.empty()) return std::nullopt;
        return subs.front();
    }() : FindTextSubrecord(object, cardId);
    if (!sub) {
        doc.insertStyled({}, {});
        return !fromFile;
    }
    StoredText stored = ReadStoredText(object, *sub);
    if (stored.runsDamaged) stored.runs.clear();
    if (fromFile) {
        const auto ref = TextFileReference(object);
        const auto path = ref ? resolveHostPath(*ref, folders) : std::nullopt;
        const auto content = path ? ReadTextFile(*path) : std::nullopt;
        // The runs describe the file's text; runs past its end are cut by the engine.
        doc.insertStyled(content.value_or(std::string()), stored.runs);
        return content.has_value();
    }
    if (macText) macToWindows(reinterpret_cast<uint8_t*>(stored.text.data()), stored.text.size());
    doc.insertStyled(stored.text, stored.runs);
    return true;
}

std::unique_ptr<TextDocument> MakeTextDocument(std::span<const uint8_t> object, uint16_t cardId, bool macText,
                                               const std::vector<std::string>& folders) {
    if (object.size() < text::kSubrecords) return nullptr;
    const uint8_t* o = object.data();
    const QRect rect(QPoint(geti16(o + obj::kRect), geti16(o + obj::kRect + 2)),
                     QPoint(geti16(o + obj::kRect + 4) - 1, geti16(o + obj::kRect + 6) - 1));
    auto doc = std::make_unique<TextDocument>(rect);
    doc->setAlignment(alignmentFromStored(geti16(o + text::kAlignment)));
    LoadTextIntoEngine(*doc, object, cardId, macText, folders);
    doc->setSelection(0, 0);
    doc->setModified(false);
    return doc;
}

} // namespace cv
