// The looping ring against the null device, which plays only when the test
// advances it and keeps what it played: head room, low-water pause and
// resume, the first pause, the stale skip, pieces of blocks that cannot fit
// whole, one ring per start, silence, 64-bit counts, volume and mute, and
// the failure texts.
#include "render/CZoWaveOut.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "render/NullAudioDevice.h"

namespace zo::render {
namespace {

using Result = CZoWaveOut::WriteResult;

codec::WaveFormat Format(int bits, uint32_t rate = 16000) {
    codec::WaveFormat f;
    f.samplesPerSec = rate;
    f.bitsPerSample = static_cast<uint16_t>(bits);
    f.blockAlign = static_cast<uint16_t>(bits / 8);
    f.avgBytesPerSec = rate * bits / 8;
    return f;
}

std::vector<uint8_t> Ramp(size_t n, uint8_t start = 1) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(start + i * 7 % 251);
    return v;
}

struct Rig {
    platform::RecordingMessagePort messages;
    NullAudioDevice* device;
    CZoWaveOut out;
    explicit Rig(int bits = 8)
        : device(new NullAudioDevice), out(&messages, std::unique_ptr<AudioDevice>(device)) {
        device->SetPace(NullAudioDevice::Pace::Manual);
        EXPECT_EQ(out.Open(Format(bits)), 1);
        EXPECT_EQ(out.StartRing(), 1);
    }
    Result Write(const std::vector<uint8_t>& pcm, size_t* placed = nullptr) {
        size_t p = 0;
        const Result r = out.Write(pcm, p);
        if (placed)
            *placed = p;
        return r;
    }
};

TEST(CZoWaveOut, HeadRoomAdmits7168QueuedBytes) {
    Rig rig;
    size_t placed = 0;
    // 7169 bytes cannot go in whole: only what leaves the head room free does.
    EXPECT_EQ(rig.Write(Ramp(7169), &placed), Result::Full);
    EXPECT_EQ(placed, 7168u);
    EXPECT_EQ(rig.out.QueuedBytes() + 0, 7168u);

    Rig fresh;
    EXPECT_EQ(fresh.Write(Ramp(7168), &placed), Result::Written);
    EXPECT_EQ(placed, 7168u);
    EXPECT_EQ(fresh.Write(Ramp(1), &placed), Result::Full);  // a playing device makes room in time
    EXPECT_EQ(placed, 0u);
    fresh.device->Advance(1);
    EXPECT_EQ(fresh.Write(Ramp(1), &placed), Result::Written);
    EXPECT_EQ(fresh.out.BytesWritten(), 7169u);
}

TEST(CZoWaveOut, PausedBelow1024QueuedAndPlaysFrom1024) {
    Rig rig;
    rig.out.Service();  // empty: pauses; the first pause puts writing at the play position
    EXPECT_TRUE(rig.out.IsPaused());
    EXPECT_TRUE(rig.device->IsPaused());
    EXPECT_EQ(rig.Write(Ramp(1023)), Result::Written);
    rig.out.Service();
    EXPECT_TRUE(rig.device->IsPaused());
    rig.device->Advance(500);  // a paused device plays nothing
    EXPECT_EQ(rig.out.QueuedBytes(), 1023u);
    EXPECT_EQ(rig.Write(Ramp(1)), Result::Written);
    rig.out.Service();
    EXPECT_FALSE(rig.out.IsPaused());
    EXPECT_FALSE(rig.device->IsPaused());
    rig.device->Advance(2);
    rig.out.Service();  // 1022 left: pause again, this time keeping the data
    EXPECT_TRUE(rig.out.IsPaused());
    EXPECT_EQ(rig.out.BytesWritten(), 1024u);
    EXPECT_EQ(rig.out.QueuedBytes(), 1022u);
}

TEST(CZoWaveOut, FirstPauseDropsWhatWasWrittenBehindIt) {
    Rig rig;
    ASSERT_EQ(rig.Write(Ramp(600)), Result::Written);
    rig.device->Advance(100);
    rig.out.Service();  // 500 queued: pause; the first pause restarts at position 100
    EXPECT_TRUE(rig.out.IsPaused());
    EXPECT_EQ(rig.out.BytesWritten(), 100u);
    EXPECT_EQ(rig.out.QueuedBytes(), 500u);  // as measured before the pause
}

// After a gap longer than the queued sound the device has played stale ring
// bytes; the next samples must follow at the play position, not a loop later.
TEST(CZoWaveOut, StaleRingBytesAreSkippedAfterAGap) {
    Rig rig;
    rig.device->CapturePlayed(1 << 20);
    const auto first = Ramp(2048, 1);
    ASSERT_EQ(rig.Write(first), Result::Written);
    rig.out.Service();
    ASSERT_FALSE(rig.out.IsPaused());
    rig.device->Advance(2048 + 3000);  // the gap: 3000 stale bytes played
    rig.out.Service();
    EXPECT_EQ(rig.out.BytesWritten(), 5048u);
    EXPECT_EQ(rig.out.QueuedBytes(), 0u);
    EXPECT_TRUE(rig.out.IsPaused());

    const auto second = Ramp(1024, 100);
    ASSERT_EQ(rig.Write(second), Result::Written);
    rig.out.Service();
    EXPECT_FALSE(rig.out.IsPaused());
    rig.device->Advance(1024);
    const auto played = rig.device->Played();
    ASSERT_EQ(played.size(), 2048u + 3000u + 1024u);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), played.begin()));
    EXPECT_TRUE(std::equal(second.begin(), second.end(), played.end() - 1024));
}

