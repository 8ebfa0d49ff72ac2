#pragma once
// The custom cursors that stacks name by id (28016 to 28352 in steps of 16): our own set of
// 22 small pictures, 16 x 16 pixels, each with its hot spot.
#include <array>

namespace cv {

struct CursorPicture {
    int id;
    const char* name;
    int hotX, hotY;
    // Rows from the top: '#' black, '.' white, ' ' clear.
    std::array<const char*, 16> rows;
};

constexpr int kCustomCursorCount = 22;
constexpr int kCustomCursorSize = 16;

// The picture of a custom cursor id, or nullptr for an id that names none.
const CursorPicture* customCursor(int id);

} // namespace cv
