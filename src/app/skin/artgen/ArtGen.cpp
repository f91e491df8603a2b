// artgen: draws the viewer's artwork from vector shapes and writes it as PNG
// files at 1x and 2x, plus the application icon and a Qt resource list.
//
//   artgen OUTDIR
//
// writes OUTDIR/skin/<id>.png, OUTDIR/skin/<id>@2x.png for every strip,
// OUTDIR/icons/zoviewer_<n>.png for the icon sizes and OUTDIR/skin.qrc.
// The output depends only on this program: no fonts, no clock, no randomness.
//
// One dark look: charcoal body, light-grey glyphs, a blue accent. Button
// strips have five frames: normal, pressed, hover, disabled and the mask
// (black where the button is opaque). Slider thumbs and the volume channel
// are see-through where their pixels are magenta (255, 0, 255); on top of
// that their PNGs carry alpha, so edges stay smooth at 2x.
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

// Palette.
const QColor kBody(30, 33, 39);
const QColor kBodyLight(44, 49, 57);
const QColor kOuter(9, 10, 12);
const QColor kHighlight(66, 73, 84);
const QColor kAccent(63, 181, 255);   // the status strip's colour B
const QColor kAccentDark(23, 64, 103);  // the status strip's colour A
const QColor kGlyph(214, 220, 228);
const QColor kGlyphDisabled(80, 86, 95);
const QColor kRed(226, 64, 64);
const QColor kGreen(64, 214, 96);
const QColor kAmber(245, 178, 48);
const QColor kMagenta(255, 0, 255);

// ---------------------------------------------------------------- glyphs

using Path = QPainterPath;

// A glyph: the main shape (drawn in the frame's glyph colour) and an
// optional coloured part (kept in its own colour unless disabled).
struct Glyph {
    Path main;
    Path coloured;
    QColor colour;
};

Path Triangle(QPointF a, QPointF b, QPointF c) {
    Path p;
    p.moveTo(a);
    p.lineTo(b);
    p.lineTo(c);
    p.closeSubpath();
    return p;
}

// Triangle pointing right (dir 1) or left (dir -1) in box.
Path Arrow(const QRectF& r, int dir) {
    if (dir > 0) return Triangle(r.topLeft(), QPointF(r.right(), r.center().y()), r.bottomLeft());
    return Triangle(r.topRight(), QPointF(r.left(), r.center().y()), r.bottomRight());
}

Path ArrowUp(const QRectF& r) {
    return Triangle(r.bottomLeft(), QPointF(r.center().x(), r.top()), r.bottomRight());
}

Path ArrowDown(const QRectF& r) {
    return Triangle(r.topLeft(), QPointF(r.center().x(), r.bottom()), r.topRight());
}

Path Rect(const QRectF& r, double radius = 0.0) {
    Path p;
    if (radius > 0.0)
        p.addRoundedRect(r, radius, radius);
    else
        p.addRect(r);
    return p;
}

// A digit 1 to 4 drawn as strokes in box r (height about twice the width).
Path Digit(const QRectF& r, int digit) {
    auto at = [&](double x, double y) { return QPointF(r.left() + x * r.width(), r.top() + y * r.height()); };
    Path line;
    switch (digit) {
    case 1:
        line.moveTo(at(0.15, 0.28));
        line.lineTo(at(0.62, 0.06));
        line.lineTo(at(0.62, 0.94));
        break;
    case 2:
        line.moveTo(at(0.08, 0.28));
        line.cubicTo(at(0.1, -0.02), at(0.92, -0.02), at(0.9, 0.3));
        line.cubicTo(at(0.88, 0.54), at(0.3, 0.66), at(0.08, 0.94));
        line.lineTo(at(0.94, 0.94));
        break;
    case 3:
        line.moveTo(at(0.1, 0.06));
        line.lineTo(at(0.88, 0.06));
        line.lineTo(at(0.42, 0.42));
        line.cubicTo(at(1.02, 0.38), at(1.02, 0.98), at(0.48, 0.95));
        line.cubicTo(at(0.3, 0.94), at(0.15, 0.9), at(0.06, 0.8));
        break;
    default:
        line.moveTo(at(0.7, 0.94));
        line.lineTo(at(0.7, 0.06));
        line.lineTo(at(0.06, 0.68));
        line.lineTo(at(0.96, 0.68));
        break;
    }
    QPainterPathStroker stroker;
    stroker.setWidth(0.15 * r.height());
    stroker.setCapStyle(Qt::FlatCap);
    stroker.setJoinStyle(Qt::MiterJoin);
    return stroker.createStroke(line).simplified();
}

// Glyphs are laid out in a unit box scaled into the frame: u(x, y, w, h)
// gives a rectangle in fractions of the glyph box.
struct Box {
    QRectF r;
    QRectF u(double x, double y, double w, double h) const {
        return QRectF(r.left() + x * r.width(), r.top() + y * r.height(), w * r.width(), h * r.height());
    }
    QPointF p(double x, double y) const { return QPointF(r.left() + x * r.width(), r.top() + y * r.height()); }
};

