// Lines, rectangle outlines, the arrow, the highlighter's AND stamp and the negative, drawn with
// exact pixels on 24-bit pictures. A figure is first turned into a set of horizontal runs of
// pixels (each pixel at most once), then the pen mode is applied to every pixel of the set; that
// is what makes NOT-XOR figures vanish when drawn a second time, wide pens included.

#include "edit/raster.h"

#include "platform/core/frames.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

namespace {

using i64 = std::int64_t;
using i128 = __int128;

constexpr int kMaxPenWidth = 16384;

// ---- Integer helpers ----------------------------------------------------------------------------

template <class Int> Int floor_div(Int a, Int b) {
    if (b < 0) {
        a = -a;
        b = -b;
    }
    Int q = a / b;
    if (a % b != 0 && a < 0)
        --q;
    return q;
}

template <class Int> Int ceil_div(Int a, Int b) {
    if (b < 0) {
        a = -a;
        b = -b;
    }
    Int q = a / b;
    if (a % b != 0 && a > 0)
        ++q;
    return q;
}

// The largest s with s * s <= v (v >= 0).
template <class Int> Int isqrt(Int v) {
    Int s = Int(std::sqrt(static_cast<long double>(v)));
    while (s > 0 && s * s > v)
        --s;
    while ((s + 1) * (s + 1) <= v)
        ++s;
    return s;
}

// The integers n with lo <= a * n + b <= hi, as [first, last] (first > last when none).
// `unbounded` stands for no limit when a is 0 and every n qualifies.
template <class Int>
void solve_linear(Int a, Int b, Int lo, Int hi, i64 unbounded, i64& first, i64& last) {
    if (a == 0) {
        if (lo <= b && b <= hi) {
            first = -unbounded;
            last = unbounded;
        } else {
            first = 1;
            last = 0;
        }
        return;
    }
    Int f, l;
    if (a > 0) {
        f = ceil_div<Int>(lo - b, a);
        l = floor_div<Int>(hi - b, a);
    } else {
        f = ceil_div<Int>(b - hi, -a);
        l = floor_div<Int>(b - lo, -a);
    }
    // Clamp into i64 range; callers clip to the picture anyway.
    f = std::max<Int>(f, Int(-unbounded));
    l = std::min<Int>(l, Int(unbounded));
    first = i64(f);
    last = i64(l);
}

// ---- Pixel sets ---------------------------------------------------------------------------------

// One run of pixels of a row, x0..x1 inclusive.
struct Run {
    int y;
    int x0;
    int x1;
};

// The pixels of a figure, clipped to the picture, as runs.
class Coverage {
public:
    Coverage(int width, int height) : width_(width), height_(height) {}

    int width() const { return width_; }
    int height() const { return height_; }

    void add(i64 y, i64 x0, i64 x1) {
        if (y < 0 || y >= height_)
            return;
        x0 = std::max<i64>(x0, 0);
        x1 = std::min<i64>(x1, width_ - 1);
        if (x0 > x1)
            return;
        runs_.push_back({int(y), int(x0), int(x1)});
    }

    // Sorts the runs and merges those that overlap or touch: afterwards no pixel is in two runs.
    void merge() {
        auto before = [](const Run& a, const Run& b) {
            return a.y != b.y ? a.y < b.y : a.x0 < b.x0;
        };
        if (!std::is_sorted(runs_.begin(), runs_.end(), before))
            std::sort(runs_.begin(), runs_.end(), before);
        std::size_t out = 0;
        for (std::size_t i = 0; i < runs_.size(); ++i) {
            if (out > 0 && runs_[out - 1].y == runs_[i].y && runs_[i].x0 <= runs_[out - 1].x1 + 1)
                runs_[out - 1].x1 = std::max(runs_[out - 1].x1, runs_[i].x1);
            else
                runs_[out++] = runs_[i];
        }
        runs_.resize(out);
    }

