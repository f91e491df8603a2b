#include "app/CZoTimeline.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <map>

namespace {

constexpr int kLabelRow = 14;     // tick labels above the bar
constexpr int kBarHeight = 22;
constexpr int kDragThreshold = 4;  // pixels before a press becomes a drag
constexpr int kMinTickPixels = 96;

const QColor kBackground(22, 24, 28);
const QColor kBarEmpty(44, 48, 56);
const QColor kRun(58, 150, 96);
const QColor kDamaged(214, 64, 56);
const QColor kBookmark(240, 200, 60);
const QColor kPosition(255, 255, 255);
const QColor kText(190, 196, 206);
const QColor kTick(96, 104, 116);

// Tick steps in seconds, and the label format that fits each.
struct TickStep {
    double seconds;
    const char* format;
};
constexpr TickStep kSteps[] = {
    {1, "HH:mm:ss"},      {2, "HH:mm:ss"},      {5, "HH:mm:ss"},        {10, "HH:mm:ss"},    {15, "HH:mm:ss"},
    {30, "HH:mm:ss"},     {60, "HH:mm"},        {120, "HH:mm"},         {300, "HH:mm"},      {600, "HH:mm"},
    {900, "HH:mm"},       {1800, "HH:mm"},      {3600, "MM-dd HH:mm"},  {7200, "MM-dd HH:mm"},
    {10800, "MM-dd HH:mm"}, {21600, "MM-dd HH:mm"}, {43200, "MM-dd HH:mm"}, {86400, "yyyy-MM-dd"},
    {2 * 86400, "yyyy-MM-dd"}, {7 * 86400, "yyyy-MM-dd"}, {30 * 86400, "yyyy-MM-dd"}, {365 * 86400, "yyyy"},
};

}  // namespace

CZoTimeline::CZoTimeline(QWidget* parent) : QWidget(parent) {
    setAccessibleName(QStringLiteral("Timeline"));
    setFixedHeight(kHeight);
    setMouseTracking(false);
    setContextMenuPolicy(Qt::NoContextMenu);  // the window's menu shows
    setToolTip(QStringLiteral("Click: go to the time. Wheel: zoom. Drag: move along."));
    poll_ = new QTimer(this);
    poll_->setInterval(100);
    connect(poll_, &QTimer::timeout, this, &CZoTimeline::Poll);
}

CZoTimeline::~CZoTimeline() { indexer_.Cancel(); }

void CZoTimeline::SetSource(const CZoTimeIndexer::Job& job) {
    if (job.key == key_ && (hasIndex_ || Indexing()))
        return;
    Clear();
    key_ = job.key;
    if (indexer_.Begin(job)) {
        statusText_ = QStringLiteral("Indexing 0 %");
        poll_->start();
    } else {
        statusText_ = QStringLiteral("The time index cannot be built (no thread).");
    }
    update();
}

void CZoTimeline::Clear() {
    indexer_.Cancel();
    poll_->stop();
    key_.clear();
    hasIndex_ = false;
    index_ = {};
    runs_.clear();
    damaged_.clear();
    statusText_.clear();
    extentFrom_ = extentSpan_ = viewFrom_ = viewSpan_ = 0;
    update();
}

void CZoTimeline::Poll() {
    if (indexer_.Done()) {
        poll_->stop();
        zo::media::TimeIndex index;
        std::string error;
        if (indexer_.TakeResult(index, error)) {
            statusText_.clear();
            SetIndex(index);
            emit IndexReady();
        } else {
            statusText_ = QStringLiteral("No time index: %1").arg(QString::fromStdString(error));
            update();
        }
        return;
    }
    const uint64_t total = indexer_.TotalBytes();
    const int percent = total == 0 ? 0 : static_cast<int>(indexer_.DoneBytes() * 100 / total);
    statusText_ = QStringLiteral("Indexing %1 %").arg(percent);
}

void CZoTimeline::SetIndex(const zo::media::TimeIndex& index) {
    index_ = index;
    hasIndex_ = true;
    Rebuild();
    SetView(extentFrom_, extentSpan_);
}

