// Main window: the control table, the layout per mode and width, the
// display states (normal, maximised, full screen) and the corner resize.
#include <QAction>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>

#include "app/CZoTimeline.h"
#include "app/CZoVideoWidget.h"
#include "app/CZoViewerDlg.h"
#include "app/skin/CTransparentStatic.h"
#include "app/skin/CZoDvrStatus.h"
#include "app/skin/CZoSkinButton.h"
#include "app/skin/CZoSkinSlider.h"
#include "app/skin/SkinArt.h"

using zo::app::CZoSkinButton;
namespace SkinId = zo::app::SkinId;

namespace {

// The window is the video area plus this frame.
constexpr int kFrameWidth = 5;
constexpr int kFrameHeight = 140;
constexpr QPoint kVideoOrigin{2, 65};
constexpr int kResizeCorner = 16;

struct ButtonEntry {
    int command;
    const char* tooltip;
    int bitmap;
};

// The skinned buttons: command, tooltip, bitmap strip.
constexpr ButtonEntry kButtons[] = {
    {CZoViewerDlg::kProgramButton, "Zo7R Viewer", SkinId::kProgram},
    {CZoViewerDlg::kMinimize, "Minimize", SkinId::kMinimize},
    {CZoViewerDlg::kCloseButton, "Close", SkinId::kClose},
    {CZoViewerDlg::kPlayerMode, "Player", SkinId::kModePlayer},
    {CZoViewerDlg::kNetViewerMode, "Viewer", SkinId::kModeViewer},
    {CZoViewerDlg::kOpenFile, "Open", SkinId::kOpen},
    {CZoViewerDlg::kFastRewind, "Fast Backward", SkinId::kFastBackward},
    {CZoViewerDlg::kPlayReverse, "Play Reverse", SkinId::kPlayReverse},
    {CZoViewerDlg::kPrevFrame, "Previous Frame", SkinId::kPrevFrame},
    {CZoViewerDlg::kPause, "Pause", SkinId::kPause},
    {CZoViewerDlg::kNextFrame, "Next Frame", SkinId::kNextFrame},
    {CZoViewerDlg::kPlay, "Play", SkinId::kPlay},
    {CZoViewerDlg::kFastForward, "Fast Forward", SkinId::kFastForward},
    {CZoViewerDlg::kStillCapture, "Still Capture", SkinId::kStillCapture},
    {CZoViewerDlg::kSplit1, "Split1", SkinId::kSplit1},
    {CZoViewerDlg::kSplit4, "Split4", SkinId::kSplit4},
    {CZoViewerDlg::kConnect, "Connect", SkinId::kConnect},
    {32849, "Rewind", SkinId::kDvrRewind},
    {32851, "Fast forward", SkinId::kDvrFastForward},
    {32850, "Play / Pause", SkinId::kDvrPlayPause},
    {32852, "Record / Stop", SkinId::kDvrRecordStop},
    {32855, "Up / Channel 1", SkinId::kDvrUp},
    {32857, "Down / Channel 3", SkinId::kDvrDown},
    {32856, "Left / Channel 2", SkinId::kDvrLeft},
    {32858, "Right / Channel 4", SkinId::kDvrRight},
    {32859, "Menu", SkinId::kDvrMenu},
    {32848, "Pause", SkinId::kPause},
    {32854, "Split 9", SkinId::kSplit4},
    {CZoViewerDlg::kMute, "Mute On/Off", SkinId::kMute},
};

}  // namespace

