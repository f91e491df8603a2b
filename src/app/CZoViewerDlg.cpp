#include "app/CZoViewerDlg.h"

#include <QAction>
#include <QCloseEvent>
#include <QCursor>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QGuiApplication>
#include <QMenu>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/CZoVideoWidget.h"
#include "app/skin/CTransparentStatic.h"
#include "app/skin/CZoDvrStatus.h"
#include "app/skin/CZoSkinButton.h"
#include "app/skin/CZoSkinSlider.h"
#include "app/skin/SkinArt.h"
#include "export/EncoderRegistry.h"
#include "net/CZoNetSource.h"

namespace {

constexpr int kVideoCode = zo::media::kVideoZOC;
constexpr int kAudioCode = zo::media::kAudioSPCM8;
constexpr int kRecordedChannels = 4;
constexpr int kSampleRate = 16000;
constexpr int kAudioChannels = 4;

zo::engine::CZoViewer2::Ports MakePorts(zo::platform::MessagePort* messages, zo::platform::NotificationPort* parent,
                                        std::unique_ptr<zo::render::AudioDevice> device) {
    zo::engine::CZoViewer2::Ports ports;
    ports.messages = messages;
    ports.parent = parent;
    ports.audioDevice = std::move(device);
    return ports;
}

}  // namespace

CZoViewerDlg::CZoViewerDlg(Options options, QWidget* parent)
    : CZoSkinDialog(parent),
      options_(std::move(options)),
      messages_(this),
      notifications_(this),
      engine_(MakePorts(&messages_, &notifications_, std::move(options_.audioDevice))),
      profile_(options_.profilePath.empty() ? zo::platform::Profile::DefaultPath() : options_.profilePath) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setWindowTitle(QStringLiteral("Zo7R Viewer"));
    setWindowIcon(zo::app::AppIcon());
    setAccessibleName(QStringLiteral("Zo7R Viewer"));
    setAcceptDrops(true);
    setMouseTracking(true);
    setMinimumSize(kMinimumWindow);
    setSizeGripEnabled(false);
    SetRoundCorners(14, 14);
    SetSkinBitmap(zo::app::SkinId::kSkin);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(22, 24, 28));
    setPalette(pal);

    // The export looks for its compression options ("CompOptions") in the
    // settings folder (a program folder is not writable on Linux); any
    // registration of its encoder left from before goes.
    zo::exporter::SetWorkDirectory(QFileInfo(QString::fromStdString(profile_.Path())).absolutePath().toStdString());
    zo::exporter::RemoveEncoder();

    CreateEngine();
    // The buttons follow a state change at once, not at the next refresh.
    engine_.SetStateObserver([this](int) {
        QMetaObject::invokeMethod(this, [this] { if (!closed_) UpdateCommandStates(); }, Qt::QueuedConnection);
    });
    CreateControls();
    CreateActions();
    CreateMenus();
    LoadSettings();
    volumeSlider_->SetPos(static_cast<int>(engine_.GetVolume()));

    Layout(true, normalVideo_);

    layoutTimer_ = new QTimer(this);
    connect(layoutTimer_, &QTimer::timeout, this, [this] {
        if (relayoutPending_) {
            relayoutPending_ = false;
            Layout(false);
        }
    });
    layoutTimer_->start(1000);
    statusTimer_ = new QTimer(this);
    connect(statusTimer_, &QTimer::timeout, this, &CZoViewerDlg::RefreshStatus);
    statusTimer_->start(300);

    SwitchMode(zo::engine::CZoViewer2::kModePlayer);
    if (!options_.startupPath.isEmpty())
        OpenSource(options_.startupPath, false);
    UpdateCommandStates();
}

CZoViewerDlg::~CZoViewerDlg() {
    // Workers stop before the widgets they post to go.
    engine_.CloseRecording();
    engine_.Disconnect();
    notifications_.SetTarget(nullptr);
    // The video widget lets go of the compositor, a part of the engine,
    // before the engine goes (child widgets would outlive it).
    delete video_;
    video_ = nullptr;
}

void CZoViewerDlg::CreateEngine() {
    engine_.Create(640, 448, kVideoCode, kAudioCode, kRecordedChannels, kSampleRate, kAudioChannels);
    engine_.SetTitleFont(16, 0, 500, false, "Verdana");
    engine_.SetTextColor(0x80FFFF);
    engine_.SetBackColor(0);
}