// The stale skip also holds for a Write that comes before the next Service.
TEST(CZoWaveOut, WriteAfterAnUnderrunLandsAtThePlayPosition) {
    Rig rig;
    rig.device->CapturePlayed(1 << 20);
    ASSERT_EQ(rig.Write(Ramp(2048)), Result::Written);
    rig.out.Service();
    rig.device->Advance(4000);
    const auto next = Ramp(1500, 50);
    ASSERT_EQ(rig.Write(next), Result::Written);
    EXPECT_EQ(rig.out.BytesWritten(), 4000u + 1500u);
    rig.device->Advance(1500);
    const auto played = rig.device->Played();
    EXPECT_TRUE(std::equal(next.begin(), next.end(), played.end() - 1500));
}

// A paused ring with 1023 bytes can never take a 6146-byte block whole, and
// a paused device makes no room: the block goes in as pieces.
TEST(CZoWaveOut, APausedRingTakesABlockThatDoesNotFitInPieces) {
    Rig rig;
    rig.device->CapturePlayed(1 << 20);
    rig.out.Service();
    const auto head = Ramp(1023, 3);
    ASSERT_EQ(rig.Write(head), Result::Written);
    rig.out.Service();
    ASSERT_TRUE(rig.out.IsPaused());

    const auto block = Ramp(6146, 9);
    size_t done = 0;
    int rounds = 0;
    while (done < block.size() && rounds < 100) {
        size_t placed = 0;
        const Result r = rig.out.Write(std::span(block).subspan(done), placed);
        ASSERT_NE(r, Result::NoDevice);
        done += placed;
        rig.out.Service();
        rig.device->Advance(256);
        ++rounds;
    }
    EXPECT_EQ(done, block.size());
    rig.device->Advance(8192);
    const auto played = rig.device->Played();
    ASSERT_GE(played.size(), 1023u + 6146u);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), played.begin()));
    EXPECT_TRUE(std::equal(block.begin(), block.end(), played.begin() + 1023));
}