    QRect bounds() const {
        if (runs_.empty())
            return {};
        int left = runs_.front().x0, right = runs_.front().x1;
        int top = runs_.front().y, bottom = runs_.front().y;
        for (const Run& r : runs_) {
            left = std::min(left, r.x0);
            right = std::max(right, r.x1);
            top = std::min(top, r.y);
            bottom = std::max(bottom, r.y);
        }
        return QRect(QPoint(left, top), QPoint(right, bottom));
    }

    // Applies the pen to every pixel of the merged set. Returns the rectangle touched.
    QRect apply(QImage& picture, unsigned colour, PenMode mode) {
        merge();
        if (runs_.empty())
            return {};
        uchar b = uchar(colour >> 16), g = uchar(colour >> 8), r = uchar(colour);
        if (mode == PenMode::NotXor) {
            // NOT (d XOR p) = d XOR (NOT p)
            b = uchar(~b);
            g = uchar(~g);
            r = uchar(~r);
        }
        // Eight pixels of the pen as three 64-bit words, for the long runs.
        uchar pattern[24];
        for (int k = 0; k < 8; ++k) {
            pattern[3 * k] = b;
            pattern[3 * k + 1] = g;
            pattern[3 * k + 2] = r;
        }
        std::uint64_t words[3];
        std::memcpy(words, pattern, sizeof words);
        uchar* const bits = picture.bits();
        const qsizetype stride = picture.bytesPerLine();
        for (const Run& run : runs_) {
            uchar* p = bits + run.y * stride + qsizetype(run.x0) * 3;
            uchar* const end = p + qsizetype(run.x1 - run.x0 + 1) * 3;
            if (mode == PenMode::Copy) {
                for (; end - p >= 24; p += 24)
                    std::memcpy(p, pattern, 24);
                for (; p != end; p += 3) {
                    p[0] = b;
                    p[1] = g;
                    p[2] = r;
                }
            } else {
                for (; end - p >= 24; p += 24) {
                    std::uint64_t v[3];
                    std::memcpy(v, p, sizeof v);
                    v[0] ^= words[0];
                    v[1] ^= words[1];
                    v[2] ^= words[2];
                    std::memcpy(p, v, sizeof v);
                }
                for (; p != end; p += 3) {
                    p[0] ^= b;
                    p[1] ^= g;
                    p[2] ^= r;
                }
            }
        }
        return bounds();
    }

private:
    int width_, height_;
    std::vector<Run> runs_;
};

// ---- 1-pixel lines ------------------------------------------------------------------------------

// The pixels of a 1-pixel line from `from` to `to`, end point excluded: one pixel for each step i
// along the major axis (0 <= i < major), at the minor offset round(i * minor / major) with halves
// rounded towards the start. Only the steps inside the picture are walked, and they land on the
// same pixels as when the whole line is.
void add_thin_line(Coverage& cov, QPoint from, QPoint to) {
    const i64 x0 = from.x(), y0 = from.y();
    const i64 dx = i64(to.x()) - x0, dy = i64(to.y()) - y0;
    const i64 adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    const i64 sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    if (adx == 0 && ady == 0)
        return;
    const bool x_major = adx >= ady;
    const i64 major = x_major ? adx : ady, minor = x_major ? ady : adx;
    const i64 major0 = x_major ? x0 : y0, minor0 = x_major ? y0 : x0;
    const i64 major_step = x_major ? sx : sy, minor_step = x_major ? sy : sx;
    const i64 major_limit = x_major ? cov.width() : cov.height();
    const i64 minor_limit = x_major ? cov.height() : cov.width();

    // Steps whose major coordinate lies inside the picture.
    i64 first, last;
    if (major_step > 0) {
        first = std::max<i64>(0, -major0);
        last = std::min<i64>(major - 1, major_limit - 1 - major0);
    } else {
        first = std::max<i64>(0, major0 - (major_limit - 1));
        last = std::min<i64>(major - 1, major0);
    }
    if (first > last)
        return;

    // offset(i) = floor((2 i minor + major - 1) / (2 major)), followed incrementally.
    const i64 denominator = 2 * major;
    const i128 start = i128(2) * first * minor + major - 1;
    i64 offset = i64(start / denominator);
    i64 remainder = i64(start % denominator);
    i64 run_y = 0, run_x0 = 0, run_x1 = -1;
    auto flush = [&] {
        if (run_x1 >= run_x0)
            cov.add(run_y, run_x0, run_x1);
    };
    for (i64 i = first; i <= last; ++i) {
        const i64 m = major0 + major_step * i;
        const i64 n = minor0 + minor_step * offset;
        if (n >= 0 && n < minor_limit) {
            if (x_major) {
                if (run_x1 >= run_x0 && run_y == n && (m == run_x1 + 1 || m == run_x0 - 1)) {
                    run_x0 = std::min(run_x0, m);
                    run_x1 = std::max(run_x1, m);
                } else {
                    flush();
                    run_y = n;
                    run_x0 = run_x1 = m;
                }
            } else {
                cov.add(m, n, n);
            }
        }
        remainder += 2 * minor;
        if (remainder >= denominator) {
            remainder -= denominator;
            ++offset;
        }
    }
    flush();
}

// ---- Wide pens ----------------------------------------------------------------------------------

// Geometry is worked in doubled coordinates, where the centre of pixel (x, y) is (2x, 2y): a point
// of the figure is (2x, 2y) for odd pen widths and (2x - 1, 2y - 1) for even ones, and the pen's
// radius is its width. Pixel centres then never fall exactly on the edge of a round end.
struct Segment {
    i64 ax, ay, bx, by;
};

template <class Int> struct Capsule {
    Int ax, ay, bx, by, dx, dy, length2, limit;
    i64 row_first, row_last;
};

// The pixels within `width` / 2 of any of the segments (round ends and joins), row by row.
template <class Int>
void add_capsules_as(Coverage& cov, const std::vector<Segment>& segments, Int w) {
    const i64 unbounded = i64(1) << 40;
    std::vector<Capsule<Int>> caps;
    caps.reserve(segments.size());
    i64 rows_first = cov.height(), rows_last = -1;
    for (const Segment& s : segments) {
        Capsule<Int> c;
        c.ax = s.ax;
        c.ay = s.ay;
        c.bx = s.bx;
        c.by = s.by;
        c.dx = c.bx - c.ax;
        c.dy = c.by - c.ay;
        c.length2 = c.dx * c.dx + c.dy * c.dy;
        c.limit = isqrt<Int>(w * w * c.length2);
        c.row_first = std::max<i64>(0, i64(ceil_div<Int>(std::min(c.ay, c.by) - w, 2)));
        c.row_last =
            std::min<i64>(cov.height() - 1, i64(floor_div<Int>(std::max(c.ay, c.by) + w, 2)));
        if (c.row_first > c.row_last)
            continue;
        rows_first = std::min(rows_first, c.row_first);
        rows_last = std::max(rows_last, c.row_last);
        caps.push_back(c);
    }
    struct Range {
        i64 first, last;
    };
    std::vector<Range> ranges;
    auto disc = [&](Int cx, Int cy, Int row, Range& r) {
        const Int ry = row - cy;
        const Int room = w * w - ry * ry;
        if (room < 0)
            return;
        const Int s = isqrt<Int>(room);
        r.first = std::min(r.first, i64(ceil_div<Int>(cx - s, 2)));
        r.last = std::max(r.last, i64(floor_div<Int>(cx + s, 2)));
    };
    for (i64 y = rows_first; y <= rows_last; ++y) {
        ranges.clear();
        const Int row = Int(2 * y);
        for (const Capsule<Int>& c : caps) {
            if (y < c.row_first || y > c.row_last)
                continue;
            // The figure is convex, so the three parts' pixels on this row join into one range.
            Range r{unbounded, -unbounded};
            disc(c.ax, c.ay, row, r);
            disc(c.bx, c.by, row, r);
            if (c.length2 > 0) {
                // Projection onto the segment within [0, length2], distance from its line within
                // the radius: both linear in x.
                i64 f1, l1, f2, l2;
                solve_linear<Int>(2 * c.dx, -c.ax * c.dx + (row - c.ay) * c.dy, 0, c.length2,
                                  unbounded, f1, l1);
                solve_linear<Int>(2 * c.dy, -c.ax * c.dy - (row - c.ay) * c.dx, -c.limit, c.limit,
                                  unbounded, f2, l2);
                const i64 f = std::max(f1, f2), l = std::min(l1, l2);
                if (f <= l) {
                    r.first = std::min(r.first, f);
                    r.last = std::max(r.last, l);
                }
            }
            if (r.first <= r.last)
                ranges.push_back(r);
        }
        std::sort(ranges.begin(), ranges.end(),
                  [](const Range& a, const Range& b) { return a.first < b.first; });
        for (std::size_t i = 0; i < ranges.size();) {
            Range merged = ranges[i++];
            while (i < ranges.size() && ranges[i].first <= merged.last + 1)
                merged.last = std::max(merged.last, ranges[i++].last);
            cov.add(y, merged.first, merged.last);
        }
    }
}

// Points in doubled coordinates for a pen of width w.
i64 doubled(int v, int w) {
    return 2 * i64(v) - (w % 2 == 0 ? 1 : 0);
}

// Adds the segments between consecutive points (and back to the first when `closed`), drawn with
// a wide pen. Zero-length segments count in a closed outline (round joins) and alone draw nothing.
void add_wide_polyline(Coverage& cov, const std::vector<QPoint>& points, int width, bool closed) {
    std::vector<Segment> segments;
    const std::size_t n = points.size();
    const std::size_t count = closed ? n : (n > 0 ? n - 1 : 0);
    bool fits = width <= 64;
    for (std::size_t i = 0; i < count; ++i) {
        const QPoint a = points[i], b = points[(i + 1) % n];
        if (!closed && a == b)
            continue;
        const Segment s{doubled(a.x(), width), doubled(a.y(), width), doubled(b.x(), width),
                        doubled(b.y(), width)};
        for (i64 v : {s.ax, s.ay, s.bx, s.by})
            fits = fits && v >= -(i64(1) << 23) && v <= (i64(1) << 23);
        segments.push_back(s);
    }
    if (segments.empty())
        return;
    // 64-bit arithmetic is exact for moderate coordinates and widths; 128-bit otherwise.
    if (fits)
        add_capsules_as<i64>(cov, segments, width);
    else
        add_capsules_as<i128>(cov, segments, width);
}

int effective_width(int width) {
    return std::clamp(width, 1, kMaxPenWidth);
}

// A line or a closed outline through `points` with a pen of `width`.
void add_pen_path(Coverage& cov, const std::vector<QPoint>& points, int width, bool closed) {
    width = effective_width(width);
    if (width > 1) {
        add_wide_polyline(cov, points, width, closed);
        return;
    }
    const std::size_t n = points.size();
    const std::size_t count = closed ? n : (n > 0 ? n - 1 : 0);
    for (std::size_t i = 0; i < count; ++i)
        add_thin_line(cov, points[i], points[(i + 1) % n]);
}

// The inside of a polygon whose vertices name pixel centres: a pixel is inside when its centre is
// (alternate rule), centres on a left or top edge counting in and on a right or bottom edge out.
void add_polygon_fill(Coverage& cov, const std::vector<QPoint>& points) {
    const std::size_t n = points.size();
    if (n < 3)
        return;
    i64 top = points[0].y(), bottom = points[0].y();
    for (const QPoint& p : points) {
        top = std::min<i64>(top, p.y());
        bottom = std::max<i64>(bottom, p.y());
    }
    top = std::max<i64>(top, 0);
    bottom = std::min<i64>(bottom - 1, cov.height() - 1);
    std::vector<i64> crossings;
    for (i64 y = top; y <= bottom; ++y) {
        crossings.clear();
        for (std::size_t i = 0; i < n; ++i) {
            const QPoint a = points[i], b = points[(i + 1) % n];
            const i64 ay = a.y(), by = b.y();
            if (ay == by || y < std::min(ay, by) || y >= std::max(ay, by))
                continue;
            // First pixel column at or right of the crossing x = ax + (y - ay)(bx - ax)/(by - ay).
            const i128 num = i128(a.x()) * (by - ay) + i128(y - ay) * (i64(b.x()) - a.x());
            crossings.push_back(i64(ceil_div<i128>(num, by - ay)));
        }
        std::sort(crossings.begin(), crossings.end());
        for (std::size_t i = 0; i + 1 < crossings.size(); i += 2)
            cov.add(y, crossings[i], crossings[i + 1] - 1);
    }
}

} // namespace

