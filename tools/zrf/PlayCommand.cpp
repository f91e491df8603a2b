// zrf play: plays a recording through the real engine, sound output
// included, without a window, and reports every picture shown and every
// state change. For end-to-end checks of playback.
#include <CLI/CLI.hpp>

#include <signal.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "Registry.h"
#include "TimeSupport.h"
#include "Util.h"
#include "Validators.h"
#include "engine/CZoViewer2.h"

namespace zrf {
namespace {

using zo::engine::CZoViewer2;

struct PlayOptions {
    std::string path;
    bool rawDisk = false;
    int videoCode = 6;
    double speed = 1.0;
    bool reverse = false;
    double seconds = 0;  // 0: until play ends in Pause
    bool jsonl = false;
    bool noPacing = false;
    bool repeat = false;
    bool exact = false;
    std::string time;  // start at this block time instead of the beginning
};

std::atomic<bool> interrupted{false};

void OnSignal(int) { interrupted.store(true); }

// A sound card or a sound server this user can reach.
bool SoundOutputLikely() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/snd", error))
        if (entry.path().filename().string().rfind("pcm", 0) == 0)
            return true;
    if (std::getenv("PULSE_SERVER"))
        return true;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR")) {
        const std::string dir = runtime;
        if (std::filesystem::exists(dir + "/pulse/native", error) || std::filesystem::exists(dir + "/pipewire-0", error))
            return true;
    }
    return false;
}

class Printer {
public:
    explicit Printer(bool jsonl) : jsonl_(jsonl), start_(std::chrono::steady_clock::now()) {}

    void Picture(int channel, const zo::media::CalendarTime& time, const uint8_t* picture, int w, int h, int shown) {
        const std::string md5 = Md5Hex(picture, static_cast<size_t>(w) * static_cast<size_t>(h) * 3 / 2);
        std::lock_guard lock(mutex_);
        ++pictures_;
        if (!jsonl_)
            return;
        std::printf("{\"event\": \"picture\", \"ms\": %lld, \"channel\": %d, \"time\": %s, \"width\": %d, "
                    "\"height\": %d, \"shown\": %s, \"md5\": \"%s\"}\n",
                    static_cast<long long>(ElapsedMs()), channel, JsonString(FormatTime(time)).c_str(), w, h,
                    shown ? "true" : "false", md5.c_str());
    }

    void State(int state, double speed) {
        std::lock_guard lock(mutex_);
        if (jsonl_)
            std::printf("{\"event\": \"state\", \"ms\": %lld, \"state\": %d, \"text\": %s, \"speed\": %.1f}\n",
                        static_cast<long long>(ElapsedMs()), state, JsonString(CZoViewer2::StateText(state)).c_str(),
                        speed);
        else
            std::printf("%8.3f s  %s x %.1f  (%llu pictures)\n", ElapsedMs() / 1000.0, CZoViewer2::StateText(state),
                        speed, static_cast<unsigned long long>(pictures_));
        std::fflush(stdout);
    }

    void Summary(uint64_t position, uint64_t size) {
        std::lock_guard lock(mutex_);
        if (jsonl_)
            std::printf("{\"event\": \"end\", \"ms\": %lld, \"pictures\": %llu, \"position\": %llu, \"size\": %llu}\n",
                        static_cast<long long>(ElapsedMs()), static_cast<unsigned long long>(pictures_),
                        static_cast<unsigned long long>(position), static_cast<unsigned long long>(size));
        else
            std::printf("%llu pictures in %.1f s, stopped at byte %llu of %llu\n",
                        static_cast<unsigned long long>(pictures_), ElapsedMs() / 1000.0,
                        static_cast<unsigned long long>(position), static_cast<unsigned long long>(size));
    }

private:
    int64_t ElapsedMs() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_)
            .count();
    }

    std::mutex mutex_;  // one line at a time from the worker and the main thread
    bool jsonl_;
    std::chrono::steady_clock::time_point start_;
    uint64_t pictures_ = 0;
};

bool IsFastSpeed(double speed) {
    for (double s : {8.0, 16.0, 32.0, 64.0, 128.0})
        if (speed == s)
            return true;
    return false;
}

