#include "resize/U_Interpolation_BiLineaire.h"

#include "platform/core/error.h"
#include "platform/core/extended_precision.h"
#include "platform/core/large_pages.h"
#include "resize/resample_tuning.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
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

// The destination rows (steps) ordered by kind, each kind's rows top to bottom.
std::vector<int> rows_by_kind(const Axis& rows) {
    const std::size_t nkinds = rows.kinds.size();
    std::vector<int> first(nkinds + 1, 0);
    for (const AxisStep& step : rows.steps)
        ++first[static_cast<std::size_t>(step.kind) + 1];
    for (std::size_t k = 0; k < nkinds; ++k)
        first[k + 1] += first[k];
    std::vector<int> order(rows.steps.size());
    for (std::size_t y = 0; y < rows.steps.size(); ++y)
        order[static_cast<std::size_t>(first[static_cast<std::size_t>(rows.steps[y].kind)]++)] =
            static_cast<int>(y);
    return order;
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
    // The columns' share of the rows computed eight pixels at a time, when they are.
    const struct FusedColumns* fused = nullptr;
    // Those rows come grouped by kind and the weights of a kind are kept while its rows last.
    bool keep_row_weights = false;
    // Those rows are computed with AVX-512 (else with AVX2 and FMA).
    bool fused_avx512 = false;
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
// The weights of one row kind for every column, for the rows computed eight pixels at a time:
// w[0..3] and S per column, and per eight columns the masks exact, rule_pos, rule_neg, copy,
// uses1 and uses3.
struct KindWeights {
    int kind = -1;
    std::vector<double> w[5];
    std::vector<std::uint8_t> masks;
    void allocate(std::size_t padded) {
        for (auto& v : w)
            v.resize(padded);
        masks.resize(padded / 8 * 6);
    }
};

struct RowBlends {
    std::vector<std::uint8_t> block; // rows computed before they go into the result
    KindWeights kept;                // for the rows computed eight pixels at a time
    Blends blends;                   // slots x column kinds
    std::vector<int> kinds;          // row kind held by each slot, -1 for none
    std::vector<std::uint8_t> done;  // per column kind, for make_blend_row
};

#ifdef KAP_VECTOR_WEIGHTS
void fused_row(const Plan& plan, KindWeights& kept, int y, std::uint8_t* out_row);
#endif

// Destination row y, written at `out` (its place in the result, or a row of a private buffer).
void compute_row(const Plan& plan, RowBlends& scratch, int y, std::uint8_t* out) {
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
// ---- Rows computed eight destination pixels at a time ----------------------------------------
//
// When the (column kind, row kind) pairs are too many to be kept, nearly every pixel has weights
// of its own: the weights are then computed in the same pass that blends the pixels, eight
// columns at a time with AVX-512 (or, without it, with AVX2 and FMA: see fused_row_avx2), and
// nothing is stored between the two.
//
// Why the bytes are the same as the literal arithmetic:
// - The four-neighbour weights are computed as double-doubles within about 2^-100 of the true
//   1 / sqrt(a^2 + b^2) and settled exactly as four_blends settles them (see there): a weight
//   that cannot be settled is never used where its last bit matters, the pixel goes to the
//   scalar code instead. The squares a^2, b^2 are exact double-doubles, made once per column and
//   once per row. The first estimate of 1 / sqrt comes from the processor's 14-bit reciprocal
//   square root; one Newton step in double brings it within 2^-27, and the final double-double
//   step (h = 1 - s y^2 carried exactly, series 1 + h/2 + 3h^2/8, whose first term left out is
//   5h^3/16 < 2^-80) leaves an error far below 2^-64.
// - The weights of columns or rows whose fraction is 0 (two-neighbour blends) do not depend on
//   both: they come from make_blend, once per row or once per column.
// - A byte is first estimated in double, (sum of byte x weight) x (1 / S). Its error is a few
//   roundings of 2^-53 on a value below 256, so when the estimate lies farther than kMargin from
//   an integer its truncation is that of the extended quotient.
// - Pixels whose neighbours taking part are all one colour follow the flat-area rule of their
//   exact weights, as blend_row does.
// - Anything else (an estimate near an integer, an undecided flat rule, a weight not settled)
//   is computed by blend_row on that one pixel, with the blend from make_blend.
// The arithmetic needs the compiler not to fuse the separate multiplications and additions
// written below into FMAs (ISO C++ mode, where GCC does not contract).

#define KAP_AVX512 __attribute__((target("avx512f,avx512vl,avx512dq,avx512bw,avx512vbmi,avx2,fma")))

constexpr int kLanes = 8;

// Writes the eight 32-bit pixels of `pixel` (one per lane, the top byte unused) as 24-bit ones at
// `out`, the pixels of columns x... of a row `width` pixels wide.
__attribute__((target("avx2"))) inline void store_pixels(std::uint8_t* out, __m256i pixel, int x,
                                                         int width) {
    const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m128i first = _mm_shuffle_epi8(_mm256_castsi256_si128(pixel), pack);
    const __m128i second = _mm_shuffle_epi8(_mm256_extracti128_si256(pixel, 1), pack);
    if (x + kLanes + 2 <= width) {
        // 16-byte stores: the 4 bytes after each 12 are rewritten by what follows in this row.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), first);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12), second);
    } else {
        alignas(16) std::uint8_t tail[32];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(tail), first);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(tail + 12), second);
        std::memcpy(out, tail, 3 * static_cast<std::size_t>(std::min(kLanes, width - x)));
    }
}

struct FusedColumns {
    // Per column, padded to a multiple of kLanes with copies of the last column.
    std::vector<double> a2h, a2l, b2h, b2l; // fraction^2 and (1 - fraction)^2, double-doubles
    std::vector<double> frac, rest;         // the fraction and 1 - fraction themselves
    // Byte offsets of the 4-byte loads of P0 (with P1's blue) and of P1 (with P0's red) in a
    // source row, never reaching past the row's stored bytes, and the shift that brings P0 to
    // the low bytes.
    std::vector<std::int32_t> off_lo, off_hi, shift_lo;
    // Per kLanes columns whose neighbours lie within 64 bytes of a source row (all but strong
    // reductions): the first byte, the bytes to load from there (0: load pixel by pixel
    // instead), and the byte permutation that makes P0 of each column the 32-bit numbers 0..7
    // and P1 the numbers 8..15 (the fourth byte of each is cleared after the permutation).
    std::vector<std::int32_t> window_at;
    std::vector<std::uint64_t> window_mask;
    std::vector<std::uint8_t> window_perm;
    std::vector<std::uint8_t> zero; // per kLanes columns: bit i when column i's fraction is 0
    // The blends of rows whose fraction is 0 (P0 and P1), per column.
    std::vector<double> rw0, rw1, rsum;
    std::vector<std::int8_t> rrule;
};

bool has_avx512_rows() {
    static const bool yes =
        __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
        __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vbmi") && has_vector_weights();
    return yes;
}

void square(double v, double& hi, double& lo) {
    hi = v * v;
    lo = std::fma(v, v, -hi);
}

