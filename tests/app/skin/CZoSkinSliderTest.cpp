#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include "app/skin/CZoSkinSlider.h"
#include "app/skin/SkinArt.h"

using zo::app::CZoSkinSlider;

namespace {

// The main window's position slider: channel 300 x 12, thumb 14 x 12.
void MakePosition(CZoSkinSlider& s) {
    ASSERT_TRUE(s.SetChannelBitmaps(215, 216, false));
    ASSERT_TRUE(s.SetThumbBitmaps(218, 217, true, QColor(255, 0, 255)));
    s.SetDrawFocus(false);
}

// The volume slider: channel 64 x 14, thumb 9 x 13, margins 4, 1, 4, 0.
void MakeVolume(CZoSkinSlider& s) {
    ASSERT_TRUE(s.SetChannelBitmaps(277, 276, true, QColor(255, 0, 255)));
    ASSERT_TRUE(s.SetThumbBitmaps(275, 278, true, QColor(255, 0, 255)));
    s.SetMargins(4, 1, 4, 0);
}

}  // namespace

TEST(CZoSkinSlider, MapsPositionsToPixelsAndBack) {
    CZoSkinSlider position, volume;
    MakePosition(position);
    MakeVolume(volume);
    ASSERT_EQ(position.size(), QSize(300, 12));
    ASSERT_EQ(position.ThumbSize(), QSize(14, 12));
    ASSERT_EQ(volume.size(), QSize(64, 14));
    ASSERT_EQ(volume.ThumbSize(), QSize(9, 13));
    position.SetRange(0, 100);
    volume.SetRange(0, 65535);
    struct Case {
        CZoSkinSlider* slider;
        int position;
        int pixel;
    };
    // Travel 300 - 14 = 286 from pixel 7; 64 - 4 - 4 - 9 = 47 from pixel 8.
    const Case cases[] = {{&position, 0, 7},   {&position, 50, 150}, {&position, 100, 293},
                          {&volume, 0, 8},     {&volume, 65535, 55}, {&volume, 32768, 31}};
    for (const Case& c : cases) {
        EXPECT_EQ(c.slider->PosToPixel(c.position), c.pixel) << c.position;
        if (c.slider == &position) {
            EXPECT_EQ(c.slider->PixelToPos(c.pixel), c.position) << c.pixel;
        }
    }
    EXPECT_EQ(volume.PixelToPos(8), 0);
    EXPECT_EQ(volume.PixelToPos(55), 65535);
    // An empty range keeps the thumb whole at the start.
    position.SetRange(0, 0);
    EXPECT_EQ(position.PosToPixel(0), 7);
    EXPECT_EQ(position.PixelToPos(200), 0);
    // A wider control keeps the formulas on its own width.
    position.SetRange(0, 100);
    position.resize(600, 12);
    EXPECT_EQ(position.PosToPixel(100), 593);
}

TEST(CZoSkinSlider, SetPosClampsToTheRange) {
    CZoSkinSlider s;
    MakePosition(s);
    s.SetRange(0, 100);
    s.SetPos(500);
    EXPECT_EQ(s.GetPos(), 100);
    s.SetPos(-3);
    EXPECT_EQ(s.GetPos(), 0);
    s.SetRange(10, 5);  // first to the maximum, then to the minimum
    s.SetPos(7);
    EXPECT_EQ(s.GetPos(), 10);
}

TEST(CZoSkinSlider, KeysMoveByOneByThePageAndToTheEnds) {
    struct Case {
        int start;
        Qt::Key key;
        int expected;
    };
    const Case cases[] = {
        {50, Qt::Key_PageUp, 30}, {50, Qt::Key_PageDown, 70}, {50, Qt::Key_Home, 0}, {50, Qt::Key_End, 100},
        {50, Qt::Key_Right, 51},  {50, Qt::Key_Down, 51},     {50, Qt::Key_Left, 49}, {50, Qt::Key_Up, 49},
        {95, Qt::Key_PageDown, 100}, {5, Qt::Key_PageUp, 0}, {0, Qt::Key_Left, 0},  {100, Qt::Key_Right, 100},
    };
    for (const Case& c : cases) {
        CZoSkinSlider s(nullptr, 1658);
        MakePosition(s);
        s.SetRange(0, 100);
        s.SetPos(c.start);
        QSignalSpy moved(&s, &CZoSkinSlider::Moved);
        QTest::keyClick(&s, c.key);
        EXPECT_EQ(s.GetPos(), c.expected) << c.start << " key " << c.key;
        ASSERT_EQ(moved.count(), 1);
        EXPECT_EQ(moved[0][0].toInt(), 1658);
        EXPECT_EQ(moved[0][1].toInt(), c.expected);
    }
    // No step wraps at the ends of int.
    CZoSkinSlider s;
    MakePosition(s);
    s.SetRange(0, INT_MAX);
    s.SetPos(INT_MAX);
    QTest::keyClick(&s, Qt::Key_PageDown);
    EXPECT_EQ(s.GetPos(), INT_MAX);
    // A disabled slider ignores keys.
    s.setEnabled(false);
    QTest::keyClick(&s, Qt::Key_Home);
    EXPECT_EQ(s.GetPos(), INT_MAX);
}

