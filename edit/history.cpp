#include "edit/history.h"

#include "edit/raster.h"
#include "platform/core/error.h"
#include "platform/core/frames.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include <zstd.h>
#include <zstd_errors.h>

namespace {

// zstd's fastest level: a small edit's difference is mostly zeros and compresses to almost
// nothing at any level, and a whole 4K frame still takes only tens of milliseconds.
constexpr int kLevel = 1;
// Rows go through the compressor in pieces of about this many bytes, so that no buffer of the
// picture's size is ever needed besides the pictures themselves.
constexpr qsizetype kPieceBytes = 256 * 1024;
// A link over this many bytes of the picture or more (a sixth of a 4K picture) takes
// milliseconds to apply, like the whole copy across a change of size: the entry beyond it is
// kept plain while it is a neighbour of the entry shown.
constexpr qsizetype kCostlyLinkBytes = qsizetype{4} << 20;

void check(size_t code) {
    if (!ZSTD_isError(code))
        return;
    if (ZSTD_getErrorCode(code) == ZSTD_error_memory_allocation)
        throw std::bad_alloc();
    throw KapError(QStringLiteral("Historique endommagé : %1")
                       .arg(QString::fromLatin1(ZSTD_getErrorName(code))));
}

// The smallest rectangle outside which `a` and `b` (same size, 24-bit) are equal; empty when
// they are equal everywhere.
QRect changed_rect(const QImage& a, const QImage& b) {
    if (a.constBits() == b.constBits())
        return {};
    const qsizetype row = qsizetype{a.width()} * 3;
    int top = -1, bottom = -1;
    qsizetype first = row, last = -1; // byte bounds over all rows seen so far
    for (int y = 0; y < a.height(); ++y) {
        const uchar* p = a.constScanLine(y);
        const uchar* q = b.constScanLine(y);
        if (std::memcmp(p, q, static_cast<size_t>(row)) == 0)
            continue;
        if (top < 0)
            top = y;
        bottom = y;
        // Only the parts outside the bounds found so far can widen them.
        qsizetype i = 0;
        while (i < first && p[i] == q[i])
            ++i;
        first = std::min(first, i);
        qsizetype j = row - 1;
        while (j > last && p[j] == q[j])
            --j;
        last = std::max(last, j);
    }
    if (top < 0)
        return {};
    return QRect(QPoint(static_cast<int>(first / 3), top),
                 QPoint(static_cast<int>(last / 3), bottom));
}

// to[i] = a[i] ^ b[i] for `count` bytes, eight at a time (`to` may be `a`).
void xor_bytes(uchar* to, const uchar* a, const uchar* b, qsizetype count) {
    qsizetype i = 0;
    for (; i + 32 <= count; i += 32) {
        std::uint64_t x[4], y[4];
        std::memcpy(x, a + i, sizeof x);
        std::memcpy(y, b + i, sizeof y);
        for (int k = 0; k < 4; ++k)
            x[k] ^= y[k];
        std::memcpy(to + i, x, sizeof x);
    }
    for (; i < count; ++i)
        to[i] = uchar(a[i] ^ b[i]);
}

int rows_per_piece(qsizetype row) {
    return static_cast<int>(std::max<qsizetype>(1, kPieceBytes / row));
}

} // namespace

struct History::Codec {
    ZSTD_CCtx* compressor = nullptr;
    ZSTD_DCtx* decompressor = nullptr;
    ~Codec() {
        ZSTD_freeCCtx(compressor);
        ZSTD_freeDCtx(decompressor);
    }
    ZSTD_CCtx* cctx() {
        if (!compressor) {
            compressor = ZSTD_createCCtx();
            if (!compressor)
                throw std::bad_alloc();
            check(ZSTD_CCtx_setParameter(compressor, ZSTD_c_compressionLevel, kLevel));
        }
        return compressor;
    }
    ZSTD_DCtx* dctx() {
        if (!decompressor) {
            decompressor = ZSTD_createDCtx();
            if (!decompressor)
                throw std::bad_alloc();
        }
        return decompressor;
    }
};