void plan_fused_columns(const Axis& cols, int width, int source_width, qsizetype row_bytes,
                        bool rows_with_zero, FusedColumns& fc) {
    const std::size_t padded = static_cast<std::size_t>((width + kLanes - 1) / kLanes * kLanes);
    for (auto* v :
         {&fc.a2h, &fc.a2l, &fc.b2h, &fc.b2l, &fc.frac, &fc.rest, &fc.rw0, &fc.rw1, &fc.rsum})
        v->assign(padded, 0.0);
    fc.off_lo.assign(padded, 0);
    fc.off_hi.assign(padded, 0);
    fc.shift_lo.assign(padded, 0);
    fc.rrule.assign(padded, 0);
    fc.zero.assign(padded / kLanes, 0);
    fc.window_at.assign(padded / kLanes, 0);
    fc.window_mask.assign(padded / kLanes, 0);
    fc.window_perm.assign(padded * 8, 0);
    const AxisKind flat_row{false, 0.0, 1.0};
    for (std::size_t x = 0; x < padded; ++x) {
        const AxisStep& step = cols.steps[std::min(x, static_cast<std::size_t>(width) - 1)];
        const AxisKind& k = cols.kinds[static_cast<std::size_t>(step.kind)];
        fc.frac[x] = k.frac;
        fc.rest[x] = k.rest;
        square(k.frac, fc.a2h[x], fc.a2l[x]);
        square(k.rest, fc.b2h[x], fc.b2l[x]);
        const std::int32_t at = 3 * step.base;
        if (step.base + 1 < source_width) {
            fc.off_lo[x] = at;
            fc.off_hi[x] = at + 2;
        } else if (at + 4 <= row_bytes) {
            // The last column: only P0 takes part; its 4-byte load ends in the row's padding.
            fc.off_lo[x] = fc.off_hi[x] = at;
        } else {
            // No padding after the last pixel: load from one byte earlier and shift.
            fc.off_lo[x] = fc.off_hi[x] = at - 1;
            fc.shift_lo[x] = 8;
        }
        if (k.frac == 0.0)
            fc.zero[x / kLanes] |= static_cast<std::uint8_t>(1u << (x % kLanes));
        const std::size_t chunk = x / kLanes, lane = x % kLanes;
        if (lane == 0)
            fc.window_at[chunk] = at;
        const std::int32_t from = at - fc.window_at[chunk];
        const std::int32_t needed = from + (step.base + 1 < source_width ? 6 : 3);
        if (needed > 64) {
            fc.window_mask[chunk] = 0;
        } else if (lane == 0 || fc.window_mask[chunk] != 0) {
            const std::uint64_t mask =
                needed == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << needed) - 1;
            fc.window_mask[chunk] |= mask;
            for (int b = 0; b < 3; ++b) {
                fc.window_perm[64 * chunk + 4 * lane + b] =
                    static_cast<std::uint8_t>((from + b) & 63);
                fc.window_perm[64 * chunk + 32 + 4 * lane + b] =
                    static_cast<std::uint8_t>((from + 3 + b) & 63);
            }
        }
        if (rows_with_zero && x < static_cast<std::size_t>(width)) {
            Blend b;
            make_blend(k, flat_row, b);
            fc.rw0[x] = b.w[0];
            fc.rw1[x] = b.w[1];
            fc.rsum[x] = b.mix == Mix::Copy ? 1.0 : b.sum;
            fc.rrule[x] = b.flat_rule;
        }
    }
}

// The plain forms of these conversions start from an undefined register, which GCC 12
// reports as maybe uninitialised; the masked forms with every lane set are the same instruction.
KAP_AVX512 inline __m512d rsqrt14(__m512d a) {
    return _mm512_mask_rsqrt14_pd(_mm512_setzero_pd(), 0xFF, a);
}
KAP_AVX512 inline __m512d to_double(__m256i a) {
    return _mm512_mask_cvtepi32_pd(_mm512_setzero_pd(), 0xFF, a);
}
KAP_AVX512 inline __m256i lower_half(__m512i a) {
    return _mm512_mask_extracti64x4_epi64(_mm256_setzero_si256(), 0xFF, a, 0);
}
KAP_AVX512 inline __m256i upper_half(__m512i a) {
    return _mm512_mask_extracti64x4_epi64(_mm256_setzero_si256(), 0xFF, a, 1);
}
KAP_AVX512 inline __m256i truncated(__m512d a) {
    return _mm512_mask_cvttpd_epi32(_mm256_setzero_si256(), 0xFF, a);
}

// The byte shuffle that takes byte c of each 32-bit pixel to a 32-bit number.
KAP_AVX512 inline __m256i channel_bytes(int c) {
    alignas(32) std::int8_t index[32];
    for (int i = 0; i < 32; ++i)
        index[i] = i % 4 == 0 ? static_cast<std::int8_t>(i % 16 + c) : std::int8_t{-128};
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(index));
}

KAP_AVX512 inline __m512d two_sum_err8(__m512d a, __m512d b, __m512d s) {
    const __m512d bb = _mm512_sub_pd(s, a);
    return _mm512_add_pd(_mm512_sub_pd(a, _mm512_sub_pd(s, bb)), _mm512_sub_pd(b, bb));
}

// As settled: the lanes where double(x) is hi for the double-double (hi, lo).
KAP_AVX512 inline __mmask8 settled8(__m512d hi, __m512d lo) {
    const __m512i bits = _mm512_castpd_si512(hi);
    const __m512d power =
        _mm512_castsi512_pd(_mm512_and_si512(bits, _mm512_set1_epi64(0x7FF0000000000000LL))); // 2^e
    const __m512d limit = _mm512_mul_pd(power, _mm512_set1_pd(0x1p-53 - 0x1p-61));
    const __mmask8 inside = _mm512_cmp_pd_mask(_mm512_abs_pd(lo), limit, _CMP_LT_OQ);
    const __m512i mant = _mm512_and_si512(bits, _mm512_set1_epi64(0x000FFFFFFFFFFFFFLL));
    return inside & _mm512_test_epi64_mask(mant, mant);
}

// 1 / sqrt(s) as a double-double for s = (a2h + a2l) + (b2h + b2l).
KAP_AVX512 inline void inverse_distance8(__m512d a2h, __m512d a2l, __m512d b2h, __m512d b2l,
                                         __m512d& hi, __m512d& lo) {
    const __m512d sh = _mm512_add_pd(a2h, b2h);
    const __m512d sl = _mm512_add_pd(two_sum_err8(a2h, b2h, sh), _mm512_add_pd(a2l, b2l));
    const __m512d half = _mm512_mul_pd(sh, _mm512_set1_pd(0.5));
    const __m512d three_halves = _mm512_set1_pd(1.5);
    __m512d y = rsqrt14(sh);
    y = _mm512_mul_pd(y, _mm512_fnmadd_pd(half, _mm512_mul_pd(y, y), three_halves));
    // h = 1 - s y^2 with s y = q + ql split exactly: each step below is one rounding of a value
    // near 2^-26, so h is within 2^-78 of the exact value.
    const __m512d q = _mm512_mul_pd(sh, y);
    const __m512d ql = _mm512_fmsub_pd(sh, y, q);
    __m512d h = _mm512_fnmadd_pd(q, y, _mm512_set1_pd(1.0));
    h = _mm512_fnmadd_pd(ql, y, h);
    h = _mm512_fnmadd_pd(sl, _mm512_mul_pd(y, y), h);
    const __m512d corr = _mm512_mul_pd(
        _mm512_mul_pd(y, h), _mm512_fmadd_pd(_mm512_set1_pd(0.375), h, _mm512_set1_pd(0.5)));
    hi = _mm512_add_pd(y, corr);
    lo = _mm512_sub_pd(corr, _mm512_sub_pd(hi, y));
}

// One pixel by the scalar code, with its blend made on the spot.
void exact_pixel(const Plan& plan, const std::uint8_t* r0, const std::uint8_t* r1, int x,
                 const AxisKind& ky, std::uint8_t* out) {
    const AxisStep& step = plan.cols.steps[static_cast<std::size_t>(x)];
    Blend b;
    make_blend(plan.cols.kinds[static_cast<std::size_t>(step.kind)], ky, b);
    const AxisStep one{step.base, 0};
    blend_row<true>(r0, r1, &one, 1, &b, out);
}

