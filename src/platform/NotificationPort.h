// Notification port: the way a component tells the main window that
// something happened, in place of posting a window message to it. The
// message numbers are those of the window messages (10966: the video
// window's split changed after a double click); the two values are the
// message's parameters.
//
// The desktop application installs a port that posts a Qt event to the main
// window, which handles it on the GUI thread; tests record the posts. Post()
// may be called from any thread and never waits for the message to be
// handled.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

namespace zo::platform {

class NotificationPort {
public:
    virtual ~NotificationPort() = default;
    virtual void Post(int message, intptr_t wParam, intptr_t lParam) = 0;
};

// One post as the recording port keeps it.
struct PostedNotification {
    int message = 0;
    intptr_t wParam = 0;
    intptr_t lParam = 0;
    friend bool operator==(const PostedNotification&, const PostedNotification&) = default;
};

// Keeps every post in order, for tests.
class RecordingNotificationPort final : public NotificationPort {
public:
    void Post(int message, intptr_t wParam, intptr_t lParam) override;
    std::vector<PostedNotification> Posted() const;
    // Number of posts of `message`.
    int Count(int message) const;
    void Clear();

private:
    mutable std::mutex mutex_;  // guards posted_
    std::vector<PostedNotification> posted_;
};

// Discards every post.
class NullNotificationPort final : public NotificationPort {
public:
    void Post(int, intptr_t, intptr_t) override {}
};

}  // namespace zo::platform
