// Zoom and pan in the video window, on both drawing paths: the zoomed cell
// against a plain crop-and-scale of the same picture drawn 1:1, the wheel's
// anchor, the 1x..8x bounds, panning and its edges, per-cell views, reset,
// the overview box, and the part of the screen a new picture repaints.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/MessagePort.h"
#include "render/CZoWnd.h"

namespace zo::render {
namespace {

constexpr int kW = 640;
constexpr int kH = 224;
constexpr int kNotch = 120;

// A picture where neighbouring pixels differ, so a crop off by one pixel
// shows. Year 0: no title over it.
std::vector<uint8_t> Pattern() {
    std::vector<uint8_t> p(kW * kH * 3 / 2);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            p[y * kW + x] = static_cast<uint8_t>(16 + (x * 7 + y * 13) % 220);
    for (int y = 0; y < kH / 2; ++y)
        for (int x = 0; x < kW / 2; ++x) {
            p[kW * kH + y * (kW / 2) + x] = static_cast<uint8_t>(40 + (x * 3) % 170);
            p[kW * kH * 5 / 4 + y * (kW / 2) + x] = static_cast<uint8_t>(40 + (y * 5) % 170);
        }
    return p;
}

struct PathCase {
    const char* name;
    bool surfaces;
};

class CZoWndZoom : public testing::TestWithParam<PathCase> {
protected:
    // A window of `w` x `h` on the path under test showing the pattern.
    void Make(CZoWnd& wnd, int cells, int w, int h) {
        wnd.SetDisplayPixelFormat(PixelFormatOfCode(kRgb32));
        wnd.SetCellCount(cells);
        wnd.OnSize(w, h);
        if (GetParam().surfaces) {
            wnd.SetUseDirectDraw(true);
            ASSERT_TRUE(wnd.IsDirectDrawActive());
        }
        ASSERT_EQ(wnd.SetLayout(cells, 0), 1);
        for (int k = 0; k < cells; ++k)
            ASSERT_EQ(wnd.ShowPicture(k, {}, picture.data(), kW, kH), 1);
    }
    // The picture drawn 1:1 by the same path: the reference to crop.
    QImage Reference() {
        CZoWnd one(&messages);
        Make(one, 1, kW, kH);
        return one.ScreenCopy();
    }
    // Mismatches between the cell on `screen` and the reference's `source`
    // part stretched into the cell (each pixel takes the one under its
    // centre); the overview corner is left out unless `withCorner`.
    static int Mismatches(const QImage& screen, const QImage& ref, PixelRect cell, PixelRect source,
                          bool withCorner = false) {
        int bad = 0;
        for (int y = cell.top; y < cell.bottom; ++y)
            for (int x = cell.left; x < cell.right; ++x) {
                if (!withCorner && x >= cell.left + cell.Width() * 3 / 4 && y >= cell.top + cell.Height() * 3 / 4)
                    continue;
                const int sx = source.left + (2 * (x - cell.left) + 1) * source.Width() / (2 * cell.Width());
                const int sy = source.top + (2 * (y - cell.top) + 1) * source.Height() / (2 * cell.Height());
                bad += screen.pixel(x, y) != ref.pixel(sx, sy);
            }
        return bad;
    }
    static int CountColour(const QImage& screen, PixelRect r, QRgb colour) {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                n += (screen.pixel(x, y) | 0xFF000000u) == colour;
        return n;
    }
    static constexpr QRgb kOverviewPart = 0xFFFFD040u;

