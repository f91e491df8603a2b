// zrf record: logs in to a live DVR (directly or through its DDNS server)
// and records its stream into a local recording for a given time, with the
// engine's live view doing the work, headless.
#include <CLI/CLI.hpp>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "Registry.h"
#include "Util.h"
#include "Validators.h"
#include "engine/CZoViewer2.h"
#include "net/CZoNetSource.h"
#include "platform/MessagePort.h"
#include "platform/NotificationPort.h"
#include "render/NullAudioDevice.h"

namespace zrf {
namespace {

using zo::engine::CZoViewer2;

struct RecordOptions {
    std::string host;
    int port = 0;
    std::string password;
    std::string out;
    double seconds = 10;
    std::string ddns;  // HOST:PORT
    std::string name;
    int timeoutMs = 7000;
};

std::atomic<bool> interrupted{false};
void OnSignal(int) { interrupted.store(true); }

const char* StateName(int state) {
    switch (state) {
        case zo::net::ConnectingDvr: return "connecting";
        case zo::net::LoggingIn: return "logging in";
        case zo::net::Online: return "online";
        case zo::net::ConnectingDdns: return "connecting to DDNS";
        case zo::net::QueryingDdns: return "asking DDNS";
        case zo::net::DdnsResolved: return "DDNS answered";
        default: return "idle";
    }
}

bool SplitHostPort(const std::string& text, std::string& host, int& port) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    host = text.substr(0, colon);
    try {
        size_t used = 0;
        port = std::stoi(text.substr(colon + 1), &used);
        return used == text.size() - colon - 1 && port > 0 && port < 65536;
    } catch (...) {
        return false;
    }
}

int RunRecord(const RecordOptions& o) {
    std::string ddnsHost;
    int ddnsPort = 0;
    if (!o.ddns.empty() && (!SplitHostPort(o.ddns, ddnsHost, ddnsPort) || o.name.empty())) {
        Error("--ddns wants HOST:PORT, and --name the DVR's registered name");
        return kExitUsage;
    }
    if (o.ddns.empty() && (o.host.empty() || o.port <= 0 || o.port > 65535)) {
        Error("give --host and --port of the DVR, or --ddns HOST:PORT with --name");
        return kExitUsage;
    }
    std::error_code error;
    if (!std::filesystem::is_directory(o.out, error)) {
        Error("no such folder: " + o.out);
        return kExitFailure;
    }

    zo::platform::StderrMessagePort messages("zrf: ");
    zo::platform::RecordingNotificationPort notifications;
    CZoViewer2::Ports ports;
    ports.messages = &messages;
    ports.parent = &notifications;
    ports.audioDevice = std::make_unique<zo::render::NullAudioDevice>();  // recording needs no loudspeaker
    CZoViewer2 engine(std::move(ports));
    engine.Create(640, 448, zo::media::kVideoZOC, 2, 4, 16000, 4);
    engine.SetMode(CZoViewer2::kModeNetViewer, -1);
    engine.SetTimeout(static_cast<uint32_t>(o.timeoutMs));
    zo::net::CZoNetSource& source = engine.NetSource();
    source.SetReplyWaitMs(static_cast<uint32_t>(std::min(o.timeoutMs, 5000)));

    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
    const int started = o.ddns.empty() ? engine.Connect(o.host, o.port, o.password)
                                       : engine.ConnectByName(ddnsHost, ddnsPort, o.name, o.password);
    if (!started) {
        Error(engine.GetErrorText());
        return kExitFailure;
    }

    // Wait for the login: accepted, refused (a notification), or no answer.
    // A host that cannot be found or a connection that is refused ends the
    // wait at once; connections that time out are tried again until the
    // limit.
    const auto loginStart = std::chrono::steady_clock::now();
    const auto loginLimit = std::chrono::milliseconds(o.timeoutMs * 3 + 2000);
    while (!engine.IsConnected()) {
        if (interrupted.load()) {
            engine.Disconnect();
            return kExitFailure;
        }
        const zo::net::ConnectFailure failure = source.GetConnectFailure();
        if (failure != zo::net::ConnectFailure::None && failure != zo::net::ConnectFailure::TimedOut) {
            const bool toDdns = source.ConnectFailureWasDdns();
            const std::string text = source.GetLastErrorText();
            engine.Disconnect();
            if (failure == zo::net::ConnectFailure::HostNotFound)
                Error(text);
            else
                Error("cannot connect to " + std::string(toDdns ? "the DDNS server " : "the DVR at ") +
                      (toDdns ? o.ddns : o.ddns.empty() ? o.host + ":" + std::to_string(o.port)
                                                        : source.GetDvrHost() + ":" +
                                                              std::to_string(source.GetDvrPort())) +
                      ": " + text);
            return kExitFailure;
        }
        if (notifications.Count(zo::net::WM_DVR_LOGIN_FAILED) > 0 ||
            std::chrono::steady_clock::now() - loginStart > loginLimit) {
            std::string text = source.GetLastErrorText();
            engine.Disconnect();
            Error(text.empty() ? "No response from server." : text);
            return kExitFailure;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::fprintf(stderr, "zrf: logged in to %s:%d\n", source.GetDvrHost().c_str(), source.GetDvrPort());

    if (!engine.StartRecordingInFolder(o.out)) {
        const std::string text = engine.Recorder().GetLastErrorText();
        engine.Disconnect();
        Error("cannot start the recording: " + text);
        return kExitFailure;
    }
    const std::string path = engine.Recorder().GetPath();
    std::fprintf(stderr, "zrf: recording into %s\n", path.c_str());

    const auto start = std::chrono::steady_clock::now();
    auto nextReport = start + std::chrono::seconds(1);
    int status = kExitOk;
    auto report = [&](bool last) {
        const zo::media::FileWriteStats stats = engine.Recorder().GetStats();
        const zo::net::NetCounters counters = source.GetCounters();
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::fprintf(stderr,
                     "%s%6.1f s  %-10s  pictures %llu  sound %llu  bytes %llu  dropped %llu  not recorded %llu"
                     "  garbage bytes %llu%s",
                     last ? "" : "\r", elapsed, StateName(source.GetConnectState()),
                     static_cast<unsigned long long>(stats.videoFramesWritten),
                     static_cast<unsigned long long>(stats.soundFramesWritten),
                     static_cast<unsigned long long>(stats.bytesWritten),
                     static_cast<unsigned long long>(counters.videoDroppedFull + counters.audioDroppedFull +
                                                     counters.videoDroppedTooLong + counters.audioDroppedTooLong),
                     static_cast<unsigned long long>(stats.framesDropped),
                     static_cast<unsigned long long>(counters.garbageBytes), last ? "\n" : "");
        if (!last && !isatty(2))
            std::fputc('\n', stderr);
    };
    // A connection that drops is reported at once, and so is its return
    // with the time it left unrecorded.
    bool online = true;
    auto lostAt = start;
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const auto now = std::chrono::steady_clock::now();
        if (interrupted.load() || std::chrono::duration<double>(now - start).count() >= o.seconds)
            break;
        const bool nowOnline = source.GetConnectState() == zo::net::Online;
        if (online && !nowOnline) {
            lostAt = now;
            std::fputc('\n', stderr);
            Error("connection lost after " +
                  std::to_string(static_cast<long>(std::chrono::duration<double>(now - start).count())) +
                  " s; connecting again");
        } else if (!online && nowOnline) {
            char gap[96];
            std::snprintf(gap, sizeof gap, "connected again; %.1f s of the stream were not recorded",
                          std::chrono::duration<double>(now - lostAt).count());
            std::fputc('\n', stderr);
            Error(gap);
        }
        online = nowOnline;
        if (notifications.Count(zo::net::WM_DVR_DISCONNECTED) > 0) {
            std::fputc('\n', stderr);
            Error("the DVR ended the connection");
            status = kExitFailure;
            break;
        }
        if (!engine.IsRecording()) {
            std::fputc('\n', stderr);
            Error("recording stopped: " + engine.Recorder().GetLastErrorText());
            status = kExitFailure;
            break;
        }
        if (now >= nextReport) {
            report(false);
            nextReport += std::chrono::seconds(1);
        }
    }
    engine.StopRecording();
    report(true);
    if (!online && status == kExitOk) {
        Error("connection lost and not restored: the recording ends where it was lost");
        status = kExitFailure;
    }
    engine.Disconnect();
    const zo::media::FileWriteStats stats = engine.Recorder().GetStats();
    std::printf("%s\n", path.c_str());
    std::fprintf(stderr, "zrf: %llu pictures and %llu sound frames, %llu bytes in %s\n",
                 static_cast<unsigned long long>(stats.videoFramesWritten),
                 static_cast<unsigned long long>(stats.soundFramesWritten),
                 static_cast<unsigned long long>(stats.bytesWritten), path.c_str());
    const zo::net::NetCounters counters = source.GetCounters();
    if (counters.garbageBytes > 0)
        std::fprintf(stderr, "zrf: %llu bytes of the stream were not part of any frame and were dropped\n",
                     static_cast<unsigned long long>(counters.garbageBytes));
    return status;
}

RegisteredCommand AddRecord(CLI::App& app, int&, char**) {
    auto o = std::make_shared<RecordOptions>();
    CLI::App* cmd = app.add_subcommand("record", "log in to a live DVR and record its stream into a local recording");
    cmd->add_option("--host", o->host, "DVR address (IPv4 or name)");
    cmd->add_option("--port", o->port, "DVR port")->check(CLI::Range(1, 65535));
    cmd->add_option("--password", o->password, "DVR password");
    cmd->add_option("--out", o->out, "folder for the recording (named YYYYMMDD-HHMMSS.ZRF)")->required();
    cmd->add_option("--seconds", o->seconds, "time to record (default 10)")->check(PositiveFinite(1e7));
    cmd->add_option("--ddns", o->ddns, "ask this DDNS server (HOST:PORT) for the DVR's address");
    cmd->add_option("--name", o->name, "the DVR's name at the DDNS server");
    cmd->add_option("--timeout", o->timeoutMs, "connection and reply timeout in ms (default 7000)")
        ->check(CLI::Range(100, 600000));
    return {cmd, [o] { return RunRecord(*o); }};
}

const CommandRegistration registration{AddRecord};

}  // namespace
}  // namespace zrf
