// CNetOptions: the network viewer's "Network Options" dialog.
//
// Use (main window): construct, fill the public fields, exec(); after
// QDialog::Accepted read them back and apply them (timeoutSeconds * 1000
// through the engine's SetTimeout). Cancel leaves the fields unchanged.
//
// At first the dialog shows only "Always on top (&A)", "Use DirectDraw" and
// the local recording path; the "Advanced" toggle shows automatic
// reconnection, the connection timeout and the DDNS server and port. Hidden
// values pass through OK unchanged. A port or timeout that is not an integer
// is refused on OK with a message, and the dialog stays open.
#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

class CNetOptions : public QDialog {
    Q_OBJECT
public:
    explicit CNetOptions(QWidget* owner = nullptr);

    bool alwaysOnTop = false;
    bool useDirectDraw = false;
    bool autoReconnection = false;
    QString ddnsServer;
    int ddnsPort = 0;
    QString localRecordingPath;
    int timeoutSeconds = 0;

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FieldsToControls();
    void SetAdvancedShown(bool shown);
    void Browse();

    QCheckBox* alwaysOnTopBox_;
    QCheckBox* directDrawBox_;
    QCheckBox* reconnectBox_;
    QLineEdit* timeoutEdit_;
    QGroupBox* ddnsGroup_;
    QLineEdit* ddnsServerEdit_;
    QLineEdit* ddnsPortEdit_;
    QLineEdit* pathEdit_;
    QPushButton* advancedButton_;
    QWidget* advanced_;
    bool loaded_ = false;
};
