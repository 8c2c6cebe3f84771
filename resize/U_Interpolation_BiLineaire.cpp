#include "resize/U_Interpolation_BiLineaire.h"

#include "platform/error.h"
#include "platform/extended_precision.h"
#include "resize/resample_tuning.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>
#include <thread>
#include <unordered_map>
#include <vector>

#if defined(__x86_64__) && defined(__GNUC__)
#define KAP_VECTOR_WEIGHTS 1
#include <immintrin.h>
#endif

// The arithmetic, fixed to the last bit:
//
//   ex = Ws * x / Wd - 0.5                      (extended; Ws * x an exact integer product)
//   ix = trunc(ex) limited to [0, Ws - 1]       fx = double(ex) limited to [0, Ws - 1]
//   ix == fx and iy == fy: copy source pixel (ix, iy)
//   otherwise x0 = floor(fx), dx = fx - x0, rx = double(1 - dx), and likewise in y;
//     w0 = double(1 / sqrt(dx^2 + dy^2))   for (x0, y0)
//     w1 = double(1 / sqrt(rx^2 + dy^2))   for (x0 + 1, y0)
//     w2 = double(1 / sqrt(dx^2 + ry^2))   for (x0, y0 + 1)
//     w3 = double(1 / sqrt(rx^2 + ry^2))   for (x0 + 1, y0 + 1)
//   dx == 0: P0 and P2 take part; else dy == 0: P0 and P1; else all four.
//   S = double(sum of the weights taking part, in the order P0..P3)
//   byte = trunc((sum of byte * weight, same order, extended) / S)
//
// Everything that depends on x alone or y alone is computed once per column or row. Columns
// (rows) whose fractions are bit for bit the same share one "kind", and the weights depend only
// on the pair of kinds, so they are computed once per pair. Per pixel, the bytes are first
// estimated in double precision; the estimate decides the truncation unless it lies within
// kMargin of an integer, in which case the byte is redone exactly as above in extended precision.
// With weights stored as doubles and bytes of 8 bits, the double estimate is within 1e-12 of the
// extended quotient (a few roundings of at most 2^-53 relative each, on a value below 256), far
// inside the margin.

