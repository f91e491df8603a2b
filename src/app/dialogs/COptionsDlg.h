// COptionsDlg: the player's "Options" dialog.
//
// Use (main window): construct, fill the public fields from the settings and
// components, call exec(); after QDialog::Accepted read the fields back and
// apply them. Cancel (or closing) leaves every field as it was filled.
//
//   COptionsDlg dlg(this);
//   dlg.alwaysOnTop = ...; dlg.showChannelTitle = ...; dlg.capturePath = ...;
//   dlg.repeat = ...; dlg.timeFormat = ...; dlg.useDirectDraw = ...;
//   dlg.exactSteps = ...;
//   if (dlg.exec() == QDialog::Accepted) { apply the fields }
//
// The fields go into the controls when the dialog is first shown; OK moves
// them back. The preview under the time-format box shows the current local
// time in the chosen or typed format.
#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

class COptionsDlg : public QDialog {
    Q_OBJECT
public:
    explicit COptionsDlg(QWidget* owner = nullptr);

    bool alwaysOnTop = false;
    bool showChannelTitle = false;
    QString capturePath = QStringLiteral("/tmp");
    bool repeat = false;
    QString timeFormat = QStringLiteral("%Y/%m/%d %H:%M:%S");
    bool useDirectDraw = false;
    // Previous Frame and reverse play show every picture with its true
    // content (the engine's Exact Steps) instead of key pictures only.
    bool exactSteps = true;

    // The six formats offered in the combo box, in order.
    static QStringList TimeFormats();
    // The current local time in `format` (strftime), at most 128
    // characters; empty when the conversion or the formatting fails.
    static QString FormatPreview(const QString& format);

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FieldsToControls();
    void ControlsToFields();
    void UpdatePreview(const QString& format);
    void Browse();

    QCheckBox* alwaysOnTopBox_;
    QCheckBox* channelTitleBox_;
    QCheckBox* repeatBox_;
    QCheckBox* directDrawBox_;
    QCheckBox* exactStepsBox_;
    QComboBox* formatBox_;
    QLabel* preview_;
    QLineEdit* pathEdit_;
    bool loaded_ = false;
};
