// Go to time, bookmarks, the timeline and the common keys, driven through
// the window's keys, dialogs and mouse on the offscreen platform.
#include <QApplication>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QWheelEvent>

#include <filesystem>

#include "ViewerFixture.h"
#include "app/CZoTimeline.h"
#include "app/CZoVideoWidget.h"
#include "app/dialogs/CGoToTimeDlg.h"
#include "app/skin/CZoSkinSlider.h"
#include "media/RecordingFormat.h"

using Engine = zo::engine::CZoViewer2;
using W = CZoViewerDlg;
namespace fs = std::filesystem;

namespace {

class ViewerNavigation : public ViewerFixture {
protected:
    void SetUp() override {
        ViewerFixture::SetUp();
        // Bookmarks and the index cache go to folders of this test.
        for (const char* name : {"XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
            const char* old = std::getenv(name);
            saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
        }
        ::setenv("XDG_DATA_HOME", Path("data").toUtf8().constData(), 1);
        ::setenv("XDG_CACHE_HOME", Path("cache").toUtf8().constData(), 1);
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }

    // Opens a 16-second recording and pauses once a frame shows, with the
    // window active so that its keys reach it.
    std::unique_ptr<CZoViewerDlg> OpenWindow() {
        auto w = MakeWindow();
        w->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
        recording_ = Recording("rec.ZRF", 16);
        EXPECT_TRUE(w->OpenSource(recording_, false));
        EXPECT_TRUE(WaitFor([&] { return ShownTime(*w) > 0; }));
        w->RunCommand(W::kPause);
        EXPECT_TRUE(WaitState(*w, Engine::kStatePause));
        return w;
    }

    static int64_t ShownTime(CZoViewerDlg& w) {
        zo::media::CalendarTime t;
        return w.Engine().GetFrameTime(t) ? zo::media::UnixSecondsFromCalendar(t) : -1;
    }

    static bool WaitTime(CZoViewerDlg& w, int64_t seconds) {
        return WaitFor([&] { return w.Engine().GetState() == Engine::kStatePause && ShownTime(w) == seconds; });
    }

    // Runs `act` on the next modal dialog, once it shows.
    static void OnModal(std::function<void(QWidget*)> act) {
        auto* timer = new QTimer;
        timer->setInterval(20);
        QObject::connect(timer, &QTimer::timeout, [timer, act] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || !modal->isVisible())
                return;
            timer->stop();
            timer->deleteLater();
            act(modal);
        });
        timer->start();
    }

    // The offscreen platform does not give the activation back after a
    // modal dialog as a desktop does.
    static void Activate(CZoViewerDlg& w) {
        w.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
    }

    // Types `seconds` into the go-to field as a user would, section by section.
    static void TypeTime(QDateTimeEdit* field, int64_t seconds) {
        const QDateTime t = QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
        const std::pair<QDateTimeEdit::Section, const char*> sections[] = {
            {QDateTimeEdit::YearSection, "yyyy"},  {QDateTimeEdit::MonthSection, "MM"},
            {QDateTimeEdit::DaySection, "dd"},     {QDateTimeEdit::HourSection, "HH"},
            {QDateTimeEdit::MinuteSection, "mm"}, {QDateTimeEdit::SecondSection, "ss"},
        };
        for (const auto& [section, format] : sections) {
            field->setSelectedSection(section);
            QTest::keyClicks(field, t.toString(QLatin1String(format)));
        }
        ASSERT_EQ(field->dateTime(), t);
    }

    static QPushButton* ButtonNamed(QWidget* root, const QString& text) {
        for (QPushButton* b : root->findChildren<QPushButton*>())
            if (b->text() == text)
                return b;
        return nullptr;
    }