void CZoTimeline::Rebuild() {
    runs_.clear();
    damaged_.clear();
    double first = 0, last = 0;
    bool any = false;
    for (const auto& r : index_.runs) {
        runs_.push_back({double(r.firstTime), double(r.lastTime) + 1});
        first = any ? std::min(first, double(r.firstTime)) : double(r.firstTime);
        last = any ? std::max(last, double(r.lastTime) + 1) : double(r.lastTime) + 1;
        any = true;
    }
    // Damaged areas are block ranges. One that took recording time with it
    // ends where a gap ends (the gap's block is the first after the damage)
    // and covers the gap; one inside a second is placed at the time of the
    // blocks around it.
    std::map<uint64_t, const zo::media::TimeIndex::Gap*> gapAfter;
    for (const auto& g : index_.gaps)
        gapAfter[g.block] = &g;
    auto timeOfBlock = [this](uint64_t block) -> double {
        const zo::media::TimeIndex::Run* before = nullptr;
        for (const auto& r : index_.runs) {
            if (block >= r.firstBlock && block <= r.lastBlock) {
                const double share = r.lastBlock == r.firstBlock ? 0.0
                                                                 : double(block - r.firstBlock) /
                                                                       double(r.lastBlock - r.firstBlock);
                return double(r.firstTime) + share * (double(r.lastTime) + 1 - double(r.firstTime));
            }
            if (r.lastBlock < block && (before == nullptr || r.lastBlock > before->lastBlock))
                before = &r;
        }
        return before != nullptr ? double(before->lastTime) + 1 : -1.0;
    };
    for (const auto& a : index_.damaged) {
        const auto gap = gapAfter.find(a.first + a.count);
        if (gap != gapAfter.end()) {
            damaged_.push_back({double(gap->second->from) + 1, double(gap->second->to)});
            continue;
        }
        const double from = timeOfBlock(a.first);
        const double to = timeOfBlock(a.first + a.count - 1);
        if (from >= 0)
            damaged_.push_back({from, std::max(from, to)});
    }
    extentFrom_ = any ? first : 0;
    extentSpan_ = any ? std::max(last - first, kMinSpanSeconds) : 0;
}

void CZoTimeline::SetBookmarks(const std::vector<zo::media::Bookmark>& bookmarks) {
    bookmarks_ = bookmarks;
    update();
}

void CZoTimeline::SetPosition(int64_t seconds) {
    if (seconds == position_)
        return;
    position_ = seconds;
    update();
}

void CZoTimeline::SetView(double from, double span) {
    viewFrom_ = from;
    viewSpan_ = span;
    ClampView();
    update();
}

void CZoTimeline::ClampView() {
    if (extentSpan_ <= 0) {
        viewFrom_ = viewSpan_ = 0;
        return;
    }
    viewSpan_ = std::clamp(viewSpan_, std::min(kMinSpanSeconds, extentSpan_), extentSpan_);
    viewFrom_ = std::clamp(viewFrom_, extentFrom_, extentFrom_ + extentSpan_ - viewSpan_);
}

QRect CZoTimeline::BarRect() const { return QRect(6, kLabelRow + 2, std::max(1, width() - 12), kBarHeight); }

double CZoTimeline::TimeAt(double x) const {
    const QRect bar = BarRect();
    const double share = std::clamp((x - bar.left()) / double(bar.width()), 0.0, 1.0);
    return viewFrom_ + share * viewSpan_;
}

double CZoTimeline::XOf(double seconds) const {
    const QRect bar = BarRect();
    return viewSpan_ <= 0 ? bar.left() : bar.left() + (seconds - viewFrom_) / viewSpan_ * bar.width();
}

