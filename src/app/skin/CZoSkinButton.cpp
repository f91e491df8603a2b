#include "app/skin/CZoSkinButton.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "app/skin/SkinArt.h"

namespace zo::app {

CZoSkinButton::CZoSkinButton(QWidget* parent, Kind kind) : QAbstractButton(parent) {
    setFocusPolicy(Qt::TabFocus);
    setMouseTracking(true);
    textColour_ = palette().color(QPalette::ButtonText);
    SetKind(kind);
}

bool CZoSkinButton::SetSkin(int id, bool edge, int inset, bool maskFrame) {
    QPixmap strip = LoadSkinPixmap(id, this);
    if (strip.isNull()) return false;
    stripId_ = id;
    SetSkinPixmap(strip, edge, inset, maskFrame);
    stripId_ = id;
    return true;
}

void CZoSkinButton::SetSkinPixmap(const QPixmap& strip, bool edge, int inset, bool maskFrame) {
    stripId_ = 0;
    strip_ = strip;
    edge_ = edge;
    inset_ = std::max(inset, 0);
    maskFrame_ = maskFrame;
    RebuildFrames();
    resize(frameWidth_, frameHeight_);
    update();
}

void CZoSkinButton::RebuildFrames() {
    for (QPixmap& f : frames_) f = QPixmap();
    if (strip_.isNull()) {
        frameWidth_ = frameHeight_ = 0;
        return;
    }
    const int count = maskFrame_ ? 5 : 4;
    const QSize logical = LogicalSize(strip_);
    frameWidth_ = logical.width() / count;
    frameHeight_ = logical.height();
    const qreal ratio = strip_.devicePixelRatio();
    const int pw = static_cast<int>(frameWidth_ * ratio);
    const int ph = static_cast<int>(frameHeight_ * ratio);
    if (pw <= 0 || ph <= 0) return;
    const QImage all = strip_.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage mask = maskFrame_ ? all.copy(4 * pw, 0, pw, ph) : QImage();
    for (int i = 0; i < 4; ++i) {
        QImage frame = all.copy(i * pw, 0, pw, ph);
        if (!mask.isNull()) {
            // Black in the mask keeps the frame, white shows what lies
            // behind; grey edges blend.
            for (int y = 0; y < ph; ++y) {
                auto* px = reinterpret_cast<QRgb*>(frame.scanLine(y));
                const auto* mk = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
                for (int x = 0; x < pw; ++x) {
                    const int keep = 255 - qGray(mk[x]);
                    const QRgb c = px[x];
                    px[x] = qRgba(qRed(c) * keep / 255, qGreen(c) * keep / 255, qBlue(c) * keep / 255,
                                  qAlpha(c) * keep / 255);
                }
            }
        }
        frames_[i] = QPixmap::fromImage(frame);
        frames_[i].setDevicePixelRatio(ratio);
    }
}

void CZoSkinButton::ReloadForScreen() {
    if (stripId_ == 0) return;
    const qreal wanted = devicePixelRatioF() > 1.0 ? 2.0 : 1.0;
    if (strip_.devicePixelRatio() == wanted) return;
    const QPixmap strip = LoadSkinPixmap(stripId_, this);
    if (strip.isNull()) return;
    strip_ = strip;
    RebuildFrames();
}

void CZoSkinButton::SetTipText(const QString& text) {
    if (text.isEmpty()) return;
    setToolTip(text);
    setAccessibleName(text);
}

void CZoSkinButton::SetKind(Kind kind) {
    kind_ = kind;
    setCheckable(kind != Kind::Push);
    setAutoExclusive(kind == Kind::Radio);
    update();
}

void CZoSkinButton::SetCheck(bool checked) {
    if (kind_ == Kind::Push) return;
    if (!checked && autoExclusive()) {
        // A checked radio button refuses to be cleared directly.
        setAutoExclusive(false);
        setChecked(false);
        setAutoExclusive(true);
    } else {
        setChecked(checked);
    }
    update();
}

bool CZoSkinButton::GetCheck() const {
    return kind_ != Kind::Push && isChecked();
}

void CZoSkinButton::SetPushed(bool pushed) {
    if (pushed_ == pushed) return;
    pushed_ = pushed;
    update();
}

void CZoSkinButton::SetTextColor(const QColor& colour) {
    textColour_ = colour;
    update();
}

int CZoSkinButton::CurrentFrame() const {
    if (!isEnabled()) return 3;
    if (isDown() || pushed_ || GetCheck()) return 1;
    return hover_ ? 2 : 0;
}

QSize CZoSkinButton::sizeHint() const {
    return QSize(frameWidth_, frameHeight_);
}

void CZoSkinButton::paintEvent(QPaintEvent*) {
    ReloadForScreen();
    QPainter p(this);
    PrepareSkinPainter(p);
    const int frame = CurrentFrame();
    if (!frames_[frame].isNull()) p.drawPixmap(QPointF(0, 0), frames_[frame]);
    const QRect item = rect();
    const bool sunken = frame == 1;
    if (edge_) {
        const QColor light = palette().color(QPalette::Light);
        const QColor dark = palette().color(QPalette::Dark);
        p.setPen(sunken ? dark : light);
        p.drawLine(item.topLeft(), item.topRight());
        p.drawLine(item.topLeft(), item.bottomLeft());
        p.setPen(sunken ? light : dark);
        p.drawLine(item.bottomLeft(), item.bottomRight());
        p.drawLine(item.topRight(), item.bottomRight());
    }
    const QString label = text();
    if (!label.isEmpty()) {
        QRect box = item.adjusted(inset_ + 2, 0, -(inset_ + 2), 0);
        const int flags = Qt::AlignCenter | Qt::TextSingleLine;
        if (frame == 3) {
            p.setPen(palette().color(QPalette::Light));
            p.drawText(box, flags, label);
            p.setPen(palette().color(QPalette::Disabled, QPalette::Text));
            p.drawText(box.translated(-1, -1), flags, label);
        } else {
            if (sunken) box.translate(1, 1);
            p.setPen(textColour_);
            p.drawText(box, flags, label);
        }
    }
    if (frame != 3 && hasFocus() && inset_ > 0) {
        QPen pen(palette().color(QPalette::ButtonText), 1, Qt::DotLine);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawRect(item.adjusted(inset_, inset_, -inset_ - 1, -inset_ - 1));
    }
}

void CZoSkinButton::enterEvent(QEnterEvent* event) {
    hover_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void CZoSkinButton::leaveEvent(QEvent* event) {
    hover_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void CZoSkinButton::mouseMoveEvent(QMouseEvent* event) {
    // Hover comes back with the first move over the button after it was
    // lost (a window shown under a still pointer sends no enter event).
    if (!hover_ && !(event->buttons() & Qt::LeftButton) && rect().contains(event->position().toPoint())) {
        hover_ = true;
        update();
    }
    QAbstractButton::mouseMoveEvent(event);
}

}  // namespace zo::app
