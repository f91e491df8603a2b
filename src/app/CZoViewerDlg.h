// CZoViewerDlg: the viewer's one main window, a skinned frameless dialog
// that owns the player engine and turns every user action into engine
// calls: the button bar, the two sliders, the context menu of each mode,
// the accelerator keys, dropped files and the notifications the engine's
// components post to it. It lays its controls out per mode and width,
// shows the engine state and recording time, and loads the settings at
// start-up and saves them at exit.
//
// The implementation is split by feature: CZoViewerDlg.cpp (set-up, events,
// notifications, closing), CZoViewerDlgLayout.cpp (control table, layout,
// display states, dragging), CZoViewerDlgCommands.cpp (commands and their
// enable and tick rules), CZoViewerDlgMenus.cpp (context menus),
// CZoViewerDlgSettings.cpp (profile), CZoViewerDlgCapture.cpp (still
// capture, marked-range save), CZoViewerDlgNavigation.cpp (go to time,
// bookmarks, timeline, common keys).
//
// User-interface thread only; workers reach it through the notification
// port (queued events) and the message port.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QRect>
#include <QString>

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/QtMessagePort.h"
#include "app/QtNotificationPort.h"
#include "app/skin/CZoSkinDialog.h"
#include "engine/CZoViewer2.h"
#include "media/BookmarkStore.h"
#include "platform/Profile.h"

class QAction;
class QMenu;
class QTimer;
class CZoTimeline;
class CZoVideoWidget;

namespace zo::app {
class CTransparentStatic;
class CZoDvrStatus;
class CZoSkinButton;
class CZoSkinSlider;
}  // namespace zo::app

class CZoViewerDlg : public zo::app::CZoSkinDialog {
    Q_OBJECT
public:
    // Command identifiers (any equivalent numbers would do; these are the
    // ones of the control table).
    enum Command : int {
        kAbout = 16,
        kStillCapture = 1253,
        kSplit1 = 1694,
        kMinimize = 1672,
        kCloseButton = 1674,
        kProgramButton = 1676,
        kFullScreen = 32775,
        kShowTitle = 32774,
        kOpenFile = 32776,
        kExit = 32777,
        kVolumeUp = 32785,
        kVolumeDown = 32786,
        kMute = 32787,
        kPlay = 32788,
        kPause = 32789,
        kFastForward = 32790,
        kFastRewind = 32791,
        kNextFrame = 32792,
        kPrevFrame = 32793,
        kSplit4 = 32796,
        kSplit9 = 32797,
        kSplit16 = 32798,
        kPlayerOptions = 32800,
        kPlayReverse = 32804,
        kAlwaysOnTop = 32805,
        kSize448 = 32807,
        kSize544 = 32808,
        kMaximize = 32809,
        kCloseRecording = 32815,
        kSpeedUp = 32817,
        kSpeedDown = 32818,
        kSpeedNormal = 32819,
        kOpenDisk = 32820,
        kOpenDiskImage = 32821,
        kConnect = 32846,
        kPlayerMode = 32863,
        kNetViewerMode = 32864,
        kNetOptions = 32865,
        kMarkIn = 32867,
        kMarkOut = 32868,
        kExportRange = 32869,
        kExportAvi = 32871,
        kStartRecording = 32873,
        kStopRecording = 32874,
        // Navigation: go to time, bookmarks, timeline and the common keys.
        kGoToTime = 33001,
        kAddBookmark = 33002,
        kBookmarks = 33003,
        kTimeline = 33004,
        kKeyboardShortcuts = 33005,
        kJumpBack = 33006,
        kJumpForward = 33007,
        kPlayPause = 33008,
    };
    // Left and Right move this much recording time.
    static constexpr int kJumpSeconds = 5;
    // Up and Down change the volume by this much of 65535.
    static constexpr int kVolumeStep = 4096;
    static constexpr int kPositionSliderId = 1658;
    static constexpr int kVolumeSliderId = 1638;
    static constexpr int kStatusPanelId = 1652;
    static constexpr int kTitleId = 1695;
    static constexpr QSize kMinimumWindow{578, 486};
    static constexpr QSize kMinimumVideo{573, 346};
    static constexpr uint64_t kMaxRangeBytes = 1073741824;

    // What the application hands the window. Tests give a silent sound
    // device, a profile path of their own, and file askers instead of the
    // desktop's dialogs.
    struct Options {
        QString startupPath;
        std::string profilePath;  // empty: Profile::DefaultPath()
        std::unique_ptr<zo::render::AudioDevice> audioDevice;  // nullptr: SDL
        // Asked for the file of Open File, Open Disk Image and the marked
        // range; empty answer: cancelled. nullptr: the desktop's dialogs.
        std::function<QString()> askOpenFile;
        std::function<QString()> askDiskImage;
        std::function<QString()> askSaveRange;
    };

