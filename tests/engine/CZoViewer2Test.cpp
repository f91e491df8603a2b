// The player engine driven headless: what reaches the video window, the
// states, the speeds and the pacing, on virtual time.
#include "engine/CZoViewer2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "engine/EngineFixture.h"

namespace zo::test {
namespace {

using engine::CZoViewer2;

// Four channels, each beginning with a key picture; a key picture of every
// channel every `keyEvery` rounds.
Clip RoundRobin(int rounds, int channels = 4, int keyEvery = 3, uint8_t interval = 1) {
    ClipMaker maker;
    maker.SetInterval(interval);
    for (int r = 0; r < rounds; ++r)
        for (int c = 0; c < channels; ++c)
            maker.Picture(c, r % keyEvery == 0);
    return maker.Finish();
}

TEST(Engine, StateTextsAndCreateChoosesTheSplit) {
    EXPECT_STREQ(CZoViewer2::StateText(0), "READY");
    EXPECT_STREQ(CZoViewer2::StateText(1), "STOP ");
    EXPECT_STREQ(CZoViewer2::StateText(2), "PLAY ");
    EXPECT_STREQ(CZoViewer2::StateText(3), "PLAY ");
    EXPECT_STREQ(CZoViewer2::StateText(4), "STEPF");
    EXPECT_STREQ(CZoViewer2::StateText(5), "STEPR");
    EXPECT_STREQ(CZoViewer2::StateText(6), "PAUSE");
    EXPECT_STREQ(CZoViewer2::StateText(7), "SEARCH");
    const int expected[][2] = {{0, 1}, {1, 1}, {2, 4}, {4, 4}, {5, 9}, {9, 9}, {10, 16}, {16, 16}};
    for (const auto& [channels, split] : expected) {
        platform::RecordingMessagePort messages;
        engine::CZoViewer2::Ports ports;
        ports.messages = &messages;
        ports.audioDevice = std::make_unique<render::NullAudioDevice>();
        CZoViewer2 engine(std::move(ports));
        engine.Create(640, 448, 6, 2, channels, 16000, 4);
        EXPECT_EQ(engine.GetSplitCount(), split) << channels;
        EXPECT_EQ(engine.GetMode(), CZoViewer2::kModeNetViewer);
    }
}

TEST(Engine, SetModeRules) {
    EngineHarness h;
    CZoViewer2& e = h.Engine();
    EXPECT_EQ(e.SetMode(3, 9), 0);
    EXPECT_EQ(e.GetMode(), CZoViewer2::kModePlayer);
    EXPECT_EQ(e.GetSplitCount(), 4);
    EXPECT_EQ(e.SetMode(1, -1), 1);
    EXPECT_EQ(e.GetSplitCount(), 4);
    EXPECT_EQ(e.SetMode(1, 9), 1);
    EXPECT_EQ(e.GetSplitCount(), 9);
    EXPECT_EQ(e.SetMode(1, 17), 1);
    EXPECT_EQ(e.GetSplitCount(), 9);

    // Switching to live view closes the recording and stops the worker.
    ASSERT_EQ(h.Open(RoundRobin(40)), 1);
    ASSERT_TRUE(h.WaitShown(1));
    EXPECT_EQ(e.SetMode(2, -1), 1);
    EXPECT_FALSE(e.IsOpen());
    EXPECT_FALSE(e.HasThread());
    EXPECT_EQ(e.GetState(), CZoViewer2::kStateReady);
}

TEST(Engine, OpeningPlaysForwardAtX1AndEndsInPauseAfterFiveFailures) {
    EngineHarness h;
    CZoViewer2& e = h.Engine();
    media::CalendarTime t;
    EXPECT_EQ(e.GetFrameTime(t), 0);
    const Clip clip = RoundRobin(6);
    ASSERT_EQ(h.Open(clip), 1);
    EXPECT_DOUBLE_EQ(e.GetSpeed(), 1.0);
    ASSERT_TRUE(h.WaitPausedAtEnd());
    EXPECT_EQ(MarksOf(h.Shown()), VideoMarks(clip));
    const std::vector<int> states = h.States();
    ASSERT_GE(states.size(), 2u);
    EXPECT_EQ(states[0], CZoViewer2::kStatePlay);
    EXPECT_EQ(states.back(), CZoViewer2::kStatePause);
    // Channel, size and block time of what was shown.
    for (const ShownPicture& p : h.Shown()) {
        EXPECT_EQ(p.widthPx, 640);
        EXPECT_EQ(p.heightPx, 224);
        EXPECT_EQ(p.shown, 1);
        EXPECT_EQ(p.time.year, 2009);
        EXPECT_EQ(p.time.minute, 34);
    }
    EXPECT_EQ(h.Shown()[1].channel, 1);
    ASSERT_EQ(e.GetFrameTime(t), 1);
    EXPECT_EQ(t.year, 2009);
    EXPECT_EQ(t.month, 3);
    EXPECT_EQ(t.day, 14);
    e.CloseRecording();
    EXPECT_EQ(e.GetState(), CZoViewer2::kStateReady);
    EXPECT_EQ(e.GetFrameTime(t), 0);
    EXPECT_FALSE(e.Window().HasPicture(0));
}

TEST(Engine, RepeatRestartsFromTheBeginning) {
    EngineHarness h;
    CZoViewer2& e = h.Engine();
    e.SetRepeat(1);
    const Clip clip = RoundRobin(3);
    const size_t pictures = VideoMarks(clip).size();
    ASSERT_EQ(h.Open(clip), 1);
    ASSERT_TRUE(h.WaitShown(pictures * 3));
    EXPECT_EQ(e.GetState(), CZoViewer2::kStatePlay);
    const std::vector<int> marks = MarksOf(h.Shown());
    for (size_t i = 0; i < pictures * 3; ++i)
        EXPECT_EQ(marks[i], marks[i % pictures]) << i;
}

TEST(Engine, PacingFollowsPeriodIntervalAndSpeed) {
    // Code 6 at 224 lines: 16666 us. Interval 1: trunc(16666 x 2) / 1000 =
    // 33, less one: 32 ms. Interval 3 (2..29 rule): trunc(2 x 3 x 16666) /
    // 1000 = 99 -> 98 ms. At x2 with interval 1: 16 -> 15 ms; x0.5: 66 -> 65.
    struct Case {
        uint8_t interval;
        double speed;
        int64_t gapMs;
    };
    for (const Case c : {Case{1, 1.0, 32}, Case{3, 1.0, 98}, Case{1, 2.0, 15}, Case{1, 0.5, 65}, Case{0, 1.0, 15},
                         Case{30, 1.0, 515}}) {
        EngineHarness h;
        const Clip clip = RoundRobin(4, 4, 4, c.interval);
        ASSERT_EQ(h.Open(clip), 1);
        ASSERT_TRUE(h.PauseAtStart());
        ASSERT_TRUE(h.Command([&] { h.Engine().Play(c.speed); },
                              {CZoViewer2::kStatePlay, CZoViewer2::kStatePause}));
        const auto shown = h.Shown();
        ASSERT_EQ(shown.size(), VideoMarks(clip).size() - 1);  // the first was shown by the search
        for (size_t i = 1; i < shown.size(); ++i)
            EXPECT_EQ(shown[i].atUs - shown[i - 1].atUs, c.gapMs * 1000)
                << "interval " << int(c.interval) << " speed " << c.speed << " picture " << i;
    }
}

TEST(Engine, PlaySpeedRulesAndTheFastForwardCycle) {
    // Real time, so that reverse play lasts while the buttons are pressed.
    platform::SystemClock clock;
    EngineHarness h(&clock);
    CZoViewer2& e = h.Engine();
    e.Play(0);
    EXPECT_DOUBLE_EQ(e.GetSpeed(), 1.0);
    e.Play(-3);
    EXPECT_DOUBLE_EQ(e.GetSpeed(), 3.0);
    e.Play(20);
    EXPECT_DOUBLE_EQ(e.GetSpeed(), 8.0);
    e.PlayReverse(-2.5);
    EXPECT_DOUBLE_EQ(e.GetSpeed(), 2.5);

    ClipMaker maker;
    for (int r = 0; r < 400; ++r)
        maker.Picture(r % 4, true, 16 + r % 200);
    const Clip clip = maker.Finish();
    ASSERT_EQ(h.Open(clip), 1);
    EXPECT_DOUBLE_EQ(e.GetSpeed(), 1.0);
    e.SetRepeat(1);
    ASSERT_TRUE(h.WaitState(CZoViewer2::kStatePlay));
    for (double expected : {8.0, 16.0, 32.0, 64.0, 128.0, 1.0, 8.0}) {
        e.FastForward();
        EXPECT_DOUBLE_EQ(e.GetSpeed(), expected);
    }
    // Paused, fast forward starts again at x8 rather than doubling.
    ASSERT_TRUE(h.Command([&] { e.Pause(); }, {CZoViewer2::kStatePause}));
    e.FastForward();
    EXPECT_DOUBLE_EQ(e.GetSpeed(), 8.0);
    ASSERT_TRUE(h.Command([&] { e.Seek(clip.bytes.size() * 9 / 10); },
                          {CZoViewer2::kStateSearch, CZoViewer2::kStatePause}));
    // Reverse play at x1 lasts about ten seconds from here.
    ASSERT_TRUE(h.Command([&] { e.PlayReverse(1); }, {CZoViewer2::kStatePlayReverse}));
    e.FastRewind();
    EXPECT_DOUBLE_EQ(e.GetSpeed(), 8.0);
    e.FastRewind();
    EXPECT_DOUBLE_EQ(e.GetSpeed(), 16.0);
    // Fast forward from reverse play starts forward play at x8.
    e.FastForward();
    EXPECT_DOUBLE_EQ(e.GetSpeed(), 8.0);
    ASSERT_TRUE(h.WaitState(CZoViewer2::kStatePlay));
}

TEST(Engine, FastPlaySkipsAheadAfterNineFramesAndShowsKeyPicturesOnly) {
    EngineHarness h;
    CZoViewer2& e = h.Engine();
    ClipMaker maker;
    for (int r = 0; r < 1600; ++r)
        maker.Picture(r % 4, r % 8 < 4, 16 + r % 200);
    const Clip clip = maker.Finish();
    ASSERT_EQ(h.Open(clip), 1);
    ASSERT_TRUE(h.PauseAtStart());
    ASSERT_TRUE(h.Command([&] { e.FastForward(); }, {CZoViewer2::kStatePlay, CZoViewer2::kStatePause}));
    EXPECT_DOUBLE_EQ(e.GetSpeed(), 8.0);
    const auto shown = h.Shown();
    // Only key pictures, in recording order; nine frames are read between
    // jumps of 8 x 20480 bytes, so most of the recording is passed over.
    int last = -1;
    for (const ShownPicture& p : shown) {
        int index = -1;
        for (size_t i = static_cast<size_t>(last + 1); i < clip.frames.size(); ++i)
            if (clip.frames[i].mark == p.mark && clip.frames[i].channel == p.channel) {
                index = static_cast<int>(i);
                break;
            }
        ASSERT_GE(index, 0) << "shown out of order: mark " << p.mark;
        EXPECT_TRUE(clip.frames[static_cast<size_t>(index)].key);
        last = index;
    }
    const size_t keys = VideoMarks(clip, true).size();
    EXPECT_GT(shown.size(), 10u);
    EXPECT_LT(shown.size(), keys / 2);
}

TEST(Engine, ReversePlayShowsOnlyKeyPicturesBackwards) {
    EngineHarness h;
    CZoViewer2& e = h.Engine();
    const Clip clip = RoundRobin(9);  // key pictures in rounds 0, 3 and 6
    ASSERT_EQ(h.Open(clip), 1);
    ASSERT_TRUE(h.WaitPausedAtEnd());
    h.ClearShown();
    ASSERT_TRUE(h.Command([&] { e.PlayReverse(1); }, {CZoViewer2::kStatePlayReverse, CZoViewer2::kStatePause}));
    std::vector<int> keys = VideoMarks(clip, true);
    std::reverse(keys.begin(), keys.end());
    EXPECT_EQ(MarksOf(h.Shown()), keys);
    EXPECT_EQ(e.GetPosition(), 0u);
}

TEST(Engine, FrameStepsForwardAndBackToThePreviousKeyPicture) {
    EngineHarness h;
    CZoViewer2& e = h.Engine();
    ClipMaker maker;
    const int k0 = maker.Picture(0, true);
    const int u1 = maker.Picture(0, false);
    maker.Sound(0, 400);
    const int u2 = maker.Picture(0, false);
    const int k1 = maker.Picture(0, true);
    const int u3 = maker.Picture(0, false);
    const int u4 = maker.Picture(0, false);
    ASSERT_EQ(h.Open(maker.Finish()), 1);
    ASSERT_TRUE(h.PauseAtStart());
    using E = CZoViewer2;
    for (int i = 0; i < 5; ++i)  // the sound frame is stepped over
        ASSERT_TRUE(h.Command([&] { e.NextFrame(); }, {E::kStateStepForward, E::kStatePause})) << i;
    EXPECT_EQ(MarksOf(h.Shown()), (std::vector<int>{u1, u2, k1, u3, u4}));
    ASSERT_TRUE(h.Command([&] { e.PrevFrame(); }, {E::kStateStepReverse, E::kStatePause}));
    EXPECT_EQ(h.Shown().back().mark, k1);
    ASSERT_TRUE(h.Command([&] { e.PrevFrame(); }, {E::kStateStepReverse, E::kStatePause}));
    EXPECT_EQ(h.Shown().back().mark, k0);
    // At the beginning a step back finds nothing and ends paused.
    ASSERT_TRUE(h.Command([&] { e.PrevFrame(); }, {E::kStateStepReverse, E::kStatePause}));
    EXPECT_EQ(h.ShownCount(), 7u);
}

TEST(Engine, ChannelsWaitForAKeyPictureAfterAJump) {
    EngineHarness h;
    CZoViewer2& e = h.Engine();
    ClipMaker maker;
    for (int r = 0; r < 3; ++r) {
        maker.Picture(0, r == 0);
        maker.Picture(1, r == 0);
    }
    const int jumpKey = maker.Picture(0, true);
    const int lost1 = maker.Picture(1, false);
    const int next0 = maker.Picture(0, false);
    const int lost2 = maker.Picture(1, false);
    const int key1 = maker.Picture(1, true);
    const int after1 = maker.Picture(1, false);
    const Clip clip = maker.Finish();
    ASSERT_EQ(h.Open(clip), 1);
    ASSERT_TRUE(h.PauseAtStart());
    const uint64_t target = clip.frames[static_cast<size_t>(clip.FrameOfMark(jumpKey))].filePosition;
    ASSERT_TRUE(h.Command([&] { e.Seek(target); }, {CZoViewer2::kStateSearch, CZoViewer2::kStatePause}));
    ASSERT_TRUE(h.Command([&] { e.Play(1); }, {CZoViewer2::kStatePlay, CZoViewer2::kStatePause}));
    EXPECT_EQ(MarksOf(h.Shown()), (std::vector<int>{jumpKey, next0, key1, after1}));
    (void)lost1;
    (void)lost2;
}

TEST(Engine, SearchBeyondTheEndOrOntoAnUpdatePictureShowsNothing) {
    EngineHarness h;
    CZoViewer2& e = h.Engine();
    ClipMaker maker;
    maker.Picture(0, true);
    const int update = maker.Picture(0, false);
    maker.Picture(0, false);
    const Clip clip = maker.Finish();
    ASSERT_EQ(h.Open(clip), 1);
    ASSERT_TRUE(h.PauseAtStart());
    const uint64_t positionBefore = e.GetPosition();
    ASSERT_TRUE(h.Command([&] { e.Seek(clip.bytes.size()); }, {CZoViewer2::kStateSearch, CZoViewer2::kStatePause}));
    ASSERT_TRUE(h.Command([&] { e.Seek(clip.bytes.size() + 1000000); },
                          {CZoViewer2::kStateSearch, CZoViewer2::kStatePause}));
    EXPECT_EQ(h.ShownCount(), 0u);
    EXPECT_EQ(e.GetPosition(), positionBefore);
    const uint64_t target = clip.frames[static_cast<size_t>(clip.FrameOfMark(update))].filePosition;
    ASSERT_TRUE(h.Command([&] { e.Seek(target); }, {CZoViewer2::kStateSearch, CZoViewer2::kStatePause}));
    EXPECT_EQ(h.ShownCount(), 0u);
}

TEST(Engine, UpdatePicturesRepaintOnlyTheirOwnChannel) {
    // Channel 1's update leaves its top-left block alone: it must still
    // show channel 1's mark, not what channel 0 painted there just before.
    EngineHarness h;
    ClipMaker maker;
    maker.Picture(0, true, 40);
    maker.Picture(1, true, 200);
    maker.Picture(0, false, 43);
    maker.Picture(1, false, 200);
    ASSERT_EQ(h.Open(maker.Finish()), 1);
    ASSERT_TRUE(h.WaitPausedAtEnd());
    EXPECT_EQ(MarksOf(h.Shown()), (std::vector<int>{40, 200, 43, 200}));
}

TEST(Engine, DualPicturesAreSplitIntoTwoHalves) {
    EngineHarness h(nullptr, 16, media::kVideoZOT3);
    ClipMaker maker(media::kVideoZOT3);
    maker.DualPicture(2, 7, true, 40, 200);
    maker.DualPicture(3, 9, true, 60, 180, true, false);  // left half hidden
    maker.DualPicture(4, 11, true, 80, 160, false, true);  // right half hidden
    ASSERT_EQ(h.Open(maker.Finish()), 1);
    ASSERT_TRUE(h.WaitPausedAtEnd());
    const auto shown = h.Shown();
    ASSERT_EQ(shown.size(), 4u);
    const int expected[][2] = {{2, 40}, {7, 200}, {9, 180}, {4, 80}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(shown[i].channel, expected[i][0]) << i;
        EXPECT_EQ(shown[i].mark, expected[i][1]) << i;
        EXPECT_EQ(shown[i].widthPx, 320);
        EXPECT_EQ(shown[i].heightPx, 224);
        // Column 160 of the first row is grey background in either half.
        EXPECT_EQ(shown[i].rightEdge, 128) << i;
    }
}

}  // namespace
}  // namespace zo::test