QString CZoViewerDlg::TitleText() const { return title_ != nullptr ? title_->text() : QString(); }

bool CZoViewerDlg::OpenSource(const QString& path, bool disk) {
    if (path.isEmpty())
        return false;
    // A file that cannot be opened leaves the recording on view alone.
    const QString reason = ReasonOpenFailed(path);
    if (!reason.isEmpty()) {
        messages_.Show(QStringLiteral("Open Error\n\n%1\n%2").arg(path, reason).toStdString());
        return false;
    }
    if (engine_.GetMode() != zo::engine::CZoViewer2::kModePlayer)
        SwitchMode(zo::engine::CZoViewer2::kModePlayer);
    if (engine_.IsOpen())
        CloseCommand();
    ClearMarks();
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    // The reader's own "Open Error" is replaced by one that names the file.
    std::vector<QString> held;
    const QtMessagePort::Presenter previous = messages_.GetPresenter();
    messages_.SetPresenter([&held](const QString& text) { held.push_back(text); });
    const int opened = engine_.OpenRecording(path.toStdString(), disk ? 1 : 0);
    messages_.SetPresenter(previous);
    QGuiApplication::restoreOverrideCursor();
    if (!opened) {
        messages_.Show(QStringLiteral("Open Error\n\n%1\nIts size cannot be read, or playback cannot start.")
                           .arg(path)
                           .toStdString());
        UpdateCommandStates();
        return false;
    }
    for (const QString& text : held)
        messages_.Show(text.toStdString());
    const uint64_t size = engine_.GetSize();
    positionSlider_->SetRange(0, size < 2 ? 0 : static_cast<int>(std::min<uint64_t>(size / 4096, INT32_MAX)));
    positionSlider_->SetPos(0);
    title_->setText(path);
    SourceOpened();
    update();
    UpdateCommandStates();
    return true;
}

QString CZoViewerDlg::ReasonOpenFailed(const QString& path) const {
    // Drive names are resolved by the reader itself.
    if (path.startsWith(QLatin1String("\\\\.\\")))
        return {};
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EACCES)
            return QStringLiteral("No permission to read it (for a disk: open an image of it, or ask for read access).");
        return QString::fromLocal8Bit(std::strerror(error));
    }
    ::close(fd);
    return {};
}

bool CZoViewerDlg::eventFilter(QObject* watched, QEvent* e) {
    // The program button ends the program on a double click.
    if (watched == Button(kProgramButton) && e->type() == QEvent::MouseButtonDblClick) {
        RunCommand(kProgramButton);
        return true;
    }
    return CZoSkinDialog::eventFilter(watched, e);
}

void CZoViewerDlg::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls() && e->mimeData()->urls().first().isLocalFile())
        e->acceptProposedAction();
}

void CZoViewerDlg::dropEvent(QDropEvent* e) {
    const QList<QUrl> urls = e->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return;
    e->acceptProposedAction();
    OpenSource(urls.first().toLocalFile(), false);
}

void CZoViewerDlg::ClearMarks() {
    markIn_ = 0;
    markOut_ = 0;
}

void CZoViewerDlg::SliderMoving(int controlId, int position) {
    if (controlId == kVolumeSliderId) {
        engine_.SetVolume(static_cast<uint32_t>(position));
    } else if (controlId == kPositionSliderId && engine_.IsOpen()) {
        if (static_cast<uint64_t>(position) != engine_.GetPosition() / 4096) {
            // The slider's last step is the end itself, where nothing can be
            // read: it seeks to the last block instead.
            const uint64_t size = engine_.GetSize();
            const uint64_t lastBlock = size == 0 ? 0 : (size - 1) / 4096 * 4096;
            engine_.Seek(std::min(static_cast<uint64_t>(position) * 4096, lastBlock));
        }
    }
}

void CZoViewerDlg::SliderMoved(int controlId, int position) {
    // A key on the position slider seeks too; a release after a drag finds
    // the position already reached.
    SliderMoving(controlId, position);
}

bool CZoViewerDlg::event(QEvent* e) {
    if (e->type() == CZoNotifyEvent::Type()) {
        const auto* n = static_cast<CZoNotifyEvent*>(e);
        HandleNotification(n->message, n->wParam, n->lParam);
        return true;
    }
    return CZoSkinDialog::event(e);
}

