// zrf index: the time runs of a recording or disk, its turning point, the
// gaps over one second and the areas without recording, by one read of every
// block header. The result is cached per source under the user's cache
// folder (never beside the source) and reused while the source is unchanged.
#include <CLI/CLI.hpp>

#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Registry.h"
#include "TimeSupport.h"
#include "Util.h"
#include "media/BlockGrid.h"
#include "media/BlockScan.h"
#include "media/TimeLocator.h"

namespace zrf {
namespace {

namespace fs = std::filesystem;
using namespace zo;

constexpr size_t kMaxListed = 1000;  // entries kept per list; totals count all

struct Run {
    uint32_t firstTime = 0, lastTime = 0;
    uint64_t firstBlock = 0, lastBlock = 0, blocks = 0;
};
struct Gap {
    uint32_t from = 0, to = 0;
    uint64_t block = 0;  // the block after the gap
};
struct Area {
    uint64_t first = 0, count = 0;
};

struct Index {
    uint64_t size = 0, blocks = 0, counting = 0;
    uint64_t turn = media::kNoBlockIndex;
    uint32_t turnTime = 0;
    std::vector<Run> runs;
    std::vector<Gap> gaps;
    uint64_t gapCount = 0;
    std::vector<Area> damaged;
    uint64_t damagedBlocks = 0, damagedAreas = 0;
    bool readError = false;
};

// Builds the index from blocks handed over in disk order.
class IndexBuilder {
public:
    explicit IndexBuilder(Index& index) : x_(index) {}

