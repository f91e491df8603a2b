// CExportAviDlg: "Export To AVI", one AVI file per chosen camera channel of
// a recording file, with its own export engine.
//
// Use (main window, the export command): create on the stack and run it:
//   CExportAviDlg dlg(nullptr, &messagePort);   // port: the engine's messages
//   dlg.exec();
// inputPath / outputPath may be filled before exec() (both empty by default).
//
// Flow: channel boxes 1-4 and "Audio" checked; OK disabled until an input
// is chosen; the output name follows from the input ("ZRF" -> "AVI" in the
// file name); boxes 5-16 appear, unchecked, for the further channels the
// chosen recording holds. OK starts the export with the controls disabled;
// every 200 ms the percent text ("%3d%%"), the progress bar and the preview
// (the latest exported picture with its time text) follow it; at the end
// "Export Complete". Cancel stops a running export; the files written so
// far are completed as AVI files when the dialog is destroyed.
#pragma once

#include <QDialog>
#include <QImage>
#include <QString>
#include <array>
#include <memory>
#include <vector>

#include "export/CZoConverter.h"
#include "media/RecordingFormat.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace zo::platform {
class MessagePort;
}

class CExportAviDlg : public QDialog {
    Q_OBJECT
public:
    // `messages` gets the engine's messages and its replace question;
    // nullptr: message boxes of this dialog (user-interface thread only).
    explicit CExportAviDlg(QWidget* owner = nullptr, zo::platform::MessagePort* messages = nullptr);
    ~CExportAviDlg() override;

    QString inputPath;
    QString outputPath;
    int videoCode = zo::media::kVideoZOC;
    int audioCode = zo::media::kAudioSPCM8;

    // Channels (bit n: channel n) that hold pictures in the recording at
    // `path`, by one read of it; 0 when it cannot be read.
    static uint32_t ChannelsInRecording(const QString& path, int videoCode);

    // For tests: the engine, and whether an export thread runs.
    const zo::exporter::CZoConverter& Engine() const { return engine_; }
    bool Exporting() const { return started_ && !engine_.IsFinished(); }

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BrowseInput();
    void BrowseOutput();
    void InputChosen();
    void StartExport();
    void Tick();
    void SetControlsEnabled(bool enabled);
    void ShowPercent(int percent);

    std::unique_ptr<zo::platform::MessagePort> ownPort_;
    zo::platform::MessagePort* messages_;
    zo::exporter::CZoConverter engine_;
    std::array<QCheckBox*, zo::exporter::kExportChannels> channelBoxes_{};
    QCheckBox* audioBox_;
    QLineEdit* inputEdit_;
    QLineEdit* outputEdit_;
    QPushButton* inputBrowse_;
    QPushButton* outputBrowse_;
    QLabel* preview_;
    QProgressBar* progress_;
    QLabel* percent_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
    QTimer* timer_;
    std::vector<uint8_t> previewPixels_;
    uint64_t exportSize_ = 0;  // the recording's size (the reader forgets it when it closes)
    bool started_ = false;
    bool loaded_ = false;
};
