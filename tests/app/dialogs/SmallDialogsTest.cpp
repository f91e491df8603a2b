// Disk select, login and about, driven through their widgets.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <filesystem>
#include <fstream>

#include "DialogDriver.h"
#include "app/dialogs/CAboutDlg.h"
#include "app/dialogs/CDiskSelDlg.h"
#include "app/dialogs/CLoginDlg.h"
#include "engine/CZoViewer2.h"
#include "platform/MessagePort.h"
#include "render/NullAudioDevice.h"
#include "synth/DvrSim.h"

namespace {

namespace fs = std::filesystem;
using namespace dialogs_test;

void TypeInto(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

// A fake /sys/block and /dev: regular files stand in for device nodes.
class DiskSel : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("zo_disksel_" + std::to_string(::getpid()));
        fs::remove_all(root);
        roots.sysBlock = (root / "sys").string();
        roots.dev = (root / "dev").string();
        fs::create_directories(root / "dev");
    }
    void TearDown() override { fs::remove_all(root); }
    void AddDisk(const std::string& name, uint64_t sectors, int removable, bool node) {
        fs::create_directories(root / "sys" / name);
        std::ofstream(root / "sys" / name / "size") << sectors << "\n";
        std::ofstream(root / "sys" / name / "removable") << removable << "\n";
        if (node)
            std::ofstream(root / "dev" / name) << "";
    }
    fs::path root;
    zo::media::DiskRoots roots;
};

TEST_F(DiskSel, RowsGreyedDisksAndTheChosenPath) {
    AddDisk("sda", 156301488, 0, false);  // exists, cannot be opened
    AddDisk("sdb", 156301488, 0, true);   // 80 GB fixed
    AddDisk("sdc", 7864320, 1, true);     // removable
    CDiskSelDlg dlg(nullptr, roots);
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "Disk Select");
    auto* list = Find<QListWidget>(&dlg, "Disks");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 3);
    EXPECT_TRUE(list->item(0)->text().startsWith("DISK0  Fixed           76319 MB\n"));
    EXPECT_TRUE(list->item(0)->text().contains("No such file or directory: " + QString::fromStdString(roots.dev) +
                                               "/sda"));
    EXPECT_FALSE(list->item(0)->flags() & Qt::ItemIsEnabled);
    EXPECT_EQ(list->item(1)->text(), "DISK1  Fixed           76319 MB");
    EXPECT_EQ(list->item(2)->text(), "DISK2  Removable        3840 MB");
    // Nothing selected: the first disk that can be opened.
    EXPECT_EQ(dlg.GetSelectedPath(), "\\\\.\\PHYSICALDRIVE1");

    // The greyed row cannot be chosen; the last one can.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    EXPECT_EQ(dlg.GetSelectedPath(), "\\\\.\\PHYSICALDRIVE1");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(2)).center());
    QTest::mouseClick(Find<QPushButton>(&dlg, "OK"), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.GetSelectedPath(), "\\\\.\\PHYSICALDRIVE2");
}

TEST_F(DiskSel, NoDisksGiveAnEmptyPathAndPermissionHasItsOwnReason) {
    CDiskSelDlg dlg(nullptr, roots);
    EXPECT_TRUE(dlg.Rows().empty());
    EXPECT_EQ(dlg.GetSelectedPath(), "");
    EXPECT_EQ(CDiskSelDlg::OpenFailureReason(EACCES, "/dev/sdb"),
              "no permission: open a disk image, or ask for read access to /dev/sdb");
}

TEST(LoginDlg, OpensInIpModeAndHandsBackWhatWasTyped) {
    CLoginDlg dlg;
    dlg.ip = QStringLiteral("10.0.0.5");
    dlg.dvrName = QStringLiteral("shop-front");
    dlg.port = 5000;
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "Login");
    EXPECT_EQ(Find<QCheckBox>(&dlg, "Use dynamic ip service"), nullptr);  // hidden
    EXPECT_NE(Find<QLabel>(&dlg, "IP address"), nullptr);
    auto* address = Find<QLineEdit>(&dlg, "IP address");
    auto* port = Find<QLineEdit>(&dlg, "Port");
    auto* password = Find<QLineEdit>(&dlg, "Password");
    ASSERT_TRUE(address && port && password);
    EXPECT_EQ(address->text(), "10.0.0.5");
    EXPECT_EQ(port->text(), "5000");
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);

    TypeInto(address, "10.0.0.9");
    TypeInto(port, "50x");
    QTest::keyClicks(password, "s3cret");
    ModalAnswerer answer;
    answer.Push(Click("OK"));
    answer.Arm();
    QTest::mouseClick(Find<QPushButton>(&dlg, "Login"), Qt::LeftButton);
    EXPECT_TRUE(answer.Done());
    EXPECT_TRUE(dlg.isVisible());  // a port that is not an integer is refused
    EXPECT_EQ(dlg.ip, "10.0.0.5");
    TypeInto(port, "6036");
    QTest::mouseClick(Find<QPushButton>(&dlg, "Login"), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.ip, "10.0.0.9");
    EXPECT_EQ(dlg.port, 6036);
    EXPECT_EQ(dlg.password, "s3cret");
    EXPECT_FALSE(dlg.useDdns);
    EXPECT_EQ(dlg.dvrName, "shop-front");
}

