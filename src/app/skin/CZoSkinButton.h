// CZoSkinButton: a button drawn from a horizontal strip of equal frames:
// 0 normal, 1 pressed or checked, 2 hover, 3 disabled and, with the mask
// frame, 4 a mask that is black where the button is opaque (white shows
// the parent through). The frame width is the strip width / 4, or / 5 with
// the mask frame; SetSkin resizes the button to one frame and keeps its
// position.
//
// Push buttons show the pressed frame only while the pointer is over them
// with the button held, and click only when released over them. Check-box
// buttons toggle on a click or Space; radio buttons become checked and clear
// the other radio buttons of the same parent. The tool tip text is also the
// accessible name (what a screen reader speaks).
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>

namespace zo::app {

class CZoSkinButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class Kind { Push = 0, CheckBox = 2, Radio = 4 };

    explicit CZoSkinButton(QWidget* parent = nullptr, Kind kind = Kind::Push);

    // Loads the strip of resource `id`; edge draws a 3-D edge around the
    // button, inset (negative counts as 0) places the focus rectangle, and
    // maskFrame says the strip has the fifth, mask frame. Returns false for
    // an unknown id (the button keeps its old strip).
    bool SetSkin(int id, bool edge = false, int inset = 0, bool maskFrame = true);
    // The same from a strip at hand (its devicePixelRatio decides the scale).
    void SetSkinPixmap(const QPixmap& strip, bool edge = false, int inset = 0,
                       bool maskFrame = true);
    // Tool tip and accessible name; an empty text changes nothing.
    void SetTipText(const QString& text);

    void SetKind(Kind kind);
    Kind GetKind() const { return kind_; }
    // Check state of check-box and radio buttons; always false for push
    // buttons. A radio button that becomes checked clears its siblings.
    void SetCheck(bool checked);
    bool GetCheck() const;
    // Shows the pressed frame (the pushed look) without a click, as the
    // mute button does while muted.
    void SetPushed(bool pushed);

    void SetTextColor(const QColor& colour);

    int FrameWidth() const { return frameWidth_; }
    int FrameHeight() const { return frameHeight_; }
    bool HasMaskFrame() const { return maskFrame_; }
    bool IsHover() const { return hover_; }
    // The frame the next paint draws (0..3).
    int CurrentFrame() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void RebuildFrames();
    void ReloadForScreen();

    Kind kind_ = Kind::Push;
    QPixmap strip_;
    // The four visible frames with the mask applied as alpha.
    QPixmap frames_[4];
    int stripId_ = 0;
    bool maskFrame_ = false;
    bool edge_ = false;
    int inset_ = 0;
    int frameWidth_ = 0;
    int frameHeight_ = 0;
    bool hover_ = false;
    bool pushed_ = false;
    QColor textColour_;
};

}  // namespace zo::app
