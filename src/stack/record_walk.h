#pragma once
// The object walk of native card records (included by record_convert.h).
#include "core/byte_order.h"
#include "stack/record_layout.h"

namespace cv {

template <class Fn>
uint32_t forEachObject(const uint8_t* rec, uint32_t size, Fn&& fn) {
    uint32_t off = firstObjectOffset(rec, size);
    if (off == 0) return 0;
    while (off + 16 <= size) {
        const uint16_t kind = get16(rec + off + obj::kKind);
        if (kind == 0) return off;
        const uint32_t len = get32(rec + off + obj::kLength);
        if (len < 16 || len > size - off) return off;
        fn(off, kind);
        off += len;
    }
    return off;
}

} // namespace cv
