// Main window: the context menu of each mode, refreshed before it shows.
#include <QAction>
#include <QContextMenuEvent>
#include <QKeySequence>
#include <QMenu>

#include "app/CZoViewerDlg.h"

namespace {

// The menus match the window's dark skin: dark body, light text, the blue
// of the skin's highlights for the item under the pointer. Sub-menus are
// children of their menu and take the same sheet.
constexpr const char* kMenuStyle =
    "QMenu { background-color: #22262c; color: #e4e8ee; border: 1px solid #454d58; padding: 4px 0px; }"
    "QMenu::item { background-color: transparent; padding: 4px 24px 4px 28px; }"
    "QMenu::item:selected { background-color: #2b6ea6; color: #ffffff; }"
    "QMenu::item:disabled { color: #868e9b; }"
    "QMenu::separator { height: 1px; background-color: #3c434d; margin: 4px 8px; }";

}  // namespace

void CZoViewerDlg::CreateMenus() {
    auto add = [this](QMenu* menu, std::initializer_list<int> ids) {
        for (int id : ids) {
            if (id == 0)
                menu->addSeparator();
            else
                menu->addAction(Action(id));
        }
    };
    // Player mode.
    playerMenu_ = new QMenu(this);
    add(playerMenu_, {kPlayerMode, kNetViewerMode, 0, kOpenFile, kOpenDisk, kOpenDiskImage});
    QMenu* convert = playerMenu_->addMenu(QStringLiteral("Con&vert"));
    add(convert, {kExportAvi});
    add(playerMenu_, {kCloseRecording, 0, kShowTitle, kAlwaysOnTop, 0});
    QMenu* play = playerMenu_->addMenu(QStringLiteral("P&layback"));
    add(play, {kPlay, kPlayReverse, kPause, kFastForward, kFastRewind, kNextFrame, kPrevFrame});
    QMenu* range = playerMenu_->addMenu(QStringLiteral("Ma&rk"));
    add(range, {kMarkIn, kMarkOut, 0, kExportRange});
    QMenu* sound = playerMenu_->addMenu(QStringLiteral("&Sound"));
    add(sound, {kVolumeUp, kVolumeDown, kMute});
    QMenu* view = playerMenu_->addMenu(QStringLiteral("&View"));
    add(view, {kFullScreen, kMaximize, 0, kSize448, kSize544, 0, kSplit1, kSplit4});
    add(playerMenu_, {0, kGoToTime, kAddBookmark, kBookmarks, kTimeline});
    add(playerMenu_, {0, kPlayerOptions, kKeyboardShortcuts, kAbout, 0, kExit});

    // NetViewer mode.
    netMenu_ = new QMenu(this);
    add(netMenu_, {kPlayerMode, kNetViewerMode, 0, kConnect, kStartRecording, kStopRecording, 0});
    QMenu* dvr = netMenu_->addMenu(QStringLiteral("Dvr Control"));
    add(dvr, {32848, 32849, 32850, 32851, 32852, 32853, 0, 32854, 0, 32855, 32856, 32857, 32858, 0, 32859, 32860,
              32861, 32862});
    add(netMenu_, {0, kAlwaysOnTop, kMute});
    QMenu* netView = netMenu_->addMenu(QStringLiteral("&View"));
    add(netView, {kFullScreen, kMaximize, 0, kSize448, kSize544});
    add(netMenu_, {0, kNetOptions, kKeyboardShortcuts, kAbout, 0, kExit});

    // Zoom: the wheel over a cell zooms it; "0" or this item shows every
    // cell whole again.
    auto* resetZoom = new QAction(QStringLiteral("Reset Zoom\t0"), this);
    resetZoom->setShortcut(QKeySequence(Qt::Key_0));
    resetZoom->setShortcutContext(Qt::WindowShortcut);
    connect(resetZoom, &QAction::triggered, this, [this] { engine_.Window().ResetZoom(); });
    addAction(resetZoom);
    for (QMenu* menu : {view, netView}) {
        menu->addSeparator();
        menu->addAction(resetZoom);
    }

    for (QMenu* menu : {playerMenu_, netMenu_}) {
        menu->setStyleSheet(QString::fromLatin1(kMenuStyle));
        connect(menu, &QMenu::aboutToShow, this, &CZoViewerDlg::UpdateCommandStates);
    }
}

QMenu* CZoViewerDlg::ContextMenu(int mode) const {
    return mode == zo::engine::CZoViewer2::kModePlayer ? playerMenu_ : netMenu_;
}

void CZoViewerDlg::contextMenuEvent(QContextMenuEvent* e) {
    UpdateCommandStates();
    ContextMenu(engine_.GetMode())->popup(e->globalPos());
    e->accept();
}
