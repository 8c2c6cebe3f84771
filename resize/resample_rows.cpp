// The blends and the rows a pixel at a time, in plain C++: the literal arithmetic, with an
// estimate in double precision that settles most bytes, and the code the vector rows hand their
// doubtful pixels to.

#include "resize/resample_internal.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>

namespace resample {

namespace {

inline double inverse_distance(long double a, long double b) {
    return static_cast<double>(1.0L / std::sqrt(a * a + b * b));
}

// The flat-area rule of a blend (see kExactFlatSum).
std::int8_t flat_rule(const Blend& b) {
    double hi = 0, lo = 0;
    for (double w : b.w) {
        if (w == 0)
            continue;
        const double s = hi + w;
        const double bb = s - hi;
        lo += (hi - (s - bb)) + (w - bb);
        hi = s;
    }
    const double excess = (hi - b.sum) + lo; // exact sum minus S
    if (excess == 0.0 && b.sum < kExactFlatSum)
        return 1;
    const double threshold = b.sum * 0x1p-59;
    if (excess > threshold)
        return 1;
    if (excess < -threshold)
        return -1;
    return 0;
}

// The reference arithmetic for one byte, in extended precision: the quotient before truncation.
inline long double quotient2(int a, int b, double wa, double wb, double sum) {
    return (static_cast<long double>(a) * wa + static_cast<long double>(b) * wb) /
           static_cast<long double>(sum);
}

inline long double quotient4(int a, int b, int c, int d, const Blend& k) {
    return (static_cast<long double>(a) * k.w[0] + static_cast<long double>(b) * k.w[1] +
            static_cast<long double>(c) * k.w[2] + static_cast<long double>(d) * k.w[3]) /
           static_cast<long double>(k.sum);
}

// Truncation of an extended quotient known to lie within 1 of the integer n: a comparison,
// cheaper than converting the extended value.
inline std::uint8_t truncate_near(long double q, int n) {
    return static_cast<std::uint8_t>(q >= n ? n : n - 1);
}

// Byte of a two-neighbour blend; `i` and `j` index the weights taking part. Fast: estimate in
// double and settle near-integers exactly; otherwise the literal arithmetic throughout.
template <bool Fast> inline std::uint8_t blend2(int a, int b, const Blend& k, int i, int j) {
    if constexpr (Fast) {
        const double q = a * k.v[i] + b * k.v[j];
        const int t = static_cast<int>(q);
        const double f = q - t;
        if (f > kMargin && f < 1.0 - kMargin)
            return static_cast<std::uint8_t>(t);
        const int n = f < 0.5 ? t : t + 1;
        if (a == b && k.flat_rule != 0)
            return static_cast<std::uint8_t>(a == 0 || k.flat_rule > 0 ? a : a - 1);
        return truncate_near(quotient2(a, b, k.w[i], k.w[j], k.sum), n);
    } else {
        return static_cast<std::uint8_t>(quotient2(a, b, k.w[i], k.w[j], k.sum));
    }
}

template <bool Fast> inline std::uint8_t blend4(int a, int b, int c, int d, const Blend& k) {
    if constexpr (Fast) {
        const double q = a * k.v[0] + b * k.v[1] + c * k.v[2] + d * k.v[3];
        const int t = static_cast<int>(q);
        const double f = q - t;
        if (f > kMargin && f < 1.0 - kMargin)
            return static_cast<std::uint8_t>(t);
        const int n = f < 0.5 ? t : t + 1;
        if (a == b && a == c && a == d && k.flat_rule != 0)
            return static_cast<std::uint8_t>(a == 0 || k.flat_rule > 0 ? a : a - 1);
        return truncate_near(quotient4(a, b, c, d, k), n);
    } else {
        return static_cast<std::uint8_t>(quotient4(a, b, c, d, k));
    }
}

inline std::uint32_t pixel_bits(const std::uint8_t* p) {
    return p[0] | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16;
}

// A pixel whose neighbours taking part are all the same colour, under a blend whose flat-area
// rule is decided: each byte b gives b or b - 1 (0 stays 0), exactly what blend2 and blend4 would
// find after their estimate, which for equal bytes always lands next to an integer. Most of a
// screen is flat, so this saves the estimate of three bytes.
inline void flat_pixel(const std::uint8_t* p, std::int8_t rule, std::uint8_t* out) {
    for (int c = 0; c < 3; ++c)
        out[c] = static_cast<std::uint8_t>(p[c] == 0 || rule > 0 ? p[c] : p[c] - 1);
}

// One destination row. `blends` holds the blends of this row's kind, indexed by column kind.
template <bool Fast>
void blend_row(const std::uint8_t* r0, const std::uint8_t* r1, const AxisStep* cols, int width,
               const Blend* blends, std::uint8_t* out) {
    for (int x = 0; x < width; ++x, out += 3) {
        const Blend& k = blends[cols[x].kind];
        const std::uint8_t* p = r0 + 3 * static_cast<std::ptrdiff_t>(cols[x].base);
        const std::uint8_t* q = r1 + 3 * static_cast<std::ptrdiff_t>(cols[x].base);
        switch (k.mix) {
        case Mix::Copy:
            out[0] = p[0];
            out[1] = p[1];
            out[2] = p[2];
            break;
        case Mix::DownEven:
            for (int c = 0; c < 3; ++c)
                out[c] = static_cast<std::uint8_t>((p[c] + q[c]) >> 1);
            break;
        case Mix::RightEven:
            for (int c = 0; c < 3; ++c)
                out[c] = static_cast<std::uint8_t>((p[c] + p[c + 3]) >> 1);
            break;
        case Mix::FourEven:
            for (int c = 0; c < 3; ++c)
                out[c] = static_cast<std::uint8_t>((p[c] + p[c + 3] + q[c] + q[c + 3]) >> 2);
            break;
        case Mix::Down:
            if (Fast && k.flat_rule != 0 && pixel_bits(p) == pixel_bits(q)) {
                flat_pixel(p, k.flat_rule, out);
                break;
            }
            for (int c = 0; c < 3; ++c)
                out[c] = blend2<Fast>(p[c], q[c], k, 0, 2);
            break;
        case Mix::Right:
            if (Fast && k.flat_rule != 0 && pixel_bits(p) == pixel_bits(p + 3)) {
                flat_pixel(p, k.flat_rule, out);
                break;
            }
            for (int c = 0; c < 3; ++c)
                out[c] = blend2<Fast>(p[c], p[c + 3], k, 0, 1);
            break;
        case Mix::Four:
            if (Fast && k.flat_rule != 0) {
                const std::uint32_t a = pixel_bits(p);
                if (a == pixel_bits(p + 3) && a == pixel_bits(q) && a == pixel_bits(q + 3)) {
                    flat_pixel(p, k.flat_rule, out);
                    break;
                }
            }
            for (int c = 0; c < 3; ++c)
                out[c] = blend4<Fast>(p[c], p[c + 3], q[c], q[c + 3], k);
            break;
        }
    }
}

// A row of a picture resampled to its own size. Each position falls half a pixel before a source
// pixel (x - 1/2, y - 1/2), so the blends have equal weights and give the truncated mean of the
// pixels taking part (see make_blend): columns x - 1 and x, rows y - 1 and y, the first column
// and the first row having one of each only.
void half_pixel_mean_row(const Plan& plan, int y, std::uint8_t* out) {
    const std::uint8_t* r1 = plan.src + y * plan.src_stride;
    const std::uint8_t* r0 = y > 0 ? r1 - plan.src_stride : r1;
    const int bytes = 3 * plan.width;
    for (int i = 0; i < 3; ++i)
        out[i] = static_cast<std::uint8_t>((r0[i] + r1[i]) >> 1);
    int i = 3;
#ifdef __SSE2__
    // Sixteen bytes at a time, in 16-bit sums: row 0 adds each row to itself (the mean of two
    // pixels taken twice), which gives the same bytes.
    const __m128i none = _mm_setzero_si128();
    auto sum = [&](const std::uint8_t* p, bool high) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        return high ? _mm_unpackhi_epi8(v, none) : _mm_unpacklo_epi8(v, none);
    };
    for (; i + 16 <= bytes; i += 16) {
        __m128i half[2];
        for (int h = 0; h < 2; ++h)
            half[h] =
                _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(sum(r0 + i - 3, h), sum(r0 + i, h)),
                                             _mm_add_epi16(sum(r1 + i - 3, h), sum(r1 + i, h))),
                               2);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(half[0], half[1]));
    }
