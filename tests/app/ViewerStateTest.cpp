#include <QClipboard>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include "ViewerFixture.h"
#include "app/skin/CZoSkinSlider.h"
#include "platform/Profile.h"

using Engine = zo::engine::CZoViewer2;
using W = CZoViewerDlg;

namespace {

constexpr const char* kSection = "Zo7R Viewer";

QStringList Keys(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    QStringList keys;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.contains('='))
            keys << QString::fromUtf8(line.left(line.indexOf('=')));
    return keys;
}

}  // namespace

using ViewerSettings = ViewerFixture;

TEST_F(ViewerSettings, FirstStartWritesEveryKeyWithItsDefaultInOrder) {
    auto w = MakeWindow();
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(ProfilePath())));  // nothing written before exit
    w->RunCommand(W::kExit);
    EXPECT_EQ(Keys(QString::fromStdString(ProfilePath())),
              QStringList({"Capture Path", "AlwaysOnTop", "Show Time", "Video Width", "Video Height", "Repeat",
                           "Time Format", "Volume", "Mute", "IP Address", "Port", "DynamicIp", "Use DDraw",
                           "Auto Reconnection", "Timeout", "Ddns Ip", "Ddns Port", "Local Recording Path", "DvrName",
                           "Exact Steps"}));
    zo::platform::Profile p(ProfilePath());
    ASSERT_TRUE(p.Load());
    const struct {
        const char* key;
        const char* value;
    } defaults[] = {{"Video Width", "640"}, {"Video Height", "448"}, {"Repeat", "0"},
                    {"Time Format", "%Y/%m/%d %H:%M:%S"}, {"Mute", "0"}, {"Port", "8841"}, {"Ddns Port", "1800"},
                    {"DvrName", "DVR000"}, {"Use DDraw", "1"}, {"Auto Reconnection", "1"}, {"Timeout", "7"},
                    {"Volume", "65535"}, {"Exact Steps", "1"}};
    for (const auto& d : defaults)
        EXPECT_EQ(p.GetString(kSection, d.key, "?"), d.value) << d.key;
    EXPECT_EQ(QString::fromStdString(p.GetString(kSection, "Capture Path", "")), W::DefaultCapturePath());
    EXPECT_TRUE(W::DefaultCapturePath().endsWith("/ZoCapture"));
    EXPECT_TRUE(W::DefaultRecordingPath().startsWith('/'));
}

TEST_F(ViewerSettings, SettingsRoundTripAndUntrustedValuesAreMended) {
    {
        zo::platform::Profile p(ProfilePath());
        p.SetString(kSection, "Capture Path", "C:\\ZoCapture");  // from another system
        p.SetString(kSection, "Local Recording Path", "/data/rec");
        p.SetInt(kSection, "Video Width", 100);
        p.SetInt(kSection, "Video Height", 99999);
        p.SetString(kSection, "Port", "9000abc");
        p.SetInt(kSection, "Repeat", 1);
        p.SetString(kSection, "Time Format", "%H:%M");
        p.SetInt(kSection, "Volume", 1234);
        p.SetInt(kSection, "Timeout", 12);
        p.SetInt(kSection, "Exact Steps", 0);
        ASSERT_TRUE(p.Save());
    }
    auto w = MakeWindow();
    EXPECT_EQ(w->CapturePath(), W::DefaultCapturePath());
    EXPECT_EQ(w->VideoArea().width(), W::kMinimumVideo.width());
    EXPECT_LE(w->VideoArea().height() + 140, QGuiApplication::primaryScreen()->availableGeometry().height());
    EXPECT_EQ(w->Engine().GetRepeat(), 1);
    EXPECT_EQ(w->Engine().GetTimeFormat(), "%H:%M");
    EXPECT_EQ(w->Engine().GetVolume(), 1234u);
    EXPECT_EQ(w->Engine().GetTimeout(), 12000u);
    EXPECT_FALSE(w->Engine().GetExactSteps());
    // Maximised and full-screen sizes are not what is saved.
    w->Layout(true, {700, 500});
    w->RunCommand(W::kFullScreen);
    w->RunCommand(W::kExit);
    zo::platform::Profile p(ProfilePath());
    ASSERT_TRUE(p.Load());
    EXPECT_EQ(p.GetInt(kSection, "Video Width", 0), 700);
    EXPECT_EQ(p.GetInt(kSection, "Video Height", 0), 500);
    EXPECT_EQ(p.GetInt(kSection, "Port", 0), 9000);
    EXPECT_EQ(p.GetString(kSection, "Local Recording Path", ""), "/data/rec");
    EXPECT_EQ(p.GetInt(kSection, "Timeout", 0), 12);
    EXPECT_EQ(p.GetInt(kSection, "Exact Steps", 1), 0);
}

using ViewerCapture = ViewerFixture;

TEST_F(ViewerCapture, NamesAreUniqueWithinASecond) {
    std::tm t{};
    t.tm_year = 109, t.tm_mon = 11, t.tm_mday = 7, t.tm_hour = 5, t.tm_min = 12, t.tm_sec = 34;
    QStringList taken;
    auto exists = [&](const QString& p) { return taken.contains(p); };
    const struct {
        const char* folder;
        const char* path;
    } cases[] = {{"", "20091207-051234.bmp"}, {"/", "/20091207-051234.bmp"}, {"/a", "/a/20091207-051234.bmp"},
                 {"/a/", "/a/20091207-051234.bmp"}};
    for (const auto& c : cases)
        EXPECT_EQ(W::CaptureFilePath(c.folder, t, exists), c.path);
    for (const char* expected : {"/a/20091207-051234.bmp", "/a/20091207-051234-2.bmp", "/a/20091207-051234-3.bmp"}) {
        const QString path = W::CaptureFilePath("/a", t, exists);
        EXPECT_EQ(path, expected);
        taken << path;
    }
}

