// Main window: every command, and the rules that enable and tick them.
#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QStandardPaths>

#include "app/CZoVideoWidget.h"
#include "app/CZoViewerDlg.h"
#include "app/dialogs/CAboutDlg.h"
#include "app/dialogs/CDiskSelDlg.h"
#include "app/dialogs/CExportAviDlg.h"
#include "app/dialogs/CLoginDlg.h"
#include "app/dialogs/CNetOptions.h"
#include "app/dialogs/COptionsDlg.h"
#include "app/skin/CTransparentStatic.h"
#include "app/skin/CZoDvrStatus.h"
#include "app/skin/CZoSkinButton.h"
#include "app/skin/CZoSkinSlider.h"
#include "app/skin/SkinArt.h"

using Engine = zo::engine::CZoViewer2;

namespace {

// The DVR's remote-control keys: command, menu text, key code.
struct DvrKey {
    int command;
    const char* text;
    int code;
};
constexpr DvrKey kDvrKeys[] = {
    {32848, "P&ause", 13},          {32849, "Rewind", 8},           {32850, "&Play / Pause", 13},
    {32851, "&Fast forward", 7},    {32852, "Record / &Stop", 12},  {32853, "Re&cord", 12},
    {32854, "Split 9", 5},          {32855, "Up / Channel &1", 6},  {32856, "Left / Channel &2", 2},
    {32857, "Down / Channel &3", 11}, {32858, "Right / Channel &4", 3}, {32859, "&Menu", 1},
    {32860, "&Up", 6},              {32861, "&Down", 11},           {32862, "S&elect", 7},
};

}  // namespace

QAction* CZoViewerDlg::Action(int command) const {
    auto it = actions_.find(command);
    return it == actions_.end() ? nullptr : it->second;
}

void CZoViewerDlg::AddAction(int id, const QString& text, std::function<void()> handler, const QKeySequence& key) {
    auto* action = new QAction(text, this);
    action->setShortcut(key);
    action->setShortcutContext(Qt::WindowShortcut);
    if (!handler)
        action->setEnabled(false);
    connect(action, &QAction::triggered, this, [this, handler = std::move(handler)] {
        if (handler)
            handler();
        if (!closed_)
            UpdateCommandStates();
    });
    addAction(action);  // shortcuts work whenever the window has the focus
    actions_[id] = action;
}

void CZoViewerDlg::RunCommand(int command) {
    QAction* action = Action(command);
    if (action == nullptr)
        return;
    UpdateCommandStates();
    if (action->isEnabled())
        action->trigger();
}

