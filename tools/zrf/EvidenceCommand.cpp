// zrf evidence: a package for examiners from a time range of a recording or
// a whole DVR disk: the native extract, one AVI per camera, a list of every
// frame with its place on the source and its digest, reports for people and
// programs, a note of the run, and SHA256SUMS over it all.
//
// Everything but run.txt (and its line in SHA256SUMS) depends only on the
// source, the range and the options, so two runs give identical files.
#include <CLI/CLI.hpp>
#include <QGuiApplication>

#include <fcntl.h>
#include <linux/fs.h>
#include <openssl/evp.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Registry.h"
#include "TimeSupport.h"
#include "Util.h"
#include "export/CZoConverter.h"
#include "export/EncoderRegistry.h"
#include "media/BookmarkStore.h"
#include "media/CZoFile.h"
#include "media/TimeIndex.h"
#include "media/TimeLocator.h"
#include "platform/OutputFile.h"

namespace zrf {
namespace {

namespace fs = std::filesystem;
using namespace zo;

struct EvidenceOptions {
    std::string path;
    std::string outdir;
    std::string from, to;
    bool rawDisk = false;
    int videoCode = 6;
    std::string channels;  // "1,3,5-8" (1 to 16); empty: all
    int jobs = 1;
    bool noAvi = false;
    bool hashSource = false;
    std::string commandLine;  // as typed, for run.txt
    std::string version;
    int argc = 0;  // for the QGuiApplication that draws the time text
    char** argv = nullptr;
};

// ---- Digests ------------------------------------------------------------------

class Sha256 {
public:
    Sha256() : ctx_(EVP_MD_CTX_new()) { EVP_DigestInit_ex(ctx_, EVP_sha256(), nullptr); }
    ~Sha256() { EVP_MD_CTX_free(ctx_); }
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    void Add(const void* data, size_t size) { EVP_DigestUpdate(ctx_, data, size); }
    std::string Hex() {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        EVP_DigestFinal_ex(ctx_, digest, &length);
        static const char* kDigits = "0123456789abcdef";
        std::string out;
        for (unsigned i = 0; i < length; ++i) {
            out += kDigits[digest[i] >> 4];
            out += kDigits[digest[i] & 15];
        }
        EVP_DigestInit_ex(ctx_, EVP_sha256(), nullptr);
        return out;
    }

private:
    EVP_MD_CTX* ctx_;
};

// ---- Output files -------------------------------------------------------------

// Every file of the package: written beside its name, each write checked,
// synced and renamed into place (the shared output mechanism).
bool WriteTextFile(const fs::path& path, const std::string& text) {
    platform::OutputFile f;
    if (!f.Open(path.string()) || !f.Write(text.data(), text.size()) || !f.Commit()) {
        Error("cannot write " + f.Error());
        return false;
    }
    return true;
}

// ---- The blocks of the range ----------------------------------------------------

struct BlockRun {
    uint64_t first = 0;  // source block
    uint64_t count = 0;
};

struct RangeBlocks {
    std::vector<uint64_t> blocks;  // source blocks in time order
    std::vector<uint32_t> times;
    std::vector<BlockRun> extracted;  // the same as runs of consecutive source blocks
    std::vector<BlockRun> damaged;    // blocks without a counting time between extracted ones
    uint64_t damagedBlocks = 0;
    bool crossesTurn = false;
};

void AddToRuns(std::vector<BlockRun>& runs, uint64_t block) {
    if (!runs.empty() && runs.back().first + runs.back().count == block)
        ++runs.back().count;
    else
        runs.push_back({block, 1});
}

// Walks the blocks in time order from the first at or after `from` until a
// block after `to`: the older part of a turned ring, then the newer part.
RangeBlocks CollectRange(media::TimeLocator& locator, uint64_t start, uint32_t from, uint32_t to) {
    RangeBlocks r;
    const uint64_t n = locator.Blocks();
    const uint64_t turn = locator.TurningPoint();
    std::vector<std::pair<uint64_t, uint64_t>> segments;
    if (turn == media::kNoBlockIndex)
        segments = {{start, n}};
    else if (start >= turn)
        segments = {{start, n}, {0, turn}};
    else
        segments = {{start, turn}};
    std::vector<BlockRun> pending;  // damaged blocks not yet known to lie inside the range
    for (size_t s = 0; s < segments.size(); ++s) {
        for (uint64_t i = segments[s].first; i < segments[s].second; ++i) {
            const int64_t t = locator.CountingTime(i);
            if (t < 0) {
                AddToRuns(pending, i);
                continue;
            }
            if (t > to)
                return r;
            if (t < from)
                continue;
            if (!r.blocks.empty())
                for (const BlockRun& p : pending) {
                    r.damaged.push_back(p);
                    r.damagedBlocks += p.count;
                }
            pending.clear();
            if (s > 0 && !r.blocks.empty() && r.blocks.back() >= turn)
                r.crossesTurn = true;
            r.blocks.push_back(i);
            r.times.push_back(static_cast<uint32_t>(t));
            AddToRuns(r.extracted, i);
        }
    }
    return r;
}

// ---- Frames of the extract ---------------------------------------------------------

struct ChannelSummary {
    uint64_t frames = 0;
    uint64_t bytes = 0;
    uint32_t first = 0, last = 0;
    void Add(uint32_t t, uint64_t length) {
        if (frames == 0)
            first = t;
        last = t;
        ++frames;
        bytes += length;
    }
};

struct FrameSummary {
    uint64_t frames = 0;
    std::array<ChannelSummary, 16> pictures{};
    std::array<ChannelSummary, 4> sound{};
};

// The extract offset of the first start code in its stream (the reader
// collects the first frame from there), or -1.
int64_t FirstStartCode(const media::ByteSource& extract) {
    uint8_t block[media::kBlockSize];
    uint32_t shift = 0xFFFFFFFFu;
    uint64_t recent[4] = {};
    const uint64_t blocks = extract.Size() / media::kBlockSize;
    for (uint64_t b = 0; b < blocks && b < 64; ++b) {
        if (extract.ReadAt(b * media::kBlockSize, block, sizeof block) != static_cast<int64_t>(sizeof block))
            return -1;
        for (size_t k = media::kBlockHeaderSize; k < media::kBlockSize; ++k) {
            shift = (shift << 8) | block[k];
            recent[0] = recent[1];
            recent[1] = recent[2];
            recent[2] = recent[3];
            recent[3] = b * media::kBlockSize + k;
            if (shift >= 0x000001F8u && shift <= 0x000001FDu)
                return static_cast<int64_t>(recent[0]);
        }
    }
    return -1;
}

std::string CsvTime(uint32_t t) { return FormatBlockTime(t); }

// Lists every frame of the extract into frames.csv and sums them up.
bool WriteFrameList(const fs::path& extractPath, const fs::path& csvPath, const RangeBlocks& range, int videoCode,
                    FrameSummary& summary) {
    media::CZoFile reader;
    reader.SetFormat(videoCode);
    if (!reader.Open(extractPath.string(), false)) {
        Error("cannot read back '" + extractPath.string() + "'");
        return false;
    }
    media::OpenStatus status;
    auto extract = media::FileSource::Open(extractPath.string(), status);
    if (!extract) {
        Error("cannot read back '" + extractPath.string() + "'");
        return false;
    }
    platform::OutputFile csv;
    const std::string header = "index,kind,channel,source_offset,block_time,key,length,sha256\n";
    if (!csv.Open(csvPath.string()) || !csv.Write(header.data(), header.size())) {
        Error("cannot write " + csv.Error());
        return false;
    }
    std::vector<uint8_t> frame(media::kMaxFrameSize);
    Sha256 digest;
    int64_t start = FirstStartCode(*extract);
    std::string line;
    for (;;) {
        const int n = reader.ReadNextFrame(frame);
        if (n <= 0)
            break;
        const uint64_t at = start >= 0 ? static_cast<uint64_t>(start) : 0;
        const uint64_t extractBlock = std::min<uint64_t>(at / media::kBlockSize, range.blocks.size() - 1);
        const uint64_t sourceOffset = range.blocks[extractBlock] * media::kBlockSize + at % media::kBlockSize;
        const uint32_t t = range.times[extractBlock];
        const bool sound = reader.IsAudio();
        int channel = reader.Channel();
        bool key = false;
        if (!sound) {
            media::VideoHeader h;
            if (media::ParseVideoHeader(frame.data(), static_cast<size_t>(n), videoCode, h)) {
                key = h.key;
                summary.pictures[static_cast<size_t>(h.channel & 15)].Add(t, static_cast<uint64_t>(n));
            }
        } else {
            summary.sound[static_cast<size_t>(channel & 3)].Add(t, static_cast<uint64_t>(n));
        }
        digest.Add(frame.data(), static_cast<size_t>(n));
        line = std::to_string(summary.frames) + "," + (sound ? "audio" : "video") + "," + std::to_string(channel + 1) +
               "," + std::to_string(sourceOffset) + "," + CsvTime(t) + "," + (sound ? "" : key ? "1" : "0") + "," +
               std::to_string(n) + "," + digest.Hex() + "\n";
        if (!csv.Write(line.data(), line.size())) {
            Error("cannot write " + csv.Error());
            return false;
        }
        ++summary.frames;
        start = static_cast<int64_t>(reader.GetPosition());  // the next frame's start code
    }
    if (!csv.Commit()) {
        Error("cannot write " + csv.Error());
        return false;
    }
    return true;
}

// ---- AVI files -------------------------------------------------------------------

struct AviResult {
    int channel = 0;  // 0-based
    std::string name;
    long long pictures = 0;
    int width = 0, height = 0;
    uint32_t rate = 0, scale = 0;
    bool sound = false;
};

// Exports the channels of `mask` from the extract into CH<n>.avi, split over
// `jobs` converters that run at once. Xvid with its defaults and the time
// burned in, whatever options file lies around: the package must not depend
// on the folder it is made from.
bool ExportAvis(const fs::path& dir, const fs::path& extract, uint32_t mask, int jobs, int videoCode,
                std::vector<AviResult>& results) {
    std::vector<uint32_t> masks(static_cast<size_t>(jobs), 0);
    int next = 0;
    for (int c = 0; c < 16; ++c)
        if (mask & (1u << c))
            masks[static_cast<size_t>(next++ % jobs)] |= 1u << c;
    masks.erase(std::remove(masks.begin(), masks.end(), 0u), masks.end());
    if (masks.empty())
        return true;

    platform::StderrMessagePort port("zrf: ");
    std::vector<std::unique_ptr<exporter::CZoConverter>> converters;
    for (size_t i = 0; i < masks.size(); ++i)
        converters.push_back(std::make_unique<exporter::CZoConverter>(&port));
    exporter::SetWorkDirectory(dir.string());  // holds no options file
    exporter::PrepareEncoder();
    exporter::CompressionOptions options;
    options.handler = exporter::kHandlerXvid;
    exporter::SetSharedOptions(options);

    const fs::path base = dir / ".partial.avi";
    uint64_t totalBytes = 0;
    for (size_t i = 0; i < converters.size(); ++i) {
        exporter::CZoConverter& c = *converters[i];
        c.Configure(videoCode, media::kAudioSPCM8, 4, 16000, 4);
        c.SetChannelMask(masks[i]);
        c.SetExportAudio(1);
        c.SetTimeText(true);
        c.SetFrameWaitMs(0);
        if (!c.OpenSource(extract.string()) || !c.OpenOutputFile(base.string())) {
            Error("cannot prepare the AVI files in '" + dir.string() + "'");
            return false;
        }
        totalBytes += c.GetSize();
    }
    for (auto& c : converters)
        if (c->Start() != 1) {
            Error("cannot start the export thread");
            return false;
        }
    Progress progress("AVI files");
    for (;;) {
        bool all = true;
        uint64_t position = 0;
        for (auto& c : converters) {
            const bool finished = c->IsFinished() != 0;
            all = all && finished;
            position += finished ? c->GetSize() : std::min(c->GetPosition(), c->GetSize());
        }
        progress.Update(position, totalBytes);
        if (all)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    progress.Finish();
    for (auto& c : converters)
        c->Stop();
    for (auto& c : converters)
        for (int ch = 0; ch < 16; ++ch)
            if (c->HasOutput(ch)) {
                const auto& w = c->Writer(ch);
                AviResult a;
                a.channel = ch;
                a.name = "CH" + std::to_string(ch + 1) + ".avi";
                a.pictures = static_cast<long long>(w.VideoFramesWritten());
                a.width = w.PictureFormat().width;
                a.height = w.PictureFormat().height;
                a.rate = c->VideoRate(ch);
                a.scale = c->VideoScale(ch);
                a.sound = w.HasSound();
                results.push_back(a);
            }
    converters.clear();  // completes the files
    std::sort(results.begin(), results.end(), [](const AviResult& a, const AviResult& b) { return a.channel < b.channel; });
    for (const AviResult& a : results) {
        const fs::path written = exporter::CZoConverter::OutputName(base.string(), a.channel);
        std::error_code ec;
        if (!fs::is_regular_file(written, ec) || fs::file_size(written, ec) == 0) {
            Error("the export did not complete '" + written.string() + "'");
            return false;
        }
        fs::rename(written, dir / a.name, ec);
        if (ec) {
            Error("cannot rename '" + written.string() + "': " + ec.message());
            return false;
        }
    }
    return true;
}

// ---- The package -------------------------------------------------------------------

std::string JsonTime(uint32_t t) { return JsonString(FormatBlockTime(t)); }

std::string UserName() {
    if (const passwd* pw = ::getpwuid(::getuid()))
        return pw->pw_name;
    return "uid " + std::to_string(::getuid());
}

std::string HostName() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0)
        return "unknown";
    return host;
}

std::string UtcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::gmtime_r(&now, &tm);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &tm);
    return text;
}

