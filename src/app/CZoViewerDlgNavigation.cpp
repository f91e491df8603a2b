// Main window: going to a time, bookmarks, the timeline and the keys people
// know from other players (Space, arrows, "." and ",", M, B, F11).
#include <QAction>
#include <QInputDialog>

#include <algorithm>

#include "app/CZoTimeline.h"
#include "app/CZoVideoWidget.h"
#include "app/CZoViewerDlg.h"
#include "app/dialogs/CBookmarksDlg.h"
#include "app/dialogs/CGoToTimeDlg.h"
#include "app/dialogs/CShortcutsDlg.h"
#include "app/skin/CZoSkinSlider.h"
#include "media/Disks.h"
#include "media/TimeIndex.h"

using Engine = zo::engine::CZoViewer2;

namespace {

// The source's path as zrf names it: a drive name becomes its device.
std::string DevicePath(const std::string& path) {
    std::string device;
    return zo::media::ResolvePhysicalDrivePath(path, zo::media::DiskRoots{}, device) && !device.empty() ? device : path;
}

// How long after a jump a pause counts as the jump's own.
constexpr qint64 kResumeWindowMs = 5000;

}  // namespace

void CZoViewerDlg::CreateNavigationActions() {
    AddAction(kGoToTime, QStringLiteral("&Go to Time...\tCtrl+G"), [this] { GoToTimeCommand(); },
              QKeySequence(Qt::CTRL | Qt::Key_G));
    AddAction(kAddBookmark, QStringLiteral("Add &Bookmark...\tB"), [this] { AddBookmarkCommand(); },
              QKeySequence(Qt::Key_B));
    AddAction(kBookmarks, QStringLiteral("Book&marks..."), [this] { BookmarksCommand(); });
    AddAction(kTimeline, QStringLiteral("&Timeline\tCtrl+T"), [this] { SetTimelineShown(!timelineOn_); },
              QKeySequence(Qt::CTRL | Qt::Key_T));
    Action(kTimeline)->setCheckable(true);
    AddAction(kKeyboardShortcuts, QStringLiteral("&Keyboard Shortcuts"), [this] { CShortcutsDlg(this).exec(); });
    AddAction(kJumpBack, QStringLiteral("5 Seconds Back"), [this] { JumpCommand(-kJumpSeconds); },
              QKeySequence(Qt::Key_Left));
    AddAction(kJumpForward, QStringLiteral("5 Seconds Forward"), [this] { JumpCommand(kJumpSeconds); },
              QKeySequence(Qt::Key_Right));
    AddAction(kPlayPause, QStringLiteral("Play / Pause"), [this] { PlayPauseCommand(); },
              QKeySequence(Qt::Key_Space));

    // Further keys for described commands; their own accelerators stay.
    Action(kNextFrame)->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_N), QKeySequence(Qt::Key_Period)});
    Action(kPrevFrame)->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::Key_Comma)});
    Action(kFullScreen)->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_F), QKeySequence(Qt::Key_F11)});
    Action(kMute)->setShortcut(QKeySequence(Qt::Key_M));

    timeline_ = new CZoTimeline(this);
    timeline_->hide();
    connect(timeline_, &CZoTimeline::TimeClicked, this, [this](uint32_t seconds) {
        GoToSeconds(seconds);
        UpdateCommandStates();
    });
}

void CZoViewerDlg::UpdateNavigationStates() {
    const bool player = engine_.GetMode() == Engine::kModePlayer;
    const bool open = engine_.IsOpen() != 0;
    const bool running = open && engine_.GetState() != Engine::kStateReady;
    // A source closed by any path (mode switch, failed open) takes its
    // bookmarks and index with it.
    if (!open && !sourceKey_.empty())
        SourceClosed();
    for (int id : {kGoToTime, kJumpBack, kJumpForward, kAddBookmark, kPlayPause})
        Action(id)->setEnabled(player && running);
    Action(kBookmarks)->setEnabled(player && open);
    Action(kTimeline)->setEnabled(player);
    Action(kTimeline)->setChecked(timelineOn_);
    if (!player && timelineOn_)
        SetTimelineShown(false);

    // Play resumes after a jump made during play, once its search paused.
    if (resumeState_ != 0) {
        const int state = engine_.GetState();
        if (resumeTimer_.elapsed() > kResumeWindowMs || !running) {
            resumeState_ = 0;
        } else if (state == Engine::kStatePause) {
            const int resume = resumeState_;
            resumeState_ = 0;
            if (resume == Engine::kStatePlay)
                engine_.Play(resumeSpeed_);
            else
                engine_.PlayReverse(resumeSpeed_);
        }
    }
}

