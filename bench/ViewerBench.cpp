// The viewer window's cost beside the headless engine. Run it on an X server
// (xvfb-run -a -s "-screen 0 1920x1080x24" zo_viewer_bench):
//  1. a sixteen-channel recording at x1 in the real main window, and the
//     engine alone set up as the window sets it up (drawing path, Exact
//     Steps), on the same recording: CPU time of the whole process per
//     second of playback (all threads, getrusage). The engine with its own
//     defaults (bitmap path, no Exact Steps) is shown beside them.
//  2. one channel of code 6 (60 frames a second recorded), Split 1, full
//     screen, on the surface path and on the bitmap path: pictures stored
//     into the screen image against pictures the window painted (a paint
//     shows at most one new picture; pictures replaced before a paint are
//     lost to the eye). Both are counted by the compositor under its lock,
//     so a paint that comes quickly after its picture is not miscounted.
//     With sound the recording plays at its recorded rate (sound sets the
//     pace: 52 pictures and 8 sound frames a second).
// Each measurement lasts 20 s (ZO_VIEWER_BENCH_SECONDS changes it): the
// engine alone uses about 1% of a core here, so a few seconds hold too little
// CPU time for a stable ratio.
// Prints a table; exits 1 when a measurement could not be made. An argument
// "window", "bitmap", "engine" or "full" runs only that measurement (for a
// profiler).
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "app/CZoVideoWidget.h"
#include "app/CZoViewerDlg.h"
#include "engine/CZoViewer2.h"
#include "platform/MessagePort.h"
#include "render/NullAudioDevice.h"
#include "synth/DemoRecording.h"

namespace {

using zo::engine::CZoViewer2;

constexpr int kSettleMs = 1000;
int gMeasureMs = 20000;

void ReadMeasureTime() {
    if (const char* text = std::getenv("ZO_VIEWER_BENCH_SECONDS")) {
        const int seconds = std::atoi(text);
        if (seconds > 0 && seconds <= 600)
            gMeasureMs = seconds * 1000;
    }
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop for `ms` milliseconds.
void Spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Code 6 records 60 pictures a second in all, where sound frames take the
// slots of some.
bool MakeRecording(const QString& path, int channels, double seconds, bool audio) {
    zo::synth::DemoOptions o;
    o.videoCode = 6;
    o.channels = channels;
    o.seconds = seconds;
    o.audio = audio;
    zo::synth::DemoStats stats;
    std::string error;
    if (!zo::synth::WriteRecordingFile(o, path.toStdString(), stats, error)) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), error.c_str());
        return false;
    }
    return true;
}

struct Sample {
    double cpuShare = 0;           // CPU seconds per second of playback
    double picturesPerSecond = 0;  // decoded
    double drawnPerSecond = 0;     // stored into a visible cell
};

// Counts the video widget's paints.
class PaintCounter : public QObject {
public:
    uint64_t paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// The engine alone, set up as the main window sets it up (its drawing path
// and Exact Steps as given), without a window.
Sample Headless(const QString& path, bool surfacePath, bool exactSteps) {
    zo::platform::NullMessagePort messages;
    CZoViewer2::Ports ports;
    ports.messages = &messages;
    ports.audioDevice = std::make_unique<zo::render::NullAudioDevice>();
    CZoViewer2 engine(std::move(ports));
    // As the main window makes it.
    engine.Create(640, 448, 6, 2, 4, 16000, 4);
    engine.SetMode(CZoViewer2::kModePlayer, -1);
    engine.SetLayout(engine.GetSplitCount(), 0);
    engine.SetUseDirectDraw(surfacePath);
    engine.SetExactSteps(exactSteps);
    std::atomic<uint64_t> decoded{0}, drawn{0};
    engine.SetPictureObserver([&](int, const zo::media::CalendarTime&, const uint8_t*, int, int, int shown) {
        ++decoded;
        if (shown == 1)
            ++drawn;
    });
    Sample s;
    if (engine.OpenRecording(path.toStdString(), 0) != 1)
        return s;
    if (engine.GetState() != CZoViewer2::kStatePlay)
        engine.Play(1.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMs));
    const double cpu0 = CpuSeconds();
    const uint64_t decoded0 = decoded.load(), drawn0 = drawn.load();
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(gMeasureMs));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    s.cpuShare = (CpuSeconds() - cpu0) / wall;
    s.picturesPerSecond = static_cast<double>(decoded.load() - decoded0) / wall;
    s.drawnPerSecond = static_cast<double>(drawn.load() - drawn0) / wall;
    engine.CloseRecording();
    return s;
}