#endif
    for (; i < bytes; ++i)
        out[i] = static_cast<std::uint8_t>((r0[i - 3] + r0[i] + r1[i - 3] + r1[i]) >> 2);
}

#ifdef KAP_VECTOR_WEIGHTS
template <Pass Mode>
void fused_row_pass(const Plan& plan, KindWeights* kept, int y, std::uint8_t* out_row) {
    if (plan.fused_avx512)
        fused_row_avx512<Mode>(plan, kept, y, out_row);
    else
        fused_row_avx2<Mode>(plan, kept, y, out_row);
}

void fused_row(const Plan& plan, KindWeights& kept, int y, std::uint8_t* out_row) {
    if (!plan.keep_row_weights) {
        fused_row_pass<Pass::Blend>(plan, &kept, y, out_row);
        return;
    }
    const int kind = plan.rows.steps[static_cast<std::size_t>(y)].kind;
    if (kept.kind != kind) {
        kept.kind = -1; // until complete
        fused_row_pass<Pass::KeepWeights>(plan, &kept, y, out_row);
        kept.kind = kind;
    }
    fused_row_pass<Pass::BlendKept>(plan, &kept, y, out_row);
}
#endif

} // namespace

// With equal weights w the extended sums are exact (a byte times a 53-bit weight needs at most
// 61 bits, four of them at most 63) and S is exactly 2w or 4w, so the quotient is exactly the
// mean of the bytes and the truncation is a shift.
void make_blend(const AxisKind& kx, const AxisKind& ky, Blend& b) {
    b.flat_rule = 0;
    for (int i = 0; i < 4; ++i)
        b.w[i] = b.v[i] = 0;
    if (kx.whole && ky.whole) {
        b.mix = Mix::Copy;
        b.sum = 0;
        return;
    }
    const long double dx = kx.frac, dy = ky.frac, rx = kx.rest, ry = ky.rest;
    if (kx.frac == 0.0 && ky.frac == 0.0) {
        // Only for positions an integer apart from their truncation, which the extended
        // division cannot produce below millions of pixels; take the pixel as it stands.
        b.mix = Mix::Copy;
        b.sum = 0;
        return;
    }
    if (kx.frac == 0.0) {
        b.w[0] = inverse_distance(dx, dy);
        b.w[2] = inverse_distance(dx, ry);
        b.sum = static_cast<double>(static_cast<long double>(b.w[0]) + b.w[2]);
        b.mix = (b.w[0] == b.w[2] && b.sum == 2.0 * b.w[0]) ? Mix::DownEven : Mix::Down;
    } else if (ky.frac == 0.0) {
        b.w[0] = inverse_distance(dx, dy);
        b.w[1] = inverse_distance(rx, dy);
        b.sum = static_cast<double>(static_cast<long double>(b.w[0]) + b.w[1]);
        b.mix = (b.w[0] == b.w[1] && b.sum == 2.0 * b.w[0]) ? Mix::RightEven : Mix::Right;
    } else {
        b.w[0] = inverse_distance(dx, dy);
        b.w[1] = inverse_distance(rx, dy);
        b.w[2] = inverse_distance(dx, ry);
        b.w[3] = inverse_distance(rx, ry);
        b.sum = static_cast<double>(static_cast<long double>(b.w[0]) + b.w[1] + b.w[2] + b.w[3]);
        const bool even =
            b.w[0] == b.w[1] && b.w[0] == b.w[2] && b.w[0] == b.w[3] && b.sum == 4.0 * b.w[0];
        b.mix = even ? Mix::FourEven : Mix::Four;
    }
    for (int i = 0; i < 4; ++i)
        b.v[i] = b.w[i] / b.sum;
    b.flat_rule = flat_rule(b);
}

