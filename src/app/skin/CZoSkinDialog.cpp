#include "app/skin/CZoSkinDialog.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QWindow>

#include "app/skin/SkinArt.h"

namespace zo::app {

CZoSkinDialog::CZoSkinDialog(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
}

bool CZoSkinDialog::SetSkinBitmap(int id) {
    if (id == 0) {
        skinId_ = 0;
        SetSkinPixmap(QPixmap());
        return true;
    }
    QPixmap pixmap = LoadSkinPixmap(id, this);
    if (pixmap.isNull()) return false;
    skinId_ = id;
    SetSkinPixmap(pixmap);
    return true;
}

void CZoSkinDialog::SetSkinPixmap(const QPixmap& skin) {
    skin_ = skin;
    if (!skin_.isNull()) {
        // The inside takes the colour at the skin's centre, so the body is
        // one piece with the frame.
        const QSize s = LogicalSize(skin_);
        const QPoint centre = QPoint(s.width() / 2, s.height() / 2) * skin_.devicePixelRatio();
        inside_ = QColor(skin_.copy(QRect(centre, QSize(1, 1))).toImage().pixel(0, 0));
    }
    ApplyShape();
    update();
}

void CZoSkinDialog::SetRoundCorners(int cornerWidth, int cornerHeight) {
    cornerWidth_ = cornerWidth;
    cornerHeight_ = cornerHeight;
}

QSize CZoSkinDialog::SkinSize() const {
    return skin_.isNull() ? QSize(0, 0) : LogicalSize(skin_);
}

void CZoSkinDialog::ReloadForScreen() {
    if (skinId_ == 0 || skin_.isNull()) return;
    const qreal wanted = devicePixelRatioF() > 1.0 ? 2.0 : 1.0;
    if (skin_.devicePixelRatio() != wanted) SetSkinPixmap(LoadSkinPixmap(skinId_, this));
}

void CZoSkinDialog::PaintSkin(QPainter& painter, QSize client) const {
    if (skin_.isNull()) return;
    const int W = client.width(), H = client.height();
    const QSize s = LogicalSize(skin_);
    const int w2 = s.width() / 2, h2 = s.height() / 2;
    const int w10 = s.width() / 10, h10 = s.height() / 10;
    painter.fillRect(QRect(0, 0, W, H), inside_);
    auto part = [&](int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh) {
        if (dw <= 0 || dh <= 0) return;
        DrawPixmapPart(painter, QRectF(dx, dy, dw, dh), skin_, QRectF(sx, sy, sw, sh));
    };
    part(0, 0, w2, h2, 0, 0, w2, h2);
    part(W - w2 - 1, 0, w2, h2, w2, 0, w2, h2);
    part(0, H - h2 - 1, w2, h2, 0, h2, w2, h2);
    part(W - w2 - 1, H - h2 - 1, w2, h2, w2, h2, w2, h2);
    part(w2, 0, W - s.width(), h2, w2, 0, w10, h2);
    part(w2, H - h2 - 1, W - s.width(), h2, w2, h2, w10, h2);
    part(0, h2, w2, H - s.height(), 0, h2, w2, h10);
    part(W - w2 - 1, h2, w2, H - s.height(), w2, h2, w2, h10);
}

void CZoSkinDialog::paintEvent(QPaintEvent* event) {
    if (skin_.isNull()) {
        QDialog::paintEvent(event);
        return;
    }
    ReloadForScreen();
    QPainter painter(this);
    PrepareSkinPainter(painter);
    PaintSkin(painter, size());
}

void CZoSkinDialog::ApplyShape() {
    if (skin_.isNull() || cornerWidth_ <= 0 || cornerHeight_ <= 0 || !isWindow()) {
        clearMask();
        return;
    }
    // Like a rounded-rectangle region over the client rectangle: the last
    // column and row lie outside, as the skin leaves them unpainted.
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, width() - 1, height() - 1), cornerWidth_ / 2.0, cornerHeight_ / 2.0);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void CZoSkinDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    ApplyShape();
    update();
}

void CZoSkinDialog::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && draggable_ && isWindow()) {
        QWindow* window = windowHandle();
        if (!window || !window->startSystemMove()) {
            manualMove_ = true;
            moveOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
        }
        event->accept();
        return;
    }
    QDialog::mousePressEvent(event);
}

void CZoSkinDialog::mouseMoveEvent(QMouseEvent* event) {
    if (manualMove_ && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - moveOffset_);
        event->accept();
        return;
    }
    QDialog::mouseMoveEvent(event);
}

void CZoSkinDialog::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && manualMove_) {
        manualMove_ = false;
        event->accept();
        return;
    }
    QDialog::mouseReleaseEvent(event);
}

}  // namespace zo::app
