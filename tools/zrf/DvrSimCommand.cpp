// zrf dvr-sim: a simulated DVR (and optionally a DDNS server) on 127.0.0.1,
// streaming generated pictures or those of a recording, until SIGINT or
// SIGTERM or --seconds; one line on stdout per event.
#include <CLI/CLI.hpp>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <thread>

#include "Registry.h"
#include "Util.h"
#include "synth/DdnsSim.h"
#include "synth/DvrSim.h"

namespace zrf {

namespace {

using namespace zo;

std::atomic<bool> gStopRequested{false};

extern "C" void OnStopSignal(int) { gStopRequested = true; }

struct DvrSimArgs {
    int port = 0;
    std::string password;
    std::string source;
    int sourceCode = 6;
    bool sourceDisk = false;
    int ddnsPort = -1;
    std::string name = "DVR000";
    std::string fault = "none";
    std::string ddnsFault = "none";
    int faultAfter = 30;
    int faultEvery = 10;
    int slowGapUs = 50;
    int channels = 1;
    int height = 224;
    int quantiser = 6;
    int loop = 15;
    int keyEvery = 15;
    bool placeholder = false;
    bool noAudio = false;
    int waits = 0;
    int statusEveryMs = 0;
    int firstCounter = 0;
    double seconds = 0;
};

std::string FaultHelp() {
    std::string text = "Fault modes of --fault:\n";
    for (synth::DvrFault f : synth::AllDvrFaults())
        text += "  " + std::string(synth::DvrFaultName(f)) + ": " + std::string(synth::DvrFaultDescription(f)) + "\n";
    text += "Fault modes of --ddns-fault:\n";
    for (synth::DdnsFault f : synth::AllDdnsFaults())
        text += "  " + std::string(synth::DdnsFaultName(f)) + ": " + std::string(synth::DdnsFaultDescription(f)) + "\n";
    text += "A login is accepted when its digest is the MD5 of --password; any other digest is refused\n"
            "with reason 2. Pictures go out in the network layout (camera in bits 0-2 of header byte A,\n"
            "picture counter after it) at the recorder's picture rate, sound every 125 ms.";
    return text;
}

int Run(const DvrSimArgs& a) {
    synth::DvrFault fault = synth::DvrFault::None;
    if (!synth::DvrFaultFromName(a.fault, fault)) {
        Error("unknown fault mode '" + a.fault + "' (see zrf dvr-sim --help)");
        return kExitUsage;
    }
    synth::DdnsFault ddnsFault = synth::DdnsFault::None;
    if (!synth::DdnsFaultFromName(a.ddnsFault, ddnsFault)) {
        Error("unknown DDNS fault mode '" + a.ddnsFault + "' (see zrf dvr-sim --help)");
        return kExitUsage;
    }
    std::mutex printMutex;
    auto print = [&printMutex](const std::string& line) {
        std::lock_guard lock(printMutex);
        std::fprintf(stdout, "%s\n", line.c_str());
        std::fflush(stdout);
    };

    synth::DvrSimOptions o;
    o.port = static_cast<uint16_t>(a.port);
    o.password = a.password;
    o.fault = fault;
    o.faultAfterFrames = a.faultAfter;
    o.faultEveryFrames = a.faultEvery;
    o.slowByteGapUs = a.slowGapUs;
    o.loginWaits = a.waits;
    o.statusEveryMs = a.statusEveryMs;
    o.firstCounter = static_cast<uint16_t>(a.firstCounter);
    o.recordLimit = 0;  // the command keeps no frame record
    o.loopOptions.channels = a.channels;
    o.loopOptions.height = a.height;
    o.loopOptions.quantiser = a.quantiser;
    o.loopOptions.picturesPerChannel = a.loop;
    o.loopOptions.keyEvery = a.keyEvery;
    o.loopOptions.realVideo = !a.placeholder;
    o.loopOptions.audio = !a.noAudio;
    o.onEvent = [&print](const synth::DvrEvent& e) { print(e.text); };
    if (!a.source.empty()) {
        std::string error;
        o.loop = synth::LoadLiveLoop(a.source, a.sourceCode, a.sourceDisk, 64u << 20, error);
        if (!o.loop) {
            Error(error);
            return kExitFailure;
        }
    }
    synth::DvrSim dvr(std::move(o));
    if (!dvr.Start()) {
        Error(dvr.Error());
        return kExitFailure;
    }
    print("dvr listening on 127.0.0.1:" + std::to_string(dvr.Port()) + " (fault " + a.fault + ")");

    synth::DdnsSim ddns([&] {
        synth::DdnsSimOptions d;
        d.port = static_cast<uint16_t>(a.ddnsPort < 0 ? 0 : a.ddnsPort);
        d.name = a.name;
        d.dvrPort = dvr.Port();
        d.fault = ddnsFault;
        d.onQuery = [&print](const synth::DdnsQuery& q) { print(q.text); };
        return d;
    }());
    if (a.ddnsPort >= 0) {
        if (!ddns.Start()) {
            Error(ddns.Error());
            return kExitFailure;
        }
        print("ddns listening on 127.0.0.1:" + std::to_string(ddns.Port()) + " for '" + a.name + "' (fault " +
              a.ddnsFault + ")");
    }

    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    const auto start = std::chrono::steady_clock::now();
    while (!gStopRequested) {
        if (a.seconds > 0 &&
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >= a.seconds)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ddns.Stop();
    dvr.Stop();
    print("stopped after sending " + std::to_string(dvr.SentCount()) + " frames");
    return kExitOk;
}

RegisteredCommand Add(CLI::App& app, int&, char**) {
    static DvrSimArgs a;
    CLI::App* cmd = app.add_subcommand("dvr-sim", "run a simulated DVR (and DDNS server) on 127.0.0.1");
    cmd->add_option("--port", a.port, "DVR port (0: any free port, printed)")->check(CLI::Range(0, 65535));
    cmd->add_option("--password", a.password, "login password (default empty)");
    cmd->add_option("--source", a.source, "stream the pictures and sound of this recording instead of generated ones");
    cmd->add_option("--source-code", a.sourceCode, "video format code of --source (default 6)")->check(CLI::Range(0, 6));
    cmd->add_flag("--source-disk", a.sourceDisk, "--source is a raw DVR disk image");
    cmd->add_option("--ddns-port", a.ddnsPort, "also run a DDNS server on this port (0: any free port)")
        ->check(CLI::Range(0, 65535));
    cmd->add_option("--name", a.name, "DVR name the DDNS server knows (default DVR000)");
    cmd->add_option("--fault", a.fault, "fault mode (list below)");
    cmd->add_option("--ddns-fault", a.ddnsFault, "DDNS fault mode (list below)");
    cmd->add_option("--fault-after", a.faultAfter, "frames of a connection before silence or reset (default 30)")
        ->check(CLI::Range(0, 100000000));
    cmd->add_option("--fault-every", a.faultEvery, "frames between oversize pictures or overlong messages (default 10)")
        ->check(CLI::Range(1, 100000000));
    cmd->add_option("--slow-gap", a.slowGapUs, "microseconds between the bytes of --fault slow (default 50)")
        ->check(CLI::Range(0, 1000000));
    cmd->add_option("--channels", a.channels, "cameras 1-8, round robin (default 1)")->check(CLI::Range(1, 8));
    cmd->add_option("--height", a.height, "picture height")->check(CLI::IsMember({224, 272}));
    cmd->add_option("--quantiser", a.quantiser, "quantiser scale 1-14 (default 6)")->check(CLI::Range(1, 14));
    cmd->add_option("--loop", a.loop, "pictures per camera encoded once and repeated (default 15)")
        ->check(CLI::Range(1, 1000));
    cmd->add_option("--key-every", a.keyEvery, "pictures of a camera between key pictures (default 15)")
        ->check(CLI::Range(1, 1000));
    cmd->add_flag("--placeholder", a.placeholder, "placeholder slices instead of encoded pictures");
    cmd->add_flag("--no-audio", a.noAudio, "send no sound frames");
    cmd->add_option("--waits", a.waits, "\"wait\" replies before the login verdict")->check(CLI::Range(0, 100));
    cmd->add_option("--status-every", a.statusEveryMs, "send message 7 this often, in ms (default never)")
        ->check(CLI::Range(0, 3600000));
    cmd->add_option("--first-counter", a.firstCounter, "picture counter of the first picture")
        ->check(CLI::Range(0, 65535));
    cmd->add_option("--seconds", a.seconds, "end after this many seconds (default: on SIGINT/SIGTERM)")
        ->check(CLI::Range(0.0, 86400.0 * 365));
    cmd->footer(FaultHelp());
    return {cmd, [] { return Run(a); }};
}

const CommandRegistration kRegistration(&Add);

}  // namespace

}  // namespace zrf
