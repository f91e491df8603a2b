// The live-view worker writes while the user-interface thread starts and
// stops recordings (and the worker stops one itself now and then): every
// file must come out whole and readable, holding only frames that were fed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "media/CZoFile.h"
#include "media/CZoFileWrite.h"
#include "synth/FrameMaker.h"

namespace zo::media {
namespace {

namespace fs = std::filesystem;

TEST(FileWriteThreadTest, WritesRacingStartAndStopLeaveEveryFileWhole) {
    const fs::path dir = fs::temp_directory_path() / ("zo-filewrite-threads-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);

    // Code-2 pictures of a few sizes (a key picture every fourth) and tones.
    synth::Rng rng(11);
    std::vector<std::vector<uint8_t>> pictures;
    std::set<std::string> stored;  // the frames as the file holds them
    for (int i = 0; i < 12; ++i) {
        synth::PictureLayout layout;
        layout.videoCode = kVideoZON;
        layout.key = i % 4 == 0;
        layout.quantiser = 2 + i % 10;
        layout.pictureCounter = i;
        layout.bytesPerSlice = 40 + 90 * static_cast<size_t>(i);
        pictures.push_back(synth::MakeVideoFrame(layout, rng));
        std::vector<uint8_t> f = pictures.back();
        f[3] = layout.key ? 0xF9 : 0xF8;
        f[4] = static_cast<uint8_t>((f[4] & 0x78) << 1);
        stored.insert(std::string(f.begin(), f.end()));
    }
    std::vector<uint8_t> tone;
    synth::AppendToneSpcm8(tone, 440, 16000, 0, 700);
    stored.insert(std::string(tone.begin(), tone.end()));

    CZoFileWrite writer;
    ASSERT_EQ(writer.Init(kVideoZON, kVideoZOC, 16), 1);
    std::atomic<bool> done{false};
    std::atomic<int> written{0};
    std::thread worker([&] {
        // The worker's own buffer, as a sample record from the queue.
        std::vector<uint8_t> buffer(kMaxFrameSize);
        for (uint64_t n = 0; !done.load(); ++n) {
            const std::vector<uint8_t>& p = pictures[n % pictures.size()];
            std::copy(p.begin(), p.end(), buffer.begin());
            CZoSample sample;
            sample.data = buffer.data();
            sample.capacity = static_cast<uint32_t>(buffer.size());
            sample.length = static_cast<uint32_t>(p.size());
            if (writer.IsRecording())
                written += writer.WriteVideoFrame(sample);
            if (n % 3 == 0)
                written += writer.WriteSoundFrame(tone.data(), tone.size());
            if (n % 500 == 499)
                writer.StopRecording();  // the live view ending
            if (n % 64 == 0)
                std::this_thread::yield();
        }
    });

    constexpr int kRounds = 30;
    for (int round = 0; round < kRounds; ++round) {
        std::string name = std::to_string(round);
        name += ".ZRF";
        ASSERT_EQ(writer.StartRecording((dir / name).string()), 1)
            << writer.GetLastErrorText();
        while (writer.GetStats().bytesWritten < 2 * kBlockSize && writer.IsRecording())
            std::this_thread::yield();
        (void)writer.GetPath();
        writer.StopRecording();
    }
    done = true;
    worker.join();
    EXPECT_GT(written.load(), 0);

    std::vector<uint8_t> buffer(kMaxFrameSize);
    int files = 0;
    size_t frames = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        ++files;
        ASSERT_EQ(entry.file_size() % kBlockSize, 0u) << entry.path();
        if (entry.file_size() == 0)
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        for (size_t at = 0; at < bytes.size(); at += kBlockSize)
            ASSERT_TRUE(DecodeBlockHeader(bytes.data() + at, kVideoZOC).valid) << entry.path();
        EXPECT_EQ(bytes[8 + 3], 0xF9) << entry.path();  // begins with a key picture
        CZoFile reader;
        reader.SetFormat(kVideoZOC);
        ASSERT_EQ(reader.Open(entry.path().string(), false), 1);
        for (int n; (n = reader.ReadNextFrame(buffer)) > 0; ++frames)
            ASSERT_TRUE(stored.count(std::string(buffer.begin(), buffer.begin() + n)))
                << entry.path() << " frame of " << n << " bytes";
    }
    EXPECT_EQ(files, kRounds);
    EXPECT_GT(frames, 0u);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace zo::media
