// The video window where no QGuiApplication exists (a command-line tool):
// pictures, layout, surfaces and capture work, titles are not drawn.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "render/BitmapFile.h"
#include "render/CZoWnd.h"

namespace zo::render {
namespace {

TEST(CZoWndWithoutApplication, DrawsPicturesWithoutTitlesAndStillCaptures) {
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    CZoWnd wnd;
    wnd.SetCellCount(4);
    wnd.OnSize(640, 448);
    wnd.SetOverlayEnabled(true);
    ASSERT_EQ(wnd.SetLayout(4, 0), 1);
    std::vector<uint8_t> picture(640 * 224 * 3 / 2, 128);
    std::fill(picture.begin(), picture.begin() + 640 * 224, 100);
    media::CalendarTime time;
    time.year = 2026;
    for (bool surfaces : {false, true}) {
        wnd.SetUseDirectDraw(surfaces);
        ASSERT_EQ(wnd.IsDirectDrawActive(), surfaces);
        ASSERT_EQ(wnd.ShowPicture(0, time, picture.data(), 640, 224), 1);
        // The whole cell, title corner included, is the picture's grey.
        const QImage screen = wnd.ScreenCopy();
        const QRgb grey = screen.pixel(200, 200);
        int others = 0;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 100; ++x)
                others += screen.pixel(x, y) != grey;
        EXPECT_EQ(others, 0) << (surfaces ? "surfaces" : "bitmap");
    }
    const auto path = (std::filesystem::temp_directory_path() / "zo-window-noapp-test.bmp").string();
    ASSERT_EQ(wnd.CaptureToBitmapFile(path), 1);
    EXPECT_EQ(std::filesystem::file_size(path), 54u + 640u * 3u * 448u);
    std::remove(path.c_str());
}

}  // namespace
}  // namespace zo::render
