#include "edit/history_commands.h"

#include "edit/history.h"
#include "edit/picture_view.h"

#include <algorithm>
#include <vector>

namespace {

QImage as_bgr888(const QImage& image) {
    return image.format() == QImage::Format_BGR888 ? image
                                                   : image.convertToFormat(QImage::Format_BGR888);
}

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

void push_snapshot(History& history, const PictureView& view, int& history_index) {
    // The snapshot shares the picture's pixels until either changes: one copy of them in
    // memory for as long as nothing is drawn.
    QImage snapshot = as_bgr888(view.picture());
    if (snapshot.size() != view.size() && !view.picture().isNull())
        snapshot = snapshot.copy(QRect(QPoint(0, 0), view.size()));
    history.append(std::move(snapshot));
    history_index = history.count() - 1;
}

void restore_entry(const QImage& entry, PictureView& view) {
    const QSize size = view.size();
    if (size.isEmpty())
        return;
    QImage& picture = view.picture_for_drawing();
    if (picture.size() != size || picture.format() != QImage::Format_BGR888) {
        QImage fitted(size, QImage::Format_BGR888);
        fitted.fill(Qt::white);
        picture = fitted;
    }
    block_copy(picture, stretch_and(entry, size), view.surface.copy_mode);
    view.picture_changed();
}

void undo_step(History& history, PictureView& view, int& history_index, bool& undo_picture_reset) {
    // A position left beyond the list (a reset that found no capture file empties the list but
    // keeps the position) counts as the last entry, so undo never leaves the list.
    if (history_index > history.count() - 1)
        history_index = std::max(history.count() - 1, 0);
    if (history_index < 1)
        return;
    const QImage& entry = history.at(history_index - 1);
    if (!undo_picture_reset) {
        QImage fresh(view.size(), QImage::Format_BGR888);
        fresh.fill(Qt::white);
        view.set_picture(fresh);
        undo_picture_reset = true;
    }
    restore_entry(entry, view);
    --history_index;
}

void redo_step(History& history, PictureView& view, int& history_index) {
    if (history_index < 0)
        history_index = 0;
    if (history_index >= history.count() - 1)
        return;
    ++history_index;
    restore_entry(history.at(history_index), view);
}