Glyph GlyphPlay(const Box& b) { return {Arrow(b.u(0.2, 0.05, 0.7, 0.9), 1), {}, {}}; }
Glyph GlyphReverse(const Box& b) { return {Arrow(b.u(0.1, 0.05, 0.7, 0.9), -1), {}, {}}; }
Glyph GlyphPause(const Box& b) {
    Path p = Rect(b.u(0.18, 0.08, 0.22, 0.84), 0.6);
    p.addPath(Rect(b.u(0.6, 0.08, 0.22, 0.84), 0.6));
    return {p, {}, {}};
}
Glyph GlyphFast(const Box& b, int dir) {
    Path p;
    if (dir > 0) {
        p = Arrow(b.u(0.02, 0.12, 0.48, 0.76), 1);
        p.addPath(Arrow(b.u(0.5, 0.12, 0.48, 0.76), 1));
    } else {
        p = Arrow(b.u(0.02, 0.12, 0.48, 0.76), -1);
        p.addPath(Arrow(b.u(0.5, 0.12, 0.48, 0.76), -1));
    }
    return {p, {}, {}};
}
Glyph GlyphStep(const Box& b, int dir) {
    Path p;
    if (dir > 0) {
        p = Arrow(b.u(0.12, 0.12, 0.55, 0.76), 1);
        p.addPath(Rect(b.u(0.7, 0.12, 0.16, 0.76)));
    } else {
        p = Arrow(b.u(0.33, 0.12, 0.55, 0.76), -1);
        p.addPath(Rect(b.u(0.14, 0.12, 0.16, 0.76)));
    }
    return {p, {}, {}};
}
Glyph GlyphOpen(const Box& b) {
    // A folder with an open flap.
    Path back;
    back.moveTo(b.p(0.04, 0.16));
    back.lineTo(b.p(0.38, 0.16));
    back.lineTo(b.p(0.48, 0.28));
    back.lineTo(b.p(0.9, 0.28));
    back.lineTo(b.p(0.9, 0.44));
    back.lineTo(b.p(0.04, 0.44));
    back.closeSubpath();
    Path front;
    front.moveTo(b.p(0.16, 0.48));
    front.lineTo(b.p(1.0, 0.48));
    front.lineTo(b.p(0.86, 0.86));
    front.lineTo(b.p(0.02, 0.86));
    front.closeSubpath();
    Path side = Rect(b.u(0.04, 0.16, 0.1, 0.7));
    Path p = back.united(front).united(side);
    return {p, {}, {}};
}
Glyph GlyphCamera(const Box& b) {
    Path body = Rect(b.u(0.02, 0.26, 0.96, 0.62), 0.12 * b.r.width());
    body.addPath(Rect(b.u(0.3, 0.14, 0.36, 0.16), 0.05 * b.r.width()));
    body = body.simplified();
    Path lens;
    lens.addEllipse(b.p(0.5, 0.57), 0.22 * b.r.width(), 0.22 * b.r.height());
    Path dot;
    dot.addEllipse(b.p(0.5, 0.57), 0.11 * b.r.width(), 0.11 * b.r.height());
    Path p = body.subtracted(lens).united(dot);
    Path flash;
    flash.addEllipse(b.p(0.82, 0.38), 0.05 * b.r.width(), 0.05 * b.r.height());
    return {p.subtracted(flash), {}, {}};
}
Glyph GlyphSplit1(const Box& b) {
    Path outer = Rect(b.u(0.06, 0.1, 0.88, 0.8), 0.08 * b.r.width());
    Path inner = Rect(b.u(0.18, 0.22, 0.64, 0.56), 0.03 * b.r.width());
    return {outer.subtracted(Rect(b.u(0.13, 0.17, 0.74, 0.66))).united(inner), {}, {}};
}
Glyph GlyphSplit4(const Box& b) {
    Path p;
    for (int i = 0; i < 4; ++i) {
        const double x = 0.06 + (i % 2) * 0.46;
        const double y = 0.1 + (i / 2) * 0.42;
        p.addPath(Rect(b.u(x, y, 0.42, 0.38), 0.04 * b.r.width()));
    }
    return {p, {}, {}};
}
// A plug with prongs; `broken` adds a slash and colours it red.
Glyph GlyphPlug(const Box& b, bool connected) {
    Path p = Rect(b.u(0.26, 0.3, 0.48, 0.36), 0.06 * b.r.width());
    p.addPath(Rect(b.u(0.34, 0.06, 0.09, 0.26)));
    p.addPath(Rect(b.u(0.57, 0.06, 0.09, 0.26)));
    p.addPath(Rect(b.u(0.44, 0.64, 0.12, 0.32)));
    p = p.simplified();
    Glyph g{p, {}, {}};
    if (connected) {
        // Connected: a green lamp on the plug's body.
        Path lamp;
        lamp.addEllipse(b.p(0.5, 0.48), 0.08 * b.r.width(), 0.08 * b.r.height());
        g.main = p.subtracted(lamp);
        g.coloured = lamp;
        g.colour = kGreen;
    }
    return g;
}
Glyph GlyphUnplug(const Box& b) {
    Glyph g = GlyphPlug(b, false);
    QPainterPathStroker stroker;
    stroker.setWidth(0.14 * b.r.width());
    stroker.setCapStyle(Qt::RoundCap);
    Path line;
    line.moveTo(b.p(0.1, 0.92));
    line.lineTo(b.p(0.9, 0.08));
    Path slash = stroker.createStroke(line);
    QPainterPathStroker gap;
    gap.setWidth(0.3 * b.r.width());
    g.main = g.main.subtracted(gap.createStroke(line));
    g.coloured = slash;
    g.colour = kRed;
    return g;
}
Glyph GlyphRecordStop(const Box& b) {
    Path dot;
    dot.addEllipse(b.u(0.0, 0.22, 0.46, 0.56));
    Path sq = Rect(b.u(0.58, 0.26, 0.42, 0.48), 0.04 * b.r.width());
    return {sq, dot, kRed};
}
Glyph GlyphPlayPause(const Box& b) {
    Path p = Arrow(b.u(0.0, 0.15, 0.44, 0.7), 1);
    p.addPath(Rect(b.u(0.58, 0.15, 0.14, 0.7)));
    p.addPath(Rect(b.u(0.84, 0.15, 0.14, 0.7)));
    return {p, {}, {}};
}
// A direction arrow with a channel number beside it.
Glyph GlyphKey(const Box& b, int direction, int channel) {
    Path arrow;
    const QRectF a = b.u(0.0, 0.2, 0.56, 0.6);
    switch (direction) {
    case 0: arrow = ArrowUp(a); break;
    case 1: arrow = ArrowDown(a); break;
    case 2: arrow = Arrow(a, -1); break;
    default: arrow = Arrow(a, 1); break;
    }
    Path digit = Digit(b.u(0.68, 0.18, 0.32, 0.64), channel);
    arrow.addPath(digit);
    return {arrow, {}, {}};
}
Glyph GlyphMenu(const Box& b) {
    Path p;
    for (int i = 0; i < 3; ++i) p.addPath(Rect(b.u(0.1, 0.16 + i * 0.28, 0.8, 0.13), 0.03 * b.r.width()));
    return {p, {}, {}};
}
// Speaker with sound waves, or crossed out (muted).
Glyph GlyphSpeaker(const Box& b, bool muted) {
    Path p;
    p.moveTo(b.p(0.02, 0.34));
    p.lineTo(b.p(0.22, 0.34));
    p.lineTo(b.p(0.48, 0.1));
    p.lineTo(b.p(0.48, 0.9));
    p.lineTo(b.p(0.22, 0.66));
    p.lineTo(b.p(0.02, 0.66));
    p.closeSubpath();
    QPainterPathStroker stroker;
    stroker.setWidth(0.1 * b.r.width());
    stroker.setCapStyle(Qt::RoundCap);
    Glyph g{p, {}, {}};
    if (muted) {
        Path x;
        x.moveTo(b.p(0.62, 0.32));
        x.lineTo(b.p(0.94, 0.68));
        x.moveTo(b.p(0.94, 0.32));
        x.lineTo(b.p(0.62, 0.68));
        g.coloured = stroker.createStroke(x);
        g.colour = kRed;
    } else {
        Path waves;
        waves.arcMoveTo(b.u(0.3, 0.26, 0.36, 0.48), -50);
        waves.arcTo(b.u(0.3, 0.26, 0.36, 0.48), -50, 100);
        waves.arcMoveTo(b.u(0.24, 0.06, 0.7, 0.88), -50);
        waves.arcTo(b.u(0.24, 0.06, 0.7, 0.88), -50, 100);
        g.main.addPath(stroker.createStroke(waves));
    }
    return g;
}
Glyph GlyphMinimize(const Box& b) { return {Rect(b.u(0.18, 0.66, 0.64, 0.16)), {}, {}}; }
Glyph GlyphClose(const Box& b) {
    QPainterPathStroker stroker;
    stroker.setWidth(0.16 * b.r.width());
    stroker.setCapStyle(Qt::RoundCap);
    Path x;
    x.moveTo(b.p(0.2, 0.2));
    x.lineTo(b.p(0.8, 0.8));
    x.moveTo(b.p(0.8, 0.2));
    x.lineTo(b.p(0.2, 0.8));
    return {stroker.createStroke(x), {}, {}};
}
// Mode tabs: a film frame with a play mark (player), a camera with signal
// waves (network viewer).
Glyph GlyphFilm(const Box& b) {
    Path frame = Rect(b.u(0.0, 0.08, 1.0, 0.84), 0.05 * b.r.width());
    Path hole = Rect(b.u(0.18, 0.2, 0.64, 0.6));
    Path p = frame.subtracted(hole);
    for (int i = 0; i < 4; ++i) {
        p = p.subtracted(Rect(b.u(0.04, 0.14 + i * 0.19, 0.08, 0.1)));
        p = p.subtracted(Rect(b.u(0.88, 0.14 + i * 0.19, 0.08, 0.1)));
    }
    Path play = Arrow(b.u(0.38, 0.3, 0.28, 0.4), 1);
    return {p, play, kAccent};
}
Glyph GlyphLive(const Box& b) {
    Path body = Rect(b.u(0.0, 0.34, 0.56, 0.4), 0.04 * b.r.width());
    body.addPath(Triangle(b.p(0.56, 0.46), b.p(0.74, 0.34), b.p(0.74, 0.74)));
    body.addPath(Rect(b.u(0.2, 0.74, 0.12, 0.16)));
    body = body.simplified();
    QPainterPathStroker stroker;
    stroker.setWidth(0.06 * b.r.width());
    stroker.setCapStyle(Qt::RoundCap);
    Path waves;
    waves.arcMoveTo(b.u(0.62, 0.04, 0.3, 0.4), 10);
    waves.arcTo(b.u(0.62, 0.04, 0.3, 0.4), 10, 70);
    waves.arcMoveTo(b.u(0.56, -0.12, 0.5, 0.66), 10);
    waves.arcTo(b.u(0.56, -0.12, 0.5, 0.66), 10, 70);
    return {body, stroker.createStroke(waves), kAccent};
}