std::unique_ptr<CZoViewerDlg> MakeWindow(const QTemporaryDir& dir, const char* profile) {
    CZoViewerDlg::Options options;
    options.profilePath = dir.filePath(QString::fromLatin1(profile)).toStdString();
    options.audioDevice = std::make_unique<zo::render::NullAudioDevice>();
    auto window = std::make_unique<CZoViewerDlg>(std::move(options));
    window->Messages().SetPresenter([](const QString& text) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); });
    window->Messages().SetAsker([](const QString&) { return false; });
    window->show();
    Spin(300);
    return window;
}

struct WindowSample {
    Sample sample;
    uint64_t decoded = 0;
    uint64_t paints = 0;
    uint64_t shown = 0;
    QSize video;
};

// Plays `path` in a window laid out by `commands`, measuring as the headless run does.
WindowSample InWindow(const QTemporaryDir& dir, const QString& path, std::initializer_list<int> commands,
                      bool surfacePath = true) {
    WindowSample result;
    auto window = MakeWindow(dir, "viewer.ini");
    window->Engine().SetUseDirectDraw(surfacePath);
    std::atomic<uint64_t> all{0}, drawn{0};
    window->Engine().SetPictureObserver(
        [&](int, const zo::media::CalendarTime&, const uint8_t*, int, int, int shown) {
            ++all;
            if (shown == 1)
                ++drawn;
        });
    PaintCounter counter;
    window->VideoWidget()->installEventFilter(&counter);
    if (!window->OpenSource(path, false)) {
        window->VideoWidget()->removeEventFilter(&counter);
        return result;
    }
    for (int command : commands)
        window->RunCommand(command);
    if (window->Engine().GetState() != CZoViewer2::kStatePlay)
        window->RunCommand(CZoViewerDlg::kPlay);
    Spin(kSettleMs);
    const double cpu0 = CpuSeconds();
    const uint64_t all0 = all.load();
    const uint64_t drawn0 = drawn.load();
    const uint64_t paints0 = counter.paints;
    const zo::render::CZoWnd::PaintStats stats0 = window->Engine().Window().GetPaintStats();
    QElapsedTimer t;
    t.start();
    Spin(gMeasureMs);
    const double wall = t.nsecsElapsed() / 1e9;
    result.sample.cpuShare = (CpuSeconds() - cpu0) / wall;
    const zo::render::CZoWnd::PaintStats stats1 = window->Engine().Window().GetPaintStats();
    result.decoded = stats1.composed - stats0.composed;
    result.paints = counter.paints - paints0;
    result.shown = stats1.shown - stats0.shown;
    result.sample.picturesPerSecond = static_cast<double>(all.load() - all0) / wall;
    result.sample.drawnPerSecond = static_cast<double>(drawn.load() - drawn0) / wall;
    result.video = window->VideoWidget()->size() * window->VideoWidget()->devicePixelRatioF();
    window->VideoWidget()->removeEventFilter(&counter);
    window->Engine().SetPictureObserver({});
    window->CloseProgram();
    return result;
}

}  // namespace

