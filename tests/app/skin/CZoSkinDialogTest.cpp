#include <QImage>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include "app/skin/CTransparentStatic.h"
#include "app/skin/CZoSkinDialog.h"
#include "app/skin/SkinArt.h"

using zo::app::CZoSkinDialog;

namespace {

// A 58 x 176 skin whose pixels tell where they came from: red = 4 x, green
// = y, except that the columns 29..33 read as column 29 and the rows
// 88..104 as row 88 (the strips stretched into the edges are uniform along
// the stretch, as real artwork is).
QPixmap CodedSkin() {
    QImage image(58, 176, QImage::Format_RGB32);
    for (int y = 0; y < 176; ++y)
        for (int x = 0; x < 58; ++x) {
            const int sx = (x >= 29 && x <= 33) ? 29 : x;
            const int sy = (y >= 88 && y <= 104) ? 88 : y;
            image.setPixel(x, y, qRgb(sx * 4, sy, 0));
        }
    return QPixmap::fromImage(image);
}

QRgb Skin(int x, int y) { return qRgb(x * 4, y, 0); }

}  // namespace

TEST(CZoSkinDialog, ComposesTheNinePiecesAtAnySize) {
    CZoSkinDialog dialog;
    dialog.SetSkinPixmap(CodedSkin());
    ASSERT_EQ(dialog.SkinSize(), QSize(58, 176));
    const QRgb inside = Skin(29, 88);
    struct Case {
        QSize client;
        QPoint at;
        QRgb expected;
    };
    const Case cases[] = {
        // Exactly the skin size: the corners touch, the edges have no length.
        {{58, 176}, {0, 0}, Skin(0, 0)},
        {{58, 176}, {27, 0}, Skin(27, 0)},
        {{58, 176}, {28, 0}, Skin(29, 0)},  // the top-right corner starts at 58 - 29 - 1
        {{58, 176}, {56, 5}, Skin(57, 5)},
        {{58, 176}, {57, 5}, inside},  // the last column is left to the inside
        {{58, 176}, {0, 86}, Skin(0, 86)},
        {{58, 176}, {0, 87}, Skin(0, 88)},
        {{58, 176}, {56, 174}, Skin(57, 175)},
        {{58, 176}, {10, 175}, inside},
        // Larger: the edges stretch the strips next to the centre.
        {{100, 300}, {60, 5}, Skin(29, 5)},
        {{100, 300}, {98, 5}, Skin(57, 5)},
        {{100, 300}, {5, 150}, Skin(5, 88)},
        {{100, 300}, {75, 150}, Skin(34, 88)},
        {{100, 300}, {60, 280}, Skin(29, 157)},
        {{100, 300}, {50, 150}, inside},
    };
    for (const Case& c : cases) {
        QImage out(c.client, QImage::Format_RGB32);
        out.fill(Qt::white);
        QPainter painter(&out);
        dialog.PaintSkin(painter, c.client);
        painter.end();
        EXPECT_EQ(out.pixel(c.at), c.expected)
            << c.client.width() << "x" << c.client.height() << " at " << c.at.x() << "," << c.at.y();
    }
}

TEST(CZoSkinDialog, TheWindowSkinIsTheDocumentedSize) {
    CZoSkinDialog dialog;
    ASSERT_TRUE(dialog.SetSkinBitmap(zo::app::SkinId::kSkin));
    EXPECT_EQ(dialog.SkinSize(), QSize(58, 176));
    EXPECT_FALSE(dialog.SetSkinBitmap(9999));
}

TEST(CZoSkinDialog, DraggingAnyPointMovesTheWindowOnlyWhenDraggable) {
    for (bool draggable : {true, false}) {
        CZoSkinDialog dialog;
        dialog.SetSkinBitmap(zo::app::SkinId::kSkin);
        dialog.SetRoundCorners(12, 12);
        dialog.SetDraggable(draggable);
        dialog.setGeometry(100, 100, 300, 200);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        const QPoint before = dialog.pos();
        QTest::mousePress(&dialog, Qt::LeftButton, {}, QPoint(150, 100));
        QTest::mouseMove(&dialog, QPoint(170, 130));
        QTest::mouseRelease(&dialog, Qt::LeftButton, {}, QPoint(170, 130));
        EXPECT_EQ(dialog.pos() - before, draggable ? QPoint(20, 30) : QPoint(0, 0)) << draggable;
        // The rounded shape leaves the corner pixel out.
        EXPECT_FALSE(dialog.mask().contains(QPoint(0, 0)));
        EXPECT_TRUE(dialog.mask().contains(QPoint(150, 100)));
    }
}

TEST(CTransparentStatic, KeepsShowingTheSkinBehindItsText) {
    CZoSkinDialog dialog;
    dialog.SetSkinPixmap(CodedSkin());
    dialog.resize(300, 200);
    zo::app::CTransparentStatic label(&dialog);
    label.setGeometry(40, 4, 200, 20);
    const QRgb behind = dialog.grab().toImage().pixel(230, 12);
    for (const char* text : {"Zo7R Viewer", "/data/cam.ZRF"}) {
        label.setText(text);
        const QImage shot = dialog.grab().toImage();
        EXPECT_EQ(shot.pixel(230, 12), behind) << text;  // right of the text
        EXPECT_EQ(label.GetTextColor(), QColor(92, 92, 92));
    }
}
