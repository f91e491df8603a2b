// The options, network options and folder picker, driven through their widgets.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "DialogDriver.h"
#include "app/dialogs/CNetOptions.h"
#include "app/dialogs/COptionsDlg.h"
#include "app/dialogs/CPathDialog.h"

namespace {

namespace fs = std::filesystem;
using namespace dialogs_test;

std::string Now(const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[64];
    return std::string(text, std::strftime(text, sizeof text, format, &local));
}

void TypeInto(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

class FolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        base = fs::temp_directory_path() / ("zo_dialogs_" + std::to_string(::getpid()));
        fs::remove_all(base);
        fs::create_directories(base);
    }
    void TearDown() override { fs::remove_all(base); }
    QString Q(const fs::path& p) { return QString::fromStdString(p.string()); }
    fs::path base;
};

TEST(OptionsDlg, PreviewFollowsTheListAndTypedFormats) {
    COptionsDlg dlg;
    dlg.timeFormat = QStringLiteral("%Y");
    dlg.capturePath = QStringLiteral("/data/captures");
    dlg.repeat = true;
    dlg.show();
    ASSERT_NE(Find<QCheckBox>(&dlg, "Show channel title"), nullptr);
    auto* preview = Find<QLabel>(&dlg, "Preview");
    auto* combo = Find<QComboBox>(&dlg, "On screen display date/time format");
    ASSERT_TRUE(preview && combo);
    EXPECT_EQ(preview->text().toStdString(), Now("%Y"));  // at once on opening
    ASSERT_EQ(combo->count(), 6);
    EXPECT_EQ(combo->itemText(1), "%y/%m/%d  %H:%M:%S");
    EXPECT_EQ(combo->itemText(5), "%b %d %p %I:%M:%S %Y");

    // The last entry of the list, chosen with the keyboard.
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_End);
    for (int i = 0; i < 6; ++i)
        QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(combo->currentText(), "%b %d %p %I:%M:%S %Y");
    EXPECT_TRUE(preview->text().startsWith(QString::fromStdString(Now("%b %d %p"))));
    EXPECT_TRUE(preview->text().endsWith(QString::fromStdString(Now("%Y"))));

    // Typed formats: the hour; too long for 128 characters gives nothing.
    const std::string before = Now("%H");
    TypeInto(combo->lineEdit(), "%H");
    EXPECT_TRUE(preview->text().toStdString() == before || preview->text().toStdString() == Now("%H"));
    TypeInto(combo->lineEdit(), QString("%Y").repeated(70));
    EXPECT_EQ(preview->text(), "");
    TypeInto(combo->lineEdit(), "%d.%m.%Y");

    Toggle(Find<QCheckBox>(&dlg, "Always on top (A)"));
    Toggle(Find<QCheckBox>(&dlg, "Repeat playback (R)"));
    EXPECT_TRUE(Find<QCheckBox>(&dlg, "Exact Steps")->isChecked());  // on unless told otherwise
    Toggle(Find<QCheckBox>(&dlg, "Exact Steps"));
    QTest::mouseClick(Find<QPushButton>(&dlg, "OK"), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_FALSE(dlg.exactSteps);
    EXPECT_TRUE(dlg.alwaysOnTop);
    EXPECT_FALSE(dlg.repeat);
    EXPECT_FALSE(dlg.showChannelTitle);
    EXPECT_EQ(dlg.timeFormat, "%d.%m.%Y");
    EXPECT_EQ(dlg.capturePath, "/data/captures");
}

