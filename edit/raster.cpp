#include "edit/raster.h"

#include "platform/core/frames.h"

#include <algorithm>
#include <new>

QColor qt_colour(unsigned bbggrr) {
    return QColor(int(bbggrr & 0xFF), int((bbggrr >> 8) & 0xFF), int((bbggrr >> 16) & 0xFF));
}

unsigned colour_value(const QColor& colour) {
    return unsigned(colour.red()) | unsigned(colour.green()) << 8 | unsigned(colour.blue()) << 16;
}

QImage as_bgr888(const QImage& image) {
    return image.format() == QImage::Format_BGR888 ? image
                                                   : image.convertToFormat(QImage::Format_BGR888);
}

void prepare_for_writing(QImage& picture) {
    if (picture.isNull())
        return;
    if (picture.format() != QImage::Format_BGR888) {
        QImage converted = picture.convertToFormat(QImage::Format_BGR888);
        if (converted.isNull())
            throw std::bad_alloc();
        picture = std::move(converted);
    } else if (!own_frame(picture)) {
        throw std::bad_alloc();
    }
}

QRect invert_outline(QImage& picture, QPoint a, QPoint b) {
    if (picture.isNull())
        return {};
    const int left = std::min(a.x(), b.x()), right = std::max(a.x(), b.x());
    const int top = std::min(a.y(), b.y()), bottom = std::max(a.y(), b.y());
    if (right - left < 1 || bottom - top < 1)
        return {};
    prepare_for_writing(picture);
    const int w = picture.width(), h = picture.height();
    auto invert = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= w || y >= h)
            return;
        uchar* p = picture.scanLine(y) + x * 3;
        p[0] = uchar(~p[0]);
        p[1] = uchar(~p[1]);
        p[2] = uchar(~p[2]);
    };
    // The outline covers the columns left..right-1 and the rows top..bottom-1, each pixel once.
    for (int x = left; x < right; ++x) {
        invert(x, top);
        if (bottom - 1 != top)
            invert(x, bottom - 1);
    }
    for (int y = top + 1; y < bottom - 1; ++y) {
        invert(left, y);
        if (right - 1 != left)
            invert(right - 1, y);
    }
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)) & picture.rect();
}