TEST(LoginDlg, AdvancedReachesTheDynamicIpServiceAndCancelKeepsAll) {
    CLoginDlg dlg;
    dlg.ip = QStringLiteral("10.0.0.5");
    dlg.dvrName = QStringLiteral("shop-front");
    dlg.port = 5000;
    dlg.show();
    QTest::mouseClick(Find<QPushButton>(&dlg, "Advanced"), Qt::LeftButton);
    auto* ddns = Find<QCheckBox>(&dlg, "Use dynamic ip service");
    ASSERT_NE(ddns, nullptr);
    TypeInto(Find<QLineEdit>(&dlg, "IP address"), "typed and dropped");
    Toggle(ddns);
    EXPECT_NE(Find<QLabel>(&dlg, "DVR ID:"), nullptr);
    EXPECT_EQ(Find<QLineEdit>(&dlg, "Port"), nullptr);  // hidden in this mode
    auto* name = Find<QLineEdit>(&dlg, "DVR ID");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->text(), "shop-front");
    Toggle(ddns);  // back: the stored address again
    EXPECT_EQ(Find<QLineEdit>(&dlg, "IP address")->text(), "10.0.0.5");
    Toggle(ddns);
    TypeInto(Find<QLineEdit>(&dlg, "DVR ID"), "back-door");
    QTest::mouseClick(Find<QPushButton>(&dlg, "Cancel"), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(dlg.dvrName, "shop-front");
    EXPECT_FALSE(dlg.useDdns);

    CLoginDlg second;
    second.dvrName = QStringLiteral("shop-front");
    second.port = 5000;
    second.show();
    QTest::mouseClick(Find<QPushButton>(&second, "Advanced"), Qt::LeftButton);
    Toggle(Find<QCheckBox>(&second, "Use dynamic ip service"));
    TypeInto(Find<QLineEdit>(&second, "DVR ID"), "back-door");
    QTest::mouseClick(Find<QPushButton>(&second, "Login"), Qt::LeftButton);
    EXPECT_EQ(second.result(), QDialog::Accepted);
    EXPECT_TRUE(second.useDdns);
    EXPECT_EQ(second.dvrName, "back-door");
    EXPECT_EQ(second.port, 5000);
}

TEST(LoginDlg, ConnectFlowLogsInOrShowsTheEnginesRefusal) {
    zo::synth::DvrSimOptions options;
    options.password = "4321";
    options.acceptPauseMs = 0;
    zo::synth::DvrSim sim(options);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    zo::platform::RecordingMessagePort messages;
    zo::engine::CZoViewer2::Ports ports;
    ports.messages = &messages;
    ports.audioDevice = std::make_unique<zo::render::NullAudioDevice>();
    zo::engine::CZoViewer2 engine(std::move(ports));
    engine.Create(640, 448, 6, 2, 4, 16000, 4);

    CLoginDlg::Connection c;
    c.ip = QStringLiteral("127.0.0.1");
    c.port = sim.Port();
    ModalAnswerer answer;
    answer.Push([](QWidget* login) {
        QTest::keyClicks(Find<QLineEdit>(login, "Password"), "4321");
        QTest::mouseClick(Find<QPushButton>(login, "Login"), Qt::LeftButton);
    });
    answer.Arm();
    EXPECT_EQ(CLoginDlg::ConnectFlow(nullptr, engine, c), 1);
    EXPECT_TRUE(WaitFor([&] { return engine.IsConnected() == 1; }));

    // While connected the engine refuses a second connection: its text is shown.
    ModalAnswerer again;
    again.Push(Click("Login"));
    again.Push(Click("OK"));
    again.Arm();
    EXPECT_EQ(CLoginDlg::ConnectFlow(nullptr, engine, c), 0);
    EXPECT_EQ(again.texts.join("|").toStdString(), engine.GetErrorText());
    EXPECT_FALSE(engine.GetErrorText().empty());
    engine.Disconnect();
}

TEST(AboutDlg, ProductVersionsAndLibraries) {
    CAboutDlg dlg;
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "About Viewer");
    for (const char* text : {"Zo7R Viewer", "1.3.0.0", "KT - 1.3.0.0"})
        EXPECT_NE(Find<QLabel>(&dlg, text), nullptr) << text;
    const QString libraries = Find<QLabel>(&dlg, "Libraries")->text();
    EXPECT_TRUE(libraries.contains(QStringLiteral("Qt ") + qVersion())) << libraries.toStdString();
    for (const char* name : {"SDL 2.", "FFmpeg libavformat", "Xvid 1.", "GPL", "zlib"})
        EXPECT_TRUE(libraries.contains(name)) << name << " in " << libraries.toStdString();
}

}  // namespace
