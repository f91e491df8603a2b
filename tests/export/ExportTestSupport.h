// Helpers of the export tests: temporary folders, recordings made with the
// synthetic recorder, independent looks into AVI files (ffprobe, ffmpeg and
// a reading of the stream headers), and the reference pictures of a
// channel decoded with the project's own decoder.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "codec/CZoVdec.h"
#include "codec/ColourConvert.h"
#include "media/CZoFile.h"
#include "support/RunProcess.h"
#include "synth/DemoRecording.h"

namespace zo::test {

namespace fs = std::filesystem;

inline fs::path MakeTempDir(const std::string& tag) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    fs::path dir = fs::temp_directory_path() /
                   ("zo_export_" + tag + "_" + std::to_string(::getpid()) + "_" + info->test_suite_name() + "_" +
                    info->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

inline ProcessResult Shell(const std::string& command) {
    static int counter = 0;
    return RunProcess(command, fs::temp_directory_path() / ("zo_export_err_" + std::to_string(::getpid()) + "_" +
                                                            std::to_string(counter++)));
}

inline bool HaveFfmpegTools() {
    static const bool have = Shell("ffprobe -version").status == 0 && Shell("ffmpeg -version").status == 0;
    return have;
}

#define ZO_REQUIRE_FFMPEG()                                                                              \
    do {                                                                                                 \
        if (!::zo::test::HaveFfmpegTools())                                                              \
            GTEST_SKIP() << "ffprobe/ffmpeg not installed (scripts/bootstrap installs them); AVI files " \
                            "are not checked";                                                           \
    } while (0)

// key=value entries of one stream ("v:0", "a:0") as ffprobe reports them.
inline std::map<std::string, std::string> ProbeStream(const fs::path& file, const std::string& stream,
                                                      bool count = true) {
    std::map<std::string, std::string> entries;
    const ProcessResult r = Shell("ffprobe -v error " + std::string(count ? "-count_packets " : "") +
                                  "-select_streams " + stream + " -show_streams -of default=nw=1 '" +
                                  file.string() + "'");
    size_t start = 0;
    while (start < r.out.size()) {
        size_t end = r.out.find('\n', start);
        if (end == std::string::npos)
            end = r.out.size();
        const std::string line = r.out.substr(start, end - start);
        const size_t eq = line.find('=');
        if (eq != std::string::npos)
            entries[line.substr(0, eq)] = line.substr(eq + 1);
        start = end + 1;
    }
    return entries;
}

inline int StreamCount(const fs::path& file) {
    const ProcessResult r =
        Shell("ffprobe -v error -show_entries stream=index -of csv=p=0 '" + file.string() + "'");
    int n = 0;
    for (char c : r.out)
        n += c == '\n';
    return n;
}

// Presentation times of the video packets.
inline std::vector<int64_t> VideoPacketTimes(const fs::path& file) {
    const ProcessResult r = Shell("ffprobe -v error -select_streams v:0 -show_entries packet=pts -of csv=p=0 '" +
                                  file.string() + "'");
    std::vector<int64_t> pts;
    size_t start = 0;
    while (start < r.out.size()) {
        size_t end = r.out.find('\n', start);
        if (end == std::string::npos)
            end = r.out.size();
        if (end > start)
            pts.push_back(std::stoll(r.out.substr(start, end - start)));
        start = end + 1;
    }
    return pts;
}

// Every coded video picture of the file decoded by ffmpeg to top-down BGR.
inline std::vector<uint8_t> FfmpegPictures(const fs::path& file, const fs::path& scratch) {
    const fs::path raw = scratch / "ffmpeg-decoded.bgr";
    Shell("ffmpeg -v error -y -i '" + file.string() + "' -map 0:v -fps_mode passthrough -f rawvideo -pix_fmt bgr24 '" +
          raw.string() + "'");
    std::ifstream in(raw, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The audio samples ffmpeg decodes, as unsigned 8-bit or signed 16-bit bytes.
inline std::vector<uint8_t> FfmpegSound(const fs::path& file, const fs::path& scratch, const char* format) {
    const fs::path raw = scratch / "ffmpeg-sound.raw";
    Shell("ffmpeg -v error -y -i '" + file.string() + "' -map 0:a -f " + format + " '" + raw.string() + "'");
    std::ifstream in(raw, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The stream headers of an AVI file as stored ("strh" chunks).
struct StreamHeader {
    std::string type;
    std::string handler;
    uint32_t scale = 0;
    uint32_t rate = 0;
    uint32_t initialFrames = 0;
    uint32_t sampleSize = 0;
};
inline std::vector<StreamHeader> ReadStreamHeaders(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> head(16384);
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    auto u32 = [&](size_t at) {
        return static_cast<uint32_t>(head[at]) | static_cast<uint32_t>(head[at + 1]) << 8 |
               static_cast<uint32_t>(head[at + 2]) << 16 | static_cast<uint32_t>(head[at + 3]) << 24;
    };
    std::vector<StreamHeader> out;
    for (size_t i = 0; i + 56 <= head.size(); ++i) {
        if (std::memcmp(head.data() + i, "strh", 4) != 0)
            continue;
        const size_t b = i + 8;  // AVISTREAMHEADER after the chunk header
        StreamHeader h;
        h.type.assign(reinterpret_cast<const char*>(head.data() + b), 4);
        h.handler.assign(reinterpret_cast<const char*>(head.data() + b + 4), 4);
        h.initialFrames = u32(b + 16);
        h.scale = u32(b + 20);
        h.rate = u32(b + 24);
        h.sampleSize = u32(b + 44);
        out.push_back(h);
    }
    return out;
}

inline void WriteRecording(const synth::DemoOptions& options, const fs::path& path) {
    synth::DemoStats stats;
    std::string error;
    ASSERT_TRUE(synth::WriteRecordingFile(options, path.string(), stats, error)) << error;
}

// What the export must write for each picture of `channel`: the picture
// decoded into the channel's own buffer (black at first), converted to
// 24-bit bottom-up RGB, lines doubled in memory order.
inline std::vector<std::vector<uint8_t>> ReferencePictures(const fs::path& recording, int channel,
                                                           int videoCode = 6) {
    media::CZoFile reader;
    reader.SetFormat(videoCode);
    std::vector<std::vector<uint8_t>> out;
    if (!reader.Open(recording.string(), false))
        return out;
    codec::CZoVdec decoder;
    decoder.Init(videoCode);
    std::vector<uint8_t> frame(media::kMaxFrameSize);
    std::vector<uint8_t> picture(codec::kMaxDecodedPictureBytes, 128);
    std::memset(picture.data(), 0, 640 * 272);
    for (int failures = 0; failures <= 32;) {
        const int n = reader.ReadNextFrame(frame);
        if (n <= 0) {
            ++failures;
            continue;
        }
        failures = 0;
        if (reader.IsAudio() || decoder.ParseHeader(frame.data(), static_cast<size_t>(n)) == 0 ||
            decoder.GetChannel() != channel)
            continue;
        if (decoder.DecodePicture(frame.data(), static_cast<size_t>(n), picture.data()) != 1)
            continue;
        const int w = static_cast<int>(decoder.GetWidth()), h = static_cast<int>(decoder.GetHeight());
        std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
        codec::I420ToRgb24BottomUp(rgb.data(), picture.data(), w, h);
        const size_t row = static_cast<size_t>(w) * 3;
        std::vector<uint8_t> doubled(rgb.size() * 2);
        for (int r = 0; r < 2 * h; ++r)
            for (size_t i = 0; i < row; ++i) {
                const uint8_t a = rgb[static_cast<size_t>(r / 2) * row + i];
                const bool mix = (r % 2 == 1) && r != 2 * h - 1;
                doubled[static_cast<size_t>(r) * row + i] =
                    mix ? static_cast<uint8_t>((a + rgb[static_cast<size_t>(r / 2 + 1) * row + i]) / 2) : a;
            }
        out.push_back(std::move(doubled));
    }
    return out;
}

// A bottom-up picture turned top-down (as ffmpeg delivers pictures).
inline std::vector<uint8_t> FlipRows(const uint8_t* bottomUp, int width, int height) {
    const size_t row = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> out(row * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        std::memcpy(out.data() + static_cast<size_t>(y) * row, bottomUp + static_cast<size_t>(height - 1 - y) * row,
                    row);
    return out;
}

inline double Psnr(const uint8_t* a, const uint8_t* b, size_t n) {
    double sum = 0;
    for (size_t i = 0; i < n; ++i) {
        const double d = static_cast<double>(a[i]) - static_cast<double>(b[i]);
        sum += d * d;
    }
    if (sum == 0)
        return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(n) / sum);
}

}  // namespace zo::test
