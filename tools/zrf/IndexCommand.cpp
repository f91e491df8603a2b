// zrf index: the time runs of a recording or disk, its turning point, the
// gaps over one second and the areas without recording, by one read of every
// block header. The result is cached per source under the user's cache
// folder (never beside the source) and reused while the source is unchanged.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>

#include "Registry.h"
#include "TimeSupport.h"
#include "Util.h"
#include "media/BlockGrid.h"
#include "media/TimeIndex.h"

namespace zrf {
namespace {

using namespace zo;

using Index = media::TimeIndex;
using Run = media::TimeIndex::Run;
using Gap = media::TimeIndex::Gap;
using Area = media::TimeIndex::Area;

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
    const std::string key = media::SourceKey(*source, device, o.videoCode, o.rawDisk);
    const std::string folder = media::IndexCacheFolder();
    if (!o.noCache)
        cached = media::LoadCachedTimeIndex(folder, key, index);
    if (!cached) {
        Progress progress("index");
        const media::GridSource grid(*source, BlockGridOrigin(*source, o.rawDisk, o.path));
        index = media::BuildTimeIndex(grid, o.videoCode, o.rawDisk, [&progress](uint64_t done, uint64_t total) {
            progress.Update(done, total);
            return true;
        });
        progress.Finish();
        std::string error;
        if (index.readError)
            Error("warning: some blocks of '" + o.path + "' could not be read; they count as damaged");
        else if (!folder.empty() && !o.noCache && !media::StoreCachedTimeIndex(folder, key, index, &error))
            Error("warning: cannot write the index cache: " + error);
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
