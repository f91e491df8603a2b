#include <cctype>

#include "Commands.h"
#include "Util.h"
#include "platform/OutputFile.h"
#include "synth/DemoRecording.h"

namespace zrf {

namespace {

// "1000", "64K", "512M", "1G" (binary multiples).
bool ParseSize(const std::string& text, uint64_t& bytes) {
    if (text.empty())
        return false;
    std::string digits = text;
    uint64_t scale = 1;
    const char last = static_cast<char>(std::toupper(static_cast<unsigned char>(text.back())));
    if (last == 'K' || last == 'M' || last == 'G') {
        scale = last == 'K' ? 1ull << 10 : last == 'M' ? 1ull << 20 : 1ull << 30;
        digits.pop_back();
    }
    uint64_t value = 0;
    if (!ParseUnsigned(digits, value) || value == 0 || value > (1ull << 44) / scale)
        return false;
    bytes = value * scale;
    return true;
}

}  // namespace

int RunGen(const GenOptions& g) {
    zo::synth::DemoOptions o;
    o.videoCode = g.videoCode;
    o.channels = g.channels;
    o.seconds = g.seconds;
    o.audio = g.audio;
    o.audioChannels = g.audioChannels;
    o.rawDisk = g.rawDisk;
    o.seed = g.seed;
    o.height = g.height;
    o.interval = static_cast<uint8_t>(g.interval);
    o.realVideo = !g.placeholder;
    o.keyEvery = g.keyEvery;
    o.quantiser = g.quantiser;
    o.dual = g.dual;
    if (g.dual && g.videoCode != 5) {
        Error("--dual needs --code 5 (the only layout with dual pictures)");
        return kExitUsage;
    }
    const int64_t start = ParseTime(g.start);
    if (start < 0 || start > 0xFFFFFFFFll) {
        Error("--start must be \"YYYY-MM-DD HH:MM:SS\" between 1970 and 2106");
        return kExitUsage;
    }
    o.startTime = static_cast<uint32_t>(start);
    if (!g.size.empty() && !ParseSize(g.size, o.targetBytes)) {
        Error("--size must be a byte count such as 4096, 64K, 512M or 1G");
        return kExitUsage;
    }
    if (!MayWriteOutputs({g.out}, g.force))
        return kExitFailure;
    // Made under a temporary name and renamed into place when complete.
    zo::platform::OutputFile out;
    if (!out.Open(g.out)) {
        Error(out.Error());
        return kExitFailure;
    }
    zo::synth::DemoStats stats;
    std::string error;
    if (!zo::synth::WriteRecordingFile(o, out.TemporaryPath(), stats, error)) {
        Error(g.out + ": cannot write: " + error);
        return kExitFailure;
    }
    if (stats.videoFrames == 0) {
        Error("the recording would hold no picture; give more --seconds or a larger --size");
        return kExitUsage;
    }
    if (!out.Commit()) {
        Error(out.Error());
        return kExitFailure;
    }
    std::fprintf(stderr, "wrote %s: %llu bytes, %llu blocks, %llu video frames, %llu sound frames\n", g.out.c_str(),
                 static_cast<unsigned long long>(stats.bytes), static_cast<unsigned long long>(stats.blocks),
                 static_cast<unsigned long long>(stats.videoFrames),
                 static_cast<unsigned long long>(stats.soundFrames));
    return kExitOk;
}

}  // namespace zrf