QRect line_to(QImage& picture, DrawingSurface& surface, QPoint to) {
    const QPoint from = surface.current_position;
    surface.current_position = to;
    if (picture.isNull())
        return {};
    prepare_for_writing(picture);
    Coverage cov(picture.width(), picture.height());
    add_pen_path(cov, {from, to}, surface.pen_width, false);
    return cov.apply(picture, surface.pen_colour, surface.pen_mode);
}

QRect draw_line(QImage& picture, DrawingSurface& surface, QPoint from, QPoint to) {
    surface.current_position = from;
    return line_to(picture, surface, to);
}

QRect draw_rectangle_outline(QImage& picture, const DrawingSurface& surface, QPoint a, QPoint b) {
    if (picture.isNull())
        return {};
    const i64 left = std::min(a.x(), b.x()), right = std::max(a.x(), b.x());
    const i64 top = std::min(a.y(), b.y()), bottom = std::max(a.y(), b.y());
    if (right - left < 1 || bottom - top < 1)
        return {};
    prepare_for_writing(picture);
    Coverage cov(picture.width(), picture.height());
    const int width = effective_width(surface.pen_width);
    if (width == 1) {
        // Rows top and bottom - 1 in full, the rows between at the two side columns only.
        for (i64 y = std::max<i64>(top, 0); y <= std::min<i64>(bottom - 1, cov.height() - 1); ++y) {
            if (y == top || y == bottom - 1) {
                cov.add(y, left, right - 1);
            } else {
                cov.add(y, left, left);
                if (right - 1 != left)
                    cov.add(y, right - 1, right - 1);
            }
        }
    } else {
        const int l = int(left), t = int(top), r = int(right - 1), btm = int(bottom - 1);
        add_wide_polyline(cov, {{l, t}, {r, t}, {r, btm}, {l, btm}}, width, true);
    }
    return cov.apply(picture, surface.pen_colour, surface.pen_mode);
}