void CZoTimeline::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), kBackground);
    const QRect bar = BarRect();
    p.fillRect(bar, kBarEmpty);
    QFont font = p.font();
    font.setPixelSize(11);
    p.setFont(font);
    if (!hasIndex_ || viewSpan_ <= 0) {
        p.setPen(kText);
        const QString text = statusText_.isEmpty() ? (hasIndex_ ? QStringLiteral("No recording found")
                                                                : QStringLiteral("No recording open"))
                                                   : statusText_;
        p.drawText(bar, Qt::AlignCenter, text);
        return;
    }
    p.setClipRect(bar.adjusted(0, -kLabelRow - 2, 0, height()));
    auto span = [&](const Segment& s, const QColor& colour, int minWidth) {
        const double x0 = XOf(s.from), x1 = XOf(s.to);
        if (x1 < bar.left() || x0 > bar.right())
            return;
        const int left = int(std::floor(std::max(x0, double(bar.left()) - 1)));
        const int right = int(std::ceil(std::min(x1, double(bar.right()) + 1)));
        p.fillRect(QRect(left, bar.top(), std::max(minWidth, right - left), bar.height()), colour);
    };
    for (const Segment& s : runs_)
        span(s, kRun, 1);
    // Gaps over a second inside a run are time without recording.
    for (const auto& g : index_.gaps)
        if (g.to > g.from + 1)
            span({double(g.from) + 1, double(g.to)}, kBarEmpty, 1);
    for (const Segment& s : damaged_)
        span(s, kDamaged, 2);

    // Ticks with labels, at the first step that leaves room for a label.
    const double pxPerSecond = bar.width() / viewSpan_;
    const TickStep* step = &kSteps[std::size(kSteps) - 1];
    for (const TickStep& s : kSteps) {
        if (s.seconds * pxPerSecond >= kMinTickPixels) {
            step = &s;
            break;
        }
    }
    p.setPen(kTick);
    for (double t = std::ceil(viewFrom_ / step->seconds) * step->seconds; t <= viewFrom_ + viewSpan_;
         t += step->seconds) {
        const int x = int(std::lround(XOf(t)));
        p.setPen(kTick);
        p.drawLine(x, bar.top() - 3, x, bar.bottom());
        p.setPen(kText);
        const QString label = QDateTime::fromSecsSinceEpoch(qint64(t), Qt::UTC).toString(QLatin1String(step->format));
        p.drawText(QRect(x + 3, 0, kMinTickPixels, kLabelRow), Qt::AlignLeft | Qt::AlignVCenter, label);
    }

    // Bookmarks: a flag below the bar and a thin line through it.
    p.setRenderHint(QPainter::Antialiasing, true);
    for (const zo::media::Bookmark& b : bookmarks_) {
        const double x = XOf(double(b.time) + 0.5);
        if (x < bar.left() - 6 || x > bar.right() + 6)
            continue;
        p.setPen(QPen(kBookmark, 1));
        p.drawLine(QPointF(x, bar.top()), QPointF(x, bar.bottom() + 1));
        QPainterPath flag;
        flag.moveTo(x, bar.bottom() + 2);
        flag.lineTo(x + 6, bar.bottom() + 12);
        flag.lineTo(x - 6, bar.bottom() + 12);
        flag.closeSubpath();
        p.fillPath(flag, kBookmark);
    }
    // The current position.
    if (position_ >= 0) {
        const double x = XOf(double(position_) + 0.5);
        if (x >= bar.left() && x <= bar.right()) {
            p.setPen(QPen(kPosition, 2));
            p.drawLine(QPointF(x, bar.top() - 4), QPointF(x, bar.bottom() + 4));
        }
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    // The view's range when zoomed in.
    if (viewSpan_ < extentSpan_) {
        p.setPen(kText);
        const int pct = int(std::lround(viewSpan_ * 100 / extentSpan_));
        p.drawText(QRect(bar.left(), bar.bottom() + 2, bar.width(), height() - bar.bottom() - 2),
                   Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("zoom: %1 % of the recording").arg(std::max(1, pct)));
    }
}

void CZoTimeline::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        e->ignore();
        return;
    }
    pressed_ = true;
    dragging_ = false;
    pressPoint_ = e->position().toPoint();
    pressViewFrom_ = viewFrom_;
    e->accept();
}

void CZoTimeline::mouseMoveEvent(QMouseEvent* e) {
    if (!pressed_)
        return;
    const QPoint p = e->position().toPoint();
    if (!dragging_ && std::abs(p.x() - pressPoint_.x()) < kDragThreshold)
        return;
    dragging_ = true;
    const double secondsPerPx = viewSpan_ / std::max(1, BarRect().width());
    viewFrom_ = pressViewFrom_ - (p.x() - pressPoint_.x()) * secondsPerPx;
    ClampView();
    update();
    e->accept();
}

void CZoTimeline::mouseReleaseEvent(QMouseEvent* e) {
    if (!pressed_ || e->button() != Qt::LeftButton)
        return;
    pressed_ = false;
    if (!dragging_ && hasIndex_ && viewSpan_ > 0) {
        const double t = TimeAt(e->position().x());
        emit TimeClicked(static_cast<uint32_t>(std::clamp(std::floor(t), 0.0, 4294967295.0)));
    }
    dragging_ = false;
    e->accept();
}

void CZoTimeline::wheelEvent(QWheelEvent* e) {
    if (!hasIndex_ || viewSpan_ <= 0) {
        e->ignore();
        return;
    }
    const double steps = e->angleDelta().y() / 120.0;
    if (steps == 0) {
        e->ignore();
        return;
    }
    // Each notch zooms by a quarter, keeping the time under the pointer put.
    const double x = e->position().x();
    const double anchor = TimeAt(x);
    const double share = (anchor - viewFrom_) / viewSpan_;
    viewSpan_ = viewSpan_ / std::pow(1.25, steps);
    ClampView();
    viewFrom_ = anchor - share * viewSpan_;
    ClampView();
    update();
    e->accept();
}