// ------------------------------------------------------------ button strips

enum class Shape { RoundRect, Key, Small, Tab, Logo };

struct ButtonArt {
    int id;
    int frameWidth;
    int frameHeight;
    Shape shape;
    std::function<Glyph(const Box&)> glyph;
    // The pressed frame shows another glyph (mute: the muted speaker).
    std::function<Glyph(const Box&)> pressedGlyph;
    double glyphScale = 0.56;
};

double Radius(Shape shape, const QRectF& r) {
    switch (shape) {
    case Shape::Key: return 7.0;
    case Shape::Small: return 4.0;
    case Shape::Tab: return 5.0;
    case Shape::Logo: return r.height() / 2.0;
    default: return 5.0;
    }
}

Path ButtonOutline(Shape shape, const QRectF& frame) {
    const QRectF r = frame.adjusted(0.5, 0.5, -0.5, -0.5);
    Path p;
    p.addRoundedRect(r, Radius(shape, r), Radius(shape, r));
    return p;
}

void DrawGlyph(QPainter& p, const Glyph& g, const QColor& main, bool disabled) {
    p.setPen(Qt::NoPen);
    p.setBrush(main);
    p.drawPath(g.main);
    if (!g.coloured.isEmpty()) {
        p.setBrush(disabled ? main : g.colour);
        p.drawPath(g.coloured);
    }
}

