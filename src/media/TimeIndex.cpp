#include "media/TimeIndex.h"

#include <openssl/evp.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "media/BlockScan.h"
#include "media/RecordingFormat.h"
#include "platform/OutputFile.h"

namespace zo::media {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCacheMagic = "zoviewer time index 1";

// Builds the index from blocks handed over in disk order.
class IndexBuilder {
public:
    explicit IndexBuilder(TimeIndex& index) : x_(index) {}

    void Counting(uint64_t block, uint32_t t) {
        ++x_.counting;
        if (!x_.runs.empty() && t >= x_.runs.back().lastTime) {
            TimeIndex::Run& r = x_.runs.back();
            if (t > r.lastTime + 1)
                AddGap(r.lastTime, t, block);
            r.lastTime = t;
            r.lastBlock = block;
            ++r.blocks;
            return;
        }
        if (!x_.runs.empty() && x_.turn == kNoBlockIndex) {
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
        if (x_.damaged.size() < TimeIndex::kMaxListed)
            x_.damaged.push_back({first, count});
    }
    void Finish() {
        // In time order a turned ring goes on from the disk's end to its start.
        if (x_.turn != kNoBlockIndex && x_.runs.size() >= 2) {
            const uint32_t last = x_.runs.back().lastTime, first = x_.runs.front().firstTime;
            if (first > last + 1)
                AddGap(last, first, x_.runs.front().firstBlock);
        }
    }

private:
    void AddGap(uint32_t from, uint32_t to, uint64_t block) {
        ++x_.gapCount;
        if (x_.gaps.size() < TimeIndex::kMaxListed)
            x_.gaps.push_back({from, to, block});
    }
    TimeIndex& x_;
};

}  // namespace

// One pass over every block header. A check-passing block waits for the
// next one to decide whether its time counts (within a day of a neighbour).
TimeIndex BuildTimeIndex(const ByteSource& source, int videoCode, bool rawDisk,
                         const std::function<bool(uint64_t, uint64_t)>& progress) {
    TimeIndex index;
    index.size = source.Size();
    index.blocks = index.size / kBlockSize;
    IndexBuilder builder(index);
    constexpr uint64_t kChunk = 256;
    std::vector<uint8_t> chunk(kChunk * kBlockSize);
    int64_t previous = -1;                    // time of the check-passing block before the pending one
    uint64_t pending = kNoBlockIndex;         // check-passing block waiting for its next neighbour
    uint32_t pendingTime = 0;
    uint64_t invalidFirst = 0, invalidCount = 0;  // non-passing blocks after it
    auto settle = [&](int64_t next) {
        if (pending != kNoBlockIndex) {
            if (TimeFitsNeighbours(previous, pendingTime, next))
                builder.Counting(pending, pendingTime);
            else
                builder.NotCounting(pending, 1);
            previous = pendingTime;
        }
        if (invalidCount > 0)
            builder.NotCounting(invalidFirst, invalidCount);
        invalidCount = 0;
    };
    for (uint64_t b = 0; b < index.blocks; b += kChunk) {
        const uint64_t count = std::min(kChunk, index.blocks - b);
        const int64_t got = source.ReadAt(b * kBlockSize, chunk.data(), count * kBlockSize);
        const uint64_t whole = got > 0 ? static_cast<uint64_t>(got) / kBlockSize : 0;
        if (whole < count)
            index.readError = true;
        for (uint64_t k = 0; k < count; ++k) {
            BlockHeader h;
            if (k < whole) {
                uint8_t* header = chunk.data() + k * kBlockSize;
                if (rawDisk)
                    SwapBytePairs(header, kBlockHeaderSize);
                h = DecodeBlockHeader(header, videoCode);
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
        if (progress && !progress((b + count) * kBlockSize, index.size)) {
            index.complete = false;
            return index;
        }
    }
    settle(-1);
    builder.Finish();
    return index;
}

std::string Sha256Hex(std::string_view data) {
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

std::string SourceKey(const ByteSource& source, const std::string& path, int videoCode, bool rawDisk) {
    std::error_code ec;
    std::string key = fs::absolute(path, ec).lexically_normal().string();
    auto line = [&key](const std::string& a, const std::string& b = {}, const std::string& c = {}) {
        key += '\n';
        key += a;
        key += b;
        key += c;
    };
    line(std::to_string(source.Size()));
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        line(std::to_string(st.st_mtim.tv_sec), ".", std::to_string(st.st_mtim.tv_nsec));
    line("code ", std::to_string(videoCode), rawDisk ? " disk" : " file");
    const uint64_t blocks = source.Size() / kBlockSize;
    std::string sample(kBlockSize, '\0');
    constexpr uint64_t kSamples = 32;
    for (uint64_t i = 0; i < kSamples && blocks > 0; ++i) {
        const uint64_t b = blocks <= kSamples ? i % blocks : i * (blocks - 1) / (kSamples - 1);
        const int64_t got = source.ReadAt(b * kBlockSize, sample.data(), sample.size());
        line(std::to_string(b), " ",
             Sha256Hex(std::string_view(sample).substr(0, got > 0 ? static_cast<size_t>(got) : 0)));
    }
    return Sha256Hex(key);
}

std::string IndexCacheFolder() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && *xdg == '/')
        return (fs::path(xdg) / "zoviewer").string();
    const char* home = std::getenv("HOME");
    return home && *home ? (fs::path(home) / ".cache" / "zoviewer").string() : std::string();
}

std::string IndexCacheFile(const std::string& folder, const std::string& key) {
    return (fs::path(folder) / ("index-" + key.substr(0, 32) + ".txt")).string();
}

std::string SerializeTimeIndex(const TimeIndex& x, const std::string& key) {
    std::ostringstream o;
    o << kCacheMagic << "\n" << key << "\n";
    o << x.size << " " << x.blocks << " " << x.counting << " " << static_cast<int64_t>(x.turn) << " " << x.turnTime
      << " " << x.gapCount << " " << x.damagedBlocks << " " << x.damagedAreas << " " << x.readError << "\n";
    o << x.runs.size() << "\n";
    for (const TimeIndex::Run& r : x.runs)
        o << r.firstTime << " " << r.lastTime << " " << r.firstBlock << " " << r.lastBlock << " " << r.blocks << "\n";
    o << x.gaps.size() << "\n";
    for (const TimeIndex::Gap& g : x.gaps)
        o << g.from << " " << g.to << " " << g.block << "\n";
    o << x.damaged.size() << "\n";
    for (const TimeIndex::Area& a : x.damaged)
        o << a.first << " " << a.count << "\n";
    o << "end\n";
    return o.str();
}

bool ParseTimeIndex(std::string_view text, const std::string& key, TimeIndex& x) {
    x = TimeIndex{};
    std::istringstream in{std::string(text)};
    std::string magic, storedKey, end;
    std::getline(in, magic);
    std::getline(in, storedKey);
    if (magic != kCacheMagic || storedKey != key)
        return false;
    int64_t turn = -1;
    size_t n = 0;
    in >> x.size >> x.blocks >> x.counting >> turn >> x.turnTime >> x.gapCount >> x.damagedBlocks >> x.damagedAreas >>
        x.readError;
    x.turn = turn < 0 ? kNoBlockIndex : static_cast<uint64_t>(turn);
    // Every entry takes at least two bytes a number: a count beyond what the
    // text can hold is refused before anything is allocated for it.
    const size_t most = text.size() / 4;
    if (!(in >> n) || n > x.blocks || n > most)
        return false;
    x.runs.resize(n);
    for (TimeIndex::Run& r : x.runs)
        in >> r.firstTime >> r.lastTime >> r.firstBlock >> r.lastBlock >> r.blocks;
    if (!(in >> n) || n > TimeIndex::kMaxListed)
        return false;
    x.gaps.resize(n);
    for (TimeIndex::Gap& g : x.gaps)
        in >> g.from >> g.to >> g.block;
    if (!(in >> n) || n > TimeIndex::kMaxListed)
        return false;
    x.damaged.resize(n);
    for (TimeIndex::Area& a : x.damaged)
        in >> a.first >> a.count;
    return static_cast<bool>(in >> end) && end == "end";
}

bool LoadCachedTimeIndex(const std::string& folder, const std::string& key, TimeIndex& index) {
    if (folder.empty())
        return false;
    std::ifstream in(IndexCacheFile(folder, key), std::ios::binary);
    if (!in)
        return false;
    std::string text(kMaxIndexCacheBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    const auto got = static_cast<size_t>(in.gcount());
    if (got > kMaxIndexCacheBytes)
        return false;
    text.resize(got);
    if (ParseTimeIndex(text, key, index))
        return true;
    index = TimeIndex{};
    return false;
}

bool StoreCachedTimeIndex(const std::string& folder, const std::string& key, const TimeIndex& index,
                          std::string* error) {
    if (folder.empty()) {
        if (error)
            *error = "no cache folder (neither XDG_CACHE_HOME nor HOME is set)";
        return false;
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    const std::string text = SerializeTimeIndex(index, key);
    platform::OutputFile out;
    if (!out.Open(IndexCacheFile(folder, key)) || !out.Write(text.data(), text.size()) || !out.Commit()) {
        if (error)
            *error = out.Error();
        return false;
    }
    return true;
}

}  // namespace zo::media
