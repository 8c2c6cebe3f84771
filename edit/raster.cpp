#include "edit/raster.h"

#include <algorithm>
#include <vector>

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

namespace {

// For each target index, the source indices [first, last] that land on it.
struct Span {
    int first;
    int last;
};

std::vector<Span> spans(int source, int target) {
    std::vector<Span> result(static_cast<size_t>(target), Span{0, -1});
    if (source <= 0 || target <= 0)
        return result;
    if (target >= source) {
        // Enlarging: each target pixel repeats the source pixel it falls in.
        for (int t = 0; t < target; ++t) {
            const int s = static_cast<int>(static_cast<long long>(t) * source / target);
            result[static_cast<size_t>(t)] = {s, s};
        }
    } else {
        // Shrinking: every source pixel lands on exactly one target pixel.
        for (int s = 0; s < source; ++s) {
            const int t = static_cast<int>(static_cast<long long>(s) * target / source);
            Span& span = result[static_cast<size_t>(t)];
            if (span.last < span.first)
                span.first = s;
            span.last = s;
        }
    }
    return result;
}

} // namespace

QImage stretch_and(const QImage& source_any, QSize size) {
    const QImage source = as_bgr888(source_any);
    QImage result(size, QImage::Format_BGR888);
    if (result.isNull() || source.isNull())
        return result;
    if (source.size() == size)
        return source.copy();
    const std::vector<Span> columns = spans(source.width(), size.width());
    const std::vector<Span> rows = spans(source.height(), size.height());
    std::vector<unsigned char> row_and(static_cast<size_t>(source.width()) * 3);
    for (int y = 0; y < size.height(); ++y) {
        const Span rs = rows[static_cast<size_t>(y)];
        // AND of the source rows that land on this target row.
        std::fill(row_and.begin(), row_and.end(), 0xFF);
        for (int sy = rs.first; sy <= rs.last; ++sy) {
            const uchar* line = source.constScanLine(sy);
            for (size_t i = 0; i < row_and.size(); ++i)
                row_and[i] &= line[i];
        }
        uchar* out = result.scanLine(y);
        for (int x = 0; x < size.width(); ++x) {
            const Span cs = columns[static_cast<size_t>(x)];
            unsigned char b = 0xFF, g = 0xFF, r = 0xFF;
            for (int sx = cs.first; sx <= cs.last; ++sx) {
                b &= row_and[static_cast<size_t>(sx) * 3];
                g &= row_and[static_cast<size_t>(sx) * 3 + 1];
                r &= row_and[static_cast<size_t>(sx) * 3 + 2];
            }
            out[x * 3] = b;
            out[x * 3 + 1] = g;
            out[x * 3 + 2] = r;
        }
    }
    return result;
}

void block_copy(QImage& target, const QImage& source, CopyMode mode) {
    if (mode == CopyMode::Plain) {
        target = source.copy();
        return;
    }
    const qsizetype bytes_per_line = static_cast<qsizetype>(target.width()) * 3;
    for (int y = 0; y < target.height(); ++y) {
        uchar* out = target.scanLine(y);
        const uchar* in = source.constScanLine(y);
        for (qsizetype i = 0; i < bytes_per_line; ++i)
            out[i] &= in[i];
    }
}

QRect invert_outline(QImage& picture, QPoint a, QPoint b) {
    if (picture.isNull())
        return {};
    const int left = std::min(a.x(), b.x()), right = std::max(a.x(), b.x());
    const int top = std::min(a.y(), b.y()), bottom = std::max(a.y(), b.y());
    if (right - left < 1 || bottom - top < 1)
        return {};
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
