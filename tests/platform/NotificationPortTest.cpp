// The recording notification port keeps every post, in order, from any
// number of threads.
#include "platform/NotificationPort.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace zo::platform {
namespace {

TEST(RecordingNotificationPort, KeepsPostsInOrderFromSeveralThreads) {
    RecordingNotificationPort port;
    port.Post(10966, 0, 0);
    port.Post(10449, 3, -7);
    EXPECT_EQ(port.Posted(), (std::vector<PostedNotification>{{10966, 0, 0}, {10449, 3, -7}}));

    port.Clear();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&port, t] {
            for (int i = 0; i < 500; ++i)
                port.Post(10856 + t, t, i);
        });
    for (auto& thread : threads)
        thread.join();
    const auto posted = port.Posted();
    ASSERT_EQ(posted.size(), 2000u);
    std::vector<intptr_t> next(4, 0);
    for (const auto& p : posted) {
        ASSERT_EQ(p.message, 10856 + p.wParam);
        EXPECT_EQ(p.lParam, next[p.wParam]++) << "posts of one thread stay in order";
    }
    EXPECT_EQ(port.Count(10857), 500);
    EXPECT_EQ(port.Count(10966), 0);
    NullNotificationPort null;
    null.Post(1, 2, 3);
}

}  // namespace
}  // namespace zo::platform
