// zrf export: one AVI file per chosen camera channel, and writing of
// "CompOptions" files.
#include <unistd.h>

#include <QGuiApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "Commands.h"
#include "Util.h"
#include "export/CZoConverter.h"
#include "export/CompressionOptions.h"
#include "export/EncoderRegistry.h"
#include "media/FrameWalk.h"
#include "platform/OutputFile.h"

namespace zrf {

using namespace zo;

namespace {

// Asks on a terminal; without one, and without --force, refuses.
class ExportMessagePort final : public platform::MessagePort {
public:
    explicit ExportMessagePort(bool force) : force_(force) {}
    void Show(std::string_view text) override {
        std::fprintf(stderr, "zrf: %.*s\n", static_cast<int>(text.size()), text.data());
    }
    bool Ask(std::string_view question) override {
        asked_ = true;
        if (force_)
            return yes_ = true;
        if (::isatty(STDIN_FILENO) != 1 || ::isatty(STDERR_FILENO) != 1) {
            std::fprintf(stderr, "zrf: %.*szrf: not replacing them without --force\n",
                         static_cast<int>(question.size()), question.data());
            return false;
        }
        std::fprintf(stderr, "%.*sReplace? [y/N] ", static_cast<int>(question.size()), question.data());
        std::fflush(stderr);
        char answer[16] = {};
        if (!std::fgets(answer, sizeof answer, stdin))
            return false;
        yes_ = answer[0] == 'y' || answer[0] == 'Y';
        return yes_;
    }

