// CDiskSelDlg: "Disk Select", the list of the machine's disks.
//
// Use (main window, "Open &Disk..."):
//   CDiskSelDlg dlg(this);
//   if (dlg.exec() == QDialog::Accepted) {
//       const std::string path = dlg.GetSelectedPath();  // "\\.\PHYSICALDRIVEn" or ""
//       ... stop and close the source, open `path` with the raw-disk flag,
//       slider range 0 .. size / 4096, show the name.
//   }
// "Open Disk Image..." (next to "Open &Disk..."): AskDiskImage returns the
// chosen file (empty on Cancel), which the main window opens as a raw disk.
//
// Rows read "DISK%d  %-10s %10lld MB" in a fixed-pitch font. Row 0 is used
// when the user selects nothing. Disks that exist but cannot be opened are
// shown greyed with the reason and cannot be chosen.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "media/Disks.h"

class QListWidget;

class CDiskSelDlg : public QDialog {
    Q_OBJECT
public:
    // One row of the list: a usable disk, or one that cannot be opened.
    struct Row {
        int driveNumber = -1;  // -1: not choosable
        std::string text;
        std::string reason;    // why it cannot be opened; empty when usable
    };

    explicit CDiskSelDlg(QWidget* owner = nullptr, zo::media::DiskRoots roots = {});

    // "\\.\PHYSICALDRIVE%d" of the chosen row; "" when no disk is listed.
    std::string GetSelectedPath() const;
    const std::vector<Row>& Rows() const { return rows_; }

    // The rows for the disks numbered 0..9 under `roots`, in drive order:
    // those that can be opened, and those that exist but cannot be opened
    // (greyed, with the reason).
    static std::vector<Row> ListRows(const zo::media::DiskRoots& roots);
    // Why `devicePath` could not be opened, for the error number of the open.
    static std::string OpenFailureReason(int error, const std::string& devicePath);

    // An open-file dialog for a raw disk image ("dd" image); "" on Cancel.
    static QString AskDiskImage(QWidget* owner);

private:
    void SelectionChanged(int row);

    QListWidget* list_;
    std::vector<Row> rows_;
    int selected_ = -1;  // row chosen; the first usable row until the user selects
};