    void Counting(uint64_t block, uint32_t t) {
        ++x_.counting;
        if (!x_.runs.empty() && t >= x_.runs.back().lastTime) {
            Run& r = x_.runs.back();
            if (t > r.lastTime + 1)
                AddGap(r.lastTime, t, block);
            r.lastTime = t;
            r.lastBlock = block;
            ++r.blocks;
            return;
        }
        if (!x_.runs.empty() && x_.turn == media::kNoBlockIndex) {
            x_.turn = block;  // the first fall: the oldest footage starts here
            x_.turnTime = t;
        }
        x_.runs.push_back({t, t, block, block, 1});
    }
    void NotCounting(uint64_t first, uint64_t count) {
        x_.damagedBlocks += count;
        if (!x_.damaged.empty() && x_.damaged.back().first + x_.damaged.back().count == first) {
            x_.damaged.back().count += count;
            return;
        }
        ++x_.damagedAreas;
        if (x_.damaged.size() < kMaxListed)
            x_.damaged.push_back({first, count});
    }
    void Finish() {
        // In time order a turned ring goes on from the disk's end to its start.
        if (x_.turn != media::kNoBlockIndex && x_.runs.size() >= 2) {
            const uint32_t last = x_.runs.back().lastTime, first = x_.runs.front().firstTime;
            if (first > last + 1)
                AddGap(last, first, x_.runs.front().firstBlock);
        }
    }

private:
    void AddGap(uint32_t from, uint32_t to, uint64_t block) {
        ++x_.gapCount;
        if (x_.gaps.size() < kMaxListed)
            x_.gaps.push_back({from, to, block});
    }
    Index& x_;
};

// One pass over every block header. A check-passing block waits for the
// next one to decide whether its time counts (within a day of a neighbour).
Index BuildIndex(const media::ByteSource& source, int videoCode, bool rawDisk) {
    Index index;
    index.size = source.Size();
    index.blocks = index.size / media::kBlockSize;
    IndexBuilder builder(index);
    constexpr uint64_t kChunk = 256;
    std::vector<uint8_t> chunk(kChunk * media::kBlockSize);
    int64_t previous = -1;                         // time of the check-passing block before the pending one
    uint64_t pending = media::kNoBlockIndex;       // check-passing block waiting for its next neighbour
    uint32_t pendingTime = 0;
    uint64_t invalidFirst = 0, invalidCount = 0;   // non-passing blocks after it
    auto settle = [&](int64_t next) {
        if (pending != media::kNoBlockIndex) {
            if (media::TimeFitsNeighbours(previous, pendingTime, next))
                builder.Counting(pending, pendingTime);
            else
                builder.NotCounting(pending, 1);
            previous = pendingTime;
        }
        if (invalidCount > 0)
            builder.NotCounting(invalidFirst, invalidCount);
        invalidCount = 0;
    };
    Progress progress("index");
    for (uint64_t b = 0; b < index.blocks; b += kChunk) {
        const uint64_t count = std::min(kChunk, index.blocks - b);
        const int64_t got = source.ReadAt(b * media::kBlockSize, chunk.data(), count * media::kBlockSize);
        const uint64_t whole = got > 0 ? static_cast<uint64_t>(got) / media::kBlockSize : 0;
        if (whole < count)
            index.readError = true;
        for (uint64_t k = 0; k < count; ++k) {
            media::BlockHeader h;
            if (k < whole) {
                uint8_t* header = chunk.data() + k * media::kBlockSize;
                if (rawDisk)
                    media::SwapBytePairs(header, media::kBlockHeaderSize);
                h = media::DecodeBlockHeader(header, videoCode);
            }
            if (!h.valid) {
                if (invalidCount == 0)
                    invalidFirst = b + k;
                ++invalidCount;
                continue;
            }
            settle(h.timeSeconds);
            pending = b + k;
            pendingTime = h.timeSeconds;
        }
        progress.Update((b + count) * media::kBlockSize, index.size);
    }
    settle(-1);
    progress.Finish();
    builder.Finish();
    return index;
}

// ---- Cache ----------------------------------------------------------------------

std::string Sha256Hex(const std::string& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr);
    std::string out;
    char hex[3];
    for (unsigned i = 0; i < length; ++i) {
        std::snprintf(hex, sizeof hex, "%02x", digest[i]);
        out += hex;
    }
    return out;
}

// What identifies a source and its content: path, size, modification time,
// reading options and 32 blocks sampled evenly across it.
std::string SourceKey(const media::ByteSource& source, const std::string& path, int videoCode, bool rawDisk) {
    std::error_code ec;
    std::string key = fs::absolute(path, ec).lexically_normal().string() + "\n" + std::to_string(source.Size());
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        key += "\n" + std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    key += "\ncode " + std::to_string(videoCode) + (rawDisk ? " disk" : " file");
    const uint64_t blocks = source.Size() / media::kBlockSize;
    std::string sample(media::kBlockSize, '\0');
    constexpr uint64_t kSamples = 32;
    for (uint64_t i = 0; i < kSamples && blocks > 0; ++i) {
        const uint64_t b = blocks <= kSamples ? i % blocks : i * (blocks - 1) / (kSamples - 1);
        const int64_t got = source.ReadAt(b * media::kBlockSize, sample.data(), sample.size());
        key += "\n" + std::to_string(b) + " " + Sha256Hex(sample.substr(0, got > 0 ? static_cast<size_t>(got) : 0));
    }
    return Sha256Hex(key);
}

fs::path CacheFolder() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && *xdg == '/')
        return fs::path(xdg) / "zoviewer";
    const char* home = std::getenv("HOME");
    return home && *home ? fs::path(home) / ".cache" / "zoviewer" : fs::path();
}

constexpr const char* kCacheMagic = "zoviewer time index 1";

std::string Serialize(const Index& x, const std::string& key) {
    std::ostringstream o;
    o << kCacheMagic << "\n" << key << "\n";
    o << x.size << " " << x.blocks << " " << x.counting << " " << static_cast<int64_t>(x.turn) << " " << x.turnTime
      << " " << x.gapCount << " " << x.damagedBlocks << " " << x.damagedAreas << " " << x.readError << "\n";
    o << x.runs.size() << "\n";
    for (const Run& r : x.runs)
        o << r.firstTime << " " << r.lastTime << " " << r.firstBlock << " " << r.lastBlock << " " << r.blocks << "\n";
    o << x.gaps.size() << "\n";
    for (const Gap& g : x.gaps)
        o << g.from << " " << g.to << " " << g.block << "\n";
    o << x.damaged.size() << "\n";
    for (const Area& a : x.damaged)
        o << a.first << " " << a.count << "\n";
    o << "end\n";
    return o.str();
}