void CZoViewerDlg::RefreshNavigation(QString& statusText) {
    if (timeline_ == nullptr || !timelineOn_)
        return;
    uint32_t seconds = 0;
    timeline_->SetPosition(ShownTime(seconds) ? int64_t(seconds) : -1);
    if (!timeline_->StatusText().isEmpty())
        statusText += QStringLiteral("  ") + timeline_->StatusText();
}

void CZoViewerDlg::PlaceTimeline() {
    if (timeline_ == nullptr)
        return;
    const bool shown = timelineOn_ && !fullScreen_;
    if (shown)
        timeline_->setGeometry(videoArea_.left(), videoArea_.bottom() + 1, videoArea_.width(), CZoTimeline::kHeight);
    timeline_->setVisible(shown);
}

void CZoViewerDlg::SetTimelineShown(bool on) {
    if (on == timelineOn_)
        return;
    if (fullScreen_)
        SetFullScreen(false);
    timelineOn_ = on;
    // The window grows (or shrinks) by the timeline; the video keeps its size.
    if (!maximized_) {
        const QSize video = videoArea_.size();
        resize(QSize(width(), height() + (on ? CZoTimeline::kHeight : -CZoTimeline::kHeight)));
        Layout(false);
        if (videoArea_.size() != video)  // the platform kept the old size
            Layout(true, video);
    } else {
        Layout(false);
    }
    if (on)
        StartTimelineIndex();
    UpdateCommandStates();
}

void CZoViewerDlg::StartTimelineIndex() {
    if (timeline_ == nullptr || sourceKey_.empty())
        return;
    CZoTimeIndexer::Job job;
    job.path = DevicePath(engine_.GetPath());
    job.key = sourceKey_;
    job.videoCode = engine_.Reader().VideoCode();
    job.rawDisk = engine_.Reader().RawDisk();
    job.cacheFolder = zo::media::IndexCacheFolder();
    timeline_->SetSource(job);
    timeline_->SetBookmarks(bookmarks_.Items());
}

void CZoViewerDlg::SourceOpened() {
    const zo::media::ByteSource* source = engine_.Reader().Source();
    sourceKey_ = source == nullptr ? std::string()
                                   : zo::media::SourceKey(*source, DevicePath(engine_.GetPath()), engine_.Reader().VideoCode(),
                                                          engine_.Reader().RawDisk());
    std::string error;
    if (!sourceKey_.empty() && !bookmarks_.Load(sourceKey_, &error))
        messages_.Show(QStringLiteral("The bookmarks of this recording could not be read:\n%1")
                           .arg(QString::fromStdString(error))
                           .toStdString());
    if (timelineOn_)
        StartTimelineIndex();
}

void CZoViewerDlg::SourceClosed() {
    sourceKey_.clear();
    bookmarks_.Parse({}, {});
    resumeState_ = 0;
    if (timeline_ != nullptr) {
        timeline_->Clear();
        timeline_->SetBookmarks({});
        timeline_->SetPosition(-1);
    }
}

bool CZoViewerDlg::ShownTime(uint32_t& seconds) const {
    zo::media::CalendarTime time;
    if (!engine_.GetFrameTime(time))
        return false;
    const int64_t t = zo::media::UnixSecondsFromCalendar(time);
    if (t < 0 || t > int64_t(UINT32_MAX))
        return false;
    seconds = static_cast<uint32_t>(t);
    return true;
}

int CZoViewerDlg::ShownChannel() const {
    int cells = 0, page = 0;
    engine_.GetLayout(cells, page);
    return cells == 1 && page >= 0 && page < 16 ? page : zo::media::Bookmark::kAllChannels;
}

