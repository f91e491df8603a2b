// Pictures of every dialog for the documentation, taken when
// ZO_SCREENSHOT_DIR names a folder (scripts run it under Xvfb); skipped
// otherwise. The export dialog is caught in the middle of an export.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <filesystem>

#include "DialogDriver.h"
#include "app/dialogs/CAboutDlg.h"
#include "app/dialogs/CBookmarksDlg.h"
#include "app/dialogs/CDiskSelDlg.h"
#include "app/dialogs/CExportAviDlg.h"
#include "app/dialogs/CGoToTimeDlg.h"
#include "app/dialogs/CLoginDlg.h"
#include "app/dialogs/CNetOptions.h"
#include "app/dialogs/COptionsDlg.h"
#include "app/dialogs/CShortcutsDlg.h"
#include "media/BookmarkStore.h"
#include "export/ExportTestSupport.h"
#include "support/RunProcess.h"

namespace {

namespace fs = std::filesystem;
using namespace dialogs_test;

void Save(QWidget& w, const fs::path& dir, const char* name) {
    w.show();
    QTest::qWait(100);
    const fs::path file = dir / name;
    EXPECT_TRUE(w.grab().save(QString::fromStdString(file.string()))) << file;
}

TEST(Screenshots, EveryDialog) {
    const char* out = std::getenv("ZO_SCREENSHOT_DIR");
    if (!out)
        GTEST_SKIP() << "set ZO_SCREENSHOT_DIR to take the pictures";
    const fs::path dir = fs::absolute(out);
    fs::create_directories(dir);
    {
        COptionsDlg d;
        d.capturePath = QStringLiteral("/home/examiner/Pictures/ZoCapture");
        Save(d, dir, "dialog-options.png");
    }
    {
        CNetOptions d;
        d.localRecordingPath = QStringLiteral("/home/examiner/Videos/ZoCapture");
        Save(d, dir, "dialog-network-options.png");
        QTest::mouseClick(Find<QPushButton>(&d, "Advanced"), Qt::LeftButton);
        Save(d, dir, "dialog-network-options-advanced.png");
    }
    {
        CLoginDlg d;
        d.port = 5000;
        Save(d, dir, "dialog-login.png");
    }
    {
        CDiskSelDlg d;
        Save(d, dir, "dialog-disk-select.png");
    }
    {
        CAboutDlg d;
        Save(d, dir, "dialog-about.png");
    }
    {
        CGoToTimeDlg d(nullptr, 1773478805);  // 2026-03-14 09:00:05
        Save(d, dir, "dialog-go-to-time.png");
    }
    {
        zo::media::BookmarkStore store;
        store.Add({1773478804, zo::media::Bookmark::kAllChannels, "van arrives"});
        store.Add({1773478823, 1, "driver at the gate"});
        store.Add({1773478915, 2, ""});
        CBookmarksDlg d(nullptr, store, [](const zo::media::Bookmark&) {}, [] { return true; });
        Save(d, dir, "dialog-bookmarks.png");
    }
    {
        CShortcutsDlg d(nullptr);
        Save(d, dir, "dialog-shortcuts.png");
    }
    const fs::path work = zo::test::MakeTempDir("shots");
    const fs::path home = fs::current_path();
    ASSERT_EQ(zo::test::RunProcess("cd '" + work.string() + "' && " + ZRF_BINARY +
                                       " gen demo.ZRF --seconds 20 --channels 4 --audio",
                                   work / "err.txt")
                  .status,
              0);
    {
        CExportAviDlg d;
        d.inputPath = QString::fromStdString((work / "demo.ZRF").string());
        d.show();
        QTest::mouseClick(Find<QPushButton>(&d, "OK"), Qt::LeftButton);
        auto* percent = Find<QLabel>(&d, "Percent");
        ASSERT_TRUE(WaitFor([&] { return percent->text().trimmed().chopped(1).toInt() >= 30; }));
        Save(d, dir, "dialog-export.png");
        QTest::mouseClick(Find<QPushButton>(&d, "Cancel"), Qt::LeftButton);
    }
    fs::current_path(home);
    fs::remove_all(work);
}

}  // namespace