// How the source may be written: a block device that is not read-only is
// reported (examiners attach disks through write blockers).
std::string WriteProtection(const std::string& device, bool blockDevice, bool& writable) {
    writable = false;
    if (!blockDevice)
        return "regular file, opened read-only";
    int readOnly = 0;
    const int fd = ::open(device.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        if (::ioctl(fd, BLKROGET, &readOnly) != 0)
            readOnly = 0;
        ::close(fd);
    }
    writable = readOnly == 0;
    return writable ? "block device that is WRITABLE (no write blocker or read-only setting detected); opened read-only"
                    : "block device set read-only; opened read-only";
}

bool HashSource(const media::ByteSource& source, std::string& hex) {
    Sha256 digest;
    std::vector<uint8_t> chunk(4 << 20);
    Progress progress("hashing source");
    const uint64_t size = source.Size();
    for (uint64_t at = 0; at < size;) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk.size(), size - at));
        const int64_t got = source.ReadAt(at, chunk.data(), want);
        if (got != static_cast<int64_t>(want)) {
            Error("cannot read the source at byte " + std::to_string(at) + " to hash it");
            return false;
        }
        digest.Add(chunk.data(), want);
        at += want;
        progress.Update(at, size);
    }
    progress.Finish();
    hex = digest.Hex();
    return true;
}

