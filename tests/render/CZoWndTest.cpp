// The video window on the bitmap path: layout and pages, the next-page and
// single-view rules, the picture checks, which converter serves new
// pictures and redraws, nearest-neighbour stretching, titles, the buffer
// allocation failure and capture to a bitmap file and the clipboard.
//
// This file's main() makes the QGuiApplication (offscreen platform) that
// titles and the clipboard need, for every test of the executable.
#include "render/CZoWnd.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "codec/ColourConvert.h"
#include "support/FlatPicture.h"
#include "platform/MessagePort.h"
#include "platform/NotificationPort.h"

namespace zo::render {
namespace {

media::CalendarTime At2026() {
    media::CalendarTime t;
    t.year = 2026;
    t.month = 12;
    t.day = 8;
    t.hour = 4;
    return t;
}

using test::FlatPicture;

// The colour a converter gives one flat picture, as 0xFFRRGGBB.
uint32_t Rgb24Of(void (*convert)(uint8_t*, const uint8_t*, int, int, int), uint8_t y, uint8_t cb, uint8_t cr) {
    const std::vector<uint8_t> p = FlatPicture(8, 2, y, cb, cr);
    uint8_t out[8 * 2 * 3] = {};
    convert(out, p.data(), 8, 2, 0);
    return 0xFF000000u | (out[2] << 16) | (out[1] << 8) | out[0];
}

uint32_t ScreenAt(const QImage& screen, int x, int y) { return screen.pixel(x, y) | 0xFF000000u; }

// Counts pixels of `argb` inside `rect` of the screen.
int CountColour(const QImage& screen, PixelRect rect, uint32_t argb) {
    int n = 0;
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x)
            n += ScreenAt(screen, x, y) == argb;
    return n;
}

constexpr uint32_t kTitleText = 0xFFFFFF80u;     // red 255, green 255, blue 128
constexpr uint32_t kTitleOutline = 0xFF141414u;  // RGB 20, 20, 20

struct Window {
    platform::RecordingMessagePort messages;
    platform::RecordingNotificationPort parent;
    CZoWnd wnd{&messages, &parent};
    Window(int cells, int w = 640, int h = 448) {
        wnd.SetCellCount(cells);
        wnd.OnSize(w, h);
    }
};

TEST(CZoWndLayout, PagesOfFourAndTheNextPageRule) {
    Window w(16);
    ASSERT_EQ(w.wnd.SetLayout(4, 0), 1);
    int split = 0, page = -1;
    for (int expected : {1, 2, 3, 0, 1}) {
        ASSERT_EQ(w.wnd.SetLayout(4, -1), 1);
        w.wnd.GetLayout(split, page);
        EXPECT_EQ(split, 4);
        EXPECT_EQ(page, expected);
    }
    // Page 1: channels 4..7 in a 2x2 grid of 320x224 cells.
    EXPECT_EQ(w.wnd.CellOf(4), (PixelRect{0, 0, 320, 224}));
    EXPECT_EQ(w.wnd.CellOf(5), (PixelRect{320, 0, 640, 224}));
    EXPECT_EQ(w.wnd.CellOf(6), (PixelRect{0, 224, 320, 448}));
    EXPECT_EQ(w.wnd.CellOf(7), (PixelRect{320, 224, 640, 448}));
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(w.wnd.IsVisible(k), k >= 4 && k < 8) << k;
    // A new split with "next page" starts at page 0.
    ASSERT_EQ(w.wnd.SetLayout(9, -1), 1);
    w.wnd.GetLayout(split, page);
    EXPECT_EQ(page, 0);
    ASSERT_EQ(w.wnd.SetLayout(9, -1), 1);
    w.wnd.GetLayout(split, page);
    EXPECT_EQ(page, 1);  // ceil(16 / 9) = 2 pages
    ASSERT_EQ(w.wnd.SetLayout(9, -1), 1);
    w.wnd.GetLayout(split, page);
    EXPECT_EQ(page, 0);
}

TEST(CZoWndLayout, NineCellsOf213x149AndNoCellBeyondTheCount) {
    Window w(9);
    ASSERT_EQ(w.wnd.SetLayout(9, 0), 1);
    EXPECT_EQ(w.wnd.CellOf(0), (PixelRect{0, 0, 213, 149}));
    EXPECT_EQ(w.wnd.CellOf(4), (PixelRect{213, 149, 426, 298}));
    EXPECT_EQ(w.wnd.CellOf(8), (PixelRect{426, 298, 639, 447}));
    EXPECT_EQ(w.wnd.CellOf(9), PixelRect{});
    EXPECT_FALSE(w.wnd.IsVisible(9));
}

TEST(CZoWndLayout, RefusedSplitsLeaveTheLayout) {
    Window w(4);
    ASSERT_EQ(w.wnd.SetLayout(4, 0), 1);
    EXPECT_EQ(w.wnd.SetLayout(9, 0), 0);   // above the cell count
    EXPECT_EQ(w.wnd.SetLayout(-1, 0), 0);  // negative
    EXPECT_EQ(w.wnd.SetLayout(0, 0), 0);   // no grid and no pages
    EXPECT_EQ(w.wnd.SetLayout(0, -1), 0);
    int split = 0, page = -1;
    w.wnd.GetLayout(split, page);
    EXPECT_EQ(split, 4);
    EXPECT_EQ(page, 0);
}

TEST(CZoWndLayout, DoubleClickIntoSingleViewAndBack) {
    Window w(16);
    ASSERT_EQ(w.wnd.SetLayout(9, 0), 1);
    const PixelRect cell6 = w.wnd.CellOf(6);
    w.wnd.OnDoubleClick(cell6.left + 5, cell6.top + 5);
    int split = 0, page = -1;
    w.wnd.GetLayout(split, page);
    EXPECT_EQ(split, 1);
    EXPECT_EQ(page, 6);
    EXPECT_TRUE(w.wnd.IsVisible(6));
    EXPECT_EQ(w.wnd.CellOf(6), (PixelRect{0, 0, 640, 448}));
    w.wnd.OnDoubleClick(10, 10);
    w.wnd.GetLayout(split, page);
    EXPECT_EQ(split, 9);
    EXPECT_EQ(page, 0);

    // The remembered page comes back too; the click rectangle excludes its
    // right and bottom edges.
    ASSERT_EQ(w.wnd.SetLayout(4, 2), 1);
    const PixelRect cell9 = w.wnd.CellOf(9);
    w.wnd.OnDoubleClick(cell9.left, cell9.top);
    w.wnd.GetLayout(split, page);
    EXPECT_EQ(page, 9);
    w.wnd.OnDoubleClick(0, 0);
    w.wnd.GetLayout(split, page);
    EXPECT_EQ(split, 4);
    EXPECT_EQ(page, 2);

    // Each double click posts the split change, even one that hit no cell.
    ASSERT_EQ(w.wnd.SetLayout(9, 0), 1);
    w.wnd.OnDoubleClick(639, 447);  // the strip left over right of the grid
    w.wnd.GetLayout(split, page);
    EXPECT_EQ(split, 9);
    const auto posted = w.parent.Posted();
    ASSERT_EQ(posted.size(), 5u);
    for (const auto& p : posted)
        EXPECT_EQ(p, (platform::PostedNotification{CZoWnd::kSplitChangedMessage, 0, 0}));
}

TEST(CZoWndPictures, ChecksChannelSizeAndBufferAndKeepsARefusedPictureOut) {
    Window w(4);
    ASSERT_EQ(w.wnd.SetLayout(1, 0), 1);
    const auto good = FlatPicture(640, 224, 120, 90, 200);
    EXPECT_EQ(w.wnd.ShowPicture(0, At2026(), good.data(), 640, 224), 1);
    EXPECT_TRUE(w.wnd.HasPicture(0));
    w.wnd.RedrawAll();
    const QImage before = w.wnd.ScreenCopy();

    const std::vector<uint8_t> big(640 * 1000 * 3 / 2, 255);
    EXPECT_EQ(w.wnd.ShowPicture(0, At2026(), big.data(), 640, 1000), 0);
    EXPECT_EQ(w.wnd.ShowPicture(0, At2026(), big.data(), 641, 224), 0);
    EXPECT_EQ(w.wnd.ShowPicture(0, At2026(), big.data(), 320, 200), 0);
    EXPECT_EQ(w.wnd.ShowPicture(0, At2026(), nullptr, 640, 224), 0);
    EXPECT_EQ(w.wnd.ShowPicture(4, At2026(), good.data(), 640, 224), 0);  // beyond the cell count
    EXPECT_EQ(w.wnd.ShowPicture(-1, At2026(), good.data(), 640, 224), 0);
    EXPECT_FALSE(w.wnd.HasPicture(4));
    // The stored picture and its size are untouched: a redraw reads the old
    // picture (and only its bytes) again.
    w.wnd.RedrawAll();
    EXPECT_EQ(w.wnd.ScreenCopy(), before);

    for (int h : {112, 136, 224, 272})
        for (int wd : {320, 640}) {
            const auto p = FlatPicture(wd, h, 60, 128, 128);
            EXPECT_EQ(w.wnd.ShowPicture(1, At2026(), p.data(), wd, h), 1) << wd << "x" << h;
        }
}

TEST(CZoWndPictures, NewPicturesVideoRangeRedrawsFullRange) {
    Window w(1);
    ASSERT_EQ(w.wnd.SetLayout(1, 0), 1);
    const auto p = FlatPicture(640, 224, 120, 90, 200);
    const uint32_t video = Rgb24Of(codec::I420ToRgb24BottomUp, 120, 90, 200);
    const uint32_t full = Rgb24Of(codec::I420ToRgb24FullFlipped, 120, 90, 200);
    ASSERT_NE(video, full);
    ASSERT_EQ(w.wnd.ShowPicture(0, At2026(), p.data(), 640, 224), 1);
    QImage screen = w.wnd.ScreenCopy();
    EXPECT_EQ(ScreenAt(screen, 320, 224), video);
    EXPECT_EQ(ScreenAt(screen, 639, 447), video);
    w.wnd.RedrawAll();
    screen = w.wnd.ScreenCopy();
    EXPECT_EQ(ScreenAt(screen, 320, 224), full);
    // A paint shows what was drawn; once the display took the window's
    // content a paint draws it again from the stored pictures.
    ASSERT_EQ(w.wnd.ShowPicture(0, At2026(), p.data(), 640, 224), 1);
    uint32_t painted = 0;
    w.wnd.OnPaint([&](const QImage& s) { painted = ScreenAt(s, 10, 300); });
    EXPECT_EQ(painted, video);
    w.wnd.LoseSurfaces();
    w.wnd.OnPaint([&](const QImage& s) { painted = ScreenAt(s, 10, 300); });
    EXPECT_EQ(painted, full);
}

TEST(CZoWndPictures, StretchKeepsRowsAndColumnsInPlace) {
    // Top half of the picture dark, bottom light; left half blue-ish, right
    // red-ish: in a 213x149 cell and in a doubled single cell the edges land
    // where nearest-neighbour sampling puts them, rows bottom-up flipped.
    const int W = 640, H = 224;
    std::vector<uint8_t> p(W * H * 3 / 2);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            p[y * W + x] = y < H / 2 ? 40 : 200;
    for (int y = 0; y < H / 2; ++y)
        for (int x = 0; x < W / 2; ++x) {
            p[W * H + y * (W / 2) + x] = x < W / 4 ? 200 : 60;          // Cb
            p[W * H * 5 / 4 + y * (W / 2) + x] = x < W / 4 ? 60 : 200;  // Cr
        }
    Window w(9);
    ASSERT_EQ(w.wnd.SetLayout(9, 0), 1);
    ASSERT_EQ(w.wnd.ShowPicture(4, At2026(), p.data(), W, H), 1);
    const QImage screen = w.wnd.ScreenCopy();
    const PixelRect c = w.wnd.CellOf(4);
    const uint32_t topLeft = Rgb24Of(codec::I420ToRgb24BottomUp, 40, 200, 60);
    const uint32_t bottomRight = Rgb24Of(codec::I420ToRgb24BottomUp, 200, 60, 200);
    EXPECT_EQ(ScreenAt(screen, c.left, c.top + 40), topLeft);
    EXPECT_EQ(ScreenAt(screen, c.left + 105, c.top + 73), topLeft);
    EXPECT_EQ(ScreenAt(screen, c.left + 107, c.top + 75), bottomRight);
    EXPECT_EQ(ScreenAt(screen, c.right - 1, c.bottom - 1), bottomRight);
    // Nothing outside the cell was touched: the neighbours are still black.
    EXPECT_EQ(ScreenAt(screen, c.left - 1, c.top + 40), 0xFF000000u);
    EXPECT_EQ(ScreenAt(screen, c.right, c.top + 40), 0xFF000000u);

    Window single(1);
    ASSERT_EQ(single.wnd.SetLayout(1, 0), 1);
    ASSERT_EQ(single.wnd.ShowPicture(0, At2026(), p.data(), W, H), 1);
    const QImage doubled = single.wnd.ScreenCopy();
    EXPECT_EQ(ScreenAt(doubled, 0, 223), topLeft);
    EXPECT_EQ(ScreenAt(doubled, 639, 224), bottomRight);
    EXPECT_EQ(ScreenAt(doubled, 319, 100), topLeft);
    EXPECT_NE(ScreenAt(doubled, 320, 100), topLeft);
}

TEST(CZoWndPictures, ResetPicturesBlackensAndForgets) {
    Window w(4);
    ASSERT_EQ(w.wnd.SetLayout(4, 0), 1);
    const auto p = FlatPicture(640, 224, 180, 128, 128);
    for (int k = 0; k < 4; ++k)
        ASSERT_EQ(w.wnd.ShowPicture(k, At2026(), p.data(), 640, 224), 1);
    w.wnd.ResetPictures();
    for (int k = 0; k < 4; ++k)
        EXPECT_FALSE(w.wnd.HasPicture(k));
    w.wnd.RedrawAll();
    const QImage screen = w.wnd.ScreenCopy();
    EXPECT_EQ(CountColour(screen, {0, 30, 640, 224}, 0xFF000000u), 640 * 194);
}

TEST(CZoWndTitles, OutlinedChannelTitleOnlyWithATimeAndWhenEnabled) {
    Window w(4);
    ASSERT_EQ(w.wnd.SetLayout(4, 0), 1);
    const auto p = FlatPicture(640, 224, 120, 128, 128);
    const PixelRect strip1{320 + 3, 1, 320 + 80, 22};
    auto titlePixels = [&](uint32_t colour) { return CountColour(w.wnd.ScreenCopy(), strip1, colour); };

    ASSERT_EQ(w.wnd.ShowPicture(1, At2026(), p.data(), 640, 224), 1);
    EXPECT_EQ(titlePixels(kTitleText), 0) << "titles are off until enabled";
    w.wnd.SetOverlayEnabled(true);
    ASSERT_EQ(w.wnd.ShowPicture(1, At2026(), p.data(), 640, 224), 1);
    EXPECT_GT(titlePixels(kTitleText), 20);
    EXPECT_GT(titlePixels(kTitleOutline), 20);
    // The text sits at the cell's left + 4, top + 2, outline one pixel round it.
    EXPECT_EQ(CountColour(w.wnd.ScreenCopy(), {320, 0, 320 + 3, 40}, kTitleOutline), 0);
    EXPECT_EQ(CountColour(w.wnd.ScreenCopy(), {320, 0, 640, 1}, kTitleOutline), 0);

    // Year 0: the title is a blank.
    ASSERT_EQ(w.wnd.ShowPicture(1, media::CalendarTime{}, p.data(), 640, 224), 1);
    EXPECT_EQ(titlePixels(kTitleText), 0);
    EXPECT_EQ(titlePixels(kTitleOutline), 0);

    ASSERT_EQ(w.wnd.ShowPicture(1, At2026(), p.data(), 640, 224), 1);
    w.wnd.SetShowTitle(false);
    w.wnd.RedrawAll();
    EXPECT_EQ(titlePixels(kTitleText), 0);
    w.wnd.SetShowTitle(true);
    w.wnd.SetTextColor(0x000000FF);  // red
    w.wnd.RedrawAll();
    EXPECT_EQ(titlePixels(kTitleText), 0);
    EXPECT_GT(titlePixels(0xFFFF0000u), 20);
    // "CH16" is wider than "CH2".
    w.wnd.SetCellCount(16);
    ASSERT_EQ(w.wnd.SetLayout(16, 0), 1);
    ASSERT_EQ(w.wnd.ShowPicture(1, At2026(), p.data(), 640, 224), 1);
    ASSERT_EQ(w.wnd.ShowPicture(15, At2026(), p.data(), 640, 224), 1);
    const QImage screen = w.wnd.ScreenCopy();
    const PixelRect c1 = w.wnd.CellOf(1), c15 = w.wnd.CellOf(15);
    auto rightmost = [&](const PixelRect& c) {
        int last = 0;
        for (int y = c.top; y < c.top + 22; ++y)
            for (int x = c.left; x < c.right; ++x)
                if (ScreenAt(screen, x, y) == 0xFFFF0000u)
                    last = std::max(last, x - c.left);
        return last;
    };
    EXPECT_GT(rightmost(c15), rightmost(c1));
}

TEST(CZoWndBuffers, AllocationFailureStopsAllocatingAndThoseChannelsAreNeverWritten) {
    static int allocations;
    allocations = 0;
    auto failThird = [](size_t bytes) -> std::unique_ptr<uint8_t[]> {
        if (++allocations == 3)
            return nullptr;
        return std::make_unique<uint8_t[]>(bytes);
    };
    platform::RecordingMessagePort messages;
    CZoWnd wnd(&messages, nullptr, failThird);
    EXPECT_EQ(allocations, 3);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Yuv Buf Allocation Failed!"});
    EXPECT_TRUE(wnd.HasPictureBuffer(1));
    EXPECT_FALSE(wnd.HasPictureBuffer(2));
    EXPECT_FALSE(wnd.HasPictureBuffer(15));
    wnd.SetCellCount(16);
    wnd.OnSize(640, 448);
    ASSERT_EQ(wnd.SetLayout(16, 0), 1);
    const auto p = FlatPicture(640, 224, 200, 128, 128);
    EXPECT_EQ(wnd.ShowPicture(1, At2026(), p.data(), 640, 224), 1);
    EXPECT_EQ(wnd.ShowPicture(2, At2026(), p.data(), 640, 224), 0);
    EXPECT_FALSE(wnd.HasPicture(2));
    wnd.RedrawAll();
    EXPECT_EQ(ScreenAt(wnd.ScreenCopy(), wnd.CellOf(2).left + 80, wnd.CellOf(2).top + 60), 0xFF000000u);
}

TEST(CZoWndCapture, WritesTheComposedWindowAndLeavesItOnTheClipboard) {
    Window w(4, 642, 450);  // rows of 642 x 3 bytes need padding
    ASSERT_EQ(w.wnd.SetLayout(4, 0), 1);
    w.wnd.SetOverlayEnabled(true);
    for (int k = 0; k < 4; ++k) {
        const auto p = FlatPicture(640, 224, static_cast<uint8_t>(50 + 40 * k), static_cast<uint8_t>(90 + 20 * k), 160);
        ASSERT_EQ(w.wnd.ShowPicture(k, At2026(), p.data(), 640, 224), 1);
    }
    const auto path = (std::filesystem::temp_directory_path() / "zo-window-capture-test.bmp").string();
    {
        std::ofstream stale(path, std::ios::binary);
        stale << std::string(2000000, 'x');  // longer than the capture: must be truncated
    }
    ASSERT_EQ(w.wnd.CaptureToBitmapFile(path), 1);
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t rowBytes = (642 * 3 + 3) / 4 * 4;
    ASSERT_EQ(bytes.size(), 54 + rowBytes * 450);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(bytes[2] | (bytes[3] << 8) | (bytes[4] << 16) | (bytes[5] << 24), static_cast<int>(bytes.size()));
    EXPECT_EQ(bytes[10], 54);

    const QImage screen = w.wnd.ScreenCopy();
    QImage loaded(QString::fromStdString(path));
    ASSERT_FALSE(loaded.isNull());
    EXPECT_EQ(loaded.convertToFormat(QImage::Format_RGB32), screen);
    EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), screen);
    std::remove(path.c_str());

    EXPECT_EQ(w.wnd.CaptureToBitmapFile("/nonexistent-folder/x.bmp"), 0);
    CZoWnd unsized;
    EXPECT_EQ(unsized.CaptureToBitmapFile(path), 0);
}

}  // namespace
}  // namespace zo::render

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // Test discovery runs the executable without the test environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
