#include "app/skin/SkinArt.h"

#include <QGuiApplication>
#include <QPainter>
#include <QWidget>

#include <cmath>

// The resources live in a static library: register them before first use.
static void InitSkinResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(zo_skin);
        return true;
    }();
    (void)done;
}

namespace zo::app {

QPixmap LoadSkinPixmap(int id, qreal devicePixelRatio) {
    InitSkinResources();
    if (id <= 0) return {};
    const bool hiDpi = devicePixelRatio > 1.0;
    QPixmap pixmap(QString(":/skin/%1%2.png").arg(id).arg(hiDpi ? "@2x" : ""));
    if (pixmap.isNull()) return {};
    pixmap.setDevicePixelRatio(hiDpi ? 2.0 : 1.0);
    return pixmap;
}

QPixmap LoadSkinPixmap(int id, const QWidget* widget) {
    const qreal ratio = widget ? widget->devicePixelRatioF()
                               : (qGuiApp ? qGuiApp->devicePixelRatio() : 1.0);
    return LoadSkinPixmap(id, ratio);
}

QSize LogicalSize(const QPixmap& pixmap) {
    return pixmap.deviceIndependentSize().toSize();
}

void DrawPixmapPart(QPainter& painter, const QRectF& target, const QPixmap& pixmap,
                    const QRectF& source) {
    if (pixmap.isNull() || target.isEmpty() || source.isEmpty()) return;
    const qreal r = pixmap.devicePixelRatio();
    const QRectF pixels(source.x() * r, source.y() * r, source.width() * r, source.height() * r);
    painter.drawPixmap(target, pixmap, pixels);
}

void PrepareSkinPainter(QPainter& painter) {
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    if (ratio != std::floor(ratio)) painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

QIcon AppIcon() {
    InitSkinResources();
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QString(":/icons/zoviewer_%1.png").arg(size), QSize(size, size));
    return icon;
}

}  // namespace zo::app
