#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include "app/skin/CZoDvrStatus.h"
#include "app/skin/SkinArt.h"

using zo::app::CZoDvrStatus;

TEST(CZoDvrStatus, PlayerIconRowFollowsTheEngineState) {
    const std::pair<int, int> cases[] = {{0, 64}, {1, 64}, {2, 16}, {4, 16}, {3, 32},
                                         {5, 32}, {6, 48}, {7, 80}, {9, 0},  {-1, 0}};
    for (auto [state, row] : cases) EXPECT_EQ(CZoDvrStatus::PlayerIconRow(state), row) << state;
}

TEST(CZoDvrStatus, LampsFollowTheConnectStateAndTheMasks) {
    using Masks = CZoDvrStatus::LampMasks;
    struct Case {
        int connectState;
        Masks masks;
        int lamp0Row;
        int singleRow;
    };
    const Case cases[] = {
        {3, {}, 16, 16},
        {0, {}, 0, 0},
        {2, {}, 0, 0},
        {6, {}, 0, 0},
        {3, {1, 0, 0, 0, 0}, 0, 16},   // disabled
        {3, {0, 0, 0, 1, 0}, 80, 16},  // third flag
        {3, {0, 1, 1, 0, 0}, 64, 16},  // first and second
        {3, {0, 0, 1, 0, 0}, 32, 16},  // first only
        {3, {0, 1, 0, 0, 1}, 48, 32},  // second only; single lamp flagged
        {1, {0, 0, 0, 1, 1}, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CZoDvrStatus::LampRow(0, c.connectState, c.masks), c.lamp0Row) << c.connectState;
        EXPECT_EQ(CZoDvrStatus::LampRow(1, c.connectState, c.masks), c.connectState == 3 ? 16 : 0);
        EXPECT_EQ(CZoDvrStatus::SingleLampRow(c.connectState, c.masks), c.singleRow) << c.connectState;
    }
    // Every connect state has a picture inside the six rows of the strip.
    for (int state = -1; state <= 8; ++state) {
        const int row = CZoDvrStatus::ConnectionRow(state);
        EXPECT_GE(row, 0);
        EXPECT_LE(row, 80) << state;
    }
    EXPECT_EQ(CZoDvrStatus::ConnectionRow(3), 48);
}

TEST(CZoDvrStatus, PaintsTheRowsOfTheStrip) {
    const QImage strip = zo::app::LoadSkinPixmap(zo::app::SkinId::kStatusStrip, 1.0).toImage();
    ASSERT_EQ(strip.size(), QSize(386, 96));
    CZoDvrStatus status;
    ASSERT_TRUE(status.SetBitmap(zo::app::SkinId::kStatusStrip));
    status.resize(492, 17);
    auto same = [&](const QImage& shot, QRect at, QPoint from) {
        return shot.copy(at).convertToFormat(QImage::Format_RGB32) ==
               strip.copy(QRect(from, at.size())).convertToFormat(QImage::Format_RGB32);
    };
    status.SetMode(CZoDvrStatus::kPlayerMode);
    for (int state : {6, 9}) {
        status.SetPlayerState(state);
        const QImage shot = status.grab().toImage();
        EXPECT_TRUE(same(shot, QRect(4, 0, 16, 16), QPoint(0, CZoDvrStatus::PlayerIconRow(state)))) << state;
    }
    status.SetMode(CZoDvrStatus::kNetworkMode);
    for (int connect : {3, 0}) {
        status.SetConnectState(connect);
        const QImage shot = status.grab().toImage();
        const int row = connect == 3 ? 16 : 0;
        EXPECT_TRUE(same(shot, QRect(0, 0, 102, 16), QPoint(16, 16 * connect)));
        for (int i = 0; i < 4; ++i)
            EXPECT_TRUE(same(shot, QRect(112 + 24 * i, 0, 24, 16), QPoint(128 + 24 * i, row))) << i;
        EXPECT_TRUE(same(shot, QRect(340, 0, 21, 16), QPoint(356, row)));
    }
    // The online and offline lamps differ, so the rows can be told apart.
    EXPECT_NE(strip.copy(128, 0, 24, 16), strip.copy(128, 16, 24, 16));
}

TEST(CZoDvrStatus, AccessibleNameIsWhatTheStripShows) {
    CZoDvrStatus status;
    status.SetTexts("PLAY  x 8.0", "2026/12/08 10:30:00");
    EXPECT_EQ(status.accessibleName(), "PLAY  x 8.0 2026/12/08 10:30:00");
    status.SetMode(CZoDvrStatus::kNetworkMode);
    status.SetConnectState(3);
    EXPECT_EQ(status.accessibleName(), "Online");
}
