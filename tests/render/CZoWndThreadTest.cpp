// Pictures arrive on a worker thread while the user-interface thread
// changes the layout, the size, the drawing path, the zoom and paints: nothing
// deadlocks, and (under ThreadSanitizer) nothing races.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/NotificationPort.h"
#include "render/CZoWnd.h"

namespace zo::render {
namespace {

TEST(CZoWndThreads, PicturesOnAWorkerWhileTheLayoutChanges) {
    platform::RecordingNotificationPort parent;
    CZoWnd wnd(nullptr, &parent);
    std::atomic<int> repaints{0};
    wnd.SetRepaintRequest([&](const PixelRect&) { repaints.fetch_add(1, std::memory_order_relaxed); });
    wnd.SetCellCount(16);
    wnd.OnSize(640, 448);
    wnd.SetOverlayEnabled(true);
    ASSERT_EQ(wnd.SetLayout(4, 0), 1);

    std::vector<uint8_t> picture(640 * 272 * 3 / 2, 128);
    media::CalendarTime time;
    time.year = 2026;
    std::atomic<bool> stop{false};
    std::atomic<int> shown{0};
    std::thread worker([&] {
        for (int i = 0; !stop.load(); ++i) {
            const int height = i % 3 == 0 ? 272 : 224;
            shown += wnd.ShowPicture(i % 16, time, picture.data(), i % 5 == 0 ? 320 : 640, height);
            std::this_thread::yield();  // pictures come apart, as from a recording
        }
    });
    constexpr int kRounds = 8;
    for (int round = 0; round < kRounds; ++round) {
        wnd.SetLayout(round % 2 ? 9 : 4, -1);
        wnd.OnSize(round % 2 ? 320 : 640, round % 3 ? 240 : 448);
        if (round % 4 == 0)
            wnd.SetUseDirectDraw(round % 8 == 0);
        wnd.OnPaint([](const QImage& screen) { (void)screen.pixel(0, 0); });
        wnd.OnDoubleClick(5, 5);
        wnd.OnDoubleClick(5, 5);
        wnd.OnWheel(60, 50, round % 2 ? -120 : 360);
        if (wnd.OnPanStart(60, 50)) {
            wnd.OnPanMove(40, 45);
            wnd.OnPanEnd();
        }
        if (round % 3 == 2)
            wnd.ResetZoom();
        if (round % 5 == 4)
            wnd.ResetPictures();
        if (round % 4 == 1)
            wnd.SetTextColor(round % 8 == 1 ? 0x0000FF : 0x80FFFF);
    }
    stop = true;
    worker.join();
    EXPECT_GT(shown.load(), 0);
    EXPECT_GT(repaints.load(), 0);
    EXPECT_EQ(parent.Count(CZoWnd::kSplitChangedMessage), 2 * kRounds);
}

}  // namespace
}  // namespace zo::render
