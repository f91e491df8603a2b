// CZoSkinDialog: a frameless top-level dialog painted from a nine-piece skin
// bitmap, with a rounded window shape, that moves when dragged by any point.
// The main window derives from it.
//
// The skin (w x h) is composed over the client area (W x H): its four
// quarters as corners at their natural size (the right and bottom ones at
// W - w/2 - 1 and H - h/2 - 1), the edges stretched from strips next to the
// centre; the inside is left to the dialog's background colour. The window
// shape is a rounded rectangle over (W - 1) x (H - 1) with the given corner
// ellipse, so the last column and row, which the skin leaves, are outside.
#pragma once

#include <QColor>
#include <QDialog>
#include <QPixmap>
#include <QPoint>

namespace zo::app {

class CZoSkinDialog : public QDialog {
    Q_OBJECT
public:
    explicit CZoSkinDialog(QWidget* parent = nullptr);

    // Loads the skin strip of resource `id` (0 removes the skin) and
    // repaints. Returns false for an unknown id.
    bool SetSkinBitmap(int id);
    void SetSkinPixmap(const QPixmap& skin);
    void SetDraggable(bool draggable) { draggable_ = draggable; }
    bool IsDraggable() const { return draggable_; }
    // Corner ellipse of the window shape, applied at the next size change.
    void SetRoundCorners(int cornerWidth, int cornerHeight);
    // Logical skin size, or 0 x 0 without a skin.
    QSize SkinSize() const;

    // Paints the composed skin for a client area of `client` size.
    void PaintSkin(QPainter& painter, QSize client) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Left button: starts moving the window when draggable. A derived
    // window that handles some presses itself calls this for the others.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void ApplyShape();
    // Reloads the skin when the window moved to a screen of another density.
    void ReloadForScreen();

    QPixmap skin_;
    QColor inside_;  // the skin's centre colour, painted inside the frame
    int skinId_ = 0;
    bool draggable_ = true;
    int cornerWidth_ = 0;
    int cornerHeight_ = 0;
    // Move by hand where the window system offers no system move.
    bool manualMove_ = false;
    QPoint moveOffset_;
};

}  // namespace zo::app