// The blends of row kind `ky` with every column kind.
void make_blend_row(const Axis& cols, const void* vec_cols, const AxisKind& ky, Blend* blends,
                    std::uint8_t* done) {
    const std::size_t n = cols.kinds.size();
#ifdef KAP_VECTOR_WEIGHTS
    if (vec_cols && ky.frac != 0.0) {
        std::fill(done, done + n, std::uint8_t{0});
        four_blends(*static_cast<const VecKinds*>(vec_cols), ky, blends, done);
        for (std::size_t c = 0; c < n; ++c)
            if (!done[c] || cols.kinds[c].frac == 0.0)
                make_blend(cols.kinds[c], ky, blends[c]);
        return;
    }
#endif
    (void)vec_cols;
    (void)done;
    for (std::size_t c = 0; c < n; ++c)
        make_blend(cols.kinds[c], ky, blends[c]);
}

void compute_row(const Plan& plan, RowBlends& scratch, int y, std::uint8_t* out) {
    if (plan.same_size) {
        half_pixel_mean_row(plan, y, out);
        return;
    }
#ifdef KAP_VECTOR_WEIGHTS
    if (plan.fused) {
        fused_row(plan, scratch.kept, y, out);
        return;
    }
#endif
    const AxisStep& step = plan.rows.steps[static_cast<std::size_t>(y)];
    const std::size_t ncols = plan.cols.kinds.size();
    const Blend* blends;
    if (!plan.table.empty()) {
        blends = plan.table.data.get() + static_cast<std::size_t>(step.kind) * ncols;
    } else {
        const std::size_t slot = static_cast<std::size_t>(step.kind) % scratch.kinds.size();
        Blend* row = scratch.blends.data.get() + slot * ncols;
        if (scratch.kinds[slot] != step.kind) {
            const AxisKind& ky = plan.rows.kinds[static_cast<std::size_t>(step.kind)];
            make_blend_row(plan.cols, plan.vector_kinds, ky, row, scratch.done.data());
            scratch.kinds[slot] = step.kind;
        }
        blends = row;
    }
    const std::uint8_t* r0 = plan.src + step.base * plan.src_stride;
    const std::uint8_t* r1 = step.base + 1 < plan.src_height ? r0 + plan.src_stride : r0;
    if (plan.fast)
        blend_row<true>(r0, r1, plan.cols.steps.data(), plan.width, blends, out);
    else
        blend_row<false>(r0, r1, plan.cols.steps.data(), plan.width, blends, out);
}

