#include <QEnterEvent>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include "app/skin/CZoSkinButton.h"
#include "app/skin/SkinArt.h"

using zo::app::CZoSkinButton;
namespace SkinId = zo::app::SkinId;

namespace {

// A strip of `frames` frames of width w x h, frame i filled with its own
// colour; a fifth (mask) frame is black on its right half only.
QPixmap Strip(int w, int h, int frames) {
    QImage image(w * frames, h, QImage::Format_RGB32);
    const QRgb colours[4] = {qRgb(10, 0, 0), qRgb(20, 0, 0), qRgb(30, 0, 0), qRgb(40, 0, 0)};
    for (int i = 0; i < frames; ++i) {
        QPainter p(&image);
        if (i < 4) {
            p.fillRect(i * w, 0, w, h, QColor(colours[i]));
        } else {
            p.fillRect(i * w, 0, w, h, Qt::white);
            p.fillRect(i * w + w / 2, 0, w - w / 2, h, Qt::black);
        }
    }
    return QPixmap::fromImage(image);
}

}  // namespace

TEST(CZoSkinButton, FrameWidthIsAQuarterOrAFifthOfTheStrip) {
    struct Case {
        int stripWidth;
        bool mask;
        int frameWidth;
    };
    for (const Case c : {Case{130, true, 26}, Case{130, false, 32}, Case{120, false, 30}}) {
        CZoSkinButton button;
        button.move(7, 9);
        QImage image(c.stripWidth, 27, QImage::Format_RGB32);
        image.fill(Qt::gray);
        button.SetSkinPixmap(QPixmap::fromImage(image), false, 0, c.mask);
        EXPECT_EQ(button.FrameWidth(), c.frameWidth) << c.stripWidth << " " << c.mask;
        EXPECT_EQ(button.size(), QSize(c.frameWidth, 27));
        EXPECT_EQ(button.pos(), QPoint(7, 9));
    }
    // The connect buttons' own strips: 130 x 27, five frames.
    for (int id : {SkinId::kConnect, SkinId::kDisconnect}) {
        CZoSkinButton button;
        ASSERT_TRUE(button.SetSkin(id));
        EXPECT_EQ(button.size(), QSize(26, 27));
    }
}

TEST(CZoSkinButton, PressedOnlyWhileOverAndClicksOnlyWhenReleasedOver) {
    QWidget parent;
    parent.resize(200, 100);
    CZoSkinButton button(&parent);
    button.SetSkin(SkinId::kPlay);
    button.move(10, 10);
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    QSignalSpy clicks(&button, &QAbstractButton::clicked);
    const QPoint inside(5, 5), outside(150, 60);

    QTest::mousePress(&button, Qt::LeftButton, {}, inside);
    EXPECT_EQ(button.CurrentFrame(), 1);
    QTest::mouseMove(&button, outside);
    EXPECT_NE(button.CurrentFrame(), 1);
    QTest::mouseMove(&button, inside);
    EXPECT_EQ(button.CurrentFrame(), 1);
    QTest::mouseMove(&button, outside);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, outside);
    EXPECT_EQ(clicks.count(), 0);

    QTest::mouseClick(&button, Qt::LeftButton, {}, inside);
    EXPECT_EQ(clicks.count(), 1);

    // Hover and disabled frames; the pushed look of the mute button.
    QEnterEvent enter(QPointF(5, 5), QPointF(15, 15), QPointF(15, 15));
    QCoreApplication::sendEvent(&button, &enter);
    EXPECT_EQ(button.CurrentFrame(), 2);
    button.SetPushed(true);
    EXPECT_EQ(button.CurrentFrame(), 1);
    button.setEnabled(false);
    EXPECT_EQ(button.CurrentFrame(), 3);
}

TEST(CZoSkinButton, MaskFrameShowsTheParentWhereItIsWhite) {
    QWidget parent;
    parent.setAutoFillBackground(true);
    QPalette pal = parent.palette();
    pal.setColor(QPalette::Window, QColor(0, 0, 200));
    parent.setPalette(pal);
    parent.resize(100, 50);
    CZoSkinButton button(&parent);
    button.SetSkinPixmap(Strip(20, 10, 5), false, 0, true);
    const QImage shot = parent.grab().toImage();
    EXPECT_EQ(shot.pixel(2, 5), qRgb(0, 0, 200));   // mask white: the parent
    EXPECT_EQ(shot.pixel(15, 5), qRgb(10, 0, 0));   // mask black: frame 0
    button.setEnabled(false);
    EXPECT_EQ(parent.grab().toImage().pixel(15, 5), qRgb(40, 0, 0));
}