namespace zo::test {
namespace {

using engine::CZoViewer2;

// `rounds` rounds of four pictures, each round followed by a sound frame
// of `samples` samples on `soundChannel` while `soundRounds` lasts.
Clip WithSound(int rounds, int soundRounds, int soundChannel, size_t samples = 1000, bool keysOnly = false) {
    ClipMaker maker;
    for (int r = 0; r < rounds; ++r) {
        for (int c = 0; c < 4; ++c)
            maker.Picture(c, keysOnly || r % 5 == 0);
        if (r < soundRounds)
            maker.Sound(soundChannel, samples);
    }
    return maker.Finish();
}

int64_t SpanUs(const std::vector<ShownPicture>& shown) { return shown.back().atUs - shown.front().atUs; }

size_t AudibleBytes(const std::vector<uint8_t>& played) {
    size_t n = 0;
    for (uint8_t b : played)
        n += b != 0x80;
    return n;
}

// The sound sets the pace by holding the worker while its output is full;
// the pictures read in between are spread over the time per picture rather
// than shown at once, so a window can show each of them.
TEST(EngineSound, AtX1TheSoundSetsThePaceAndPicturesAreSpreadOut) {
    EngineHarness h;
    h.Device().CapturePlayed(1 << 20);
    // 100 rounds: 400 pictures and 100 000 samples (6.25 s) of sound. Paced
    // by pictures this would take 12.8 s.
    ASSERT_EQ(h.Open(WithSound(100, 100, 0)), 1);
    ASSERT_TRUE(h.WaitPausedAtEnd());
    const auto shown = h.Shown();
    ASSERT_EQ(shown.size(), 400u);
    // The ring holds up to 7168 bytes ahead of the play position.
    EXPECT_GT(SpanUs(shown), 5'500'000);
    EXPECT_LT(SpanUs(shown), 6'400'000);
    const int64_t mean = SpanUs(shown) / static_cast<int64_t>(shown.size() - 1);
    int close = 0, counted = 0;
    for (size_t i = 1; i < shown.size(); ++i) {
        if (shown[i].atUs - shown.front().atUs < 1'500'000)
            continue;  // the time per picture is still being measured
        ++counted;
        if (shown[i].atUs - shown[i - 1].atUs < mean / 4)
            ++close;
    }
    ASSERT_GT(counted, 200);
    EXPECT_LT(close, counted / 20) << "mean gap " << mean << " us";
    h.Engine().CloseRecording();
    EXPECT_GT(AudibleBytes(h.Device().Played()), 90'000u);
}

TEST(EngineSound, PicturesKeepTheirPaceWhenNoSoundReachesTheOutput) {
    // Pictures are paced by their period (32 ms here); each sound frame read
    // takes one pacing slot as well.
    auto expectPicturePaced = [](const std::vector<ShownPicture>& shown, const char* what) {
        ASSERT_GT(shown.size(), 10u) << what;
        for (size_t i = 1; i < shown.size(); ++i) {
            const int64_t gap = shown[i].atUs - shown[i - 1].atUs;
            EXPECT_TRUE(gap == 32000 || gap == 64000) << what << " picture " << i << " gap " << gap;
        }
    };
    {
        // Sound of audio channel 1 while the four-cell view plays channel 0's.
        EngineHarness h;
        h.Device().CapturePlayed(1 << 20);
        ASSERT_EQ(h.Open(WithSound(40, 40, 1)), 1);
        ASSERT_TRUE(h.WaitPausedAtEnd());
        expectPicturePaced(h.Shown(), "other channel");
        h.Engine().CloseRecording();
        EXPECT_EQ(AudibleBytes(h.Device().Played()), 0u);
    }
    {
        // The single view of channel 1 selects its sound.
        EngineHarness h;
        h.Engine().SetLayout(1, 1);
        ASSERT_EQ(h.Open(WithSound(100, 100, 1)), 1);
        ASSERT_TRUE(h.WaitPausedAtEnd());
        EXPECT_LT(SpanUs(h.Shown()), 6'400'000);
    }
    {
        // No sound device.
        platform::ManualClock clock;
        EngineHarness h;
        h.Device().FailOpen(true);
        h.Engine().SetMode(CZoViewer2::kModePlayer, -1);  // reopens the output
        ASSERT_EQ(h.Open(WithSound(40, 40, 0)), 1);
        ASSERT_TRUE(h.WaitPausedAtEnd());
        expectPicturePaced(h.Shown(), "no device");
        const auto texts = h.Messages().Texts();
        EXPECT_NE(std::find(texts.begin(), texts.end(), "Sound device open error !"), texts.end());
    }
    {
        // Reverse play at x1 plays no sound.
        EngineHarness h;
        h.Device().CapturePlayed(1 << 20);
        const Clip clip = WithSound(40, 40, 0, 1000, true);
        ASSERT_EQ(h.Open(clip), 1);
        ASSERT_TRUE(h.WaitPausedAtEnd());
        h.ClearShown();
        const size_t before = AudibleBytes(h.Device().Played());
        ASSERT_TRUE(h.Command([&] { h.Engine().PlayReverse(1); },
                              {CZoViewer2::kStatePlayReverse, CZoViewer2::kStatePause}));
        expectPicturePaced(h.Shown(), "reverse");
        // Only what was still queued from forward play is heard.
        EXPECT_LE(AudibleBytes(h.Device().Played()) - before, size_t{render::CZoWaveOut::kMaxQueuedBytes});
    }
    {
        // At x2 no sound is played.
        EngineHarness h;
        h.Device().CapturePlayed(1 << 20);
        ASSERT_EQ(h.Open(WithSound(40, 40, 0)), 1);
        ASSERT_TRUE(h.PauseAtStart());
        // The x1 play that opening starts may have queued sound before the
        // pause took effect (sooner or later on a loaded machine); only that
        // is heard afterwards.
        const size_t before = AudibleBytes(h.Device().Played());
        ASSERT_TRUE(h.Command([&] { h.Engine().Play(2); }, {CZoViewer2::kStatePlay, CZoViewer2::kStatePause}));
        h.Engine().CloseRecording();
        EXPECT_LE(AudibleBytes(h.Device().Played()) - before, size_t{render::CZoWaveOut::kMaxQueuedBytes});
    }
}

TEST(EngineSound, AStretchWithoutSoundIsPacedByThePictures) {
    EngineHarness h;
    // Sound for the first 50 rounds, then 100 rounds (12.8 s) of pictures only.
    ASSERT_EQ(h.Open(WithSound(150, 50, 0)), 1);
    ASSERT_TRUE(h.WaitPausedAtEnd());
    const auto shown = h.Shown();
    ASSERT_EQ(shown.size(), 600u);
    // Within a second of recording time (31 pictures) after the sound ends
    // the pictures take their own pace again.
    for (size_t i = 200 + 32; i < shown.size(); ++i)
        EXPECT_EQ(shown[i].atUs - shown[i - 1].atUs, 32000) << i;
}

TEST(EngineSound, StopPauseAndCloseEndAWaitForAStalledDevice) {
    EngineHarness h;
    h.Device().SetPace(render::NullAudioDevice::Pace::Stalled);
    ASSERT_EQ(h.Open(WithSound(100, 100, 0, 4000)), 1);
    // The ring fills after two frames; the worker then waits for room.
    ASSERT_TRUE(WaitFor([&] { return h.ShownCount() >= 8; }));
    ASSERT_TRUE(h.Command([&] { h.Engine().Pause(); }, {CZoViewer2::kStatePause}));
    h.Engine().Play(1);
    ASSERT_TRUE(h.WaitState(CZoViewer2::kStatePlay));
    EXPECT_EQ(h.Engine().CloseRecording(), 1);
    EXPECT_FALSE(h.Engine().HasThread());
}

TEST(EngineLifecycle, ACommandRightAfterOpeningIsNotLost) {
    platform::SystemClock clock;
    EngineHarness h(&clock);
    ASSERT_EQ(h.Open(RoundRobin(20)), 1);
    h.Engine().Pause();
    ASSERT_TRUE(h.WaitState(CZoViewer2::kStatePause));
    // However late the pause came on a loaded machine, play stops there.
    const size_t atPause = h.ShownCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(h.Engine().GetState(), CZoViewer2::kStatePause);
    EXPECT_EQ(h.ShownCount(), atPause);
}

TEST(EngineLifecycle, PlaysInRealTime) {
    // 60 pictures at 32 ms: about 1.9 s; generous bounds for a loaded machine.
    platform::SystemClock clock;
    EngineHarness h(&clock);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(h.Open(RoundRobin(15)), 1);
    ASSERT_TRUE(h.WaitPausedAtEnd());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(h.ShownCount(), 60u);
    EXPECT_GT(seconds, 1.7);
    EXPECT_LT(seconds, 30.0);
}

TEST(EngineLifecycle, FineSpeedActsBelowFastPlay) {
    EngineHarness h;
    CZoViewer2& e = h.Engine();
    e.SetRepeat(1);
    ASSERT_EQ(h.Open(RoundRobin(60)), 1);
    ASSERT_TRUE(h.WaitState(CZoViewer2::kStatePlay));
    e.SpeedDown();
    e.SpeedDown();
    EXPECT_DOUBLE_EQ(e.GetFineSpeed(), 0.8);
    EXPECT_DOUBLE_EQ(e.GetSpeed(), 0.8);
    e.SpeedUp();
    e.SpeedUp();
    EXPECT_DOUBLE_EQ(e.GetSpeed(), 1.0);  // exactly, so sound plays again
    for (int i = 0; i < 100; ++i)
        e.SpeedUp();
    EXPECT_DOUBLE_EQ(e.GetFineSpeed(), 8.0);
    for (int i = 0; i < 100; ++i)
        e.SpeedDown();
    EXPECT_DOUBLE_EQ(e.GetFineSpeed(), 0.1);
    e.FastForward();
    ASSERT_DOUBLE_EQ(e.GetSpeed(), 8.0);
    e.SpeedNormal();
    EXPECT_DOUBLE_EQ(e.GetFineSpeed(), 1.0);
    EXPECT_DOUBLE_EQ(e.GetSpeed(), 8.0);  // fast play keeps its speed
}

}  // namespace
}  // namespace zo::test

namespace zo::test {
namespace {

using engine::CZoViewer2;

// 100 key pictures, 1.3 MB of sound on an audio channel nobody plays, 100
// key pictures: bad blocks go in the middle of the sound, and what was shown
// tells whether play got past them. Made once per kind.
const Clip& Hole(bool rawDisk) {
    static std::map<bool, Clip> made;
    auto [it, fresh] = made.try_emplace(rawDisk);
    if (fresh) {
        ClipMaker maker(media::kVideoZOC, 224, rawDisk);
        for (int i = 0; i < 100; ++i)
            maker.Picture(i % 4, true, 16 + (i * 3) % 219);
        for (int i = 0; i < 330; ++i)
            maker.Sound(3, 4000);
        for (int i = 100; i < 200; ++i)
            maker.Picture(i % 4, true, 16 + (i * 3) % 219);
        it->second = maker.Finish();
    }
    return it->second;
}

// A byte source whose blocks [first, last) cannot be read (I/O errors).
class UnreadableBlocks final : public media::ByteSource {
public:
    UnreadableBlocks(std::vector<uint8_t> bytes, uint64_t first, uint64_t last)
        : inner_(std::move(bytes)), first_(first), last_(last) {}
    uint64_t Size() const override { return inner_.Size(); }
    int64_t ReadAt(uint64_t offset, void* buffer, size_t length) const override {
        const uint64_t block = offset / media::kBlockSize;
        if (block >= first_ && block < last_)
            return -1;
        return inner_.ReadAt(offset, buffer, length);
    }

private:
    media::MemorySource inner_;
    uint64_t first_, last_;
};

struct DiskRun {
    std::vector<ShownPicture> shown;
    int finalState = 0;
    uint64_t blocks = 0;
};

// Plays a raw-disk image with a run of damaged (or unreadable) blocks in
// its middle, forward from the start or in reverse from the end.
DiskRun PlayDiskWithHole(uint64_t holeBlocks, bool unreadable, bool reverse, bool repeat) {
    const Clip& clip = Hole(true);
    DiskRun run;
    run.blocks = clip.bytes.size() / media::kBlockSize;
    const uint64_t first = run.blocks / 2 - holeBlocks / 2;
    std::vector<uint8_t> bytes = clip.bytes;
    if (!unreadable)
        for (uint64_t b = first; b < first + holeBlocks; ++b)
            synth::DamageBlock(bytes, b, true);
    std::unique_ptr<media::ByteSource> source =
        unreadable ? std::unique_ptr<media::ByteSource>(
                         std::make_unique<UnreadableBlocks>(std::move(bytes), first, first + holeBlocks))
                   : std::make_unique<media::MemorySource>(std::move(bytes));
    EngineHarness h;
    h.Engine().SetRepeat(repeat ? 1 : 0);
    EXPECT_EQ(h.OpenSource(std::move(source), true), 1);
    if (reverse) {
        EXPECT_TRUE(h.PauseAtStart());
        EXPECT_TRUE(h.Command([&] { h.Engine().Seek(clip.frames.back().filePosition); },
                              {CZoViewer2::kStateSearch, CZoViewer2::kStatePause}));
        h.ClearShown();
        EXPECT_TRUE(h.Command([&] { h.Engine().PlayReverse(1); },
                              {CZoViewer2::kStatePlayReverse, CZoViewer2::kStatePause}));
    } else if (repeat) {
        // Play on until the start has come round again.
        EXPECT_TRUE(WaitFor([&] {
            const auto shown = h.Shown();
            return shown.size() > 10 && std::count_if(shown.begin(), shown.end(), [&](const ShownPicture& p) {
                                            return p.mark == shown[0].mark && p.channel == shown[0].channel;
                                        }) >= 2;
        }));
    } else {
        EXPECT_TRUE(h.WaitPausedAtEnd());
    }
    run.shown = h.Shown();
    run.finalState = h.Engine().GetState();
    return run;
}

TEST(EngineDisk, ForwardPlayCrossesUpTo120BadBlocks) {
    const DiskRun crossed = PlayDiskWithHole(120, false, false, false);
    ASSERT_GT(crossed.blocks, 400u);
    EXPECT_EQ(crossed.finalState, CZoViewer2::kStatePause);
    const DiskRun stopped = PlayDiskWithHole(121, false, false, false);
    EXPECT_EQ(stopped.finalState, CZoViewer2::kStatePause);
    // Past 120 bad blocks play went on to the end; at 121 it stopped.
    EXPECT_EQ(crossed.shown.size(), 200u);
    EXPECT_EQ(stopped.shown.size(), 100u);
}

TEST(EngineDisk, OpensAtTheFirstValidBlockBehindTheRecordersOwnArea) {
    // 300 blocks of zeros in front: more than the failure limit lets play cross.
    std::vector<uint8_t> bytes(300 * media::kBlockSize, 0);
    const Clip& clip = Hole(true);
    bytes.insert(bytes.end(), clip.bytes.begin(), clip.bytes.end());
    EngineHarness h;
    ASSERT_EQ(h.OpenSource(std::make_unique<media::MemorySource>(std::move(bytes)), true), 1);
    EXPECT_TRUE(h.WaitPausedAtEnd());
    EXPECT_EQ(h.Shown().size(), 200u);
}

TEST(EngineDisk, WithRepeatTooManyBadBlocksRestartFromTheBeginning) {
    const DiskRun run = PlayDiskWithHole(125, false, false, true);
    EXPECT_EQ(run.finalState, CZoViewer2::kStatePlay);
}

TEST(EngineDisk, UnreadableBlocksAreSteppedOver) {
    const DiskRun run = PlayDiskWithHole(20, true, false, false);
    EXPECT_EQ(run.shown.size(), 200u);
    EXPECT_EQ(run.finalState, CZoViewer2::kStatePause);
}

TEST(EngineDisk, ReversePlayStopsAfterMoreThan121BadBlocks) {
    // Reverse play starts at the last picture, found by a search.
    const DiskRun crossed = PlayDiskWithHole(121, false, true, false);
    const DiskRun stopped = PlayDiskWithHole(122, false, true, false);
    EXPECT_EQ(crossed.shown.size(), 199u);
    EXPECT_EQ(stopped.shown.size(), 99u);
    EXPECT_EQ(stopped.finalState, CZoViewer2::kStatePause);
}

TEST(EngineFile, FiveFailedReadsInARowEndPlay) {
    // In a recording file each damaged block is a failed read.
    for (const auto& [damaged, crossed] : {std::pair{4, true}, std::pair{5, false}}) {
        Clip clip = Hole(false);
        const uint64_t blocks = clip.bytes.size() / media::kBlockSize;
        for (uint64_t b = blocks / 2; b < blocks / 2 + static_cast<uint64_t>(damaged); ++b)
            synth::DamageBlock(clip.bytes, b, false);
        EngineHarness h;
        ASSERT_EQ(h.Open(clip), 1);
        ASSERT_TRUE(h.WaitPausedAtEnd());
        EXPECT_EQ(h.ShownCount(), crossed ? 200u : 100u) << damaged;
    }
}

}  // namespace
}  // namespace zo::test
