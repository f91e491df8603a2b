// CTransparentStatic: a text label drawn over the skin without a background
// of its own (grey text, red 92, green 92, blue 92, unless set). Qt composes
// child widgets over their parent's painting, so the skin behind the label
// shows through whatever its text.
#pragma once

#include <QColor>
#include <QLabel>

namespace zo::app {

class CTransparentStatic : public QLabel {
    Q_OBJECT
public:
    explicit CTransparentStatic(QWidget* parent = nullptr);
    void SetTextColor(const QColor& colour);
    QColor GetTextColor() const { return colour_; }

private:
    QColor colour_{92, 92, 92};
};

}  // namespace zo::app