const std::vector<CZoViewerDlg::Placement>& CZoViewerDlg::ControlTable() {
    static const std::vector<Placement> table = {
        {kProgramButton, Anchor::Fixed, 12, 4, 3},
        {kTitleId, Anchor::Fixed, 44, 4, 3},
        {kMinimize, Anchor::Right, 567, 6, 3},
        {kCloseButton, Anchor::Right, 584, 6, 3},
        {kPlayerMode, Anchor::Fixed, 10, 30, 3},
        {kNetViewerMode, Anchor::Fixed, 90, 30, 3},
        {kOpenFile, Anchor::Bottom, 10, 262, 1},
        {kFastRewind, Anchor::Bottom, 49, 262, 1},
        {kPlayReverse, Anchor::Bottom, 80, 262, 1},
        {kPrevFrame, Anchor::Bottom, 111, 262, 1},
        {kPause, Anchor::Bottom, 142, 262, 1},
        {kNextFrame, Anchor::Bottom, 173, 262, 1},
        {kPlay, Anchor::Bottom, 204, 262, 1},
        {kFastForward, Anchor::Bottom, 235, 262, 1},
        {kStillCapture, Anchor::Bottom, 274, 262, 1},
        {kSplit1, Anchor::Bottom, 305, 262, 1},
        {kSplit4, Anchor::Bottom, 336, 262, 1},
        {kSplit9, Anchor::Bottom, 367, 262, 0},
        {kSplit16, Anchor::Bottom, 398, 262, 0},
        {kConnect, Anchor::Bottom, 10, 262, 2},
        {32849, Anchor::Bottom, 67, 256, 2},
        {32851, Anchor::Bottom, 116, 256, 2},
        {32850, Anchor::Bottom, 165, 256, 2},
        {32852, Anchor::Bottom, 214, 256, 2},
        {32855, Anchor::Bottom, 279, 256, 2},
        {32857, Anchor::Bottom, 328, 256, 2},
        {32856, Anchor::Bottom, 377, 256, 2},
        {32858, Anchor::Bottom, 426, 256, 2},
        {32859, Anchor::Bottom, 475, 256, 2},
        {32848, Anchor::Bottom, 49, 262, 0},
        {32853, Anchor::Bottom, 204, 262, 0},
        {32854, Anchor::Bottom, 243, 262, 0},
        {32860, Anchor::Bottom, 437, 262, 0},
        {32861, Anchor::Bottom, 468, 262, 0},
        {32862, Anchor::Bottom, 499, 262, 0},
        {kMute, Anchor::Corner, 516, 229, 3},
        {kVolumeSliderId, Anchor::Corner, 532, 229, 3},
    };
    return table;
}

void CZoViewerDlg::CreateControls() {
    video_ = new CZoVideoWidget(engine_.Window(), this);
    video_->setContextMenuPolicy(Qt::NoContextMenu);  // the window's menu shows
    title_ = new zo::app::CTransparentStatic(this);
    title_->setText(QStringLiteral("Zo7R Viewer"));
    title_->SetTextColor(QColor(200, 205, 215));
    QFont font(QStringLiteral("Verdana"));
    font.setPixelSize(13);
    font.setWeight(QFont::Bold);
    title_->setFont(font);
    title_->setAttribute(Qt::WA_TransparentForMouseEvents);
    title_->setAccessibleName(QStringLiteral("Title"));
    status_ = new zo::app::CZoDvrStatus(this);
    status_->SetBitmap(SkinId::kStatusStrip);
    positionSlider_ = new zo::app::CZoSkinSlider(this, kPositionSliderId);
    positionSlider_->SetChannelBitmaps(SkinId::kPositionChannel, SkinId::kPositionChannelActive, false);
    positionSlider_->SetThumbBitmaps(SkinId::kPositionThumb, SkinId::kPositionThumbActive, true);
    positionSlider_->setAccessibleName(QStringLiteral("Position"));
    positionSlider_->SetRange(0, 0);
    volumeSlider_ = new zo::app::CZoSkinSlider(this, kVolumeSliderId);
    volumeSlider_->SetChannelBitmaps(SkinId::kVolumeChannel, SkinId::kVolumeChannelActive, true);
    volumeSlider_->SetThumbBitmaps(SkinId::kVolumeThumb, SkinId::kVolumeThumbActive, true);
    volumeSlider_->setAccessibleName(QStringLiteral("Volume"));
    volumeSlider_->SetRange(0, 65535);
    volumeSlider_->SetPageSize(4096);
    volumeSlider_->SetMargins(4, 1, 4, 0);
    positionSlider_->SetDrawFocus(false);
    volumeSlider_->SetDrawFocus(false);
    for (auto* slider : {positionSlider_, volumeSlider_}) {
        connect(slider, &zo::app::CZoSkinSlider::Moving, this, &CZoViewerDlg::SliderMoving);
        connect(slider, &zo::app::CZoSkinSlider::Moved, this, &CZoViewerDlg::SliderMoved);
    }
    for (const ButtonEntry& entry : kButtons) {
        const bool radio = entry.command == kPlayerMode || entry.command == kNetViewerMode;
        auto* button = new CZoSkinButton(this, radio ? CZoSkinButton::Kind::Radio : CZoSkinButton::Kind::Push);
        button->SetSkin(entry.bitmap);
        button->SetTipText(QString::fromLatin1(entry.tooltip));
        button->setFocusPolicy(Qt::NoFocus);
        buttons_[entry.command] = button;
        const int command = entry.command;
        connect(button, &QAbstractButton::clicked, this, [this, command] { RunCommand(command); });
    }
    // The program button ends the program on a double click only.
    buttons_[kProgramButton]->disconnect(this);
    buttons_[kProgramButton]->installEventFilter(this);
}