// Draws frame `index` (0 normal, 1 pressed, 2 hover, 3 disabled, 4 mask)
// of a button into `frame` (logical coordinates).
void DrawButtonFrame(QPainter& p, const ButtonArt& art, int index, const QRectF& frame) {
    const Path outline = ButtonOutline(art.shape, frame);
    if (index == 4) {
        p.fillRect(frame, Qt::white);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawPath(outline);
        return;
    }
    if (art.shape == Shape::Logo) {
        // The program button: a lens in a ring.
        const QPointF c = frame.center();
        const double rad = std::min(frame.width(), frame.height()) / 2.0 - 1.0;
        QRadialGradient ring(c, rad);
        const QColor outer = index == 3 ? QColor(50, 54, 60) : (index == 2 ? kAccent : kAccentDark);
        ring.setColorAt(0.0, QColor(12, 14, 18));
        ring.setColorAt(0.55, QColor(20, 30, 44));
        ring.setColorAt(0.8, outer);
        ring.setColorAt(1.0, QColor(10, 12, 16));
        p.setPen(Qt::NoPen);
        p.setBrush(ring);
        p.drawEllipse(c, rad, rad);
        p.setBrush(index == 3 ? QColor(70, 76, 84) : (index == 1 ? kGlyph : kAccent));
        p.drawEllipse(c, rad * 0.32, rad * 0.32);
        p.setBrush(QColor(255, 255, 255, 170));
        p.drawEllipse(c + QPointF(-rad * 0.1, -rad * 0.1), rad * 0.1, rad * 0.1);
        return;
    }
    QColor top, bottom, border, glyph;
    switch (index) {
    case 1: top = QColor(20, 23, 27); bottom = QColor(34, 38, 44); border = QColor(10, 11, 13); glyph = kAccent; break;
    case 2: top = QColor(78, 87, 100); bottom = QColor(50, 56, 65); border = QColor(44, 120, 176); glyph = Qt::white; break;
    case 3: top = QColor(38, 41, 47); bottom = QColor(34, 37, 42); border = QColor(22, 24, 28); glyph = kGlyphDisabled; break;
    default: top = QColor(60, 66, 76); bottom = QColor(38, 42, 49); border = QColor(12, 13, 16); glyph = kGlyph; break;
    }
    if (art.shape == Shape::Small && index == 2 && art.id == 264) {
        top = QColor(220, 70, 66);
        bottom = QColor(180, 44, 40);
        border = QColor(120, 30, 28);
    }
    QLinearGradient fill(frame.topLeft(), frame.bottomLeft());
    fill.setColorAt(0.0, top);
    fill.setColorAt(1.0, bottom);
    p.setPen(QPen(border, 1.0));
    p.setBrush(fill);
    p.drawPath(outline);
    if (index == 0 || index == 2) {
        // A soft highlight along the top inside edge.
        p.save();
        p.setClipPath(outline);
        p.setPen(QPen(QColor(255, 255, 255, index == 2 ? 46 : 30), 1.0));
        p.drawLine(QPointF(frame.left() + 3, frame.top() + 1.5), QPointF(frame.right() - 3, frame.top() + 1.5));
        p.restore();
    }
    if (index == 1 && art.shape == Shape::Tab) {
        // The active tab: an accent bar along the bottom.
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        p.drawRoundedRect(QRectF(frame.left() + 8, frame.bottom() - 4, frame.width() - 16, 2), 1, 1);
    }
    const double side = std::min(frame.width(), frame.height()) * art.glyphScale;
    QRectF box(0, 0, art.shape == Shape::Tab ? side * 1.5 : side, side);
    box.moveCenter(frame.center());
    if (index == 1) box.translate(art.shape == Shape::Tab ? 0.0 : 1.0, art.shape == Shape::Tab ? -1.0 : 1.0);
    const auto& make = (index == 1 && art.pressedGlyph) ? art.pressedGlyph : art.glyph;
    DrawGlyph(p, make(Box{box}), glyph, index == 3);
}

