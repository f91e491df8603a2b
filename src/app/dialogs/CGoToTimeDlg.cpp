#include "app/dialogs/CGoToTimeDlg.h"

#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <QVBoxLayout>

#include "app/dialogs/DialogFields.h"

QString CGoToTimeDlg::FieldFormat() { return QStringLiteral("yyyy-MM-dd HH:mm:ss"); }

CGoToTimeDlg::CGoToTimeDlg(QWidget* owner, uint32_t initialSeconds) : QDialog(owner) {
    setWindowTitle(QStringLiteral("Go to Time"));
    field_ = new QDateTimeEdit(this);
    // Block times are seconds since 1970 read as calendar fields without a
    // zone shift: the field works in UTC so that what it shows is what the
    // recording and the status strip show.
    field_->setTimeSpec(Qt::UTC);
    field_->setDisplayFormat(FieldFormat());
    field_->setMinimumDateTime(QDateTime::fromSecsSinceEpoch(0, Qt::UTC));
    field_->setMaximumDateTime(QDateTime::fromSecsSinceEpoch(0xFFFFFFFFll, Qt::UTC));
    field_->setDateTime(QDateTime::fromSecsSinceEpoch(initialSeconds, Qt::UTC));
    field_->setCurrentSection(QDateTimeEdit::HourSection);

    auto* form = new QFormLayout;
    form->addRow(dialogs::BuddyLabel(QStringLiteral("&Time:"), field_, this), field_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Go"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    field_->setFocus();
}

uint32_t CGoToTimeDlg::Seconds() const {
    const qint64 s = field_->dateTime().toSecsSinceEpoch();
    return static_cast<uint32_t>(std::clamp<qint64>(s, 0, 0xFFFFFFFFll));
}
