#include "app/dialogs/CNetOptions.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <tuple>

#include "app/dialogs/CPathDialog.h"
#include "app/dialogs/DialogFields.h"

CNetOptions::CNetOptions(QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("Network Options"));

    auto* general = new QGroupBox(QStringLiteral("General"), this);
    alwaysOnTopBox_ = new QCheckBox(QStringLiteral("Always on top (&A)"), general);
    directDrawBox_ = new QCheckBox(QStringLiteral("Use DirectDraw"), general);
    auto* generalLayout = new QVBoxLayout(general);
    generalLayout->addWidget(alwaysOnTopBox_);
    generalLayout->addWidget(directDrawBox_);

    auto* pathGroup = new QGroupBox(QStringLiteral("Path for local Recording"), this);
    pathEdit_ = new QLineEdit(pathGroup);
    pathEdit_->setAccessibleName(QStringLiteral("Path for local Recording"));
    pathEdit_->setMinimumWidth(300);
    auto* browse = new QPushButton(QStringLiteral("Browse..."), pathGroup);
    auto* pathLayout = new QHBoxLayout(pathGroup);
    pathLayout->addWidget(pathEdit_, 1);
    pathLayout->addWidget(browse);

    // The settings that are otherwise only in the profile.
    advanced_ = new QWidget(this);
    reconnectBox_ = new QCheckBox(QStringLiteral("Auto Reconnection (&C)"), advanced_);
    timeoutEdit_ = new QLineEdit(advanced_);
    timeoutEdit_->setMaximumWidth(80);
    auto* timeoutRow = new QHBoxLayout;
    timeoutRow->addWidget(dialogs::BuddyLabel(QStringLiteral("Connection &Timeout:"), timeoutEdit_, advanced_));
    timeoutRow->addWidget(timeoutEdit_);
    timeoutRow->addWidget(new QLabel(QStringLiteral("sec"), advanced_));
    timeoutRow->addStretch(1);
    ddnsGroup_ = new QGroupBox(QStringLiteral("DDNS configuration"), advanced_);
    ddnsServerEdit_ = new QLineEdit(ddnsGroup_);
    ddnsPortEdit_ = new QLineEdit(ddnsGroup_);
    ddnsPortEdit_->setMaximumWidth(80);
    auto* ddnsLayout = new QHBoxLayout(ddnsGroup_);
    ddnsLayout->addWidget(dialogs::BuddyLabel(QStringLiteral("&IP:"), ddnsServerEdit_, ddnsGroup_));
    ddnsLayout->addWidget(ddnsServerEdit_, 1);
    ddnsLayout->addWidget(dialogs::BuddyLabel(QStringLiteral("P&ort:"), ddnsPortEdit_, ddnsGroup_));
    ddnsLayout->addWidget(ddnsPortEdit_);
    ddnsServerEdit_->setAccessibleName(QStringLiteral("DDNS IP"));
    ddnsPortEdit_->setAccessibleName(QStringLiteral("DDNS Port"));
    auto* advancedLayout = new QVBoxLayout(advanced_);
    advancedLayout->setContentsMargins(0, 0, 0, 0);
    advancedLayout->addWidget(reconnectBox_);
    advancedLayout->addLayout(timeoutRow);
    advancedLayout->addWidget(ddnsGroup_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    advancedButton_ = buttons->addButton(QStringLiteral("Advanced"), QDialogButtonBox::ResetRole);
    advancedButton_->setCheckable(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(general);
    layout->addWidget(pathGroup);
    layout->addWidget(advanced_);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setMinimumWidth(420);
    SetAdvancedShown(false);

    connect(buttons, &QDialogButtonBox::accepted, this, &CNetOptions::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CNetOptions::reject);
    connect(browse, &QPushButton::clicked, this, &CNetOptions::Browse);
    connect(advancedButton_, &QPushButton::toggled, this, &CNetOptions::SetAdvancedShown);
}

void CNetOptions::SetAdvancedShown(bool shown) {
    advanced_->setVisible(shown);
    advancedButton_->setChecked(shown);
}

void CNetOptions::showEvent(QShowEvent* event) {
    if (!loaded_) {
        loaded_ = true;
        FieldsToControls();
    }
    QDialog::showEvent(event);
}

void CNetOptions::FieldsToControls() {
    alwaysOnTopBox_->setChecked(alwaysOnTop);
    directDrawBox_->setChecked(useDirectDraw);
    reconnectBox_->setChecked(autoReconnection);
    ddnsServerEdit_->setText(ddnsServer);
    ddnsPortEdit_->setText(QString::number(ddnsPort));
    pathEdit_->setText(localRecordingPath);
    timeoutEdit_->setText(QString::number(timeoutSeconds));
}

void CNetOptions::Browse() {
    CPathDialog picker(QStringLiteral("Find Folder"), QStringLiteral("Select Folder"), pathEdit_->text(), this);
    if (picker.DoModal() == QDialog::Accepted)
        pathEdit_->setText(picker.GetPathName());
}

void CNetOptions::accept() {
    // Both integers must read before any field changes.
    int port = 0, timeout = 0;
    for (auto [edit, label, value] : {std::tuple{ddnsPortEdit_, QStringLiteral("DDNS Port"), &port},
                                      std::tuple{timeoutEdit_, QStringLiteral("Connection Timeout"), &timeout}}) {
        if (!dialogs::ReadInteger(edit, label, *value, this)) {
            SetAdvancedShown(true);  // the field in question must be visible
            edit->setFocus();
            return;
        }
    }
    alwaysOnTop = alwaysOnTopBox_->isChecked();
    useDirectDraw = directDrawBox_->isChecked();
    autoReconnection = reconnectBox_->isChecked();
    ddnsServer = ddnsServerEdit_->text();
    ddnsPort = port;
    localRecordingPath = pathEdit_->text();
    timeoutSeconds = timeout;
    QDialog::accept();
}
