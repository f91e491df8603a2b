#include "app/skin/CZoSkinSlider.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "app/skin/CZoSkinSliderAccessible.h"
#include "app/skin/SkinArt.h"

namespace zo::app {

namespace {

// The bitmap with pixels of the key colour made see-through (an invalid
// key takes the colour at keyX, keyY). Alpha already in the picture stays.
QPixmap KeyedPixmap(const QPixmap& pixmap, const QColor& key, int keyX, int keyY) {
    const qreal ratio = pixmap.devicePixelRatio();
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    QRgb keyRgb = key.isValid() ? key.rgb() : 0;
    if (!key.isValid()) {
        const QPoint at(static_cast<int>(keyX * ratio), static_cast<int>(keyY * ratio));
        if (image.rect().contains(at)) keyRgb = image.pixel(at);
    }
    keyRgb &= 0xFFFFFFu;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] & 0xFFFFFFu) == keyRgb) line[x] = 0;
    }
    QPixmap out = QPixmap::fromImage(image);
    out.setDevicePixelRatio(ratio);
    return out;
}

}  // namespace

CZoSkinSlider::CZoSkinSlider(QWidget* parent, int controlId) : QWidget(parent), controlId_(controlId) {
    setFocusPolicy(Qt::StrongFocus);
    CZoSkinSliderAccessible::InstallFactory();
}

bool CZoSkinSlider::LoadPair(Pair& pair, const Source& source) {
    if (source.id == 0) {
        pair = Pair{};
        return true;
    }
    QPixmap normal = LoadSkinPixmap(source.id, this);
    QPixmap active = source.activeId ? LoadSkinPixmap(source.activeId, this) : QPixmap();
    if (normal.isNull() || (source.activeId && active.isNull())) return false;
    if (source.transparent) {
        normal = KeyedPixmap(normal, source.key, source.keyX, source.keyY);
        if (!active.isNull()) active = KeyedPixmap(active, source.key, source.keyX, source.keyY);
    }
    pair.source = source;
    pair.normal = normal;
    pair.active = active;
    return true;
}

bool CZoSkinSlider::SetChannelBitmaps(int id, int activeId, bool transparent, const QColor& key,
                                      int keyX, int keyY) {
    if (!LoadPair(channel_, Source{id, activeId, transparent, key, keyX, keyY})) return false;
    if (!channel_.normal.isNull()) resize(LogicalSize(channel_.normal));
    update();
    return true;
}

bool CZoSkinSlider::SetThumbBitmaps(int id, int activeId, bool transparent, const QColor& key, int keyX,
                                    int keyY) {
    if (!LoadPair(thumb_, Source{id, activeId, transparent, key, keyX, keyY})) return false;
    thumbSize_ = thumb_.normal.isNull() ? QSize() : LogicalSize(thumb_.normal);
    update();
    return true;
}

void CZoSkinSlider::ReloadForScreen() {
    const qreal wanted = devicePixelRatioF() > 1.0 ? 2.0 : 1.0;
    for (Pair* pair : {&channel_, &thumb_})
        if (!pair->normal.isNull() && pair->normal.devicePixelRatio() != wanted) LoadPair(*pair, pair->source);
}

void CZoSkinSlider::SetRange(int minimum, int maximum, bool redraw) {
    minimum_ = minimum;
    maximum_ = maximum;
    if (redraw) update();
}

int CZoSkinSlider::Clamp(int position) const {
    // First to the maximum, then to the minimum: an inverted range ends at
    // the minimum.
    if (position > maximum_) position = maximum_;
    if (position < minimum_) position = minimum_;
    return position;
}

void CZoSkinSlider::SetPos(int position) {
    const int before = position_;
    position_ = Clamp(position);
    if (position_ == before) return;
    // The thumb moves by whole pixels: a step inside one needs no paint.
    if (PosToPixel(position_) != PosToPixel(before)) update();
    NotifyValue();
}

