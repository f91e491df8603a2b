// The zrf subcommands. Each returns the process exit status.
#pragma once

#include <cstdint>
#include <string>

namespace zrf {

struct SourceOptions {
    std::string path;
    bool rawDisk = false;
    int videoCode = 6;
};

int RunInfo(const SourceOptions& source, bool json);
int RunFrames(const SourceOptions& source, bool backward);
int RunCut(const SourceOptions& source, const std::string& start, const std::string& end, const std::string& out,
           bool force);
int RunDisks(bool json);
int RunDecode(const SourceOptions& source);
int RunSnapshot(const SourceOptions& source, const std::string& out, int channel, const std::string& at,
                const std::string& time, bool force);

struct GenOptions {
    std::string out;
    int videoCode = 6;
    int channels = 4;
    double seconds = 10;
    std::string size;  // target size in bytes (K, M, G suffixes), instead of seconds
    bool audio = false;
    int audioChannels = 1;
    bool rawDisk = false;
    uint64_t seed = 1;
    int height = 224;
    int interval = 1;
    std::string start = "2009-03-14 12:34:56";
    bool placeholder = false;  // placeholder slices instead of encoded scenes
    int keyEvery = 15;
    int quantiser = 4;
    bool dual = false;
    bool force = false;  // replace an existing output file without asking
};
int RunGen(const GenOptions& options);

struct ExportOptions {
    std::string path;
    std::string out;
    int videoCode = 6;
    bool rawDisk = false;
    std::string channels;  // "1,3,5-8" (1 to 16); empty: all
    bool noAudio = false;
    bool noTime = false;
    std::string codec;     // "xvid", "raw" or empty (the options file decides)
    int jobs = 1;
    bool force = false;    // replace existing output files without asking
    std::string writeOptions;  // write a "CompOptions" file instead of exporting
    int quality = -1;      // 0-100
    int bitrateKbit = 0;
    int keyint = 0;
};
// `argc`/`argv` serve the QGuiApplication that draws the time text.
int RunExport(const ExportOptions& options, int argc, char** argv);

}  // namespace zrf
