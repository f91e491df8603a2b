// The engine's live view against the simulated DVR on loopback: pictures
// shown as they arrive, sound played, the recorder fed, keys sent, and mode
// changes that stop whatever runs.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "engine/CZoViewer2.h"
#include "engine/EngineFixture.h"
#include "media/CZoFile.h"
#include "net/CZoNetSource.h"
#include "synth/DvrSim.h"

namespace zo::test {
namespace {

namespace fs = std::filesystem;
using engine::CZoViewer2;

synth::DvrSimOptions SimOptions(synth::DvrFault fault = synth::DvrFault::None) {
    synth::DvrSimOptions options;
    options.password = "4321";
    options.fault = fault;
    options.loopOptions.channels = 1;
    options.loopOptions.picturesPerChannel = 8;
    options.loopOptions.keyEvery = 4;
    options.acceptPauseMs = 0;
    return options;
}

class LiveView : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("zo_live_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    platform::SystemClock clock;
    fs::path dir;
};

TEST_F(LiveView, ShowsEveryLivePictureOnItsChannelAndPlaysTheSound) {
    synth::DvrSim sim(SimOptions());
    ASSERT_TRUE(sim.Start()) << sim.Error();
    EngineHarness h(&clock);
    CZoViewer2& e = h.Engine();
    h.Device().CapturePlayed(1 << 20);
    ASSERT_EQ(e.Connect("127.0.0.1", sim.Port(), "4321"), 1);
    EXPECT_EQ(e.GetMode(), CZoViewer2::kModeNetViewer);
    ASSERT_TRUE(h.WaitShown(40));
    EXPECT_EQ(e.IsConnected(), 1);
    EXPECT_EQ(e.GetState(), CZoViewer2::kStateReady);  // live view never changes the state
    for (const ShownPicture& p : h.Shown()) {
        EXPECT_EQ(p.channel, 0);
        EXPECT_EQ(p.widthPx, 640);
        EXPECT_EQ(p.shown, 1);
    }
    // 8-bit tones every 125 ms reach the output.
    ASSERT_TRUE(WaitFor([&] {
        size_t audible = 0;
        for (uint8_t b : h.Device().Played())
            audible += b != 0x80;
        return audible > 2000;
    }));
    e.SendKey(21);
    ASSERT_TRUE(sim.WaitForEvents(synth::DvrEventKind::Key, 1, 10000));
    EXPECT_EQ(sim.Keys(), std::vector<int>{21});
    EXPECT_EQ(e.Disconnect(), 1);
    EXPECT_FALSE(e.HasThread());
    ASSERT_TRUE(sim.WaitForEvents(synth::DvrEventKind::Logout, 1, 10000));
}

TEST_F(LiveView, ARefusedLoginArrivesAsANotification) {
    synth::DvrSim sim(SimOptions(synth::DvrFault::RefuseIncorrectPassword));
    ASSERT_TRUE(sim.Start());
    EngineHarness h(&clock);
    CZoViewer2& e = h.Engine();
    // The worker starts before the DVR has answered.
    ASSERT_EQ(e.Connect("127.0.0.1", sim.Port(), "4321"), 1);
    EXPECT_TRUE(e.HasThread());
    ASSERT_TRUE(WaitFor([&] { return h.Notifications().Count(net::WM_DVR_LOGIN_FAILED) == 1; }));
    EXPECT_EQ(e.NetSource().GetLastErrorText(), "Incorrect password.");
    EXPECT_EQ(e.IsConnected(), 0);
    e.Disconnect();
    EXPECT_FALSE(e.HasThread());
    // A second connection is possible after the disconnect.
    EXPECT_EQ(e.Connect("127.0.0.1", sim.Port(), "4321"), 1);
    e.Disconnect();
}

TEST_F(LiveView, AModeChangeStopsASourceThatIsStillConnecting) {
    synth::DvrSim sim(SimOptions(synth::DvrFault::NoLoginReply));
    ASSERT_TRUE(sim.Start());
    EngineHarness h(&clock);
    CZoViewer2& e = h.Engine();
    ASSERT_EQ(e.Connect("127.0.0.1", sim.Port(), "4321"), 1);
    ASSERT_TRUE(sim.WaitForEvents(synth::DvrEventKind::Login, 1, 10000));
    EXPECT_EQ(e.IsConnected(), 0);
    ASSERT_EQ(e.SetMode(CZoViewer2::kModePlayer, -1), 1);
    EXPECT_FALSE(e.HasThread());
    EXPECT_FALSE(e.NetSource().HasThread());
    // The player worker can start now.
    ClipMaker maker;
    maker.Picture(0, true);
    maker.Picture(0, false);
    ASSERT_EQ(h.Open(maker.Finish()), 1);
    ASSERT_TRUE(h.WaitPausedAtEnd());
}

TEST_F(LiveView, ALocalRecordingReadsBackAndPlays) {
    synth::DvrSim sim(SimOptions());
    ASSERT_TRUE(sim.Start());
    EngineHarness h(&clock);
    CZoViewer2& e = h.Engine();
    ASSERT_EQ(e.Connect("127.0.0.1", sim.Port(), "4321"), 1);
    ASSERT_TRUE(WaitFor([&] { return e.IsConnected() == 1; }));
    EXPECT_EQ(e.StartRecordingInFolder(dir.string()), 1) << e.Recorder().GetLastErrorText();
    EXPECT_EQ(e.IsRecording(), 1);
    const size_t before = h.ShownCount();
    ASSERT_TRUE(h.WaitShown(before + 60));
    // Disconnecting ends the recording with the worker.
    e.Disconnect();
    EXPECT_EQ(e.IsRecording(), 0);
    const std::string path = e.Recorder().GetPath();
    ASSERT_TRUE(fs::exists(path));
    EXPECT_EQ(fs::file_size(path) % media::kBlockSize, 0u);
    const media::FileWriteStats stats = e.Recorder().GetStats();
    EXPECT_GT(stats.videoFramesWritten, 40u);
    EXPECT_GT(stats.soundFramesWritten, 5u);

    // Read back under the file's code: pictures and sound, all but the last.
    media::CZoFile reader;
    ASSERT_EQ(reader.Open(path, false), 1);
    std::vector<uint8_t> frame(media::kMaxFrameSize);
    uint64_t pictures = 0, sounds = 0;
    while (const int n = reader.ReadNextFrame(frame)) {
        (void)n;
        (reader.IsAudio() ? sounds : pictures) += 1;
    }
    EXPECT_GE(pictures + sounds + 1, stats.videoFramesWritten + stats.soundFramesWritten);
    EXPECT_GT(sounds, 0u);

    // And it plays in player mode.
    ASSERT_EQ(e.SetMode(CZoViewer2::kModePlayer, 4), 1);
    e.SetLayout(4, 0);
    h.ClearShown();
    e.SetPacing(false);
    ASSERT_EQ(e.OpenRecording(path, 0), 1);
    ASSERT_TRUE(h.Command([] {}, {CZoViewer2::kStatePause}));
    EXPECT_GE(h.ShownCount() + 1, stats.videoFramesWritten);
}

}  // namespace
}  // namespace zo::test
