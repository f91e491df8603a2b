#include "app/skin/CZoSkinSliderAccessible.h"

#include "app/skin/CZoSkinSlider.h"

namespace zo::app {

namespace {

QAccessibleInterface* Factory(const QString&, QObject* object) {
    if (auto* slider = qobject_cast<CZoSkinSlider*>(object)) return new CZoSkinSliderAccessible(slider);
    return nullptr;
}

}  // namespace

CZoSkinSliderAccessible::CZoSkinSliderAccessible(CZoSkinSlider* slider)
    : QAccessibleWidget(slider, QAccessible::Slider) {}

void CZoSkinSliderAccessible::InstallFactory() {
    static const bool installed = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
    (void)installed;
}

CZoSkinSlider* CZoSkinSliderAccessible::Slider() const {
    return static_cast<CZoSkinSlider*>(widget());
}

void* CZoSkinSliderAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QString CZoSkinSliderAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Value) {
        const QString text = Slider()->GetText().trimmed();
        return text.isEmpty() ? QString::number(Slider()->GetPos()) : text;
    }
    return QAccessibleWidget::text(t);
}

QVariant CZoSkinSliderAccessible::currentValue() const { return Slider()->GetPos(); }

// A value set by assistive technology acts as a key press would: the
// position changes and the owner hears of it.
void CZoSkinSliderAccessible::setCurrentValue(const QVariant& value) {
    CZoSkinSlider* slider = Slider();
    if (!slider->isEnabled()) return;
    slider->SetPos(value.toInt());
    emit slider->Moved(slider->ControlId(), slider->GetPos());
}

QVariant CZoSkinSliderAccessible::maximumValue() const { return Slider()->GetRangeMax(); }
QVariant CZoSkinSliderAccessible::minimumValue() const { return Slider()->GetRangeMin(); }
QVariant CZoSkinSliderAccessible::minimumStepSize() const { return 1; }

}  // namespace zo::app