TEST_F(ViewerCapture, CaptureMakesItsFolderAndReportsFailures) {
    {
        zo::platform::Profile p(ProfilePath());
        p.SetString(kSection, "Capture Path", Path("pics/deep/er").toStdString());
        ASSERT_TRUE(p.Save());
    }
    auto w = MakeWindow();
    const QString first = w->StillCapture();
    const QString second = w->StillCapture();
    ASSERT_FALSE(first.isEmpty());
    ASSERT_FALSE(second.isEmpty());
    EXPECT_NE(first, second);
    EXPECT_TRUE(first.startsWith(Path("pics/deep/er/")));
    QFile f(first);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.read(2), "BM");
    EXPECT_FALSE(QGuiApplication::clipboard()->image().isNull());
    EXPECT_TRUE(shown_.empty());

    // A folder below a plain file cannot be made.
    QFile(Path("plain")).open(QIODevice::WriteOnly);
    zo::platform::Profile p(ProfilePath());
    p.SetString(kSection, "Capture Path", Path("plain/sub").toStdString());
    ASSERT_TRUE(p.Save());
    auto v = MakeWindow();
    EXPECT_TRUE(v->StillCapture().isEmpty());
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_TRUE(shown_[0].contains(Path("plain/sub"))) << shown_[0].toStdString();
}

using ViewerMarks = ViewerFixture;

TEST_F(ViewerMarks, MarksAreClearedOnOpenCloseAndDrop) {
    auto w = MakeWindow();
    const QString rec = Recording("marks.ZRF", 2);
    ASSERT_TRUE(OpenPaused(*w, rec));
    w->Engine().Seek(8 * 4096);
    ASSERT_TRUE(WaitFor([&] { return w->Engine().GetState() == Engine::kStatePause && w->Engine().GetPosition() > 0; }));
    const std::function<void()> sources[] = {
        [&] { w->RunCommand(W::kCloseRecording); },
        [&] { w->OpenSource(rec, false); },
        [&] {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(rec)});
            QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, {});
            QCoreApplication::sendEvent(w.get(), &enter);
            ASSERT_TRUE(enter.isAccepted());
            QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, {});
            QCoreApplication::sendEvent(w.get(), &drop);
        },
    };
    for (const auto& change : sources) {
        SCOPED_TRACE(&change - sources);
        w->RunCommand(W::kMarkOut);  // may be refused while playing: then set directly below
        if (w->MarkOut() == 0) {
            w->RunCommand(W::kPause);
            ASSERT_TRUE(WaitState(*w, Engine::kStatePause));
            // Paused before any frame was shown, the position is 0: a
            // search moves it and pauses again.
            if (w->Engine().GetPosition() == 0) {
                w->Engine().Seek(8 * 4096);
                ASSERT_TRUE(WaitFor([&] {
                    return w->Engine().GetState() == Engine::kStatePause && w->Engine().GetPosition() > 0;
                }));
            }
            w->RunCommand(W::kMarkOut);
        }
        ASSERT_GT(w->MarkOut(), 0u) << "state " << w->Engine().GetState() << " at " << w->Engine().GetPosition();
        change();
        EXPECT_EQ(w->MarkIn(), 0u);
        EXPECT_EQ(w->MarkOut(), 0u);
        if (!w->Engine().IsOpen()) {
            ASSERT_TRUE(w->OpenSource(rec, false));
        }
    }
}

TEST_F(ViewerMarks, RangeRulesEndMarkAndFailedSave) {
    const struct {
        uint64_t in, out;
        bool savable;
    } cases[] = {{0, 0, false}, {10, 5, false}, {0, 1073741824, true}, {1, 1073741824, true},
                 {0, 1073741825, false}, {4095, 1073741824 + 4095, false}};
    for (const auto& c : cases)
        EXPECT_EQ(W::RangeSavable(c.in, c.out), c.savable) << c.in << ".." << c.out;

    auto w = MakeWindow();
    const QString rec = Recording("short.ZRF", 2);
    ASSERT_TRUE(OpenPaused(*w, rec));
    w->RunCommand(W::kMarkIn);
    // Play on to the end, where the position is the recording's size.
    const uint64_t size = w->Engine().GetSize();
    w->RunCommand(W::kPlay);
    ASSERT_TRUE(WaitFor([&] {
        return w->Engine().GetState() == Engine::kStatePause && w->Engine().GetPosition() == size;
    }));
    w->RunCommand(W::kMarkOut);
    w->UpdateCommandStates();
    ASSERT_TRUE(w->Action(W::kExportRange)->isEnabled())
        << w->MarkIn() << " " << w->MarkOut() << " " << size << " state " << w->Engine().GetState();
    answer_ = Path("cut.ZRF");
    w->RunCommand(W::kExportRange);
    EXPECT_TRUE(shown_.empty()) << (shown_.empty() ? "" : shown_[0].toStdString());
    EXPECT_GE(QFileInfo(answer_).size(), static_cast<qint64>(w->MarkOut() - w->MarkIn()) - 4096);

    // Into a folder that does not exist: the reason is shown, nothing is left.
    answer_ = Path("missing/cut.ZRF");
    w->RunCommand(W::kExportRange);
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_TRUE(shown_[0].contains(answer_)) << shown_[0].toStdString();
    EXPECT_FALSE(QFileInfo::exists(answer_));
    EXPECT_FALSE(QFileInfo::exists(answer_ + ".part"));
}
