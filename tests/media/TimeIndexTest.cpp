// The time index cache file: what it keeps, and what it refuses.
#include <gtest/gtest.h>

#include "media/TimeIndex.h"

namespace {

using zo::media::TimeIndex;

TEST(TimeIndexCache, KeepsAnIndexAndRefusesWhatDoesNotFit) {
    TimeIndex x;
    x.size = 40960;
    x.blocks = 10;
    x.counting = 9;
    x.turn = 5;
    x.turnTime = 1000;
    x.runs = {{1000, 1004, 5, 9, 5}, {996, 999, 0, 3, 4}};
    x.gaps = {{999, 1001, 0}};
    x.gapCount = 1;
    x.damaged = {{4, 1}};
    x.damagedBlocks = x.damagedAreas = 1;
    const std::string text = zo::media::SerializeTimeIndex(x, "key");
    TimeIndex back;
    ASSERT_TRUE(zo::media::ParseTimeIndex(text, "key", back));
    EXPECT_EQ(zo::media::SerializeTimeIndex(back, "key"), text);
    EXPECT_EQ(back.turn, 5u);
    ASSERT_EQ(back.runs.size(), 2u);
    EXPECT_EQ(back.runs[1].firstTime, 996u);

    const struct {
        const char* what;
        std::string text;
    } refused[] = {
        {"another key", zo::media::SerializeTimeIndex(x, "other")},
        {"cut short", text.substr(0, text.size() - 5)},
        // A count far beyond what the text holds is refused before anything
        // is made for it, even when the block count claims as much.
        {"huge run count", "zoviewer time index 1\nkey\n1 999999999999 0 -1 0 0 0 0 0\n999999999999\nend\n"},
        {"too many gaps", "zoviewer time index 1\nkey\n40960 10 0 -1 0 0 0 0 0\n0\n1001\nend\n"},
    };
    for (const auto& r : refused) {
        TimeIndex y;
        EXPECT_FALSE(zo::media::ParseTimeIndex(r.text, "key", y)) << r.what;
    }
}

}  // namespace
