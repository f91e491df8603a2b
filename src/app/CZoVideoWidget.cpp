#include "app/CZoVideoWidget.h"

#include <QMouseEvent>
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

void CZoVideoWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const qreal ratio = devicePixelRatioF();
    const QPointF p = event->position() * ratio;
    window_.OnDoubleClick(static_cast<int>(p.x()), static_cast<int>(p.y()));
    event->accept();
}
