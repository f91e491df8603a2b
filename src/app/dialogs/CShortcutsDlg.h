// CShortcutsDlg: the keys and mouse gestures of the main window, in a table.
#pragma once

#include <QDialog>
#include <QString>

#include <utility>
#include <vector>

class QTreeWidget;

class CShortcutsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CShortcutsDlg(QWidget* owner);

    // Key (or gesture) and what it does, in the order shown.
    static const std::vector<std::pair<QString, QString>>& Rows();
    QTreeWidget* List() const { return list_; }

private:
    QTreeWidget* list_ = nullptr;
};