QRect draw_arrow(QImage& picture, DrawingSurface& surface, QPoint start, QPoint end,
                 int size_stylet, unsigned colour) {
    surface.pen_colour = colour;
    surface.brush_colour = colour;
    surface.brush_style = BrushStyle::Solid;
    surface.pen_mode = PenMode::Copy;
    surface.current_position = end;
    if (picture.isNull())
        return {};
    prepare_for_writing(picture);

    const i64 dx = i64(end.x()) - start.x(), dy = i64(end.y()) - start.y();
    double theta = dx != 0 ? std::atan(double(dy) / double(dx)) : std::atan(double(dy));
    if (dx < 0)
        theta += std::numbers::pi;
    const double d = 5.0 * size_stylet;
    const double spread = std::numbers::pi / 8;
    const double back = theta + std::numbers::pi;
    // A wing point: `end` plus the offset truncated towards zero (kept within int's range).
    auto wing = [&](double angle) {
        auto coordinate = [](int base, double offset) {
            const double v = double(base) + std::trunc(offset);
            return int(std::clamp(v, double(INT_MIN), double(INT_MAX)));
        };
        return QPoint(coordinate(end.x(), std::cos(angle) * d),
                      coordinate(end.y(), std::sin(angle) * d));
    };
    const QPoint w1 = wing(back - spread), w2 = wing(back + spread);

    // Shaft, head and its outline share one colour in copy mode: one set of pixels.
    Coverage cov(picture.width(), picture.height());
    add_pen_path(cov, {start, end}, surface.pen_width, false);
    const std::vector<QPoint> head{end, w1, w2, end};
    add_polygon_fill(cov, head);
    add_pen_path(cov, head, surface.pen_width, true);
    return cov.apply(picture, colour, PenMode::Copy);
}