void CZoViewerDlg::CreateActions() {
    AddAction(kPlayerMode, QStringLiteral("Player"), [this] { SwitchMode(Engine::kModePlayer); });
    AddAction(kNetViewerMode, QStringLiteral("NetViewer"), [this] { SwitchMode(Engine::kModeNetViewer); });
    AddAction(kOpenFile, QStringLiteral("&Open File...\tF2"), [this] { OpenFileCommand(); }, QKeySequence(Qt::Key_F2));
    AddAction(kOpenDisk, QStringLiteral("Open &Disk..."), [this] { OpenDiskCommand(); });
    AddAction(kOpenDiskImage, QStringLiteral("Open Disk Ima&ge..."), [this] { OpenDiskImageCommand(); });
    AddAction(kExportAvi, QStringLiteral("AVI (Audio-Video Interleaved Files)"), [this] { ExportAviCommand(); });
    AddAction(kCloseRecording, QStringLiteral("&Close\tF4"), [this] { CloseCommand(); }, QKeySequence(Qt::Key_F4));
    AddAction(kShowTitle, QStringLiteral("Show Channel Title"), [this] {
        engine_.SetShowTitle(!engine_.GetShowTitle());
        video_->update();
    });
    AddAction(kAlwaysOnTop, QStringLiteral("Always &On Top"), [this] {
        alwaysOnTop_ = !alwaysOnTop_;
        ApplyZOrder();
    });
    AddAction(kPlay, QStringLiteral("&Play"), [this] { engine_.Play(1.0); });
    AddAction(kPlayReverse, QStringLiteral("Play Reverse"), [this] { engine_.PlayReverse(1.0); });
    AddAction(kPause, QStringLiteral("P&ause\tCtrl + P"), [this] { engine_.Pause(); }, QKeySequence(Qt::CTRL | Qt::Key_P));
    AddAction(kFastForward, QStringLiteral("Fast For&ward"), [this] { engine_.FastForward(); });
    AddAction(kFastRewind, QStringLiteral("Fast &Rewind"), [this] { engine_.FastRewind(); });
    AddAction(kNextFrame, QStringLiteral("&Next Frame\tCtrl + N"), [this] { engine_.NextFrame(); },
              QKeySequence(Qt::CTRL | Qt::Key_N));
    AddAction(kPrevFrame, QStringLiteral("Pre&vious Frame\tCtrl + V"), [this] { engine_.PrevFrame(); },
              QKeySequence(Qt::CTRL | Qt::Key_V));
    AddAction(kSpeedNormal, QStringLiteral("Normal Speed"), [this] { engine_.SpeedNormal(); },
              QKeySequence(Qt::SHIFT | Qt::Key_Z));
    AddAction(kSpeedUp, QStringLiteral("Speed Up"), [this] { engine_.SpeedUp(); }, QKeySequence(Qt::SHIFT | Qt::Key_C));
    AddAction(kSpeedDown, QStringLiteral("Speed Down"), [this] { engine_.SpeedDown(); },
              QKeySequence(Qt::SHIFT | Qt::Key_X));
    AddAction(kMarkIn, QStringLiteral("Mark &In"), [this] { markIn_ = engine_.GetPosition(); });
    AddAction(kMarkOut, QStringLiteral("Mark &Out"), [this] { markOut_ = engine_.GetPosition(); });
    AddAction(kExportRange, ExportItemText(0, 0), [this] { SaveRangeCommand(); });
    AddAction(kVolumeUp, QStringLiteral("Volume &Up"), [this] { VolumeStepCommand(kVolumeStep); },
              QKeySequence(Qt::Key_Up));
    AddAction(kVolumeDown, QStringLiteral("Volume &Down"), [this] { VolumeStepCommand(-kVolumeStep); },
              QKeySequence(Qt::Key_Down));
    AddAction(kMute, QStringLiteral("&Mute On/Off"), [this] { engine_.SetMute(engine_.GetMute() ? 0 : 1); });
    AddAction(kFullScreen, QStringLiteral("Full S&creen"), [this] { SetFullScreen(!fullScreen_); },
              QKeySequence(Qt::CTRL | Qt::Key_F));
    AddAction(kMaximize, QStringLiteral("&Maximize"), [this] { SetMaximized(!maximized_); });
    AddAction(kSize448, QStringLiteral("640 x 448"), [this] { SetVideoSize({640, 448}); });
    AddAction(kSize544, QStringLiteral("640 x 544"), [this] { SetVideoSize({640, 544}); });
    AddAction(kSplit1, QStringLiteral("Split &1"), [this] { engine_.SetLayout(1, -1); });
    AddAction(kSplit4, QStringLiteral("Split &4"), [this] { engine_.SetLayout(4, -1); });
    AddAction(kSplit9, QStringLiteral("Split 9"), [this] { engine_.SetLayout(9, -1); });
    AddAction(kSplit16, QStringLiteral("Split 16"), [this] { engine_.SetLayout(16, -1); });
    AddAction(kStillCapture, QStringLiteral("Still Capture"), [this] { StillCapture(); });
    AddAction(kPlayerOptions, QStringLiteral("O&ptions..."), [this] { PlayerOptionsCommand(); });
    AddAction(kNetOptions, QStringLiteral("O&ptions..."), [this] { NetOptionsCommand(); });
    AddAction(kConnect, QStringLiteral("Connect..."), [this] { ConnectCommand(); });
    AddAction(kStartRecording, QStringLiteral("Start Local Recording"), [this] { StartRecordingCommand(); });
    AddAction(kStopRecording, QStringLiteral("Stop Local Recording"), [this] { engine_.StopRecording(); });
    AddAction(kAbout, QStringLiteral("&About Viewer\tF1"), [this] { CAboutDlg(this).exec(); }, QKeySequence(Qt::Key_F1));
    AddAction(kExit, QStringLiteral("E&xit\tAlt+F4"), [this] { CloseProgram(); });
    AddAction(kMinimize, QStringLiteral("Minimize"), [this] { showMinimized(); });
    AddAction(kCloseButton, QStringLiteral("Close"), [this] { CloseProgram(); });
    AddAction(kProgramButton, QStringLiteral("Zo7R Viewer"), [this] { CloseProgram(); });
    for (const DvrKey& key : kDvrKeys) {
        const int code = key.code;
        AddAction(key.command, QString::fromLatin1(key.text), [this, code] { engine_.SendKey(code); });
    }
    for (int id : {kPlayerMode, kNetViewerMode, kShowTitle, kAlwaysOnTop, kMute, kFullScreen, kMaximize, kSize448,
                   kSize544})
        Action(id)->setCheckable(true);
    CreateNavigationActions();
}

