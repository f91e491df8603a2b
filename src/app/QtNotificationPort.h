// QtNotificationPort: the main window's notification port. Post() may come
// from any thread; it posts a CZoNotifyEvent to the target object, which
// handles it later on its own (the user-interface) thread.
#pragma once

#include <QEvent>
#include <QObject>

#include "platform/NotificationPort.h"

class CZoNotifyEvent : public QEvent {
public:
    CZoNotifyEvent(int message, intptr_t wParam, intptr_t lParam)
        : QEvent(Type()), message(message), wParam(wParam), lParam(lParam) {}
    static QEvent::Type Type();

    const int message;
    const intptr_t wParam;
    const intptr_t lParam;
};

class QtNotificationPort final : public zo::platform::NotificationPort {
public:
    // `target` must outlive every thread that posts.
    explicit QtNotificationPort(QObject* target = nullptr) : target_(target) {}
    void SetTarget(QObject* target) { target_ = target; }
    void Post(int message, intptr_t wParam, intptr_t lParam) override;

private:
    QObject* target_;
};