namespace {

static_assert(sizeof(long double) > sizeof(double),
              "the resampler needs the 80-bit extended format for long double");

constexpr double kMargin = 1.0 / 4294967296.0; // 2^-32

// Where one destination column (or row) falls in the source.
struct AxisStep {
    int base; // first neighbour: the clamped real position rounded down
    int kind; // index into Axis::kinds
};

// What the columns (rows) of one kind share.
struct AxisKind {
    bool whole;  // the clamped position is a whole pixel
    double frac; // position minus base
    double rest; // 1 - frac, rounded to double
};

struct Axis {
    std::vector<AxisStep> steps;
    std::vector<AxisKind> kinds;
};

Axis map_axis(int source_size, int dest_size) {
    Axis axis;
    axis.steps.resize(static_cast<std::size_t>(dest_size));
    std::unordered_map<std::uint64_t, int> kind_of;
    const long double dest = dest_size;
    const int last = source_size - 1;
    for (int i = 0; i < dest_size; ++i) {
        const long double e = static_cast<long double>(std::int64_t{source_size} * i) / dest - 0.5L;
        long long whole_pos = static_cast<long long>(e); // truncation toward zero
        if (whole_pos > last)
            whole_pos = last;
        if (whole_pos < 0)
            whole_pos = 0;
        double pos = static_cast<double>(e);
        if (pos > last)
            pos = last;
        if (pos < 0.0)
            pos = 0.0;
        const bool whole = static_cast<double>(whole_pos) == pos;
        const double base = std::floor(pos);
        const double frac = pos - base;
        const std::uint64_t key = std::bit_cast<std::uint64_t>(frac) ^ (whole ? 1ull << 63 : 0);
        auto [it, added] = kind_of.try_emplace(key, static_cast<int>(axis.kinds.size()));
        if (added)
            axis.kinds.push_back({whole, frac, static_cast<double>(1.0L - frac)});
        axis.steps[static_cast<std::size_t>(i)] = {static_cast<int>(base), it->second};
    }
    return axis;
}

// The largest number of steps between a step and the next one of the same kind (0 when no kind
// comes back).
std::size_t return_gap(const Axis& axis) {
    std::vector<int> last(axis.kinds.size(), -1);
    std::size_t gap = 0;
    for (std::size_t i = 0; i < axis.steps.size(); ++i) {
        int& seen = last[static_cast<std::size_t>(axis.steps[i].kind)];
        if (seen >= 0)
            gap = std::max(gap, i - static_cast<std::size_t>(seen));
        seen = static_cast<int>(i);
    }
    return gap;
}

enum class Mix : std::uint8_t {
    Copy,      // whole pixel in both directions
    Down,      // P0 and P2
    Right,     // P0 and P1
    Four,      // P0 to P3
    DownEven,  // P0 and P2 with equal weights
    RightEven, // P0 and P1 with equal weights
    FourEven,  // P0 to P3 with equal weights
};

// The blend of one (column kind, row kind) pair.
// Left uninitialised when made (make_blend and four_blends set every field), so that the rows of
// blends cost no clearing: they can run to megabytes.
struct Blend {
    double w[4]; // weights of P0..P3 (0 for those not taking part)
    double sum;  // S
    double v[4]; // w / S, for the double-precision estimate
    Mix mix;
    // Result for neighbours all of one value b >= 1: +1 gives b, -1 gives b - 1, 0 undecided.
    std::int8_t flat_rule;
};

// An array of blends, allocated without clearing.
struct Blends {
    std::unique_ptr<Blend[]> data;
    std::size_t size = 0;
    void allocate(std::size_t n) {
        data = std::make_unique_for_overwrite<Blend[]>(n);
        size = n;
    }
    bool empty() const { return size == 0; }
};

inline double inverse_distance(long double a, long double b) {
    return static_cast<double>(1.0L / std::sqrt(a * a + b * b));
}

// When all neighbours hold the same byte b, the quotient is b times (exact sum of the weights) / S,
// give or take four roundings of 2^-64 relative each. S is that sum rounded to double, so unless
// the rounding happened to be (almost) exact, the quotient lies on a known side of b: just above
// (truncated to b) or just below (truncated to b - 1). The exact sum is carried as a
// double-double; the side is taken only when the sum's rounding is above 2^-59 relative, eight
// times what the extended roundings could undo.
//
// When the sum is exactly S (no rounding at all, which the weights' short fractions make
// common) and S < 8, the quotient is exactly b: every weight is at least 1 / sqrt(2), so a
// multiple of 2^-53, and so is every product b x w and partial sum; below 255 x 8 < 2^11 they
// need at most 64 bits, so the extended numerator is exactly b x S.
constexpr double kExactFlatSum = 8.0;

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

// The four-neighbour blends of one row kind for every column kind, four columns at a time in
// double-double arithmetic (AVX2 with FMA), with the same results as make_blend.
//
// Why this is exact. A weight is w = double(r), where r = 1 / sqrt(a^2 + b^2) is evaluated in
// extended precision: five operations, each rounded to a 64-bit mantissa, so r lies within
// 3 x 2^-64 (relative) of the true value t. Here t is computed as a double-double T = hi + lo
// to about 2^-100: a^2 and b^2 exactly with FMA, their sum as a double-double, a double
// estimate y = 1 / sqrt(hi) and one Newton step carried in double-double. With hi in
// [2^e, 2^(e+1)), r and T then differ by less than 2^(e-61). When |lo| < 2^(e-53) - 2^(e-61),
// T and r both lie strictly inside the interval of numbers that round to hi, so w = hi;
// otherwise (about 0.4 % of the weights, and always when hi is a power of two, whose lower
// neighbour is closer) the column is left to make_blend. The sum S = double(extended
// ((w0 + w1) + w2) + w3) comes from the exact sum of the four doubles, carried as a
// double-double: below 2^10 the extended additions are exact (see four_blends); above, the three
// extended roundings move it by at most 3 x 2^-64 of itself and it is settled like a weight.
// The flat-area rule and the estimate factors are then computed from the exact w and S exactly
// as make_blend does (same operations in the same order), so every Blend is bit for bit the
// same.

#ifdef KAP_VECTOR_WEIGHTS
struct VecKinds {
    std::vector<double> frac, rest; // per column kind
};

__attribute__((target("avx2,fma"))) inline __m256d two_sum_err(__m256d a, __m256d b, __m256d s) {
    const __m256d bb = _mm256_sub_pd(s, a);
    return _mm256_add_pd(_mm256_sub_pd(a, _mm256_sub_pd(s, bb)), _mm256_sub_pd(b, bb));
}

// Settles double(x) for the double-double (hi, lo), hi in [2^e, 2^(e+1)), known within 2^(e-61)
// of x: true in the lanes where double(x) is hi.
__attribute__((target("avx2,fma"))) inline __m256d settled(__m256d hi, __m256d lo) {
    const __m256i bits = _mm256_castpd_si256(hi);
    const __m256i exp_mask = _mm256_set1_epi64x(0x7FF0000000000000LL);
    const __m256i mant_mask = _mm256_set1_epi64x(0x000FFFFFFFFFFFFFLL);
    const __m256d power = _mm256_castsi256_pd(_mm256_and_si256(bits, exp_mask)); // 2^e
    const __m256d limit =
        _mm256_mul_pd(power, _mm256_set1_pd(0x1p-53 - 0x1p-61)); // exact: a power of two times
    const __m256d abs_lo = _mm256_andnot_pd(_mm256_set1_pd(-0.0), lo);
    const __m256d inside = _mm256_cmp_pd(abs_lo, limit, _CMP_LT_OQ);
    const __m256i mant = _mm256_and_si256(bits, mant_mask);
    const __m256d not_power = _mm256_castsi256_pd(
        _mm256_xor_si256(_mm256_cmpeq_epi64(mant, _mm256_setzero_si256()), _mm256_set1_epi64x(-1)));
    return _mm256_and_pd(inside, not_power);
}

// 1 / sqrt(a^2 + b^2) as a double-double, a and b in (0, 1].
__attribute__((target("avx2,fma"))) inline void inverse_distance4(__m256d a, __m256d b, __m256d& hi,
                                                                  __m256d& lo) {
    const __m256d a2 = _mm256_mul_pd(a, a);
    const __m256d a2l = _mm256_fmsub_pd(a, a, a2);
    const __m256d b2 = _mm256_mul_pd(b, b);
    const __m256d b2l = _mm256_fmsub_pd(b, b, b2);
    const __m256d sh0 = _mm256_add_pd(a2, b2);
    const __m256d sl0 = _mm256_add_pd(two_sum_err(a2, b2, sh0), _mm256_add_pd(a2l, b2l));
    const __m256d sh = _mm256_add_pd(sh0, sl0);
    const __m256d sl = _mm256_sub_pd(sl0, _mm256_sub_pd(sh, sh0));
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d y = _mm256_div_pd(one, _mm256_sqrt_pd(sh));
    // h = 1 - s y^2, with y^2 and s_hi y^2 split exactly.
    const __m256d y2 = _mm256_mul_pd(y, y);
    const __m256d y2l = _mm256_fmsub_pd(y, y, y2);
    const __m256d p = _mm256_mul_pd(sh, y2);
    const __m256d pl = _mm256_fmsub_pd(sh, y2, p);
    __m256d h = _mm256_sub_pd(one, p); // exact: p is within 2^-50 of 1
    h = _mm256_sub_pd(h, pl);
    h = _mm256_fnmadd_pd(sh, y2l, h);
    h = _mm256_fnmadd_pd(sl, y2, h);
    // t = y (1 - h)^(-1/2) = y (1 + h/2 + 3h^2/8 + ...)
    const __m256d corr = _mm256_mul_pd(
        _mm256_mul_pd(y, h), _mm256_fmadd_pd(_mm256_set1_pd(0.375), h, _mm256_set1_pd(0.5)));
    hi = _mm256_add_pd(y, corr);
    lo = _mm256_sub_pd(corr, _mm256_sub_pd(hi, y));
}

// Fills blends[c] for every column kind c of `cols` and the row kind `ky` whose fraction is not
// 0; `done[c]` is set for the columns it settled, the others are left to make_blend.
__attribute__((target("avx2,fma"))) void four_blends(const VecKinds& cols, const AxisKind& ky,
                                                     Blend* blends, std::uint8_t* done) {
    const std::size_t n = cols.frac.size();
    const __m256d dy = _mm256_set1_pd(ky.frac), ry = _mm256_set1_pd(ky.rest);
    alignas(32) double w[4][4], v[4][4], sum[4];
    for (std::size_t c = 0; c + 4 <= n; c += 4) {
        const __m256d dx = _mm256_loadu_pd(cols.frac.data() + c);
        const __m256d rx = _mm256_loadu_pd(cols.rest.data() + c);
        __m256d hi[4], lo[4];
        inverse_distance4(dx, dy, hi[0], lo[0]);
        inverse_distance4(rx, dy, hi[1], lo[1]);
        inverse_distance4(dx, ry, hi[2], lo[2]);
        inverse_distance4(rx, ry, hi[3], lo[3]);
        __m256d good = _mm256_and_pd(_mm256_and_pd(settled(hi[0], lo[0]), settled(hi[1], lo[1])),
                                     _mm256_and_pd(settled(hi[2], lo[2]), settled(hi[3], lo[3])));
        // Exact sum of the four weights, in the order flat_rule adds them.
        __m256d sh = hi[0], sl = _mm256_setzero_pd();
        for (int i = 1; i < 4; ++i) {
            const __m256d s = _mm256_add_pd(sh, hi[i]);
            sl = _mm256_add_pd(sl, two_sum_err(sh, hi[i], s));
            sh = s;
        }
        const __m256d th = _mm256_add_pd(sh, sl);
        const __m256d tl = _mm256_sub_pd(sl, _mm256_sub_pd(th, sh));
        // Every weight is at least 1 / sqrt(2), a multiple of 2^-53; while the sum stays below
        // 2^10 each extended partial sum needs at most 63 bits and is exact, so S is the exact
        // sum rounded to nearest even, which is th. Above that, settle it like a weight.
        const __m256d exact_sum = _mm256_cmp_pd(th, _mm256_set1_pd(1024.0), _CMP_LT_OQ);
        good = _mm256_and_pd(good, _mm256_or_pd(exact_sum, settled(th, tl)));
        // flat_rule's excess and threshold, the estimate factors w / S and the test for equal
        // weights, with the operations of make_blend and flat_rule.
        const __m256d excess = _mm256_add_pd(_mm256_sub_pd(sh, th), sl);
        const __m256d threshold = _mm256_mul_pd(th, _mm256_set1_pd(0x1p-59));
        const __m256d above = _mm256_cmp_pd(excess, threshold, _CMP_GT_OQ);
        const __m256d below =
            _mm256_cmp_pd(excess, _mm256_sub_pd(_mm256_setzero_pd(), threshold), _CMP_LT_OQ);
        __m256d even = _mm256_cmp_pd(th, _mm256_mul_pd(_mm256_set1_pd(4.0), hi[0]), _CMP_EQ_OQ);
        for (int i = 1; i < 4; ++i)
            even = _mm256_and_pd(even, _mm256_cmp_pd(hi[i], hi[0], _CMP_EQ_OQ));
        for (int i = 0; i < 4; ++i) {
            _mm256_store_pd(w[i], hi[i]);
            _mm256_store_pd(v[i], _mm256_div_pd(hi[i], th));
        }
        _mm256_store_pd(sum, th);
        const __m256d exact_flat =
            _mm256_and_pd(_mm256_cmp_pd(excess, _mm256_setzero_pd(), _CMP_EQ_OQ),
                          _mm256_cmp_pd(th, _mm256_set1_pd(kExactFlatSum), _CMP_LT_OQ));
        const int good_bits = _mm256_movemask_pd(good);
        const int above_bits = _mm256_movemask_pd(_mm256_or_pd(above, exact_flat));
        const int below_bits = _mm256_movemask_pd(below);
        const int even_bits = _mm256_movemask_pd(even);
        for (int k = 0; k < 4; ++k) {
            if (!(good_bits >> k & 1))
                continue;
            Blend& b = blends[c + static_cast<std::size_t>(k)];
            for (int i = 0; i < 4; ++i) {
                b.w[i] = w[i][k];
                b.v[i] = v[i][k];
            }
            b.sum = sum[k];
            b.mix = even_bits >> k & 1 ? Mix::FourEven : Mix::Four;
            b.flat_rule = above_bits >> k & 1 ? 1 : below_bits >> k & 1 ? -1 : 0;
            done[c + static_cast<std::size_t>(k)] = 1;
        }
    }
}

bool has_vector_weights() {
    static const bool yes = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return yes;
}
#endif

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

// Everything the rows share, read-only while they are computed.
struct Plan {
    const std::uint8_t* src = nullptr;
    qsizetype src_stride = 0;
    int src_height = 0;
    std::uint8_t* dst = nullptr;
    qsizetype dst_stride = 0;
    int width = 0;
    Axis cols;
    Axis rows;
    Blends table; // [row kind * column kinds + column kind], when small enough
    bool fast = true;
#ifdef KAP_VECTOR_WEIGHTS
    VecKinds vec_cols; // the column kinds' fractions, for four_blends
#endif
    const void* vector_kinds = nullptr; // &vec_cols when the weights are computed four at a time
    // The order in which the destination rows are computed, when not top to bottom: grouped by
    // row kind, so that one row of blends serves every row of its kind in turn.
    std::vector<int> order;
    int row_at(int n) const {
        return order.empty() ? n : order[static_cast<std::size_t>(n)];
    }
};

// Per thread, when the pairs are too many for a table: the blends of the row kinds met last,
// one row of blends per slot, a row kind always in slot kind % slots. Kinds are numbered in the
// order of their first row and a given fraction comes back with a fixed period, so as long as
// the period fits in the slots every row kind is computed once per thread and then reused,
// instead of once per destination row.
struct RowBlends {
    Blends blends;                  // slots x column kinds
    std::vector<int> kinds;         // row kind held by each slot, -1 for none
    std::vector<std::uint8_t> done; // per column kind, for make_blend_row
};

void compute_row(const Plan& plan, RowBlends& scratch, int y) {
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
    std::uint8_t* out = plan.dst + y * plan.dst_stride;
    if (plan.fast)
        blend_row<true>(r0, r1, plan.cols.steps.data(), plan.width, blends, out);
    else
        blend_row<false>(r0, r1, plan.cols.steps.data(), plan.width, blends, out);
}

// Calls resample_finished when the resampling leaves, also by an exception.
struct FinishGuard {
    ResampleProgress* progress;
    ~FinishGuard() {
        if (progress)
            progress->resample_finished();
    }
};

[[noreturn]] void out_of_range() {
    throw KapError(msg_property_out_of_range(QStringLiteral("TProgressBar")));
}

int thread_count(const ResampleTuning& tuning, int width, int height) {
    if (tuning.threads > 0)
        return std::min(tuning.threads, std::max(1, height));
    const std::int64_t pixels = std::int64_t{width} * height;
    if (pixels < (std::int64_t{1} << 17) || height < 64)
        return 1;
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(cores, 1u, 8u));
}

