#include "app/dialogs/CAboutDlg.h"

#include <SDL.h>
#include <xvid.h>

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>
#include <QtGlobal>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#ifndef ZO_BUILD_VERSION
#define ZO_BUILD_VERSION "unknown"
#endif

namespace {

QString DottedVersion(unsigned v) {
    return QStringLiteral("%1.%2.%3").arg(v >> 16).arg((v >> 8) & 0xFF).arg(v & 0xFF);
}

QString XvidVersion() {
    xvid_gbl_info_t info{};
    info.version = XVID_VERSION;
    if (xvid_global(nullptr, XVID_GBL_INFO, &info, nullptr) < 0)
        return QStringLiteral("%1 (built with)").arg(DottedVersion(XVID_VERSION));
    return DottedVersion(static_cast<unsigned>(info.actual_version));
}

}  // namespace

QString CAboutDlg::LibraryText() {
    SDL_version sdl{};
    SDL_GetVersion(&sdl);
    QStringList lines;
    lines << QStringLiteral("Qt %1 - GNU LGPL version 3").arg(QString::fromLatin1(qVersion()));
    lines << QStringLiteral("SDL %1.%2.%3 - zlib licence").arg(sdl.major).arg(sdl.minor).arg(sdl.patch);
    lines << QStringLiteral("FFmpeg libavformat %1, libavcodec %2 - %3")
                 .arg(DottedVersion(avformat_version()), DottedVersion(avcodec_version()),
                      QString::fromLatin1(avformat_license()));
    lines << QStringLiteral("Xvid %1 - GNU GPL version 2").arg(XvidVersion());
    return lines.join(QLatin1Char('\n'));
}

CAboutDlg::CAboutDlg(QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("About Viewer"));
    auto* product = new QLabel(QStringLiteral("Zo7R Viewer"), this);
    QFont big = product->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    product->setFont(big);
    auto* version = new QLabel(QStringLiteral("1.3.0.0"), this);
    auto* library = new QLabel(QStringLiteral("KT - 1.3.0.0"), this);
    auto* build = new QLabel(QStringLiteral("Build %1").arg(QStringLiteral(ZO_BUILD_VERSION)), this);
    auto* libraries = new QLabel(LibraryText(), this);
    libraries->setTextInteractionFlags(Qt::TextSelectableByMouse);
    libraries->setAccessibleName(QStringLiteral("Libraries"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(product);
    layout->addWidget(version);
    layout->addWidget(library);
    layout->addWidget(build);
    layout->addSpacing(8);
    layout->addWidget(new QLabel(QStringLiteral("Runs on:"), this));
    layout->addWidget(libraries);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(buttons, &QDialogButtonBox::accepted, this, &CAboutDlg::accept);
}
