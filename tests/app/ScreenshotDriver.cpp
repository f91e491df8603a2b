// Screenshot driver: builds the real main window, runs its commands as the
// user would, and saves the screen area of the window (and of a context
// menu it shows) as a PNG. Run on an X server (scripts/screenshots does it
// under Xvfb). Profile, sound and folders are its own; the user's are never
// touched.
//
//   zo_viewer_shot single OUT.png RECORDING   Split 1, channel titles on
//   zo_viewer_shot menu   OUT.png RECORDING   the player's context menu open
//   zo_viewer_shot zoom   OUT.png RECORDING   one camera zoomed in with the wheel and dragged
//   zo_viewer_shot live   OUT.png PORT        live view of the DVR on 127.0.0.1:PORT
//   zo_viewer_shot timeline OUT.png RECORDING the timeline shown, with three bookmarks
#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QFile>
#include <QMenu>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QMouseEvent>
#include <QWheelEvent>

#include <cstdio>
#include <memory>

#include "app/CZoVideoWidget.h"
#include "app/CZoTimeline.h"
#include "app/CZoViewerDlg.h"
#include "media/BookmarkStore.h"
#include "media/TimeIndex.h"
#include "render/NullAudioDevice.h"

namespace {

void Spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int Usage() {
    std::fprintf(stderr, "usage: zo_viewer_shot single|menu|zoom|timeline OUT.png RECORDING\n"
                         "       zo_viewer_shot live OUT.png PORT\n");
    return 2;
}

// The screen content of `area`, as the user sees it (popups included).
bool Grab(const QRect& area, const QString& out) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return false;
    const QPixmap shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    return !shot.isNull() && shot.save(out, "PNG");
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 4)
        return Usage();
    const QString scene = QString::fromLocal8Bit(argv[1]);
    const QString out = QString::fromLocal8Bit(argv[2]);
    const QString arg = QString::fromLocal8Bit(argv[3]);
    if (scene != QLatin1String("single") && scene != QLatin1String("menu") && scene != QLatin1String("live") &&
        scene != QLatin1String("zoom") && scene != QLatin1String("timeline"))
        return Usage();

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    // Bookmarks and the index cache in folders of its own.
    ::setenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toLocal8Bit().constData(), 1);
    ::setenv("XDG_CACHE_HOME", dir.filePath(QStringLiteral("cache")).toLocal8Bit().constData(), 1);
    if (scene == QLatin1String("timeline")) {
        // Three bookmarks, as "b" makes them, at times of the recording's first run.
        zo::media::OpenStatus status{};
        auto source = zo::media::FileSource::Open(arg.toStdString(), status);
        if (!source)
            return 1;
        const zo::media::TimeIndex index = zo::media::BuildTimeIndex(*source, zo::media::kVideoZOC, false);
        if (index.runs.empty())
            return 1;
        const uint32_t first = index.runs.front().firstTime;
        zo::media::BookmarkStore store;
        if (!store.Load(zo::media::SourceKey(*source, arg.toStdString(), zo::media::kVideoZOC, false)))
            return 1;
        store.Add({first + 6, 0, "gate opens"});
        store.Add({first + 24, zo::media::Bookmark::kAllChannels, "van arrives"});
        store.Add({first + 86, 2, "plate readable"});
        if (!store.Save())
            return 1;
    }
    const QString profile = dir.filePath(QStringLiteral("zoviewer.ini"));
    {
        QFile file(profile);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write("[Zo7R Viewer]\n");
        file.write(QStringLiteral("Capture Path=%1\n").arg(dir.path()).toUtf8());
        file.write(QStringLiteral("Local Recording Path=%1\n").arg(dir.path()).toUtf8());
        file.write(QStringLiteral("Show Time=%1\n").arg(scene == QLatin1String("menu") ? 0 : 1).toUtf8());
        if (scene == QLatin1String("live"))
            file.write(QStringLiteral("IP Address=127.0.0.1\nPort=%1\n").arg(arg.toInt()).toUtf8());
    }

    CZoViewerDlg::Options options;
    options.profilePath = profile.toStdString();
    options.audioDevice = std::make_unique<zo::render::NullAudioDevice>();
    CZoViewerDlg window(std::move(options));
    int failures = 0;
    window.Messages().SetPresenter([&failures](const QString& text) {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        ++failures;
    });
    window.show();
    Spin(500);

    QRect area = window.frameGeometry();
    if (scene == QLatin1String("live")) {
        window.RunCommand(CZoViewerDlg::kNetViewerMode);
        // The login dialog opens with the address and port of the profile.
        QTimer::singleShot(500, [] {
            if (auto* login = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                login->accept();
        });
        window.RunCommand(CZoViewerDlg::kConnect);
        Spin(6000);
    } else {
        if (!window.OpenSource(arg, false))
            return 1;
        if (scene == QLatin1String("single"))
            window.RunCommand(CZoViewerDlg::kSplit1);
        if (scene == QLatin1String("timeline")) {
            window.RunCommand(CZoViewerDlg::kTimeline);
            for (int i = 0; i < 100 && !window.Timeline()->HasIndex(); ++i)
                Spin(100);
            area = window.frameGeometry();
        }
        Spin(4000);
        if (scene == QLatin1String("menu")) {
            window.UpdateCommandStates();
            QMenu* menu = window.ContextMenu(window.Engine().GetMode());
            menu->popup(window.mapToGlobal(QPoint(window.width() / 3, window.height() / 4)));
            Spin(700);
            area = area.united(menu->geometry());
        }
        if (scene == QLatin1String("zoom")) {
            // Five wheel notches over the first camera's counter (2.4x),
            // then a drag with the left button, as a hand would do it.
            QWidget* video = window.VideoWidget();
            const QPoint at(video->width() * 28 / 100, video->height() * 30 / 100);
            QWheelEvent wheel(QPointF(at), QPointF(video->mapToGlobal(at)), QPoint(), QPoint(0, 5 * 120),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(video, &wheel);
            const auto mouse = [video](QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons held) {
                QMouseEvent event(type, QPointF(p), QPointF(video->mapToGlobal(p)), button, held, Qt::NoModifier);
                QApplication::sendEvent(video, &event);
            };
            mouse(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
            mouse(QEvent::MouseMove, at + QPoint(12, 8), Qt::NoButton, Qt::LeftButton);
            mouse(QEvent::MouseButtonRelease, at + QPoint(12, 8), Qt::LeftButton, Qt::NoButton);
            Spin(1000);
        }
    }
    window.update();
    Spin(300);
    const bool saved = Grab(area, out);
    window.CloseProgram();
    if (!saved) {
        std::fprintf(stderr, "could not save %s\n", qPrintable(out));
        return 1;
    }
    return failures == 0 ? 0 : 1;
}
