// TimeText: the recording time burned into exported pictures, black outline
// and white fill, at (8, 8) from the top left.
//
// The glyphs of the characters a time text can hold ("0"-"9", "/", ":", " ")
// are rendered once with QtGui, without anti-aliasing, when Prepare runs;
// Draw then stamps the text into each picture with plain loops: black at
// (9, 9), (7, 9), (7, 7) and (9, 7), then white at (8, 8). So the export
// thread uses no Qt, allocates nothing per picture and every stamped pixel
// is pure black or white.
//
// Threads: Prepare needs a QGuiApplication and belongs to the thread that
// runs it (the user-interface thread); Draw may then run on another thread.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace zo::exporter {

class TimeText {
public:
    // Renders the glyphs. false (Draw does nothing) without a
    // QGuiApplication or a usable font.
    bool Prepare();
    bool IsPrepared() const { return prepared_; }

    // Stamps `text` into a 24-bit bottom-up picture of width x height.
    // Characters without a glyph advance like a blank; nothing is written
    // outside the picture.
    void Draw(std::string_view text, uint8_t* bgrBottomUp, int width, int height) const;

    int GlyphHeight() const { return height_; }

    static constexpr int kLeft = 8;
    static constexpr int kTop = 8;

private:
    struct Glyph {
        int advance = 0;
        int width = 0;
        std::vector<uint8_t> mask;  // width x height_, 1 = ink
    };
    const Glyph* Find(char c) const;
    void Stamp(std::string_view text, uint8_t* picture, int width, int height, int x0, int y0,
               uint8_t value) const;

    bool prepared_ = false;
    int height_ = 0;
    Glyph glyphs_[13];  // "0123456789/: "
};

}  // namespace zo::exporter