TEST(CZoSkinButton, CheckBoxAndRadioKinds) {
    QWidget parent;
    CZoSkinButton box(&parent, CZoSkinButton::Kind::CheckBox);
    CZoSkinButton radios[3] = {CZoSkinButton(&parent, CZoSkinButton::Kind::Radio),
                               CZoSkinButton(&parent, CZoSkinButton::Kind::Radio),
                               CZoSkinButton(&parent, CZoSkinButton::Kind::Radio)};
    CZoSkinButton push(&parent);
    for (CZoSkinButton* b : {&box, &radios[0], &radios[1], &radios[2], &push}) b->SetSkin(SkinId::kSplit1);
    radios[1].move(40, 0);
    radios[2].move(80, 0);

    QTest::mouseClick(&box, Qt::LeftButton);
    EXPECT_TRUE(box.GetCheck());
    QTest::keyClick(&box, Qt::Key_Space);
    EXPECT_FALSE(box.GetCheck());

    radios[0].SetCheck(true);
    QTest::mouseClick(&radios[2], Qt::LeftButton);
    EXPECT_FALSE(radios[0].GetCheck());
    EXPECT_TRUE(radios[2].GetCheck());
    QTest::mouseClick(&radios[2], Qt::LeftButton);  // a radio button stays checked
    EXPECT_TRUE(radios[2].GetCheck());
    radios[2].SetCheck(false);  // but the program may clear it
    EXPECT_FALSE(radios[2].GetCheck());

    push.SetCheck(true);
    EXPECT_FALSE(push.GetCheck());
}

TEST(CZoSkinButton, TipTextIsTheAccessibleName) {
    CZoSkinButton button;
    button.SetTipText("Fast Forward");
    button.SetTipText("");  // an empty text sets nothing
    EXPECT_EQ(button.toolTip(), "Fast Forward");
    EXPECT_EQ(button.accessibleName(), "Fast Forward");
}

TEST(SkinArt, EveryStripExistsAtOneAndTwiceTheSize) {
    const int ids[] = {SkinId::kPlay, SkinId::kPositionChannel, SkinId::kPositionChannelActive,
                       SkinId::kPositionThumbActive, SkinId::kPositionThumb, SkinId::kPause, SkinId::kFastBackward,
                       SkinId::kFastForward, SkinId::kNextFrame, SkinId::kPrevFrame, SkinId::kStillCapture,
                       SkinId::kSplit4, SkinId::kMinimize, SkinId::kClose, SkinId::kVolumeThumb,
                       SkinId::kVolumeChannelActive, SkinId::kVolumeChannel, SkinId::kVolumeThumbActive,
                       SkinId::kOpen, SkinId::kPlayReverse, SkinId::kProgram, SkinId::kSkin, SkinId::kSplit1,
                       SkinId::kConnect, SkinId::kStatusStrip, SkinId::kDisconnect, SkinId::kModePlayer,
                       SkinId::kModeViewer, SkinId::kMute, SkinId::kDvrRewind, SkinId::kDvrFastForward,
                       SkinId::kDvrPlayPause, SkinId::kDvrRecordStop, SkinId::kDvrUp, SkinId::kDvrDown,
                       SkinId::kDvrLeft, SkinId::kDvrRight, SkinId::kDvrMenu};
    for (int id : ids) {
        const QPixmap one = zo::app::LoadSkinPixmap(id, 1.0);
        const QPixmap two = zo::app::LoadSkinPixmap(id, 2.0);
        ASSERT_FALSE(one.isNull()) << id;
        ASSERT_FALSE(two.isNull()) << id;
        EXPECT_EQ(two.size(), one.size() * 2) << id;
        EXPECT_EQ(zo::app::LogicalSize(two), one.size()) << id;
    }
    EXPECT_TRUE(zo::app::LoadSkinPixmap(1, 1.0).isNull());
    EXPECT_FALSE(zo::app::AppIcon().pixmap(QSize(48, 48)).isNull());
}
