// Local recordings made through the live view while the simulated DVR
// misbehaves: read back, they hold every frame the DVR sent from the first
// key picture on, except those the client had to refuse.
#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/CZoViewer2.h"
#include "engine/EngineFixture.h"
#include "media/CZoFile.h"
#include "net/CZoNetSource.h"
#include "synth/DvrSim.h"

namespace zo::test {
namespace {

namespace fs = std::filesystem;
using engine::CZoViewer2;

std::string Md5(const uint8_t* data, size_t size) {
    unsigned char digest[16];
    EVP_Digest(data, size, digest, nullptr, EVP_md5(), nullptr);
    static const char* hex = "0123456789abcdef";
    std::string text;
    for (unsigned char d : digest) {
        text += hex[d >> 4];
        text += hex[d & 15];
    }
    return text;
}

struct Delivered {
    bool video = false;
    std::string md5;
};

// Frames of a recording as the live source handed them on: a recorded
// picture's header goes back to the live layout (key flag in bit 7 of byte
// 4, quantiser in bits 6-3, camera 0); the start-code byte of a live
// picture does not matter, so both are offered.
std::vector<std::pair<Delivered, std::string>> ReadBack(const std::string& path) {
    std::vector<std::pair<Delivered, std::string>> frames;
    media::CZoFile reader;
    if (!reader.Open(path, false))
        return frames;
    std::vector<uint8_t> frame(media::kMaxFrameSize);
    while (const int n = reader.ReadNextFrame(frame)) {
        Delivered d;
        d.video = !reader.IsAudio();
        std::string other;
        if (d.video && n > 5) {
            const bool key = frame[3] == 0xF9;
            frame[4] = static_cast<uint8_t>((frame[4] >> 1) | (key ? 0x80 : 0));
            frame[3] = 0xF8;
            d.md5 = Md5(frame.data(), static_cast<size_t>(n));
            frame[3] = 0xF9;
            other = Md5(frame.data(), static_cast<size_t>(n));
        } else {
            d.md5 = Md5(frame.data(), static_cast<size_t>(n));
        }
        frames.push_back({d, other});
    }
    return frames;
}

class LiveRecording : public ::testing::TestWithParam<synth::DvrFault> {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("zo_liverec_" + std::to_string(::getpid()) + "_" +
                                           std::to_string(static_cast<int>(GetParam())));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

TEST_P(LiveRecording, KeepsEveryFrameTheClientAccepted) {
    synth::DvrSimOptions options;
    options.password = "rec";
    options.fault = GetParam();
    options.acceptPauseMs = 0;
    options.slowByteGapUs = 0;
    options.faultEveryFrames = 7;
    options.faultAfterFrames = 50;  // silence once, within the frames the test waits for
    options.loopOptions.picturesPerChannel = 6;
    options.loopOptions.keyEvery = 3;
    synth::DvrSim sim(options);
    ASSERT_TRUE(sim.Start());

    platform::SystemClock clock;
    EngineHarness h(&clock);
    CZoViewer2& e = h.Engine();
    // A silent stream is given up and connected again after 0.7 s. The other
    // faults must not time out on a slow machine (a connection given up loses
    // frames in flight that no counter holds), so they get a long timeout.
    e.SetTimeout(GetParam() == synth::DvrFault::Silence ? 700 : 30000);
    ASSERT_EQ(e.Connect("127.0.0.1", sim.Port(), "rec"), 1);
    // Recording is on before the first frame arrives.
    ASSERT_EQ(e.StartRecording((dir / "live.ZRF").string()), 1) << e.Recorder().GetLastErrorText();
    ASSERT_TRUE(WaitFor([&] { return e.IsConnected() == 1; }));
    ASSERT_TRUE(sim.WaitForSentFrames(120, 180000));
    ASSERT_TRUE(WaitFor([&] { return e.Recorder().GetStats().videoFramesWritten >= 40; }));
    e.Disconnect();
    sim.Stop();

    const net::NetCounters counters = e.NetSource().GetCounters();
    const auto recorded = ReadBack((dir / "live.ZRF").string());
    ASSERT_GT(recorded.size(), 40u);
    if (GetParam() == synth::DvrFault::Silence) {
        EXPECT_GE(counters.reconnections, 1u);  // the recording spans two connections
    }
    if (GetParam() == synth::DvrFault::Garbage) {
        EXPECT_GT(counters.garbageBytes, 0u);
    }
    if (GetParam() == synth::DvrFault::None) {
        // A consumer that keeps up refuses nothing.
        EXPECT_EQ(counters.videoDroppedFull + counters.audioDroppedFull, 0u)
            << "video " << counters.videoDroppedFull << " audio " << counters.audioDroppedFull << " of "
            << counters.videoQueued << " / " << counters.audioQueued;
    }

    // Pictures and sound travel in two queues, so each kind keeps its own
    // order. Walk the sent frames of each kind from the first key picture:
    // each recorded frame must be the next one sent, skipping only as many
    // as the client refused (the loop repeats its sound, so a frame is only
    // matched within that many).
    const std::vector<synth::SentFrame> sent = sim.SentFrames();
    size_t first = 0;
    while (first < sent.size() && !(sent[first].kind == media::FrameKind::Video && sent[first].key))
        ++first;
    for (const bool video : {true, false}) {
        const uint64_t refused = video ? counters.videoDroppedFull + counters.videoDroppedTooLong
                                       : counters.audioDroppedFull + counters.audioDroppedTooLong;
        // A connection given up for silence loses the frames in flight, which
        // no counter holds; on a slow machine that can happen more than once.
        // There only the order is checked, not how many were skipped.
        const bool lossAllowed = GetParam() == synth::DvrFault::Silence;
        // Sound repeats with the loop, so without a bound on the skip it
        // cannot be matched; pictures carry their own counter.
        if (lossAllowed && !video)
            continue;
        std::vector<const synth::SentFrame*> expected;
        for (size_t k = first; k < sent.size(); ++k)
            if ((sent[k].kind == media::FrameKind::Video) == video)
                expected.push_back(&sent[k]);
        size_t i = 0;
        uint64_t skipped = 0;
        size_t matched = 0;
        // The recording's last frame is read without its trailing zero
        // bytes (they cannot be told from the fill that completes the last
        // block), so it is not compared.
        for (size_t r = 0; r + 1 < recorded.size(); ++r) {
            const auto& [frame, other] = recorded[r];
            if (frame.video != video)
                continue;
            size_t j = i;
            while (j < expected.size() && (lossAllowed || j - i <= refused - skipped) &&
                   !(expected[j]->deliveredMd5 == frame.md5 || (!other.empty() && expected[j]->deliveredMd5 == other)))
                ++j;
            ASSERT_TRUE(j < expected.size() && (lossAllowed || j - i <= refused - skipped))
                << (video ? "picture " : "sound frame ") << r << " of the recording is not the next one sent" << " (" << skipped << " of " << refused << " refused frames skipped)";
            skipped += j - i;
            i = j + 1;
            ++matched;
        }
        // A flood of pictures may leave no room for sound in the first 40.
        EXPECT_GE(matched, video ? 39u : GetParam() == synth::DvrFault::Flood ? 0u : 1u);
        if (!lossAllowed) {
            EXPECT_LE(skipped, refused);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, LiveRecording,
                         // Garbage between frames (sound start codes of other audio
                         // channels) is dropped by the client, so the recording holds
                         // the frames alone and nothing a reader would take for sound.
                         ::testing::Values(synth::DvrFault::None, synth::DvrFault::Silence, synth::DvrFault::Slow,
                                           synth::DvrFault::SplitStartCodes, synth::DvrFault::Garbage,
                                           synth::DvrFault::OversizeFrames, synth::DvrFault::OverlongControl,
                                           synth::DvrFault::Flood),
                         [](const auto& info) {
                             std::string name(synth::DvrFaultName(info.param));
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

}  // namespace
}  // namespace zo::test