void CZoSkinSlider::NotifyValue() {
    if (!QAccessible::isActive()) return;
    QAccessibleValueChangeEvent event(this, position_);
    QAccessible::updateAccessibility(&event);
}

void CZoSkinSlider::SetMargins(int left, int top, int right, int bottom) {
    marginLeft_ = left;
    marginTop_ = top;
    marginRight_ = right;
    marginBottom_ = bottom;
    update();
}

void CZoSkinSlider::SetDrawFocus(bool drawFocus, bool redraw) {
    drawFocus_ = drawFocus;
    if (redraw) update();
}

void CZoSkinSlider::SetVertical(bool vertical) {
    vertical_ = vertical;
    update();
}

void CZoSkinSlider::SetTipText(const QString& text) {
    if (!text.isEmpty()) setToolTip(text);
}

void CZoSkinSlider::SetText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    NotifyValue();
}

int CZoSkinSlider::Length() const { return vertical_ ? height() : width(); }
int CZoSkinSlider::ThumbLength() const { return vertical_ ? thumbSize_.height() : thumbSize_.width(); }
int CZoSkinSlider::MarginStart() const { return vertical_ ? marginTop_ : marginLeft_; }
int CZoSkinSlider::MarginEnd() const { return vertical_ ? marginBottom_ : marginRight_; }

int CZoSkinSlider::PosToPixel(int position) const {
    const int half = ThumbLength() / 2;
    const double range = static_cast<double>(maximum_) - minimum_;
    // An empty range puts the thumb where the minimum of any range would be,
    // whole inside the channel.
    if (range <= 0) return MarginStart() + half;
    const double travel = Length() - MarginStart() - MarginEnd() - ThumbLength();
    return static_cast<int>(MarginStart() + (static_cast<double>(position) - minimum_) * travel / range + half);
}

int CZoSkinSlider::PixelToPos(int pixel) const {
    const double travel = Length() - MarginEnd() - MarginStart() - ThumbLength();
    const double range = static_cast<double>(maximum_) - minimum_;
    if (travel <= 0 || range <= 0) return minimum_;
    const double offset = pixel - ThumbLength() / 2 - MarginStart();
    return static_cast<int>(minimum_ + offset / travel * range);
}

void CZoSkinSlider::DragTo(int pixel) {
    const int half = ThumbLength() / 2;
    const int low = MarginStart() + half;
    const int high = Length() - MarginEnd() - half;
    int centre = pixel - grabOffset_;
    centre = std::max(low, std::min(centre, high));
    if (centre == PosToPixel(position_)) return;
    position_ = Clamp(PixelToPos(centre));
    update();
    NotifyValue();
    emit Moving(controlId_, position_);
}

void CZoSkinSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled()) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    dragging_ = true;
    const QPoint at = event->position().toPoint();
    const int pointer = vertical_ ? at.y() : at.x();
    const int offset = pointer - PosToPixel(position_);
    grabOffset_ = std::abs(offset) <= ThumbLength() / 2 ? offset : 0;
    DragTo(pointer);
    update();
    event->accept();
}

void CZoSkinSlider::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_ || !isEnabled()) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    DragTo(vertical_ ? at.y() : at.x());
    event->accept();
}

void CZoSkinSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled()) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    dragging_ = false;
    update();
    emit Moved(controlId_, position_);
    event->accept();
}

void CZoSkinSlider::keyPressEvent(QKeyEvent* event) {
    if (!isEnabled()) {
        QWidget::keyPressEvent(event);
        return;
    }
    // Steps are taken in 64 bits so that none wraps near the ends of int.
    const long long now = position_;
    long long target = now;
    switch (event->key()) {
    case Qt::Key_PageUp: target = now - pageSize_; break;
    case Qt::Key_PageDown: target = now + pageSize_; break;
    case Qt::Key_End: target = maximum_; break;
    case Qt::Key_Home: target = minimum_; break;
    case Qt::Key_Right:
    case Qt::Key_Down: target = now + 1; break;
    case Qt::Key_Left:
    case Qt::Key_Up: target = now - 1; break;
    default: QWidget::keyPressEvent(event); return;
    }
    const int position = static_cast<int>(std::clamp<long long>(target, INT_MIN, INT_MAX));
    position_ = Clamp(position);
    update();
    NotifyValue();
    emit Moved(controlId_, position_);
    event->accept();
}