bool Deserialize(const std::string& text, const std::string& key, Index& x) {
    std::istringstream in(text);
    std::string magic, storedKey, end;
    std::getline(in, magic);
    std::getline(in, storedKey);
    if (magic != kCacheMagic || storedKey != key)
        return false;
    int64_t turn = -1;
    size_t n = 0;
    in >> x.size >> x.blocks >> x.counting >> turn >> x.turnTime >> x.gapCount >> x.damagedBlocks >> x.damagedAreas >>
        x.readError;
    x.turn = turn < 0 ? media::kNoBlockIndex : static_cast<uint64_t>(turn);
    if (!(in >> n) || n > x.blocks)
        return false;
    x.runs.resize(n);
    for (Run& r : x.runs)
        in >> r.firstTime >> r.lastTime >> r.firstBlock >> r.lastBlock >> r.blocks;
    if (!(in >> n) || n > kMaxListed)
        return false;
    x.gaps.resize(n);
    for (Gap& g : x.gaps)
        in >> g.from >> g.to >> g.block;
    if (!(in >> n) || n > kMaxListed)
        return false;
    x.damaged.resize(n);
    for (Area& a : x.damaged)
        in >> a.first >> a.count;
    return static_cast<bool>(in >> end) && end == "end";
}

// Written beside its final name in the cache folder and renamed into place;
// a cache that cannot be written costs only the next run's time.
void StoreCache(const fs::path& file, const std::string& text) {
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    const fs::path temporary = file.string() + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            fs::remove(temporary, ec);
            Error("warning: cannot write the index cache '" + file.string() + "'");
            return;
        }
    }
    fs::rename(temporary, file, ec);
    if (ec) {
        fs::remove(temporary, ec);
        Error("warning: cannot write the index cache '" + file.string() + "'");
    }
}

// ---- Output ---------------------------------------------------------------------

std::string T(uint32_t t) { return FormatBlockTime(t); }

void PrintJson(const Index& x, const std::string& path, bool cached) {
    std::string s = "{\"path\": " + JsonString(path) + ", \"size\": " + std::to_string(x.size) +
                    ", \"blocks\": " + std::to_string(x.blocks) + ", \"recording_blocks\": " + std::to_string(x.counting) +
                    ", \"cached\": " + (cached ? "true" : "false") + ", \"turning_point\": ";
    if (x.turn == media::kNoBlockIndex)
        s += "null";
    else
        s += "{\"block\": " + std::to_string(x.turn) + ", \"position\": " + std::to_string(x.turn * media::kBlockSize) +
             ", \"time\": " + JsonString(T(x.turnTime)) + "}";
    s += ", \"runs\": [";
    for (size_t i = 0; i < x.runs.size(); ++i) {
        const Run& r = x.runs[i];
        s += std::string(i ? ", " : "") + "{\"first_time\": " + JsonString(T(r.firstTime)) + ", \"last_time\": " +
             JsonString(T(r.lastTime)) + ", \"first_block\": " + std::to_string(r.firstBlock) + ", \"last_block\": " +
             std::to_string(r.lastBlock) + ", \"blocks\": " + std::to_string(r.blocks) + "}";
    }
    s += "], \"gaps\": [";
    for (size_t i = 0; i < x.gaps.size(); ++i)
        s += std::string(i ? ", " : "") + "{\"from\": " + JsonString(T(x.gaps[i].from)) + ", \"to\": " +
             JsonString(T(x.gaps[i].to)) + ", \"seconds\": " + std::to_string(x.gaps[i].to - x.gaps[i].from) +
             ", \"block\": " + std::to_string(x.gaps[i].block) + "}";
    s += "], \"gap_count\": " + std::to_string(x.gapCount) + ", \"damaged\": [";
    for (size_t i = 0; i < x.damaged.size(); ++i)
        s += std::string(i ? ", " : "") + "{\"first_block\": " + std::to_string(x.damaged[i].first) +
             ", \"blocks\": " + std::to_string(x.damaged[i].count) + "}";
    s += "], \"damaged_blocks\": " + std::to_string(x.damagedBlocks) + ", \"damaged_areas\": " +
         std::to_string(x.damagedAreas) + "}\n";
    std::fputs(s.c_str(), stdout);
}

