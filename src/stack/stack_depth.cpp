#include "stack/stack_depth.h"

#include <cstring>
#include <map>
#include <span>
#include <vector>

#include "core/byte_order.h"
#include "stack/bitmap.h"
#include "stack/picture_card.h"
#include "stack/picture_object.h"
#include "stack/record_convert.h"
#include "stack/record_layout.h"
#include "stack/stack_document.h"

namespace cv {

namespace {

using Bytes = std::vector<uint8_t>;

Bytes recordBytes(Handle h) {
    const uint8_t* p = memRefs().data(h);
    return Bytes(p, p + GetHandleSize(h));
}

std::vector<uint8_t> tableOf(const Bytes& card) {
    const auto t = cardColourTable(card);
    return {t.begin(), t.end()};
}

} // namespace

int ChangeStackDepth(uint16_t newDepth) {
    StackDocument& s = theStack();
    if (!s.open() || (newDepth != 8 && newDepth != 16 && newDepth != 32)) return -1;
    const int oldDepth = s.depth();
    if (oldDepth == newDepth) return 0;

    // Everything is converted into new records first, so a failure changes nothing.
    std::vector<Bytes> cards;
    std::map<uint16_t, std::vector<uint8_t>> oldTables, newTables;
    for (auto& e : s.cards) cards.push_back(recordBytes(e.record));
    for (Bytes& c : cards) {
        if (c.size() < card::kBody + 4 || get16(c.data() + card::kMode) != card::kModeOwn) continue;
        const uint16_t id = get16(c.data() + card::kId);
        oldTables[id] = tableOf(c);
        const uint32_t pictLen = get32(c.data() + card::kBody + pict::kLength);
        if (pictLen < pict::kHeaderSize || pictLen > c.size() - card::kBody - 4) return -1;
        const EncodedRecord r = reencodeCardPicture({c.data() + card::kBody, pictLen}, s.cardWidth(), s.cardHeight(),
                                                    oldDepth, newDepth);
        if (r.status != PictureStatus::Ok) return -1;
        Bytes out(c.begin(), c.begin() + card::kBody);
        out.insert(out.end(), r.record.begin(), r.record.end());
        out.insert(out.end(), c.begin() + card::kBody + pictLen, c.end());
        c = std::move(out);
        newTables[id] = tableOf(c);
    }
    for (Bytes& c : cards) {
        const uint16_t background = BackgroundCardId(get16(c.data() + card::kId));
        const std::vector<uint8_t>& oldTable = oldTables[background];
        const std::vector<uint8_t>& newTable = newTables[background];
        const uint32_t first = firstObjectOffset(c.data(), uint32_t(c.size()));
        if (first == 0) continue;
        Bytes out(c.begin(), c.begin() + first);
        uint32_t off = first;
        const uint32_t end = uint32_t(c.size()) - 4;
        while (off + 16 <= end) {
            const uint16_t kind = get16(c.data() + off);
            if (kind == 0) break;
            const uint32_t len = get32(c.data() + off + obj::kLength);
            if (len < 16 || len > end - off) break;
            std::span<const uint8_t> object(c.data() + off, len);
            if (kind == obj::kGraphic && !(get16(c.data() + off + obj::kFlags) & obj::kFlagFileRef)) {
                const EncodedRecord r = reencodeObjectPicture(object, oldTable, newDepth, newTable);
                if (r.status != PictureStatus::Ok) return -1;
                out.insert(out.end(), r.record.begin(), r.record.end());
            } else {
                out.insert(out.end(), object.begin(), object.end());
            }
            off += len;
        }
        out.insert(out.end(), c.begin() + off, c.end());
        put16(out.data() + card::kDepth, newDepth);
        put32(out.data() + card::kLength, uint32_t(out.size()));
        c = std::move(out);
    }

    for (size_t i = 0; i < cards.size(); ++i) {
        Handle h = s.cards[i].record;
        if (SetHandleSize(h, uint32_t(cards[i].size())) != 0) return -1;
        std::memcpy(memRefs().data(h), cards[i].data(), cards[i].size());
    }
    s.setH16(hdr::kDepth, newDepth);
    s.changed = true;
    return 0;
}

} // namespace cv