// ------------------------------------------------------------------ output

struct Output {
    QString dir;
    std::vector<QString> files;  // relative to dir, for the resource list
    bool ok = true;

    void Save(const QImage& image, const QString& name) {
        const QString path = dir + "/" + name;
        if (!image.save(path, "PNG")) {
            std::fprintf(stderr, "artgen: cannot write %s\n", qPrintable(path));
            ok = false;
        }
        files.push_back(name);
    }
};

// Renders a picture of logical size w x h at `scale` through `draw`.
QImage Render(int w, int h, int scale, const std::function<void(QPainter&)>& draw) {
    QImage image(w * scale, h * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.scale(scale, scale);
    draw(p);
    p.end();
    return image;
}

// Stores fully transparent pixels as magenta with alpha 0, so that the
// key-colour rule (magenta is see-through) and the alpha agree.
QImage KeyTransparent(const QImage& image) {
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            if (qAlpha(line[x]) == 0) line[x] = 0x00FF00FFu;
    }
    return out;
}

void SaveBoth(Output& out, int id, int w, int h, const std::function<void(QPainter&)>& draw,
              bool keyed = false) {
    for (int scale : {1, 2}) {
        QImage image = Render(w, h, scale, draw);
        if (keyed) image = KeyTransparent(image);
        out.Save(image, QString("skin/%1%2.png").arg(id).arg(scale == 2 ? "@2x" : ""));
    }
}

void MakeButtons(Output& out) {
    using B = const Box&;
    const std::vector<ButtonArt> buttons = {
        {200, 30, 28, Shape::RoundRect, [](B b) { return GlyphPlay(b); }, {}},
        {282, 30, 28, Shape::RoundRect, [](B b) { return GlyphReverse(b); }, {}},
        {227, 30, 28, Shape::RoundRect, [](B b) { return GlyphPause(b); }, {}},
        {230, 30, 28, Shape::RoundRect, [](B b) { return GlyphFast(b, -1); }, {}, 0.6},
        {231, 30, 28, Shape::RoundRect, [](B b) { return GlyphFast(b, 1); }, {}, 0.6},
        {236, 30, 28, Shape::RoundRect, [](B b) { return GlyphStep(b, 1); }, {}},
        {237, 30, 28, Shape::RoundRect, [](B b) { return GlyphStep(b, -1); }, {}},
        {281, 30, 28, Shape::RoundRect, [](B b) { return GlyphOpen(b); }, {}, 0.62},
        {242, 30, 28, Shape::RoundRect, [](B b) { return GlyphCamera(b); }, {}, 0.62},
        {300, 30, 28, Shape::RoundRect, [](B b) { return GlyphSplit1(b); }, {}, 0.6},
        {245, 30, 28, Shape::RoundRect, [](B b) { return GlyphSplit4(b); }, {}, 0.6},
        {306, 26, 27, Shape::RoundRect, [](B b) { return GlyphPlug(b, false); }, {}, 0.64},
        {333, 26, 27, Shape::RoundRect, [](B b) { return GlyphUnplug(b); }, {}, 0.64},
        {372, 44, 32, Shape::Key, [](B b) { return GlyphFast(b, -1); }, {}, 0.5},
        {374, 44, 32, Shape::Key, [](B b) { return GlyphFast(b, 1); }, {}, 0.5},
        {375, 44, 32, Shape::Key, [](B b) { return GlyphPlayPause(b); }, {}, 0.5},
        {376, 44, 32, Shape::Key, [](B b) { return GlyphRecordStop(b); }, {}, 0.5},
        {377, 44, 32, Shape::Key, [](B b) { return GlyphKey(b, 0, 1); }, {}, 0.56},
        {378, 44, 32, Shape::Key, [](B b) { return GlyphKey(b, 1, 3); }, {}, 0.56},
        {379, 44, 32, Shape::Key, [](B b) { return GlyphKey(b, 2, 2); }, {}, 0.56},
        {380, 44, 32, Shape::Key, [](B b) { return GlyphKey(b, 3, 4); }, {}, 0.56},
        {381, 44, 32, Shape::Key, [](B b) { return GlyphMenu(b); }, {}, 0.5},
        {371, 16, 16, Shape::Small, [](B b) { return GlyphSpeaker(b, false); },
         [](B b) { return GlyphSpeaker(b, true); }, 0.78},
        {261, 16, 16, Shape::Small, [](B b) { return GlyphMinimize(b); }, {}, 0.7},
        {264, 16, 16, Shape::Small, [](B b) { return GlyphClose(b); }, {}, 0.66},
        {285, 26, 22, Shape::Logo, [](B b) { return GlyphPlay(b); }, {}},
        {359, 76, 24, Shape::Tab, [](B b) { return GlyphFilm(b); }, {}, 0.62},
        {360, 76, 24, Shape::Tab, [](B b) { return GlyphLive(b); }, {}, 0.62},
    };
    for (const ButtonArt& art : buttons) {
        const int frames = 5;
        SaveBoth(out, art.id, art.frameWidth * frames, art.frameHeight, [&](QPainter& p) {
            for (int i = 0; i < frames; ++i)
                DrawButtonFrame(p, art, i, QRectF(i * art.frameWidth, 0, art.frameWidth, art.frameHeight));
        });
    }
}