void CZoViewerDlg::UpdateCommandStates() {
    const int state = engine_.GetState();
    const bool open = engine_.IsOpen() != 0;
    const bool player = engine_.GetMode() == Engine::kModePlayer;
    const bool loggedIn = engine_.IsConnected() != 0;
    const bool paused = state == Engine::kStatePause;
    auto set = [this](int id, bool enabled) {
        if (QAction* a = Action(id))
            a->setEnabled(enabled);
    };
    auto tick = [this](int id, bool on) {
        if (QAction* a = Action(id))
            a->setChecked(on);
    };
    tick(kPlayerMode, player);
    tick(kNetViewerMode, !player);
    set(kExportAvi, state == Engine::kStateReady || state == Engine::kStateStop || paused);
    set(kCloseRecording, open);
    tick(kShowTitle, engine_.GetShowTitle());
    tick(kAlwaysOnTop, alwaysOnTop_);
    for (int id : {kPlay, kPlayReverse, kPause, kFastForward, kFastRewind, kNextFrame, kPrevFrame})
        set(id, state != Engine::kStateReady);
    set(kMarkIn, open && paused);
    set(kMarkOut, open && paused);
    set(kExportRange, open && paused && RangeSavable(markIn_, markOut_));
    Action(kExportRange)->setText(ExportItemText(markIn_, markOut_));
    const bool muted = engine_.GetMute() != 0;
    tick(kMute, muted);
    tick(kFullScreen, fullScreen_);
    tick(kMaximize, maximized_);
    const QSize area = videoArea_.size();
    tick(kSize448, !fullScreen_ && !maximized_ && area == QSize(640, 448));
    tick(kSize544, !fullScreen_ && !maximized_ && area == QSize(640, 544));
    const bool working = engine_.HasThread();
    Action(kConnect)->setText(working && !player ? QStringLiteral("Disconnect") : QStringLiteral("Connect..."));
    set(kStartRecording, loggedIn && !engine_.IsRecording());
    set(kStopRecording, engine_.IsRecording() != 0);
    for (const DvrKey& key : kDvrKeys)
        set(key.command, loggedIn);

    for (auto& [id, button] : buttons_) {
        if (QAction* a = Action(id))
            button->setEnabled(a->isEnabled());
    }
    Button(kPlayerMode)->SetCheck(player);
    Button(kNetViewerMode)->SetCheck(!player);
    Button(kMute)->SetPushed(muted);
    UpdateNavigationStates();
}

void CZoViewerDlg::SwitchMode(int mode) {
    if (engine_.GetMode() == mode)
        return;
    if (mode == Engine::kModePlayer) {
        engine_.Disconnect();
        SetConnectButton(false);
        engine_.SetMode(Engine::kModePlayer, -1);
        status_->SetMode(zo::app::CZoDvrStatus::kPlayerMode);
        engine_.SetLayout(4, 0);
    } else {
        engine_.CloseRecording();
        ClearMarks();
        positionSlider_->SetRange(0, 0);
        positionSlider_->SetPos(0);
        engine_.SetMode(Engine::kModeNetViewer, -1);
        status_->SetMode(zo::app::CZoDvrStatus::kNetworkMode);
        engine_.SetLayout(1, 0);
    }
    title_->setText(QStringLiteral("Zo7R Viewer"));
    Layout(false);
    Layout(false);
    UpdateCommandStates();
}

QString CZoViewerDlg::RecordingFileFilter() {
    return QStringLiteral("All Files (*);;ZRF File Format (*.[Zz][Rr][Ff])");
}

void CZoViewerDlg::OpenFileCommand() {
    const QString path = options_.askOpenFile
                             ? options_.askOpenFile()
                             : QFileDialog::getOpenFileName(this, QStringLiteral("Open"), QString(), RecordingFileFilter(),
                                                            nullptr);
    if (!path.isEmpty())
        OpenSource(path, false);
}

void CZoViewerDlg::OpenDiskCommand() {
    CDiskSelDlg dlg(this);
    if (dlg.exec() != QDialog::Accepted)
        return;
    const std::string path = dlg.GetSelectedPath();
    if (!path.empty())
        OpenSource(QString::fromStdString(path), true);
}

void CZoViewerDlg::OpenDiskImageCommand() {
    const QString path = options_.askDiskImage ? options_.askDiskImage() : CDiskSelDlg::AskDiskImage(this);
    if (!path.isEmpty())
        OpenSource(path, true);
}