// A block longer than the ring can ever queue plays whole, piece by piece,
// with 16-bit pieces in whole samples.
TEST(CZoWaveOut, ABlockLongerThanTheHeadRoomAllowsPlaysInPieces) {
    Rig rig(16);
    rig.device->CapturePlayed(1 << 20);
    std::vector<uint8_t> block = Ramp(16384, 5);
    size_t done = 0;
    int rounds = 0;
    while (done < block.size() && rounds < 100) {
        size_t placed = 0;
        const Result r = rig.out.Write(std::span(block).subspan(done), placed);
        EXPECT_EQ(placed % 2, 0u);
        if (r == Result::Written) {
            EXPECT_EQ(done + placed, block.size());
        }
        done += placed;
        rig.out.Service();
        rig.device->Advance(1000);
        ++rounds;
    }
    ASSERT_EQ(done, block.size());
    rig.device->Advance(16384);
    const auto played = rig.device->Played();
    ASSERT_GE(played.size(), block.size());
    EXPECT_TRUE(std::equal(block.begin(), block.end(), played.begin()));
}

TEST(CZoWaveOut, NoDeviceIsToldApartFromAFullRing) {
    platform::RecordingMessagePort messages;
    auto* device = new NullAudioDevice;
    device->FailOpen(true);
    CZoWaveOut out(&messages, std::unique_ptr<AudioDevice>(device));
    EXPECT_EQ(out.Open(Format(8)), 0);
    ASSERT_EQ(messages.Texts(), std::vector<std::string>{"Sound device open error !"});
    size_t placed = 1;
    EXPECT_EQ(out.Write(Ramp(10), placed), Result::NoDevice);
    EXPECT_EQ(placed, 0u);

    Rig rig;
    rig.device->FailPosition(true);
    EXPECT_EQ(rig.Write(Ramp(10)), Result::NoDevice);

    // A device that stops playing fills the ring and then reports it full,
    // never absent, and takes nothing more.
    Rig stalled;
    stalled.device->SetPace(NullAudioDevice::Pace::Stalled);
    size_t lastPlaced = 1;
    for (int i = 0; i < 20; ++i) {
        EXPECT_NE(stalled.Write(Ramp(1000), &lastPlaced), Result::NoDevice);
        stalled.out.Service();
        stalled.device->Advance(500);  // ignored while stalled
    }
    EXPECT_EQ(lastPlaced, 0u);
    EXPECT_EQ(stalled.out.BytesWritten(), 7000u);
    EXPECT_EQ(stalled.out.QueuedBytes(), 7000u);
}

TEST(CZoWaveOut, StartFailuresShowTheirTexts) {
    Rig rig;
    rig.messages.Clear();
    rig.device->FailPrepare(true);
    EXPECT_EQ(rig.out.StartRing(), 0);
    rig.device->FailPrepare(false);
    rig.device->FailStart(true);
    EXPECT_EQ(rig.out.StartRing(), 0);
    EXPECT_EQ(rig.messages.Texts(), (std::vector<std::string>{"Preapre Header Error !", "Sound out fail !"}));
    EXPECT_FALSE(rig.device->IsLooping());
}

TEST(CZoWaveOut, EachStartLeavesExactlyOneRingAndEveryEndStopsIt) {
    Rig rig;
    ASSERT_EQ(rig.Write(Ramp(3000)), Result::Written);
    rig.device->Advance(1000);
    EXPECT_EQ(rig.out.StartRing(), 1);  // while the first one loops
    EXPECT_TRUE(rig.device->IsLooping());
    EXPECT_EQ(rig.device->LoopStarts(), 2);
    EXPECT_EQ(rig.device->LoopStops(), 1);
    EXPECT_EQ(rig.out.BytesWritten(), 0u);  // a fresh ring, counted from its start
    uint64_t position = 99;
    ASSERT_TRUE(rig.device->PlayPositionBytes(position));
    EXPECT_EQ(position, 0u);

    // A worker that ends stops the ring: the device no longer repeats it.
    EXPECT_EQ(rig.out.StopRing(), 1);
    EXPECT_FALSE(rig.device->IsLooping());
    rig.device->Advance(1000);
    ASSERT_TRUE(rig.device->PlayPositionBytes(position));
    EXPECT_EQ(position, 0u);

    // Reopening the device stops a looping ring too.
    ASSERT_EQ(rig.out.StartRing(), 1);
    ASSERT_EQ(rig.out.Open(Format(16)), 1);
    EXPECT_FALSE(rig.device->IsLooping());
    EXPECT_EQ(rig.device->LoopStops(), 3);  // StopRing, then Open
    EXPECT_TRUE(rig.messages.Texts().empty());
}