History::History() : codec_(std::make_unique<Codec>()) {}
History::~History() = default;

int History::run_first(int index) const {
    while (index > 0 && entries_[static_cast<size_t>(index)].linked)
        --index;
    return index;
}

int History::run_last(int index) const {
    while (index + 1 < count() && entries_[static_cast<size_t>(index) + 1].linked)
        ++index;
    return index;
}

bool History::run_has_whole(int index) const {
    for (int i = run_first(index); i <= index; ++i)
        if (entries_[static_cast<size_t>(i)].whole)
            return true;
    return false;
}

// XOR (or copy, when `before` is null) of the rows of `rect`, compressed piece by piece.
static std::vector<char> compress_rows(ZSTD_CCtx* cctx, const QImage& after, const QImage* before,
                                       QRect rect) {
    std::vector<char> out;
    if (rect.isEmpty())
        return out;
    const qsizetype row = qsizetype{rect.width()} * 3;
    const qsizetype offset = qsizetype{rect.left()} * 3;
    const int piece_rows = rows_per_piece(row);
    std::vector<uchar> piece(static_cast<size_t>(row * piece_rows));
    std::vector<char> buffer(ZSTD_CStreamOutSize());
    check(ZSTD_CCtx_reset(cctx, ZSTD_reset_session_only));
    check(ZSTD_CCtx_setPledgedSrcSize(cctx, static_cast<unsigned long long>(row) * rect.height()));
    for (int y0 = rect.top(); y0 <= rect.bottom(); y0 += piece_rows) {
        const int n = std::min(piece_rows, rect.bottom() + 1 - y0);
        for (int r = 0; r < n; ++r) {
            uchar* dst = piece.data() + r * row;
            const uchar* a = after.constScanLine(y0 + r) + offset;
            if (before) {
                xor_bytes(dst, a, before->constScanLine(y0 + r) + offset, row);
            } else {
                std::memcpy(dst, a, static_cast<size_t>(row));
            }
        }
        const bool end = y0 + n > rect.bottom();
        ZSTD_inBuffer in{piece.data(), static_cast<size_t>(row * n), 0};
        for (;;) {
            ZSTD_outBuffer o{buffer.data(), buffer.size(), 0};
            const size_t left =
                ZSTD_compressStream2(cctx, &o, &in, end ? ZSTD_e_end : ZSTD_e_continue);
            check(left);
            out.insert(out.end(), buffer.data(), buffer.data() + o.pos);
            if (end ? left == 0 : in.pos == in.size)
                break;
        }
    }
    out.shrink_to_fit();
    return out;
}

History::Patch History::difference(const QImage& before, const QImage& after) const {
    Patch patch;
    patch.rect = changed_rect(before, after);
    patch.data = compress_rows(codec_->cctx(), after, &before, patch.rect);
    return patch;
}

History::Patch History::whole_copy(const QImage& pixels) const {
    Patch patch;
    patch.rect = pixels.rect();
    patch.data = compress_rows(codec_->cctx(), pixels, nullptr, patch.rect);
    return patch;
}