void run_rows(const Plan& plan, int height, int threads, ResampleProgress* progress,
              std::vector<RowBlends>& scratch) {
    if (threads <= 1) {
        for (int y = 0; y < height; ++y) {
            if (progress)
                progress->row_reached(y);
            compute_row(plan, scratch[0], plan.row_at(y));
        }
        return;
    }

    // Rows go out in blocks to whichever thread is free; this thread reports every row in
    // order as soon as it and all rows before it are done. (Rows grouped by kind are reported
    // by their place in that order: the progress still moves once per row, from 0 to the end.)
    constexpr int kBlock = 8;
    const int blocks = (height + kBlock - 1) / kBlock;
    std::atomic<int> next{0};
    std::unique_ptr<std::atomic<bool>[]> done(new std::atomic<bool>[blocks]);
    for (int b = 0; b < blocks; ++b)
        done[b].store(false, std::memory_order_relaxed);

    auto compute_block = [&](int b, RowBlends& rb) {
        const int end = std::min(height, (b + 1) * kBlock);
        for (int y = b * kBlock; y < end; ++y)
            compute_row(plan, rb, plan.row_at(y));
        done[b].store(true, std::memory_order_release);
        done[b].notify_all();
    };

    int reported = 0; // blocks whose rows have been reported
    auto report = [&](bool wait) {
        while (reported < blocks) {
            if (wait)
                done[reported].wait(false, std::memory_order_acquire);
            else if (!done[reported].load(std::memory_order_acquire))
                return;
            const int end = std::min(height, (reported + 1) * kBlock);
            if (progress)
                for (int y = reported * kBlock; y < end; ++y)
                    progress->row_reached(y);
            ++reported;
        }
    };

    {
        std::vector<std::jthread> helpers;
        helpers.reserve(static_cast<std::size_t>(threads - 1));
        for (int t = 1; t < threads; ++t) {
            helpers.emplace_back([&, t](std::stop_token stop) {
                const ExtendedPrecision precision;
                for (int b; !stop.stop_requested() &&
                            (b = next.fetch_add(1, std::memory_order_relaxed)) < blocks;)
                    compute_block(b, scratch[static_cast<std::size_t>(t)]);
            });
        }
        // If a progress call throws, the helpers are stopped and joined on the way out.
        for (int b; (b = next.fetch_add(1, std::memory_order_relaxed)) < blocks;) {
            compute_block(b, scratch[0]);
            report(false);
        }
        report(true);
    }
}

} // namespace

