// Draws the toolbar glyphs and the tool cursors and writes them as PNG files under
// <out>/glyphs/ and <out>/cursors/, the cursors also as Windows cursor files (.cur: 256 colours
// and a mask, with the hot spot) for the Windows program's resources. The files are committed;
// this program records how they were made so that they can be redrawn. Build and run it with
// make-glyphs.sh.
//
// Glyphs: antialiased QPainter drawing, one palette, a one-pixel dark outline on pixel
// boundaries, a light highlight along the top and left inner edges.
// Cursors: built pixel by pixel along a 45-degree axis from the hot spot, with a black outline
// and a white halo, fully opaque or fully transparent (a cursor mask has no partial alpha).

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

namespace {

// ---- Palette -------------------------------------------------------------------------------

const QColor kOutline(0x1f, 0x2a, 0x36);
const QColor kWhite(0xff, 0xff, 0xff);
const QColor kPaper(0xfb, 0xfc, 0xfd);
const QColor kMetalLight(0xe4, 0xe9, 0xee);
const QColor kMetal(0xb4, 0xbe, 0xc8);
const QColor kMetalDark(0x7a, 0x86, 0x92);
const QColor kCharcoal(0x46, 0x51, 0x5c);
const QColor kBlue(0x2f, 0x78, 0xd0);
const QColor kBlueLight(0x8e, 0xc3, 0xf5);
const QColor kBlueDark(0x22, 0x52, 0x96);
const QColor kGreen(0x3c, 0xa8, 0x48);
const QColor kGreenLight(0x9a, 0xde, 0x8c);
const QColor kRed(0xd8, 0x4a, 0x3a);
const QColor kRedLight(0xf2, 0x9a, 0x88);
const QColor kWood(0xc2, 0x8a, 0x4e);
const QColor kWoodLight(0xe4, 0xb8, 0x82);
const QColor kCream(0xfb, 0xf1, 0xd6);
const QColor kYellow(0xf5, 0xc8, 0x3c);

QColor lighter(const QColor& c, int amount = 55) {
    return QColor(c.red() + (255 - c.red()) * amount / 100,
                  c.green() + (255 - c.green()) * amount / 100,
                  c.blue() + (255 - c.blue()) * amount / 100, c.alpha());
}

// ---- Drawing helpers -----------------------------------------------------------------------

QImage blank(int size) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

void antialiased(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
}

// A filled box covering exactly the pixels of r, with a one-pixel outline on its border pixels
// and a highlight along the inner top and left edges.
void box(QPainter& p, const QRect& r, const QColor& fill, double radius = 0.0,
         bool highlight = true) {
    p.setPen(QPen(kOutline, 1.0));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    if (highlight && r.width() > 3 && r.height() > 3) {
        const double in = radius > 1.0 ? radius : 0.0;
        p.setPen(QPen(lighter(fill), 1.0));
        const double x0 = r.left() + 1.5, y0 = r.top() + 1.5;
        p.drawLine(QPointF(x0 + in * 0.5, y0), QPointF(r.right() - 1.5 - in * 0.5, y0));
        p.drawLine(QPointF(x0, y0 + in * 0.5), QPointF(x0, r.bottom() - 1.5 - in * 0.5));
    }
}

// A horizontal or vertical one-pixel line through pixel centres, end points included.
void hline(QPainter& p, int x0, int x1, int y, const QColor& c) {
    p.fillRect(QRect(x0, y, x1 - x0 + 1, 1), c);
}
void vline(QPainter& p, int x, int y0, int y1, const QColor& c) {
    p.fillRect(QRect(x, y0, 1, y1 - y0 + 1), c);
}

// A polygon given in pixel coordinates, moved to pixel centres so its outline stays crisp.
QPolygonF centred(std::initializer_list<QPointF> pts, QPointF at) {
    QPolygonF poly;
    for (const QPointF& q : pts)
        poly << q + at + QPointF(0.5, 0.5);
    return poly;
}

// A small photo camera whose bounding box starts at (x, y): 14 x 11 pixels.
void camera(QPainter& p, int x, int y) {
    box(p, QRect(x + 3, y, 5, 3), kCharcoal, 0.0, false); // viewfinder hump
    box(p, QRect(x, y + 2, 14, 9), kCharcoal, 1.5);
    hline(p, x + 4, x + 6, y + 1, lighter(kCharcoal, 30));
    p.fillRect(QRect(x + 11, y + 4, 2, 1), kYellow); // flash
    // Lens: metal ring, blue glass, a white glint.
    p.setPen(QPen(kOutline, 1.0));
    p.setBrush(kMetalLight);
    p.drawEllipse(QPointF(x + 6.5, y + 6.5), 3.5, 3.5);
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawEllipse(QPointF(x + 6.5, y + 6.5), 2.0, 2.0);
    p.setBrush(kWhite);
    p.drawEllipse(QPointF(x + 5.8, y + 5.8), 0.8, 0.8);
}

// The usual arrow pointer, tip at pixel (x, y): 10 x 15 pixels, or 12 x 19 when large.
void pointer(QPainter& p, int x, int y, bool large = false) {
    p.setPen(QPen(kOutline, 1.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(kWhite);
    if (large)
        p.drawPolygon(centred({{0, 0}, {0, 16}, {4, 12}, {7, 18}, {9.5, 17}, {7, 11}, {11, 11}},
                              QPointF(x, y)));
    else
        p.drawPolygon(centred({{0, 0}, {0, 13}, {3, 10}, {5.5, 14}, {7.5, 13}, {5.5, 9}, {9, 9}},
                              QPointF(x, y)));
}

// A window: blue title bar with three buttons, white client area with a few grey lines.
void window(QPainter& p, const QRect& r, const QColor& title) {
    box(p, r, kPaper, 1.0, false);
    const int bar = 5;
    p.fillRect(QRect(r.left() + 1, r.top() + 1, r.width() - 2, bar - 1), title);
    hline(p, r.left() + 2, r.right() - 2, r.top() + 1, lighter(title));
    hline(p, r.left() + 1, r.right() - 1, r.top() + bar, kOutline);
    for (int i = 0; i < 2; ++i)
        p.fillRect(QRect(r.right() - 3 - 3 * i, r.top() + 2, 2, 2), kWhite);
    for (int yy = r.top() + bar + 3, n = 0; yy < r.bottom() - 1; yy += 3, ++n)
        hline(p, r.left() + 3, r.right() - 3 - (n % 2) * 4, yy, kMetal);
}

// A thick line: outline colour one pixel wider on each side, then the fill colour.
void thick(QPainter& p, const QPainterPath& path, double width, const QColor& fill) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kOutline, width + 2.0, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    p.drawPath(path);
    p.setPen(QPen(fill, width, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    p.drawPath(path);
}

// An arrow head: tip at `tip`, pointing along the unit vector `dir`.
void arrow_head(QPainter& p, QPointF tip, QPointF dir, double length, double half,
                const QColor& fill) {
    const QPointF n(-dir.y(), dir.x());
    const QPointF base = tip - dir * length;
    p.setPen(QPen(kOutline, 1.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.setBrush(fill);
    p.drawPolygon(QPolygonF({tip, base + n * half, base - n * half}));
}

// ---- Glyphs --------------------------------------------------------------------------------

QImage capture_bureau() {
    QImage img = blank(32);
    QPainter p(&img);
    antialiased(p);
    // Stand, then the monitor over it.
    box(p, QRect(12, 21, 6, 5), kMetal, 0.0, false);
    box(p, QRect(7, 25, 16, 3), kMetal, 1.0, false);
    box(p, QRect(1, 3, 28, 20), kMetalLight, 1.5);
    // Screen: a blue sky over a green hill.
    box(p, QRect(4, 6, 22, 14), kBlue, 0.0, false);
    p.fillRect(QRect(5, 7, 20, 12), kBlueLight);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    QPainterPath hill;
    hill.moveTo(5, 19);
    hill.cubicTo(9, 12, 15, 13, 25, 16);
    hill.lineTo(25, 19);
    hill.closeSubpath();
    p.drawPath(hill);
    p.setBrush(kYellow);
    p.drawEllipse(QPointF(10.5, 10.5), 1.8, 1.8);
    camera(p, 18, 20);
    return img;
}

QImage capture_fenetre() {
    QImage img = blank(32);
    QPainter p(&img);
    antialiased(p);
    window(p, QRect(1, 3, 27, 22), kBlue);
    camera(p, 18, 20);
    return img;
}

QImage capture_selection() {
    QImage img = blank(32);
    QPainter p(&img);
    antialiased(p);
    // Marching-ants frame: two pixels dark, two pixels white, around the rectangle.
    const QRect f(1, 2, 24, 19);
    std::vector<QPoint> ring;
    for (int x = f.left(); x < f.right(); ++x)
        ring.emplace_back(x, f.top());
    for (int y = f.top(); y < f.bottom(); ++y)
        ring.emplace_back(f.right(), y);
    for (int x = f.right(); x > f.left(); --x)
        ring.emplace_back(x, f.bottom());
    for (int y = f.bottom(); y > f.top(); --y)
        ring.emplace_back(f.left(), y);
    for (size_t i = 0; i < ring.size(); ++i)
        p.fillRect(QRect(ring[i], QSize(1, 1)), (i / 2) % 2 ? kWhite : kOutline);
    p.fillRect(f.adjusted(1, 1, -1, -1), QColor(0x8e, 0xc3, 0xf5, 0x60));
    pointer(p, 8, 7);
    camera(p, 18, 20);
    return img;
}

QImage insere_curseur() {
    QImage img = blank(32);
    QPainter p(&img);
    antialiased(p);
    // A green plus sign, arms four pixels thick.
    p.setPen(QPen(kOutline, 1.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(kGreen);
    p.drawPolygon(centred({{5, 0},
                           {9, 0},
                           {9, 5},
                           {14, 5},
                           {14, 9},
                           {9, 9},
                           {9, 14},
                           {5, 14},
                           {5, 9},
                           {0, 9},
                           {0, 5},
                           {5, 5}},
                          QPointF(1, 9)));
    vline(p, 7, 10, 14, kGreenLight);
    hline(p, 2, 6, 15, kGreenLight);
    pointer(p, 18, 6, true);
    return img;
}

QImage copy_clipboard() {
    QImage img = blank(32);
    QPainter p(&img);
    antialiased(p);
    box(p, QRect(4, 3, 24, 28), kWood, 2.0);
    box(p, QRect(7, 7, 18, 21), kPaper, 0.0, false);
    for (int y = 11, n = 0; y <= 24; y += 3, ++n)
        hline(p, 9, 22 - (n % 3 == 2 ? 6 : 0), y, kMetalDark);
    hline(p, 9, 17, 11, kBlue);
    // The clip: a metal bar with a hole.
    box(p, QRect(10, 1, 12, 6), kMetal, 1.5);
    p.fillRect(QRect(14, 2, 4, 2), kOutline);
    return img;
}

QImage appli_extern() {
    QImage img = blank(32);
    QPainter p(&img);
    antialiased(p);
    window(p, QRect(0, 1, 18, 14), kMetalDark);
    window(p, QRect(13, 17, 19, 15), kBlue);
    QPainterPath curve;
    curve.moveTo(12.0, 10.5);
    curve.cubicTo(20.0, 10.5, 25.5, 9.0, 26.5, 13.0);
    thick(p, curve, 3.0, kGreen);
    arrow_head(p, QPointF(27.0, 18.5), QPointF(0.0, 1.0), 6.0, 4.5, kGreen);
    // Cover the outline where the shaft meets the head.
    p.setPen(QPen(kGreen, 3.0, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(26.6, 12.0), QPointF(26.9, 13.5));
    return img;
}

QImage mail() {
    QImage img = blank(32);
    QPainter p(&img);
    antialiased(p);
    box(p, QRect(0, 5, 26, 18), kCream, 1.0);
    p.setPen(QPen(kOutline, 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(0.5, 5.5), QPointF(13.0, 15.5), QPointF(25.5, 5.5)}));
    // Globe: blue ocean, green land, a meridian and the equator.
    const QPointF c(23.5, 23.5);
    const double r = 7.5;
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawEllipse(c, r, r);
    p.save();
    QPainterPath clip;
    clip.addEllipse(c, r, r);
    p.setClipPath(clip);
    p.setBrush(kGreen);
    QPainterPath land;
    land.moveTo(17, 18);
    land.cubicTo(20, 16, 23, 17, 22, 20);
    land.cubicTo(21, 23, 18, 22, 19, 26);
    land.cubicTo(17, 26, 15, 22, 17, 18);
    land.moveTo(25, 21);
    land.cubicTo(28, 20, 31, 22, 30, 25);
    land.cubicTo(29, 29, 26, 31, 24, 29);
    land.cubicTo(25, 27, 23, 24, 25, 21);
    p.drawPath(land);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(lighter(kBlue, 45), 0.8));
    p.drawEllipse(c, 3.2, r);
    p.drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() + r, c.y()));
    p.setPen(QPen(QColor(255, 255, 255, 150), 1.2));
    p.drawArc(QRectF(c.x() - r + 1.5, c.y() - r + 1.5, 2 * r - 3, 2 * r - 3), 100 * 16, 60 * 16);
    p.restore();
    p.setPen(QPen(kOutline, 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, r, r);
    return img;
}

QImage reload() {
    QImage img = blank(24);
    QPainter p(&img);
    antialiased(p);
    const QPointF c(12.0, 12.0);
    const double r = 7.5;
    auto on_circle = [&](double deg) {
        const double a = deg * M_PI / 180.0;
        return QPointF(c.x() + r * std::cos(a), c.y() - r * std::sin(a));
    };
    // Clockwise tangent at an angle (screen y grows downwards).
    auto clockwise = [](double deg) {
        const double a = deg * M_PI / 180.0;
        return QPointF(std::sin(a), std::cos(a));
    };
    const QRectF circle(c.x() - r, c.y() - r, 2 * r, 2 * r);
    for (double start : {160.0, -20.0}) {
        const double sweep = -125.0;
        QPainterPath arc;
        arc.arcMoveTo(circle, start);
        arc.arcTo(circle, start, sweep);
        thick(p, arc, 3.0, kGreen);
        const double end = start + sweep;
        const QPointF t = clockwise(end);
        arrow_head(p, on_circle(end) + t * 4.5, t, 6.5, 4.5, kGreen);
        QPainterPath joint;
        joint.arcMoveTo(circle, end + 6.0);
        joint.arcTo(circle, end + 6.0, -8.0);
        p.setPen(QPen(kGreen, 3.0, Qt::SolidLine, Qt::FlatCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(joint);
    }
    return img;
}

QImage fenetre_reglages() {
    QImage img = blank(32);
    QPainter p(&img);
    antialiased(p);
    // Spanner from bottom-left to top-right: ring end, handle, open jaw.
    {
        QPainterPath s;
        s.addRoundedRect(QRectF(0, -2.5, 26, 5), 1, 1);
        QPainterPath jaw;
        jaw.addEllipse(QPointF(27, 0), 6, 6);
        QPainterPath ring;
        ring.addEllipse(QPointF(0, 0), 4.5, 4.5);
        s = s.united(jaw).united(ring);
        QPainterPath cut;
        cut.addRect(QRectF(26, -2.2, 10, 4.4));
        cut.addEllipse(QPointF(0, 0), 2.0, 2.0);
        s = s.subtracted(cut);
        QTransform t;
        t.translate(6.0, 26.0);
        t.rotate(-45.0);
        p.setPen(QPen(kOutline, 1.0));
        QLinearGradient g(QPointF(4, 4), QPointF(28, 28));
        g.setColorAt(0.0, kMetalLight);
        g.setColorAt(1.0, kMetal);
        p.setBrush(g);
        p.drawPath(t.map(s));
    }
    // Screwdriver from top-left (tip) to bottom-right (handle).
    {
        QTransform t;
        t.translate(3.5, 3.5);
        t.rotate(45.0);
        p.setPen(QPen(kOutline, 1.0));
        p.setBrush(kMetal);
        QPainterPath blade;
        blade.addRect(QRectF(0.5, -1.5, 16, 3));
        p.drawPath(t.map(blade));
        QPainterPath ferrule;
        ferrule.addRect(QRectF(15, -2.5, 3, 5));
        p.setBrush(kMetalDark);
        p.drawPath(t.map(ferrule));
        QPainterPath handle;
        handle.addRoundedRect(QRectF(18, -3.5, 18, 7), 3, 3);
        p.setBrush(kRed);
        p.drawPath(t.map(handle));
        p.setPen(QPen(kRedLight, 1.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(t.map(QPointF(20.5, -1.5)), t.map(QPointF(33.0, -1.5)));
    }
    return img;
}

QImage save() {
    QImage img = blank(32);
    QPainter p(&img);
    antialiased(p);
    // Body with the top-right corner cut off.
    p.setPen(QPen(kOutline, 1.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(kBlue);
    p.drawPolygon(centred({{0, 1}, {1, 0}, {24, 0}, {28, 4}, {28, 27}, {27, 28}, {1, 28}, {0, 27}},
                          QPointF(2, 2)));
    hline(p, 4, 25, 3, lighter(kBlue));
    vline(p, 3, 4, 28, lighter(kBlue));
    // Metal shutter with its slot.
    box(p, QRect(8, 2, 16, 10), kMetalLight, 0.0, false);
    p.fillRect(QRect(18, 4, 3, 6), kCharcoal);
    // Label.
    box(p, QRect(6, 15, 20, 15), kPaper, 1.0, false);
    hline(p, 7, 24, 16, kRed);
    hline(p, 7, 24, 17, kRed);
    for (int y = 20; y <= 27; y += 3)
        hline(p, 9, 22, y, kMetal);
    return img;
}

// ---- Cursors -------------------------------------------------------------------------------

enum Px { Empty, Halo, Line, Fill };

struct CursorShape {
    // For a pixel at distance `s` along the axis from the tip (in half-diagonal steps) and `d`
    // across it, the colour of the body there, or an invalid colour outside the body.
    std::function<QColor(int s, int d)> body;
};

// Lays the body out along the diagonal going up and to the right from the tip pixel, outlines
// it in black and rings it with white.
QImage make_cursor(QPoint tip, const CursorShape& shape) {
    const int n = 32;
    std::vector<QColor> colour(n * n);
    std::vector<Px> kind(n * n, Empty);
    auto inside = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < n && y < n && kind[y * n + x] != Empty &&
               kind[y * n + x] != Halo;
    };
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const int a = x - tip.x(), b = tip.y() - y;
            const QColor c = shape.body(a + b, a - b);
            if (c.isValid()) {
                kind[y * n + x] = Fill;
                colour[y * n + x] = c;
            }
        }
    // Border pixels of the body (a four-neighbour outside it or off the image) become the line.
    // The tip pixel is always part of the line, so it is solid black.
    std::vector<Px> next = kind;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            if (kind[y * n + x] == Fill &&
                (!inside(x - 1, y) || !inside(x + 1, y) || !inside(x, y - 1) || !inside(x, y + 1)))
                next[y * n + x] = Line;
    kind = next;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            if (kind[y * n + x] != Empty)
                continue;
            for (int dy = -1; dy <= 1 && kind[y * n + x] == Empty; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if (inside(x + dx, y + dy)) {
                        next[y * n + x] = Halo;
                        break;
                    }
        }
    kind = next;
    QImage img(n, n, QImage::Format_ARGB32);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            QRgb v = qRgba(0, 0, 0, 0);
            switch (kind[y * n + x]) {
            case Empty:
                break;
            case Halo:
                v = qRgb(255, 255, 255);
                break;
            case Line:
                v = qRgb(0, 0, 0);
                break;
            case Fill:
                v = colour[y * n + x].rgb();
                break;
            }
            img.setPixel(x, y, v);
        }
    return img;
}

// Shading across the body: lighter on the upper-left side, darker on the lower-right.
QColor shade(const QColor& c, int d, int half) {
    if (d <= -half + 2)
        return lighter(c, 45);
    if (d >= half - 1)
        return c.darker(125);
    return c;
}

QImage felt_tip(const QColor& ink) {
    CursorShape pen;
    pen.body = [ink](int s, int d) -> QColor {
        const int ad = std::abs(d);
        if (s < 0 || s + ad > 29) // the cap's end is rounded off inside the image
            return {};
        if (s <= 6) // the chisel nib, widening from the tip
            return ad <= std::min(3, 1 + s / 2) ? shade(ink, d, 3) : QColor();
        if (s <= 8) // the collar holding the nib
            return ad <= 3 ? shade(QColor(0x9a, 0xa4, 0xae), d, 3) : QColor();
        if (s <= 18) // the barrel
            return ad <= 4 ? shade(QColor(0xe8, 0xec, 0xf0), d, 4) : QColor();
        if (s == 19) // a dark ring where the cap starts
            return ad <= 4 ? QColor(0x50, 0x58, 0x60) : QColor();
        return ad <= 4 ? shade(ink, d, 4) : QColor(); // the cap
    };
    return make_cursor(QPoint(14, 15), pen);
}

QImage stylet() {
    CursorShape pen;
    pen.body = [](int s, int d) -> QColor {
        const int ad = std::abs(d);
        if (s < 0)
            return {};
        if (s <= 3) // the steel point
            return ad <= s / 2 + 1 ? QColor(0x40, 0x48, 0x50) : QColor();
        if (s <= 10) // the sharpened cone
            return ad <= 1 + s / 3 ? shade(QColor(0xe6, 0xc0, 0x90), d, 1 + s / 3) : QColor();
        if (s <= 44) // the barrel
            return ad <= 4 ? shade(QColor(0x30, 0x70, 0xc8), d, 4) : QColor();
        if (s <= 48) // the end cap
            return ad <= (s == 48 ? 3 : 4) ? shade(QColor(0xb4, 0xbe, 0xc8), d, 4) : QColor();
        return {};
    };
    return make_cursor(QPoint(0, 31), pen);
}

// ---- Output --------------------------------------------------------------------------------

bool write(const QImage& img, const QString& path) {
    if (!img.convertToFormat(QImage::Format_ARGB32).save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// A Windows cursor file: one 32 x 32 image of 8 bits per pixel on a palette of the image's
// colours, then its transparency mask of 1 bit per pixel (set where transparent), both rows
// bottom up; the directory entry carries the hot spot.
bool write_cursor(const QImage& source, QPoint hot, const QString& path) {
    const QImage img = source.convertToFormat(QImage::Format_ARGB32);
    const int n = img.width();
    std::vector<QRgb> palette{qRgb(0, 0, 0)};
    std::vector<std::uint8_t> index(std::size_t(n) * n, 0);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const QRgb v = img.pixel(x, y);
            if (qAlpha(v) == 0)
                continue;
            auto it = std::find(palette.begin(), palette.end(), v | 0xff000000u);
            if (it == palette.end()) {
                if (palette.size() == 256) {
                    std::fprintf(stderr, "%s: more than 256 colours\n", qPrintable(path));
                    return false;
                }
                it = palette.insert(palette.end(), v | 0xff000000u);
            }
            index[std::size_t(y) * n + x] = std::uint8_t(it - palette.begin());
        }
    palette.resize(256, qRgb(0, 0, 0));
    QByteArray out;
    auto u8 = [&](int v) { out.append(char(v & 0xff)); };
    auto u16 = [&](int v) { u8(v), u8(v >> 8); };
    auto u32 = [&](std::uint32_t v) { u16(int(v & 0xffff)), u16(int(v >> 16)); };
    const int mask_stride = (n / 8 + 3) / 4 * 4;
    const std::uint32_t bytes = 40 + 256 * 4 + std::uint32_t(n * n + mask_stride * n);
    u16(0), u16(2), u16(1);                                 // a cursor file of one image
    u8(n), u8(n), u8(0), u8(0), u16(hot.x()), u16(hot.y()); // size, 256 colours, hot spot
    u32(bytes), u32(6 + 16);
    u32(40), u32(std::uint32_t(n)), u32(std::uint32_t(2 * n)); // image and mask, stacked
    u16(1), u16(8), u32(0), u32(0), u32(0), u32(0), u32(256), u32(0);
    for (const QRgb c : palette)
        u8(qBlue(c)), u8(qGreen(c)), u8(qRed(c)), u8(0);
    for (int y = n - 1; y >= 0; --y)
        for (int x = 0; x < n; ++x)
            u8(index[std::size_t(y) * n + x]);
    for (int y = n - 1; y >= 0; --y)
        for (int b = 0; b < mask_stride; ++b) {
            int bits = 0;
            for (int i = 0; i < 8; ++i) {
                const int x = b * 8 + i;
                if (x < n && qAlpha(img.pixel(x, y)) == 0)
                    bits |= 0x80 >> i;
            }
            u8(bits);
        }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("resources");
    QDir().mkpath(out + "/glyphs");
    QDir().mkpath(out + "/cursors");
    const QString g = out + "/glyphs/", c = out + "/cursors/";
    bool ok = true;
    ok &= write(capture_bureau(), g + "capture_bureau.png");
    ok &= write(capture_fenetre(), g + "capture_fenetre.png");
    ok &= write(capture_selection(), g + "capture_selection.png");
    ok &= write(insere_curseur(), g + "insere_curseur.png");
    ok &= write(copy_clipboard(), g + "copy_clipboard.png");
    ok &= write(appli_extern(), g + "appli_extern.png");
    ok &= write(mail(), g + "mail.png");
    ok &= write(reload(), g + "reload.png");
    ok &= write(fenetre_reglages(), g + "fenetre_reglages.png");
    ok &= write(save(), g + "save.png");
    // Highlighter inks: yellow, green, cyan, magenta.
    const std::pair<const char*, QImage> cursors[] = {
        {"feutre_jaune", felt_tip(QColor(0xff, 0xff, 0x00))},
        {"feutre_vert", felt_tip(QColor(0x00, 0xff, 0x00))},
        {"feutre_bleu", felt_tip(QColor(0x00, 0xff, 0xff))},
        {"feutre_rouge", felt_tip(QColor(0xff, 0x00, 0xff))},
        {"stylet", stylet()},
    };
    for (const auto& [name, img] : cursors) {
        const QPoint hot = QString(name) == "stylet" ? QPoint(0, 31) : QPoint(14, 15);
        ok &= write(img, c + name + ".png");
        ok &= write_cursor(img, hot, c + name + ".cur");
    }
    return ok ? 0 : 1;
}
