#include "app/skin/CTransparentStatic.h"

namespace zo::app {

CTransparentStatic::CTransparentStatic(QWidget* parent) : QLabel(parent) {
    setAutoFillBackground(false);
    setAttribute(Qt::WA_TranslucentBackground, true);
    SetTextColor(colour_);
}

void CTransparentStatic::SetTextColor(const QColor& colour) {
    colour_ = colour;
    QPalette p = palette();
    p.setColor(QPalette::WindowText, colour);
    p.setColor(QPalette::Text, colour);
    setPalette(p);
}

}  // namespace zo::app