QString msg_property_out_of_range(const QString& name) {
    return QStringLiteral("Propriété %1 hors limites").arg(name);
}

QImage resample_bilinear_tuned(const QImage& source_in, int new_width, int new_height,
                               ResampleProgress* progress, const ResampleTuning& tuning) {
    // The progress range is 0 .. 10 x (height - 1): a height below 1 is out of its limits.
    if (new_height < 1 || new_width < 0)
        out_of_range();
    const ExtendedPrecision precision;

    const QImage source = source_in.format() == QImage::Format_BGR888
                              ? source_in
                              : source_in.convertToFormat(QImage::Format_BGR888);
    if (new_width > 0 && (source.width() < 1 || source.height() < 1))
        throw KapError(QStringLiteral("Il n'y a pas de capture à redimensionner!"));

    QImage result;
    Plan plan;
    std::vector<RowBlends> scratch;
    int threads = 1;
    try {
        if (new_width > 0) {
            result = QImage(new_width, new_height, QImage::Format_BGR888);
            if (result.isNull())
                throw std::bad_alloc();
            plan.src = source.constBits();
            plan.src_stride = source.bytesPerLine();
            plan.src_height = source.height();
            plan.dst = result.bits();
            plan.dst_stride = result.bytesPerLine();
            plan.width = new_width;
            plan.fast = tuning.fast_path;
            plan.cols = map_axis(source.width(), new_width);
            plan.rows = map_axis(source.height(), new_height);

            const std::size_t ncols = plan.cols.kinds.size();
            const std::size_t nrows = plan.rows.kinds.size();
#ifdef KAP_VECTOR_WEIGHTS
            if (tuning.vector_weights && has_vector_weights()) {
                plan.vec_cols.frac.resize(ncols);
                plan.vec_cols.rest.resize(ncols);
                for (std::size_t c = 0; c < ncols; ++c) {
                    plan.vec_cols.frac[c] = plan.cols.kinds[c].frac;
                    plan.vec_cols.rest[c] = plan.cols.kinds[c].rest;
                }
                plan.vector_kinds = &plan.vec_cols;
            }
#endif
            threads = thread_count(tuning, new_width, new_height);
            scratch.resize(static_cast<std::size_t>(threads));
            for (RowBlends& rb : scratch)
                rb.done.resize(ncols);
            if (ncols * nrows <= tuning.max_weight_table) {
                plan.table.allocate(ncols * nrows);
                for (std::size_t r = 0; r < nrows; ++r)
                    make_blend_row(plan.cols, plan.vector_kinds, plan.rows.kinds[r],
                                   plan.table.data.get() + r * ncols, scratch[0].done.data());
            }
            if (plan.table.empty()) {
                // As many slots as rows between two rows of the same kind, when that fits in
                // the table's budget shared between the threads; else one, since a row kind
                // would be pushed out before it comes back.
                const std::size_t budget = std::max<std::size_t>(
                    1, tuning.max_weight_table / ncols / static_cast<std::size_t>(threads));
                const std::size_t gap = return_gap(plan.rows);
                const std::size_t kind_slots = gap <= budget ? std::max<std::size_t>(gap, 1) : 1;
                if (gap > budget) {
                    // Row kinds come back too far apart to be kept: take the rows kind by kind.
                    std::vector<int> first(nrows + 1, 0);
                    for (const AxisStep& step : plan.rows.steps)
                        ++first[static_cast<std::size_t>(step.kind) + 1];
                    for (std::size_t k = 0; k < nrows; ++k)
                        first[k + 1] += first[k];
                    plan.order.resize(static_cast<std::size_t>(new_height));
                    for (int y = 0; y < new_height; ++y)
                        plan.order[static_cast<std::size_t>(
                            first[static_cast<std::size_t>(plan.rows.steps[y].kind)]++)] = y;
                }
                for (RowBlends& rb : scratch) {
                    rb.blends.allocate(kind_slots * ncols);
                    rb.kinds.assign(kind_slots, -1);
                }
            }
        }
    } catch (const std::bad_alloc&) {
        throw KapError(QStringLiteral("Mémoire insuffisante"));
    }

    if (progress)
        progress->resample_started(new_height);
    FinishGuard guard{progress};
    if (new_width > 0)
        run_rows(plan, new_height, threads, progress, scratch);
    return result;
}

QImage resample_bilinear(const QImage& source, int new_width, int new_height,
                         ResampleProgress* progress) {
    return resample_bilinear_tuned(source, new_width, new_height, progress, ResampleTuning{});
}

void InterpolationBiLineaire(QImage& picture, int new_width, int new_height,
                             ResampleProgress* progress) {
    if (picture.format() != QImage::Format_BGR888 && !picture.isNull())
        picture = picture.convertToFormat(QImage::Format_BGR888);
    picture = resample_bilinear(picture, new_width, new_height, progress);
}
