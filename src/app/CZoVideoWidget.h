// CZoVideoWidget: the video area of the main window. It paints the
// compositor's screen image, tells the compositor its size in device pixels
// (so pictures stay sharp on high-density screens) and forwards double
// clicks. When a worker stored a picture the compositor asks for a repaint,
// which is queued to the user-interface thread, at most one at a time.
#pragma once

#include <QWidget>

#include <atomic>

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

private:
    void ApplySize();

    zo::render::CZoWnd& window_;
    std::atomic<bool> repaintQueued_{false};
    std::atomic<int> requests_{0};
};