QRect stamp_and(QImage& picture, int left, int top, int width, int height, unsigned colour) {
    if (picture.isNull() || width <= 0 || height <= 0)
        return {};
    prepare_for_writing(picture);
    const i64 x0 = std::max<i64>(left, 0), x1 = std::min<i64>(i64(left) + width, picture.width());
    const i64 y0 = std::max<i64>(top, 0), y1 = std::min<i64>(i64(top) + height, picture.height());
    if (x0 >= x1 || y0 >= y1)
        return {};
    const uchar b = uchar(colour >> 16), g = uchar(colour >> 8), r = uchar(colour);
    uchar* const bits = picture.bits();
    const qsizetype stride = picture.bytesPerLine();
    for (i64 y = y0; y < y1; ++y) {
        uchar* p = bits + y * stride + x0 * 3;
        uchar* const end = bits + y * stride + x1 * 3;
        for (; p != end; p += 3) {
            p[0] &= b;
            p[1] &= g;
            p[2] &= r;
        }
    }
    return QRect(int(x0), int(y0), int(x1 - x0), int(y1 - y0));
}

void complement_bytes(const uchar* from, uchar* to, qsizetype count) {
    qsizetype i = 0;
    for (; i + 32 <= count; i += 32) {
        std::uint64_t w[4];
        std::memcpy(w, from + i, sizeof w);
        w[0] = ~w[0];
        w[1] = ~w[1];
        w[2] = ~w[2];
        w[3] = ~w[3];
        std::memcpy(to + i, w, sizeof w);
    }
    for (; i + 8 <= count; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, from + i, sizeof w);
        w = ~w;
        std::memcpy(to + i, &w, sizeof w);
    }
    for (; i < count; ++i)
        to[i] = uchar(255 - from[i]);
}