TEST(CZoSkinSlider, DraggingCentresOrKeepsTheGrabOffset) {
    QWidget parent;
    CZoSkinSlider s(&parent, 1658);
    MakePosition(s);
    s.SetRange(0, 100);
    s.SetPos(50);  // thumb centre at 150
    parent.resize(320, 40);
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    QSignalSpy moving(&s, &CZoSkinSlider::Moving);
    QSignalSpy moved(&s, &CZoSkinSlider::Moved);

    // On the thumb, 3 pixels right of its centre: the offset is kept.
    QTest::mousePress(&s, Qt::LeftButton, {}, QPoint(153, 6));
    EXPECT_EQ(s.GetPos(), 50);
    EXPECT_EQ(moving.count(), 0);
    QTest::mouseMove(&s, QPoint(163, 6));
    EXPECT_EQ(s.GetPos(), s.PixelToPos(160));
    EXPECT_EQ(moving.count(), 1);
    // Far past the end: the maximum, never beyond.
    QTest::mouseMove(&s, QPoint(400, 6));
    EXPECT_EQ(s.GetPos(), 100);
    EXPECT_TRUE(s.IsDragging());
    QTest::mouseRelease(&s, Qt::LeftButton, {}, QPoint(400, 6));
    EXPECT_FALSE(s.IsDragging());
    ASSERT_EQ(moved.count(), 1);
    EXPECT_EQ(moved[0][1].toInt(), 100);

    // Far from the thumb: the thumb centres under the pointer.
    QTest::mousePress(&s, Qt::LeftButton, {}, QPoint(40, 6));
    EXPECT_EQ(s.GetPos(), s.PixelToPos(40));
    EXPECT_LE(s.PosToPixel(s.GetPos()), 40);  // the position whose pixels hold the pointer
    EXPECT_GE(s.PosToPixel(s.GetPos() + 1), 40);
    QTest::mouseRelease(&s, Qt::LeftButton, {}, QPoint(40, 6));
    EXPECT_EQ(moved.count(), 2);
}

TEST(CZoSkinSlider, KeyColourIsSeeThrough) {
    QWidget parent;
    parent.setAutoFillBackground(true);
    QPalette pal = parent.palette();
    pal.setColor(QPalette::Window, QColor(0, 0, 200));
    parent.setPalette(pal);
    parent.resize(100, 40);
    CZoSkinSlider s(&parent);
    MakeVolume(s);
    s.SetRange(0, 100);
    s.SetPos(0);
    const QImage shot = parent.grab().toImage();
    // The volume channel's top-left corner is magenta in the artwork.
    EXPECT_EQ(shot.pixel(1, 1), qRgb(0, 0, 200));
    // The channel below its wedge is drawn.
    EXPECT_NE(shot.pixel(58, 10), qRgb(0, 0, 200));
}

TEST(CZoSkinSlider, ScreenReadersSeeASliderWithItsValue) {
    CZoSkinSlider s(nullptr, 1658);
    MakePosition(s);
    s.setAccessibleName("Position");
    s.SetRange(0, 100);
    s.SetPos(40);
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&s);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->role(), QAccessible::Slider);
    EXPECT_EQ(a->text(QAccessible::Name), "Position");
    EXPECT_EQ(a->text(QAccessible::Value), "40");
    s.SetText("2026/12/08 10:30:00");
    EXPECT_EQ(a->text(QAccessible::Value), "2026/12/08 10:30:00");
    QAccessibleValueInterface* v = a->valueInterface();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->maximumValue().toInt(), 100);
    QSignalSpy moved(&s, &CZoSkinSlider::Moved);
    v->setCurrentValue(250);  // set from outside: clamped, and the owner hears of it
    EXPECT_EQ(s.GetPos(), 100);
    ASSERT_EQ(moved.count(), 1);
    EXPECT_EQ(moved[0][1].toInt(), 100);
}
