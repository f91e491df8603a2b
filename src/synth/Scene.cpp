#include "synth/Scene.h"

#include <cstdio>
#include <cstring>

#include "media/RecordingFormat.h"

namespace zo::synth {
namespace {

struct Glyph {
    char c;
    uint8_t rows[7];  // 5 bits each, bit 4 leftmost
};

constexpr Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}}, {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'/', {0x01, 0x01, 0x02, 0x04, 0x08, 0x10, 0x10}}, {' ', {0, 0, 0, 0, 0, 0, 0}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
};

const Glyph* FindGlyph(char c) {
    for (const Glyph& g : kGlyphs)
        if (g.c == c)
            return &g;
    return nullptr;
}

// Studio-range colour bars: white, yellow, cyan, green, magenta, red, blue, black.
constexpr uint8_t kBars[8][3] = {{235, 128, 128}, {210, 16, 146}, {170, 166, 16}, {145, 54, 34},
                                 {106, 202, 222}, {81, 90, 240},  {41, 240, 110}, {16, 128, 128}};

}  // namespace

void DrawText(uint8_t* luma, int width, int height, int x0, int y0, int scale, const char* text, uint8_t value) {
    const int length = static_cast<int>(std::strlen(text));
    // Dark box behind the text.
    for (int y = y0 - scale; y < y0 + 8 * scale; ++y)
        for (int x = x0 - scale; x < x0 + length * 6 * scale; ++x)
            if (x >= 0 && y >= 0 && x < width && y < height)
                luma[y * width + x] = 16;
    for (int i = 0; i < length; ++i) {
        const Glyph* g = FindGlyph(text[i]);
        if (!g)
            continue;
        for (int r = 0; r < 7; ++r)
            for (int c = 0; c < 5; ++c) {
                if (!(g->rows[r] & (0x10 >> c)))
                    continue;
                for (int dy = 0; dy < scale; ++dy)
                    for (int dx = 0; dx < scale; ++dx) {
                        const int x = x0 + (i * 6 + c) * scale + dx;
                        const int y = y0 + r * scale + dy;
                        if (x >= 0 && y >= 0 && x < width && y < height)
                            luma[y * width + x] = value;
                    }
            }
    }
}

void RenderScene(uint8_t* picture, int height, int channel, uint64_t frame, uint32_t unixSeconds) {
    const int width = 640;
    uint8_t* luma = picture;
    uint8_t* cb = picture + width * height;
    uint8_t* cr = cb + width * height / 4;
    const int cw = width / 2;
    const int barsEnd = height / 4;    // colour bars on top
    const int bandEnd = height / 2;    // moving gradient below them
    // Each channel has its own tint and checker size in the lower half.
    const int tintCb = 128 + ((channel * 37) % 64) - 32;
    const int tintCr = 128 + ((channel * 53) % 64) - 32;
    const int checker = 8 << (channel % 4);

    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int v = 0;
            if (y < barsEnd) {
                v = kBars[x * 8 / width][0];
            } else if (y < bandEnd) {
                const int phase = static_cast<int>((static_cast<uint64_t>(x) + frame * 4) % 320);
                v = 32 + (phase < 160 ? phase : 320 - phase) * 190 / 160;
            } else {
                const bool on = ((x / checker) + (y / checker)) % 2 == 0;
                v = on ? 150 : 90;
            }
            luma[y * width + x] = static_cast<uint8_t>(v);
        }
    }
    for (int y = 0; y < height / 2; ++y) {
        for (int x = 0; x < cw; ++x) {
            int u = 128, w = 128;
            if (2 * y < barsEnd) {
                u = kBars[2 * x * 8 / width][1];
                w = kBars[2 * x * 8 / width][2];
            } else if (2 * y < bandEnd) {
                u = 128 + (static_cast<int>((static_cast<uint64_t>(x) + frame * 2) % 160) - 80) / 2;
                w = 128 - (static_cast<int>((static_cast<uint64_t>(x) + frame * 2) % 160) - 80) / 2;
            } else {
                u = tintCb;
                w = tintCr;
            }
            cb[y * cw + x] = static_cast<uint8_t>(u);
            cr[y * cw + x] = static_cast<uint8_t>(w);
        }
    }
    const media::CalendarTime t = media::CalendarFromUnixSeconds(unixSeconds);
    char text[64];
    std::snprintf(text, sizeof text, "CH%d", channel + 1);
    DrawText(luma, width, height, 24, bandEnd + 12, 4, text, 235);
    std::snprintf(text, sizeof text, "%06llu", static_cast<unsigned long long>(frame % 1000000));
    DrawText(luma, width, height, 200, bandEnd + 12, 4, text, 235);
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", t.hour, t.minute, t.second);
    DrawText(luma, width, height, 400, bandEnd + 12, 4, text, 235);
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", t.year, t.month, t.day);
    DrawText(luma, width, height, 24, height - 40, 3, text, 200);
}

}  // namespace zo::synth
