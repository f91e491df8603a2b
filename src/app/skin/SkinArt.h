// The viewer's artwork: bitmap strips generated at build time by artgen
// (1x and 2x) and compiled into the zo_skin library as Qt resources.
// Each strip is named by its resource number, the number the main window's
// control table gives ("290" the skin, "306" the connect button, ...).
//
// Button strips hold five equal frames side by side: normal, pressed or
// checked, hover, disabled, and a mask frame (black where the button is
// opaque), so every button is set up with the mask-frame flag on.
//
// Call from the user-interface thread only.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QRect>

class QPainter;
class QWidget;

namespace zo::app {

namespace SkinId {
inline constexpr int kPlay = 200;
inline constexpr int kPositionChannel = 215;
inline constexpr int kPositionChannelActive = 216;
inline constexpr int kPositionThumbActive = 217;
inline constexpr int kPositionThumb = 218;
inline constexpr int kPause = 227;
inline constexpr int kFastBackward = 230;
inline constexpr int kFastForward = 231;
inline constexpr int kNextFrame = 236;
inline constexpr int kPrevFrame = 237;
inline constexpr int kStillCapture = 242;
inline constexpr int kSplit4 = 245;
inline constexpr int kMinimize = 261;
inline constexpr int kClose = 264;
inline constexpr int kVolumeThumb = 275;
inline constexpr int kVolumeChannelActive = 276;
inline constexpr int kVolumeChannel = 277;
inline constexpr int kVolumeThumbActive = 278;
inline constexpr int kOpen = 281;
inline constexpr int kPlayReverse = 282;
inline constexpr int kProgram = 285;
inline constexpr int kSkin = 290;
inline constexpr int kSplit1 = 300;
inline constexpr int kConnect = 306;
inline constexpr int kStatusStrip = 320;
inline constexpr int kDisconnect = 333;
inline constexpr int kModePlayer = 359;
inline constexpr int kModeViewer = 360;
inline constexpr int kMute = 371;
inline constexpr int kDvrRewind = 372;
inline constexpr int kDvrFastForward = 374;
inline constexpr int kDvrPlayPause = 375;
inline constexpr int kDvrRecordStop = 376;
inline constexpr int kDvrUp = 377;
inline constexpr int kDvrDown = 378;
inline constexpr int kDvrLeft = 379;
inline constexpr int kDvrRight = 380;
inline constexpr int kDvrMenu = 381;
}  // namespace SkinId

// The strip of resource `id` for a screen of the given device pixel ratio:
// the 2x strip (with devicePixelRatio 2) above 1, else the 1x strip. Its
// logical size (deviceIndependentSize) is the 1x size either way. A null
// pixmap for an unknown id.
QPixmap LoadSkinPixmap(int id, qreal devicePixelRatio);
// The same for the screen `widget` is on (or the application's ratio).
QPixmap LoadSkinPixmap(int id, const QWidget* widget);
// Logical (1x) size of a pixmap.
QSize LogicalSize(const QPixmap& pixmap);
// Draws the part `source` (logical coordinates) of `pixmap` into `target`
// (logical), stretching when the sizes differ; crisp at any ratio.
void DrawPixmapPart(QPainter& painter, const QRectF& target, const QPixmap& pixmap,
                    const QRectF& source);

// Prepares a painter on a widget for skin drawing: on screens of a
// fractional ratio (1.25, 1.5) the 2x strips are scaled down smoothly.
void PrepareSkinPainter(QPainter& painter);

// The application icon in all its sizes (16 to 256 pixels).
QIcon AppIcon();

}  // namespace zo::app
