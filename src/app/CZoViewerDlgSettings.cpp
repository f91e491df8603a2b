// Main window: the settings, loaded once at start-up and written at exit.
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>

#include "app/CZoViewerDlg.h"

namespace {

constexpr const char* kSection = "Zo7R Viewer";
constexpr const char* kDefaultTimeFormat = "%Y/%m/%d %H:%M:%S";
constexpr const char* kDefaultDvrAddress = "192.168.1.100";
constexpr const char* kDefaultDdnsAddress = "192.168.1.200";

QString Folder(QStandardPaths::StandardLocation location) {
    QString base = QStandardPaths::writableLocation(location);
    if (base.isEmpty())
        base = QDir::homePath();
    return QDir::cleanPath(base + QStringLiteral("/ZoCapture"));
}

}  // namespace

QString CZoViewerDlg::DefaultCapturePath() { return Folder(QStandardPaths::PicturesLocation); }

QString CZoViewerDlg::DefaultRecordingPath() { return Folder(QStandardPaths::MoviesLocation); }

QString CZoViewerDlg::PosixFolder(const QString& value, const QString& fallback) {
    if (!value.startsWith(QLatin1Char('/')) || value.contains(QLatin1Char('\\')))
        return fallback;
    return value;
}

void CZoViewerDlg::LoadSettings() {
    std::string error;
    if (!profile_.Load(&error))
        messages_.Show("The settings file " + profile_.Path() + " could not be read (" + error +
                       "); the defaults are used.");
    auto text = [this](const char* key, const QString& fallback) {
        return QString::fromStdString(profile_.GetString(kSection, key, fallback.toStdString()));
    };
    auto number = [this](const char* key, int fallback) { return profile_.GetInt(kSection, key, fallback); };

    capturePath_ = PosixFolder(text("Capture Path", DefaultCapturePath()), DefaultCapturePath());
    alwaysOnTop_ = number("AlwaysOnTop", 0) != 0;
    engine_.SetShowTitle(number("Show Time", 0) != 0);
    // A size saved while minimised, or edited by hand, is never trusted.
    QSize video(number("Video Width", 640), number("Video Height", 448));
    const QScreen* s = QGuiApplication::primaryScreen();
    const QSize screenSize = s != nullptr ? s->availableGeometry().size() : QSize(1920, 1080);
    video = video.boundedTo(screenSize - QSize(5, 140)).expandedTo(kMinimumVideo);
    normalVideo_ = video;
    engine_.SetRepeat(number("Repeat", 0));
    engine_.SetTimeFormat(text("Time Format", QString::fromLatin1(kDefaultTimeFormat)).toStdString());
    // Without a stored volume the device's own level, and full level when
    // the device has none (a first start must not be silent).
    int deviceVolume = engine_.WaveOut().GetDeviceVolume();
    if (deviceVolume == 0)
        deviceVolume = 65535;
    engine_.SetVolume(static_cast<uint32_t>(std::clamp(number("Volume", deviceVolume), 0, 65535)));
    engine_.SetMute(number("Mute", 0) != 0 ? 1 : 0);
    ip_ = text("IP Address", QString::fromLatin1(kDefaultDvrAddress));
    port_ = number("Port", 8841);
    dynamicIp_ = number("DynamicIp", 0) != 0;
    engine_.SetUseDirectDraw(number("Use DDraw", 1) != 0);
    engine_.SetAutoReconnection(number("Auto Reconnection", 1) != 0 ? 1 : 0);
    engine_.SetTimeout(static_cast<uint32_t>(std::max(0, number("Timeout", 7))) * 1000);
    ddnsIp_ = text("Ddns Ip", QString::fromLatin1(kDefaultDdnsAddress));
    ddnsPort_ = number("Ddns Port", 1800);
    localRecordingPath_ = PosixFolder(text("Local Recording Path", DefaultRecordingPath()), DefaultRecordingPath());
    dvrName_ = text("DvrName", QStringLiteral("DVR000"));
    engine_.SetExactSteps(number("Exact Steps", 1) != 0);
}

bool CZoViewerDlg::SaveSettings(QString* error) {
    auto text = [this](const char* key, const QString& value) { profile_.SetString(kSection, key, value.toStdString()); };
    auto number = [this](const char* key, int value) { profile_.SetInt(kSection, key, value); };
    text("Capture Path", capturePath_);
    number("AlwaysOnTop", alwaysOnTop_ ? 1 : 0);
    number("Show Time", engine_.GetShowTitle() ? 1 : 0);
    number("Video Width", normalVideo_.width());
    number("Video Height", normalVideo_.height());
    number("Repeat", engine_.GetRepeat());
    text("Time Format", QString::fromStdString(engine_.GetTimeFormat()));
    number("Volume", static_cast<int>(engine_.GetVolume()));
    number("Mute", engine_.GetMute() ? 1 : 0);
    text("IP Address", ip_);
    number("Port", port_);
    number("DynamicIp", dynamicIp_ ? 1 : 0);
    number("Use DDraw", engine_.GetUseDirectDraw() ? 1 : 0);
    number("Auto Reconnection", engine_.GetAutoReconnection());
    number("Timeout", static_cast<int>(engine_.GetTimeout() / 1000));
    text("Ddns Ip", ddnsIp_);
    number("Ddns Port", ddnsPort_);
    text("Local Recording Path", localRecordingPath_);
    text("DvrName", dvrName_);
    number("Exact Steps", engine_.GetExactSteps() ? 1 : 0);
    std::string why;
    if (profile_.Save(&why))
        return true;
    if (error != nullptr)
        *error = QString::fromStdString(why);
    return false;
}
