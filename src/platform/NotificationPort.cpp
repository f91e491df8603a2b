#include "platform/NotificationPort.h"

#include <algorithm>

namespace zo::platform {

void RecordingNotificationPort::Post(int message, intptr_t wParam, intptr_t lParam) {
    std::lock_guard lock(mutex_);
    posted_.push_back({message, wParam, lParam});
}

std::vector<PostedNotification> RecordingNotificationPort::Posted() const {
    std::lock_guard lock(mutex_);
    return posted_;
}

int RecordingNotificationPort::Count(int message) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(
        std::count_if(posted_.begin(), posted_.end(), [message](const auto& p) { return p.message == message; }));
}

void RecordingNotificationPort::Clear() {
    std::lock_guard lock(mutex_);
    posted_.clear();
}

}  // namespace zo::platform
