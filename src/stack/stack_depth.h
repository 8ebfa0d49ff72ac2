#pragma once
// Changing the colour depth of the open stack: every card picture and graphic-object picture
// is decoded and encoded again at the new depth (graphic objects always as LZRW1 rows), and
// the header and cards record the new depth. Used when a stack is saved at another depth.
#include <cstdint>

namespace cv {

// 0 on success; -1 when a picture cannot be converted (nothing is changed then). The new
// depth is one a stack works at: 8, 16 or 32. Fewer bits are refused: every picture would be
// squeezed into the first 4 or 16 colours of the default palette, and its colours lost.
int ChangeStackDepth(uint16_t newDepth);

} // namespace cv