void CZoViewerDlg::HandleNotification(int message, intptr_t, intptr_t) {
    switch (message) {
    case zo::net::WM_DVR_DISCONNECTED:
        if (engine_.IsConnected() || engine_.GetConnectState() != 0) {
            engine_.Disconnect();
            SetConnectButton(false);
            messages_.Show("Disconnected by server.");
        }
        break;
    case zo::net::WM_DVR_NO_RESPONSE:
        engine_.Disconnect();
        SetConnectButton(false);
        messages_.Show("No response server.");
        break;
    case zo::net::WM_DVR_LOGIN_FAILED:
        engine_.Disconnect();
        SetConnectButton(false);
        messages_.Show("Incorrect password.");
        break;
    case zo::render::CZoWnd::kSplitChangedMessage: {
        int cells = 1, page = 0;
        engine_.GetLayout(cells, page);
        engine_.SetLayout(cells, page);
        break;
    }
    default:
        break;  // status reports need nothing
    }
    UpdateCommandStates();
}

void CZoViewerDlg::RefreshStatus() {
    const int connectState = engine_.GetConnectState();
    if (connectState != status_->GetConnectState()) {
        status_->SetConnectState(connectState);
        status_->update();
    }
    const int state = engine_.GetState();
    status_->SetPlayerState(state);
    QString text = QString::fromLatin1(zo::engine::CZoViewer2::StateText(state));
    if (state == zo::engine::CZoViewer2::kStatePlay || state == zo::engine::CZoViewer2::kStatePlayReverse)
        text += QString::asprintf(" x %.1f", engine_.GetSpeed());
    if (engine_.GetMode() == zo::engine::CZoViewer2::kModePlayer) {
        // The thumb stays where the user holds it.
        if (!positionSlider_->IsDragging())
            positionSlider_->SetPos(static_cast<int>(std::min<uint64_t>(engine_.GetPosition() / 4096, INT32_MAX)));
        zo::media::CalendarTime time;
        const QString timeText = engine_.GetFrameTime(time) ? FormatFrameTime(time, engine_.GetTimeFormat())
                                                            : QStringLiteral(" ");
        positionSlider_->SetText(timeText);
        RefreshNavigation(text);
        status_->SetTexts(text, timeText);
    }
    UpdateCommandStates();
}

QString CZoViewerDlg::FormatFrameTime(const zo::media::CalendarTime& time, const std::string& format) {
    std::tm fields{};
    fields.tm_year = time.year - 1900;
    fields.tm_mon = time.month - 1;
    fields.tm_mday = time.day;
    fields.tm_hour = time.hour;
    fields.tm_min = time.minute;
    fields.tm_sec = time.second;
    fields.tm_isdst = -1;
    const std::time_t t = std::mktime(&fields);
    std::tm local{};
    if (t == static_cast<std::time_t>(-1) || t < 0 || localtime_r(&t, &local) == nullptr || local.tm_year + 1900 > 3000)
        return QStringLiteral(" ");
    char text[256];
    const size_t n = format.empty() ? 0 : std::strftime(text, sizeof text, format.c_str(), &local);
    return n == 0 ? QStringLiteral(" ") : QString::fromLocal8Bit(text, static_cast<qsizetype>(n));
}

void CZoViewerDlg::CloseProgram() {
    if (closed_)
        return;
    closed_ = true;
    statusTimer_->stop();
    layoutTimer_->stop();
    zo::exporter::RemoveEncoder();
    if (fullScreen_)
        SetFullScreen(false);
    if (maximized_)
        SetMaximized(false);
    Layout(false);
    QString error;
    if (!SaveSettings(&error))
        messages_.Show(QStringLiteral("The settings could not be saved:\n%1").arg(error).toStdString());
    engine_.CloseRecording();
    engine_.Disconnect();
    accept();
}

void CZoViewerDlg::closeEvent(QCloseEvent* e) {
    CloseProgram();
    e->accept();
}

void CZoViewerDlg::reject() {
    // Escape leaves full screen or maximised display; it never ends the program.
    if (fullScreen_)
        SetFullScreen(false);
    else if (maximized_)
        SetMaximized(false);
}

void CZoViewerDlg::keyPressEvent(QKeyEvent* e) { CZoSkinDialog::keyPressEvent(e); }