// The nine-piece window skin, 58 x 176. Quarters are the corners; the
// columns 29..33 and the rows 88..104 are stretched into the edges, so the
// bands run unchanged along them. Top: a title band (0..26) with an accent
// line under it; the rest is the body with a bevelled border.
void MakeSkin(Output& out) {
    const int w = 58, h = 176;
    SaveBoth(out, 290, w, h, [&](QPainter& p) {
        const QRectF all(0, 0, w, h);
        Path shape;
        shape.addRoundedRect(all, 6, 6);
        p.setPen(Qt::NoPen);
        p.setBrush(kOuter);
        p.drawPath(shape);
        Path inner;
        inner.addRoundedRect(all.adjusted(1, 1, -1, -1), 5, 5);
        p.setBrush(kHighlight);
        p.drawPath(inner);
        // A bevel: lit along the top and left, in shadow along the bottom
        // and right; the change happens in the corners, which are not
        // stretched.
        p.save();
        p.setClipPath(Triangle(QPointF(w, 0), QPointF(w, h), QPointF(0, h)));
        p.setBrush(QColor(38, 42, 49));
        p.drawPath(inner);
        p.restore();
        Path body;
        body.addRoundedRect(all.adjusted(2, 2, -1.5, -1.5), 4, 4);
        p.setBrush(kBody);
        p.drawPath(body);
        p.save();
        p.setClipPath(body);
        QLinearGradient title(0, 0, 0, 27);
        title.setColorAt(0.0, QColor(56, 62, 72));
        title.setColorAt(1.0, QColor(38, 42, 49));
        p.fillRect(QRectF(0, 0, w, 27), title);
        p.fillRect(QRectF(0, 27, w, 1), kAccentDark);
        p.fillRect(QRectF(0, 28, w, 1), QColor(16, 18, 21));
        QLinearGradient modes(0, 29, 0, 60);
        modes.setColorAt(0.0, kBodyLight);
        modes.setColorAt(1.0, kBody);
        p.fillRect(QRectF(0, 29, w, 31), modes);
        // Bottom: a slightly darker floor under the buttons.
        QLinearGradient floor(0, 150, 0, h);
        floor.setColorAt(0.0, kBody);
        floor.setColorAt(1.0, QColor(22, 24, 29));
        p.fillRect(QRectF(0, 150, w, h - 150), floor);
        p.restore();
    });
}

// Position slider: an opaque groove 12 pixels high (215 normal, 216 the
// played part in the accent colour) and a round thumb (218, active 217).
// Volume: a see-through wedge (277, 276 filled) and a small pill thumb
// (275, active 278).
void MakeSliders(Output& out) {
    const int pw = 300, ph = 12;
    for (int active = 0; active < 2; ++active) {
        SaveBoth(out, active ? 216 : 215, pw, ph, [&](QPainter& p) {
            p.fillRect(QRectF(0, 0, pw, ph), kBody);
            const QRectF groove(2, 3.5, pw - 4, 5);
            p.setPen(QPen(QColor(8, 9, 11), 1.0));
            if (active) {
                QLinearGradient g(0, groove.top(), 0, groove.bottom());
                g.setColorAt(0.0, QColor(110, 200, 255));
                g.setColorAt(1.0, QColor(30, 120, 190));
                p.setBrush(g);
            } else {
                p.setBrush(QColor(16, 18, 22));
            }
            p.drawRoundedRect(groove, 2.5, 2.5);
            p.setPen(QPen(QColor(255, 255, 255, 22), 1.0));
            p.drawLine(QPointF(4, 9.5), QPointF(pw - 4, 9.5));
        });
    }
    for (int active = 0; active < 2; ++active) {
        SaveBoth(
            out, active ? 217 : 218, 14, 12,
            [&](QPainter& p) {
                QRadialGradient g(QPointF(6, 4), 8);
                g.setColorAt(0.0, active ? QColor(170, 225, 255) : QColor(240, 243, 247));
                g.setColorAt(1.0, active ? kAccent : QColor(150, 158, 170));
                p.setPen(QPen(QColor(8, 9, 11), 1.0));
                p.setBrush(g);
                p.drawEllipse(QRectF(1.5, 0.5, 11, 11));
            },
            true);
    }
    const int vw = 64, vh = 14;
    for (int active = 0; active < 2; ++active) {
        SaveBoth(
            out, active ? 276 : 277, vw, vh,
            [&](QPainter& p) {
                Path wedge;
                wedge.moveTo(4, 11.5);
                wedge.lineTo(vw - 4, 11.5);
                wedge.lineTo(vw - 4, 2.5);
                wedge.closeSubpath();
                p.setPen(QPen(QColor(8, 9, 11), 1.0));
                if (active) {
                    QLinearGradient g(0, 0, vw, 0);
                    g.setColorAt(0.0, kAccentDark);
                    g.setColorAt(1.0, kAccent);
                    p.setBrush(g);
                } else {
                    p.setBrush(QColor(16, 18, 22));
                }
                p.drawPath(wedge);
            },
            true);
    }
    for (int active = 0; active < 2; ++active) {
        SaveBoth(
            out, active ? 278 : 275, 9, 13,
            [&](QPainter& p) {
                QLinearGradient g(0, 0, 9, 0);
                g.setColorAt(0.0, active ? QColor(170, 225, 255) : QColor(236, 239, 244));
                g.setColorAt(1.0, active ? kAccent : QColor(140, 148, 160));
                p.setPen(QPen(QColor(8, 9, 11), 1.0));
                p.setBrush(g);
                p.drawRoundedRect(QRectF(1.5, 0.5, 6, 12), 2.5, 2.5);
            },
            true);
    }
}

