// Text drawn into a 24-bit picture the way the floating text label shows it: both paint it
// through paint_text. Apart from the rest
// of the raster module this needs a QGuiApplication, for fonts.

#include "edit/raster.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

void paint_text(QPainter& painter, QPoint top_left, const QString& text, const QFont& font,
                const QColor& colour) {
    const QFontMetrics metrics(font);
    const int room = metrics.height() + metrics.maxWidth();
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(
        QRect(top_left, QSize(metrics.horizontalAdvance(text) + room, metrics.height() + room)),
        Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip, text);
}

QRect draw_text(QImage& picture, QPoint top_left, const QString& text, const QFont& font,
                unsigned colour) {
    if (picture.isNull() || text.isEmpty())
        return {};
    prepare_for_writing(picture);

    // The glyphs' box with room for overhangs (italics, accents) the metrics leave out.
    const QFontMetrics metrics(font);
    const int room = metrics.height() + metrics.maxWidth();
    const qint64 left = qint64(top_left.x()) - room, top = qint64(top_left.y()) - room;
    const qint64 right = qint64(top_left.x()) + metrics.horizontalAdvance(text) + room;
    const qint64 bottom = qint64(top_left.y()) + metrics.height() + room;
    const QRect area(QPoint(int(std::max<qint64>(left, 0)), int(std::max<qint64>(top, 0))),
                     QPoint(int(std::min<qint64>(right, picture.width() - 1)),
                            int(std::min<qint64>(bottom, picture.height() - 1))));
    if (area.isEmpty())
        return {};

    // A label paints into an opaque 32-bit backing store over what lies behind it; do the same
    // with the pixels of the area, then bring the result back to 24 bits.
    const QImage before = picture.copy(area);
    QImage canvas = before.convertToFormat(QImage::Format_RGB32);
    {
        QPainter painter(&canvas);
        painter.translate(-area.topLeft());
        paint_text(painter, top_left, text, font, qt_colour(colour));
    }
    const QImage after = canvas.convertToFormat(QImage::Format_BGR888);

    // Write back only the rows and columns that changed, and report them.
    int changed_left = area.width(), changed_right = -1, changed_top = area.height(),
        changed_bottom = -1;
    for (int y = 0; y < area.height(); ++y) {
        const uchar* a = before.constScanLine(y);
        const uchar* b = after.constScanLine(y);
        for (int x = 0; x < area.width(); ++x) {
            if (a[x * 3] != b[x * 3] || a[x * 3 + 1] != b[x * 3 + 1] ||
                a[x * 3 + 2] != b[x * 3 + 2]) {
                changed_left = std::min(changed_left, x);
                changed_right = std::max(changed_right, x);
                changed_top = std::min(changed_top, y);
                changed_bottom = std::max(changed_bottom, y);
            }
        }
    }
    if (changed_right < 0)
        return {};
    const QRect changed =
        QRect(QPoint(changed_left, changed_top), QPoint(changed_right, changed_bottom));
    for (int y = changed.top(); y <= changed.bottom(); ++y)
        std::copy_n(after.constScanLine(y) + changed.left() * 3, changed.width() * 3,
                    picture.scanLine(area.top() + y) + (area.left() + changed.left()) * 3);
    return changed.translated(area.topLeft());
}

QRect text_box(const QString& text, const QFont& font) {
    const QFontMetrics metrics(font);
    QRect box(0, 0, metrics.horizontalAdvance(text), metrics.height());
    if (text.isEmpty())
        return box;
    // Black on white shows the faintest touch of a glyph, which any other colour shows less.
    const int room = metrics.height() + metrics.maxWidth();
    QImage canvas(box.size() + QSize(2 * room, 2 * room), QImage::Format_BGR888);
    if (canvas.isNull())
        return box;
    canvas.fill(Qt::white);
    return box | draw_text(canvas, QPoint(room, room), text, font, 0).translated(-room, -room);
}
