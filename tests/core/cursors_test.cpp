// The custom cursor set: every id a stack may name has a well-formed picture.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "resources/cursors.h"

namespace cv {
namespace {

TEST(CustomCursors, EveryIdHasAWellFormedPictureAndOthersHaveNone) {
    std::set<const CursorPicture*> seen;
    for (int id = 28016; id <= 28352; id += 16) {
        const CursorPicture* c = customCursor(id);
        ASSERT_NE(c, nullptr) << id;
        EXPECT_EQ(c->id, id);
        EXPECT_TRUE(seen.insert(c).second) << "two ids share a picture";
        EXPECT_GE(c->hotX, 0);
        EXPECT_LT(c->hotX, kCustomCursorSize);
        EXPECT_GE(c->hotY, 0);
        EXPECT_LT(c->hotY, kCustomCursorSize);
        int black = 0;
        for (const char* row : c->rows) {
            ASSERT_EQ(std::strlen(row), size_t(kCustomCursorSize)) << c->name;
            for (const char* p = row; *p; ++p) {
                EXPECT_TRUE(*p == '#' || *p == '.' || *p == ' ') << c->name;
                black += *p == '#';
            }
        }
        EXPECT_GT(black, 8) << c->name << " shows almost nothing";
    }
    EXPECT_EQ(seen.size(), size_t(kCustomCursorCount));
    EXPECT_EQ(customCursor(28000), nullptr);
    EXPECT_EQ(customCursor(28017), nullptr);
    EXPECT_EQ(customCursor(28368), nullptr);
}

} // namespace
} // namespace cv