int RunPlay(const PlayOptions& o) {
    if (!(o.speed > 0 && o.speed <= 8.0) && !IsFastSpeed(o.speed)) {
        Error("--speed must be above 0 and at most 8, or one of 16, 32, 64, 128");
        return kExitUsage;
    }
    uint32_t startTime = 0;
    if (!o.time.empty() && !ParseBlockTime(o.time, "--time", startTime))
        return kExitUsage;
    {
        // Clear reasons for paths the engine cannot open.
        zo::media::CZoFile probe;
        if (!OpenRecording(probe, o.path, o.rawDisk, o.videoCode))
            return kExitFailure;
    }

    // No sound card and no sound server: SDL's dummy driver plays in real
    // time, silently, so the sound still sets the pace.
    if (!std::getenv("SDL_AUDIODRIVER") && !SoundOutputLikely())
        setenv("SDL_AUDIODRIVER", "dummy", 1);

    zo::platform::StderrMessagePort messages("zrf: ");
    CZoViewer2::Ports ports;
    ports.messages = &messages;
    CZoViewer2 engine(std::move(ports));
    engine.Create(640, 448, o.videoCode, 2, 16, 16000, 4);
    engine.SetMode(CZoViewer2::kModePlayer, 16);
    engine.SetLayout(16, 0);
    engine.SetRepeat(o.repeat ? 1 : 0);
    engine.SetPacing(!o.noPacing);
    engine.SetExactSteps(o.exact);

    Printer printer(o.jsonl);
    // Numbered state entries: play has ended when Pause was entered after
    // the last entry into play that came after the set-up.
    std::atomic<int> entries{0}, lastPlayEntry{0}, lastPauseEntry{0};
    engine.SetPictureObserver([&](int channel, const zo::media::CalendarTime& time, const uint8_t* picture, int w,
                                  int h, int shown) { printer.Picture(channel, time, picture, w, h, shown); });
    engine.SetStateObserver([&](int state) {
        const int entry = ++entries;
        if (state == CZoViewer2::kStatePlay || state == CZoViewer2::kStatePlayReverse)
            lastPlayEntry.store(entry);
        if (state == CZoViewer2::kStatePause)
            lastPauseEntry.store(entry);
        printer.State(state, engine.GetSpeed());
    });

    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
    if (!engine.OpenRecording(o.path, o.rawDisk ? 1 : 0)) {
        Error("cannot play " + o.path);
        return kExitFailure;
    }
    auto waitState = [&](int state) {
        for (int i = 0; i < 5000 && engine.GetState() != state; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    int setupEntries = 0;
    if (!o.time.empty()) {
        // Pause, search to the time, play from there.
        engine.Pause();
        waitState(CZoViewer2::kStatePause);
        const int before = entries.load();
        uint64_t position = 0;
        if (!engine.SearchTime(startTime, &position)) {
            engine.CloseRecording();
            Error("nothing is recorded at or after " + FormatBlockTime(startTime) + " in '" + o.path + "'");
            return kExitFailure;
        }
        for (int i = 0; i < 5000 && !(lastPauseEntry.load() > before); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        setupEntries = entries.load();
    } else if (o.reverse) {
        // From the last key pictures: pause, search near the end, play back.
        engine.Pause();
        waitState(CZoViewer2::kStatePause);
        const uint64_t size = engine.GetSize();
        const uint64_t back = 256 * 1024;
        const int before = entries.load();
        engine.Seek(size > back ? size - back : 0);
        for (int i = 0; i < 5000 && !(lastPauseEntry.load() > before); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        setupEntries = entries.load();
    }
    if (IsFastSpeed(o.speed)) {
        // The fast speeds are reached the way the buttons reach them.
        if (o.reverse) {
            engine.FastRewind();
            while (engine.GetSpeed() < o.speed) {
                waitState(CZoViewer2::kStatePlayReverse);
                engine.FastRewind();
            }
        } else {
            engine.FastForward();
            while (engine.GetSpeed() < o.speed) {
                waitState(CZoViewer2::kStatePlay);
                engine.FastForward();
            }
        }
    } else if (o.reverse) {
        engine.PlayReverse(o.speed);
    } else if (o.speed != 1.0 || !o.time.empty()) {
        engine.Play(o.speed);
    }

    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (interrupted.load() || StandardOutputFailed())
            break;
        const int play = lastPlayEntry.load();
        if (play > setupEntries && lastPauseEntry.load() > play)
            break;  // play ran to its end
        if (o.seconds > 0 &&
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >= o.seconds)
            break;
    }
    const uint64_t position = engine.GetPosition();
    const uint64_t size = engine.GetSize();
    engine.CloseRecording();
    printer.Summary(position, size);
    // main checks that standard output got every line.
    return kExitOk;
}

RegisteredCommand AddPlay(CLI::App& app, int&, char**) {
    auto options = std::make_shared<PlayOptions>();
    CLI::App* cmd = app.add_subcommand("play", "play a recording headless, one line per picture shown and state");
    cmd->add_option("PATH", options->path, "recording file, disk image or \\\\.\\PHYSICALDRIVEn")->required();
    cmd->add_flag("--disk", options->rawDisk, "read as a raw DVR disk (byte pairs swapped)");
    cmd->add_option("--code", options->videoCode, "video format code 0-6 (default 6, ZO_ZOC)")
        ->check(CLI::Range(0, 6));
    cmd->add_option("--speed", options->speed, "speed: above 0 to 8, or the fast speeds 16, 32, 64, 128 (default 1)");
    cmd->add_flag("--reverse", options->reverse,
                  "play backwards from near the end (key pictures only, every picture with --exact)");
    cmd->add_flag("--exact", options->exact,
                  "exact steps: reverse play up to x8 shows every picture with its true content, rebuilt from its "
                  "key picture (default off: key pictures only)");
    cmd->add_option("--seconds", options->seconds, "stop after this many seconds (default: when play ends)")
        ->check(PositiveFinite(1e7));
    cmd->add_flag("--jsonl", options->jsonl, "JSON lines: each picture with its md5, each state change");
    cmd->add_option("--time", options->time, "start at the first block at or after \"YYYY-MM-DD HH:MM:SS\"");
    cmd->add_flag("--repeat", options->repeat, "start again from the beginning at the end");
    cmd->add_flag("--no-pacing", options->noPacing, "as fast as possible (for measurements)");
    return {cmd, [options] { return RunPlay(*options); }};
}

const CommandRegistration registration{AddPlay};

}  // namespace
}  // namespace zrf