zo::app::CZoSkinButton* CZoViewerDlg::Button(int command) const {
    auto it = buttons_.find(command);
    return it == buttons_.end() ? nullptr : it->second;
}

QRect CZoViewerDlg::ScreenRect() const {
    const QScreen* s = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    return s != nullptr ? s->geometry() : QRect(0, 0, 1920, 1080);
}

void CZoViewerDlg::PlaceControl(QWidget* widget, const Placement& p, int w, int h, bool show) {
    if (widget == nullptr)
        return;
    int x = p.x, y = p.y;
    if (p.anchor == Anchor::Right || p.anchor == Anchor::Corner)
        x += w - 608;
    if (p.anchor == Anchor::Bottom || p.anchor == Anchor::Corner)
        y += h - 300;
    widget->move(x, y);
    widget->setVisible(show);
}

void CZoViewerDlg::Layout(bool resize, QSize video) {
    if (inLayout_)
        return;
    inLayout_ = true;
    QSize window = size();
    if (fullScreen_) {
        window = ScreenRect().size();
        setGeometry(ScreenRect());
    } else if (resize) {
        window = (video + QSize(kFrameWidth, FrameHeight())).expandedTo(kMinimumWindow);
        const QRect screenArea = screen() != nullptr ? screen()->availableGeometry() : QRect(QPoint(), window);
        QRect frame(QPoint(), window);
        frame.moveCenter(screenArea.center());
        setGeometry(frame);
        savedRect_ = frame;
    }
    const int w = window.width(), h = window.height();
    if (fullScreen_) {
        videoArea_ = QRect(QPoint(), window);
        title_->hide();
        for (auto& [id, button] : buttons_)
            button->hide();
        status_->hide();
        positionSlider_->hide();
        volumeSlider_->hide();
        PlaceTimeline();
    } else {
        videoArea_ = QRect(kVideoOrigin, window - QSize(kFrameWidth, FrameHeight()));
        PlaceTimeline();
        ApplyZOrder();
        title_->show();
        const bool player = engine_.GetMode() == zo::engine::CZoViewer2::kModePlayer;
        const int modeBit = player ? 1 : 2;
        const int cornerLimit = player ? 517 : 635;
        for (const Placement& p : ControlTable()) {
            const bool show = (p.modes & modeBit) != 0 && (p.anchor != Anchor::Corner || w > cornerLimit);
            QWidget* widget = p.command == kTitleId          ? static_cast<QWidget*>(title_)
                              : p.command == kVolumeSliderId ? static_cast<QWidget*>(volumeSlider_)
                                                             : static_cast<QWidget*>(Button(p.command));
            PlaceControl(widget, p, w, h, show);
        }
        title_->resize(std::max(0, w - 44 - 70), 20);
        status_->setGeometry(13, h - 74, w - 116, 17);
        status_->show();
        positionSlider_->setGeometry(13, h - 52, w - 26, positionSlider_->height());
        positionSlider_->setVisible(player);
        if (!maximized_)
            normalVideo_ = videoArea_.size();
    }
    video_->setGeometry(videoArea_);
    laidOut_ = true;
    inLayout_ = false;
    update();
}

