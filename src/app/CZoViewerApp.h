// CZoViewerApp: the desktop application. It reads the command line
// (`zoviewer [PATH]`, --help, --version), runs the one main window from
// start to end, and ends when the window closes.
#pragma once

#include <QString>
#include <QStringList>

class CZoViewerApp {
public:
    // What the command line asked for.
    struct CommandLine {
        QString path;      // a recording to open; empty: none
        bool exit = false; // --help or --version was answered (or an error shown)
        int exitCode = 0;
        QString output;    // the text to print when exiting
    };
    static CommandLine ParseCommandLine(const QStringList& arguments);

    // The whole program: QApplication, window, event loop.
    static int Run(int argc, char** argv);

    static QString Version();
};
