// CZoSkinSlider: a slider drawn from a channel bitmap and a thumb bitmap,
// each with an optional active variant (the channel's part before the
// thumb; the thumb while dragged) and optional key-colour transparency.
//
// Geometry (horizontal; vertical uses heights and the top/bottom margins):
//   pixel of position p = left + (p - min) * (W - left - right - thumbW)
//                         / (max - min) + thumbW / 2        (truncated)
//   position of pixel x = min + (x - thumbW / 2 - left)
//                         / (W - right - left - thumbW) * (max - min)
// A range of width 0 or less maps every position to the margin.
//
// Mouse: a press grabs the thumb (keeping the offset when it lands on the
// thumb, else centring the thumb under the pointer), a drag emits Moving
// whenever the position changes, the release emits Moved. Keys: Page Up /
// Page Down by the page size, Home, End, and the arrows by 1, each
// emitting Moved. Positions never leave the range.
//
// A control wider than its channel bitmap draws the channel's end caps at
// their size and stretches the middle, so one bitmap serves any width.
#pragma once

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace zo::app {

class CZoSkinSlider : public QWidget {
    Q_OBJECT
public:
    explicit CZoSkinSlider(QWidget* parent = nullptr, int controlId = 0);

    // Channel bitmaps of resource `id` and `activeId` (0: none). With
    // `transparent`, pixels of the key colour are see-through; an invalid
    // key colour takes the colour of the pixel at (keyX, keyY). Resizes the
    // control to the channel and keeps its position. id 0 unloads them.
    bool SetChannelBitmaps(int id, int activeId, bool transparent,
                           const QColor& key = QColor(255, 0, 255), int keyX = 0, int keyY = 0);
    // Thumb bitmaps, the same way; without a channel the control keeps its size.
    bool SetThumbBitmaps(int id, int activeId, bool transparent,
                         const QColor& key = QColor(255, 0, 255), int keyX = 0, int keyY = 0);

    void SetRange(int minimum, int maximum, bool redraw = true);
    int GetRangeMin() const { return minimum_; }
    int GetRangeMax() const { return maximum_; }
    // Clamps to the range (first to the maximum, then to the minimum).
    void SetPos(int position);
    int GetPos() const { return position_; }
    void SetPageSize(int pageSize) { pageSize_ = pageSize; }
    int GetPageSize() const { return pageSize_; }
    void SetMargins(int left, int top, int right, int bottom);
    void SetDrawFocus(bool drawFocus, bool redraw = true);
    void SetVertical(bool vertical);
    // Tool tip; the accessible name is set with setAccessibleName
    // ("Position", "Volume").
    void SetTipText(const QString& text);
    // The slider's text (the position slider carries the time text): the
    // value text a screen reader speaks (else the position).
    void SetText(const QString& text);
    QString GetText() const { return text_; }

    int ControlId() const { return controlId_; }
    bool IsDragging() const { return dragging_; }
    QSize ThumbSize() const { return thumbSize_; }

    // Geometry in control pixels (logical), as described above.
    int PosToPixel(int position) const;
    int PixelToPos(int pixel) const;

signals:
    // The position changed while dragging.
    void Moving(int controlId, int position);
    // The button was released after a press, or a key changed the position.
    void Moved(int controlId, int position);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    QSize sizeHint() const override;

private:
    // Where a pair of bitmaps came from, to load it again for a screen of
    // another density.
    struct Source {
        int id = 0;
        int activeId = 0;
        bool transparent = false;
        QColor key;
        int keyX = 0;
        int keyY = 0;
    };
    struct Pair {
        Source source;
        QPixmap normal;
        QPixmap active;
    };
    bool LoadPair(Pair& pair, const Source& source);
    void ReloadForScreen();
    int Length() const;
    int ThumbLength() const;
    int MarginStart() const;
    int MarginEnd() const;
    int Clamp(int position) const;
    void DragTo(int pixel);
    // Tells assistive technology that the position changed.
    void NotifyValue();
    void DrawChannel(QPainter& painter, const QPixmap& pixmap, const QRect& clip) const;

    int controlId_ = 0;
    int minimum_ = 0;
    int maximum_ = 100;
    int position_ = 0;
    int pageSize_ = 20;
    int marginLeft_ = 0;
    int marginTop_ = 0;
    int marginRight_ = 0;
    int marginBottom_ = 0;
    int grabOffset_ = 0;
    bool vertical_ = false;
    bool dragging_ = false;
    bool drawFocus_ = true;
    Pair channel_;
    Pair thumb_;
    QSize thumbSize_;
    QString text_;
};

}  // namespace zo::app