void CZoViewerDlg::CloseCommand() {
    engine_.CloseRecording();
    SourceClosed();
    engine_.Disconnect();
    SetConnectButton(false);
    ClearMarks();
    positionSlider_->SetRange(0, 0);
    positionSlider_->SetPos(0);
    positionSlider_->SetText(QString());
    title_->setText(QStringLiteral("Zo7R Viewer"));
    update();
    video_->update();
}

void CZoViewerDlg::SetConnectButton(bool connected) {
    zo::app::CZoSkinButton* button = Button(kConnect);
    button->SetSkin(connected ? zo::app::SkinId::kDisconnect : zo::app::SkinId::kConnect);
    button->SetTipText(connected ? QStringLiteral("Disconnect") : QStringLiteral("Connect"));
}

void CZoViewerDlg::ConnectCommand() {
    if (engine_.HasThread()) {
        engine_.Disconnect();
        SetConnectButton(false);
        video_->update();
        return;
    }
    CLoginDlg::Connection c;
    c.ip = ip_;
    c.dvrName = dvrName_;
    c.port = port_;
    c.useDdns = dynamicIp_;
    c.ddnsServer = ddnsIp_;
    c.ddnsPort = ddnsPort_;
    const int result = CLoginDlg::ConnectFlow(this, engine_, c);
    if (result >= 0) {
        ip_ = c.ip;
        dvrName_ = c.dvrName;
        port_ = c.port;
        dynamicIp_ = c.useDdns;
    }
    if (result == 1)
        SetConnectButton(true);
    video_->update();
}

void CZoViewerDlg::StartRecordingCommand() {
    QString folder = localRecordingPath_;
    if (folder.size() >= 2 && !QDir().mkpath(folder)) {
        messages_.Show(QStringLiteral("The folder %1 can not be created.").arg(folder).toStdString());
        return;
    }
    if (folder.size() < 2)
        folder = QDir::currentPath();
    if (!engine_.StartRecordingInFolder(folder.toStdString()))
        messages_.Show(engine_.Recorder().GetLastErrorText());
}

void CZoViewerDlg::PlayerOptionsCommand() {
    COptionsDlg dlg(this);
    dlg.alwaysOnTop = alwaysOnTop_;
    dlg.showChannelTitle = engine_.GetShowTitle();
    dlg.capturePath = capturePath_;
    dlg.repeat = engine_.GetRepeat() != 0;
    dlg.timeFormat = QString::fromStdString(engine_.GetTimeFormat());
    dlg.useDirectDraw = engine_.GetUseDirectDraw();
    dlg.exactSteps = engine_.GetExactSteps();
    if (dlg.exec() != QDialog::Accepted)
        return;
    alwaysOnTop_ = dlg.alwaysOnTop;
    engine_.SetShowTitle(dlg.showChannelTitle);
    capturePath_ = dlg.capturePath;
    engine_.SetRepeat(dlg.repeat ? 1 : 0);
    engine_.SetTimeFormat(dlg.timeFormat.toStdString());
    engine_.SetUseDirectDraw(dlg.useDirectDraw);
    engine_.SetExactSteps(dlg.exactSteps);
    ApplyZOrder();
    video_->update();
}

void CZoViewerDlg::NetOptionsCommand() {
    CNetOptions dlg(this);
    dlg.alwaysOnTop = alwaysOnTop_;
    dlg.useDirectDraw = engine_.GetUseDirectDraw();
    dlg.autoReconnection = engine_.GetAutoReconnection() != 0;
    dlg.ddnsServer = ddnsIp_;
    dlg.ddnsPort = ddnsPort_;
    dlg.localRecordingPath = localRecordingPath_;
    dlg.timeoutSeconds = static_cast<int>(engine_.GetTimeout() / 1000);
    if (dlg.exec() != QDialog::Accepted)
        return;
    alwaysOnTop_ = dlg.alwaysOnTop;
    engine_.SetUseDirectDraw(dlg.useDirectDraw);
    engine_.SetAutoReconnection(dlg.autoReconnection ? 1 : 0);
    ddnsIp_ = dlg.ddnsServer;
    ddnsPort_ = dlg.ddnsPort;
    localRecordingPath_ = dlg.localRecordingPath;
    engine_.SetTimeout(static_cast<uint32_t>(std::max(0, dlg.timeoutSeconds)) * 1000);
    ApplyZOrder();
}

void CZoViewerDlg::ExportAviCommand() {
    CExportAviDlg dlg(this, &messages_);
    // The recording on view is the natural input (a file, not a disk).
    if (engine_.IsOpen() && !engine_.Reader().RawDisk())
        dlg.inputPath = QString::fromStdString(engine_.GetPath());
    dlg.exec();
}
