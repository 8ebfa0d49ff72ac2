#pragma once
// Changing the colour depth of the open stack: every card picture and graphic-object picture
// is decoded and encoded again at the new depth (graphic objects always as LZRW1 rows), and
// the header and cards record the new depth. Used when a stack is saved at another depth.
#include <cstdint>

namespace cv {

// 0 on success; -1 when a picture cannot be converted (nothing is changed then).
int ChangeStackDepth(uint16_t newDepth);

} // namespace cv