    QString recording_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(ViewerNavigation, KeysDriveTransportVolumeMuteAndFullScreen) {
    auto w = OpenWindow();
    QTest::keyClick(w.get(), Qt::Key_Space);
    EXPECT_TRUE(WaitState(*w, Engine::kStatePlay));
    QTest::keyClick(w.get(), Qt::Key_Space);
    EXPECT_TRUE(WaitState(*w, Engine::kStatePause));

    // "." and "," step as Ctrl+N and Ctrl+V do.
    const uint64_t before = w->Engine().GetPosition();
    QTest::keyClick(w.get(), Qt::Key_Period);
    ASSERT_TRUE(WaitFor([&] { return w->Engine().GetPosition() > before; }));
    const uint64_t after = w->Engine().GetPosition();
    QTest::keyClick(w.get(), Qt::Key_Comma);
    EXPECT_TRUE(WaitFor([&] { return w->Engine().GetPosition() < after; }));

    // Up and Down: the volume in steps, the slider following, kept in range.
    w->Engine().SetVolume(62000);
    QTest::keyClick(w.get(), Qt::Key_Up);
    EXPECT_EQ(w->Engine().GetVolume(), 65535u);
    EXPECT_EQ(w->VolumeSlider()->GetPos(), 65535);
    QTest::keyClick(w.get(), Qt::Key_Down);
    QTest::keyClick(w.get(), Qt::Key_Down);
    EXPECT_EQ(w->Engine().GetVolume(), 65535u - 2 * W::kVolumeStep);
    EXPECT_EQ(w->VolumeSlider()->GetPos(), 65535 - 2 * W::kVolumeStep);

    QTest::keyClick(w.get(), Qt::Key_M);
    EXPECT_EQ(w->Engine().GetMute(), 1);
    QTest::keyClick(w.get(), Qt::Key_M);
    EXPECT_EQ(w->Engine().GetMute(), 0);

    QTest::keyClick(w.get(), Qt::Key_F11);
    EXPECT_TRUE(w->IsFullScreenOn());
    QTest::keyClick(w.get(), Qt::Key_Escape);
    EXPECT_FALSE(w->IsFullScreenOn());
    EXPECT_TRUE(w->isVisible());  // Escape never ends the program
}

TEST_F(ViewerNavigation, MenusOfferTheNewCommandsAndListEveryKey) {
    auto w = MakeWindow();
    auto texts = [](QMenu* menu) {
        QStringList out;
        for (QAction* a : menu->actions())
            out << a->text().section(QLatin1Char('\t'), 0, 0).remove(QLatin1Char('&'));
        return out;
    };
    const QStringList player = texts(w->ContextMenu(Engine::kModePlayer));
    for (const char* item : {"Go to Time...", "Add Bookmark...", "Bookmarks...", "Timeline", "Keyboard Shortcuts"})
        EXPECT_TRUE(player.contains(QLatin1String(item))) << item;
    EXPECT_TRUE(texts(w->ContextMenu(Engine::kModeNetViewer)).contains(QStringLiteral("Keyboard Shortcuts")));
    // Nothing open: nothing to go to or bookmark; the timeline can be shown.
    w->UpdateCommandStates();
    EXPECT_FALSE(w->Action(W::kGoToTime)->isEnabled());
    EXPECT_FALSE(w->Action(W::kAddBookmark)->isEnabled());
    EXPECT_TRUE(w->Action(W::kTimeline)->isEnabled());

    QStringList keys;
    OnModal([&](QWidget* dlg) {
        auto* list = dlg->findChild<QTreeWidget*>();
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            keys << list->topLevelItem(i)->text(0);
        QTest::keyClick(dlg, Qt::Key_Escape);
    });
    w->Action(W::kKeyboardShortcuts)->trigger();
    for (const char* key : {"Space", ". or Ctrl+N", ", or Ctrl+V", "Left", "Right", "Up", "Down", "M", "Ctrl+G", "B",
                            "Ctrl+T", "F11 or Ctrl+F", "Escape", "0"})
        EXPECT_TRUE(keys.contains(QLatin1String(key))) << key;
}

TEST_F(ViewerNavigation, ArrowsMoveFiveSecondsOfRecordingTime) {
    auto w = OpenWindow();
    const int64_t t0 = ShownTime(*w);
    QTest::keyClick(w.get(), Qt::Key_Right);
    ASSERT_TRUE(WaitTime(*w, t0 + 5));
    QTest::keyClick(w.get(), Qt::Key_Right);
    ASSERT_TRUE(WaitTime(*w, t0 + 10));
    QTest::keyClick(w.get(), Qt::Key_Left);
    ASSERT_TRUE(WaitTime(*w, t0 + 5));
    // Beyond the end (the recording's last second) nothing happens.
    const int64_t last = zo::synth::DemoOptions{}.startTime + 15;
    QTest::keyClick(w.get(), Qt::Key_Right);
    ASSERT_TRUE(WaitTime(*w, t0 + 10));
    const int64_t end = t0 + 15 <= last ? t0 + 15 : t0 + 10;
    QTest::keyClick(w.get(), Qt::Key_Right);
    ASSERT_TRUE(WaitTime(*w, end));
    QTest::keyClick(w.get(), Qt::Key_Right);
    QTest::qWait(300);
    ASSERT_TRUE(WaitTime(*w, end));
    QTest::keyClick(w.get(), Qt::Key_Left);
    ASSERT_TRUE(WaitTime(*w, end - 5));
    // During play the jump keeps playing.
    QTest::keyClick(w.get(), Qt::Key_Right);
    ASSERT_TRUE(WaitTime(*w, end));
    QTest::keyClick(w.get(), Qt::Key_Space);
    ASSERT_TRUE(WaitState(*w, Engine::kStatePlay));
    QTest::keyClick(w.get(), Qt::Key_Left);
    EXPECT_TRUE(WaitFor([&] { return ShownTime(*w) > 0 && ShownTime(*w) <= end - 4; }));
    EXPECT_TRUE(WaitFor([&] { return w->Engine().GetState() == Engine::kStatePlay && ShownTime(*w) >= end - 3; }));
}

TEST_F(ViewerNavigation, GoToTimeJumpsAndSaysWhenNothingIsRecorded) {
    auto w = OpenWindow();
    const int64_t t0 = ShownTime(*w);
    QString prefilled;
    OnModal([&](QWidget* dlg) {
        auto* field = dlg->findChild<QDateTimeEdit*>();
        prefilled = field->text();
        TypeTime(field, t0 + 7);
        QTest::mouseClick(ButtonNamed(dlg, QStringLiteral("&Go")), Qt::LeftButton);
    });
    QTest::keyClick(w.get(), Qt::Key_G, Qt::ControlModifier);
    EXPECT_EQ(prefilled, QDateTime::fromSecsSinceEpoch(t0, Qt::UTC).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    ASSERT_TRUE(WaitTime(*w, t0 + 7));
    EXPECT_TRUE(shown_.empty());
    Activate(*w);

    // A year later there is nothing: a message says so and the frame stays.
    OnModal([&](QWidget* dlg) {
        auto* field = dlg->findChild<QDateTimeEdit*>();
        field->setCurrentSection(QDateTimeEdit::YearSection);
        QTest::keyClick(field, Qt::Key_Up);
        QTest::mouseClick(ButtonNamed(dlg, QStringLiteral("&Go")), Qt::LeftButton);
    });
    QTest::keyClick(w.get(), Qt::Key_G, Qt::ControlModifier);
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_TRUE(shown_[0].startsWith(QStringLiteral("There is no recording at or after "))) << shown_[0].toStdString();
    EXPECT_EQ(ShownTime(*w), t0 + 7);
}

TEST_F(ViewerNavigation, BookmarksAddListJumpAndDeleteRoundTrip) {
    auto w = OpenWindow();
    const int64_t t0 = ShownTime(*w);

    // "b" in the split view: the time and all cameras, with a typed note.
    OnModal([](QWidget* dlg) {
        auto* edit = dlg->findChild<QLineEdit*>();
        QTest::keyClicks(edit, QStringLiteral("gate opens"));
        QTest::keyClick(edit, Qt::Key_Return);
    });
    QTest::keyClick(w.get(), Qt::Key_B);
    Activate(*w);
    ASSERT_EQ(w->Bookmarks().Items().size(), 1u);
    EXPECT_EQ(w->Bookmarks().Items()[0], (zo::media::Bookmark{uint32_t(t0), zo::media::Bookmark::kAllChannels, "gate opens"}));

    // In single view: that camera. Escape cancels, an empty note is fine.
    w->RunCommand(W::kSplit1);
    w->RunCommand(W::kSplit1);  // the second camera alone
    QTest::keyClick(w.get(), Qt::Key_Right);
    ASSERT_TRUE(WaitTime(*w, t0 + 5));
    OnModal([](QWidget* dlg) { QTest::keyClick(dlg->findChild<QLineEdit*>(), Qt::Key_Escape); });
    QTest::keyClick(w.get(), Qt::Key_B);
    Activate(*w);
    EXPECT_EQ(w->Bookmarks().Items().size(), 1u);
    OnModal([](QWidget* dlg) { QTest::keyClick(dlg->findChild<QLineEdit*>(), Qt::Key_Return); });
    QTest::keyClick(w.get(), Qt::Key_B);
    ASSERT_EQ(w->Bookmarks().Items().size(), 2u);
    EXPECT_EQ(w->Bookmarks().Items()[1], (zo::media::Bookmark{uint32_t(t0 + 5), 1, ""}));

    // Stored in the data folder, nothing beside the recording.
    std::vector<std::string> stored;
    for (const auto& e : fs::directory_iterator(Path("data/zoviewer").toStdString()))
        stored.push_back(e.path().filename().string());
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].rfind("bookmarks-", 0), 0u);
    std::vector<std::string> beside;
    for (const auto& e : fs::directory_iterator(dir_.path().toStdString()))
        if (e.path().filename() != "data" && e.path().filename() != "cfg")
            beside.push_back(e.path().filename().string());
    EXPECT_EQ(beside, std::vector<std::string>{"rec.ZRF"});