    explicit CZoViewerDlg(Options options, QWidget* parent = nullptr);
    ~CZoViewerDlg() override;

    // ---- Commands -------------------------------------------------------------
    QAction* Action(int command) const;
    // Runs a command as its menu item, button or key would (if enabled).
    void RunCommand(int command);
    // Refreshes the enable and tick states of every action and button, and
    // the texts that follow the state.
    void UpdateCommandStates();
    QMenu* ContextMenu(int mode) const;

    // ---- For the application and tests ------------------------------------------
    zo::engine::CZoViewer2& Engine() { return engine_; }
    QtMessagePort& Messages() { return messages_; }
    CZoVideoWidget* VideoWidget() const { return video_; }
    zo::app::CZoDvrStatus* StatusPanel() const { return status_; }
    zo::app::CZoSkinSlider* PositionSlider() const { return positionSlider_; }
    zo::app::CZoSkinSlider* VolumeSlider() const { return volumeSlider_; }
    zo::app::CZoSkinButton* Button(int command) const;
    QString TitleText() const;
    QSize VideoArea() const { return videoArea_.size(); }
    bool IsFullScreenOn() const { return fullScreen_; }
    bool IsMaximizedOn() const { return maximized_; }
    uint64_t MarkIn() const { return markIn_; }
    uint64_t MarkOut() const { return markOut_; }
    const QString& CapturePath() const { return capturePath_; }
    bool AlwaysOnTop() const { return alwaysOnTop_; }
    CZoTimeline* Timeline() const { return timeline_; }
    bool IsTimelineOn() const { return timelineOn_; }
    const zo::media::BookmarkStore& Bookmarks() const { return bookmarks_; }

    // Opens a recording file (or raw disk) as the Open File command does
    // after its dialog: closes the old source, clears the marks, opens, sets
    // the slider range and the title. A failure shows "Open Error" with the
    // path and the reason and keeps the old title. true when opened.
    bool OpenSource(const QString& path, bool disk);
    // The status refresh of the 300 ms timer.
    void RefreshStatus();
    // Lays the window out; with `resize` the window takes the size of the
    // video area `video` plus the frame, centred on the screen.
    void Layout(bool resize, QSize video = {});
    // The close-program steps (settings saved, engine closed, window closed).
    void CloseProgram();
    // Writes every setting to the profile now. false with the reason.
    bool SaveSettings(QString* error = nullptr);
    // Still capture; returns the path written, or empty after a failure
    // (which was shown).
    QString StillCapture();

    // ---- Pure rules, shared with tests ----------------------------------------------
    // "Export (File size: ...)" for the marked range.
    static QString ExportItemText(uint64_t markIn, uint64_t markOut);
    // Whether the marked range may be saved: out beyond in and the
    // block-rounded range at most 1 GiB.
    static bool RangeSavable(uint64_t markIn, uint64_t markOut);
    // The capture file path for `now` in `folder`: "%02d%02d%02d-%02d%02d%02d.bmp",
    // with "-2", "-3", ... before ".bmp" while `exists` says the name is taken.
    static QString CaptureFilePath(const QString& folder, const std::tm& now,
                                   const std::function<bool(const QString&)>& exists);
    // A calendar record in `format` (local time), or " " when it cannot be shown.
    static QString FormatFrameTime(const zo::media::CalendarTime& time, const std::string& format);
    // The open dialog's filter; the recording pattern matches ".ZRF" in any letter case.
    static QString RecordingFileFilter();
    // A folder setting read from the profile: absolute POSIX paths only,
    // anything else (drive letters, backslashes, relative) gives `fallback`.
    static QString PosixFolder(const QString& value, const QString& fallback);
    // The defaults of the two folder settings.
    static QString DefaultCapturePath();
    static QString DefaultRecordingPath();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;

private:
    // One row of the control table.
    enum class Anchor { Fixed, Right, Bottom, Corner };
    struct Placement {
        int command;
        Anchor anchor;
        int x, y;
        int modes;  // bit 0 Player, bit 1 NetViewer; 0 never shown
    };

    // Set-up (CZoViewerDlg.cpp).
    void CreateEngine();
    void HandleNotification(int message, intptr_t wParam, intptr_t lParam);
    void SliderMoving(int controlId, int position);
    void SliderMoved(int controlId, int position);
    // Why `path` cannot be opened for reading; empty when it can.
    QString ReasonOpenFailed(const QString& path) const;

