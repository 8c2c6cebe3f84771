// The code for processors with AVX2 and FMA: the four-neighbour blends four columns at a time,
// and the rows computed eight destination pixels at a time where AVX-512 is missing.

#include "resize/resample_internal.h"

#ifdef KAP_VECTOR_WEIGHTS

#include <algorithm>
#include <bit>

namespace resample {

namespace {

KAP_AVX2 inline __m256d two_sum_err(__m256d a, __m256d b, __m256d s) {
    const __m256d bb = _mm256_sub_pd(s, a);
    return _mm256_add_pd(_mm256_sub_pd(a, _mm256_sub_pd(s, bb)), _mm256_sub_pd(b, bb));
}

// Settles double(x) for the double-double (hi, lo), hi in [2^e, 2^(e+1)), known within 2^(e-61)
// of x: true in the lanes where double(x) is hi.
KAP_AVX2 inline __m256d settled(__m256d hi, __m256d lo) {
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
KAP_AVX2 inline void inverse_distance4(__m256d a, __m256d b, __m256d& hi, __m256d& lo) {
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

} // namespace

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
KAP_AVX2 void four_blends(const VecKinds& cols, const AxisKind& ky, Blend* blends,
                          std::uint8_t* done) {
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

// ---- Rows computed eight destination pixels at a time, for processors without AVX-512 --------
//
// The arithmetic of fused_row_avx512, four doubles to a register (each step of eight columns as
// two halves), and the same reasons make it exact, with these differences:
// - The first estimate of 1 / sqrt comes from the single-precision reciprocal square root
//   (within 1.5 x 2^-12, where AVX-512 has 2^-14), so h is below 2^-10.38 and the series goes
//   to its h^6 term; the settling takes a slack of 6 x 2^-64 (see weight4).
// - S and the flat-area rule come from the exact sum of the four weights carried as a
//   double-double with exact two-sums, in the order and with the operations of flat_rule, as
//   four_blends does: below 2^10 the extended additions of the literal arithmetic are exact, so
//   S is that sum rounded to double. A sum of kMaxFusedWeight or more leaves its pixels to the
//   scalar code, as with AVX-512.
// - The neighbours are read with byte shuffles of two 16-byte loads per row where the step's
//   source bytes lie within 32 (enlargements and mild reductions), else with 32-bit gathers.

namespace {

constexpr int kHalf = kLanes / 2;

// Sums of a blend's four weights in two exact parts. A weight w below kMaxFusedWeight is at least
// 1 / sqrt(2) (or 0), so w + kSplitSum lies in [2^12, 2^13), where doubles are the multiples of
// 2^-40: subtracting kSplitSum again leaves w rounded to a multiple of 2^-40, exactly, and w less
// that is a multiple of 2^-53 (as w is) of at most 2^-41, exact too. The whole parts of up to four
// weights add up exactly (multiples of 2^-40 below 2^9), and so do the rests (multiples of 2^-53
// below 2^-38).
constexpr double kSplitSum = 0x1.8p12;

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

// The weights 1 / sqrt(s) of four lanes, s = (a2h + a2l) + (b2h + b2l) with the squares split by
// square, and the lanes where they are settled (see kSettleSlack).
// y is the processor's 12-bit reciprocal square root in single precision of the exact part of s,
// so that y^2 is exact: |y sqrt(s) - 1| < 2^-11.39 (1.5 x 2^-12, the rest of s at most 2^-16.5
// of it, the rounding to single precision), and h = 1 - s y^2, below 2^-10.38, comes out of two
// FMAs within 2^-63 (two roundings of at most 2^-64, s's own error of 2^-68.5). Then
// t = y (1 - h)^(-1/2) = y (1 + h/2 + 3h^2/8 + ... + 231h^6/1024 + ...), whose next term is
// below 2^-74.9; q = h/2 + h^2 P(h) rounds once where it matters (2^-65, the other roundings fall
// on h^2 P(h), below 2^-22.1), so y + y q is within 2^-63.4 t of t, two thirds of it from h. With
// the extended roundings (3 x 2^-64) and the rounding of q +/- k (2^-65), the ends y + y (q +/- k),
// each one FMA, need k > 5.05 x 2^-64.
KAP_AVX2 inline __m256d weight4(__m256d a2h, __m256d a2l, __m256d b2h, __m256d b2l, __m256d& w) {
    const __m256d sh = _mm256_add_pd(a2h, b2h); // exact
    const __m256d sl = _mm256_add_pd(a2l, b2l);
    const __m256d y = _mm256_cvtps_pd(_mm_rsqrt_ps(_mm256_cvtpd_ps(sh)));
    const __m256d y2 = _mm256_mul_pd(y, y); // exact
    __m256d h = _mm256_fnmadd_pd(sh, y2, _mm256_set1_pd(1.0));
    h = _mm256_fnmadd_pd(sl, y2, h);
    __m256d p = _mm256_fmadd_pd(h, _mm256_set1_pd(231.0 / 1024), _mm256_set1_pd(63.0 / 256));
    p = _mm256_fmadd_pd(h, p, _mm256_set1_pd(35.0 / 128));
    p = _mm256_fmadd_pd(h, p, _mm256_set1_pd(5.0 / 16));
    p = _mm256_fmadd_pd(h, p, _mm256_set1_pd(3.0 / 8));
    const __m256d q =
        _mm256_fmadd_pd(h, _mm256_set1_pd(0.5), _mm256_mul_pd(_mm256_mul_pd(h, h), p));
    const __m256d k = _mm256_set1_pd(kSettleSlack);
    // y + y (q +/- k), each with one rounding.
    const __m256d up = _mm256_fmadd_pd(y, _mm256_add_pd(q, k), y);
    const __m256d down = _mm256_fmadd_pd(y, _mm256_sub_pd(q, k), y);
    w = up;
    return _mm256_cmp_pd(up, down, _CMP_EQ_OQ);
}

// P0 and P1 of eight columns from the 32 bytes at `window`, with the shuffles of each half.
KAP_AVX2 inline void window_pixels(const std::uint8_t* window, __m256i lo_first, __m256i lo_second,
                                   __m256i hi_first, __m256i hi_second, __m256i& lo, __m256i& hi) {
    const __m256i first =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(window)));
    const __m256i second =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(window + 16)));
    lo = _mm256_or_si256(_mm256_shuffle_epi8(first, lo_first),
                         _mm256_shuffle_epi8(second, lo_second));
    hi = _mm256_or_si256(_mm256_shuffle_epi8(first, hi_first),
                         _mm256_shuffle_epi8(second, hi_second));
}

// Whether sh + sl, sh a multiple of 2^-40 below 2^9 and sl a multiple of 2^-53 below 2^-38, has
// at most 56 significant bits: sl is a multiple of 2^(e - 55), 2^e the leading bit's place (sh is
// one already). The place comes from the sum rounded to double, which may round up to the next
// power of two and then asks one more bit to be 0, never one fewer.
KAP_AVX2 inline __m256d fits56(__m256d sh, __m256d sl) {
    const __m256i place = _mm256_and_si256(_mm256_castpd_si256(_mm256_add_pd(sh, sl)),
                                           _mm256_set1_epi64x(0x7FF0000000000000LL));
    // 2^(55 - e), from the exponent fields: (1023 + 55 - e) = (2046 + 55) - (1023 + e).
    constexpr auto kScaleBits = static_cast<long long>(std::uint64_t{2046 + 55} << 52);
    const __m256d scale =
        _mm256_castsi256_pd(_mm256_sub_epi64(_mm256_set1_epi64x(kScaleBits), place));
    const __m256d t = _mm256_mul_pd(sl, scale);
    return _mm256_cmp_pd(t, _mm256_round_pd(t, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC),
                         _CMP_EQ_OQ);
}

// The lanes where the extended numerator of a flat pixel is exactly b S for every byte b, so that
// the quotient is b (see whole_flat_quotient in the AVX-512 rows): the weights add up to S
// exactly and the partial sums w0 + w1 and w0 + w1 + w2 have at most 56 significant bits each.
// The sums are carried in the two exact parts of kSplitSum, which needs weights below
// kMaxFusedWeight.
KAP_AVX2 inline __m256d whole_flat_quotient4(const __m256d (&w)[4]) {
    const __m256d split = _mm256_set1_pd(kSplitSum);
    __m256d sh = _mm256_setzero_pd(), sl = _mm256_setzero_pd(), ok = _mm256_setzero_pd();
    for (int i = 0; i < 4; ++i) {
        const __m256d whole = _mm256_sub_pd(_mm256_add_pd(w[i], split), split);
        sh = _mm256_add_pd(sh, whole);
        sl = _mm256_add_pd(sl, _mm256_sub_pd(w[i], whole));
        if (i == 1)
            ok = fits56(sh, sl);
        else if (i == 2)
            ok = _mm256_and_pd(ok, fits56(sh, sl));
    }
    const __m256d total = _mm256_add_pd(sh, sl);
    ok = _mm256_and_pd(ok, _mm256_cmp_pd(_mm256_sub_pd(total, sh), sl, _CMP_EQ_OQ));
    return _mm256_and_pd(ok, _mm256_cmp_pd(total, _mm256_set1_pd(kMaxFusedWeight), _CMP_LT_OQ));
}

KAP_AVX2 inline __m256i channel_bytes_avx2(int c) {
    alignas(32) std::int8_t index[32];
    for (int i = 0; i < 32; ++i)
        index[i] = i % 4 == 0 ? static_cast<std::int8_t>(i % 16 + c) : std::int8_t{-128};
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(index));
}

} // namespace

