#include "app/dialogs/CDiskSelDlg.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace {

uint64_t ReadSysNumber(const std::string& path, bool& ok) {
    std::ifstream in(path);
    uint64_t value = 0;
    ok = static_cast<bool>(in >> value);
    return ok ? value : 0;
}

}  // namespace

CDiskSelDlg::CDiskSelDlg(QWidget* owner, zo::media::DiskRoots roots) : QDialog(owner) {
    setWindowTitle(QStringLiteral("Disk Select"));
    rows_ = ListRows(roots);

    list_ = new QListWidget(this);
    list_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    list_->setAccessibleName(QStringLiteral("Disks"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    for (const Row& row : rows_) {
        auto* item = new QListWidgetItem(list_);
        if (row.driveNumber >= 0) {
            item->setText(QString::fromStdString(row.text));
            if (selected_ < 0)
                selected_ = static_cast<int>(list_->count() - 1);
        } else {
            item->setText(QString::fromStdString(row.text + "\n       " + row.reason));
            item->setFlags(Qt::NoItemFlags);  // greyed, cannot be chosen
            item->setToolTip(QString::fromStdString(row.reason));
        }
    }
    auto* hint = new QLabel(this);
    hint->setWordWrap(true);
    if (rows_.empty())
        hint->setText(QStringLiteral("No disks found. \"Open Disk Image...\" plays an image of a disk."));
    else if (selected_ < 0)
        hint->setText(QStringLiteral("No disk can be opened. \"Open Disk Image...\" plays an image of a disk."));
    hint->setVisible(selected_ < 0);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addWidget(hint);
    layout->addWidget(buttons);
    resize(700, 260);

    connect(list_, &QListWidget::currentRowChanged, this, &CDiskSelDlg::SelectionChanged);
    connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        if (item->flags() & Qt::ItemIsEnabled)
            accept();
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &CDiskSelDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CDiskSelDlg::reject);
}

void CDiskSelDlg::SelectionChanged(int row) {
    if (row >= 0 && row < static_cast<int>(rows_.size()) && rows_[static_cast<size_t>(row)].driveNumber >= 0)
        selected_ = row;
}

std::string CDiskSelDlg::GetSelectedPath() const {
    if (selected_ < 0 || selected_ >= static_cast<int>(rows_.size()))
        return {};
    return zo::media::PhysicalDrivePath(rows_[static_cast<size_t>(selected_)].driveNumber);
}

std::string CDiskSelDlg::OpenFailureReason(int error, const std::string& devicePath) {
    if (error == EACCES || error == EPERM)
        return "no permission: open a disk image, or ask for read access to " + devicePath;
    return std::string(std::strerror(error)) + ": " + devicePath;
}

std::vector<CDiskSelDlg::Row> CDiskSelDlg::ListRows(const zo::media::DiskRoots& roots) {
    const std::vector<zo::media::DiskInfo> usable = zo::media::ListDisks(roots);
    const std::vector<std::string> names = zo::media::CandidateDisks(roots);
    std::vector<Row> rows;
    size_t next = 0;
    for (size_t i = 0; i < names.size() && i <= static_cast<size_t>(zo::media::kMaxDriveNumber); ++i) {
        const int number = static_cast<int>(i);
        if (next < usable.size() && usable[next].number == number) {
            rows.push_back({number, usable[next].row, {}});
            ++next;
            continue;
        }
        const std::string device = roots.dev + "/" + names[i];
        const int fd = ::open(device.c_str(), O_RDONLY | O_CLOEXEC);
        const int error = errno;
        if (fd >= 0) {
            ::close(fd);  // opens, but reports no size: not listed
            continue;
        }
        const std::string sys = roots.sysBlock + "/" + names[i];
        bool haveSize = false, haveRemovable = false;
        const uint64_t sectors = ReadSysNumber(sys + "/size", haveSize);
        const uint64_t removable = ReadSysNumber(sys + "/removable", haveRemovable);
        const int type = !haveRemovable ? zo::media::kMediaUnknown
                         : removable    ? zo::media::kMediaRemovable
                                        : zo::media::kMediaFixed;
        rows.push_back({-1, zo::media::DiskRowText(number, type, sectors * 512), OpenFailureReason(error, device)});
    }
    return rows;
}

QString CDiskSelDlg::AskDiskImage(QWidget* owner) {
    return QFileDialog::getOpenFileName(owner, QStringLiteral("Open Disk Image"), QString(),
                                        QStringLiteral("Disk Images (*.img *.dd *.raw *.bin *.IMG *.DD *.RAW *.BIN);;"
                                                       "All Files (*)"));
}