// One pixel by the scalar code, from weights and S known to be exact: the blend is made from
// them with the flat-area rule left undecided, so that every byte near an integer is settled by
// the extended-precision quotient.
void known_pixel(const Plan& plan, const std::uint8_t* r0, const std::uint8_t* r1, int x, double w0,
                 double w1, double w2, double w3, double sum, std::uint8_t* out) {
    Blend b;
    b.w[0] = w0;
    b.w[1] = w1;
    b.w[2] = w2;
    b.w[3] = w3;
    b.sum = sum;
    for (int i = 0; i < 4; ++i)
        b.v[i] = b.w[i] / sum;
    // Two neighbours (a column or row of fraction 0) take the two-neighbour blend, which gives
    // the same bytes as the four-neighbour one with the others weighing 0 but does not read
    // them: at the last column or row they lie outside the source.
    b.mix = w1 == 0 && w3 == 0 ? Mix::Down : w2 == 0 && w3 == 0 ? Mix::Right : Mix::Four;
    b.flat_rule = 0;
    const AxisStep one{plan.cols.steps[static_cast<std::size_t>(x)].base, 0};
    blend_row<true>(r0, r1, &one, 1, &b, out);
}

// Puts in `w` (four weights of kLanes lanes) the weights of the lanes of `lanes` that their
// `settled` mask does not cover, computed in extended precision from the column's and the row's
// fractions.
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

enum class Pass { Blend, KeepWeights, BlendKept };

// What a fused row needs of its source rows, whichever vector width blends it: the row's kind,
// its two source rows (the last row stands for the one below it), the blend of the columns of
// fraction 0 (P0 and P2, the same for all of them) and the squares of the row's fractions in
// double-double.
struct FusedRowStart {
    struct Square {
        double hi, lo;
    };
    const AxisStep& step;
    const AxisKind& ky;
    const std::uint8_t* r0;
    const std::uint8_t* r1;
    bool zero_row;
    Blend down{};
    Square dy2{}, ry2{};

    FusedRowStart(const Plan& plan, int y)
        : step(plan.rows.steps[static_cast<std::size_t>(y)]),
          ky(plan.rows.kinds[static_cast<std::size_t>(step.kind)]),
          r0(plan.src + step.base * plan.src_stride),
          r1(step.base + 1 < plan.src_height ? r0 + plan.src_stride : r0),
          zero_row(ky.frac == 0.0) {
        if (!zero_row)
            make_blend(AxisKind{false, 0.0, 1.0}, ky, down);
        square(ky.frac, dy2.hi, dy2.lo);
        square(ky.rest, ry2.hi, ry2.lo);
    }
};

