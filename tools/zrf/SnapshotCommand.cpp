#include <cstring>
#include <vector>

#include "Commands.h"
#include "Images.h"
#include "Util.h"
#include "codec/CZoVdec.h"
#include "codec/ColourConvert.h"
#include "media/CZoFile.h"
#include "media/FrameWalk.h"
#include "media/TimeLocator.h"

namespace zrf {

using namespace zo;

namespace {

constexpr int kSearchFrames = 200000;  // how far to look for a key picture

}  // namespace

int RunSnapshot(const SourceOptions& s, const std::string& out, int channel, const std::string& at,
                const std::string& time, bool force) {
    if (!MayWriteOutputs({out}, force))
        return kExitFailure;
    media::CZoFile reader;
    if (!OpenRecording(reader, s.path, s.rawDisk, s.videoCode))
        return kExitFailure;
    uint64_t target = 0;
    if (!at.empty() && !ParseUnsigned(at, target)) {
        Error("--at takes a byte position");
        return kExitUsage;
    }
    if (!time.empty()) {
        const int64_t seconds = ParseTime(time);
        if (seconds < 0 || seconds > 0xFFFFFFFFll) {
            Error("--time must be \"YYYY-MM-DD HH:MM:SS\"");
            return kExitUsage;
        }
        // The first block of that time, by the time locator over the reader's source.
        media::TimeLocator locator(*reader.Source(), s.videoCode, s.rawDisk);
        const media::TimeLocator::Result found = locator.Find(static_cast<uint32_t>(seconds));
        if (!found.Found()) {
            Error("nothing is recorded at or after " + time + " in '" + s.path + "'");
            return kExitFailure;
        }
        target = found.Position();
    }
    if (target >= reader.GetSize())
        target = reader.GetSize();

    codec::CZoVdec decoder;
    decoder.Init(s.videoCode);
    std::vector<uint8_t> frame(media::kMaxFrameSize);
    std::vector<uint8_t> picture(codec::kMaxDecodedPictureBytes, 128);
    std::memset(picture.data(), 0, 640 * 272);
    int width = 0, height = 0;
    auto isKeyOfChannel = [&](int n) {
        return n > 0 && !reader.IsAudio() && decoder.ParseHeader(frame.data(), static_cast<size_t>(n)) != 0 &&
               decoder.GetChannel() == channel && decoder.IsKey();
    };
    auto decode = [&](int n) {
        if (decoder.DecodePicture(frame.data(), static_cast<size_t>(n), picture.data()) == 1) {
            width = static_cast<int>(decoder.GetWidth());
            height = static_cast<int>(decoder.GetHeight());
        }
    };

    // Reads in one direction until a key picture of the channel turns up
    // (decoded) or the search gives up.
    media::FrameWalk walk(reader);
    walk.SetAreaHandler(ReportSkippedArea);
    auto findKey = [&](bool backward) {
        for (int i = 0, failures = 0; i < kSearchFrames && failures <= 32; ++i) {
            if (backward && reader.GetPosition() == 0)
                return false;
            const int n = backward ? reader.ReadPrevFrame(frame) : walk.Next(frame);
            if (n == 0 && !backward)
                return false;
            if (n == 0) {
                ++failures;
                continue;
            }
            failures = 0;
            if (isKeyOfChannel(n)) {
                decode(n);
                return true;
            }
        }
        return false;
    };

    // The nearest key picture of the channel before the target...
    reader.SetPosition(target);
    if (target == reader.GetSize() && target > 0)
        reader.SetPosition(target - 1);
    bool found = findKey(true);
    if (found) {
        // ...then its updates up to the target.
        for (int failures = 0; failures <= 32 && reader.GetPosition() < target;) {
            const int n = reader.ReadNextFrame(frame);
            if (n == 0) {
                ++failures;
                continue;
            }
            failures = 0;
            if (!reader.IsAudio() && decoder.ParseHeader(frame.data(), static_cast<size_t>(n)) != 0 &&
                decoder.GetChannel() == channel && static_cast<int>(decoder.GetHeight()) == height)
                decode(n);
        }
    } else {
        // None before it: the first key picture after it.
        reader.SetPosition(target);
        found = findKey(false);
    }
    if (!found || width == 0) {
        Error("no decodable key picture of CH" + std::to_string(channel + 1) + " near that place");
        return kExitFailure;
    }

    // A picture is one field: double its lines as a displayed field pair.
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    codec::I420ToRgb24(rgb.data(), picture.data(), width, height);
    std::vector<uint8_t> doubled(rgb.size() * 2);
    const size_t row = static_cast<size_t>(width) * 3;
    for (int y = 0; y < height; ++y) {
        std::memcpy(doubled.data() + (2 * y) * row, rgb.data() + y * row, row);
        std::memcpy(doubled.data() + (2 * y + 1) * row, rgb.data() + y * row, row);
    }
    std::string error;
    if (!WriteStill(out, doubled.data(), width, height * 2, error)) {
        Error(error);
        return kExitFailure;
    }
    media::CalendarTime t;
    std::fprintf(stderr, "wrote %s: CH%d, %dx%d, near byte %llu%s%s\n", out.c_str(), channel + 1, width, height * 2,
                 static_cast<unsigned long long>(target), reader.GetTime(t) ? ", " : "",
                 reader.GetTime(t) ? FormatTime(t).c_str() : "");
    return kExitOk;
}

}  // namespace zrf
