#include "app/CZoVideoWidget.h"

#include <QMouseEvent>
#include <QWheelEvent>
#include <QPainter>

#include <cmath>

#include "render/CZoWnd.h"

CZoVideoWidget::CZoVideoWidget(zo::render::CZoWnd& window, QWidget* parent) : QWidget(parent), window_(window) {
    setAccessibleName(QStringLiteral("Video"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Runs under the compositor's lock, maybe on a worker: only queue.
    window_.SetRepaintRequest([this] {
        if (repaintQueued_.exchange(true))
            return;
        ++requests_;
        QMetaObject::invokeMethod(
            this,
            [this] {
                repaintQueued_ = false;
                update();
            },
            Qt::QueuedConnection);
    });
}

CZoVideoWidget::~CZoVideoWidget() { window_.SetRepaintRequest({}); }

void CZoVideoWidget::ApplySize() {
    const qreal ratio = devicePixelRatioF();
    window_.OnSize(static_cast<int>(std::lround(width() * ratio)), static_cast<int>(std::lround(height() * ratio)));
}

void CZoVideoWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRectF target(rect());
    window_.OnPaint([&](const QImage& screen) {
        if (screen.isNull())
            painter.fillRect(target, Qt::black);
        else
            painter.drawImage(target, screen);
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