// One destination row. Blend: weights computed and used at once. KeepWeights: the weights of the
// row's kind computed into `kept`, nothing blended. BlendKept: blended with the weights in `kept`,
// those of a row of the same kind.
template <Pass Mode>
KAP_AVX512 void fused_row_avx512(const Plan& plan, KindWeights* kept, int y,
                                 std::uint8_t* out_row) {
    const FusedColumns& fc = *plan.fused;
    const FusedRowStart start(plan, y);
    const AxisKind& ky = start.ky;
    const std::uint8_t *r0 = start.r0, *r1 = start.r1;
    const int width = plan.width;
    const bool zero_row = start.zero_row;
    const Blend& down = start.down;
    const __m512d dy2h = _mm512_set1_pd(start.dy2.hi), dy2l = _mm512_set1_pd(start.dy2.lo);
    const __m512d ry2h = _mm512_set1_pd(start.ry2.hi), ry2l = _mm512_set1_pd(start.ry2.lo);
    const __m512d zero = _mm512_setzero_pd();
    const __m512d margin = _mm512_set1_pd(kMargin), near_one = _mm512_set1_pd(1.0 - kMargin);
    const __m256i low24 = _mm256_set1_epi32(0xFFFFFF);
    // Byte c of each 32-bit pixel, as a 32-bit number.
    const __m256i channel[3] = {channel_bytes(0), channel_bytes(1), channel_bytes(2)};

    for (int x = 0; x < width; x += kLanes) {
        const std::size_t at = static_cast<std::size_t>(x);
        const __mmask8 zero_cols = fc.zero[at / kLanes];
        const __mmask8 valid =
            width - x >= kLanes ? __mmask8(0xFF) : __mmask8((1u << (width - x)) - 1);
        __m512d w0, w1, w2, w3, sum;
        __mmask8 exact, rule_pos, rule_neg, copy = 0, uses1, uses3;
        if constexpr (Mode == Pass::BlendKept) {
            w0 = _mm512_loadu_pd(&kept->w[0][at]);
            w1 = _mm512_loadu_pd(&kept->w[1][at]);
            w2 = _mm512_loadu_pd(&kept->w[2][at]);
            w3 = _mm512_loadu_pd(&kept->w[3][at]);
            sum = _mm512_loadu_pd(&kept->w[4][at]);
            const std::uint8_t* m = &kept->masks[6 * (at / kLanes)];
            exact = m[0];
            rule_pos = m[1];
            rule_neg = m[2];
            copy = m[3];
            uses1 = m[4];
            uses3 = m[5];
        } else if (!zero_row) {
            __mmask8 good = 0xFF;
            if (zero_cols != 0xFF) {
                const __m512d a2h = _mm512_loadu_pd(&fc.a2h[at]),
                              a2l = _mm512_loadu_pd(&fc.a2l[at]);
                const __m512d b2h = _mm512_loadu_pd(&fc.b2h[at]),
                              b2l = _mm512_loadu_pd(&fc.b2l[at]);
                __m512d h0, h1, h2, h3, l0, l1, l2, l3;
                inverse_distance8(a2h, a2l, dy2h, dy2l, h0, l0);
                inverse_distance8(b2h, b2l, dy2h, dy2l, h1, l1);
                inverse_distance8(a2h, a2l, ry2h, ry2l, h2, l2);
                inverse_distance8(b2h, b2l, ry2h, ry2l, h3, l3);
                const __mmask8 s0 = settled8(h0, l0), s1 = settled8(h1, l1), s2 = settled8(h2, l2),
                               s3 = settled8(h3, l3);
                if (const __mmask8 unsettled = ~(s0 & s1 & s2 & s3) & ~zero_cols & valid) {
                    // A weight that cannot be settled here is computed in extended precision,
                    // as make_blend does, and put in its place.
                    alignas(64) double w[4][kLanes];
                    _mm512_store_pd(w[0], h0);
                    _mm512_store_pd(w[1], h1);
                    _mm512_store_pd(w[2], h2);
                    _mm512_store_pd(w[3], h3);
                    const unsigned masks[4] = {s0, s1, s2, s3};
                    settle_weights(fc, at, unsettled, masks, ky, w);
                    h0 = _mm512_load_pd(w[0]);
                    h1 = _mm512_load_pd(w[1]);
                    h2 = _mm512_load_pd(w[2]);
                    h3 = _mm512_load_pd(w[3]);
                }
                // S and the flat-area rule from the exact sum of the four weights, in integers:
                // each weight is at least 1 / sqrt(2), so a multiple of 2^-53, and while the sum
                // stays below 2^9 it is an integer below 2^62 in units of 2^-53, where the
                // extended additions are exact too (at most 63 bits). S is that integer rounded
                // to double, and the excess the integer minus S; the rule then compares them
                // exactly as flat_rule does. A larger sum (a position within 1/500 of a source
                // pixel, rare) goes to the scalar code.
                const __m512d unit = _mm512_set1_pd(0x1p53), inverse_unit = _mm512_set1_pd(0x1p-53);
                const __m512i total =
                    _mm512_add_epi64(_mm512_add_epi64(_mm512_cvtpd_epi64(_mm512_mul_pd(h0, unit)),
                                                      _mm512_cvtpd_epi64(_mm512_mul_pd(h1, unit))),
                                     _mm512_add_epi64(_mm512_cvtpd_epi64(_mm512_mul_pd(h2, unit)),
                                                      _mm512_cvtpd_epi64(_mm512_mul_pd(h3, unit))));
                const __m512d rough = _mm512_add_pd(_mm512_add_pd(h0, h1), _mm512_add_pd(h2, h3));
                good = _mm512_cmp_pd_mask(rough, _mm512_set1_pd(500.0), _CMP_LT_OQ);
                const __m512d rounded = _mm512_cvtepi64_pd(total);
                const __m512d th = _mm512_mul_pd(rounded, inverse_unit);
                const __m512d excess = _mm512_mul_pd(
                    _mm512_cvtepi64_pd(_mm512_sub_epi64(total, _mm512_cvtpd_epi64(rounded))),
                    inverse_unit);
                const __m512d threshold = _mm512_mul_pd(th, _mm512_set1_pd(0x1p-59));
                rule_pos = _mm512_cmp_pd_mask(excess, threshold, _CMP_GT_OQ) |
                           (_mm512_cmp_pd_mask(excess, zero, _CMP_EQ_OQ) &
                            _mm512_cmp_pd_mask(th, _mm512_set1_pd(kExactFlatSum), _CMP_LT_OQ));
                rule_neg = _mm512_cmp_pd_mask(excess, _mm512_sub_pd(zero, threshold), _CMP_LT_OQ);
                w0 = h0;
                w1 = h1;
                w2 = h2;
                w3 = h3;
                sum = th;
            } else {
                w0 = w1 = w2 = w3 = sum = zero;
                rule_pos = rule_neg = 0;
            }
            // Columns of fraction 0: P0 and P2 with the row's weights.
            w0 = _mm512_mask_mov_pd(w0, zero_cols, _mm512_set1_pd(down.w[0]));
            w1 = _mm512_mask_mov_pd(w1, zero_cols, zero);
            w2 = _mm512_mask_mov_pd(w2, zero_cols, _mm512_set1_pd(down.w[2]));
            w3 = _mm512_mask_mov_pd(w3, zero_cols, zero);
            sum = _mm512_mask_mov_pd(sum, zero_cols, _mm512_set1_pd(down.sum));
            exact = good | zero_cols;
            rule_pos = (rule_pos & ~zero_cols) | (down.flat_rule > 0 ? zero_cols : 0);
            rule_neg = (rule_neg & ~zero_cols) | (down.flat_rule < 0 ? zero_cols : 0);
            uses1 = uses3 = static_cast<__mmask8>(~zero_cols);
        } else {
            // A row of fraction 0: P0 and P1 with the column's weights, or a copy.
            w0 = _mm512_loadu_pd(&fc.rw0[at]);
            w1 = _mm512_loadu_pd(&fc.rw1[at]);
            w2 = w3 = zero;
            sum = _mm512_loadu_pd(&fc.rsum[at]);
            const __m256i rules = _mm256_cvtepi8_epi32(
                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&fc.rrule[at])));
            rule_pos = _mm256_cmpgt_epi32_mask(rules, _mm256_setzero_si256());
            rule_neg = _mm256_cmpgt_epi32_mask(_mm256_setzero_si256(), rules);
            exact = 0xFF;
            copy = zero_cols;
            uses1 = static_cast<__mmask8>(~zero_cols);
            uses3 = 0;
        }
        if constexpr (Mode == Pass::KeepWeights) {
            _mm512_storeu_pd(&kept->w[0][at], w0);
            _mm512_storeu_pd(&kept->w[1][at], w1);
            _mm512_storeu_pd(&kept->w[2][at], w2);
            _mm512_storeu_pd(&kept->w[3][at], w3);
            _mm512_storeu_pd(&kept->w[4][at], sum);
            std::uint8_t* m = &kept->masks[6 * (at / kLanes)];
            m[0] = exact;
            m[1] = rule_pos;
            m[2] = rule_neg;
            m[3] = copy;
            m[4] = uses1;
            m[5] = uses3;
            continue;
        }
        const __mmask8 uses2 = zero_row ? 0 : 0xFF;

        // The neighbours: P0 and P1 from row r0, P2 and P3 from row r1.
        __m256i p0, p1, p2, p3;
        if (const __mmask64 window = fc.window_mask[at / kLanes]) {
            // One masked load per row (bytes outside the mask are not read) and a permutation.
            const __m512i perm = _mm512_loadu_si512(&fc.window_perm[8 * at]);
            const std::int32_t from = fc.window_at[at / kLanes];
            constexpr __mmask64 kPixelBytes = 0x7777777777777777ULL;
            const __m512i top = _mm512_maskz_permutexvar_epi8(
                kPixelBytes, perm, _mm512_maskz_loadu_epi8(window, r0 + from));
            const __m512i bottom = _mm512_maskz_permutexvar_epi8(
                kPixelBytes, perm, _mm512_maskz_loadu_epi8(window, r1 + from));
            p0 = lower_half(top);
            p1 = upper_half(top);
            p2 = lower_half(bottom);
            p3 = upper_half(bottom);
        } else {
            const __m256i off_lo =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&fc.off_lo[at]));
            const __m256i off_hi =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&fc.off_hi[at]));
            const __m256i shift =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&fc.shift_lo[at]));
            const __m256i lo0 = _mm256_srlv_epi32(
                _mm256_i32gather_epi32(reinterpret_cast<const int*>(r0), off_lo, 1), shift);
            const __m256i hi0 = _mm256_i32gather_epi32(reinterpret_cast<const int*>(r0), off_hi, 1);
            const __m256i lo1 = _mm256_srlv_epi32(
                _mm256_i32gather_epi32(reinterpret_cast<const int*>(r1), off_lo, 1), shift);
            const __m256i hi1 = _mm256_i32gather_epi32(reinterpret_cast<const int*>(r1), off_hi, 1);
            p0 = _mm256_and_si256(lo0, low24);
            p1 = _mm256_srli_epi32(hi0, 8);
            p2 = _mm256_and_si256(lo1, low24);
            p3 = _mm256_srli_epi32(hi1, 8);
        }
        const __mmask8 flat = (_mm256_cmpeq_epi32_mask(p0, p1) | ~uses1) &
                              (_mm256_cmpeq_epi32_mask(p0, p2) | ~uses2) &
                              (_mm256_cmpeq_epi32_mask(p0, p3) | ~uses3);
        const __mmask8 flat_decided = flat & exact & (rule_pos | rule_neg);
        const __mmask8 flat_down = flat_decided & rule_neg;

        // Flat pixels: each byte b or b - 1 by the rule (0 stays 0); copies: P0.
        const __m256i flat_pixels =
            _mm256_mask_mov_epi32(p0, flat_down, _mm256_subs_epu8(p0, _mm256_set1_epi32(0x010101)));
        const __mmask8 settled_pixels = flat_decided | copy;
        __mmask8 near = 0;
        __m256i pixel = flat_pixels;
        const bool estimate = (settled_pixels & valid) != valid;
        const __m512d inv_sum = estimate ? _mm512_div_pd(_mm512_set1_pd(1.0), sum) : zero;
        for (int c = 0; c < 3 && estimate; ++c) {
            const __m256i a = _mm256_shuffle_epi8(p0, channel[c]);
            const __m256i b = _mm256_shuffle_epi8(p1, channel[c]);
            const __m256i cc = _mm256_shuffle_epi8(p2, channel[c]);
            const __m256i d = _mm256_shuffle_epi8(p3, channel[c]);
            __m512d num = _mm512_mul_pd(to_double(a), w0);
            num = _mm512_fmadd_pd(to_double(b), w1, num);
            num = _mm512_fmadd_pd(to_double(cc), w2, num);
            num = _mm512_fmadd_pd(to_double(d), w3, num);
            const __m512d q = _mm512_mul_pd(num, inv_sum);
            const __m256i t = truncated(q);
            const __m512d f = _mm512_sub_pd(q, to_double(t));
            near |= _mm512_cmp_pd_mask(f, margin, _CMP_LE_OQ) |
                    _mm512_cmp_pd_mask(f, near_one, _CMP_GE_OQ);
            if (c == 0)
                pixel = _mm256_mask_mov_epi32(t, settled_pixels, flat_pixels);
            else
                pixel = _mm256_mask_or_epi32(pixel, static_cast<__mmask8>(~settled_pixels), pixel,
                                             _mm256_slli_epi32(t, 8 * c));
        }
        const __mmask8 redo = valid & static_cast<__mmask8>(~copy) &
                              static_cast<__mmask8>((flat & ~flat_decided) | (~flat & near));

        std::uint8_t* out = out_row + 3 * at;
        store_pixels(out, pixel, x, width);
        if (redo) {
            alignas(64) double w[5][kLanes];
            _mm512_store_pd(w[0], w0);
            _mm512_store_pd(w[1], w1);
            _mm512_store_pd(w[2], w2);
            _mm512_store_pd(w[3], w3);
            _mm512_store_pd(w[4], sum);
            for (unsigned m = redo; m; m &= m - 1) {
                const int lane = std::countr_zero(m);
                if (exact >> lane & 1)
                    known_pixel(plan, r0, r1, x + lane, w[0][lane], w[1][lane], w[2][lane],
                                w[3][lane], w[4][lane], out + 3 * lane);
                else
                    exact_pixel(plan, r0, r1, x + lane, ky, out + 3 * lane);
            }
        }
    }
}

