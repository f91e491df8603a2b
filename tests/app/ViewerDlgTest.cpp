#include <QMenu>
#include <QTest>

#include "ViewerFixture.h"
#include "app/CZoVideoWidget.h"
#include "app/skin/CZoDvrStatus.h"
#include "app/skin/CZoSkinButton.h"
#include "app/skin/CZoSkinSlider.h"

using Engine = zo::engine::CZoViewer2;
using W = CZoViewerDlg;

namespace {

QWidget* ByName(QWidget* root, const QString& name) {
    for (QWidget* w : root->findChildren<QWidget*>())
        if (w->accessibleName() == name)
            return w;
    return nullptr;
}

}  // namespace

using ViewerLayout = ViewerFixture;

TEST_F(ViewerLayout, ControlsFollowTheTableInBothModesAndWidths) {
    auto w = MakeWindow();
    const struct {
        int mode;
        QSize video;
        bool cornerShown;
    } cases[] = {
        {Engine::kModePlayer, {640, 448}, true}, {Engine::kModePlayer, {573, 346}, true},
        {Engine::kModePlayer, {900, 600}, true}, {Engine::kModeNetViewer, {640, 448}, true},
        {Engine::kModeNetViewer, {631, 448}, true}, {Engine::kModeNetViewer, {630, 448}, false},
    };
    for (const auto& c : cases) {
        w->RunCommand(c.mode == Engine::kModePlayer ? W::kPlayerMode : W::kNetViewerMode);
        w->Layout(true, c.video);
        const int W_ = c.video.width() + 5, H = c.video.height() + 140;
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " width " << W_);
        EXPECT_EQ(w->size(), QSize(W_, H));
        EXPECT_EQ(w->VideoWidget()->geometry(), QRect(2, 65, c.video.width(), c.video.height()));
        EXPECT_EQ(w->Button(W::kCloseButton)->pos(), QPoint(584 + W_ - 608, 6));
        EXPECT_EQ(w->Button(W::kMinimize)->pos(), QPoint(567 + W_ - 608, 6));
        EXPECT_EQ(w->Button(W::kNetViewerMode)->pos(), QPoint(90, 30));
        EXPECT_EQ(w->StatusPanel()->geometry(), QRect(13, H - 74, W_ - 116, 17));
        EXPECT_EQ(w->Button(W::kMute)->isVisible(), c.cornerShown);
        EXPECT_EQ(w->VolumeSlider()->isVisible(), c.cornerShown);
        if (c.cornerShown) {
            EXPECT_EQ(w->VolumeSlider()->pos(), QPoint(532 + W_ - 608, 229 + H - 300));
        }
        const bool player = c.mode == Engine::kModePlayer;
        EXPECT_EQ(w->Button(W::kPlay)->isVisible(), player);
        EXPECT_EQ(w->PositionSlider()->isVisible(), player);
        EXPECT_EQ(w->Button(W::kConnect)->isVisible(), !player);
        EXPECT_EQ(w->Button(32849)->isVisible(), !player);  // DVR rewind
        EXPECT_FALSE(w->Button(32848)->isVisible());          // never placed
        if (player) {
            EXPECT_EQ(w->Button(W::kPlay)->pos(), QPoint(204, 262 + H - 300));
            EXPECT_EQ(w->PositionSlider()->geometry().topLeft(), QPoint(13, H - 52));
            EXPECT_EQ(w->PositionSlider()->width(), W_ - 26);
        } else {
            EXPECT_EQ(w->Button(32859)->pos(), QPoint(475, 256 + H - 300));
        }
    }
}

TEST_F(ViewerLayout, CornerDragKeepsTheMinimumSizeAndSizesAreTicked) {
    auto w = MakeWindow();
    w->Layout(true, {640, 448});
    EXPECT_TRUE(w->Action(W::kSize448)->isChecked());
    const QPoint corner(w->width() - 4, w->height() - 4);
    QTest::mousePress(w.get(), Qt::LeftButton, {}, corner);
    QTest::mouseMove(w.get(), QPoint(100, 100));
    QTest::mouseRelease(w.get(), Qt::LeftButton, {}, QPoint(100, 100));
    EXPECT_EQ(w->size(), W::kMinimumWindow);
    EXPECT_EQ(w->VideoArea(), W::kMinimumVideo);
    w->RunCommand(W::kSize544);
    EXPECT_EQ(w->VideoArea(), QSize(640, 544));
    EXPECT_TRUE(w->Action(W::kSize544)->isChecked());
    EXPECT_FALSE(w->Action(W::kSize448)->isChecked());
    w->RunCommand(W::kFullScreen);
    EXPECT_TRUE(w->IsFullScreenOn());
    EXPECT_FALSE(w->Button(W::kPlay)->isVisible());
    w->RunCommand(W::kMaximize);  // leaves full screen first
    EXPECT_FALSE(w->IsFullScreenOn());
    EXPECT_TRUE(w->IsMaximizedOn());
    w->RunCommand(W::kMaximize);
    EXPECT_EQ(w->VideoArea(), QSize(640, 544));
}

