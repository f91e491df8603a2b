#include "app/QtNotificationPort.h"

#include <QCoreApplication>

QEvent::Type CZoNotifyEvent::Type() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void QtNotificationPort::Post(int message, intptr_t wParam, intptr_t lParam) {
    if (target_ != nullptr)
        QCoreApplication::postEvent(target_, new CZoNotifyEvent(message, wParam, lParam));
}
