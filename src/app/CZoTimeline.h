// CZoTimeline: the strip under the video that shows the open source's time:
// its recording runs, the gaps between them, the damaged areas, the
// bookmarks and the current position, on a time axis that the wheel zooms
// (around the pointer) and a drag pans. A click asks to go to the time under
// the pointer. The index is built in the background by CZoTimeIndexer; the
// strip polls it and shows the progress through StatusText.
//
// User-interface thread only.
#pragma once

#include <QWidget>

#include <cstdint>
#include <vector>

#include "app/CZoTimeIndexer.h"
#include "media/BookmarkStore.h"
#include "media/TimeIndex.h"

class QTimer;

class CZoTimeline : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 58;
    // The narrowest view, in seconds.
    static constexpr double kMinSpanSeconds = 10.0;

    explicit CZoTimeline(QWidget* parent = nullptr);
    ~CZoTimeline() override;

    // Indexes the source of `job` in the background, unless its index is
    // already shown. Clear drops the source, its index and the job.
    void SetSource(const CZoTimeIndexer::Job& job);
    void Clear();
    // Shows `index` at once (cached elsewhere, or tests).
    void SetIndex(const zo::media::TimeIndex& index);
    void SetBookmarks(const std::vector<zo::media::Bookmark>& bookmarks);
    // The time of the frame shown, or -1 for none.
    void SetPosition(int64_t seconds);

    bool HasIndex() const { return hasIndex_; }
    bool Indexing() const { return indexer_.Running() || indexer_.Done(); }
    const zo::media::TimeIndex& Index() const { return index_; }
    // "Indexing 42 %" while the index is built, the reason when it could
    // not be, else empty.
    QString StatusText() const { return statusText_; }

    // The time axis: the view's first second and its length.
    double ViewFrom() const { return viewFrom_; }
    double ViewSpan() const { return viewSpan_; }
    void SetView(double from, double span);
    // The whole recording on the axis: first time and span.
    double ExtentFrom() const { return extentFrom_; }
    double ExtentSpan() const { return extentSpan_; }
    // Block time under x (widget pixels) and back.
    double TimeAt(double x) const;
    double XOf(double seconds) const;

signals:
    // A click asked for this block time.
    void TimeClicked(uint32_t seconds);
    // A background index arrived.
    void IndexReady();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    struct Segment {
        double from = 0, to = 0;  // seconds
    };
    void Poll();
    void Rebuild();
    void ClampView();
    QRect BarRect() const;

    CZoTimeIndexer indexer_;
    QTimer* poll_ = nullptr;
    std::string key_;
    bool hasIndex_ = false;
    zo::media::TimeIndex index_;
    std::vector<Segment> runs_;
    std::vector<Segment> damaged_;
    std::vector<zo::media::Bookmark> bookmarks_;
    int64_t position_ = -1;
    QString statusText_;

    double extentFrom_ = 0, extentSpan_ = 0;
    double viewFrom_ = 0, viewSpan_ = 0;

    bool pressed_ = false;
    bool dragging_ = false;
    QPoint pressPoint_;
    double pressViewFrom_ = 0;
};
