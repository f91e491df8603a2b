// Main window: still capture and the save of the marked range.
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/CZoViewerDlg.h"

namespace {

constexpr uint64_t kBlock = 4096;

class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
};

}  // namespace

QString CZoViewerDlg::CaptureFilePath(const QString& folder, const std::tm& now,
                                      const std::function<bool(const QString&)>& exists) {
    const QString stem = QString::asprintf("%04d%02d%02d-%02d%02d%02d", now.tm_year + 1900, now.tm_mon + 1,
                                           now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec);
    QString prefix;
    if (!folder.isEmpty())
        prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    QString path = prefix + stem + QStringLiteral(".bmp");
    // A second capture in the same second must not replace the first.
    for (int n = 2; exists && exists(path); ++n)
        path = prefix + stem + QStringLiteral("-%1.bmp").arg(n);
    return path;
}

QString CZoViewerDlg::StillCapture() {
    WaitCursor wait;
    const QString folder = capturePath_;
    if (!folder.isEmpty()) {
        std::error_code ec;
        std::filesystem::create_directories(folder.toStdString(), ec);
        if (ec) {
            messages_.Show(QStringLiteral("Still capture failed: the folder %1 can not be created (%2).")
                               .arg(folder, QString::fromStdString(ec.message()))
                               .toStdString());
            return {};
        }
    }
    const std::time_t t = std::time(nullptr);
    std::tm now{};
    localtime_r(&t, &now);
    const QString path = CaptureFilePath(folder, now, [](const QString& p) { return QFileInfo::exists(p); });
    errno = 0;
    if (!engine_.CaptureToBitmapFile(path.toStdString())) {
        const int error = errno;
        messages_.Show(QStringLiteral("Still capture failed: %1 could not be written (%2).")
                           .arg(path, error != 0 ? QString::fromLocal8Bit(std::strerror(error))
                                                 : QStringLiteral("nothing to capture"))
                           .toStdString());
        return {};
    }
    return path;
}

QString CZoViewerDlg::ExportItemText(uint64_t markIn, uint64_t markOut) {
    const uint64_t s = markOut > markIn ? markOut - markIn : 0;
    if (s == 0)
        return QStringLiteral("Export (File size: 0 KB)");
    if (s <= 1024)
        return QStringLiteral("Export (File size: 1 KB)");
    if (s <= 1048576)
        return QStringLiteral("Export (File size: %1 KB)").arg(s / 1024);
    if (s <= 1073741824)
        return QStringLiteral("Export (File size: %1 MB)").arg(s / 1048576);
    return QStringLiteral("Export (File size: > 1 GB)");
}

bool CZoViewerDlg::RangeSavable(uint64_t markIn, uint64_t markOut) {
    if (markOut <= markIn)
        return false;
    // The save writes whole blocks: what counts is the rounded range.
    const uint64_t first = markIn / kBlock * kBlock;
    const uint64_t last = (markOut + kBlock - 1) / kBlock * kBlock;
    return last - first <= kMaxRangeBytes;
}

void CZoViewerDlg::SaveRangeCommand() {
    const QString path =
        options_.askSaveRange ? options_.askSaveRange()
                              : QFileDialog::getSaveFileName(this, QStringLiteral("Save As"), QStringLiteral("CAPTURE.ZRF"),
                                                             QStringLiteral("ZRF File Format (*.[Zz][Rr][Ff])"));
    if (path.isEmpty())
        return;
    const uint64_t size = engine_.GetSize();
    // The marks are a half-open range: Mark Out at the very end takes the
    // recording up to its last byte.
    const uint64_t end = std::min(markOut_, size);
    const uint64_t lastIncluded = end >= size ? size - 1 : end;
    QString reason;
    if (!RangeSavable(markIn_, end) || markIn_ >= lastIncluded) {
        reason = QStringLiteral("the marked range is empty or larger than 1 GB");
    } else if (QFileInfo(path).canonicalFilePath() ==
               QFileInfo(QString::fromStdString(engine_.GetPath())).canonicalFilePath()) {
        reason = QStringLiteral("it is the recording being played");
    } else {
        WaitCursor wait;
        errno = 0;
        if (engine_.SaveRange(markIn_, lastIncluded, path.toStdString()))
            return;
        const int error = errno;
        reason = error != 0 ? QString::fromLocal8Bit(std::strerror(error))
                            : QStringLiteral("the recording could not be read or the file could not be written");
    }
    messages_.Show(QStringLiteral("The marked range could not be saved to %1: %2.").arg(path, reason).toStdString());
}