bool FileDigest(const fs::path& path, std::string& hex) {
    media::OpenStatus status;
    auto source = media::FileSource::Open(path.string(), status);
    if (!source)
        return false;
    Sha256 digest;
    std::vector<uint8_t> chunk(1 << 20);
    for (uint64_t at = 0; at < source->Size();) {
        const int64_t got = source->ReadAt(at, chunk.data(), chunk.size());
        if (got <= 0)
            return false;
        digest.Add(chunk.data(), static_cast<size_t>(got));
        at += static_cast<uint64_t>(got);
    }
    hex = digest.Hex();
    return true;
}

int RunEvidence(const EvidenceOptions& o) {
    uint32_t from = 0, to = 0;
    if (!ParseBlockTime(o.from, "--from", from) || !ParseBlockTime(o.to, "--to", to))
        return kExitUsage;
    if (to < from) {
        Error("--to must not be before --from");
        return kExitUsage;
    }
    uint32_t mask = 0xFFFFu;
    if (!o.channels.empty() && !ParseChannels(o.channels, mask)) {
        Error("--channels takes camera numbers 1-16 (CH1 is 1), as in 1,3,5-8");
        return kExitUsage;
    }
    const int jobs = std::clamp(o.jobs, 1, 16);
    // Taken before the encoder set-up changes the working folder.
    std::error_code absError;
    const std::string sourcePath = fs::absolute(o.path, absError).lexically_normal().string();
    const std::string workingFolder = fs::current_path(absError).string();

    std::string device;
    auto source = OpenBlockSource(o.path, &device);
    if (!source)
        return kExitFailure;

    // A new, empty output folder. Its absolute path is taken now, as the
    // encoder set-up changes the working folder of the process.
    std::error_code ec;
    const fs::path dir = fs::absolute(o.outdir, ec);
    if (ec) {
        Error("cannot resolve '" + o.outdir + "': " + ec.message());
        return kExitFailure;
    }
    bool createdDir = false;
    if (fs::exists(fs::symlink_status(dir, ec))) {
        if (!fs::is_directory(dir, ec)) {
            Error("'" + o.outdir + "' exists and is not a folder");
            return kExitFailure;
        }
        if (!fs::is_empty(dir, ec)) {
            Error("'" + o.outdir + "' is not empty; the package needs a new or empty folder");
            return kExitFailure;
        }
    } else if (!fs::create_directories(dir, ec) || ec) {
        Error("cannot create '" + o.outdir + "': " + ec.message());
        return kExitFailure;
    } else {
        createdDir = true;
    }
    // A package that fails part way is removed again: no folder of
    // evidence is left that looks complete but is not.
    struct Cleanup {
        fs::path dir;
        bool createdDir;
        bool keep = false;
        ~Cleanup() {
            if (keep)
                return;
            std::error_code e;
            for (const char* name : {"extract.ZRF", "frames.csv", "report.txt", "report.json", "run.txt", "SHA256SUMS"})
                fs::remove(dir / name, e);
            for (int c = 1; c <= 16; ++c) {
                fs::remove(dir / ("CH" + std::to_string(c) + ".avi"), e);
                fs::remove(dir / (".partial-CH" + std::to_string(c) + ".avi"), e);
            }
            if (createdDir)
                fs::remove(dir, e);  // only when empty
        }
    } cleanup{dir, createdDir};

    // Blocks are addressed on the source's block grid, as every reader does.
    const media::GridSource grid(*source, BlockGridOrigin(*source, o.rawDisk, o.path));
    media::TimeLocator locator(grid, o.videoCode, o.rawDisk);
    const media::TimeLocator::Result found = locator.Find(from);
    if (!found.Found() || found.blockTime > to) {
        Error("nothing is recorded from " + FormatBlockTime(from) + " to " + FormatBlockTime(to) + " in '" + o.path +
              "'");
        return kExitFailure;
    }
    const RangeBlocks range = CollectRange(locator, found.block, from, to);
    if (locator.ReadError())
        Error("warning: some blocks could not be read; they are listed as damaged");

    // extract.ZRF: the blocks in time order, byte pairs swapped back on a raw disk.
    const fs::path extractPath = dir / "extract.ZRF";
    {
        platform::OutputFile out;
        if (!out.Open(extractPath.string())) {
            Error("cannot write " + out.Error());
            return kExitFailure;
        }
        std::vector<uint8_t> chunk(256 * media::kBlockSize);
        Progress progress("extract");
        uint64_t done = 0;
        for (const BlockRun& run : range.extracted) {
            for (uint64_t b = 0; b < run.count;) {
                const uint64_t count = std::min<uint64_t>(256, run.count - b);
                const size_t bytes = static_cast<size_t>(count * media::kBlockSize);
                if (grid.ReadAt((run.first + b) * media::kBlockSize, chunk.data(), bytes) !=
                    static_cast<int64_t>(bytes)) {
                    Error("cannot read block " + std::to_string(run.first + b) + " of '" + o.path + "'");
                    return kExitFailure;
                }
                if (o.rawDisk)
                    media::SwapBytePairs(chunk.data(), bytes);
                if (!out.Write(chunk.data(), bytes)) {
                    Error("cannot write " + out.Error());
                    return kExitFailure;
                }
                b += count;
                done += count;
                progress.Update(done, range.blocks.size());
            }
        }
        progress.Finish();
        if (!out.Commit()) {
            Error("cannot write " + out.Error());
            return kExitFailure;
        }
    }

    FrameSummary frames;
    if (!WriteFrameList(extractPath, dir / "frames.csv", range, o.videoCode, frames))
        return kExitFailure;

    uint32_t present = 0;
    for (int c = 0; c < 16; ++c)
        if (frames.pictures[static_cast<size_t>(c)].frames > 0)
            present |= 1u << c;
    std::vector<AviResult> avis;
    if (!o.noAvi) {
        if (!std::getenv("QT_QPA_PLATFORM"))
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        QuietQtMessages();
        int guiArgc = o.argc > 0 ? 1 : 0;
        QGuiApplication gui(guiArgc, o.argv);
        if (!ExportAvis(dir, extractPath, present & mask, jobs, o.videoCode, avis))
            return kExitFailure;
    }

    std::string sourceHash;
    if (o.hashSource && !HashSource(*source, sourceHash))
        return kExitFailure;

    // Gaps over one second between consecutive blocks of the range.
    struct Gap {
        uint32_t from, to;
        uint64_t position;  // source byte offset of the block after the gap
    };
    std::vector<Gap> gaps;
    for (size_t i = 1; i < range.times.size(); ++i)
        if (range.times[i] > range.times[i - 1] + 1)
            gaps.push_back({range.times[i - 1], range.times[i], range.blocks[i] * media::kBlockSize});

    // The viewer's bookmarks of this source inside the range asked.
    std::vector<media::Bookmark> marks;
    {
        media::BookmarkStore store;
        std::string error;
        if (!store.Load(media::SourceKey(*source, device, o.videoCode, o.rawDisk), &error))
            Error("warning: the bookmarks could not be read: " + error);
        marks = store.InRange(from, to);
    }

    bool writable = false;
    const std::string protection = WriteProtection(device, source->IsBlockDevice(), writable);

    // The command in a canonical form, the output folder left out (it is
    // where this report lies), so that packages made alike are identical.
    std::string command = "zrf evidence " + sourcePath + " <package> --from \"" + FormatBlockTime(from) + "\" --to \"" +
                          FormatBlockTime(to) + "\"";
    if (o.rawDisk)
        command += " --disk";
    if (o.videoCode != 6)
        command += " --code " + std::to_string(o.videoCode);
    if (!o.channels.empty())
        command += " --channels " + o.channels;
    if (o.noAvi)
        command += " --no-avi";
    if (o.hashSource)
        command += " --hash-source";

    const uint32_t foundFrom = range.times.front(), foundTo = range.times.back();
    std::string txt, json;
    auto line = [&](const std::string& text) { txt += text + "\n"; };
    line("Evidence package");
    line("");
    line("Tool:            " + o.version);
    line("Command:         " + command);
    line("Source:          " + sourcePath + (device != o.path ? " (" + device + ")" : ""));
    line("Source size:     " + std::to_string(source->Size()) + " bytes");
    line("Source access:   " + protection);
    line(std::string("Reading:         ") + (o.rawDisk ? "raw DVR disk (byte pairs swapped back)" : "recording file") +
         ", video code " + std::to_string(o.videoCode));
    if (grid.Origin() != 0)
        line("Block grid:      the first block starts at byte " + std::to_string(grid.Origin()) +
             " of the source; byte ranges and source_offset count from there");
    if (o.hashSource)
        line("Source SHA-256:  " + sourceHash);
    line("Range asked:     " + FormatBlockTime(from) + " to " + FormatBlockTime(to));
    line("Range found:     " + FormatBlockTime(foundFrom) + " to " + FormatBlockTime(foundTo));
    line("Blocks:          " + std::to_string(range.blocks.size()) + " (" +
         std::to_string(range.blocks.size() * media::kBlockSize) + " bytes in extract.ZRF)" +
         (range.crossesTurn ? ", across the disk's turning point" : ""));
    line("");
    line("Byte ranges of the source, in the order extracted (first to last byte):");
    for (const BlockRun& r : range.extracted)
        line("  " + std::to_string(r.first * media::kBlockSize) + " - " +
             std::to_string((r.first + r.count) * media::kBlockSize - 1));
    line("");
    line("Cameras:");
    for (int c = 0; c < 16; ++c) {
        const ChannelSummary& s = frames.pictures[static_cast<size_t>(c)];
        if (s.frames > 0)
            line("  CH" + std::to_string(c + 1) + ": " + std::to_string(s.frames) + " pictures, " +
                 FormatBlockTime(s.first) + " to " + FormatBlockTime(s.last));
    }
    line("Sound:");
    bool anySound = false;
    for (int c = 0; c < 4; ++c) {
        const ChannelSummary& s = frames.sound[static_cast<size_t>(c)];
        if (s.frames > 0) {
            anySound = true;
            line("  audio " + std::to_string(c + 1) + ": " + std::to_string(s.frames) + " frames, " +
                 FormatBlockTime(s.first) + " to " + FormatBlockTime(s.last));
        }
    }
    if (!anySound)
        line("  none");
    line("Frames listed in frames.csv: " + std::to_string(frames.frames));
    line("");
    line("Gaps over one second: " + std::string(gaps.empty() ? "none" : ""));
    for (const Gap& g : gaps)
        line("  " + FormatBlockTime(g.from) + " to " + FormatBlockTime(g.to) + " (" + std::to_string(g.to - g.from) +
             " s), resuming at byte " + std::to_string(g.position));
    line("Damaged blocks inside the range (failed check byte, never written, or a time that does not fit): " +
         std::to_string(range.damagedBlocks));
    for (const BlockRun& r : range.damaged)
        line("  byte " + std::to_string(r.first * media::kBlockSize) + ", " + std::to_string(r.count) + " block" +
             (r.count == 1 ? "" : "s"));
    line("Bookmarks made in the viewer inside the range: " + std::string(marks.empty() ? "none" : ""));
    for (const media::Bookmark& b : marks)
        line("  " + FormatBlockTime(b.time) + "  " +
             (b.channel == media::Bookmark::kAllChannels ? std::string("all cameras") : "CH" + std::to_string(b.channel + 1)) +
             (b.note.empty() ? std::string() : "  " + b.note));
    line("");
    if (o.noAvi) {
        line("AVI files: not made (--no-avi)");
    } else {
        line("AVI files: Xvid MPEG-4 with default settings, picture lines doubled, time burned in, sound as PCM");
        for (const AviResult& a : avis)
            line("  " + a.name + ": " + std::to_string(a.pictures) + " pictures, " + std::to_string(a.width) + "x" +
                 std::to_string(a.height) + ", " + std::to_string(a.rate) + "/" + std::to_string(a.scale) +
                 " per second, " + (a.sound ? "sound" : "no sound"));
    }
    line("");
    line("frames.csv: channel is the camera (CH1 = 1) for video and the audio channel (1-4) for sound;");
    line("source_offset is where the frame's start code lies in the source (as read back, byte pairs");
    line("swapped back on a raw disk); block_time is the time of the block that holds it.");
    line("SHA256SUMS verifies every file: sha256sum -c SHA256SUMS");

    json = "{\n  \"tool\": " + JsonString(o.version) + ",\n  \"command\": " + JsonString(command) +
           ",\n  \"source\": {\"path\": " + JsonString(sourcePath) + ", \"device\": " + JsonString(device) +
           ", \"size\": " + std::to_string(source->Size()) + ", \"raw_disk\": " + (o.rawDisk ? "true" : "false") +
           ", \"video_code\": " + std::to_string(o.videoCode) +
           (grid.Origin() != 0 ? ", \"grid_origin\": " + std::to_string(grid.Origin()) : std::string()) +
           ", \"block_device\": " +
           (source->IsBlockDevice() ? "true" : "false") + ", \"writable\": " + (writable ? "true" : "false") +
           ", \"sha256\": " + (o.hashSource ? JsonString(sourceHash) : "null") + "},\n";
    json += "  \"range_asked\": {\"from\": " + JsonTime(from) + ", \"to\": " + JsonTime(to) + "},\n";
    json += "  \"range_found\": {\"from\": " + JsonTime(foundFrom) + ", \"to\": " + JsonTime(foundTo) +
            ", \"blocks\": " + std::to_string(range.blocks.size()) + ", \"crosses_turning_point\": " +
            (range.crossesTurn ? "true" : "false") + "},\n";
    json += "  \"byte_ranges\": [";
    for (size_t i = 0; i < range.extracted.size(); ++i)
        json += std::string(i ? ", " : "") + "{\"first\": " + std::to_string(range.extracted[i].first * media::kBlockSize) +
                ", \"last\": " +
                std::to_string((range.extracted[i].first + range.extracted[i].count) * media::kBlockSize - 1) + "}";
    json += "],\n  \"cameras\": [";
    bool firstItem = true;
    for (int c = 0; c < 16; ++c) {
        const ChannelSummary& s = frames.pictures[static_cast<size_t>(c)];
        if (s.frames == 0)
            continue;
        json += std::string(firstItem ? "" : ", ") + "{\"channel\": " + std::to_string(c + 1) +
                ", \"pictures\": " + std::to_string(s.frames) + ", \"first\": " + JsonTime(s.first) +
                ", \"last\": " + JsonTime(s.last) + "}";
        firstItem = false;
    }
    json += "],\n  \"sound\": [";
    firstItem = true;
    for (int c = 0; c < 4; ++c) {
        const ChannelSummary& s = frames.sound[static_cast<size_t>(c)];
        if (s.frames == 0)
            continue;
        json += std::string(firstItem ? "" : ", ") + "{\"audio_channel\": " + std::to_string(c + 1) +
                ", \"frames\": " + std::to_string(s.frames) + ", \"first\": " + JsonTime(s.first) +
                ", \"last\": " + JsonTime(s.last) + "}";
        firstItem = false;
    }
    json += "],\n  \"frames\": " + std::to_string(frames.frames) + ",\n  \"gaps\": [";
    for (size_t i = 0; i < gaps.size(); ++i)
        json += std::string(i ? ", " : "") + "{\"from\": " + JsonTime(gaps[i].from) + ", \"to\": " + JsonTime(gaps[i].to) +
                ", \"seconds\": " + std::to_string(gaps[i].to - gaps[i].from) + ", \"position\": " +
                std::to_string(gaps[i].position) + "}";
    json += "],\n  \"damaged\": {\"blocks\": " + std::to_string(range.damagedBlocks) + ", \"areas\": [";
    for (size_t i = 0; i < range.damaged.size(); ++i)
        json += std::string(i ? ", " : "") + "{\"position\": " + std::to_string(range.damaged[i].first * media::kBlockSize) +
                ", \"blocks\": " + std::to_string(range.damaged[i].count) + "}";
    json += "]},\n  \"bookmarks\": [";
    for (size_t i = 0; i < marks.size(); ++i)
        json += std::string(i ? ", " : "") + "{\"time\": " + JsonTime(marks[i].time) + ", \"channel\": " +
                (marks[i].channel == media::Bookmark::kAllChannels ? std::string("null")
                                                                   : std::to_string(marks[i].channel + 1)) +
                ", \"note\": " + JsonString(marks[i].note) + "}";
    json += "],\n  \"export\": ";
    if (o.noAvi) {
        json += "null";
    } else {
        json += "{\"codec\": \"Xvid MPEG-4\", \"settings\": \"defaults\", \"time_text\": true, \"sound\": \"PCM\", "
                "\"files\": [";
        for (size_t i = 0; i < avis.size(); ++i)
            json += std::string(i ? ", " : "") + "{\"file\": " + JsonString(avis[i].name) + ", \"channel\": " +
                    std::to_string(avis[i].channel + 1) + ", \"pictures\": " + std::to_string(avis[i].pictures) +
                    ", \"width\": " + std::to_string(avis[i].width) + ", \"height\": " + std::to_string(avis[i].height) +
                    ", \"rate\": " + std::to_string(avis[i].rate) + ", \"scale\": " + std::to_string(avis[i].scale) +
                    ", \"has_sound\": " + (avis[i].sound ? "true" : "false") + "}";
        json += "]}";
    }
    json += "\n}\n";

    std::string run;
    run += "Made:     " + UtcNow() + "\n";
    run += "By:       " + UserName() + "\n";
    run += "Host:     " + HostName() + "\n";
    run += "Folder:   " + fs::absolute(dir, absError).lexically_normal().string() + "\n";
    run += "Working:  " + workingFolder + "\n";
    run += "Command:  " + o.commandLine + "\n";
    if (!WriteTextFile(dir / "report.txt", txt) || !WriteTextFile(dir / "report.json", json) ||
        !WriteTextFile(dir / "run.txt", run))
        return kExitFailure;

    // SHA256SUMS over every other file, in name order.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir, ec))
        if (entry.is_regular_file())
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string sums;
    for (const std::string& name : names) {
        std::string hex;
        if (!FileDigest(dir / name, hex)) {
            Error("cannot read back '" + (dir / name).string() + "'");
            return kExitFailure;
        }
        sums += hex + "  " + name + "\n";
    }
    if (!WriteTextFile(dir / "SHA256SUMS", sums))
        return kExitFailure;
    cleanup.keep = true;

    std::fprintf(stderr, "wrote %s: %zu blocks from %s to %s, %llu frames, %zu AVI file%s%s\n", o.outdir.c_str(),
                 range.blocks.size(), FormatBlockTime(foundFrom).c_str(), FormatBlockTime(foundTo).c_str(),
                 static_cast<unsigned long long>(frames.frames), avis.size(), avis.size() == 1 ? "" : "s",
                 writable ? "; the source is a WRITABLE block device" : "");
    return kExitOk;
}

