// A main window on the offscreen platform with a profile of its own, silent
// sound, recorded message boxes and file askers instead of dialogs.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <functional>
#include <memory>

#include "app/CZoViewerDlg.h"
#include "render/NullAudioDevice.h"
#include "synth/DemoRecording.h"

class ViewerFixture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    QString Path(const QString& name) const { return dir_.filePath(name); }
    std::string ProfilePath() const { return Path("cfg/zoviewer.ini").toStdString(); }

    std::unique_ptr<CZoViewerDlg> MakeWindow(const QString& startup = {}) {
        CZoViewerDlg::Options options;
        options.startupPath = startup;
        options.profilePath = ProfilePath();
        options.audioDevice = std::make_unique<zo::render::NullAudioDevice>();
        options.askOpenFile = [this] { return answer_; };
        options.askDiskImage = [this] { return answer_; };
        options.askSaveRange = [this] { return answer_; };
        auto window = std::make_unique<CZoViewerDlg>(std::move(options));
        window->Messages().SetPresenter([this](const QString& text) { shown_.push_back(text); });
        window->Messages().SetAsker([](const QString&) { return false; });
        window->show();
        return window;
    }

    // A 4-camera recording of `seconds`, made once per test.
    QString Recording(const char* name = "rec.ZRF", double seconds = 6) {
        zo::synth::DemoOptions o;
        o.channels = 4;
        o.seconds = seconds;
        o.audio = true;
        o.audioChannels = 4;
        zo::synth::DemoStats stats;
        std::string error;
        const QString path = Path(name);
        EXPECT_TRUE(zo::synth::WriteRecordingFile(o, path.toStdString(), stats, error)) << error;
        return path;
    }

    // Processes events until `done` holds; false after a generous deadline.
    static bool WaitFor(const std::function<bool()>& done, int ms = 20000) {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > ms)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return true;
    }

    // Opens `path` and pauses as soon as play has started.
    static bool OpenPaused(CZoViewerDlg& w, const QString& path) {
        if (!w.OpenSource(path, false) || !WaitState(w, zo::engine::CZoViewer2::kStatePlay))
            return false;
        w.RunCommand(CZoViewerDlg::kPause);
        return WaitState(w, zo::engine::CZoViewer2::kStatePause);
    }

    static bool WaitState(CZoViewerDlg& w, int state) {
        return WaitFor([&] { return w.Engine().GetState() == state; });
    }

    QTemporaryDir dir_;
    QString answer_;
    std::vector<QString> shown_;
};
