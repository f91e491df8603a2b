// CZoSkinSliderAccessible: what assistive technology sees of a skinned
// slider: a slider with a value (minimum, maximum, step 1, settable), its
// accessible name ("Position", "Volume") and, as its value text, the
// slider's text when it has one (the time of the position slider).
#pragma once

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

namespace zo::app {

class CZoSkinSlider;

class CZoSkinSliderAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit CZoSkinSliderAccessible(CZoSkinSlider* slider);

    // Registers the factory with Qt once; called by every slider.
    static void InstallFactory();

    void* interface_cast(QAccessible::InterfaceType type) override;
    QString text(QAccessible::Text t) const override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant& value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

private:
    CZoSkinSlider* Slider() const;
};

}  // namespace zo::app