// ---- The same rows with AVX2 and FMA, for processors without AVX-512 -------------------------
//
// The arithmetic of fused_row_avx512, four doubles to a register (each step of eight columns as
// two halves), and the same reasons make it exact, with these differences:
// - The first estimate of 1 / sqrt comes from the single-precision reciprocal square root
//   (within 1.5 x 2^-12, and 2^-24 more from rounding s to single precision); one Newton step in
//   double brings it within 2^-22, so that h is below 2^-21 and the final double-double step
//   takes the series to its h^3 term (the next one, 35h^4/128, is below 2^-85). Each operation
//   of that step rounds a value below 2^-20, so the double-double is within 2^-70 of the true
//   value, far inside the 2^-63 that the settling leaves.
// - A weight is settled by settled_bits4, with a margin at least that of settled.
// - S and the flat-area rule come from the exact sum of the four weights carried as a
//   double-double with exact two-sums, in the order and with the operations of flat_rule, as
//   four_blends does: below 2^10 the extended additions of the literal arithmetic are exact, so
//   S is that sum rounded to double. A larger sum leaves its pixels to the scalar code wherever
//   the last bit of S could matter, as with AVX-512.
// - The neighbours are read with 32-bit gathers.
// - The bytes are estimated in single precision, eight at a time, and redone exactly within
//   kFloatMargin of an integer (see there) rather than kMargin.

#define KAP_AVX2 __attribute__((target("avx2,fma")))

constexpr int kHalf = kLanes / 2;

// How near an integer a byte estimated in single precision must be to be redone exactly. The
// estimate is (sum of byte x share) with share = float(double(w / S)): each share is within
// 2^-23.9 of w / S relative, which moves the sum by at most 255 x 2^-23.9 < 2^-15.9, and the
// four single-precision roundings of partial sums below 256 add at most 4 x 2^-17 = 2^-15. The
// extended quotient lies within 2^-54 of the exact one, so the estimate is within 2^-14.4 of it,
// a fifth of the margin of 2^-12. About one estimated byte in two thousand is redone.
constexpr float kFloatMargin = 1.0f / 4096.0f;

// The lanes of the low four bits of m, as a mask of 64-bit lanes.
KAP_AVX2 inline __m256d lanes64(unsigned m) {
    const __m256i bits = _mm256_setr_epi64x(1, 2, 4, 8);
    return _mm256_castsi256_pd(
        _mm256_cmpeq_epi64(_mm256_and_si256(_mm256_set1_epi64x(m), bits), bits));
}

// The lanes of the low eight bits of m, as a mask of 32-bit lanes.
KAP_AVX2 inline __m256i lanes32(unsigned m) {
    const __m256i bits = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
    return _mm256_cmpeq_epi32(_mm256_and_si256(_mm256_set1_epi32(static_cast<int>(m)), bits), bits);
}

KAP_AVX2 inline unsigned bits32(__m256i mask) {
    return static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(mask)));
}

KAP_AVX2 inline unsigned bits64(__m256d mask) {
    return static_cast<unsigned>(_mm256_movemask_pd(mask));
}

// 1 / sqrt(s) as a double-double for s = (a2h + a2l) + (b2h + b2l), as inverse_distance8.
KAP_AVX2 inline void inverse_distance_dd4(__m256d a2h, __m256d a2l, __m256d b2h, __m256d b2l,
                                          __m256d& hi, __m256d& lo) {
    const __m256d sh = _mm256_add_pd(a2h, b2h);
    const __m256d sl = _mm256_add_pd(two_sum_err(a2h, b2h, sh), _mm256_add_pd(a2l, b2l));
    const __m256d half = _mm256_mul_pd(sh, _mm256_set1_pd(0.5));
    const __m256d three_halves = _mm256_set1_pd(1.5);
    __m256d y = _mm256_cvtps_pd(_mm_rsqrt_ps(_mm256_cvtpd_ps(sh)));
    y = _mm256_mul_pd(y, _mm256_fnmadd_pd(half, _mm256_mul_pd(y, y), three_halves));
    // h = 1 - s y^2 is below 2^-21 after one Newton step; each of its three roundings is below
    // 2^-74, as in inverse_distance8.
    const __m256d q = _mm256_mul_pd(sh, y);
    const __m256d ql = _mm256_fmsub_pd(sh, y, q);
    __m256d h = _mm256_fnmadd_pd(q, y, _mm256_set1_pd(1.0));
    h = _mm256_fnmadd_pd(ql, y, h);
    h = _mm256_fnmadd_pd(sl, _mm256_mul_pd(y, y), h);
    // y (1 + h/2 + 3h^2/8 + 5h^3/16): the next term, 35h^4/128, is below 2^-85.
    const __m256d series = _mm256_fmadd_pd(
        _mm256_fmadd_pd(_mm256_set1_pd(0.3125), h, _mm256_set1_pd(0.375)), h, _mm256_set1_pd(0.5));
    const __m256d corr = _mm256_mul_pd(_mm256_mul_pd(y, h), series);
    hi = _mm256_add_pd(y, corr);
    lo = _mm256_sub_pd(corr, _mm256_sub_pd(hi, y));
}

// As settled, in two operations: hi + lo x (1 + 2^-7), rounded once, is hi only where hi + lo
// lies inside the numbers that round to hi by about 1/128 of the half-gap on lo's side: 2^(e-60)
// above hi (and below it when hi is not a power of two), 2^(e-61) below a power of two. The
// extended value lies within 3 x 2^-64 of the true one relative, at most 0.75 x 2^(e-61) here
// (0.375 x 2^(e-61) next to a power of two), so it rounds to hi as well.
KAP_AVX2 inline unsigned settled_bits4(__m256d hi, __m256d lo) {
    const __m256d moved = _mm256_fmadd_pd(lo, _mm256_set1_pd(1.0 + 0x1p-7), hi);
    return bits64(_mm256_cmp_pd(moved, hi, _CMP_EQ_OQ));
}

KAP_AVX2 inline __m256i channel_bytes_avx2(int c) {
    alignas(32) std::int8_t index[32];
    for (int i = 0; i < 32; ++i)
        index[i] = i % 4 == 0 ? static_cast<std::int8_t>(i % 16 + c) : std::int8_t{-128};
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(index));
}