    // Layout (CZoViewerDlgLayout.cpp).
    void CreateControls();
    static const std::vector<Placement>& ControlTable();
    void PlaceControl(QWidget* widget, const Placement& p, int w, int h, bool show);
    void SetFullScreen(bool on);
    void SetMaximized(bool on);
    void SetVideoSize(QSize video);
    void ApplyZOrder();
    QRect ScreenRect() const;
    bool InResizeCorner(const QPoint& p) const;

    // Commands (CZoViewerDlgCommands.cpp).
    void CreateActions();
    void AddAction(int id, const QString& text, std::function<void()> handler, const QKeySequence& key = {});
    void SwitchMode(int mode);
    void OpenFileCommand();
    void OpenDiskCommand();
    void OpenDiskImageCommand();
    void CloseCommand();
    void ConnectCommand();
    void StartRecordingCommand();
    void PlayerOptionsCommand();
    void NetOptionsCommand();
    void ExportAviCommand();
    void SetConnectButton(bool connected);
    void ClearMarks();

    // Menus (CZoViewerDlgMenus.cpp).
    void CreateMenus();

    // Settings (CZoViewerDlgSettings.cpp).
    void LoadSettings();

    // Capture and range save (CZoViewerDlgCapture.cpp).
    void SaveRangeCommand();

    // Navigation (CZoViewerDlgNavigation.cpp): go to time, bookmarks, the
    // timeline, the common keys.
    void CreateNavigationActions();
    void UpdateNavigationStates();
    // The status refresh's part: timeline position and indexing progress.
    void RefreshNavigation(QString& statusText);
    int FrameHeight() const;
    void PlaceTimeline();
    void SourceOpened();
    void SourceClosed();
    // The shown frame's block time; false when no frame time is valid.
    bool ShownTime(uint32_t& seconds) const;
    int ShownChannel() const;
    // Searches to `seconds`; a time with no recording at or after it is
    // said in a message box. true when found.
    bool GoToSeconds(uint32_t seconds);
    void GoToTimeCommand();
    void JumpCommand(int seconds);
    void PlayPauseCommand();
    void VolumeStepCommand(int delta);
    void AddBookmarkCommand();
    void BookmarksCommand();
    bool SaveBookmarks();
    void SetTimelineShown(bool on);
    void StartTimelineIndex();

    Options options_;
    QtMessagePort messages_;
    QtNotificationPort notifications_;
    zo::engine::CZoViewer2 engine_;
    zo::platform::Profile profile_;

    // Controls.
    CZoVideoWidget* video_ = nullptr;
    zo::app::CZoDvrStatus* status_ = nullptr;
    zo::app::CZoSkinSlider* positionSlider_ = nullptr;
    zo::app::CZoSkinSlider* volumeSlider_ = nullptr;
    zo::app::CTransparentStatic* title_ = nullptr;
    std::map<int, zo::app::CZoSkinButton*> buttons_;
    std::map<int, QAction*> actions_;
    QMenu* playerMenu_ = nullptr;
    QMenu* netMenu_ = nullptr;
    QTimer* statusTimer_ = nullptr;
    QTimer* layoutTimer_ = nullptr;

    // Held settings.
    QString capturePath_;
    bool alwaysOnTop_ = false;
    QString ip_;
    int port_ = 8841;
    bool dynamicIp_ = false;
    QString ddnsIp_;
    int ddnsPort_ = 1800;
    QString localRecordingPath_;
    QString dvrName_;
    QString password_;  // of the last login; never saved

    // Window state.
    QRect videoArea_;
    QSize normalVideo_{640, 448};  // last video area of normal display, saved at exit
    QRect savedRect_;
    bool fullScreen_ = false;
    bool maximized_ = false;
    bool resizeDrag_ = false;
    QPoint resizeOffset_;
    bool relayoutPending_ = false;
    bool laidOut_ = false;
    bool inLayout_ = false;
    bool closed_ = false;
    int connectStateShown_ = -1;
    uint64_t markIn_ = 0;
    uint64_t markOut_ = 0;

    // Navigation.
    CZoTimeline* timeline_ = nullptr;
    bool timelineOn_ = false;
    zo::media::BookmarkStore bookmarks_;
    std::string sourceKey_;  // of the source on view; empty when none
    // After a 5-second jump during play, play resumes once the search has
    // paused: the state and speed to resume, until this deadline.
    int resumeState_ = 0;
    double resumeSpeed_ = 1.0;
    QElapsedTimer resumeTimer_;
};
