#include "app/skin/CZoDvrStatus.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include "app/skin/SkinArt.h"

namespace zo::app {

namespace {

constexpr int kRow = 16;
constexpr int kConnectionX = 16;
constexpr int kConnectionWidth = 102;
constexpr int kLampX = 128;
constexpr int kLampWidth = 24;
constexpr int kSingleX = 356;
constexpr int kSingleWidth = 21;
constexpr int kOnline = 3;
// The strip's own colours, which the colour map replaces.
constexpr QRgb kStripB = 0xFF3FB5FFu;  // red 63, green 181, blue 255
constexpr QRgb kStripA = 0xFF174067u;  // red 23, green 64, blue 103

}  // namespace

CZoDvrStatus::CZoDvrStatus(QWidget* parent) : QWidget(parent) {
    font_ = QFont(QStringLiteral("Trebuchet MS"));
    font_.setStyleHint(QFont::SansSerif);
    font_.setPixelSize(12);
    font_.setWeight(QFont::DemiBold);
    UpdateAccessibleName();
}

bool CZoDvrStatus::SetBitmap(int id) {
    QPixmap strip = LoadSkinPixmap(id, this);
    if (strip.isNull()) return false;
    bitmapId_ = id;
    strip_ = strip;
    MapColours();
    update();
    return true;
}

void CZoDvrStatus::ReloadForScreen() {
    if (bitmapId_ == 0) return;
    const qreal wanted = devicePixelRatioF() > 1.0 ? 2.0 : 1.0;
    if (strip_.devicePixelRatio() == wanted) return;
    strip_ = LoadSkinPixmap(bitmapId_, this);
    MapColours();
}

void CZoDvrStatus::MapColours() {
    const QRgb a = colourA_.rgb(), b = colourB_.rgb(), bg = background_.rgb();
    if (strip_.isNull() || (a == kStripA && b == kStripB && bg == 0xFF000000u)) {
        mapped_ = strip_;
        return;
    }
    QImage image = strip_.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = line[x] | 0xFF000000u;
            if (c == kStripB)
                line[x] = b;
            else if (c == kStripA)
                line[x] = a;
            else if (c == 0xFF000000u)
                line[x] = bg;
        }
    }
    mapped_ = QPixmap::fromImage(image);
    mapped_.setDevicePixelRatio(strip_.devicePixelRatio());
}

void CZoDvrStatus::SetMode(int mode) {
    mode_ = mode;
    UpdateAccessibleName();
    update();
}

void CZoDvrStatus::SetPlayerState(int state) {
    if (state == playerState_) return;
    playerState_ = state;
    update();
}

void CZoDvrStatus::SetConnectState(int state) {
    connectState_ = state;
    UpdateAccessibleName();
}

void CZoDvrStatus::SetTexts(const QString& first, const QString& second) {
    // Refreshed several times a second during play: paint only a change.
    if (first == first_ && second == second_) return;
    first_ = first;
    second_ = second;
    UpdateAccessibleName();
    update();
}

void CZoDvrStatus::SetLampMasks(const LampMasks& masks) {
    masks_ = masks;
    update();
}

void CZoDvrStatus::SetColours(const QColor& a, const QColor& b, const QColor& background) {
    colourA_ = a;
    colourB_ = b;
    background_ = background;
    MapColours();
    update();
}

void CZoDvrStatus::SetTextColor(const QColor& colour) {
    textColour_ = colour;
    update();
}

int CZoDvrStatus::PlayerIconRow(int playerState) {
    switch (playerState) {
    case 0:
    case 1: return 64;
    case 2:
    case 4: return 16;
    case 3:
    case 5: return 32;
    case 6: return 48;
    case 7: return 80;
    default: return 0;
    }
}

int CZoDvrStatus::ConnectionRow(int connectState) {
    if (connectState >= 0 && connectState <= 5) return kRow * connectState;
    // The address server has answered and the recorder comes next: the
    // strip has no row of its own for it, so it shows "connecting".
    if (connectState == 6) return kRow * 1;
    return 0;
}

int CZoDvrStatus::LampRow(int lamp, int connectState, const LampMasks& masks) {
    const unsigned bit = 1u << lamp;
    if ((masks.disabled & bit) || connectState != kOnline) return 0;
    if (masks.third & bit) return 80;
    const bool first = masks.first & bit, second = masks.second & bit;
    if (first && second) return 64;
    if (first) return 32;
    if (second) return 48;
    return 16;
}

int CZoDvrStatus::SingleLampRow(int connectState, const LampMasks& masks) {
    if (connectState != kOnline) return 0;
    return (masks.single & 1u) ? 32 : 16;
}

QString CZoDvrStatus::ConnectStateName(int connectState) {
    switch (connectState) {
    case 0: return QStringLiteral("Not connected");
    case 1: return QStringLiteral("Connecting to the DVR");
    case 2: return QStringLiteral("Logging in");
    case 3: return QStringLiteral("Online");
    case 4: return QStringLiteral("Connecting to the address server");
    case 5: return QStringLiteral("Asking the address server");
    case 6: return QStringLiteral("DVR address found");
    default: return QStringLiteral("Unknown connection state");
    }
}

void CZoDvrStatus::UpdateAccessibleName() {
    QString name;
    if (mode_ == kNetworkMode)
        name = ConnectStateName(connectState_);
    else
        name = (first_.trimmed() + QLatin1Char(' ') + second_.trimmed()).trimmed();
    if (name.isEmpty()) name = QStringLiteral("Status");
    if (name != accessibleName()) setAccessibleName(name);
}

QSize CZoDvrStatus::sizeHint() const {
    return QSize(386, 17);
}

void CZoDvrStatus::paintEvent(QPaintEvent*) {
    ReloadForScreen();
    QPainter p(this);
    PrepareSkinPainter(p);
    p.fillRect(rect(), background_);
    if (mode_ == kNetworkMode) {
        if (mapped_.isNull()) return;
        DrawPixmapPart(p, QRectF(0, 0, kConnectionWidth, kRow), mapped_,
                       QRectF(kConnectionX, ConnectionRow(connectState_), kConnectionWidth, kRow));
        for (int i = 0; i < 4; ++i)
            DrawPixmapPart(p, QRectF(112 + kLampWidth * i, 0, kLampWidth, kRow), mapped_,
                           QRectF(kLampX + kLampWidth * i, LampRow(i, connectState_, masks_), kLampWidth, kRow));
        DrawPixmapPart(p, QRectF(340, 0, kSingleWidth, kRow), mapped_,
                       QRectF(kSingleX, SingleLampRow(connectState_, masks_), kSingleWidth, kRow));
        return;
    }
    if (!mapped_.isNull())
        DrawPixmapPart(p, QRectF(4, 0, 16, kRow), mapped_, QRectF(0, PlayerIconRow(playerState_), 16, kRow));
    p.setFont(font_);
    p.setPen(textColour_);
    const QFontMetrics metrics(font_);
    const int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;
    const QRect firstBox(32, 0, 100, height());
    const QRect secondBox(132, 0, std::max(0, width() - 132), height());
    p.drawText(firstBox, flags, metrics.elidedText(first_, Qt::ElideRight, firstBox.width()));
    p.drawText(secondBox, flags, metrics.elidedText(second_, Qt::ElideRight, secondBox.width()));
}

}  // namespace zo::app
