#include "app/CZoVideoWidget.h"

#include <QMouseEvent>
#include <QWheelEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <utility>

#include "render/CZoWnd.h"

CZoVideoWidget::CZoVideoWidget(zo::render::CZoWnd& window, QWidget* parent) : QWidget(parent), window_(window) {
    setAccessibleName(QStringLiteral("Video"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Runs under the compositor's lock, maybe on a worker: only queue.
    // The changed parts gather under a lock of the widget's own, so the
    // user-interface thread never waits for the compositor to take them.
    window_.SetRepaintRequest([this](const zo::render::PixelRect& changed) {
        {
            std::lock_guard lock(changedMutex_);
            if (changed_.Width() <= 0 || changed_.Height() <= 0)
                changed_ = changed;
            else
                changed_ = {std::min(changed_.left, changed.left), std::min(changed_.top, changed.top),
                            std::max(changed_.right, changed.right), std::max(changed_.bottom, changed.bottom)};
        }
        if (repaintQueued_.exchange(true))
            return;
        ++requests_;
        QMetaObject::invokeMethod(this, [this] { RepaintChanged(); }, Qt::QueuedConnection);
    });
}

CZoVideoWidget::~CZoVideoWidget() { window_.SetRepaintRequest({}); }

void CZoVideoWidget::RepaintChanged() {
    repaintQueued_ = false;
    zo::render::PixelRect changed;
    {
        std::lock_guard lock(changedMutex_);
        changed = std::exchange(changed_, {});
    }
    if (changed.Width() <= 0 || changed.Height() <= 0 || !isVisible())
        return;
    // Painted now rather than merged into the next update: the windowing
    // system's update pacing would drop pictures that come faster than it.
    const qreal ratio = devicePixelRatioF();
    const QRect logical(QPoint(static_cast<int>(std::floor(changed.left / ratio)),
                               static_cast<int>(std::floor(changed.top / ratio))),
                        QPoint(static_cast<int>(std::ceil(changed.right / ratio)) - 1,
                               static_cast<int>(std::ceil(changed.bottom / ratio)) - 1));
    repaint(logical.intersected(rect()));
}

void CZoVideoWidget::ApplySize() {
    const qreal ratio = devicePixelRatioF();
    window_.OnSize(static_cast<int>(std::lround(width() * ratio)), static_cast<int>(std::lround(height() * ratio)));
}

void CZoVideoWidget::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    // Only the part asked for: a new picture changes one cell.
    const QRectF target(event->rect());
    const qreal ratio = devicePixelRatioF();
    window_.OnPaint([&](const QImage& screen) {
        if (screen.isNull()) {
            painter.fillRect(target, Qt::black);
            return;
        }
        // The screen image covers the widget in device pixels.
        const qreal sx = screen.width() / static_cast<qreal>(std::max(width(), 1));
        const qreal sy = screen.height() / static_cast<qreal>(std::max(height(), 1));
        const QRectF source(target.x() * sx, target.y() * sy, target.width() * sx, target.height() * sy);
        if (std::abs(sx - ratio) < 1e-9 && std::abs(sy - ratio) < 1e-9)
            painter.drawImage(target, screen, source);
        else
            painter.drawImage(QRectF(rect()), screen);
    });
}

void CZoVideoWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ApplySize();
}

QPoint CZoVideoWidget::DevicePoint(const QPointF& position) const {
    const QPointF p = position * devicePixelRatioF();
    return QPoint(static_cast<int>(p.x()), static_cast<int>(p.y()));
}

void CZoVideoWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint p = DevicePoint(event->position());
    window_.OnDoubleClick(p.x(), p.y());
    event->accept();
}

void CZoVideoWidget::mousePressEvent(QMouseEvent* event) {
    const QPoint p = DevicePoint(event->position());
    if (event->button() == Qt::LeftButton && window_.OnPanStart(p.x(), p.y())) {
        panning_ = true;
        setCursor(Qt::ClosedHandCursor);
        event->accept();
        return;
    }
    event->ignore();  // the main window moves
}

void CZoVideoWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!panning_) {
        event->ignore();
        return;
    }
    const QPoint p = DevicePoint(event->position());
    window_.OnPanMove(p.x(), p.y());
    event->accept();
}

void CZoVideoWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (!panning_ || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    panning_ = false;
    window_.OnPanEnd();
    unsetCursor();
    event->accept();
}

void CZoVideoWidget::wheelEvent(QWheelEvent* event) {
    const QPoint p = DevicePoint(event->position());
    if (event->angleDelta().y() != 0 && window_.OnWheel(p.x(), p.y(), event->angleDelta().y()))
        event->accept();
    else
        event->ignore();
}