void PrintFullScreen(const char* path, const WindowSample& full) {
    std::printf("  %-14s video %dx%d: stored %llu, shown %llu (%.1f%%), %.1f stored/s, %.1f paints/s, cpu %.1f%% of a "
                "core\n",
                path, full.video.width(), full.video.height(), static_cast<unsigned long long>(full.decoded),
                static_cast<unsigned long long>(full.shown),
                full.decoded ? 100.0 * static_cast<double>(full.shown) / static_cast<double>(full.decoded) : 0.0,
                full.sample.drawnPerSecond, static_cast<double>(full.paints) * 1000.0 / gMeasureMs,
                full.sample.cpuShare * 100);
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ReadMeasureTime();
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    // Long enough that play never reaches the end while measuring.
    const double seconds = (kSettleMs + gMeasureMs) / 1000.0 + 5;
    const QString sixteen = dir.filePath(QStringLiteral("sixteen.ZRF"));
    const QString sixty = dir.filePath(QStringLiteral("sixty.ZRF"));
    if (!MakeRecording(sixteen, 16, seconds, true) || !MakeRecording(sixty, 1, seconds, true))
        return 1;
    const QScreen* screen = QGuiApplication::primaryScreen();
    std::printf("platform %s, screen %dx%d\n", qPrintable(QGuiApplication::platformName()),
                screen ? screen->size().width() : 0, screen ? screen->size().height() : 0);

    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (only == QLatin1String("window"))
        return InWindow(dir, sixteen, {}).decoded > 0 ? 0 : 1;
    if (only == QLatin1String("bitmap"))
        return InWindow(dir, sixteen, {}, false).decoded > 0 ? 0 : 1;
    if (only == QLatin1String("engine"))
        return Headless(sixteen, true, true).picturesPerSecond > 0 ? 0 : 1;
    if (only == QLatin1String("full")) {
        const WindowSample surface = InWindow(dir, sixty, {CZoViewerDlg::kSplit1, CZoViewerDlg::kFullScreen}, true);
        PrintFullScreen("surface path", surface);
        const WindowSample bitmap = InWindow(dir, sixty, {CZoViewerDlg::kSplit1, CZoViewerDlg::kFullScreen}, false);
        PrintFullScreen("bitmap path", bitmap);
        return surface.decoded > 0 && bitmap.decoded > 0 ? 0 : 1;
    }

    // The window's defaults: the surface path ("Use DDraw") and Exact Steps.
    const Sample engine = Headless(sixteen, true, true);
    const WindowSample window = InWindow(dir, sixteen, {});
    const Sample engineBitmap = Headless(sixteen, false, true);
    const WindowSample windowBitmap = InWindow(dir, sixteen, {}, false);
    const Sample engineBare = Headless(sixteen, false, false);
    std::printf("\n16-channel recording at x1, %d s measured (CPU of the whole process per second of playback)\n",
                gMeasureMs / 1000);
    std::printf("  %-26s %8s %12s %12s %10s\n", "", "cpu %", "decoded/s", "drawn/s", "paints/s");
    const auto engineRow = [](const char* name, const Sample& e) {
        std::printf("  %-26s %8.2f %12.1f %12.1f %10s\n", name, e.cpuShare * 100, e.picturesPerSecond,
                    e.drawnPerSecond, "-");
    };
    const auto windowRow = [](const char* name, const WindowSample& w) {
        std::printf("  %-26s %8.2f %12.1f %12.1f %10.1f\n", name, w.sample.cpuShare * 100,
                    w.sample.picturesPerSecond, w.sample.drawnPerSecond,
                    static_cast<double>(w.paints) * 1000.0 / gMeasureMs);
    };
    engineRow("engine alone, surface path", engine);
    windowRow("window, surface path", window);
    engineRow("engine alone, bitmap path", engineBitmap);
    windowRow("window, bitmap path", windowBitmap);
    engineRow("engine, its own defaults", engineBare);
    const auto ratio = [](const WindowSample& w, const Sample& e) {
        return e.cpuShare > 0 ? w.sample.cpuShare / e.cpuShare : 0;
    };
    std::printf("  window / engine set up alike: %.2fx surface path, %.2fx bitmap path (goal < 2x); "
                "window / engine's own defaults: %.2fx; goal < 15%% of a core in total\n",
                ratio(window, engine), ratio(windowBitmap, engineBitmap), ratio(window, engineBare));

    std::printf("\nOne channel of code 6 with sound (52 pictures a second), Split 1, full screen, %d s measured\n",
                gMeasureMs / 1000);
    const WindowSample surface = InWindow(dir, sixty, {CZoViewerDlg::kSplit1, CZoViewerDlg::kFullScreen}, true);
    PrintFullScreen("surface path", surface);
    const WindowSample bitmap = InWindow(dir, sixty, {CZoViewerDlg::kSplit1, CZoViewerDlg::kFullScreen}, false);
    PrintFullScreen("bitmap path", bitmap);
    const Sample engineSixty = Headless(sixty, true, true);
    std::printf("  %-14s decoded %.1f/s, cpu %.1f%% of a core\n", "engine alone", engineSixty.picturesPerSecond,
                engineSixty.cpuShare * 100);
    const bool measured = engine.picturesPerSecond > 0 && engineBitmap.picturesPerSecond > 0 &&
                          engineBare.picturesPerSecond > 0 && window.decoded > 0 && windowBitmap.decoded > 0 && surface.decoded > 0 && bitmap.decoded > 0;
    if (!measured)
        std::fprintf(stderr, "no pictures were played: nothing measured\n");
    return measured ? 0 : 1;
}
