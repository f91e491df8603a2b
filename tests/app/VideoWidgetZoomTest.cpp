// Zoom and pan through the main window's video area, as the user does it:
// the wheel over a cell, a drag of the zoomed cell, "0" and "Reset Zoom",
// double click still changing the split, and a still capture of the zoomed
// view.
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QWheelEvent>

#include <cmath>

#include "ViewerFixture.h"
#include "app/CZoVideoWidget.h"
#include "platform/Profile.h"

using W = CZoViewerDlg;

namespace {

void Wheel(QWidget* widget, QPoint at, int angle) {
    QWheelEvent event(QPointF(at), QPointF(widget->mapToGlobal(at)), QPoint(), QPoint(0, angle), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

QAction* MenuItem(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions()) {
        if (a->text().section(QLatin1Char('\t'), 0, 0) == text)
            return a;
        if (a->menu() != nullptr)
            if (QAction* inner = MenuItem(a->menu(), text))
                return inner;
    }
    return nullptr;
}

}  // namespace

using VideoWidgetZoom = ViewerFixture;

TEST_F(VideoWidgetZoom, WheelDragResetDoubleClickAndCapture) {
    {
        zo::platform::Profile p(ProfilePath());
        p.SetString("Zo7R Viewer", "Capture Path", Path("pics").toStdString());
        ASSERT_TRUE(p.Save());
    }
    auto w = MakeWindow();
    zo::render::CZoWnd& wnd = w->Engine().Window();
    CZoVideoWidget* video = w->VideoWidget();
    ASSERT_TRUE(w->OpenSource(Recording(), false));
    ASSERT_TRUE(WaitFor([&] { return wnd.HasPicture(0) && wnd.HasPicture(1); }));
    w->RunCommand(W::kPause);
    ASSERT_TRUE(WaitState(*w, zo::engine::CZoViewer2::kStatePause));
    const qreal ratio = video->devicePixelRatioF();
    const auto cell = [&](int k) {
        const zo::render::PixelRect c = wnd.CellOf(k);
        return QRect(QPoint(c.left, c.top) / ratio, QPoint(c.right - 1, c.bottom - 1) / ratio);
    };
    const QPoint inCell1 = cell(1).center();

    // Two notches zoom the cell under the pointer alone.
    Wheel(video, inCell1, 240);
    EXPECT_NEAR(wnd.ZoomOf(1).factor, std::sqrt(2.0), 1e-9);
    EXPECT_FALSE(wnd.ZoomOf(0).IsZoomed());

    // A drag moves the picture with the hand, and not the window.
    const QPoint windowAt = w->pos();
    const zo::render::PixelRect before = wnd.ZoomSourceRect(1);
    QTest::mousePress(video, Qt::LeftButton, {}, inCell1);
    QTest::mouseMove(video, inCell1 + QPoint(-60, -30));
    QTest::mouseRelease(video, Qt::LeftButton, {}, inCell1 + QPoint(-60, -30));
    const zo::render::PixelRect after = wnd.ZoomSourceRect(1);
    EXPECT_GT(after.left, before.left);
    EXPECT_GT(after.top, before.top);
    EXPECT_EQ(w->pos(), windowAt);

    // The capture is the zoomed view on the screen.
    const QString captured = w->StillCapture();
    ASSERT_FALSE(captured.isEmpty());
    EXPECT_EQ(QImage(captured).convertToFormat(QImage::Format_RGB32), wnd.ScreenCopy());

    // "0" shows the whole picture again; so does the menu item.
    w->activateWindow();
    QTest::keyClick(w.get(), Qt::Key_0);
    EXPECT_FALSE(wnd.IsZoomed());
    Wheel(video, inCell1, 120);
    ASSERT_TRUE(wnd.IsZoomed());
    QAction* reset = MenuItem(w->ContextMenu(zo::engine::CZoViewer2::kModePlayer), QStringLiteral("Reset Zoom"));
    ASSERT_NE(reset, nullptr);
    reset->trigger();
    EXPECT_FALSE(wnd.IsZoomed());

    // A double click on a zoomed cell still shows that channel alone, zoomed.
    Wheel(video, inCell1, 120);
    QTest::mouseDClick(video, Qt::LeftButton, {}, inCell1);
    int split = 0, page = 0;
    wnd.GetLayout(split, page);
    EXPECT_EQ(split, 1);
    EXPECT_EQ(page, 1);
    EXPECT_TRUE(wnd.ZoomOf(1).IsZoomed());
    EXPECT_TRUE(shown_.empty());
}