// One destination row, as fused_row_avx512 (same passes).
template <Pass Mode>
KAP_AVX2 void fused_row_avx2(const Plan& plan, KindWeights* kept, int y, std::uint8_t* out_row) {
    const FusedColumns& fc = *plan.fused;
    const FusedRowStart start(plan, y);
    const AxisKind& ky = start.ky;
    const std::uint8_t *r0 = start.r0, *r1 = start.r1;
    const int width = plan.width;
    const bool zero_row = start.zero_row;
    const Blend& down = start.down;
    const __m256d dy2h = _mm256_set1_pd(start.dy2.hi), dy2l = _mm256_set1_pd(start.dy2.lo);
    const __m256d ry2h = _mm256_set1_pd(start.ry2.hi), ry2l = _mm256_set1_pd(start.ry2.lo);
    const __m256d zero = _mm256_setzero_pd();
    const __m256i low24 = _mm256_set1_epi32(0xFFFFFF);
    const __m256i channel[3] = {channel_bytes_avx2(0), channel_bytes_avx2(1),
                                channel_bytes_avx2(2)};
    // The weights w0..w3 and S of the eight columns of a step.
    alignas(32) double w[5][kLanes];

    for (int x = 0; x < width; x += kLanes) {
        const std::size_t at = static_cast<std::size_t>(x);
        const unsigned zero_cols = fc.zero[at / kLanes];
        const unsigned valid = width - x >= kLanes ? 0xFFu : (1u << (width - x)) - 1;
        unsigned exact, rule_pos = 0, rule_neg = 0, copy = 0, uses1, uses3;
        if constexpr (Mode == Pass::BlendKept) {
            for (int i = 0; i < 5; ++i)
                std::memcpy(w[i], &kept->w[i][at], sizeof w[i]);
            const std::uint8_t* m = &kept->masks[6 * (at / kLanes)];
            exact = m[0];
            rule_pos = m[1];
            rule_neg = m[2];
            copy = m[3];
            uses1 = m[4];
            uses3 = m[5];
        } else if (!zero_row) {
            unsigned good = 0xFF;
            if (zero_cols != 0xFF) {
                unsigned settled_bits[4] = {0, 0, 0, 0};
                for (int half = 0; half < 2; ++half) {
                    const std::size_t h4 = at + static_cast<std::size_t>(kHalf * half);
                    const __m256d a2h = _mm256_loadu_pd(&fc.a2h[h4]),
                                  a2l = _mm256_loadu_pd(&fc.a2l[h4]);
                    const __m256d b2h = _mm256_loadu_pd(&fc.b2h[h4]),
                                  b2l = _mm256_loadu_pd(&fc.b2l[h4]);
                    __m256d hi[4], lo[4];
                    inverse_distance_dd4(a2h, a2l, dy2h, dy2l, hi[0], lo[0]);
                    inverse_distance_dd4(b2h, b2l, dy2h, dy2l, hi[1], lo[1]);
                    inverse_distance_dd4(a2h, a2l, ry2h, ry2l, hi[2], lo[2]);
                    inverse_distance_dd4(b2h, b2l, ry2h, ry2l, hi[3], lo[3]);
                    for (int i = 0; i < 4; ++i) {
                        settled_bits[i] |= settled_bits4(hi[i], lo[i]) << (kHalf * half);
                        _mm256_store_pd(&w[i][kHalf * half], hi[i]);
                    }
                }
                const unsigned unsettled =
                    ~(settled_bits[0] & settled_bits[1] & settled_bits[2] & settled_bits[3]) &
                    ~zero_cols & valid & 0xFF;
                if (unsettled)
                    settle_weights(fc, at, unsettled, settled_bits, ky, w);
                good = 0;
                for (int half = 0; half < 2; ++half) {
                    const int h4 = kHalf * half;
                    __m256d sh = _mm256_load_pd(&w[0][h4]), sl = zero;
                    for (int i = 1; i < 4; ++i) {
                        const __m256d wi = _mm256_load_pd(&w[i][h4]);
                        const __m256d s = _mm256_add_pd(sh, wi);
                        sl = _mm256_add_pd(sl, two_sum_err(sh, wi, s));
                        sh = s;
                    }
                    const __m256d th = _mm256_add_pd(sh, sl);
                    const __m256d excess = _mm256_add_pd(_mm256_sub_pd(sh, th), sl);
                    const __m256d threshold = _mm256_mul_pd(th, _mm256_set1_pd(0x1p-59));
                    good |= bits64(_mm256_cmp_pd(th, _mm256_set1_pd(1024.0), _CMP_LT_OQ)) << h4;
                    const __m256d exact_flat =
                        _mm256_and_pd(_mm256_cmp_pd(excess, zero, _CMP_EQ_OQ),
                                      _mm256_cmp_pd(th, _mm256_set1_pd(kExactFlatSum), _CMP_LT_OQ));
                    rule_pos |= bits64(_mm256_or_pd(_mm256_cmp_pd(excess, threshold, _CMP_GT_OQ),
                                                    exact_flat))
                                << h4;
                    rule_neg |=
                        bits64(_mm256_cmp_pd(excess, _mm256_sub_pd(zero, threshold), _CMP_LT_OQ))
                        << h4;
                    _mm256_store_pd(&w[4][h4], th);
                }
            } else {
                for (auto& row : w)
                    std::fill(row, row + kLanes, 0.0);
            }
            if (zero_cols) {
                // Columns of fraction 0: P0 and P2 with the row's weights.
                const double with[5] = {down.w[0], 0.0, down.w[2], 0.0, down.sum};
                for (int half = 0; half < 2; ++half) {
                    const int h4 = kHalf * half;
                    const __m256d lanes = lanes64(zero_cols >> h4);
                    for (int i = 0; i < 5; ++i)
                        _mm256_store_pd(&w[i][h4],
                                        _mm256_blendv_pd(_mm256_load_pd(&w[i][h4]),
                                                         _mm256_set1_pd(with[i]), lanes));
                }
            }
            exact = good | zero_cols;
            rule_pos = (rule_pos & ~zero_cols) | (down.flat_rule > 0 ? zero_cols : 0);
            rule_neg = (rule_neg & ~zero_cols) | (down.flat_rule < 0 ? zero_cols : 0);
            uses1 = uses3 = ~zero_cols & 0xFF;
        } else {
            // A row of fraction 0: P0 and P1 with the column's weights, or a copy.
            std::memcpy(w[0], &fc.rw0[at], sizeof w[0]);
            std::memcpy(w[1], &fc.rw1[at], sizeof w[1]);
            std::fill(w[2], w[2] + kLanes, 0.0);
            std::fill(w[3], w[3] + kLanes, 0.0);
            std::memcpy(w[4], &fc.rsum[at], sizeof w[4]);
            const __m256i rules = _mm256_cvtepi8_epi32(
                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&fc.rrule[at])));
            rule_pos = bits32(_mm256_cmpgt_epi32(rules, _mm256_setzero_si256()));
            rule_neg = bits32(_mm256_cmpgt_epi32(_mm256_setzero_si256(), rules));
            exact = 0xFF;
            copy = zero_cols;
            uses1 = ~zero_cols & 0xFF;
            uses3 = 0;
        }
        if constexpr (Mode == Pass::KeepWeights) {
            for (int i = 0; i < 5; ++i)
                std::memcpy(&kept->w[i][at], w[i], sizeof w[i]);
            std::uint8_t* m = &kept->masks[6 * (at / kLanes)];
            m[0] = static_cast<std::uint8_t>(exact);
            m[1] = static_cast<std::uint8_t>(rule_pos);
            m[2] = static_cast<std::uint8_t>(rule_neg);
            m[3] = static_cast<std::uint8_t>(copy);
            m[4] = static_cast<std::uint8_t>(uses1);
            m[5] = static_cast<std::uint8_t>(uses3);
            continue;
        }
        const unsigned uses2 = zero_row ? 0 : 0xFF;

        // The neighbours: P0 and P1 from row r0, P2 and P3 from row r1.
        const __m256i off_lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&fc.off_lo[at]));
        const __m256i off_hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&fc.off_hi[at]));
        const __m256i shift =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&fc.shift_lo[at]));
        const __m256i lo0 = _mm256_srlv_epi32(
            _mm256_i32gather_epi32(reinterpret_cast<const int*>(r0), off_lo, 1), shift);
        const __m256i hi0 = _mm256_i32gather_epi32(reinterpret_cast<const int*>(r0), off_hi, 1);
        const __m256i lo1 = _mm256_srlv_epi32(
            _mm256_i32gather_epi32(reinterpret_cast<const int*>(r1), off_lo, 1), shift);
        const __m256i hi1 = _mm256_i32gather_epi32(reinterpret_cast<const int*>(r1), off_hi, 1);
        const __m256i p0 = _mm256_and_si256(lo0, low24);
        const __m256i p1 = _mm256_srli_epi32(hi0, 8);
        const __m256i p2 = _mm256_and_si256(lo1, low24);
        const __m256i p3 = _mm256_srli_epi32(hi1, 8);
        const unsigned flat = (bits32(_mm256_cmpeq_epi32(p0, p1)) | ~uses1) &
                              (bits32(_mm256_cmpeq_epi32(p0, p2)) | ~uses2) &
                              (bits32(_mm256_cmpeq_epi32(p0, p3)) | ~uses3) & 0xFF;
        const unsigned flat_decided = flat & exact & (rule_pos | rule_neg);
        const unsigned flat_down = flat_decided & rule_neg;

        // Flat pixels: each byte b or b - 1 by the rule (0 stays 0); copies: P0.
        const __m256i flat_pixels = _mm256_blendv_epi8(
            p0, _mm256_subs_epu8(p0, _mm256_set1_epi32(0x010101)), lanes32(flat_down));
        const unsigned settled_pixels = flat_decided | copy;
        const __m256i keep = lanes32(settled_pixels);
        unsigned near = 0;
        __m256i pixel = flat_pixels;
        if ((settled_pixels & valid) != valid) {
            // The bytes are estimated in single precision, eight at a time, from the weights
            // divided by S (see kFloatMargin).
            __m256 share[4];
            __m128 halves[2][4];
            for (int half = 0; half < 2; ++half) {
                const __m256d inverse_sum =
                    _mm256_div_pd(_mm256_set1_pd(1.0), _mm256_load_pd(&w[4][kHalf * half]));
                for (int i = 0; i < 4; ++i)
                    halves[half][i] = _mm256_cvtpd_ps(
                        _mm256_mul_pd(_mm256_load_pd(&w[i][kHalf * half]), inverse_sum));
            }
            for (int i = 0; i < 4; ++i)
                share[i] = _mm256_set_m128(halves[1][i], halves[0][i]);
            const __m256 margin_f = _mm256_set1_ps(kFloatMargin);
            const __m256 near_one_f = _mm256_set1_ps(1.0f - kFloatMargin);
            for (int c = 0; c < 3; ++c) {
                __m256 q = _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_shuffle_epi8(p0, channel[c])),
                                         share[0]);
                q = _mm256_fmadd_ps(_mm256_cvtepi32_ps(_mm256_shuffle_epi8(p1, channel[c])),
                                    share[1], q);
                q = _mm256_fmadd_ps(_mm256_cvtepi32_ps(_mm256_shuffle_epi8(p2, channel[c])),
                                    share[2], q);
                q = _mm256_fmadd_ps(_mm256_cvtepi32_ps(_mm256_shuffle_epi8(p3, channel[c])),
                                    share[3], q);
                const __m256i tc = _mm256_cvttps_epi32(q);
                const __m256 f = _mm256_sub_ps(q, _mm256_cvtepi32_ps(tc));
                near |= static_cast<unsigned>(
                    _mm256_movemask_ps(_mm256_or_ps(_mm256_cmp_ps(f, margin_f, _CMP_LE_OQ),
                                                    _mm256_cmp_ps(f, near_one_f, _CMP_GE_OQ))));
                if (c == 0)
                    pixel = _mm256_blendv_epi8(tc, flat_pixels, keep);
                else
                    pixel = _mm256_blendv_epi8(_mm256_or_si256(pixel, _mm256_slli_epi32(tc, 8 * c)),
                                               pixel, keep);
            }
        }
        const unsigned redo = valid & ~copy & ((flat & ~flat_decided) | (~flat & near));

        std::uint8_t* out = out_row + 3 * at;
        store_pixels(out, pixel, x, width);
        for (unsigned m = redo & 0xFF; m; m &= m - 1) {
            const int lane = std::countr_zero(m);
            if (exact >> lane & 1)
                known_pixel(plan, r0, r1, x + lane, w[0][lane], w[1][lane], w[2][lane], w[3][lane],
                            w[4][lane], out + 3 * lane);
            else
                exact_pixel(plan, r0, r1, x + lane, ky, out + 3 * lane);
        }
    }
}