void History::apply(const Patch& patch, QImage& picture, bool xor_in) const {
    if (patch.rect.isEmpty())
        return;
    const QRect& rect = patch.rect;
    const qsizetype row = qsizetype{rect.width()} * 3;
    const qsizetype offset = qsizetype{rect.left()} * 3;
    if (patch.complement) {
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            uchar* dst = picture.scanLine(y) + offset;
            complement_bytes(dst, dst, row);
        }
        return;
    }
    const int piece_rows = rows_per_piece(row);
    std::vector<uchar> piece(static_cast<size_t>(row * piece_rows));
    ZSTD_DCtx* dctx = codec_->dctx();
    check(ZSTD_DCtx_reset(dctx, ZSTD_reset_session_only));
    ZSTD_inBuffer in{patch.data.data(), patch.data.size(), 0};
    for (int y0 = rect.top(); y0 <= rect.bottom(); y0 += piece_rows) {
        const int n = std::min(piece_rows, rect.bottom() + 1 - y0);
        ZSTD_outBuffer o{piece.data(), static_cast<size_t>(row * n), 0};
        while (o.pos < o.size) {
            const size_t before = o.pos;
            const size_t hint = ZSTD_decompressStream(dctx, &o, &in);
            check(hint);
            if (o.pos == before && (hint == 0 || in.pos == in.size))
                throw KapError(QStringLiteral("Historique endommagé : données tronquées"));
        }
        for (int r = 0; r < n; ++r) {
            uchar* dst = picture.scanLine(y0 + r) + offset;
            const uchar* src = piece.data() + r * row;
            if (xor_in) {
                xor_bytes(dst, dst, src, row);
            } else {
                std::memcpy(dst, src, static_cast<size_t>(row));
            }
        }
    }
}

QImage History::rebuild(int index) const {
    const Entry& entry = entries_[static_cast<size_t>(index)];
    if (!entry.plain.isNull() || entry.size.isEmpty())
        return entry.plain;

    // Start from the entry shown when it is in the same run, or else from the nearest entry of
    // the run kept whole, then apply the links one by one towards `index`.
    const int first = run_first(index), last = run_last(index);
    int start = -1;
    if (shown_ >= first && shown_ <= last && !entries_[static_cast<size_t>(shown_)].plain.isNull())
        start = shown_;
    for (int k = first; k <= last; ++k)
        if (entries_[static_cast<size_t>(k)].whole &&
            (start < 0 || std::abs(k - index) < std::abs(start - index)))
            start = k;
    if (start < 0) // every run keeps a plain or a whole entry; this is a broken history
        throw KapError(QStringLiteral("Historique endommagé : étape introuvable"));

    const Entry& from = entries_[static_cast<size_t>(start)];
    // A step back or forth at 4K fills 25 MB of new memory: a new frame.
    QImage pixels = new_frame(from.size);
    if (pixels.isNull())
        throw std::bad_alloc();
    if (!from.plain.isNull()) {
        if (from.plain.bytesPerLine() == pixels.bytesPerLine()) {
            std::memcpy(pixels.bits(), from.plain.constBits(),
                        static_cast<size_t>(pixels.sizeInBytes()));
        } else {
            const size_t row = static_cast<size_t>(pixels.width()) * 3;
            for (int y = 0; y < pixels.height(); ++y)
                std::memcpy(pixels.scanLine(y), from.plain.constScanLine(y), row);
        }
    } else {
        apply(from.copy, pixels, false);
    }
    // A link holds entry i XOR entry i - 1: the same patch steps up to i or down to i - 1.
    for (int i = start + 1; i <= index; ++i)
        apply(entries_[static_cast<size_t>(i)].link, pixels, true);
    for (int i = start; i > index; --i)
        apply(entries_[static_cast<size_t>(i)].link, pixels, true);
    return pixels;
}

bool History::costly_step(int index) const {
    const Entry& entry = entries_[static_cast<size_t>(index)];
    if (!entry.linked)
        return true; // a change of size: rebuilt from a whole compressed copy
    const QRect& rect = entry.link.rect;
    return qsizetype{rect.width()} * rect.height() * 3 >= kCostlyLinkBytes;
}

void History::show(int index) {
    int kept = -1;
    for (const int candidate : {shown_, kept_}) {
        if (candidate < 0 || candidate >= count() || candidate == index || candidate == kept)
            continue;
        const bool neighbour = candidate == index - 1 || candidate == index + 1;
        if (kept < 0 && neighbour && costly_step(std::max(candidate, index)))
            kept = candidate;
        else
            entries_[static_cast<size_t>(candidate)].plain = QImage();
    }
    shown_ = index;
    kept_ = kept;
}