    // The user was asked and said no.
    bool Refused() const { return asked_ && !yes_; }

private:
    bool force_;
    bool asked_ = false;
    bool yes_ = false;
};

// The encoders by the names users know.
std::string CodecName(uint32_t handler) {
    if (exporter::IsXvidHandler(handler))
        return "Xvid MPEG-4";
    if (handler == exporter::kHandlerUncompressed || handler == 0)
        return "uncompressed";
    return "the unknown handler '" + exporter::FourCcText(handler) + "'";
}

int WriteOptionsFile(const ExportOptions& o) {
    exporter::CompressionOptions options;
    options.flags = exporter::kOptionValid;
    if (o.codec == "raw") {
        options.handler = exporter::kHandlerUncompressed;
    } else {
        options.handler = exporter::kHandlerXvid;
        options.keyFrameEvery = 300;
    }
    if (o.quality >= 0)
        options.quality = o.quality * 100;
    if (o.keyint > 0) {
        options.keyFrameEvery = static_cast<uint32_t>(o.keyint);
        options.flags |= exporter::kOptionKeyFrames;
    }
    if (o.bitrateKbit > 0) {
        options.bytesPerSecond = static_cast<uint32_t>(static_cast<uint64_t>(o.bitrateKbit) * 1000 / 8);
        options.flags |= exporter::kOptionDataRate;
    }
    const std::vector<uint8_t> bytes = exporter::SerializeCompressionOptions(options);
    if (!MayWriteOutputs({o.writeOptions}, o.force))
        return kExitFailure;
    std::string error;
    if (!WriteFileWhole(o.writeOptions, bytes.data(), bytes.size(), error)) {
        Error(error);
        return kExitFailure;
    }
    std::fprintf(stderr, "wrote %s: %s\n", o.writeOptions.c_str(), CodecName(options.handler).c_str());
    return kExitOk;
}

// Channels that have pictures, by one read of the recording.
uint32_t ChannelsWithPictures(const std::string& path, bool rawDisk, int videoCode) {
    media::CZoFile reader;
    reader.SetFormat(videoCode);
    if (!reader.Open(path, rawDisk))
        return 0;
    reader.FindGridOrigin();
    std::vector<uint8_t> frame(media::kMaxFrameSize);
    uint32_t seen = 0;
    media::FrameWalk walk(reader);
    for (;;) {
        const int n = walk.Next(frame);
        if (n <= 0)
            break;
        media::VideoHeader h;
        if (!reader.IsAudio() && media::ParseVideoHeader(frame.data(), static_cast<size_t>(n), videoCode, h))
            seen |= 1u << (h.channel & 15);
    }
    return seen;
}

std::string Clock(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

}  // namespace

int RunExport(const ExportOptions& o, int argc, char** argv) {
    if (!o.writeOptions.empty())
        return WriteOptionsFile(o);
    if (o.path.empty() || o.out.empty()) {
        Error("export needs PATH and OUT.avi (or --write-options FILE)");
        return kExitUsage;
    }
    uint32_t mask = 0xFFFFu;
    if (!o.channels.empty() && !ParseChannels(o.channels, mask)) {
        Error("--channels takes channel numbers 1-16, as in 1,3,5-8");
        return kExitUsage;
    }
    {
        media::CZoFile probe;
        if (!OpenRecording(probe, o.path, o.rawDisk, o.videoCode))
            return kExitFailure;
    }
    // Special files are never replaced; existing files are asked about below.
    {
        std::vector<std::string> special;
        for (int c = 0; c < 16; ++c) {
            const std::string name = exporter::CZoConverter::OutputName(o.out, c);
            if ((mask & (1u << c)) && platform::InspectOutputPath(name) == platform::OutputState::Special)
                special.push_back(name);
        }
        if (!special.empty() && !MayWriteOutputs(special, o.force))
            return kExitFailure;
    }

    // The time text is drawn with QtGui, which needs an application object;
    // without a display the offscreen platform serves.
    std::unique_ptr<QGuiApplication> gui;
    int guiArgc = argc > 0 ? 1 : 0;
    if (!o.noTime) {
        if (!std::getenv("QT_QPA_PLATFORM"))
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        QuietQtMessages();
        gui = std::make_unique<QGuiApplication>(guiArgc, argv);
    }

    ExportMessagePort port(o.force);
    // Several jobs split the channels that have pictures between converters,
    // each reading the recording and encoding its own channels.
    std::vector<uint32_t> masks;
    const int jobs = std::clamp(o.jobs, 1, 16);
    if (jobs == 1) {
        masks.push_back(mask);
    } else {
        const uint32_t present = ChannelsWithPictures(o.path, o.rawDisk, o.videoCode) & mask;
        masks.assign(static_cast<size_t>(jobs), 0);
        int next = 0;
        for (int c = 0; c < 16; ++c)
            if (present & (1u << c))
                masks[static_cast<size_t>(next++ % jobs)] |= 1u << c;
        masks.erase(std::remove(masks.begin(), masks.end(), 0u), masks.end());
        if (masks.empty())
            masks.push_back(mask);
        // Ask once for all of them.
        std::string existing;
        for (int c = 0; c < 16; ++c) {
            const std::string name = exporter::CZoConverter::OutputName(o.out, c);
            if ((mask & (1u << c)) && std::filesystem::exists(name))
                existing += name + "\n";
        }
        if (!existing.empty() &&
            !port.Ask("The following files already exist, Do you want to replace them?\n\n" + existing))
            return kExitFailure;
    }
    ExportMessagePort yes(true);

    std::vector<std::unique_ptr<exporter::CZoConverter>> converters;
    for (size_t i = 0; i < masks.size(); ++i)
        converters.push_back(std::make_unique<exporter::CZoConverter>(jobs == 1 ? &port : &yes));

    // Writers reset the shared options when they are made; the options file
    // is read after that, and --codec overrides it.
    exporter::SetWorkDirectory(std::filesystem::current_path().string());
    exporter::PrepareEncoder();
    exporter::CompressionOptions options = exporter::SharedOptions();
    const std::string optionsPath = exporter::OptionsFilePath(std::filesystem::current_path().string());
    const bool optionsFileThere = platform::InspectOutputPath(optionsPath) != platform::OutputState::Absent;
    if (std::string kind; o.codec.empty() &&
                          platform::InspectOutputPath(optionsPath, &kind) == platform::OutputState::Special)
        Error("ignoring '" + optionsPath + "': it is " + kind + ", not a regular file");
    if (o.codec.empty() && options.handler != 0 && !exporter::IsXvidHandler(options.handler) &&
        options.handler != exporter::kHandlerUncompressed) {
        Error("'" + optionsPath + "' names the video handler '" + exporter::FourCcText(options.handler) +
              "', which zrf does not have; --codec xvid or --codec raw chooses one, or --write-options makes a new file");
        return kExitFailure;
    }
    if (o.codec.empty() && !exporter::IsXvidHandler(options.handler))
        std::fprintf(stderr, "zrf: writing uncompressed video (very large files)%s; --codec xvid writes Xvid MPEG-4\n",
                     optionsFileThere ? "" : ": no CompOptions file here");
    if (o.codec == "raw") {
        options = exporter::CompressionOptions{};
    } else if (o.codec == "xvid" && !exporter::IsXvidHandler(options.handler)) {
        options = exporter::CompressionOptions{};
        options.handler = exporter::kHandlerXvid;
    }
    exporter::SetSharedOptions(options);

    uint64_t totalBytes = 0, totalPictures = 0;
    std::vector<uint64_t> sizes;
    for (size_t i = 0; i < converters.size(); ++i) {
        exporter::CZoConverter& c = *converters[i];
        c.Configure(o.videoCode, media::kAudioSPCM8, 4, 16000, 4);
        c.SetChannelMask(masks[i]);
        c.SetExportAudio(o.noAudio ? 0 : 1);
        c.SetTimeText(!o.noTime);
        c.SetFrameWaitMs(0);
        if (!c.OpenSource(o.path, o.rawDisk)) {
            Error("cannot open '" + o.path + "'");
            return kExitFailure;
        }
        sizes.push_back(c.GetSize());
        totalBytes += c.GetSize();
        if (!c.OpenOutputFile(o.out)) {
            if (port.Refused())
                return kExitFailure;
            Error("cannot create the output files of '" + o.out + "'");
            return kExitFailure;
        }
        for (int ch = 0; ch < 16; ++ch)
            if (c.HasOutput(ch))
                totalPictures += c.Scan().pictures[static_cast<size_t>(ch)];
    }
    if (totalPictures == 0) {
        Error("no pictures of the chosen channels in '" + o.path + "'; nothing written");
        return kExitFailure;
    }

    const auto started = std::chrono::steady_clock::now();
    for (auto& c : converters)
        if (c->Start() != 1) {
            Error("cannot start the export thread");
            return kExitFailure;
        }
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    int lastLine = -1;
    for (;;) {
        bool all = true;
        uint64_t position = 0, written = 0;
        for (size_t i = 0; i < converters.size(); ++i) {
            // A finished converter has closed its reader: count it whole.
            const bool finished = converters[i]->IsFinished() != 0;
            all = all && finished;
            position += finished ? sizes[i] : std::min(converters[i]->GetPosition(), sizes[i]);
            written += converters[i]->PicturesWritten();
        }
        const int percent = exporter::CZoConverter::PercentDone(position, totalBytes);
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const double left =
            written > 0 ? elapsed * static_cast<double>(totalPictures - std::min(written, totalPictures)) /
                              static_cast<double>(written)
                        : 0.0;
        if (terminal) {
            char bar[31];
            const int filled = percent * 30 / 100;
            for (int i = 0; i < 30; ++i)
                bar[i] = i < filled ? '#' : '.';
            bar[30] = 0;
            std::fprintf(stderr, "\r[%s] %3d%%  %llu/%llu frames  %s elapsed  %s left ", bar, percent,
                         static_cast<unsigned long long>(written), static_cast<unsigned long long>(totalPictures),
                         Clock(elapsed).c_str(), Clock(left).c_str());
            std::fflush(stderr);
        } else if (percent / 10 != lastLine || all) {
            lastLine = percent / 10;
            std::fprintf(stderr, "progress %d%% %llu/%llu frames %.1fs\n", percent,
                         static_cast<unsigned long long>(written), static_cast<unsigned long long>(totalPictures),
                         elapsed);
        }
        if (all)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    if (terminal)
        std::fprintf(stderr, "\n");
    for (auto& c : converters)
        c->Stop();
    for (const media::BlockArea& area : converters.front()->Scan().skipped)
        std::fprintf(stderr, "zrf: stepped over %s without valid blocks\n", DescribeArea(area).c_str());
    // Each file is completed and put in place, or reported and removed.
    bool allWritten = true;
    for (auto& c : converters)
        for (int ch = 0; ch < 16; ++ch)
            if (c->HasOutput(ch)) {
                const auto& w = c->Writer(ch);
                const long long pictures = static_cast<long long>(w.VideoFramesWritten());
                const int width = w.PictureFormat().width, height = w.PictureFormat().height;
                const std::string codec = CodecName(w.VideoHandler());
                // Sound is announced only when some was written.
                const bool sound = w.HasSound() && w.SoundPosition() > 0;
                const std::string name = exporter::CZoConverter::OutputName(o.out, ch);
                if (!c->CloseOutput(ch)) {
                    allWritten = false;
                    Error(c->Writer(ch).CloseError().empty() ? "cannot write '" + name + "'"
                                                             : c->Writer(ch).CloseError());
                    continue;
                }
                std::fprintf(stderr, "wrote %s: CH%d, %lld pictures, %dx%d, %u/%u per second, %s, %s\n",
                             name.c_str(), ch + 1, pictures, width, height, c->VideoRate(ch), c->VideoScale(ch),
                             codec.c_str(), sound ? "sound" : "no sound");
            }
    converters.clear();
    if (!allWritten) {
        Error("the export is incomplete: the files named above were not written");
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace zrf