void CZoViewerDlg::ApplyZOrder() {
    const bool onTop = windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    if (onTop == alwaysOnTop_)
        return;
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, alwaysOnTop_);
    if (visible)
        show();
}

void CZoViewerDlg::resizeEvent(QResizeEvent* e) {
    CZoSkinDialog::resizeEvent(e);
    if (!laidOut_)
        return;
    // Laid out at once rather than a second later; the timer catches a size
    // that arrives while a layout runs.
    if (inLayout_)
        relayoutPending_ = true;
    else
        Layout(false);
}

void CZoViewerDlg::SetFullScreen(bool on) {
    if (on && maximized_)
        SetMaximized(false);
    if (on == fullScreen_)
        return;
    if (on) {
        savedRect_ = geometry();
        fullScreen_ = true;
        showFullScreen();
        Layout(false);
    } else {
        fullScreen_ = false;
        showNormal();
        setGeometry(savedRect_);
        Layout(false);
    }
    UpdateCommandStates();
}

void CZoViewerDlg::SetMaximized(bool on) {
    if (on && fullScreen_)
        SetFullScreen(false);
    if (on == maximized_)
        return;
    if (on) {
        savedRect_ = geometry();
        maximized_ = true;
        showMaximized();
        if (screen() != nullptr)
            setGeometry(screen()->availableGeometry());
    } else {
        maximized_ = false;
        showNormal();
        setGeometry(savedRect_);
    }
    Layout(false);
    UpdateCommandStates();
}

void CZoViewerDlg::SetVideoSize(QSize video) {
    if (fullScreen_)
        SetFullScreen(false);
    if (maximized_)
        SetMaximized(false);
    Layout(true, video);
    UpdateCommandStates();
}

int CZoViewerDlg::FrameHeight() const {
    // The timeline, when shown, sits between the video and the controls.
    return kFrameHeight + (timelineOn_ && !fullScreen_ ? CZoTimeline::kHeight : 0);
}

bool CZoViewerDlg::InResizeCorner(const QPoint& p) const {
    return !maximized_ && !fullScreen_ && p.x() >= width() - kResizeCorner && p.y() >= height() - kResizeCorner;
}

void CZoViewerDlg::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && InResizeCorner(e->position().toPoint())) {
        resizeDrag_ = true;
        resizeOffset_ = QPoint(width(), height()) - e->position().toPoint();
        e->accept();
        return;
    }
    if (maximized_ || fullScreen_) {
        e->accept();
        return;
    }
    CZoSkinDialog::mousePressEvent(e);
}

void CZoViewerDlg::mouseMoveEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    if (resizeDrag_) {
        const QSize wanted = QSize(p.x() + resizeOffset_.x(), p.y() + resizeOffset_.y()).expandedTo(kMinimumWindow);
        resize(wanted);
        e->accept();
        return;
    }
    if (InResizeCorner(p))
        setCursor(Qt::SizeFDiagCursor);
    else
        unsetCursor();
    CZoSkinDialog::mouseMoveEvent(e);
}

void CZoViewerDlg::mouseReleaseEvent(QMouseEvent* e) {
    if (resizeDrag_) {
        resizeDrag_ = false;
        e->accept();
        return;
    }
    CZoSkinDialog::mouseReleaseEvent(e);
}

void CZoViewerDlg::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton)
        RunCommand(kMaximize);
}
