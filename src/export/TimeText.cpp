#include "export/TimeText.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstring>

namespace zo::exporter {

namespace {
constexpr char kCharacters[] = "0123456789/: ";
}

bool TimeText::Prepare() {
    if (prepared_)
        return true;
    if (!QGuiApplication::instance())
        return false;
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(14);
    font.setBold(true);
    font.setStyleStrategy(QFont::NoAntialias);
    const QFontMetrics metrics(font);
    height_ = metrics.height();
    if (height_ <= 0)
        return false;
    for (int i = 0; i < 13; ++i) {
        const QChar c = QLatin1Char(kCharacters[i]);
        Glyph& g = glyphs_[i];
        g.advance = metrics.horizontalAdvance(c);
        g.width = g.advance + 2;
        QImage image(g.width, height_, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setFont(font);
            painter.setPen(Qt::white);
            painter.drawText(0, metrics.ascent(), QString(c));
        }
        g.mask.assign(static_cast<size_t>(g.width) * static_cast<size_t>(height_), 0);
        for (int y = 0; y < height_; ++y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < g.width; ++x)
                g.mask[static_cast<size_t>(y) * g.width + x] = qAlpha(line[x]) >= 128 ? 1 : 0;
        }
    }
    prepared_ = true;
    return true;
}

const TimeText::Glyph* TimeText::Find(char c) const {
    for (int i = 0; i < 13; ++i)
        if (kCharacters[i] == c)
            return &glyphs_[i];
    return nullptr;
}

void TimeText::Stamp(std::string_view text, uint8_t* picture, int width, int height, int x0, int y0,
                     uint8_t value) const {
    int x = x0;
    for (char c : text) {
        const Glyph* g = Find(c);
        if (!g)
            g = Find(' ');
        for (int gy = 0; gy < height_; ++gy) {
            const int y = y0 + gy;  // from the top
            if (y < 0 || y >= height)
                continue;
            uint8_t* row = picture + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width) * 3;
            const uint8_t* m = g->mask.data() + static_cast<size_t>(gy) * g->width;
            for (int gx = 0; gx < g->width; ++gx) {
                const int px = x + gx;
                if (m[gx] && px >= 0 && px < width)
                    std::memset(row + static_cast<size_t>(px) * 3, value, 3);
            }
        }
        x += g->advance;
    }
}

void TimeText::Draw(std::string_view text, uint8_t* picture, int width, int height) const {
    if (!prepared_ || !picture || width <= 0 || height <= 0)
        return;
    static constexpr int kOutline[4][2] = {{1, 1}, {-1, 1}, {-1, -1}, {1, -1}};
    for (const auto& o : kOutline)
        Stamp(text, picture, width, height, kLeft + o[0], kTop + o[1], 0);
    Stamp(text, picture, width, height, kLeft, kTop, 255);
}

}  // namespace zo::exporter