    platform::RecordingMessagePort messages;
    std::vector<uint8_t> picture = Pattern();
};

TEST_P(CZoWndZoom, ZoomedCellIsTheCropOfThePictureScaledIntoTheCell) {
    const QImage ref = Reference();
    struct Step {
        const char* what;
        int wheelX, wheelY, angle;  // a wheel turn, if angle != 0
        int dragDx, dragDy;         // then a drag, if not both 0
        double factor;
        int sourceWidth;
    };
    const Step steps[] = {
        {"one notch", 300, 150, kNotch, 0, 0, 1.189, 538},
        {"to 4x, near the top left", 10, 8, 7 * kNotch, 0, 0, 4.0, 160},
        {"and dragged", 0, 0, 0, -333, -91, 4.0, 160},
        {"beyond 8x stops at 8x", 700, 400, 20 * kNotch, 0, 0, 8.0, 80},
        {"dragged past the edge", 0, 0, 0, 5000, 5000, 8.0, 80},
        {"four notches out: 4x", 450, 250, -4 * kNotch, 0, 0, 4.0, 160},
    };
    CZoWnd wnd(&messages);
    Make(wnd, 1, 901, 517);  // no whole ratio to the picture
    const PixelRect cell = wnd.CellOf(0);
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        const PixelRect before = wnd.ZoomSourceRect(0);
        if (s.angle != 0) {
            ASSERT_TRUE(wnd.OnWheel(s.wheelX, s.wheelY, s.angle));
            // The picture point under the pointer stays under it (within the
            // rounding to whole picture pixels).
            const PixelRect after = wnd.ZoomSourceRect(0);
            const double x0 = before.left + (s.wheelX + 0.5) * before.Width() / cell.Width();
            const double x1 = after.left + (s.wheelX + 0.5) * after.Width() / cell.Width();
            const double y0 = before.top + (s.wheelY + 0.5) * before.Height() / cell.Height();
            const double y1 = after.top + (s.wheelY + 0.5) * after.Height() / cell.Height();
            if (after.left > 0 && after.right < kW) {
                EXPECT_NEAR(x1, x0, 1.0);
            }
            if (after.top > 0 && after.bottom < kH) {
                EXPECT_NEAR(y1, y0, 1.0);
            }
        }
        if (s.dragDx != 0 || s.dragDy != 0) {
            ASSERT_TRUE(wnd.OnPanStart(400, 200));
            wnd.OnPanMove(400 + s.dragDx / 2, 200 + s.dragDy / 2);
            wnd.OnPanMove(400 + s.dragDx, 200 + s.dragDy);
            wnd.OnPanEnd();
            const PixelRect after = wnd.ZoomSourceRect(0);
            // The picture follows the hand: dragging left or up shows more of
            // the right or the bottom, up to the picture's edge.
            const int wantLeft = std::clamp(
                before.left - static_cast<int>(std::lround(s.dragDx * double(before.Width()) / cell.Width())), 0,
                kW - before.Width());
            EXPECT_NEAR(after.left, wantLeft, 1);
            EXPECT_EQ(after.Width(), before.Width());
        }
        EXPECT_NEAR(wnd.ZoomOf(0).factor, s.factor, 0.001);
        const PixelRect source = wnd.ZoomSourceRect(0);
        EXPECT_EQ(source.Width(), s.sourceWidth);
        EXPECT_GE(source.left, 0);
        EXPECT_LE(source.right, kW);
        EXPECT_GE(source.top, 0);
        EXPECT_LE(source.bottom, kH);
        // A new picture, and the redraw a paint after a lost display does,
        // both crop the same part.
        ASSERT_EQ(wnd.ShowPicture(0, {}, picture.data(), kW, kH), 1);
        QImage screen = wnd.ScreenCopy();
        EXPECT_EQ(Mismatches(screen, ref, cell, source), 0);
        EXPECT_GT(CountColour(screen, cell, kOverviewPart), 0);
    }
    // A drag that went past the edge stopped at it.
    wnd.OnWheel(450, 250, 8 * kNotch);
    ASSERT_TRUE(wnd.OnPanStart(10, 10));
    wnd.OnPanMove(4000, 4000);
    EXPECT_EQ(wnd.ZoomSourceRect(0).left, 0);
    EXPECT_EQ(wnd.ZoomSourceRect(0).top, 0);