TEST(OptionsDlg, CancelChangesNothing) {
    COptionsDlg dlg;
    dlg.capturePath = QStringLiteral("/a");
    dlg.show();
    Toggle(Find<QCheckBox>(&dlg, "Use DirectDraw"));
    TypeInto(Find<QLineEdit>(&dlg, "Path for still capture"), "/b");
    QTest::mouseClick(Find<QPushButton>(&dlg, "Cancel"), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_FALSE(dlg.useDirectDraw);
    EXPECT_EQ(dlg.capturePath, "/a");
    EXPECT_EQ(dlg.timeFormat, "%Y/%m/%d %H:%M:%S");
}

TEST(NetOptions, HiddenValuesPassThroughAndAdvancedShowsThem) {
    CNetOptions dlg;
    dlg.autoReconnection = true;
    dlg.ddnsServer = QStringLiteral("ddns.example.net");
    dlg.ddnsPort = 9000;
    dlg.timeoutSeconds = 7;
    dlg.localRecordingPath = QStringLiteral("/rec");
    dlg.show();
    QStringList visible;
    for (QWidget* w : dlg.findChildren<QWidget*>())
        if (w->isVisibleTo(&dlg) && (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w)))
            visible << (qobject_cast<QAbstractButton*>(w) ? Plain(qobject_cast<QAbstractButton*>(w)->text())
                                                          : w->accessibleName());
    visible.sort();
    EXPECT_EQ(visible.join('|').toStdString(),
              "Advanced|Always on top (A)|Browse...|Cancel|OK|Path for local Recording|Use DirectDraw");

    Toggle(Find<QCheckBox>(&dlg, "Use DirectDraw"));
    QTest::mouseClick(Find<QPushButton>(&dlg, "OK"), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_TRUE(dlg.useDirectDraw);
    EXPECT_TRUE(dlg.autoReconnection);
    EXPECT_EQ(dlg.ddnsServer, "ddns.example.net");
    EXPECT_EQ(dlg.ddnsPort, 9000);
    EXPECT_EQ(dlg.timeoutSeconds, 7);
    EXPECT_EQ(dlg.localRecordingPath, "/rec");

    CNetOptions second;
    second.show();
    QTest::mouseClick(Find<QPushButton>(&second, "Advanced"), Qt::LeftButton);
    ASSERT_NE(Find<QCheckBox>(&second, "Auto Reconnection (C)"), nullptr);
    TypeInto(Find<QLineEdit>(&second, "DDNS IP"), "10.1.2.3");
    TypeInto(Find<QLineEdit>(&second, "Connection Timeout"), "12");
    Toggle(Find<QCheckBox>(&second, "Auto Reconnection (C)"));
    QTest::mouseClick(Find<QPushButton>(&second, "OK"), Qt::LeftButton);
    EXPECT_EQ(second.ddnsServer, "10.1.2.3");
    EXPECT_EQ(second.timeoutSeconds, 12);
    EXPECT_TRUE(second.autoReconnection);
}

TEST(NetOptions, NonIntegerIsRefusedAndTheDialogStaysOpen) {
    CNetOptions dlg;
    dlg.ddnsPort = 9000;
    dlg.show();
    QTest::mouseClick(Find<QPushButton>(&dlg, "Advanced"), Qt::LeftButton);
    TypeInto(Find<QLineEdit>(&dlg, "DDNS Port"), "80x");
    ModalAnswerer answer;
    answer.Push(Click("OK"));
    answer.Arm();
    QTest::mouseClick(Find<QPushButton>(&dlg, "OK"), Qt::LeftButton);
    EXPECT_TRUE(answer.Done());
    EXPECT_EQ(answer.texts.join("").toStdString(), "Please enter an integer.");
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.ddnsPort, 9000);
    TypeInto(Find<QLineEdit>(&dlg, "DDNS Port"), "8000");
    QTest::mouseClick(Find<QPushButton>(&dlg, "OK"), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.ddnsPort, 8000);
}

