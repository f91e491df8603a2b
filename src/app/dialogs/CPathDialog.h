// CPathDialog: the folder picker behind the "Browse..." buttons of the
// option dialogs, on the desktop's folder dialog.
//
// Use:
//   CPathDialog picker("Find Folder", "Select Folder", currentFolder, this);
//   if (picker.DoModal() == QDialog::Accepted) folder = picker.GetPathName();
//
// The user picks a folder or types a path. Accepting validates it: an
// invalid path shows "The folder: ... is invalid. Please reenter." and the
// picker stays open; a missing folder asks whether to create it (Yes creates
// it with its parents, No stays open); a folder that cannot be created shows
// "... can not be created. Please double check." and stays open.
#pragma once

#include <QString>

class QWidget;

class CPathDialog {
public:
    CPathDialog(QString caption, QString prompt, QString initialFolder, QWidget* owner = nullptr);

    // QDialog::Accepted (1) when a usable folder was accepted, else Rejected.
    int DoModal();
    QString GetPathName() const { return path_; }

    // The checks of an accepted path with the three messages: 0 when the
    // folder may be used (it exists, or was created on Yes); non-zero
    // otherwise (1 invalid, 2 cannot be created, 3 the user said No).
    static int ValidateFolder(const QString& path, QWidget* parent);

    // Whether the desktop's own dialog is used (false on the offscreen
    // platform and wherever Qt has no native folder dialog).
    static bool UsesNativeDialog();

private:
    QString caption_;
    QString prompt_;
    QString initial_;
    QWidget* owner_;
    QString path_;
};
