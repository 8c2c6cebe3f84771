// Draws the application icon at every size the desktop asks for and writes the PNGs as
// <out>/<size>x<size>/apps/kaptorama.png. The PNGs are committed; this program records how they
// were made so that they can be redrawn. Build and run it with make-icon.sh.
//
// The drawing uses the toolbar glyphs' palette and manner (a dark outline, flat fills, a light
// highlight along the top and left inner edges) on a 32-unit grid scaled to the target size: a
// captured picture (sky, hill, sun) framed by selection marks, with a camera in front of it.

#include <QColor>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const QColor kOutline(0x1f, 0x2a, 0x36);
const QColor kWhite(0xff, 0xff, 0xff);
const QColor kPaper(0xfb, 0xfc, 0xfd);
const QColor kMetalLight(0xe4, 0xe9, 0xee);
const QColor kCharcoal(0x46, 0x51, 0x5c);
const QColor kBlue(0x2f, 0x78, 0xd0);
const QColor kBlueLight(0x8e, 0xc3, 0xf5);
const QColor kGreen(0x3c, 0xa8, 0x48);
const QColor kRed(0xd8, 0x4a, 0x3a);
const QColor kYellow(0xf5, 0xc8, 0x3c);

const int kSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

QColor lighter(const QColor& c, int amount = 55) {
    return QColor(c.red() + (255 - c.red()) * amount / 100,
                  c.green() + (255 - c.green()) * amount / 100,
                  c.blue() + (255 - c.blue()) * amount / 100, c.alpha());
}

// Paints on the 32-unit grid; `line` is the outline width in grid units, one device pixel or
// more, so that small sizes keep a crisp edge and large ones a bold one.
class Canvas {
public:
    explicit Canvas(QImage& img) : p_(&img), scale_(img.width() / 32.0) {
        p_.setRenderHint(QPainter::Antialiasing, true);
        p_.scale(scale_, scale_);
        line_ = std::max(1.0, std::round(scale_ * 0.75)) / scale_;
    }

    QPainter& painter() { return p_; }
    double line() const { return line_; }

    // A filled box inside r, outlined on its border, with a highlight along the inner top and
    // left edges.
    void box(const QRectF& r, const QColor& fill, double radius, bool highlight = true) {
        const double h = line_ / 2;
        p_.setPen(QPen(kOutline, line_));
        p_.setBrush(fill);
        p_.drawRoundedRect(r.adjusted(h, h, -h, -h), radius, radius);
        if (highlight) {
            const double in = line_ * 1.5 + radius * 0.5;
            p_.setPen(QPen(lighter(fill), line_, Qt::SolidLine, Qt::FlatCap));
            p_.drawLine(QPointF(r.left() + in, r.top() + line_ * 1.5),
                        QPointF(r.right() - in, r.top() + line_ * 1.5));
            p_.drawLine(QPointF(r.left() + line_ * 1.5, r.top() + in),
                        QPointF(r.left() + line_ * 1.5, r.bottom() - in));
        }
    }

private:
    QPainter p_;
    double scale_;
    double line_ = 1.0;
};

QImage icon(int size) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    Canvas c(img);
    QPainter& p = c.painter();
    const double w = c.line();

    // The captured picture: a white card, the sky, a hill and the sun.
    c.box(QRectF(1, 3, 27, 21), kPaper, 1.5, false);
    const QRectF sky(1 + 2 * w, 3 + 2 * w, 27 - 4 * w, 21 - 4 * w);
    p.setPen(Qt::NoPen);
    p.setBrush(kBlueLight);
    p.drawRect(sky);
    p.setBrush(kGreen);
    QPainterPath hill;
    hill.moveTo(sky.left(), sky.bottom());
    hill.lineTo(sky.left(), sky.bottom() - 4);
    hill.cubicTo(sky.left() + 6, sky.top() + 6, sky.left() + 13, sky.top() + 9, sky.right(),
                 sky.top() + 11);
    hill.lineTo(sky.right(), sky.bottom());
    hill.closeSubpath();
    p.drawPath(hill);
    p.setBrush(kYellow);
    p.drawEllipse(QPointF(8, 9), 2.5, 2.5);

    // The selection marks at the picture's four corners, in red.
    p.setPen(QPen(kRed, 2 * w, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    const QRectF sel = sky.adjusted(w * 2, w * 2, -w * 2, -w * 2);
    const double arm = 4;
    p.drawPolyline(QPolygonF(
        {sel.topLeft() + QPointF(0, arm), sel.topLeft(), sel.topLeft() + QPointF(arm, 0)}));
    p.drawPolyline(QPolygonF(
        {sel.topRight() + QPointF(-arm, 0), sel.topRight(), sel.topRight() + QPointF(0, arm)}));
    p.drawPolyline(QPolygonF({sel.bottomLeft() + QPointF(0, -arm), sel.bottomLeft(),
                              sel.bottomLeft() + QPointF(arm, 0)}));

    // The camera in front, at the bottom right: body, viewfinder hump, flash, lens.
    c.box(QRectF(18, 15, 7, 4), kCharcoal, 0.5, false);
    c.box(QRectF(13, 17, 18, 13), kCharcoal, 2.0);
    p.setPen(Qt::NoPen);
    p.setBrush(kYellow);
    p.drawRect(QRectF(26, 19.5, 3, 1.5));
    p.setPen(QPen(kOutline, w));
    p.setBrush(kMetalLight);
    p.drawEllipse(QPointF(21, 23.5), 5, 5);
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawEllipse(QPointF(21, 23.5), 3, 3);
    p.setBrush(kWhite);
    p.drawEllipse(QPointF(20, 22.5), 1.1, 1.1);
    p.end();
    return img;
}

} // namespace

int main(int argc, char** argv) {
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("hicolor");
    bool ok = true;
    for (const int size : kSizes) {
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(out).arg(size);
        QDir().mkpath(dir);
        const QString path = dir + QStringLiteral("/kaptorama.png");
        if (!icon(size).convertToFormat(QImage::Format_ARGB32).save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            ok = false;
            continue;
        }
        std::printf("%s\n", qPrintable(path));
    }
    return ok ? 0 : 1;
}