template <Pass Mode>
void fused_row_pass(const Plan& plan, KindWeights* kept, int y, std::uint8_t* out_row) {
    if (plan.fused_avx512)
        fused_row_avx512<Mode>(plan, kept, y, out_row);
    else
        fused_row_avx2<Mode>(plan, kept, y, out_row);
}

void fused_row(const Plan& plan, KindWeights& kept, int y, std::uint8_t* out_row) {
    if (!plan.keep_row_weights) {
        fused_row_pass<Pass::Blend>(plan, nullptr, y, out_row);
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

// Calls resample_finished when the resampling leaves, also by an exception.
struct FinishGuard {
    ResampleProgress* progress;
    ~FinishGuard() {
        if (progress)
            progress->resample_finished();
    }
};

// A new 24-bit picture, in large pages where its memory is fresh (see advise_large_pages).
QImage new_picture(int width, int height) {
    QImage image(width, height, QImage::Format_BGR888);
    if (!image.isNull())
        advise_large_pages(image.bits(), static_cast<std::size_t>(image.sizeInBytes()));
    return image;
}

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

// Rows handed out at a time to the threads sharing a resampling.
constexpr int kRowBlock = 8;

// Everything a resampling's rows are computed from, shared with the helper threads: a helper
// the system has paused may still be finishing a block (whose result is no longer needed) after
// the call has returned, so what it reads must live until it lets go.
struct Work {
    QImage source; // keeps the source's pixels
    Plan plan;
    std::vector<RowBlends> scratch; // one per thread
#ifdef KAP_VECTOR_WEIGHTS
    FusedColumns fused;
#endif
    // The blocks of rows: handed out in turn, and each one's state.
    std::atomic<int> next{0};
    std::unique_ptr<std::atomic<int>[]> state;
    // Wakes the threads waiting for a block's state to change. A mutex and a condition variable
    // rather than the atomics' own wait: the standard library of Debian 12 (GCC 12) can miss
    // an atomic's notification and leave the waiter asleep for good.
    std::mutex changed_mutex;
    std::condition_variable changed;

    void set_state(int block, int value) {
        state[block].store(value, std::memory_order_release);
        // A waiter tests the state under the mutex: taking it here puts this notification
        // after any test that saw the old state.
        { const std::lock_guard lock(changed_mutex); }
        changed.notify_all();
    }
    void wait_while(int block, int value) {
        std::unique_lock lock(changed_mutex);
        changed.wait(lock, [&] { return state[block].load(std::memory_order_acquire) != value; });
    }
};

// Helper threads kept for the resamplings to come, started when first needed and never ended:
// starting a thread for every call, and waiting for it at the end, costs milliseconds when the
// processors are busy.
class HelperPool {
public:
    static HelperPool& instance() {
        static HelperPool* pool = new HelperPool; // never destroyed: its threads outlive main
        return *pool;
    }

    // Runs `task` on a helper thread, starting one if every helper is busy (at most kMaxHelpers;
    // beyond that the task waits for a free helper). When no helper can be started at all, the
    // task is dropped: the calling thread computes every block itself.
    void run(std::function<void()> task) {
        std::lock_guard lock(mutex_);
        if (idle_ <= tasks_.size() && helpers_ < kMaxHelpers) {
            try {
                std::thread([this] { serve(); }).detach();
                ++helpers_;
                ++idle_;
            } catch (const std::system_error&) {
                if (helpers_ == 0)
                    return;
            }
        }
        tasks_.push_back(std::move(task));
        wake_.notify_one();
    }

private:
    static constexpr std::size_t kMaxHelpers = 16;

    void serve() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return !tasks_.empty(); });
            std::function<void()> task = std::move(tasks_.front());
            tasks_.pop_front();
            --idle_;
            lock.unlock();
            task(); // drops the task's hold on its work before the thread waits again
            task = nullptr;
            lock.lock();
            ++idle_;
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    std::size_t helpers_ = 0, idle_ = 0;
};