QRect negate_picture(QImage& picture) {
    if (picture.isNull())
        return {};
    if (picture.format() != QImage::Format_BGR888)
        prepare_for_writing(picture); // the converted copy is the picture's own
    const qsizetype row_bytes = qsizetype(picture.width()) * 3;
    // Pixels shared with another QImage (the history's entry) are read where they lie and their
    // negative written into a new frame: one pass, where copying them first would take two.
    QImage target;
    if (!owns_frame(picture)) {
        target = new_frame(picture.size());
        if (target.isNull())
            throw std::bad_alloc();
        target.setDotsPerMeterX(picture.dotsPerMeterX());
        target.setDotsPerMeterY(picture.dotsPerMeterY());
    }
    const QImage& source = picture;
    QImage& result = target.isNull() ? picture : target;
    const uchar* const from = source.constBits();
    uchar* const to = result.bits();
    if (source.bytesPerLine() == row_bytes && result.bytesPerLine() == row_bytes) {
        // No padding: the rows form one block.
        complement_bytes(from, to, row_bytes * picture.height());
    } else {
        for (int y = 0; y < picture.height(); ++y)
            complement_bytes(from + y * source.bytesPerLine(), to + y * result.bytesPerLine(),
                             row_bytes);
    }
    if (!target.isNull())
        picture = std::move(target);
    return picture.rect();
}
