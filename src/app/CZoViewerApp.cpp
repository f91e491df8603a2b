#include "app/CZoViewerApp.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "app/CZoViewerDlg.h"
#include "app/skin/SkinArt.h"

namespace {

// SIGTERM, SIGINT and SIGHUP close the window as its close button does, so
// the settings are saved and the recording is closed; the handler only
// writes a byte that the event loop reads.
int signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

void CloseOnSignals(CZoViewerDlg& window) {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char byte = 0;
        while (::read(signalPipe[0], &byte, 1) > 0) {
        }
        window.CloseProgram();
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &action, nullptr);
}

}  // namespace

QString CZoViewerApp::Version() { return QStringLiteral(ZO_BUILD_VERSION); }

CZoViewerApp::CommandLine CZoViewerApp::ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Zo7R Viewer: plays DVR recordings (.ZRF files and DVR disks) "
                                                    "and shows a DVR live over the network."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addPositionalArgument(QStringLiteral("PATH"), QStringLiteral("A recording file to open."), QStringLiteral("[PATH]"));
    CommandLine result;
    if (!parser.parse(arguments)) {
        result.exit = true;
        result.exitCode = 2;
        result.output = parser.errorText() + QLatin1Char('\n');
        return result;
    }
    if (parser.isSet(help)) {
        result.exit = true;
        result.output = parser.helpText();
        return result;
    }
    if (parser.isSet(version)) {
        result.exit = true;
        result.output = QStringLiteral("zoviewer %1 (Zo7R Viewer 1.3.0.0)\n").arg(Version());
        return result;
    }
    const QStringList paths = parser.positionalArguments();
    if (paths.size() > 1) {
        result.exit = true;
        result.exitCode = 2;
        result.output = QStringLiteral("zoviewer: one recording at a time (%1 paths given)\n").arg(paths.size());
        return result;
    }
    // Absolute: the export later changes the working folder.
    if (!paths.isEmpty() && !paths.first().isEmpty())
        result.path = QFileInfo(paths.first()).absoluteFilePath();
    return result;
}

int CZoViewerApp::Run(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zoviewer"));
    QApplication::setApplicationDisplayName(QStringLiteral("Zo7R Viewer"));
    QApplication::setApplicationVersion(Version());
    QApplication::setDesktopFileName(QStringLiteral("zoviewer"));
    const CommandLine line = ParseCommandLine(QApplication::arguments());
    if (line.exit) {
        std::fputs(line.output.toLocal8Bit().constData(), line.exitCode == 0 ? stdout : stderr);
        return line.exitCode;
    }
    QApplication::setWindowIcon(zo::app::AppIcon());
    CZoViewerDlg::Options options;
    options.startupPath = line.path;
    CZoViewerDlg window(std::move(options));
    CloseOnSignals(window);
    QObject::connect(&window, &QDialog::finished, &app, &QCoreApplication::quit);
    window.show();
    return app.exec();
}
