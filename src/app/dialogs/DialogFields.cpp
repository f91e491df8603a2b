#include "app/dialogs/DialogFields.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

namespace dialogs {

bool ReadInteger(QLineEdit* edit, const QString& label, int& value, QWidget* parent) {
    bool ok = false;
    const int v = edit->text().trimmed().toInt(&ok);
    if (!ok) {
        QMessageBox::warning(parent, label.isEmpty() ? parent->windowTitle() : label,
                             QStringLiteral("Please enter an integer."));
        edit->setFocus();
        edit->selectAll();
        return false;
    }
    value = v;
    return true;
}

QString PlainText(QString text) {
    text.remove(QLatin1Char('&'));
    text = text.trimmed();
    if (text.endsWith(QLatin1Char(':')))
        text.chop(1);
    return text;
}

QLabel* BuddyLabel(const QString& text, QWidget* field, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(field);
    field->setAccessibleName(PlainText(text));
    return label;
}

}  // namespace dialogs
