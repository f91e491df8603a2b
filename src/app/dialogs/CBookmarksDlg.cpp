#include "app/dialogs/CBookmarksDlg.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

QString CBookmarksDlg::TimeText(uint32_t seconds) {
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString CBookmarksDlg::ChannelText(int channel) {
    return channel == zo::media::Bookmark::kAllChannels ? QStringLiteral("All") : QStringLiteral("CH%1").arg(channel + 1);
}

CBookmarksDlg::CBookmarksDlg(QWidget* owner, zo::media::BookmarkStore& store,
                             std::function<void(const zo::media::Bookmark&)> jump, std::function<bool()> save)
    : QDialog(owner), store_(store), jump_(std::move(jump)), save_(std::move(save)) {
    setWindowTitle(QStringLiteral("Bookmarks"));
    list_ = new QTreeWidget(this);
    list_->setAccessibleName(QStringLiteral("Bookmarks"));
    list_->setHeaderLabels({QStringLiteral("Time"), QStringLiteral("Channel"), QStringLiteral("Note")});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->header()->setStretchLastSection(true);
    list_->setMinimumSize(520, 240);
    auto* empty = new QLabel(QStringLiteral("No bookmarks yet: press B while a recording shows to add one."), this);
    empty->setObjectName(QStringLiteral("EmptyHint"));

    goTo_ = new QPushButton(QStringLiteral("&Go To"), this);
    delete_ = new QPushButton(QStringLiteral("&Delete"), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(goTo_, QDialogButtonBox::ActionRole);
    buttons->addButton(delete_, QDialogButtonBox::ActionRole);
    goTo_->setDefault(true);
    connect(goTo_, &QPushButton::clicked, this, &CBookmarksDlg::GoTo);
    connect(delete_, &QPushButton::clicked, this, &CBookmarksDlg::Delete);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { GoTo(); });
    connect(list_, &QTreeWidget::currentItemChanged, this, [this] { UpdateButtons(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addWidget(empty);
    layout->addWidget(buttons);
    Fill(0);
}

void CBookmarksDlg::Fill(int select) {
    list_->clear();
    for (const zo::media::Bookmark& b : store_.Items())
        new QTreeWidgetItem(list_, {TimeText(b.time), ChannelText(b.channel), QString::fromStdString(b.note)});
    list_->resizeColumnToContents(0);
    list_->resizeColumnToContents(1);
    if (list_->topLevelItemCount() > 0)
        list_->setCurrentItem(list_->topLevelItem(std::clamp(select, 0, list_->topLevelItemCount() - 1)));
    findChild<QLabel*>(QStringLiteral("EmptyHint"))->setVisible(store_.Items().empty());
    UpdateButtons();
}

void CBookmarksDlg::UpdateButtons() {
    const bool chosen = list_->currentItem() != nullptr;
    goTo_->setEnabled(chosen);
    delete_->setEnabled(chosen);
}

void CBookmarksDlg::GoTo() {
    const int row = list_->indexOfTopLevelItem(list_->currentItem());
    if (row < 0 || static_cast<size_t>(row) >= store_.Items().size())
        return;
    const zo::media::Bookmark chosen = store_.Items()[static_cast<size_t>(row)];
    accept();
    if (jump_)
        jump_(chosen);
}

void CBookmarksDlg::Delete() {
    const int row = list_->indexOfTopLevelItem(list_->currentItem());
    if (row < 0 || !store_.Remove(static_cast<size_t>(row)))
        return;
    if (save_)
        save_();
    Fill(row);
}