void CZoSkinSlider::focusInEvent(QFocusEvent* event) {
    update();
    QWidget::focusInEvent(event);
}

void CZoSkinSlider::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}

QSize CZoSkinSlider::sizeHint() const {
    return channel_.normal.isNull() ? QSize(100, 16) : LogicalSize(channel_.normal);
}

void CZoSkinSlider::DrawChannel(QPainter& painter, const QPixmap& pixmap, const QRect& clip) const {
    if (pixmap.isNull() || clip.isEmpty()) return;
    painter.save();
    painter.setClipRect(clip);
    const QSize c = LogicalSize(pixmap);
    if (!vertical_) {
        const int length = width();
        if (length == c.width()) {
            painter.drawPixmap(QPointF(0, 0), pixmap);
        } else {
            // End caps at their size, the middle stretched.
            const int cap = std::min(c.height(), c.width() / 3);
            DrawPixmapPart(painter, QRectF(0, 0, cap, c.height()), pixmap, QRectF(0, 0, cap, c.height()));
            DrawPixmapPart(painter, QRectF(cap, 0, length - 2 * cap, c.height()), pixmap,
                           QRectF(cap, 0, c.width() - 2 * cap, c.height()));
            DrawPixmapPart(painter, QRectF(length - cap, 0, cap, c.height()), pixmap,
                           QRectF(c.width() - cap, 0, cap, c.height()));
        }
    } else {
        const int length = height();
        if (length == c.height()) {
            painter.drawPixmap(QPointF(0, 0), pixmap);
        } else {
            const int cap = std::min(c.width(), c.height() / 3);
            DrawPixmapPart(painter, QRectF(0, 0, c.width(), cap), pixmap, QRectF(0, 0, c.width(), cap));
            DrawPixmapPart(painter, QRectF(0, cap, c.width(), length - 2 * cap), pixmap,
                           QRectF(0, cap, c.width(), c.height() - 2 * cap));
            DrawPixmapPart(painter, QRectF(0, length - cap, c.width(), cap), pixmap,
                           QRectF(0, c.height() - cap, c.width(), cap));
        }
    }
    painter.restore();
}

void CZoSkinSlider::paintEvent(QPaintEvent*) {
    ReloadForScreen();
    QPainter p(this);
    PrepareSkinPainter(p);
    const int centre = PosToPixel(position_);
    if (!channel_.normal.isNull()) {
        if (!channel_.active.isNull() && isEnabled()) {
            // Before the thumb centre the active channel, after it the normal one.
            const QRect before = vertical_ ? QRect(0, 0, width(), centre) : QRect(0, 0, centre, height());
            const QRect after = vertical_ ? QRect(0, centre, width(), height() - centre)
                                          : QRect(centre, 0, width() - centre, height());
            DrawChannel(p, channel_.active, before);
            DrawChannel(p, channel_.normal, after);
        } else {
            DrawChannel(p, channel_.normal, rect());
        }
    }
    if (!thumb_.normal.isNull() && isEnabled()) {
        const QPixmap& thumb = dragging_ && !thumb_.active.isNull() ? thumb_.active : thumb_.normal;
        const QPointF at = vertical_ ? QPointF(marginLeft_, centre - thumbSize_.height() / 2)
                                     : QPointF(centre - thumbSize_.width() / 2, marginTop_);
        p.drawPixmap(at, thumb);
    }
    if (drawFocus_ && hasFocus() && isEnabled()) {
        p.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

}  // namespace zo::app
