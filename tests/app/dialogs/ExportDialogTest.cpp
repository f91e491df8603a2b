// The export dialog end to end: a recording made by zrf, exported through
// the dialog's widgets, compared byte for byte with zrf export.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <filesystem>
#include <fstream>

#include "DialogDriver.h"
#include "app/dialogs/CExportAviDlg.h"
#include "export/EncoderRegistry.h"
#include "export/ExportTestSupport.h"
#include "support/RunProcess.h"

namespace {

namespace fs = std::filesystem;
using namespace dialogs_test;

class ExportDlg : public ::testing::Test {
protected:
    void SetUp() override {
        dir = zo::test::MakeTempDir("exportdlg");
        home = fs::current_path();
        zo::exporter::SetWorkDirectory(dir.string());
    }
    void TearDown() override {
        zo::exporter::SetWorkDirectory("");
        fs::current_path(home);  // the export entered the work directory
        fs::remove_all(dir);
    }
    zo::test::ProcessResult Zrf(const std::string& args) {
        return zo::test::RunProcess("cd '" + dir.string() + "' && " + std::string(ZRF_BINARY) + " " + args,
                                    dir / "stderr.txt");
    }
    QString Q(const std::string& name) { return QString::fromStdString((dir / name).string()); }
    static std::string Bytes(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Chooses the input by typing it, as a user may instead of browsing.
    static void ChooseInput(QWidget& dlg, const QString& path) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
        auto* input = Find<QLineEdit>(&dlg, "Input File");
        input->setFocus();
        QTest::keyClicks(input, path);
        QTest::keyClick(input, Qt::Key_Tab);
    }
    // A complete AVI: the RIFF size covers the whole file and the index is there.
    static bool Completed(const fs::path& file) {
        const std::string b = Bytes(file);
        if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0)
            return false;
        const uint32_t size = static_cast<uint8_t>(b[4]) | static_cast<uint8_t>(b[5]) << 8 |
                              static_cast<uint8_t>(b[6]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(b[7])) << 24;
        return size + 8 == b.size() && b.find("idx1") != std::string::npos;
    }
    fs::path dir;
    fs::path home;
};

TEST_F(ExportDlg, ExportsTheSameFilesAsZrfExport) {
    ASSERT_EQ(Zrf("gen in.ZRF --seconds 1 --channels 6 --audio").status, 0);
    ASSERT_EQ(Zrf("export --write-options CompOptions --codec xvid").status, 0);
    {
        CExportAviDlg dlg;
        dlg.show();
        auto* ok = Find<QPushButton>(&dlg, "OK");
        EXPECT_FALSE(ok->isEnabled());
        EXPECT_TRUE(Find<QCheckBox>(&dlg, "Audio")->isChecked());
        for (int ch = 1; ch <= 4; ++ch)
            EXPECT_TRUE(Find<QCheckBox>(&dlg, QString::number(ch))->isChecked()) << ch;
        EXPECT_EQ(Find<QCheckBox>(&dlg, "5"), nullptr);

        ChooseInput(dlg, Q("in.ZRF"));
        EXPECT_EQ(Find<QLineEdit>(&dlg, "Output File")->text(), Q("in.AVI"));
        EXPECT_TRUE(ok->isEnabled());
        // The recording holds six cameras: 5 and 6 offered, unchecked.
        for (int ch : {5, 6}) {
            auto* box = Find<QCheckBox>(&dlg, QString::number(ch));
            ASSERT_NE(box, nullptr) << ch;
            EXPECT_FALSE(box->isChecked());
        }
        EXPECT_EQ(Find<QCheckBox>(&dlg, "7"), nullptr);

        ModalAnswerer answer;
        answer.BoxesOnly();
        answer.Push(Click("OK"));
        answer.Arm();
        QTest::mouseClick(ok, Qt::LeftButton);
        EXPECT_FALSE(ok->isEnabled());
        EXPECT_FALSE(Find<QLineEdit>(&dlg, "Input File")->isEnabled());
        EXPECT_TRUE(Find<QPushButton>(&dlg, "Cancel")->isEnabled());
        ASSERT_TRUE(WaitFor([&] { return !dlg.isVisible(); }));
        EXPECT_EQ(answer.texts.join("|").toStdString(), "Export Complete");
        EXPECT_EQ(Find<QLabel>(&dlg, "Percent")->text(), "100%");
        EXPECT_EQ(dlg.findChild<QProgressBar*>()->value(), dlg.findChild<QProgressBar*>()->maximum());
        const QLabel* preview = nullptr;
        for (QLabel* l : dlg.findChildren<QLabel*>())
            if (l->accessibleName() == "Preview")
                preview = l;
        ASSERT_NE(preview, nullptr);
        EXPECT_FALSE(preview->pixmap().isNull());  // the last exported picture
    }
    const auto r = Zrf("export in.ZRF zrf.AVI --channels 1-4");
    ASSERT_EQ(r.status, 0) << r.err;
    for (int ch = 1; ch <= 4; ++ch) {
        const std::string tag = "-CH" + std::to_string(ch) + ".AVI";
        const std::string mine = Bytes(dir / ("in" + tag));
        EXPECT_GT(mine.size(), 10000u) << ch;
        EXPECT_TRUE(mine == Bytes(dir / ("zrf" + tag))) << "channel " << ch;
    }
    EXPECT_FALSE(fs::exists(dir / "in-CH5.AVI"));
}