// Status strip, 386 x 96, six rows of 16 pixels on black.
//   x 0..15     player state icons: 0 none, 16 forward, 32 reverse,
//               48 pause, 64 stopped, 80 search;
//   x 16..117   connection pictures by connect state (row = 16 x state):
//               computer, link, recorder (or the address server);
//   x 128..223  four channel lamps with their numbers: 0 off, 16 on,
//               32 first flag, 48 second flag, 64 both, 80 third flag;
//   x 356..376  single lamp: 0 off, 16 on, 32 flagged.
void DrawComputer(QPainter& p, double x, double y, const QColor& edge) {
    p.setPen(QPen(edge, 1.0));
    p.setBrush(kAccentDark);
    p.drawRoundedRect(QRectF(x + 0.5, y + 1.5, 15, 10), 1.5, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(edge);
    p.drawRect(QRectF(x + 6, y + 12, 4, 1.5));
    p.drawRect(QRectF(x + 3, y + 13.5, 10, 1.5));
}

void DrawRecorder(QPainter& p, double x, double y, const QColor& edge, const QColor& lamp) {
    p.setPen(QPen(edge, 1.0));
    p.setBrush(kAccentDark);
    p.drawRoundedRect(QRectF(x + 0.5, y + 4.5, 21, 8), 1.5, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(lamp);
    p.drawEllipse(QPointF(x + 5, y + 8.5), 1.6, 1.6);
    p.setBrush(edge);
    p.drawRect(QRectF(x + 10, y + 7.5, 9, 1));
    p.drawRect(QRectF(x + 10, y + 9.5, 9, 1));
}

void DrawGlobe(QPainter& p, double cx, double cy, const QColor& edge) {
    p.setPen(QPen(edge, 1.0));
    p.setBrush(kAccentDark);
    p.drawEllipse(QPointF(cx, cy), 6.5, 6.5);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(cx, cy), 3.0, 6.5);
    p.drawLine(QPointF(cx - 6.5, cy), QPointF(cx + 6.5, cy));
}

void DrawLink(QPainter& p, double x0, double x1, double y, const QColor& colour, bool dashed,
              int arrowTo) {
    QPen pen(colour, 2.0);
    if (dashed) pen.setDashPattern({1.5, 1.5});
    pen.setCapStyle(Qt::FlatCap);
    p.setPen(pen);
    p.drawLine(QPointF(x0, y), QPointF(arrowTo ? x1 - 4 : x1, y));
    if (arrowTo) {
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawPath(Arrow(QRectF(x1 - 5, y - 3.5, 5, 7), 1));
    }
}

void MakeStatusStrip(Output& out) {
    SaveBoth(out, 320, 386, 96, [&](QPainter& p) {
        p.fillRect(QRectF(0, 0, 386, 96), Qt::black);
        // Player state icons.
        auto icon = [&](int row, const Path& path, const QColor& colour) {
            p.setPen(Qt::NoPen);
            p.setBrush(colour);
            p.save();
            p.translate(0, row);
            p.drawPath(path);
            p.restore();
        };
        icon(16, Arrow(QRectF(4, 2.5, 10, 11), 1), kGreen);
        icon(32, Arrow(QRectF(2, 2.5, 10, 11), -1), kGreen);
        {
            Path bars = Rect(QRectF(3.5, 3, 3.5, 10), 0.6);
            bars.addPath(Rect(QRectF(9, 3, 3.5, 10), 0.6));
            icon(48, bars, kAmber);
        }
        icon(64, Rect(QRectF(3.5, 3.5, 9, 9), 1.0), QColor(170, 176, 186));
        {
            p.save();
            p.translate(0, 80);
            p.setPen(QPen(kAccent, 2.0));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QPointF(6.5, 6.5), 4, 4);
            p.setPen(QPen(kAccent, 2.5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(9.5, 9.5), QPointF(13.5, 13.5));
            p.restore();
        }
        // Connection pictures.
        const QColor grey(110, 116, 126);
        for (int state = 0; state < 6; ++state) {
            const double x = 16, y = 16.0 * state;
            p.save();
            p.setClipRect(QRectF(x, y, 102, 16));
            DrawComputer(p, x + 2, y, state == 0 ? grey : kAccent);
            switch (state) {
            case 0:
                DrawLink(p, x + 22, x + 74, y + 8, grey, true, 0);
                DrawRecorder(p, x + 78, y, grey, QColor(60, 60, 60));
                break;
            case 1:
                DrawLink(p, x + 22, x + 58, y + 8, kAmber, false, 1);
                DrawLink(p, x + 60, x + 74, y + 8, grey, true, 0);
                DrawRecorder(p, x + 78, y, kAccent, QColor(60, 60, 60));
                break;
            case 2: {
                DrawLink(p, x + 22, x + 74, y + 8, kAmber, false, 0);
                // A key in the middle of the link.
                p.setPen(Qt::NoPen);
                p.setBrush(kAmber);
                p.drawEllipse(QPointF(x + 44, y + 8), 4.5, 4.5);
                p.setBrush(Qt::black);
                p.drawEllipse(QPointF(x + 44, y + 8), 1.8, 1.8);
                p.setBrush(kAmber);
                p.drawRect(QRectF(x + 48, y + 7, 9, 2));
                p.drawRect(QRectF(x + 54, y + 9, 2, 3));
                DrawRecorder(p, x + 78, y, kAccent, kAmber);
                break;
            }
            case 3:
                DrawLink(p, x + 22, x + 74, y + 8, kGreen, false, 0);
                DrawRecorder(p, x + 78, y, kAccent, kGreen);
                break;
            case 4:
                DrawLink(p, x + 22, x + 68, y + 8, kAccent, false, 1);
                DrawGlobe(p, x + 84, y + 8, kAccent);
                break;
            default:
                DrawLink(p, x + 22, x + 74, y + 8, kAccent, false, 0);
                DrawGlobe(p, x + 84, y + 8, kAccent);
                p.setPen(Qt::NoPen);
                p.setBrush(kAmber);
                for (int i = 0; i < 3; ++i) p.drawEllipse(QPointF(x + 40 + 6 * i, y + 8), 1.6, 1.6);
                break;
            }
            p.restore();
        }
        // Channel lamps and the single lamp.
        const QColor lampColours[6] = {QColor(46, 50, 56), kGreen, kAmber, kAccent, QColor(255, 120, 40), kRed};
        for (int row = 0; row < 6; ++row) {
            const double y = row * 16.0;
            for (int i = 0; i < 4; ++i) {
                const double x = 128 + 24 * i;
                const QColor c = lampColours[row];
                p.setPen(QPen(row ? c.darker(170) : QColor(70, 75, 84), 1.0));
                QRadialGradient g(QPointF(x + 8, y + 6), 9);
                g.setColorAt(0.0, row ? c.lighter(130) : QColor(40, 44, 50));
                g.setColorAt(1.0, row ? c.darker(150) : QColor(22, 24, 28));
                p.setBrush(g);
                p.drawRoundedRect(QRectF(x + 2.5, y + 2.5, 19, 11), 3, 3);
                p.setPen(Qt::NoPen);
                p.setBrush(row ? QColor(10, 10, 10) : QColor(100, 106, 116));
                p.drawPath(Digit(QRectF(x + 9, y + 4, 6, 8), i + 1));
            }
            const QColor single = row == 0 ? QColor(46, 50, 56) : (row == 1 ? kGreen : kRed);
            QRadialGradient g(QPointF(356 + 9, y + 6), 7);
            g.setColorAt(0.0, row ? single.lighter(140) : QColor(50, 54, 60));
            g.setColorAt(1.0, row ? single.darker(140) : QColor(24, 26, 30));
            p.setPen(QPen(row ? single.darker(180) : QColor(70, 75, 84), 1.0));
            p.setBrush(g);
            p.drawEllipse(QPointF(356 + 10.5, y + 8), 5.5, 5.5);
        }
    });
}

// The application icon: a lens in a dark rounded square with a recording
// dot, drawn at each size (small sizes drop the details).
void MakeIcons(Output& out) {
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.scale(size / 64.0, size / 64.0);
        QLinearGradient bg(0, 0, 0, 64);
        bg.setColorAt(0.0, QColor(58, 66, 78));
        bg.setColorAt(1.0, QColor(20, 23, 28));
        p.setPen(QPen(QColor(8, 9, 11), 1.5));
        p.setBrush(bg);
        p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
        QRadialGradient ring(QPointF(32, 33), 22);
        ring.setColorAt(0.0, QColor(12, 16, 22));
        ring.setColorAt(0.6, QColor(20, 40, 64));
        ring.setColorAt(0.85, kAccent);
        ring.setColorAt(1.0, QColor(12, 30, 48));
        p.setPen(Qt::NoPen);
        p.setBrush(ring);
        p.drawEllipse(QPointF(32, 33), 21, 21);
        p.setBrush(QColor(63, 181, 255, 220));
        p.drawEllipse(QPointF(32, 33), 8, 8);
        p.setBrush(QColor(255, 255, 255, 190));
        p.drawEllipse(QPointF(29, 30), 3, 3);
        p.setBrush(kRed);
        p.drawEllipse(QPointF(51, 13), 5.5, 5.5);
        p.end();
        out.Save(image, QString("icons/zoviewer_%1.png").arg(size));
    }
}

bool WriteQrc(const Output& out) {
    QFile file(out.dir + "/skin.qrc");
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    QTextStream s(&file);
    s << "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/\">\n";
    for (const QString& f : out.files) s << "  <file>" << f << "</file>\n";
    s << "</qresource>\n</RCC>\n";
    return s.status() == QTextStream::Ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: artgen OUTDIR\n");
        return 2;
    }
    Output out;
    out.dir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(out.dir + "/skin") || !QDir().mkpath(out.dir + "/icons")) {
        std::fprintf(stderr, "artgen: cannot create %s\n", argv[1]);
        return 1;
    }
    MakeSkin(out);
    MakeButtons(out);
    MakeSliders(out);
    MakeStatusStrip(out);
    MakeIcons(out);
    if (!out.ok || !WriteQrc(out)) {
        std::fprintf(stderr, "artgen: writing the artwork failed\n");
        return 1;
    }
    return 0;
}
