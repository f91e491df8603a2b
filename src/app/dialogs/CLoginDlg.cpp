#include "app/dialogs/CLoginDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/dialogs/DialogFields.h"
#include "engine/CZoViewer2.h"

CLoginDlg::CLoginDlg(QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("Login"));

    ddnsBox_ = new QCheckBox(QStringLiteral("Use dynamic ip service"), this);
    addressEdit_ = new QLineEdit(this);
    addressLabel_ = new QLabel(QStringLiteral("IP address"), this);
    addressLabel_->setBuddy(addressEdit_);
    portEdit_ = new QLineEdit(this);
    portEdit_->setMaximumWidth(70);
    portLabel_ = dialogs::BuddyLabel(QStringLiteral("&Port:"), portEdit_, this);
    passwordEdit_ = new QLineEdit(this);
    passwordEdit_->setEchoMode(QLineEdit::Password);
    auto* passwordLabel = dialogs::BuddyLabel(QStringLiteral("Pass&word:"), passwordEdit_, this);

    auto* grid = new QGridLayout;
    grid->addWidget(ddnsBox_, 0, 1, 1, 3);
    grid->addWidget(addressLabel_, 1, 0);
    grid->addWidget(addressEdit_, 1, 1);
    grid->addWidget(portLabel_, 1, 2);
    grid->addWidget(portEdit_, 1, 3);
    grid->addWidget(passwordLabel, 2, 0);
    grid->addWidget(passwordEdit_, 2, 1);
    grid->setColumnMinimumWidth(1, 180);

    auto* buttons = new QDialogButtonBox(this);
    auto* login = buttons->addButton(QStringLiteral("Login"), QDialogButtonBox::AcceptRole);
    login->setDefault(true);
    buttons->addButton(QDialogButtonBox::Cancel);
    advancedButton_ = buttons->addButton(QStringLiteral("Advanced"), QDialogButtonBox::ResetRole);
    advancedButton_->setCheckable(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(buttons, &QDialogButtonBox::accepted, this, &CLoginDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CLoginDlg::reject);
    connect(ddnsBox_, &QCheckBox::clicked, this, &CLoginDlg::DdnsClicked);
    connect(advancedButton_, &QPushButton::toggled, ddnsBox_, &QWidget::setVisible);
}

void CLoginDlg::showEvent(QShowEvent* event) {
    if (!loaded_) {
        loaded_ = true;
        // IP mode unless the caller's setting asks for the dynamic ip
        // service, which then shows with the advanced controls.
        ddnsMode_ = useDdns;
        advancedButton_->setChecked(useDdns);
        ddnsBox_->setVisible(useDdns);
        addressText_ = useDdns ? dvrName : ip;
        FieldsToControls();
    }
    QDialog::showEvent(event);
}

// The public fields change only on Login; until then the dialog works on
// ddnsMode_ and addressText_.
void CLoginDlg::FieldsToControls() {
    ddnsBox_->setChecked(ddnsMode_);
    addressLabel_->setText(ddnsMode_ ? QStringLiteral("DVR ID:") : QStringLiteral("IP address"));
    addressEdit_->setAccessibleName(ddnsMode_ ? QStringLiteral("DVR ID") : QStringLiteral("IP address"));
    portLabel_->setVisible(!ddnsMode_);
    portEdit_->setVisible(!ddnsMode_);
    addressEdit_->setText(addressText_);
    portEdit_->setText(QString::number(port));
    passwordEdit_->setText(password);
}

void CLoginDlg::ControlsToFields() {
    addressText_ = addressEdit_->text().trimmed();
    ddnsMode_ = ddnsBox_->isChecked();
}

void CLoginDlg::DdnsClicked() {
    // What had been typed into the address box is dropped: the box shows the
    // stored name or address of the new mode. The port and password stay.
    const QString typedPort = portEdit_->text();
    const QString typedPassword = passwordEdit_->text();
    ControlsToFields();
    addressText_ = ddnsMode_ ? dvrName : ip;
    FieldsToControls();
    portEdit_->setText(typedPort);
    passwordEdit_->setText(typedPassword);
}

void CLoginDlg::accept() {
    int newPort = port;
    if (!ddnsBox_->isChecked() && !dialogs::ReadInteger(portEdit_, QStringLiteral("Port"), newPort, this))
        return;
    ControlsToFields();
    port = newPort;
    useDdns = ddnsMode_;
    password = passwordEdit_->text();
    if (useDdns)
        dvrName = addressText_;
    else
        ip = addressText_;
    QDialog::accept();
}

int CLoginDlg::ConnectFlow(QWidget* owner, zo::engine::CZoViewer2& engine, Connection& c) {
    CLoginDlg dlg(owner);
    dlg.ip = c.ip;
    dlg.dvrName = c.dvrName;
    dlg.port = c.port;
    dlg.useDdns = c.useDdns;
    if (dlg.exec() != QDialog::Accepted)
        return -1;
    c.ip = dlg.ip;
    c.dvrName = dlg.dvrName;
    c.port = dlg.port;
    c.useDdns = dlg.useDdns;

    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::string password = dlg.password.toStdString();
    const int started = c.useDdns ? engine.ConnectByName(c.ddnsServer.toStdString(), c.ddnsPort,
                                                         c.dvrName.toStdString(), password)
                                  : engine.Connect(c.ip.toStdString(), c.port, password);
    QApplication::restoreOverrideCursor();
    if (!started) {
        QMessageBox::warning(owner, QStringLiteral("Login"), QString::fromStdString(engine.GetErrorText()));
        return 0;
    }
    return 1;
}