// One destination row, as fused_row_avx512 (same passes). The weights and S of a step of eight
// columns stay in registers, two halves of four, and go to memory only for the few lanes the
// scalar code finishes.
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
    const __m256i channel[3] = {channel_bytes_avx2(0), channel_bytes_avx2(1),
                                channel_bytes_avx2(2)};

    for (int x = 0; x < width; x += kLanes) {
        const std::size_t at = static_cast<std::size_t>(x);
        const unsigned zero_cols = fc.zero[at / kLanes];
        const unsigned valid = width - x >= kLanes ? 0xFFu : (1u << (width - x)) - 1;
        // w0..w3 and S of the eight columns, columns 0-3 in [i][0] and 4-7 in [i][1].
        __m256d w[5][2];
        unsigned exact, rule_pos = 0, rule_neg = 0, copy = 0, uses1, uses3;
        if constexpr (Mode == Pass::BlendKept) {
            for (int i = 0; i < 5; ++i)
                for (int h = 0; h < 2; ++h)
                    w[i][h] = _mm256_loadu_pd(&kept->w[i][at + kHalf * h]);
            const std::uint8_t* m = &kept->masks[6 * (at / kLanes)];
            exact = m[0];
            rule_pos = m[1];
            rule_neg = m[2];
            copy = m[3];
            uses1 = m[4];
            uses3 = m[5];
        } else if (const std::int32_t from = fc.reuse[at / kLanes]; !zero_row && from >= 0) {
            // Columns of the same kinds as those at `from`, whose weights are kept.
            const std::size_t f = static_cast<std::size_t>(from);
            for (int i = 0; i < 5; ++i)
                for (int h = 0; h < 2; ++h)
                    w[i][h] = _mm256_loadu_pd(&kept->w[i][f + kHalf * h]);
            exact = kept->masks_at(f, 0);
            rule_pos = kept->masks_at(f, 1);
            rule_neg = kept->masks_at(f, 2);
            uses1 = uses3 = ~zero_cols & 0xFF;
        } else if (!zero_row) {
            unsigned good = 0xFF;
            if (zero_cols != 0xFF) {
                __m256d settled[4][2];
                unsigned all_settled = 0;
                for (int h = 0; h < 2; ++h) {
                    const std::size_t h4 = at + static_cast<std::size_t>(kHalf * h);
                    const __m256d a2h = _mm256_loadu_pd(&fc.a2h[h4]),
                                  a2l = _mm256_loadu_pd(&fc.a2l[h4]);
                    const __m256d b2h = _mm256_loadu_pd(&fc.b2h[h4]),
                                  b2l = _mm256_loadu_pd(&fc.b2l[h4]);
                    settled[0][h] = weight4(a2h, a2l, dy2h, dy2l, w[0][h]);
                    settled[1][h] = weight4(b2h, b2l, dy2h, dy2l, w[1][h]);
                    settled[2][h] = weight4(a2h, a2l, ry2h, ry2l, w[2][h]);
                    settled[3][h] = weight4(b2h, b2l, ry2h, ry2l, w[3][h]);
                    all_settled |=
                        bits64(_mm256_and_pd(_mm256_and_pd(settled[0][h], settled[1][h]),
                                             _mm256_and_pd(settled[2][h], settled[3][h])))
                        << (kHalf * h);
                }
                if (const unsigned unsettled = ~all_settled & ~zero_cols & valid & 0xFF) {
                    // A weight that cannot be settled here is computed in extended precision,
                    // as make_blend does, and put in its place.
                    alignas(32) double spilled[4][kLanes];
                    unsigned settled_bits[4];
                    for (int i = 0; i < 4; ++i) {
                        settled_bits[i] = bits64(settled[i][0]) | bits64(settled[i][1]) << kHalf;
                        _mm256_store_pd(&spilled[i][0], w[i][0]);
                        _mm256_store_pd(&spilled[i][kHalf], w[i][1]);
                    }
                    settle_weights(fc, at, unsettled, settled_bits, ky, spilled);
                    for (int i = 0; i < 4; ++i) {
                        w[i][0] = _mm256_load_pd(&spilled[i][0]);
                        w[i][1] = _mm256_load_pd(&spilled[i][kHalf]);
                    }
                }
                good = 0;
                for (int h = 0; h < 2; ++h) {
                    const int h4 = kHalf * h;
                    __m256d sh = w[0][h], sl = zero;
                    for (int i = 1; i < 4; ++i) {
                        const __m256d s = _mm256_add_pd(sh, w[i][h]);
                        sl = _mm256_add_pd(sl, two_sum_err(sh, w[i][h], s));
                        sh = s;
                    }
                    const __m256d th = _mm256_add_pd(sh, sl);
                    const __m256d excess = _mm256_add_pd(_mm256_sub_pd(sh, th), sl);
                    const __m256d threshold = _mm256_mul_pd(th, _mm256_set1_pd(0x1p-59));
                    good |= bits64(_mm256_cmp_pd(th, _mm256_set1_pd(kMaxFusedWeight), _CMP_LT_OQ))
                            << h4;
                    const __m256d exact_flat =
                        _mm256_and_pd(_mm256_cmp_pd(excess, zero, _CMP_EQ_OQ),
                                      _mm256_cmp_pd(th, _mm256_set1_pd(kExactFlatSum), _CMP_LT_OQ));
                    rule_pos |= bits64(_mm256_or_pd(_mm256_cmp_pd(excess, threshold, _CMP_GT_OQ),
                                                    exact_flat))
                                << h4;
                    rule_neg |=
                        bits64(_mm256_cmp_pd(excess, _mm256_sub_pd(zero, threshold), _CMP_LT_OQ))
                        << h4;
                    w[4][h] = th;
                }
            } else {
                for (auto& half : w)
                    half[0] = half[1] = zero;
            }
            if (zero_cols) {
                // Columns of fraction 0: P0 and P2 with the row's weights.
                const double with[5] = {down.w[0], 0.0, down.w[2], 0.0, down.sum};
                for (int h = 0; h < 2; ++h) {
                    const __m256d lanes = lanes64(zero_cols >> (kHalf * h));
                    for (int i = 0; i < 5; ++i)
                        w[i][h] = _mm256_blendv_pd(w[i][h], _mm256_set1_pd(with[i]), lanes);
                }
            }
            exact = good | zero_cols;
            rule_pos = (rule_pos & ~zero_cols) | (down.flat_rule > 0 ? zero_cols : 0);
            rule_neg = (rule_neg & ~zero_cols) | (down.flat_rule < 0 ? zero_cols : 0);
            uses1 = uses3 = ~zero_cols & 0xFF;
        } else {
            // A row of fraction 0: P0 and P1 with the column's weights, or a copy.
            for (int h = 0; h < 2; ++h) {
                const std::size_t h4 = at + static_cast<std::size_t>(kHalf * h);
                w[0][h] = _mm256_loadu_pd(&fc.rw0[h4]);
                w[1][h] = _mm256_loadu_pd(&fc.rw1[h4]);
                w[2][h] = w[3][h] = zero;
                w[4][h] = _mm256_loadu_pd(&fc.rsum[h4]);
            }
            const __m256i rules = _mm256_cvtepi8_epi32(
                _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&fc.rrule[at])));
            rule_pos = bits32(_mm256_cmpgt_epi32(rules, _mm256_setzero_si256()));
            rule_neg = bits32(_mm256_cmpgt_epi32(_mm256_setzero_si256(), rules));
            exact = 0xFF;
            copy = zero_cols;
            uses1 = ~zero_cols & 0xFF;
            uses3 = 0;
        }
        // The weights of the row's kind, or of columns that columns further on reuse.
        if (Mode == Pass::KeepWeights ||
            (Mode == Pass::Blend && fc.reuses && fc.source[at / kLanes] && !zero_row)) {
            for (int i = 0; i < 5; ++i)
                for (int h = 0; h < 2; ++h)
                    _mm256_storeu_pd(&kept->w[i][at + kHalf * h], w[i][h]);
            std::uint8_t* m = &kept->masks[6 * (at / kLanes)];
            m[0] = static_cast<std::uint8_t>(exact);
            m[1] = static_cast<std::uint8_t>(rule_pos);
            m[2] = static_cast<std::uint8_t>(rule_neg);
            m[3] = static_cast<std::uint8_t>(copy);
            m[4] = static_cast<std::uint8_t>(uses1);
            m[5] = static_cast<std::uint8_t>(uses3);
        }
        if constexpr (Mode == Pass::KeepWeights)
            continue;
        const unsigned uses2 = zero_row ? 0 : 0xFF;

        // The neighbours: P0 and P1 from row r0, P2 and P3 from row r1.
        __m256i p0, p1, p2, p3;
        if (fc.window32[at / kLanes]) {
            // Two 16-byte loads per row, each in both halves of a register, and byte shuffles.
            const __m256i* shuffle =
                reinterpret_cast<const __m256i*>(&fc.window_shuffle[128 * (at / kLanes)]);
            const __m256i lo_first = _mm256_loadu_si256(shuffle),
                          lo_second = _mm256_loadu_si256(shuffle + 1);
            const __m256i hi_first = _mm256_loadu_si256(shuffle + 2),
                          hi_second = _mm256_loadu_si256(shuffle + 3);
            const std::int32_t from = fc.window_at[at / kLanes];
            window_pixels(r0 + from, lo_first, lo_second, hi_first, hi_second, p0, p1);
            window_pixels(r1 + from, lo_first, lo_second, hi_first, hi_second, p2, p3);
        } else {
            gathered_pixels(fc, at, r0, r1, p0, p1, p2, p3);
        }
        const unsigned flat = (bits32(_mm256_cmpeq_epi32(p0, p1)) | ~uses1) &
                              (bits32(_mm256_cmpeq_epi32(p0, p2)) | ~uses2) &
                              (bits32(_mm256_cmpeq_epi32(p0, p3)) | ~uses3) & 0xFF;
        unsigned flat_decided = flat & exact & (rule_pos | rule_neg);
        if (const unsigned open = flat & exact & ~flat_decided & ~copy & valid & 0xFF) {
            // Flat lanes whose rule is undecided (a sum of 8 or more with no rounding, about one
            // block in twenty): most have a quotient of exactly b.
            unsigned whole = 0;
            for (int h = 0; h < 2; ++h)
                whole |= bits64(whole_flat_quotient4({w[0][h], w[1][h], w[2][h], w[3][h]}))
                         << (kHalf * h);
            whole &= open;
            rule_pos |= whole;
            flat_decided |= whole;
        }
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
            const __m256d inverse_sum[2] = {_mm256_div_pd(_mm256_set1_pd(1.0), w[4][0]),
                                            _mm256_div_pd(_mm256_set1_pd(1.0), w[4][1])};
            for (int i = 0; i < 4; ++i)
                share[i] = _mm256_set_m128(_mm256_cvtpd_ps(_mm256_mul_pd(w[i][1], inverse_sum[1])),
                                           _mm256_cvtpd_ps(_mm256_mul_pd(w[i][0], inverse_sum[0])));
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
        const unsigned redo = valid & ~copy & ((flat & ~flat_decided) | (~flat & near)) & 0xFF;

        std::uint8_t* out = out_row + 3 * at;
        store_pixels(out, pixel, x, width);
        if (redo) {
            alignas(32) double spilled[5][kLanes];
            for (int i = 0; i < 5; ++i) {
                _mm256_store_pd(&spilled[i][0], w[i][0]);
                _mm256_store_pd(&spilled[i][kHalf], w[i][1]);
            }
            for (unsigned m = redo; m; m &= m - 1) {
                const int lane = std::countr_zero(m);
                if (exact >> lane & 1)
                    known_pixel(plan, r0, r1, x + lane, spilled[0][lane], spilled[1][lane],
                                spilled[2][lane], spilled[3][lane], spilled[4][lane],
                                lane_rule(rule_pos, rule_neg, lane), out + 3 * lane);
                else
                    exact_pixel(plan, r0, r1, x + lane, ky, out + 3 * lane);
            }
        }
    }
}

template void fused_row_avx2<Pass::Blend>(const Plan&, KindWeights*, int, std::uint8_t*);
template void fused_row_avx2<Pass::KeepWeights>(const Plan&, KindWeights*, int, std::uint8_t*);
template void fused_row_avx2<Pass::BlendKept>(const Plan&, KindWeights*, int, std::uint8_t*);

} // namespace resample

#endif