#ifdef KAP_VECTOR_WEIGHTS
void exact_pixel(const Plan& plan, const std::uint8_t* r0, const std::uint8_t* r1, int x,
                 const AxisKind& ky, std::uint8_t* out) {
    const AxisStep& step = plan.cols.steps[static_cast<std::size_t>(x)];
    Blend b;
    make_blend(plan.cols.kinds[static_cast<std::size_t>(step.kind)], ky, b);
    const AxisStep one{step.base, 0};
    blend_row<true>(r0, r1, &one, 1, &b, out);
}

void known_pixel(const Plan& plan, const std::uint8_t* r0, const std::uint8_t* r1, int x, double w0,
                 double w1, double w2, double w3, double sum, std::int8_t rule, std::uint8_t* out) {
    Blend b;
    b.w[0] = w0;
    b.w[1] = w1;
    b.w[2] = w2;
    b.w[3] = w3;
    b.sum = sum;
    // The estimate needs w / S only to a few units of the last place.
    const double inverse_sum = 1.0 / sum;
    for (int i = 0; i < 4; ++i)
        b.v[i] = b.w[i] * inverse_sum;
    // Two neighbours (a column or row of fraction 0) take the two-neighbour blend, which gives
    // the same bytes as the four-neighbour one with the others weighing 0 but does not read
    // them: at the last column or row they lie outside the source.
    b.mix = w1 == 0 && w3 == 0 ? Mix::Down : w2 == 0 && w3 == 0 ? Mix::Right : Mix::Four;
    b.flat_rule = rule;
    const AxisStep one{plan.cols.steps[static_cast<std::size_t>(x)].base, 0};
    blend_row<true>(r0, r1, &one, 1, &b, out);
}

[[gnu::noinline]] void settle_weights(const FusedColumns& fc, std::size_t at, unsigned lanes,
                                      const unsigned* settled, const AxisKind& ky,
                                      double (*w)[kLanes]) {
    for (unsigned m = lanes; m; m &= m - 1) {
        const int lane = std::countr_zero(m);
        for (int i = 0; i < 4; ++i)
            if (!(settled[i] >> lane & 1)) {
                const double a = i & 1 ? fc.rest[at + lane] : fc.frac[at + lane];
                const double b = i & 2 ? ky.rest : ky.frac;
                w[i][lane] = inverse_distance(a, b);
            }
    }
}

#endif

} // namespace resample
