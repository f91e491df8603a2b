// The SDL2 backend through the dummy driver, which plays in real time
// without a sound card: a tone written through CZoWaveOut must move the play
// position at the sample rate; a stopped ring must stand still. Also the
// software volume.
#include "render/SdlAudioDevice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>
#include <vector>

#include "render/CZoWaveOut.h"

namespace zo::render {
namespace {

using Steady = std::chrono::steady_clock;

class SdlAudio : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("SDL_AUDIODRIVER", "dummy", 0); }
};

codec::WaveFormat Mono8(uint32_t rate) {
    codec::WaveFormat f;
    f.samplesPerSec = rate;
    f.bitsPerSample = 8;
    f.blockAlign = 1;
    f.avgBytesPerSec = rate;
    return f;
}

TEST_F(SdlAudio, ToneMovesThePlayPositionAtTheSampleRate) {
    constexpr uint32_t kRate = 16000;
    platform::RecordingMessagePort messages;
    auto* device = new SdlAudioDevice;
    CZoWaveOut out(&messages, std::unique_ptr<AudioDevice>(device));
    ASSERT_EQ(out.Open(Mono8(kRate)), 1) << SDL_GetError();
    ASSERT_EQ(out.StartRing(), 1);

    // 440 Hz in 256-byte frames, written as the engine does: Service on every
    // pass, a full ring retried after 5 ms.
    std::vector<uint8_t> frame(256);
    uint64_t phase = 0;
    auto nextFrame = [&] {
        for (auto& b : frame)
            b = static_cast<uint8_t>(128 + 100 * std::sin(2 * M_PI * 440.0 * static_cast<double>(phase++) / kRate));
    };
    bool resumedOnce = false;
    uint64_t startPosition = 0, endPosition = 0;
    Steady::time_point startTime{};
    const auto deadline = Steady::now() + std::chrono::seconds(5);
    nextFrame();
    while (Steady::now() < deadline) {
        out.Service();
        if (!resumedOnce && !out.IsPaused()) {
            resumedOnce = true;
            ASSERT_TRUE(device->PlayPositionBytes(startPosition));
            startTime = Steady::now();
        }
        if (resumedOnce && Steady::now() - startTime >= std::chrono::milliseconds(1000)) {
            ASSERT_TRUE(device->PlayPositionBytes(endPosition));
            break;
        }
        size_t placed = 0;
        const auto r = out.Write(frame, placed);
        ASSERT_NE(r, CZoWaveOut::WriteResult::NoDevice);
        if (r == CZoWaveOut::WriteResult::Written)
            nextFrame();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(resumedOnce);
    const double seconds = std::chrono::duration<double>(Steady::now() - startTime).count();
    const double bytesPerSecond = static_cast<double>(endPosition - startPosition) / seconds;
    EXPECT_GT(bytesPerSecond, 0.5 * kRate);
    EXPECT_LT(bytesPerSecond, 2.0 * kRate);
    RecordProperty("bytes_per_second", static_cast<int>(bytesPerSecond));
    std::printf("play position advanced %.0f bytes/s at %u Hz 8-bit mono (%d frames a callback)\n",
                bytesPerSecond, kRate, device->CallbackFrames());

    // An ended worker stops the ring: the position stands still and stays 0.
    EXPECT_EQ(out.StopRing(), 1);
    EXPECT_FALSE(device->IsLooping());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    uint64_t position = 1;
    ASSERT_TRUE(device->PlayPositionBytes(position));
    EXPECT_EQ(position, 0u);
    EXPECT_TRUE(messages.Texts().empty());
}

TEST_F(SdlAudio, StartingTwiceKeepsOneLoopAndPauseHoldsThePosition) {
    platform::RecordingMessagePort messages;
    auto* device = new SdlAudioDevice;
    CZoWaveOut out(&messages, std::unique_ptr<AudioDevice>(device));
    ASSERT_EQ(out.Open(Mono8(8000)), 1) << SDL_GetError();
    ASSERT_EQ(out.StartRing(), 1);
    ASSERT_EQ(out.StartRing(), 1);
    EXPECT_TRUE(device->IsLooping());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    out.Service();  // nothing queued: pauses
    EXPECT_TRUE(out.IsPaused());
    uint64_t a = 0, b = 0;
    ASSERT_TRUE(device->PlayPositionBytes(a));
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    ASSERT_TRUE(device->PlayPositionBytes(b));
    EXPECT_EQ(a, b);
    EXPECT_TRUE(messages.Texts().empty());
    // Without a device, nothing can be started.
    out.Close();
    EXPECT_EQ(out.StartRing(), 0);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Preapre Header Error !"});
}

TEST(SdlAudioVolume, ScalesAroundTheFormatsSilence) {
    std::vector<uint8_t> u8 = {0, 64, 128, 192, 255};
    auto copy = u8;
    SdlAudioDevice::ApplyVolume(copy.data(), copy.size(), false, 0xFFFF);
    EXPECT_EQ(copy, u8);
    SdlAudioDevice::ApplyVolume(copy.data(), copy.size(), false, 0);
    EXPECT_EQ(copy, std::vector<uint8_t>(5, 128));
    copy = u8;
    SdlAudioDevice::ApplyVolume(copy.data(), copy.size(), false, 0x8000);
    EXPECT_EQ(copy, (std::vector<uint8_t>{64, 96, 128, 160, 191}));

    const int16_t samples[4] = {-32768, -1000, 1000, 32767};
    std::vector<uint8_t> s16(8);
    for (int i = 0; i < 4; ++i) {
        s16[2 * i] = static_cast<uint8_t>(static_cast<uint16_t>(samples[i]) & 0xFF);
        s16[2 * i + 1] = static_cast<uint8_t>(static_cast<uint16_t>(samples[i]) >> 8);
    }
    SdlAudioDevice::ApplyVolume(s16.data(), s16.size(), true, 0x8000);
    const int16_t expected[4] = {-16384, -500, 500, 16383};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(static_cast<int16_t>(static_cast<uint16_t>(s16[2 * i] | (s16[2 * i + 1] << 8))), expected[i]) << i;
    SdlAudioDevice::ApplyVolume(s16.data(), s16.size(), true, 0);
    EXPECT_EQ(s16, std::vector<uint8_t>(8, 0));
}

}  // namespace
}  // namespace zo::render
