// Small pieces the dialogs share: integer fields and labelled rows.
#pragma once

#include <QString>

class QLabel;
class QLineEdit;
class QWidget;

namespace dialogs {

// Reads an integer field. A text that is not an integer shows "Please enter
// an integer." with the field's label, puts the focus back into the field and
// gives false.
bool ReadInteger(QLineEdit* edit, const QString& label, int& value, QWidget* parent);

// A label with `text` (mnemonic "&" allowed) as the buddy of `field`, which
// also gets the label's text (without "&" and ":") as its accessible name.
QLabel* BuddyLabel(const QString& text, QWidget* field, QWidget* parent);

// The text without mnemonic marks and a trailing colon.
QString PlainText(QString text);

}  // namespace dialogs