std::optional<QRect> History::change_from(const QImage& current, int index) const {
    if (shown_ < 0 || index < 0 || index >= count() || shown_ >= count())
        return std::nullopt;
    const QImage& shown = entries_[static_cast<size_t>(shown_)].plain;
    if (shown.isNull() || current.isNull() || current.size() != shown.size() ||
        current.constBits() != shown.constBits())
        return std::nullopt;
    QRect changed;
    for (int i = std::min(shown_, index) + 1; i <= std::max(shown_, index); ++i) {
        const Entry& step = entries_[static_cast<size_t>(i)];
        if (!step.linked)
            return std::nullopt;
        changed |= step.link.rect;
    }
    return changed;
}

QImage History::at(int index) {
    Entry& entry = entries_.at(static_cast<size_t>(index));
    QImage pixels;
    try {
        pixels = rebuild(index);
    } catch (const std::bad_alloc&) {
        throw KapError(QStringLiteral("Mémoire insuffisante"));
    }
    entry.plain = pixels;
    show(index);
    return pixels;
}

bool History::append_after(int index, QImage snapshot, bool unless_same) {
    return record_after(index, std::move(snapshot), unless_same, false);
}

void History::append_negative_after(int index, QImage snapshot) {
    record_after(index, std::move(snapshot), false, true);
}

bool History::record_after(int index, QImage snapshot, bool unless_same, bool negative) {
    index = std::clamp(index, -1, count() - 1);
    try {
        if (!snapshot.isNull() && snapshot.format() != QImage::Format_BGR888) {
            snapshot = snapshot.convertToFormat(QImage::Format_BGR888);
            if (snapshot.isNull())
                throw std::bad_alloc();
        }
        if (entries_.size() == entries_.capacity())
            entries_.reserve(std::max<size_t>(16, 2 * entries_.size()));

        Entry added;
        added.size = snapshot.size();
        added.plain = snapshot;
        QImage before;
        Patch before_copy;
        bool copy_before = false;
        if (index >= 0) {
            before = rebuild(index);
            if (before.size() == added.size) {
                added.linked = true;
                if (negative && !snapshot.isNull()) {
                    added.link.rect = snapshot.rect();
                    added.link.complement = true;
                } else {
                    added.link = difference(before, snapshot);
                }
                if (unless_same && added.link.rect.isEmpty())
                    return false;
            } else {
                // No link across a change of size: each side keeps a whole copy to start from.
                if (!run_has_whole(index) && !before.isNull()) {
                    before_copy = whole_copy(before);
                    copy_before = true;
                }
                if (!snapshot.isNull()) {
                    added.whole = true;
                    added.copy = whole_copy(snapshot);
                }
            }
        }

        // Nothing below allocates: the history changes only once everything is ready. The
        // steps after `index` go; the run of `index` keeps a base (the entry added, plain and
        // linked to it, or its whole copy).
        entries_.erase(entries_.begin() + (index + 1), entries_.end());
        if (shown_ > index)
            shown_ = -1;
        if (kept_ > index)
            kept_ = -1;
        if (copy_before) {
            entries_.back().whole = true;
            entries_.back().copy = std::move(before_copy);
        }
        entries_.push_back(std::move(added));
        show(count() - 1);
        return true;
    } catch (const std::bad_alloc&) {
        throw KapError(
            QStringLiteral("Mémoire insuffisante pour enregistrer cette étape dans l'historique."));
    }
}

void History::clear() {
    entries_ = {};
    shown_ = -1;
    kept_ = -1;
}

qsizetype History::bytes() const {
    qsizetype total = 0;
    for (const Entry& entry : entries_) {
        total += static_cast<qsizetype>(entry.link.data.size() + entry.copy.data.size());
        if (!entry.plain.isNull())
            total += entry.plain.sizeInBytes();
    }
    return total;
}