TEST_F(ViewerLayout, ControlsHaveSpokenNames) {
    auto w = MakeWindow();
    for (const char* name : {"Video", "Position", "Volume", "Play", "Fast Forward", "Still Capture", "Mute On/Off"})
        EXPECT_NE(ByName(w.get(), QString::fromLatin1(name)), nullptr) << name;
}

// Every menu and sub-menu of both modes is drawn dark with light text, as
// the skin is (a menu without the sheet shows the desktop's light style).
TEST_F(ViewerLayout, MenusAreDarkLikeTheSkin) {
    auto w = MakeWindow();
    for (int mode : {Engine::kModePlayer, Engine::kModeNetViewer}) {
        QMenu* top = w->ContextMenu(mode);
        QList<QMenu*> menus = top->findChildren<QMenu*>();
        menus.prepend(top);
        ASSERT_GE(menus.size(), 3);
        for (QMenu* menu : menus) {
            const QImage image = menu->grab().toImage();
            ASSERT_FALSE(image.isNull());
            int darkest = 255, lightest = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) {
                    const int g = qGray(image.pixel(x, y));
                    darkest = std::min(darkest, g);
                    lightest = std::max(lightest, g);
                }
            EXPECT_LT(qGray(image.pixel(image.width() / 2, 2)), 64) << menu->title().toStdString();
            // Item texts stand out, disabled ones too.
            EXPECT_GT(lightest - darkest, 60) << menu->title().toStdString();
        }
    }
}

using ViewerCommands = ViewerFixture;

TEST_F(ViewerCommands, EnableAndTickRulesFollowTheState) {
    auto w = MakeWindow();
    w->UpdateCommandStates();
    // Nothing open: state Ready.
    EXPECT_FALSE(w->Action(W::kPlay)->isEnabled());
    EXPECT_FALSE(w->Button(W::kPlay)->isEnabled());
    EXPECT_FALSE(w->Action(W::kCloseRecording)->isEnabled());
    EXPECT_TRUE(w->Action(W::kExportAvi)->isEnabled());
    EXPECT_TRUE(w->Action(W::kVolumeUp)->isEnabled());  // the Up key's action
    EXPECT_TRUE(w->Action(W::kPlayerMode)->isChecked());
    EXPECT_FALSE(w->Action(32855)->isEnabled());  // DVR keys need a login

    ASSERT_TRUE(w->OpenSource(Recording(), false));
    ASSERT_TRUE(WaitState(*w, Engine::kStatePlay));
    w->UpdateCommandStates();
    EXPECT_TRUE(w->Button(W::kPlay)->isEnabled());
    EXPECT_TRUE(w->Action(W::kCloseRecording)->isEnabled());
    EXPECT_FALSE(w->Action(W::kExportAvi)->isEnabled());
    EXPECT_FALSE(w->Action(W::kMarkIn)->isEnabled());  // disabled while playing
    EXPECT_FALSE(w->Action(W::kExportRange)->isEnabled());

    w->RunCommand(W::kPause);
    ASSERT_TRUE(WaitState(*w, Engine::kStatePause));
    w->UpdateCommandStates();
    EXPECT_TRUE(w->Action(W::kMarkIn)->isEnabled());
    EXPECT_TRUE(w->Action(W::kExportAvi)->isEnabled());

    w->RunCommand(W::kMute);
    EXPECT_TRUE(w->Action(W::kMute)->isChecked());
    EXPECT_EQ(w->Button(W::kMute)->CurrentFrame(), 1);  // shown pushed
    w->RunCommand(W::kShowTitle);
    EXPECT_EQ(w->Action(W::kShowTitle)->isChecked(), w->Engine().GetShowTitle());
}

