// The engine's search to a time: the first picture shown comes from the
// block the time locator finds.
#include <gtest/gtest.h>

#include "engine/EngineFixture.h"

namespace zo::test {
namespace {

using engine::CZoViewer2;

TEST(EngineSearchTime, ShowsThePictureAtTheTimeAndRefusesTimesAfterTheEnd) {
    EngineHarness h;
    CZoViewer2& e = h.Engine();
    ClipMaker maker;
    constexpr uint32_t kStart = 1237034096;
    std::vector<std::vector<int>> marksOfSecond;
    for (int second = 0; second < 8; ++second) {
        maker.SetTime(kStart + static_cast<uint32_t>(second));
        marksOfSecond.emplace_back();
        for (int c = 0; c < 4; ++c)
            marksOfSecond.back().push_back(maker.Picture(c, true));
    }
    const Clip clip = maker.Finish();
    ASSERT_EQ(h.Open(clip), 1);
    ASSERT_TRUE(h.PauseAtStart());

    for (int second : {5, 2, 7}) {
        h.ClearShown();
        uint64_t position = 0;
        const size_t mark = h.StateMark();
        ASSERT_EQ(e.SearchTime(kStart + static_cast<uint32_t>(second), &position), 1);
        ASSERT_TRUE(h.WaitStates(mark, {CZoViewer2::kStateSearch, CZoViewer2::kStatePause}));
        EXPECT_EQ(position % media::kBlockSize, 0u);
        ASSERT_TRUE(h.WaitShown(1));
        const ShownPicture first = h.Shown().front();
        // A picture of that second (the block may begin inside the second's first picture).
        const auto& marks = marksOfSecond[static_cast<size_t>(second)];
        EXPECT_NE(std::find(marks.begin(), marks.end(), first.mark), marks.end()) << second;
        const int frameIndex = clip.FrameOfMark(first.mark);
        ASSERT_GE(frameIndex, 0);
        EXPECT_GE(clip.frames[static_cast<size_t>(frameIndex)].filePosition, position);
    }
    const uint64_t before = e.GetPosition();
    EXPECT_EQ(e.SearchTime(kStart + 60), 0);
    EXPECT_EQ(e.GetPosition(), before);
    e.CloseRecording();
    EXPECT_EQ(e.SearchTime(kStart), 0);
}

}  // namespace
}  // namespace zo::test