TEST_F(FolderTest, ValidationMessagesAndCreation) {
    const struct {
        fs::path path;
        const char* answer;  // to the creation question; nullptr: no question
        int result;
        const char* message;  // part of the last message shown
        bool exists;
    } cases[] = {
        {"rel/dir", nullptr, 1, "is invalid. Please reenter.", false},
        {base, nullptr, 0, "", true},
        {base / "new" / "deep", "No", 3, "does not exist. Do you want the folder to be created?", false},
        {base / "new" / "deep", "Yes", 0, "does not exist.", true},
        {base / "file" / "sub", "Yes", 2, "can not be created. Please double check.", false},
    };
    std::ofstream(base / "file") << "x";
    for (const auto& c : cases) {
        ModalAnswerer answer;
        if (c.answer) {
            answer.Push(Click(c.answer));
            if (c.result == 2)
                answer.Push(Click("OK"));
        } else if (c.result != 0) {
            answer.Push(Click("OK"));
        }
        answer.Arm();
        EXPECT_EQ(CPathDialog::ValidateFolder(Q(c.path), nullptr), c.result) << c.path;
        EXPECT_TRUE(answer.Done()) << c.path;
        if (c.message[0]) {
            EXPECT_TRUE(answer.texts.value(answer.texts.size() - 1).contains(c.message)) << c.path;
        }
        EXPECT_TRUE(answer.texts.join("").contains(Q(c.path)) || c.result == 0) << c.path;
        EXPECT_EQ(fs::is_directory(c.path), c.exists) << c.path;
    }
}

TEST_F(FolderTest, BrowseTypesANewFolderAndKeepsTheOtherControls) {
    COptionsDlg dlg;
    dlg.capturePath = Q(base);
    dlg.show();
    Toggle(Find<QCheckBox>(&dlg, "Always on top (A)"));
    const fs::path wanted = base / "captures" / "case 17";
    ModalAnswerer answer;
    answer.Push([&](QWidget* picker) {
        EXPECT_EQ(picker->windowTitle(), "Find Folder");
        EXPECT_NE(Find<QLabel>(picker, "Select Folder"), nullptr);
        auto* edit = Find<QLineEdit>(picker, "Folder");
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->text(), Q(base));  // the initial folder
        TypeInto(edit, Q(wanted));
        QTest::mouseClick(Find<QPushButton>(picker, "OK"), Qt::LeftButton);
    });
    answer.Push(Click("Yes"));
    answer.Arm();
    QTest::mouseClick(Find<QPushButton>(&dlg, "Browse..."), Qt::LeftButton);
    EXPECT_TRUE(answer.Done());
    EXPECT_TRUE(fs::is_directory(wanted));
    EXPECT_EQ(Find<QLineEdit>(&dlg, "Path for still capture")->text(), Q(wanted));
    EXPECT_TRUE(Find<QCheckBox>(&dlg, "Always on top (A)")->isChecked());
}

TEST_F(FolderTest, PickerStaysOpenOnAnInvalidPathAndOnNo) {
    CPathDialog picker("Find Folder", "Select Folder", Q(base), nullptr);
    ModalAnswerer answer;
    QPointer<QWidget> browser;
    answer.Push([&](QWidget* w) {
        browser = w;
        TypeInto(Find<QLineEdit>(w, "Folder"), "/a/../b");
        QTest::mouseClick(Find<QPushButton>(w, "OK"), Qt::LeftButton);
    });
    answer.Push(Click("OK"));  // "is invalid"
    answer.Push([&](QWidget* w) {
        // Back in the picker, which stayed open.
        EXPECT_EQ(w, browser.data());
        TypeInto(Find<QLineEdit>(w, "Folder"), Q(base / "missing"));
        QTest::mouseClick(Find<QPushButton>(w, "OK"), Qt::LeftButton);
    });
    answer.Push(Click("No"));
    answer.Push([&](QWidget* w) {
        EXPECT_EQ(w, browser.data());
        QTest::mouseClick(Find<QPushButton>(w, "Cancel"), Qt::LeftButton);
    });
    answer.Arm();
    EXPECT_EQ(picker.DoModal(), QDialog::Rejected);
    EXPECT_TRUE(answer.Done());
    EXPECT_FALSE(fs::exists(base / "missing"));
}

}  // namespace
