// Picture records as stored in stacks: card records, graphic objects, their masks and 'PPak'
// records. Any input must decode to a picture or a failure, never past its bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/byte_order.h"
#include "stack/picture_card.h"
#include "stack/picture_convert.h"
#include "stack/picture_mask.h"
#include "stack/picture_object.h"
#include "stack/ppak.h"

namespace {
// Pictures larger than this are skipped so that each run stays quick.
constexpr size_t kFuzzPictureBytes = size_t(1) << 18;

bool smallEnough(int w, int h, int depth) {
    return size_t(w) * size_t(h) * size_t(depth) / 8 <= kFuzzPictureBytes;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> in(data, size);
    if (size >= 24 && smallEnough(cv::get16(data + 20), cv::get16(data + 22), 32)) {
        cv::PictureOptions options;
        options.order = (data[0] & 1) ? cv::RowOrder::BottomUp : cv::RowOrder::TopDown;
        cv::DecodedPicture card = cv::decodeCardBackground(in, options);
        if (card.ok()) {
            if (card.bitmap.byteCount() != card.bitmap.bits.size()) abort();
            (void)cv::toRgb32(card.bitmap);
            (void)cv::reencodeCardPicture(in.subspan(cv::kCardPictureOffset), card.bitmap.width,
                                          card.bitmap.height, card.bitmap.depth, 4);
        }
        (void)cv::cardColourTable(in);
    }
    if (size >= 38) {
        const int w = cv::geti16(data + 34) - cv::geti16(data + 30);
        const int h = cv::geti16(data + 36) - cv::geti16(data + 32);
        if (w >= 0 && h >= 0 && smallEnough(w, h, 32)) {
            cv::DecodedPicture object = cv::decodeObjectPicture(in, in.first(size / 2));
            if (object.ok()) (void)cv::reencodeObjectPicture(in, {}, 8);
        }
        cv::DecodedPicture mask = cv::decodeObjectMask(in);
        if (mask.ok()) (void)cv::makeOutline(mask.bitmap, data[16] % 8);
    }
    if (size >= 16 && smallEnough(cv::loadBE16(data + 10), cv::loadBE16(data + 12), 32))
        (void)cv::decodePPak(in, uint32_t(size));
    return 0;
}
