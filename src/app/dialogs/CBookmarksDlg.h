// CBookmarksDlg: the bookmarks of the source on view, in time order, with
// their channel and note; "Go To" (or a double click) jumps to the one
// chosen and closes, "Delete" removes it from the store and saves at once.
#pragma once

#include <QDialog>

#include <functional>

#include "media/BookmarkStore.h"

class QPushButton;
class QTreeWidget;

class CBookmarksDlg : public QDialog {
    Q_OBJECT
public:
    // `jump` goes to a bookmark; `save` writes the store after a deletion
    // (false: it could not, and has said why). The store must outlive the dialog.
    CBookmarksDlg(QWidget* owner, zo::media::BookmarkStore& store, std::function<void(const zo::media::Bookmark&)> jump,
                  std::function<bool()> save);

    QTreeWidget* List() const { return list_; }

    // How a bookmark's time and channel are shown: "2026-01-02 03:04:05", "CH3" or "All".
    static QString TimeText(uint32_t seconds);
    static QString ChannelText(int channel);

private:
    void Fill(int select);
    void GoTo();
    void Delete();
    void UpdateButtons();

    zo::media::BookmarkStore& store_;
    std::function<void(const zo::media::Bookmark&)> jump_;
    std::function<bool()> save_;
    QTreeWidget* list_ = nullptr;
    QPushButton* goTo_ = nullptr;
    QPushButton* delete_ = nullptr;
};