    // The list: the first one, chosen and gone to.
    int rows = 0;
    OnModal([&](QWidget* dlg) {
        auto* list = dlg->findChild<QTreeWidget*>();
        rows = list->topLevelItemCount();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(0)).center());
        QTest::mouseClick(ButtonNamed(dlg, QStringLiteral("&Go To")), Qt::LeftButton);
    });
    w->Action(W::kBookmarks)->trigger();
    EXPECT_EQ(rows, 2);
    ASSERT_TRUE(WaitTime(*w, t0));

    // Delete the second; the store on disk follows, and a new window reads it.
    OnModal([&](QWidget* dlg) {
        auto* list = dlg->findChild<QTreeWidget*>();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(1)).center());
        QTest::mouseClick(ButtonNamed(dlg, QStringLiteral("&Delete")), Qt::LeftButton);
        rows = list->topLevelItemCount();
        QTest::keyClick(dlg, Qt::Key_Escape);
    });
    w->Action(W::kBookmarks)->trigger();
    EXPECT_EQ(rows, 1);
    w.reset();
    auto again = MakeWindow();
    ASSERT_TRUE(again->OpenSource(recording_, false));
    ASSERT_EQ(again->Bookmarks().Items().size(), 1u);
    EXPECT_EQ(again->Bookmarks().Items()[0].note, "gate opens");
}

