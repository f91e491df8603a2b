// zrf seek: the first block in time order at or after a time, found by the
// time locator without reading the whole source.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

#include "Registry.h"
#include "TimeSupport.h"
#include "Util.h"
#include "media/BlockGrid.h"
#include "media/TimeLocator.h"

namespace zrf {
namespace {

struct SeekOptions {
    std::string path;
    std::string time;
    bool rawDisk = false;
    int videoCode = 6;
    bool json = false;
};

int RunSeek(const SeekOptions& o) {
    uint32_t seconds = 0;
    if (!ParseBlockTime(o.time, "--time", seconds))
        return kExitUsage;
    auto source = OpenBlockSource(o.path);
    if (!source)
        return kExitFailure;
    const zo::media::GridSource grid(*source, BlockGridOrigin(*source, o.rawDisk, o.path));
    zo::media::TimeLocator locator(grid, o.videoCode, o.rawDisk);
    const auto found = locator.Find(seconds);
    if (locator.ReadError())
        Error("warning: some blocks of '" + o.path + "' could not be read and were passed over");
    if (!found.Found()) {
        Error("nothing is recorded at or after " + FormatBlockTime(seconds) + " in '" + o.path + "'" +
              (locator.FirstBlock() == zo::media::kNoBlockIndex
                   ? std::string(" (no valid recording blocks found") + (o.rawDisk ? ")" : "; try --disk)")
                   : ""));
        return kExitFailure;
    }
    if (o.json) {
        std::printf("{\"time\": %s, \"position\": %llu, \"block_time\": %s}\n",
                    JsonString(FormatBlockTime(seconds)).c_str(), static_cast<unsigned long long>(found.Position()),
                    JsonString(FormatBlockTime(found.blockTime)).c_str());
    } else {
        std::printf("%s: byte %llu (block %llu), block time %s\n", FormatBlockTime(seconds).c_str(),
                    static_cast<unsigned long long>(found.Position()), static_cast<unsigned long long>(found.block),
                    FormatBlockTime(found.blockTime).c_str());
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        Error("cannot write to standard output");
        return kExitFailure;
    }
    return kExitOk;
}

RegisteredCommand AddSeek(CLI::App& app, int&, char**) {
    auto options = std::make_shared<SeekOptions>();
    CLI::App* cmd = app.add_subcommand("seek", "find the first block at or after a time, without reading the whole source");
    cmd->add_option("PATH", options->path, "recording file, disk image or \\\\.\\PHYSICALDRIVEn")->required();
    cmd->add_option("--time", options->time, "time \"YYYY-MM-DD HH:MM:SS\" (as recorded, no zone shift)")->required();
    cmd->add_flag("--disk", options->rawDisk, "read as a raw DVR disk (byte pairs swapped)");
    cmd->add_option("--code", options->videoCode, "video format code 0-6 (default 6, ZO_ZOC)")->check(CLI::Range(0, 6));
    cmd->add_flag("--json", options->json, "one JSON object: time, position, block_time");
    return {cmd, [options] { return RunSeek(*options); }};
}

const CommandRegistration registration{AddSeek};

}  // namespace
}  // namespace zrf
