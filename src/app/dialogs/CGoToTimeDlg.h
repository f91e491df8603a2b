// CGoToTimeDlg: asks for a recording time to go to, to the second. The
// field shows the time as the recording carries it (the block time's
// calendar fields, no zone shift), prefilled with the shown frame's time.
#pragma once

#include <QDialog>

#include <cstdint>

class QDateTimeEdit;

class CGoToTimeDlg : public QDialog {
    Q_OBJECT
public:
    // `initialSeconds`: block time (seconds since 1970) to start from.
    CGoToTimeDlg(QWidget* owner, uint32_t initialSeconds);

    // The chosen block time, valid after the dialog was accepted.
    uint32_t Seconds() const;
    QDateTimeEdit* Field() const { return field_; }

    // "yyyy-MM-dd HH:mm:ss", the field's format.
    static QString FieldFormat();

private:
    QDateTimeEdit* field_ = nullptr;
};