TEST_F(ViewerNavigation, TimelineGrowsTheWindowAndGoesToTheTimeClicked) {
    auto w = OpenWindow();
    w->Layout(true, {640, 448});
    const QSize normal = w->size();
    QTest::keyClick(w.get(), Qt::Key_T, Qt::ControlModifier);
    ASSERT_TRUE(w->IsTimelineOn());
    CZoTimeline* timeline = w->Timeline();
    EXPECT_TRUE(timeline->isVisible());
    EXPECT_EQ(w->size(), normal + QSize(0, CZoTimeline::kHeight));
    EXPECT_EQ(w->VideoArea(), QSize(640, 448));
    EXPECT_EQ(timeline->geometry(), QRect(2, 65 + 448, 640, CZoTimeline::kHeight));

    // The index arrives from the background and is cached outside the source's folder.
    ASSERT_TRUE(WaitFor([&] { return timeline->HasIndex(); }));
    const int64_t t0 = ShownTime(*w);
    EXPECT_EQ(timeline->ExtentFrom(), double(t0));
    ASSERT_EQ(timeline->Index().runs.size(), 1u);
    EXPECT_EQ(timeline->Index().damagedBlocks, 0u);
    EXPECT_EQ(std::distance(fs::directory_iterator(Path("cache/zoviewer").toStdString()), {}), 1);

    // A click goes to the second under the pointer.
    QTest::mouseClick(timeline, Qt::LeftButton, {}, QPoint(int(timeline->XOf(t0 + 8.5)), 25));
    ASSERT_TRUE(WaitTime(*w, t0 + 8));

    // The wheel zooms around the pointer; a drag pans and does not seek.
    const QPointF at(timeline->XOf(t0 + 4.0), 25);
    QWheelEvent wheel(at, timeline->mapToGlobal(at), {}, QPoint(0, 240), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(timeline, &wheel);
    EXPECT_LT(timeline->ViewSpan(), timeline->ExtentSpan());
    EXPECT_NEAR(timeline->TimeAt(at.x()), t0 + 4.0, 0.05);
    const double from = timeline->ViewFrom();
    QTest::mousePress(timeline, Qt::LeftButton, {}, QPoint(300, 25));
    QTest::mouseMove(timeline, QPoint(200, 25));
    QTest::mouseRelease(timeline, Qt::LeftButton, {}, QPoint(200, 25));
    EXPECT_GT(timeline->ViewFrom(), from);
    QTest::qWait(200);
    EXPECT_EQ(ShownTime(*w), t0 + 8);

    QTest::keyClick(w.get(), Qt::Key_T, Qt::ControlModifier);
    EXPECT_FALSE(w->IsTimelineOn());
    EXPECT_FALSE(timeline->isVisible());
    EXPECT_EQ(w->size(), normal);
    EXPECT_EQ(w->VideoArea(), QSize(640, 448));
}

}  // namespace

// The Options dialog's "Exact Steps" box reaches the engine, both ways.
TEST_F(ViewerNavigation, OptionsDialogSwitchesExactSteps) {
    auto w = MakeWindow();
    ASSERT_TRUE(w->Engine().GetExactSteps());  // the desktop's default
    for (const bool expected : {false, true}) {
        OnModal([](QWidget* dlg) {
            QCheckBox* box = nullptr;
            for (auto* b : dlg->findChildren<QCheckBox*>())
                if (b->text() == QLatin1String("Exact Steps"))
                    box = b;
            ASSERT_NE(box, nullptr);
            box->setFocus();
            QTest::keyClick(box, Qt::Key_Space);
            for (auto* button : dlg->findChildren<QPushButton*>())
                if (button->text() == QLatin1String("OK")) {
                    QTest::mouseClick(button, Qt::LeftButton);
                    return;
                }
            ADD_FAILURE() << "no OK button";
        });
        w->RunCommand(W::kPlayerOptions);
        EXPECT_EQ(w->Engine().GetExactSteps(), expected);
    }
}
