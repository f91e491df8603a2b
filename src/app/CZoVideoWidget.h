// CZoVideoWidget: the video area of the main window. It paints the
// compositor's screen image, tells the compositor its size in device pixels
// (so pictures stay sharp on high-density screens) and forwards double
// clicks, the wheel (zoom) and left-button drags of a zoomed cell (pan). A
// press where nothing is zoomed goes on to the main window, which moves.
// When a worker stored a picture the compositor asks for a repaint, which
// is queued to the user-interface thread, at most one at a time, and paints
// at once the part that changed.
#pragma once

#include <QWidget>

#include <atomic>
#include <mutex>

#include "render/Stretch.h"

namespace zo::render {
class CZoWnd;
}

class CZoVideoWidget : public QWidget {
    Q_OBJECT
public:
    CZoVideoWidget(zo::render::CZoWnd& window, QWidget* parent = nullptr);
    ~CZoVideoWidget() override;

    // Repaints queued so far (tests).
    int RepaintRequests() const { return requests_.load(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void ApplySize();
    // On the user-interface thread: repaints what the compositor changed.
    void RepaintChanged();
    // A widget position in the compositor's device pixels.
    QPoint DevicePoint(const QPointF& position) const;

    zo::render::CZoWnd& window_;
    std::atomic<bool> repaintQueued_{false};
    std::atomic<int> requests_{0};
    bool panning_ = false;
    std::mutex changedMutex_;
    zo::render::PixelRect changed_;  // not yet repainted; guarded by changedMutex_
};