TEST_F(ExportDlg, AnOutputThatCannotBeCreatedIsNamedWithTheReason) {
    ASSERT_EQ(Zrf("gen in.ZRF --seconds 1 --channels 2").status, 0);
    CExportAviDlg dlg;
    dlg.inputPath = Q("in.ZRF");
    dlg.outputPath = Q("no such folder/out.avi");
    dlg.show();
    ModalAnswerer answer;
    answer.Push(Click("OK"));
    answer.Arm();
    QTest::mouseClick(Find<QPushButton>(&dlg, "OK"), Qt::LeftButton);
    EXPECT_TRUE(answer.Done());
    EXPECT_EQ(answer.texts.join("|"),
              "Cannot create the file:\n\n" + Q("no such folder/out-CH1.avi") + "\n\nNo such file or directory");
    EXPECT_TRUE(dlg.isVisible());  // stays, ready for another try
    EXPECT_TRUE(Find<QPushButton>(&dlg, "OK")->isEnabled());
    EXPECT_TRUE(Find<QLineEdit>(&dlg, "Output File")->isEnabled());
    dlg.reject();
}

TEST_F(ExportDlg, CancelStopsTheExportAndCompletesTheFiles) {
    ASSERT_EQ(Zrf("gen in.ZRF --seconds 6 --channels 4 --audio").status, 0);
    {
        CExportAviDlg dlg;
        dlg.inputPath = Q("in.ZRF");
        dlg.show();
        QTest::mouseClick(Find<QPushButton>(&dlg, "OK"), Qt::LeftButton);
        ASSERT_TRUE(dlg.Exporting());
        ASSERT_TRUE(WaitFor([&] { return dlg.Engine().PicturesWritten() > 0; }));
        // The percent shows after a tick: three places for the number.
        auto* percent = Find<QLabel>(&dlg, "Percent");
        ASSERT_TRUE(WaitFor([&] { return percent->text() != "0%"; }));
        EXPECT_TRUE(QRegularExpression("^[ 0-9]{3}%$").match(percent->text()).hasMatch())
            << percent->text().toStdString();
        QTest::mouseClick(Find<QPushButton>(&dlg, "Cancel"), Qt::LeftButton);
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_FALSE(dlg.Engine().IsFinished() && dlg.Engine().GetPosition() < dlg.Engine().GetSize())
            << "stopped, not run to the end";
    }
    for (int ch = 1; ch <= 4; ++ch)
        EXPECT_TRUE(Completed(dir / ("in-CH" + std::to_string(ch) + ".AVI"))) << ch;
}

}  // namespace