bool CZoViewerDlg::GoToSeconds(uint32_t seconds) {
    if (!engine_.IsOpen())
        return false;
    if (engine_.SearchTime(seconds))
        return true;
    messages_.Show(QStringLiteral("There is no recording at or after %1.")
                       .arg(CBookmarksDlg::TimeText(seconds))
                       .toStdString());
    return false;
}

void CZoViewerDlg::GoToTimeCommand() {
    uint32_t start = 0;
    if (!ShownTime(start) && timeline_->HasIndex())
        start = static_cast<uint32_t>(timeline_->ExtentFrom());
    CGoToTimeDlg dlg(this, start);
    if (dlg.exec() != QDialog::Accepted)
        return;
    GoToSeconds(dlg.Seconds());
}

void CZoViewerDlg::JumpCommand(int delta) {
    uint32_t now = 0;
    if (!ShownTime(now))
        return;
    const int64_t target = std::clamp<int64_t>(int64_t(now) + delta, 0, UINT32_MAX);
    const int state = engine_.GetState();
    const double speed = engine_.GetSpeed();
    // Past the end of the recording there is nowhere to go: nothing happens.
    if (!engine_.SearchTime(static_cast<uint32_t>(target)))
        return;
    if (state == Engine::kStatePlay || state == Engine::kStatePlayReverse) {
        resumeState_ = state;
        resumeSpeed_ = speed;
        resumeTimer_.start();
    }
}

void CZoViewerDlg::PlayPauseCommand() {
    const int state = engine_.GetState();
    if (state == Engine::kStatePlay || state == Engine::kStatePlayReverse)
        engine_.Pause();
    else
        engine_.Play(1.0);
}

void CZoViewerDlg::VolumeStepCommand(int delta) {
    const int level = std::clamp(static_cast<int>(engine_.GetVolume()) + delta, 0, 65535);
    engine_.SetVolume(static_cast<uint32_t>(level));
    volumeSlider_->SetPos(level);
}

void CZoViewerDlg::AddBookmarkCommand() {
    uint32_t seconds = 0;
    if (!ShownTime(seconds) || sourceKey_.empty()) {
        messages_.Show("No frame is shown: there is no time to bookmark.");
        return;
    }
    zo::media::Bookmark mark;
    mark.time = seconds;
    mark.channel = ShownChannel();
    bool ok = false;
    const QString note = QInputDialog::getText(
        this, QStringLiteral("Add Bookmark"),
        QStringLiteral("%1, %2\nNote (optional):")
            .arg(CBookmarksDlg::TimeText(seconds), CBookmarksDlg::ChannelText(mark.channel)),
        QLineEdit::Normal, QString(), &ok);
    if (!ok)
        return;
    mark.note = note.trimmed().toStdString();
    if (!bookmarks_.Add(mark)) {
        messages_.Show(QStringLiteral("This recording already has %1 bookmarks; delete some first.")
                           .arg(zo::media::BookmarkStore::kMaxBookmarks)
                           .toStdString());
        return;
    }
    SaveBookmarks();
}

bool CZoViewerDlg::SaveBookmarks() {
    timeline_->SetBookmarks(bookmarks_.Items());
    std::string error;
    if (bookmarks_.Save(&error))
        return true;
    messages_.Show(QStringLiteral("The bookmarks could not be saved; they are kept until the recording is closed.\n%1")
                       .arg(QString::fromStdString(error))
                       .toStdString());
    return false;
}

void CZoViewerDlg::BookmarksCommand() {
    CBookmarksDlg dlg(
        this, bookmarks_,
        [this](const zo::media::Bookmark& b) {
            if (!GoToSeconds(b.time))
                return;
            // In single view the bookmarked camera is the one shown.
            int cells = 0, page = 0;
            engine_.GetLayout(cells, page);
            if (cells == 1 && b.channel >= 0)
                engine_.SetLayout(1, b.channel);
        },
        [this] { return SaveBookmarks(); });
    dlg.exec();
}