std::string Quote(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"'\\$`") == std::string::npos)
        return arg;
    std::string out = "'";
    for (char c : arg)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

RegisteredCommand AddEvidence(CLI::App& app, int& argc, char** argv) {
    auto options = std::make_shared<EvidenceOptions>();
    for (int i = 0; i < argc; ++i)
        options->commandLine += (i ? " " : "") + Quote(argv[i]);
    options->argc = argc;
    options->argv = argv;
    CLI::App* cmd = app.add_subcommand("evidence", "package a time range for examiners: extract, AVIs, frame list, "
                                                   "reports, SHA256SUMS");
    cmd->add_option("PATH", options->path, "recording file, disk image or \\\\.\\PHYSICALDRIVEn")->required();
    cmd->add_option("OUTDIR", options->outdir, "new (or empty) folder for the package")->required();
    cmd->add_option("--from", options->from, "first second \"YYYY-MM-DD HH:MM:SS\"")->required();
    cmd->add_option("--to", options->to, "last second \"YYYY-MM-DD HH:MM:SS\" (included)")->required();
    cmd->add_flag("--disk", options->rawDisk, "read as a raw DVR disk (byte pairs swapped)");
    cmd->add_option("--code", options->videoCode, "video format code 0-6 (default 6, ZO_ZOC)")->check(CLI::Range(0, 6));
    cmd->add_option("--channels", options->channels, "cameras for AVI files, CH1 is 1: as in 1,3,5-8 (default all)");
    cmd->add_option("--jobs", options->jobs, "AVI files made at once (1-16)")->check(CLI::Range(1, 16));
    cmd->add_flag("--no-avi", options->noAvi, "leave the AVI files out");
    cmd->add_flag("--hash-source", options->hashSource, "SHA-256 of the whole source in the report (reads all of it)");
    return {cmd, [options, &app] {
                options->version = app.version().empty() ? "zrf" : app.version();
                return RunEvidence(*options);
            }};
}

const CommandRegistration registration{AddEvidence};

}  // namespace
}  // namespace zrf