void PrintText(const Index& x, const std::string& path, bool cached) {
    std::printf("%s: %llu bytes, %llu blocks, %llu of them recording%s\n", path.c_str(),
                static_cast<unsigned long long>(x.size), static_cast<unsigned long long>(x.blocks),
                static_cast<unsigned long long>(x.counting), cached ? " (from the index cache)" : "");
    if (x.turn == media::kNoBlockIndex)
        std::printf("turning point: none (one rising run)\n");
    else
        std::printf("turning point: block %llu (byte %llu), oldest time %s\n", static_cast<unsigned long long>(x.turn),
                    static_cast<unsigned long long>(x.turn * media::kBlockSize), T(x.turnTime).c_str());
    std::printf("runs:\n");
    for (const Run& r : x.runs)
        std::printf("  %s to %s  blocks %llu-%llu (%llu)\n", T(r.firstTime).c_str(), T(r.lastTime).c_str(),
                    static_cast<unsigned long long>(r.firstBlock), static_cast<unsigned long long>(r.lastBlock),
                    static_cast<unsigned long long>(r.blocks));
    std::printf("gaps over one second: %llu\n", static_cast<unsigned long long>(x.gapCount));
    for (const Gap& g : x.gaps)
        std::printf("  %s to %s (%u s), resumes at block %llu\n", T(g.from).c_str(), T(g.to).c_str(), g.to - g.from,
                    static_cast<unsigned long long>(g.block));
    std::printf("blocks without recording (damaged, never written or untrusted): %llu in %llu areas\n",
                static_cast<unsigned long long>(x.damagedBlocks), static_cast<unsigned long long>(x.damagedAreas));
    for (const Area& a : x.damaged)
        std::printf("  blocks %llu-%llu (%llu)\n", static_cast<unsigned long long>(a.first),
                    static_cast<unsigned long long>(a.first + a.count - 1), static_cast<unsigned long long>(a.count));
}

struct IndexOptions {
    std::string path;
    bool rawDisk = false;
    int videoCode = 6;
    bool json = false;
    bool noCache = false;
};

int RunIndex(const IndexOptions& o) {
    std::string device;
    auto source = OpenBlockSource(o.path, &device);
    if (!source)
        return kExitFailure;
    Index index;
    bool cached = false;
    const std::string key = SourceKey(*source, device, o.videoCode, o.rawDisk);
    const fs::path folder = CacheFolder();
    const fs::path cacheFile = folder.empty() ? fs::path() : folder / ("index-" + key.substr(0, 32) + ".txt");
    if (!o.noCache && !cacheFile.empty()) {
        std::ifstream in(cacheFile, std::ios::binary);
        if (in) {
            std::string text((std::istreambuf_iterator<char>(in)), {});
            cached = Deserialize(text, key, index);
            if (!cached)
                index = Index{};
        }
    }
    if (!cached) {
        index = BuildIndex(media::GridSource(*source, BlockGridOrigin(*source, o.rawDisk, o.path)), o.videoCode,
                           o.rawDisk);
        if (index.readError)
            Error("warning: some blocks of '" + o.path + "' could not be read; they count as damaged");
        else if (!cacheFile.empty() && !o.noCache)
            StoreCache(cacheFile, Serialize(index, key));
    }
    if (o.json)
        PrintJson(index, o.path, cached);
    else
        PrintText(index, o.path, cached);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        Error("cannot write to standard output");
        return kExitFailure;
    }
    return kExitOk;
}

RegisteredCommand AddIndex(CLI::App& app, int&, char**) {
    auto options = std::make_shared<IndexOptions>();
    CLI::App* cmd = app.add_subcommand("index", "time runs, turning point, gaps and damaged blocks of a recording or disk");
    cmd->add_option("PATH", options->path, "recording file, disk image or \\\\.\\PHYSICALDRIVEn")->required();
    cmd->add_flag("--disk", options->rawDisk, "read as a raw DVR disk (byte pairs swapped)");
    cmd->add_option("--code", options->videoCode, "video format code 0-6 (default 6, ZO_ZOC)")->check(CLI::Range(0, 6));
    cmd->add_flag("--json", options->json, "one JSON object");
    cmd->add_flag("--no-cache", options->noCache, "read the source again, ignoring the index cache");
    return {cmd, [options] { return RunIndex(*options); }};
}

const CommandRegistration registration{AddIndex};

}  // namespace
}  // namespace zrf
