#include "app/dialogs/CShortcutsDlg.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

const std::vector<std::pair<QString, QString>>& CShortcutsDlg::Rows() {
    static const std::vector<std::pair<QString, QString>> rows = {
        {QStringLiteral("Space"), QStringLiteral("Play / Pause")},
        {QStringLiteral(". or Ctrl+N"), QStringLiteral("Next frame")},
        {QStringLiteral(", or Ctrl+V"), QStringLiteral("Previous frame")},
        {QStringLiteral("Left"), QStringLiteral("5 seconds of recording back")},
        {QStringLiteral("Right"), QStringLiteral("5 seconds of recording forward")},
        {QStringLiteral("Up"), QStringLiteral("Volume up")},
        {QStringLiteral("Down"), QStringLiteral("Volume down")},
        {QStringLiteral("M"), QStringLiteral("Mute on / off")},
        {QStringLiteral("Ctrl+P"), QStringLiteral("Pause")},
        {QStringLiteral("Ctrl+G"), QStringLiteral("Go to time")},
        {QStringLiteral("B"), QStringLiteral("Bookmark the frame shown")},
        {QStringLiteral("Ctrl+T"), QStringLiteral("Timeline on / off")},
        {QStringLiteral("F11 or Ctrl+F"), QStringLiteral("Full screen on / off")},
        {QStringLiteral("Escape"), QStringLiteral("Leave full screen or maximised display")},
        {QStringLiteral("0"), QStringLiteral("Reset zoom")},
        {QStringLiteral("Wheel over a picture"), QStringLiteral("Zoom that picture around the pointer")},
        {QStringLiteral("Drag a zoomed picture"), QStringLiteral("Move the zoomed picture")},
        {QStringLiteral("Wheel / drag on the timeline"), QStringLiteral("Zoom / move the time axis")},
        {QStringLiteral("Click on the timeline"), QStringLiteral("Go to that time")},
        {QStringLiteral("Shift+Z, Shift+C, Shift+X"), QStringLiteral("Fine speed: normal, up, down")},
        {QStringLiteral("F1"), QStringLiteral("About")},
        {QStringLiteral("F2"), QStringLiteral("Open file")},
        {QStringLiteral("F4"), QStringLiteral("Close")},
    };
    return rows;
}

CShortcutsDlg::CShortcutsDlg(QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("Keyboard Shortcuts"));
    list_ = new QTreeWidget(this);
    list_->setAccessibleName(QStringLiteral("Keyboard Shortcuts"));
    list_->setHeaderLabels({QStringLiteral("Key"), QStringLiteral("Action")});
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    for (const auto& [key, action] : Rows())
        new QTreeWidgetItem(list_, {key, action});
    list_->resizeColumnToContents(0);
    list_->header()->setStretchLastSection(true);
    list_->setMinimumSize(480, 420);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addWidget(buttons);
}