    // Out to 1x is the whole picture again, without an overview.
    ASSERT_TRUE(wnd.OnWheel(100, 100, -40 * kNotch));
    EXPECT_FALSE(wnd.IsZoomed());
    EXPECT_EQ(wnd.ZoomSourceRect(0), (PixelRect{0, 0, kW, kH}));
    ASSERT_EQ(wnd.ShowPicture(0, {}, picture.data(), kW, kH), 1);
    const QImage whole = wnd.ScreenCopy();
    EXPECT_EQ(Mismatches(whole, ref, cell, {0, 0, kW, kH}, true), 0);
}

TEST_P(CZoWndZoom, EachCellHasItsOwnViewAndResetsShowTheWhole) {
    CZoWnd wnd(&messages);
    Make(wnd, 4, 640, 448);
    const QImage ref = Reference();
    const PixelRect c1 = wnd.CellOf(1);
    // The button is left to the window where nothing is zoomed.
    EXPECT_FALSE(wnd.OnPanStart(c1.left + 10, c1.top + 10));
    ASSERT_TRUE(wnd.OnWheel(c1.left + 50, c1.top + 60, 4 * kNotch));
    EXPECT_NEAR(wnd.ZoomOf(1).factor, 2.0, 1e-9);
    EXPECT_FALSE(wnd.ZoomOf(0).IsZoomed());
    EXPECT_EQ(Mismatches(wnd.ScreenCopy(), ref, wnd.CellOf(0), {0, 0, kW, kH}), 0);
    EXPECT_TRUE(wnd.OnPanStart(c1.left + 10, c1.top + 10));
    wnd.OnPanEnd();

    // A double click keeps its meaning: the zoomed channel alone, still
    // zoomed, the crop now filling the window.
    wnd.OnDoubleClick(c1.left + 5, c1.top + 5);
    int split = 0, page = 0;
    wnd.GetLayout(split, page);
    EXPECT_EQ(split, 1);
    EXPECT_EQ(page, 1);
    ASSERT_EQ(wnd.ShowPicture(1, {}, picture.data(), kW, kH), 1);
    EXPECT_EQ(Mismatches(wnd.ScreenCopy(), ref, wnd.CellOf(1), wnd.ZoomSourceRect(1)), 0);

    wnd.ResetZoom();
    EXPECT_FALSE(wnd.IsZoomed());
    EXPECT_EQ(Mismatches(wnd.ScreenCopy(), ref, wnd.CellOf(1), {0, 0, kW, kH}, true), 0);

    // New content (a source opened or closed) starts whole; an empty cell
    // does not zoom.
    ASSERT_TRUE(wnd.OnWheel(30, 30, kNotch));
    wnd.ResetPictures();
    EXPECT_FALSE(wnd.IsZoomed());
    EXPECT_FALSE(wnd.OnWheel(30, 30, kNotch));
    EXPECT_FALSE(wnd.IsZoomed());
}

TEST_P(CZoWndZoom, OnlyTheChangedCellIsRepainted) {
    CZoWnd wnd(&messages);
    std::vector<PixelRect> asked;
    wnd.SetRepaintRequest([&](const PixelRect& changed) { asked.push_back(changed); });
    Make(wnd, 16, 640, 448);
    wnd.SetLayout(4, 0);
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back(), (PixelRect{0, 0, 640, 448}));
    // A picture of a visible channel: its cell; of a channel on another
    // page: nothing to repaint at all.
    asked.clear();
    ASSERT_EQ(wnd.ShowPicture(3, {}, picture.data(), kW, kH), 1);
    EXPECT_EQ(asked, std::vector<PixelRect>{wnd.CellOf(3)});
    ASSERT_EQ(wnd.ShowPicture(9, {}, picture.data(), kW, kH), 1);
    EXPECT_EQ(asked.size(), 1u);
    ASSERT_TRUE(wnd.OnWheel(wnd.CellOf(1).left + 9, 9, kNotch));
    EXPECT_EQ(asked.back(), wnd.CellOf(1));
    // A paint shows what was drawn: the cells as drawn 1:1 and scaled.
    QImage painted;
    wnd.OnPaint([&](const QImage& screen) { painted = screen.copy(); });
    EXPECT_EQ(Mismatches(painted, Reference(), wnd.CellOf(3), {0, 0, kW, kH}, true), 0);
    EXPECT_EQ(painted, wnd.ScreenCopy());
}

INSTANTIATE_TEST_SUITE_P(BothPaths, CZoWndZoom,
                         testing::Values(PathCase{"Bitmap", false}, PathCase{"Surface", true}),
                         [](const testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zo::render
