// CLoginDlg: "Login", the address, port and password of a DVR.
//
// Use (main window, "&Connect..."):
//   CLoginDlg dlg(this);
//   dlg.ip = settings "IP Address"; dlg.dvrName = "DvrName";
//   dlg.port = "Port"; dlg.useDdns = "DynamicIp";
//   if (dlg.exec() == QDialog::Accepted) { store ip, dvrName, port, useDdns;
//       the password (dlg.password) is kept in memory only }
// or let ConnectFlow do the whole connect command (see below).
//
// It opens in IP mode: the label "IP address", the port shown. "Advanced"
// shows the "Use dynamic ip service" check box; checked, the address box
// holds the DVR name (label "DVR ID:") and the port is hidden. A port that
// is not an integer is refused on Login and the dialog stays open.
#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zo::engine {
class CZoViewer2;
}

class CLoginDlg : public QDialog {
    Q_OBJECT
public:
    explicit CLoginDlg(QWidget* owner = nullptr);

    QString ip = QStringLiteral("192.168.1.100");
    QString dvrName;
    int port = 0;
    bool useDdns = false;
    QString password;  // never stored by anyone

    void accept() override;

    // The values the connect command works with (the settings it reads and
    // stores): filled by the main window, updated after a Login.
    struct Connection {
        QString ip;
        QString dvrName;
        int port = 0;
        bool useDdns = false;
        QString ddnsServer;
        int ddnsPort = 0;
    };
    // The connect command: runs the dialog with `c`; on Login stores its
    // values into `c`, shows the wait cursor and calls Connect (IP mode) or
    // ConnectByName (DDNS mode) on the engine; a refusal shows the engine's
    // error text in a message box. 1 when the engine started the connection,
    // 0 when it refused, -1 when the user cancelled. The caller sets the
    // connect button from the result and repaints the video window.
    static int ConnectFlow(QWidget* owner, zo::engine::CZoViewer2& engine, Connection& c);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FieldsToControls();
    void ControlsToFields();
    void DdnsClicked();

    QCheckBox* ddnsBox_;
    QLabel* addressLabel_;
    QLineEdit* addressEdit_;
    QLabel* portLabel_;
    QLineEdit* portEdit_;
    QLineEdit* passwordEdit_;
    QPushButton* advancedButton_;
    QString addressText_;
    bool ddnsMode_ = false;  // the check box as last moved into the dialog
    bool loaded_ = false;
};
