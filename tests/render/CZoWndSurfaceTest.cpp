// The video window on the surface path, for every display pixel format:
// the video-range converter of the format for new pictures and the
// full-range one for redraws, the 0A0A0A fill, titles through the black
// key, the video surface following the picture size, and the ways back to
// the bitmap path (indexed display, switched off, failures, the self-test).
#include <gtest/gtest.h>

#include <vector>

#include "codec/ColourConvert.h"
#include "support/FlatPicture.h"
#include "platform/MessagePort.h"
#include "render/CZoWnd.h"

namespace zo::render {
namespace {

using Convert = void (*)(uint8_t*, const uint8_t*, int, int, int);

media::CalendarTime Dated() {
    media::CalendarTime t;
    t.year = 2009;
    t.month = 12;
    t.day = 7;
    return t;
}

using test::FlatPicture;

// The raw first pixel a converter writes for a flat picture.
uint32_t RawOf(Convert convert, int bytesPerPixel, uint8_t y, uint8_t cb, uint8_t cr) {
    const auto p = FlatPicture(8, 2, y, cb, cr);
    uint8_t out[8 * 2 * 4] = {};
    convert(out, p.data(), 8, 2, 0);
    uint32_t v = 0;
    for (int i = 0; i < bytesPerPixel; ++i)
        v |= static_cast<uint32_t>(out[i]) << (8 * i);
    return v;
}

struct FormatCase {
    int code;
    int bytesPerPixel;
    Convert newPicture;
    Convert redraw;
};

class CZoWndSurface : public testing::TestWithParam<FormatCase> {
protected:
    void SetUp() override {
        wnd.SetDisplayPixelFormat(PixelFormatOfCode(GetParam().code));
        wnd.SetCellCount(9);
        wnd.OnSize(640, 448);
        wnd.SetUseDirectDraw(true);
        ASSERT_TRUE(wnd.IsDirectDrawActive());
        ASSERT_EQ(wnd.SetLayout(9, 0), 1);
    }
    platform::RecordingMessagePort messages;
    CZoWnd wnd{&messages};
};

TEST_P(CZoWndSurface, FormatConvertersFillAndTitleKey) {
    const FormatCase& f = GetParam();
    EXPECT_EQ(wnd.SurfaceFormat(), f.code);
    const uint32_t newRaw = RawOf(f.newPicture, f.bytesPerPixel, 120, 90, 200);
    const uint32_t redrawRaw = RawOf(f.redraw, f.bytesPerPixel, 120, 90, 200);
    const auto p = FlatPicture(640, 224, 120, 90, 200);
    ASSERT_EQ(wnd.ShowPicture(4, Dated(), p.data(), 640, 224), 1);
    const PixelRect c = wnd.CellOf(4);
    EXPECT_EQ(wnd.BackSurfacePixel(c.left + 100, c.top + 100), newRaw);
    EXPECT_EQ(wnd.BackSurfacePixel(c.right - 1, c.bottom - 1), newRaw);
    // The screen shows the back surface's colours.
    const QImage screen = wnd.ScreenCopy();
    EXPECT_EQ(screen.pixel(c.left + 100, c.top + 100) | 0xFF000000u, UnpackToArgb(f.code, newRaw));
    // Right of the grid the back surface keeps its fill (a raw value).
    const uint32_t fill = f.bytesPerPixel == 2 ? 0x0A0Au : 0x0A0A0Au;
    EXPECT_EQ(wnd.BackSurfacePixel(639, 10), fill);
    EXPECT_EQ(wnd.BackSurfacePixel(c.left + 100, c.top + 100 - 149), fill) << "cell 1 has no picture";

    wnd.RedrawAll();
    EXPECT_EQ(wnd.BackSurfacePixel(c.left + 100, c.top + 100), redrawRaw);

    // Titles come through the key: the picture shows round the text.
    wnd.SetOverlayEnabled(true);
    ASSERT_EQ(wnd.ShowPicture(4, Dated(), p.data(), 640, 224), 1);
    int text = 0, picture = 0;
    const uint32_t textRaw = PackRgb(f.code, 255, 255, 128);
    for (int y = c.top; y < c.top + 20; ++y)
        for (int x = c.left; x < c.left + 80; ++x) {
            const uint32_t v = wnd.BackSurfacePixel(x, y);
            text += v == textRaw;
            picture += v == newRaw;
        }
    EXPECT_GT(text, 20);
    EXPECT_GT(picture, 20 * 80 / 2);
    EXPECT_EQ(wnd.BackSurfacePixel(c.left + 60, c.top + 10), newRaw);
}

TEST_P(CZoWndSurface, VideoSurfaceFollowsThePictureSize) {
    EXPECT_EQ(wnd.VideoSurfaceSize(), QSize(640, 272));
    const auto half = FlatPicture(320, 272, 90, 128, 128);
    ASSERT_EQ(wnd.ShowPicture(0, Dated(), half.data(), 320, 272), 1);
    EXPECT_EQ(wnd.VideoSurfaceSize(), QSize(320, 272));
    const auto full = FlatPicture(640, 224, 90, 128, 128);
    ASSERT_EQ(wnd.ShowPicture(1, Dated(), full.data(), 640, 224), 1);
    EXPECT_EQ(wnd.VideoSurfaceSize(), QSize(640, 224));
    // A redraw of both re-makes it for each and stays on the surfaces.
    wnd.RedrawAll();
    EXPECT_TRUE(wnd.IsDirectDrawActive());
    EXPECT_EQ(wnd.BackSurfacePixel(100, 100), wnd.BackSurfacePixel(213 + 100, 100));
}

INSTANTIATE_TEST_SUITE_P(AllFormats, CZoWndSurface,
                         testing::Values(FormatCase{kRgb555, 2, codec::I420ToRgb555, codec::I420ToRgb555Full},
                                         FormatCase{kRgb565, 2, codec::I420ToRgb565, codec::I420ToRgb565Full},
                                         FormatCase{kBgr565, 2, codec::I420ToBgr565Full, codec::I420ToBgr565Full},
                                         FormatCase{kRgb24, 3, codec::I420ToRgb24, codec::I420ToRgb24Full},
                                         FormatCase{kRgb32, 4, codec::I420ToRgb32, codec::I420ToRgb32Full}),
                         [](const auto& info) { return "Code" + std::to_string(info.param.code); });

struct Rig {
    platform::RecordingMessagePort messages;
    CZoWnd wnd{&messages};
    std::vector<uint8_t> picture = FlatPicture(640, 224, 150, 100, 170);
    Rig() {
        wnd.SetCellCount(4);
        wnd.OnSize(640, 448);
    }
    int Show(int channel = 0) { return wnd.ShowPicture(channel, Dated(), picture.data(), 640, 224); }
};

TEST(CZoWndSurfacePath, IndexedDisplayOrSwitchedOffMeansTheBitmapPath) {
    Rig rig;
    rig.wnd.SetDisplayPixelFormat(PixelFormatOfCode(0));  // 256 colours
    rig.wnd.SetUseDirectDraw(true);
    EXPECT_TRUE(rig.wnd.GetUseDirectDraw());
    EXPECT_FALSE(rig.wnd.IsDirectDrawActive());
    EXPECT_FALSE(rig.wnd.SurfacesExist());
    ASSERT_EQ(rig.Show(), 1);
    // 24-bit bitmap, video range.
    const uint32_t raw = RawOf(codec::I420ToRgb24BottomUp, 3, 150, 100, 170);
    EXPECT_EQ(rig.wnd.ScreenCopy().pixel(300, 200) | 0xFF000000u, 0xFF000000u | raw);

    rig.wnd.SetDisplayPixelFormat(PixelFormatOfCode(kRgb32));
    rig.wnd.SetUseDirectDraw(true);
    EXPECT_TRUE(rig.wnd.IsDirectDrawActive());
    rig.wnd.SetUseDirectDraw(false);
    EXPECT_FALSE(rig.wnd.SurfacesExist());
    EXPECT_FALSE(rig.wnd.IsDirectDrawActive());
    ASSERT_EQ(rig.Show(), 1);
    EXPECT_EQ(rig.wnd.BackSurfacePixel(300, 200), 0u);

    rig.wnd.SetDisplayDeviceAvailable(false);
    rig.wnd.SetUseDirectDraw(true);
    EXPECT_FALSE(rig.wnd.IsDirectDrawActive());
}

TEST(CZoWndSurfacePath, EnabledBeforeTheFirstSizeStartsWithIt) {
    CZoWnd wnd;
    wnd.SetDisplayPixelFormat(PixelFormatOfCode(kRgb565));
    wnd.SetUseDirectDraw(true);
    EXPECT_FALSE(wnd.IsDirectDrawActive());
    wnd.OnSize(320, 240);
    EXPECT_TRUE(wnd.IsDirectDrawActive());
}

TEST(CZoWndSurfacePath, LockFailureSkipsThePictureAndTheNextOneRemakesTheSurfaces) {
    Rig rig;
    rig.wnd.SetUseDirectDraw(true);
    ASSERT_TRUE(rig.wnd.IsDirectDrawActive());
    rig.wnd.SetDeviceFaults({0, 1, false});
    EXPECT_EQ(rig.Show(), 0);
    EXPECT_FALSE(rig.wnd.SurfacesExist());
    EXPECT_TRUE(rig.wnd.HasPicture(0));
    EXPECT_EQ(rig.Show(), 0);  // re-initialises
    EXPECT_TRUE(rig.wnd.SurfacesExist());
    EXPECT_EQ(rig.Show(), 1);
    EXPECT_TRUE(rig.wnd.IsDirectDrawActive());
}

TEST(CZoWndSurfacePath, FailedVideoSurfaceOnARedrawFallsBackToTheBitmapPath) {
    Rig rig;
    rig.wnd.SetUseDirectDraw(true);
    ASSERT_EQ(rig.wnd.SetLayout(4, 0), 1);
    const auto half = FlatPicture(320, 272, 90, 128, 128);
    ASSERT_EQ(rig.Show(0), 1);
    ASSERT_EQ(rig.wnd.ShowPicture(1, Dated(), half.data(), 320, 272), 1);
    // The picture of another size on the new picture path only skips it.
    rig.wnd.SetDeviceFaults({1, 0, false});
    EXPECT_EQ(rig.Show(0), 0);
    EXPECT_TRUE(rig.wnd.IsDirectDrawActive());
    ASSERT_EQ(rig.Show(0), 0);  // the video surface was lost with it: re-initialise
    ASSERT_EQ(rig.wnd.ShowPicture(1, Dated(), half.data(), 320, 272), 1);
    rig.wnd.SetDeviceFaults({1, 0, false});
    rig.wnd.RedrawAll();
    EXPECT_FALSE(rig.wnd.IsDirectDrawActive());
    EXPECT_FALSE(rig.wnd.SurfacesExist());
    ASSERT_EQ(rig.Show(0), 1);
}

TEST(CZoWndSurfacePath, LostSurfacesAreRestoredAndThePicturesComeBack) {
    Rig rig;
    rig.wnd.SetUseDirectDraw(true);
    ASSERT_EQ(rig.Show(), 1);
    rig.wnd.LoseSurfaces();
    uint32_t painted = 0;
    rig.wnd.OnPaint([&](const QImage& s) { painted = s.pixel(100, 100) | 0xFF000000u; });
    EXPECT_EQ(painted, 0xFF0A0A0Au);  // the screen refilled, the back surface still lost
    int shown = 0;
    for (int i = 0; i < 3 && shown == 0; ++i)
        shown = rig.Show();
    EXPECT_EQ(shown, 1);
    const uint32_t raw = RawOf(codec::I420ToRgb32, 4, 150, 100, 170);
    EXPECT_EQ(rig.wnd.ScreenCopy().pixel(100, 100) | 0xFF000000u, 0xFF000000u | raw);
}

TEST(CZoWndSurfacePath, SelfTestFailureIsShownOnceAndNotRepeated) {
    CZoWnd::ForgetBlitSelfTest();
    Rig rig;
    rig.wnd.SetDeviceFaults({0, 0, true});
    rig.wnd.SetUseDirectDraw(true);
    EXPECT_FALSE(rig.wnd.IsDirectDrawActive());
    EXPECT_TRUE(CZoWnd::BlitSelfTestDone());
    EXPECT_EQ(rig.messages.Texts(), std::vector<std::string>{"Your graphic card does not fully support DirectDraw."});
    rig.wnd.SetUseDirectDraw(true);
    EXPECT_TRUE(rig.wnd.IsDirectDrawActive());
    EXPECT_EQ(rig.messages.Texts().size(), 1u);

    // Surfaces that cannot be made: the same message, and the test is not
    // marked done, so it runs again.
    CZoWnd::ForgetBlitSelfTest();
    rig.wnd.SetDeviceFaults({1, 0, false, 1});  // the primary is made, the first test surface fails
    rig.wnd.SetUseDirectDraw(true);
    EXPECT_FALSE(rig.wnd.IsDirectDrawActive());
    EXPECT_FALSE(CZoWnd::BlitSelfTestDone());
    EXPECT_EQ(rig.messages.Texts().size(), 2u);
    // A primary that cannot be made ends on the bitmap path with no message.
    rig.wnd.SetDeviceFaults({1, 0, false});
    rig.wnd.SetUseDirectDraw(true);
    EXPECT_FALSE(rig.wnd.IsDirectDrawActive());
    EXPECT_EQ(rig.messages.Texts().size(), 2u);
    rig.wnd.SetDeviceFaults({0, 0, false});
    rig.wnd.SetUseDirectDraw(true);
    EXPECT_TRUE(rig.wnd.IsDirectDrawActive());
    EXPECT_TRUE(CZoWnd::BlitSelfTestDone());
}

TEST(CZoWndSurfacePath, ResetClearsTheBackSurfaceToBlack) {
    Rig rig;
    rig.wnd.SetUseDirectDraw(true);
    ASSERT_EQ(rig.wnd.SetLayout(4, 0), 1);
    ASSERT_EQ(rig.Show(0), 1);
    ASSERT_NE(rig.wnd.BackSurfacePixel(639, 447), 0u);
    rig.wnd.ResetPictures();
    EXPECT_EQ(rig.wnd.BackSurfacePixel(100, 100), 0u);
    EXPECT_EQ(rig.wnd.BackSurfacePixel(639, 447), 0u);
    EXPECT_EQ(rig.wnd.ScreenCopy().pixel(100, 100) | 0xFF000000u, 0xFF000000u);
}

TEST(CZoWndSurfacePath, TitleOverAFullScreenCell) {
    Rig rig;
    rig.wnd.OnSize(1920, 1080);
    rig.wnd.SetUseDirectDraw(true);
    rig.wnd.SetOverlayEnabled(true);
    ASSERT_EQ(rig.wnd.SetLayout(1, 0), 1);
    ASSERT_EQ(rig.Show(), 1);
    const uint32_t raw = RawOf(codec::I420ToRgb32, 4, 150, 100, 170);
    EXPECT_EQ(rig.wnd.BackSurfacePixel(1900, 10), raw);
    EXPECT_EQ(rig.wnd.BackSurfacePixel(700, 10), raw);
}

}  // namespace
}  // namespace zo::render