void run_rows(const std::shared_ptr<Work>& work, int height, int threads,
              ResampleProgress* progress) {
    const Plan& plan = work->plan;
    std::vector<RowBlends>& scratch = work->scratch;
    if (threads <= 1) {
        for (int y = 0; y < height; ++y) {
            if (progress)
                progress->row_reached(y);
            const int row = plan.row_at(y);
            compute_row(plan, scratch[0], row, plan.dst + row * plan.dst_stride);
        }
        return;
    }

    // Rows go out in blocks to whichever thread is free. A block is computed into the thread's
    // own buffer and copied into the result by the thread that finishes it first: once no block
    // is left to take, this thread computes again any block still in progress elsewhere, rather
    // than wait for a thread that the system may have paused for milliseconds (on a busy
    // machine), and it never waits for the helpers themselves: a late helper finds its block
    // done and drops its copy. This thread reports every row in order as soon as it and all
    // rows before it are in the result. (Rows grouped by kind are reported by their place in
    // that order: the progress still moves once per row, from 0 to the end.)
    enum : int { kOpen, kCopying, kInPlace, kClosed };
    const int blocks = (height + kRowBlock - 1) / kRowBlock;
    const std::size_t row_bytes = static_cast<std::size_t>(plan.width) * 3;
    work->state.reset(new std::atomic<int>[blocks]);
    for (int b = 0; b < blocks; ++b)
        work->state[b].store(kOpen, std::memory_order_relaxed);

    // Once a block is kInPlace or kClosed no thread writes to the result for it again.
    auto compute_block = [row_bytes, height](Work& w, int b, RowBlends& rb) {
        std::atomic<int>& state = w.state[b];
        if (state.load(std::memory_order_acquire) != kOpen)
            return;
        const int first = b * kRowBlock, end = std::min(height, first + kRowBlock);
        for (int y = first; y < end; ++y)
            compute_row(w.plan, rb, w.plan.row_at(y),
                        rb.block.data() + static_cast<std::size_t>(y - first) * row_bytes);
        int open = kOpen;
        if (!state.compare_exchange_strong(open, kCopying, std::memory_order_acq_rel))
            return; // finished by another thread meanwhile (the same bytes), or abandoned
        for (int y = first; y < end; ++y)
            std::memcpy(w.plan.dst + w.plan.row_at(y) * w.plan.dst_stride,
                        rb.block.data() + static_cast<std::size_t>(y - first) * row_bytes,
                        row_bytes);
        w.set_state(b, kInPlace);
    };

    // On the way out, also by an exception from a progress call: no helper may write to the
    // result once this returns. Open blocks are closed; a block being copied is waited for.
    struct CloseBlocks {
        Work& w;
        int blocks;
        ~CloseBlocks() {
            for (int b = 0; b < blocks; ++b) {
                int s = kOpen;
                while (!w.state[b].compare_exchange_strong(s, kClosed, std::memory_order_acq_rel) &&
                       s != kInPlace && s != kClosed) {
                    w.wait_while(b, s);
                    s = kOpen;
                }
            }
        }
    } close{*work, blocks};

    for (int t = 1; t < threads; ++t) {
        HelperPool::instance().run([work, t, blocks, compute_block] {
            const ExtendedPrecision precision;
            for (int b; (b = work->next.fetch_add(1, std::memory_order_relaxed)) < blocks;)
                compute_block(*work, b, work->scratch[static_cast<std::size_t>(t)]);
        });
    }

    int reported = 0; // blocks whose rows have been reported
    auto report = [&](bool wait) {
        while (reported < blocks) {
            for (int s; (s = work->state[reported].load(std::memory_order_acquire)) != kInPlace;) {
                if (!wait)
                    return;
                work->wait_while(reported, s);
            }
            const int end = std::min(height, (reported + 1) * kRowBlock);
            if (progress)
                for (int y = reported * kRowBlock; y < end; ++y)
                    progress->row_reached(y);
            ++reported;
        }
    };

    for (int b; (b = work->next.fetch_add(1, std::memory_order_relaxed)) < blocks;) {
        compute_block(*work, b, scratch[0]);
        report(false);
    }
    for (int b = reported; b < blocks; ++b)
        compute_block(*work, b, scratch[0]);
    report(true);
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
    std::shared_ptr<Work> work;
    int threads = 1;
    try {
        work = std::make_shared<Work>();
        work->source = source;
        Plan& plan = work->plan;
        std::vector<RowBlends>& scratch = work->scratch;
#ifdef KAP_VECTOR_WEIGHTS
        FusedColumns& fused = work->fused;
#endif
        if (new_width > 0) {
            result = new_picture(new_width, new_height);
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
#ifdef KAP_VECTOR_WEIGHTS
            if (ncols * nrows > tuning.fused_min_pairs && tuning.fused_rows && plan.fast &&
                plan.vector_kinds) {
                plan.fused_avx512 = tuning.fused_avx512 && has_avx512_rows();
                bool rows_with_zero = false;
                for (const AxisKind& k : plan.rows.kinds)
                    rows_with_zero = rows_with_zero || k.frac == 0.0;
                plan_fused_columns(plan.cols, new_width, source.width(), source.bytesPerLine(),
                                   rows_with_zero, fused);
                plan.fused = &fused;
                // Rows of one kind share their weights when each kind has two rows or more on
                // average: the rows are then taken kind by kind.
                plan.keep_row_weights = static_cast<std::size_t>(new_height) >= 2 * nrows;
                if (plan.keep_row_weights) {
                    plan.order = rows_by_kind(plan.rows);
                    for (RowBlends& rb : scratch)
                        rb.kept.allocate(fused.a2h.size());
                }
            }
#endif
            for (RowBlends& rb : scratch) {
                rb.done.resize(ncols);
                if (threads > 1)
                    rb.block.resize(static_cast<std::size_t>(kRowBlock) *
                                    static_cast<std::size_t>(new_width) * 3);
            }
            if (plan.fused) {
                // Nothing shared between rows but the columns' plan and the kept weights.
            } else if (ncols * nrows <= tuning.max_weight_table) {
                plan.table.allocate(ncols * nrows);
                for (std::size_t r = 0; r < nrows; ++r)
                    make_blend_row(plan.cols, plan.vector_kinds, plan.rows.kinds[r],
                                   plan.table.data.get() + r * ncols, scratch[0].done.data());
            }
            if (plan.table.empty() && !plan.fused) {
                // As many slots as rows between two rows of the same kind, when that fits in
                // the table's budget shared between the threads; else one, since a row kind
                // would be pushed out before it comes back.
                const std::size_t budget = std::max<std::size_t>(
                    1, tuning.max_weight_table / ncols / static_cast<std::size_t>(threads));
                const std::size_t gap = return_gap(plan.rows);
                const std::size_t kind_slots = gap <= budget ? std::max<std::size_t>(gap, 1) : 1;
                if (gap > budget) {
                    // Row kinds come back too far apart to be kept: take the rows kind by kind.
                    plan.order = rows_by_kind(plan.rows);
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
        run_rows(work, new_height, threads, progress);
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
