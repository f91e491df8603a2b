// CAboutDlg: "About Viewer", the product, its versions and the libraries it
// runs on with their licences.
//
// Use (main window, "&About Viewer\tF1"): CAboutDlg(this).exec();
#pragma once

#include <QDialog>
#include <QString>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* owner = nullptr);

    // One line per library: name, version in use (read at run time where
    // the library tells it) and licence.
    static QString LibraryText();
};