TEST_F(ViewerCommands, ExportItemTexts) {
    const struct {
        uint64_t in, out;
        const char* text;
    } cases[] = {
        {0, 0, "Export (File size: 0 KB)"},          {500, 100, "Export (File size: 0 KB)"},
        {0, 1, "Export (File size: 1 KB)"},          {0, 1024, "Export (File size: 1 KB)"},
        {0, 1025, "Export (File size: 1 KB)"},       {0, 1048576, "Export (File size: 1024 KB)"},
        {4096, 4096 + 3 * 1048576, "Export (File size: 3 MB)"}, {0, 1073741824, "Export (File size: 1024 MB)"},
        {0, 1073741825, "Export (File size: > 1 GB)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(W::ExportItemText(c.in, c.out).toStdString(), c.text) << c.in << ".." << c.out;
}

TEST_F(ViewerCommands, FastForwardCyclesThroughTheSpeeds) {
    auto w = MakeWindow();
    ASSERT_TRUE(w->OpenSource(Recording("ff.ZRF", 60), false));
    ASSERT_TRUE(WaitFor([&] { return w->Button(W::kFastForward)->isEnabled(); }));
    for (const char* expected : {"PLAY  x 8.0", "PLAY  x 16.0", "PLAY  x 32.0", "PLAY  x 64.0", "PLAY  x 128.0",
                                 "PLAY  x 1.0"}) {
        QTest::mouseClick(w->Button(W::kFastForward), Qt::LeftButton);
        EXPECT_TRUE(WaitFor([&] {
            w->RefreshStatus();
            return w->StatusPanel()->FirstText() == QLatin1String(expected);
        })) << expected << " got " << w->StatusPanel()->FirstText().toStdString();
    }
}

TEST_F(ViewerCommands, SplitOnePagesThroughTheChannelsWithTheSound) {
    auto w = MakeWindow();
    int cells = 0, page = 0;
    for (int expected : {0, 1, 2, 3, 0}) {
        QTest::mouseClick(w->Button(W::kSplit1), Qt::LeftButton);
        w->Engine().GetLayout(cells, page);
        EXPECT_EQ(cells, 1);
        EXPECT_EQ(page, expected);
        EXPECT_EQ(w->Engine().SelectedAudioChannel(), expected);
    }
    QTest::mouseClick(w->Button(W::kSplit4), Qt::LeftButton);
    w->Engine().GetLayout(cells, page);
    EXPECT_EQ(cells, 4);
    EXPECT_EQ(w->Engine().SelectedAudioChannel(), 0);
}

TEST_F(ViewerCommands, ModeSwitchesSetPanesMenusAndTitle) {
    auto w = MakeWindow();
    ASSERT_TRUE(w->OpenSource(Recording(), false));
    w->RunCommand(W::kNetViewerMode);
    int cells = 0, page = 0;
    w->Engine().GetLayout(cells, page);
    EXPECT_EQ(cells, 1);
    EXPECT_FALSE(w->Engine().IsOpen());  // the recording closed
    EXPECT_EQ(w->TitleText(), "Zo7R Viewer");
    EXPECT_EQ(w->StatusPanel()->GetMode(), zo::app::CZoDvrStatus::kNetworkMode);
    EXPECT_EQ(w->ContextMenu(Engine::kModeNetViewer)->actions().contains(w->Action(W::kConnect)), true);
    EXPECT_EQ(w->Action(W::kConnect)->text(), "Connect...");
    w->RunCommand(W::kPlayerMode);
    w->Engine().GetLayout(cells, page);
    EXPECT_EQ(cells, 4);
    EXPECT_EQ(page, 0);
    EXPECT_EQ(w->StatusPanel()->GetMode(), zo::app::CZoDvrStatus::kPlayerMode);
}

TEST_F(ViewerCommands, PositionSliderSeeksOnKeysAndHoldsWhileDragged) {
    auto w = MakeWindow();
    ASSERT_TRUE(OpenPaused(*w, Recording("seek.ZRF", 20)));
    auto* slider = w->PositionSlider();
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_End);
    const uint64_t endBlock = w->Engine().GetSize() / 4096;
    EXPECT_TRUE(WaitFor([&] { return w->Engine().GetPosition() / 4096 + 8 >= endBlock; }))
        << w->Engine().GetPosition() / 4096 << " of " << endBlock;
    // While the user holds the thumb, the refresh leaves it alone.
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(slider->width() / 2, slider->height() / 2));
    ASSERT_TRUE(slider->IsDragging());
    const int held = slider->GetPos();
    w->RefreshStatus();
    EXPECT_EQ(slider->GetPos(), held);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(slider->width() / 2, slider->height() / 2));
}

TEST_F(ViewerCommands, OpenFailureNamesThePathAndKeepsTheTitle) {
    auto w = MakeWindow();
    const QString good = Recording();
    ASSERT_TRUE(w->OpenSource(good, false));
    const QString missing = Path("nothere.ZRF");
    answer_ = missing;
    w->RunCommand(W::kOpenFile);
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_TRUE(shown_[0].startsWith("Open Error")) << shown_[0].toStdString();
    EXPECT_TRUE(shown_[0].contains(missing));
    EXPECT_EQ(w->TitleText(), good);
    EXPECT_TRUE(w->Engine().IsOpen());
}

TEST_F(ViewerCommands, FrameTimeAndFileFilter) {
    zo::media::CalendarTime t{2009, 3, 6, 14, 12, 34, 56, 0};
    EXPECT_EQ(W::FormatFrameTime(t, "%Y/%m/%d %H:%M:%S"), "2009/03/14 12:34:56");
    t.year = 1960;
    EXPECT_EQ(W::FormatFrameTime(t, "%Y"), " ");
    t.year = 3001;
    EXPECT_EQ(W::FormatFrameTime(t, "%Y"), " ");
    const QStringList filters = W::RecordingFileFilter().split(";;");
    ASSERT_EQ(filters.size(), 2);
    const QString pattern = filters[1].section('(', 1).chopped(1);
    const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern));
    for (const char* name : {"a.ZRF", "b.zrf", "c.Zrf"})
        EXPECT_TRUE(re.match(name).hasMatch()) << name;
    EXPECT_FALSE(re.match("d.avi").hasMatch());
}
