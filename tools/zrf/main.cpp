// zrf: the command-line front end of the viewer. Every headless job.
#include <CLI/CLI.hpp>

#include <csignal>
#include <vector>

#include "Commands.h"
#include "Registry.h"
#include "Util.h"
#include "Validators.h"

namespace zrf {
std::vector<CommandFactory>& RegisteredCommands() {
    static std::vector<CommandFactory> commands;
    return commands;
}
}  // namespace zrf

int main(int argc, char** argv) {
    // A write beyond the file-size limit fails with EFBIG and is reported
    // like any other failed write, instead of killing the process.
    std::signal(SIGXFSZ, SIG_IGN);
    CLI::App app{"zrf: inspect, cut and generate DVR recordings (.ZRF files and raw DVR disks)"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "zrf 0.1.0");

    zrf::SourceOptions source;
    bool json = false;
    bool backward = false;
    auto addSource = [&](CLI::App* cmd) {
        cmd->add_option("PATH", source.path, "recording file, disk image or \\\\.\\PHYSICALDRIVEn")->required();
        cmd->add_flag("--disk", source.rawDisk, "read as a raw DVR disk (byte pairs swapped)");
        cmd->add_option("--code", source.videoCode, "video format code 0-6 (default 6, ZO_ZOC)")
            ->check(CLI::Range(0, 6));
    };

    CLI::App* info = app.add_subcommand("info", "size, blocks, time range, channels, frame counts, audio");
    addSource(info);
    info->add_flag("--json", json, "one JSON object");

    CLI::App* frames = app.add_subcommand("frames", "every frame the reader delivers, one JSON object per line");
    addSource(frames);
    frames->add_flag("--backward", backward, "read from the end towards the start");
    frames->add_flag("--json", json, "JSON lines (the only output form)");

    std::string start, end, out;
    bool force = false;
    CLI::App* cut = app.add_subcommand(
        "cut", "save the whole blocks holding the bytes START to END (both included) as a new recording file");
    addSource(cut);
    cut->add_option("START", start, "first byte position (decimal or 0x hex)")->required();
    cut->add_option("END", end, "last byte position, included (at most size - 1; may equal START)")->required();
    cut->add_option("OUT", out, "output recording file")->required();
    cut->add_flag("--force", force, "replace an existing output file without asking");

    CLI::App* disks = app.add_subcommand("disks", "list the disks that can be opened as DVR disks");
    disks->add_flag("--json", json, "one JSON array ([] when no disk can be opened)");

    bool md5 = false;
    CLI::App* decode = app.add_subcommand("decode", "decode every picture, one JSON line each with its digests");
    addSource(decode);
    decode->add_flag("--md5", md5, "print md5 digests of each decoded picture (the only output form)");

    std::string still, snapAt, snapTime;
    int snapChannel = 0;
    CLI::App* snapshot = app.add_subcommand("snapshot", "save one channel's picture at a place as PNG or BMP");
    addSource(snapshot);
    snapshot->add_option("OUT", still, "output picture, .png or .bmp")->required();
    snapshot->add_option("--channel", snapChannel, "camera channel, 0-based: 0-15 (CH1 is 0)")->check(CLI::Range(0, 15));
    snapshot->add_flag("--force", force, "replace an existing output file without asking");
    auto* atOption = snapshot->add_option("--at", snapAt, "byte position");
    snapshot->add_option("--time", snapTime, "time \"YYYY-MM-DD HH:MM:SS\"")->excludes(atOption);

    zrf::GenOptions gen;
    CLI::App* genCmd = app.add_subcommand("gen", "generate a synthetic test recording");
    genCmd->add_option("OUT", gen.out, "output recording file")->required();
    genCmd->add_option("--code", gen.videoCode, "video format code 0-6")->check(CLI::Range(0, 6));
    genCmd->add_option("--channels", gen.channels, "number of cameras 1-16 (CH1 up to CH<n>)")->check(CLI::Range(1, 16));
    genCmd->add_option("--seconds", gen.seconds, "recorded seconds (above 0, at most 31 days)")
        ->check(zrf::PositiveFinite(86400.0 * 31));
    genCmd->add_flag("--force", gen.force, "replace an existing output file without asking");
    genCmd->add_option("--size", gen.size, "generate this many bytes instead (K, M, G)");
    genCmd->add_flag("--audio", gen.audio, "add sound frames (8-bit signed PCM tones)");
    genCmd->add_option("--audio-channels", gen.audioChannels, "number of audio channels 1-4")->check(CLI::Range(1, 4));
    genCmd->add_flag("--disk", gen.rawDisk, "write as a raw DVR disk image (byte pairs swapped)");
    genCmd->add_option("--seed", gen.seed, "content seed");
    genCmd->add_option("--height", gen.height, "picture height")->check(CLI::IsMember({224, 272}));
    genCmd->add_option("--interval", gen.interval, "record interval 1-127")->check(CLI::Range(1, 127));
    genCmd->add_option("--start", gen.start, "time of the first block, \"YYYY-MM-DD HH:MM:SS\" (UTC)");
    genCmd->add_option("--key-every", gen.keyEvery, "pictures of a channel from one key picture to the next")
        ->check(CLI::Range(1, 10000));
    genCmd->add_option("--quantiser", gen.quantiser, "quantiser scale 1-14 (lower is finer)")->check(CLI::Range(1, 14));
    genCmd->add_flag("--dual", gen.dual, "code 5: pictures carry two channels side by side");
    genCmd->add_flag("--placeholder", gen.placeholder, "placeholder slices instead of encoded pictures (fast)");

    zrf::ExportOptions exportOptions;
    CLI::App* exportCmd = app.add_subcommand("export", "export a recording to AVI files, one per camera channel");
    exportCmd->add_option("PATH", exportOptions.path, "recording file, disk image or \\\\.\\PHYSICALDRIVEn");
    exportCmd->add_flag("--disk", exportOptions.rawDisk, "read as a raw DVR disk (byte pairs swapped)");
    exportCmd->add_option("OUT", exportOptions.out, "output AVI path; -CH<n> goes before its last dot");
    exportCmd->add_option("--code", exportOptions.videoCode, "video format code 0-6 (default 6, ZO_ZOC)")
        ->check(CLI::Range(0, 6));
    exportCmd->add_option("--channels", exportOptions.channels, "cameras to export, 1-based as shown (CH1 is 1): 1-16, as in 1,3,5-8 (default all)");
    exportCmd->add_flag("--no-audio", exportOptions.noAudio, "write no sound streams");
    exportCmd->add_flag("--no-time", exportOptions.noTime, "do not burn the recording time into the pictures");
    exportCmd->add_option("--codec", exportOptions.codec, "xvid or raw; overrides the CompOptions file")
        ->check(CLI::IsMember({"xvid", "raw"}));
    exportCmd->add_option("--jobs", exportOptions.jobs, "channels encoded in parallel")->check(CLI::Range(1, 16));
    exportCmd->add_flag("--force", exportOptions.force, "replace existing output files (AVI files or the options file) without asking");
    exportCmd->add_option("--write-options", exportOptions.writeOptions, "write a CompOptions file and stop");
    exportCmd->add_option("--quality", exportOptions.quality, "with --write-options: quality 0-100")
        ->check(CLI::Range(0, 100));
    exportCmd->add_option("--bitrate", exportOptions.bitrateKbit, "with --write-options: kbit/s target")
        ->check(CLI::Range(1, 1000000));
    exportCmd->add_option("--keyint", exportOptions.keyint, "with --write-options: pictures between key pictures")
        ->check(CLI::Range(1, 100000));

    std::vector<zrf::RegisteredCommand> registered;
    for (zrf::CommandFactory factory : zrf::RegisteredCommands())
        registered.push_back(factory(app, argc, argv));

    CLI11_PARSE(app, argc, argv);

    auto builtIn = [&]() -> int {
        if (info->parsed())
            return zrf::RunInfo(source, json);
        if (frames->parsed())
            return zrf::RunFrames(source, backward);
        if (cut->parsed())
            return zrf::RunCut(source, start, end, out, force);
        if (disks->parsed())
            return zrf::RunDisks(json);
        if (decode->parsed())
            return zrf::RunDecode(source);
        if (snapshot->parsed())
            return zrf::RunSnapshot(source, still, snapChannel, snapAt, snapTime, force);
        if (genCmd->parsed())
            return zrf::RunGen(gen);
        if (exportCmd->parsed())
            return zrf::RunExport(exportOptions, argc, argv);
        return zrf::kExitUsage;
    };
    const int status = [&] {
        for (const zrf::RegisteredCommand& command : registered)
            if (command.command->parsed())
                return command.run();
        return builtIn();
    }();
    // Whatever a command printed must have reached its destination.
    if (!zrf::FinishStandardOutput())
        return status == zrf::kExitOk ? zrf::kExitFailure : status;
    return status;
}