TEST(CZoWaveOut, TheRingStartsAsTheFormatsSilence) {
    for (int bits : {8, 16}) {
        Rig rig(bits);
        ASSERT_EQ(rig.Write(Ramp(4000)), Result::Written);
        ASSERT_EQ(rig.out.StartRing(), 1);  // old data must not sound again
        rig.device->CapturePlayed(8192);
        rig.device->Advance(8192);
        const auto played = rig.device->Played();
        ASSERT_EQ(played.size(), 8192u);
        const uint8_t silence = bits == 8 ? 0x80 : 0x00;
        EXPECT_EQ(std::count(played.begin(), played.end(), silence), 8192) << bits << "-bit";
    }
}

TEST(CZoWaveOut, CountsDoNotWrapAfterDaysOfPlay) {
    Rig rig;
    rig.out.Service();
    ASSERT_EQ(rig.Write(Ramp(2000)), Result::Written);
    rig.out.Service();
    const uint64_t fiveGiB = uint64_t{5} << 30;
    rig.device->Advance(fiveGiB);  // about 3.9 days at 16000 bytes/s
    rig.out.Service();
    EXPECT_EQ(rig.out.BytesWritten(), fiveGiB);
    ASSERT_EQ(rig.Write(Ramp(2000)), Result::Written);
    rig.out.Service();
    EXPECT_EQ(rig.out.QueuedBytes(), 2000u);
    EXPECT_FALSE(rig.out.IsPaused());
    EXPECT_EQ(rig.out.WriteIndex(), static_cast<uint32_t>((fiveGiB + 2000) % 8192));
}

TEST(CZoWaveOut, MuteKeepsTheLevel) {
    Rig rig;
    rig.out.SetVolume(0x12345678);
    EXPECT_EQ(rig.out.GetVolume(), 0x5678u);
    EXPECT_EQ(rig.device->Volume(), 0x5678);
    EXPECT_EQ(rig.out.GetDeviceVolume(), 0x5678);
    rig.out.SetMute(1);
    EXPECT_EQ(rig.out.GetMute(), 1);
    EXPECT_EQ(rig.device->Volume(), 0);
    EXPECT_EQ(rig.out.GetVolume(), 0x5678u);
    rig.out.SetVolume(0x1000);  // while muted: only the stored level changes
    EXPECT_EQ(rig.device->Volume(), 0);
    EXPECT_EQ(rig.out.GetVolume(), 0x1000u);
    rig.out.SetMute(0);
    EXPECT_EQ(rig.device->Volume(), 0x1000);
}

// Paced by a manual clock, the null device plays at the format's byte rate.
TEST(CZoWaveOut, NullDevicePlaysInTheClocksTime) {
    platform::ManualClock clock;
    platform::RecordingMessagePort messages;
    auto* device = new NullAudioDevice(&clock);
    CZoWaveOut out(&messages, std::unique_ptr<AudioDevice>(device));
    ASSERT_EQ(out.Open(Format(16, 8000)), 1);
    ASSERT_EQ(out.StartRing(), 1);
    clock.Advance(250000);
    uint64_t position = 0;
    ASSERT_TRUE(device->PlayPositionBytes(position));
    EXPECT_EQ(position, 4000u);
    device->Pause();
    clock.Advance(1000000);
    ASSERT_TRUE(device->PlayPositionBytes(position));
    EXPECT_EQ(position, 4000u);
}

}  // namespace
}  // namespace zo::render
