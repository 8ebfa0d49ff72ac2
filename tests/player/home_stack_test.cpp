// The home stack that comes with the player, as built beside it: its text is styled where its
// words are (a run that starts inside a word shows half a word bold).
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>

#include "core/byte_order.h"
#include "core/handles.h"
#include "stack/record_layout.h"
#include "stack/record_convert.h"
#include "stack/stack_document.h"
#include "stack/stack_io.h"
#include "stack/text_records.h"

using namespace cv;

namespace {

bool wordCharacter(uint8_t c) { return std::isalnum(c) || c == '\'' || c >= 0xC0; }

// A run may start at either end of the text, or where a word begins or ends.
bool wordBoundary(const std::string& text, size_t at) {
    if (at == 0 || at >= text.size()) return true;
    return wordCharacter(uint8_t(text[at - 1])) != wordCharacter(uint8_t(text[at]));
}

} // namespace

TEST(HomeStack, EveryStyleRunStartsOnAWordBoundary) {
    const std::string path = std::string(CV_BIN_DIR) + "/Home.stk";
    ASSERT_TRUE(std::filesystem::exists(path)) << path << " is built with the player (target home_stack)";
    ASSERT_EQ(OpenStack(path), 0);
    int runs = 0;
    for (int n = 1; n <= theStack().cardCount(); ++n) {
        const Handle card = CardByNumber(n);
        const uint8_t* rec = memRefs().data(card);
        ASSERT_NE(rec, nullptr);
        forEachObject(rec, GetHandleSize(card), [&](uint32_t off, uint16_t kind) {
            if (kind != obj::kText) return;
            const uint16_t id = get16(rec + off + obj::kId);
            const auto object = TextObjectIn(card, id);
            for (const TextSubrecord& sub : TextSubrecords(object)) {
                const StoredText stored = ReadStoredText(object, sub);
                EXPECT_FALSE(stored.runsDamaged) << "card " << n << ", text " << id;
                for (const StyleRun& run : stored.runs) {
                    ++runs;
                    EXPECT_TRUE(wordBoundary(stored.text, run.start))
                        << "card " << n << ", text " << id << ": a run starts inside a word, at \""
                        << stored.text.substr(run.start > 3 ? run.start - 3 : 0, 12) << "\"";
                }
            }
        });
    }
    EXPECT_GE(runs, 10) << "the home stack shows its styles";
    DisposeStack();
}
