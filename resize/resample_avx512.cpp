// The rows computed eight destination pixels at a time with AVX-512 (resample_internal.h says
// why their bytes are those of the literal arithmetic).

#include "resize/resample_internal.h"

#ifdef KAP_VECTOR_WEIGHTS

#include <bit>

namespace resample {

namespace {

// The plain forms of these conversions start from an undefined register, which GCC 12
// reports as maybe uninitialised; the masked forms with every lane set are the same instruction.
KAP_AVX512 inline __m512d rsqrt14(__m512d a) {
    return _mm512_mask_rsqrt14_pd(_mm512_setzero_pd(), 0xFF, a);
}
KAP_AVX512 inline __m256i lower_half(__m512i a) {
    return _mm512_mask_extracti64x4_epi64(_mm256_setzero_si256(), 0xFF, a, 0);
}
KAP_AVX512 inline __m256i upper_half(__m512i a) {
    return _mm512_mask_extracti64x4_epi64(_mm256_setzero_si256(), 0xFF, a, 1);
}
KAP_AVX512 inline __m256 to_float(__m512d a) {
    return _mm512_mask_cvtpd_ps(_mm256_setzero_ps(), 0xFF, a);
}

// The byte shuffle that takes byte c of each 32-bit pixel to a 32-bit number.
KAP_AVX512 inline __m256i channel_bytes(int c) {
    alignas(32) std::int8_t index[32];
    for (int i = 0; i < 32; ++i)
        index[i] = i % 4 == 0 ? static_cast<std::int8_t>(i % 16 + c) : std::int8_t{-128};
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(index));
}

// The weights 1 / sqrt(s) of eight lanes, s = (a2h + a2l) + (b2h + b2l) with the squares split
// by square, and the lanes where they are settled (see kSeriesSlack).
// y is the processor's 14-bit reciprocal square root of the exact part of s, cut to 26 bits so
// that y^2 is exact: |y sqrt(s) - 1| < 2^-13.8 (2^-14, the rest of s at most 2^-16.5 of it, the
// cut), and h = 1 - s y^2, below 2^-12.8, comes out of two FMAs within 2^-64.9 (two roundings
// of at most 2^-66 and s's own error of 2^-68.5). Then t = y (1 - h)^(-1/2) = y (1 + h/2 +
// 3h^2/8 + 5h^3/16 + 35h^4/128 + 63h^5/256 + ...), whose next term is below 2^-79; with
// q = h P(h) (two roundings of 2^-53 on at most 2^-13.8, and half the error of h), y + y q is
// within 2^-64.8 t of t. With it, the extended roundings (3 x 2^-64) and the rounding of q +/- k
// (2^-66.8), the ends y + y (q +/- k), each one FMA, need k > 3.7 x 2^-64.
KAP_AVX512 inline __mmask8 weight8(__m512d a2h, __m512d a2l, __m512d b2h, __m512d b2l, __m512d& w) {
    const __m512d sh = _mm512_add_pd(a2h, b2h); // exact
    const __m512d sl = _mm512_add_pd(a2l, b2l);
    const __m512d y = _mm512_castsi512_pd(_mm512_and_si512(
        _mm512_castpd_si512(rsqrt14(sh)), _mm512_set1_epi64(~((std::int64_t{1} << 27) - 1))));
    const __m512d y2 = _mm512_mul_pd(y, y); // exact
    __m512d h = _mm512_fnmadd_pd(sh, y2, _mm512_set1_pd(1.0));
    h = _mm512_fnmadd_pd(sl, y2, h);
    __m512d p = _mm512_fmadd_pd(h, _mm512_set1_pd(63.0 / 256), _mm512_set1_pd(35.0 / 128));
    p = _mm512_fmadd_pd(h, p, _mm512_set1_pd(5.0 / 16));
    p = _mm512_fmadd_pd(h, p, _mm512_set1_pd(3.0 / 8));
    p = _mm512_fmadd_pd(h, p, _mm512_set1_pd(0.5));
    const __m512d q = _mm512_mul_pd(h, p); // c = y q
    const __m512d k = _mm512_set1_pd(kSeriesSlack);
    // y + y (q +/- k), each with one rounding.
    const __m512d up = _mm512_fmadd_pd(y, _mm512_add_pd(q, k), y);
    const __m512d down = _mm512_fmadd_pd(y, _mm512_sub_pd(q, k), y);
    w = up;
    return _mm512_cmp_pd_mask(up, down, _CMP_EQ_OQ);
}

// Weights in units of 2^-53, where every weight of a blend is an integer (at least 1 / sqrt(2),
// so a multiple of 2^-53). A weight of 2^10 or more converts to the most negative integer.
KAP_AVX512 inline __m512i in_units(__m512d w) {
    return _mm512_cvtpd_epi64(_mm512_mul_pd(w, _mm512_set1_pd(0x1p53)));
}

// At most 56 significant bits in each lane: the bits below the 56 leading ones are 0. The
// leading bit's place comes from the conversion to double, which may round up to the next power
// of two and then asks one more bit to be 0, never one fewer.
KAP_AVX512 inline __mmask8 fits56(__m512i u) {
    const __m512i none = _mm512_setzero_si512();
    const __m512i top =
        _mm512_cvtpd_epi64(_mm512_mask_getexp_pd(_mm512_setzero_pd(), 0xFF, _mm512_cvtepi64_pd(u)));
    const __m512i cut =
        _mm512_mask_max_epi64(none, 0xFF, _mm512_sub_epi64(top, _mm512_set1_epi64(55)), none);
    const __m512i below = _mm512_sub_epi64(
        _mm512_mask_sllv_epi64(none, 0xFF, _mm512_set1_epi64(1), cut), _mm512_set1_epi64(1));
    return _mm512_testn_epi64_mask(u, below);
}

// The lanes where the extended numerator of a flat pixel, ((b w0 + b w1) + b w2) + b w3 over
// the weights taking part (the others are 0), is exactly b S for every byte b, so that the
// quotient is b: the weights add up to S exactly, and each partial sum, in units of 2^-53 (where
// the weights are integers), has at most 56 significant bits, so that b times it has at most 64
// and the extended additions do not round. flat_rule leaves such a sum undecided from S = 8 up,
// where a byte could need more bits.
KAP_AVX512 inline __mmask8 whole_flat_quotient(__m512d w0, __m512d w1, __m512d w2, __m512d w3) {
    const __m512i first = _mm512_add_epi64(in_units(w0), in_units(w1));
    const __m512i second = _mm512_add_epi64(first, in_units(w2));
    const __m512i total = _mm512_add_epi64(second, in_units(w3));
    const __mmask8 exact_sum =
        _mm512_cmpeq_epi64_mask(total, _mm512_cvtpd_epi64(_mm512_cvtepi64_pd(total)));
    return exact_sum & fits56(first) & fits56(second);
}

} // namespace

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
        } else if (const std::int32_t from = fc.reuse[at / kLanes]; !zero_row && from >= 0) {
            // Columns of the same kinds as those at `from`, whose weights are kept.
            const std::size_t f = static_cast<std::size_t>(from);
            w0 = _mm512_loadu_pd(&kept->w[0][f]);
            w1 = _mm512_loadu_pd(&kept->w[1][f]);
            w2 = _mm512_loadu_pd(&kept->w[2][f]);
            w3 = _mm512_loadu_pd(&kept->w[3][f]);
            sum = _mm512_loadu_pd(&kept->w[4][f]);
            exact = static_cast<__mmask8>(kept->masks_at(f, 0));
            rule_pos = static_cast<__mmask8>(kept->masks_at(f, 1));
            rule_neg = static_cast<__mmask8>(kept->masks_at(f, 2));
            uses1 = uses3 = static_cast<__mmask8>(~zero_cols);
        } else if (!zero_row) {
            __mmask8 good = 0xFF;
            if (zero_cols != 0xFF) {
                const __m512d a2h = _mm512_loadu_pd(&fc.a2h[at]),
                              a2l = _mm512_loadu_pd(&fc.a2l[at]);
                const __m512d b2h = _mm512_loadu_pd(&fc.b2h[at]),
                              b2l = _mm512_loadu_pd(&fc.b2l[at]);
                __m512d h0, h1, h2, h3;
                const __mmask8 s0 = weight8(a2h, a2l, dy2h, dy2l, h0),
                               s1 = weight8(b2h, b2l, dy2h, dy2l, h1),
                               s2 = weight8(a2h, a2l, ry2h, ry2l, h2),
                               s3 = weight8(b2h, b2l, ry2h, ry2l, h3);
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
                // to double, and the excess the integer minus S, in units. A sum of
                // kMaxFusedWeight or more (a position within about 1/128 of a source pixel, rare)
                // goes to the scalar code, and so does a weight of 2^10 or more, whose conversion
                // gives the most negative integer and leaves the total negative (one neighbour
                // at most lies that close, so the others cannot bring it back).
                const __m512i total =
                    _mm512_add_epi64(_mm512_add_epi64(in_units(h0), in_units(h1)),
                                     _mm512_add_epi64(in_units(h2), in_units(h3)));
                const __m512d rounded = _mm512_cvtepi64_pd(total);
                const __m512d th = _mm512_mul_pd(rounded, _mm512_set1_pd(0x1p-53));
                const __m512i none = _mm512_setzero_si512();
                good = _mm512_cmp_pd_mask(th, _mm512_set1_pd(kMaxFusedWeight), _CMP_LT_OQ) &
                       _mm512_cmpgt_epi64_mask(total, none);
                const __m512i excess = _mm512_sub_epi64(total, _mm512_cvtpd_epi64(rounded));
                // flat_rule's side: an excess above S x 2^-59, which is less than a unit while S
                // is below 64 and less than two units below 128, or none with S below
                // kExactFlatSum.
                const __m512i limit = _mm512_maskz_mov_epi64(
                    _mm512_cmp_pd_mask(th, _mm512_set1_pd(64.0), _CMP_GE_OQ), _mm512_set1_epi64(1));
                rule_pos = _mm512_cmpgt_epi64_mask(excess, limit) |
                           (_mm512_cmpeq_epi64_mask(excess, none) &
                            _mm512_cmp_pd_mask(th, _mm512_set1_pd(kExactFlatSum), _CMP_LT_OQ));
                rule_neg = _mm512_cmpgt_epi64_mask(_mm512_sub_epi64(none, limit), excess);
                w0 = h0;
                w1 = h1;
                w2 = h2;
                w3 = h3;
                sum = th;
            } else {
                w0 = w1 = w2 = w3 = sum = zero;
                rule_pos = rule_neg = 0;
            }
            exact = good;
            if (zero_cols) {
                // Columns of fraction 0 (few, unless the columns repeat): P0 and P2 with the
                // row's weights.
                w0 = _mm512_mask_mov_pd(w0, zero_cols, _mm512_set1_pd(down.w[0]));
                w1 = _mm512_mask_mov_pd(w1, zero_cols, zero);
                w2 = _mm512_mask_mov_pd(w2, zero_cols, _mm512_set1_pd(down.w[2]));
                w3 = _mm512_mask_mov_pd(w3, zero_cols, zero);
                sum = _mm512_mask_mov_pd(sum, zero_cols, _mm512_set1_pd(down.sum));
                exact |= zero_cols;
                rule_pos = (rule_pos & ~zero_cols) | (down.flat_rule > 0 ? zero_cols : 0);
                rule_neg = (rule_neg & ~zero_cols) | (down.flat_rule < 0 ? zero_cols : 0);
            }
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
        // The weights of the row's kind, or of columns that columns further on reuse.
        if (Mode == Pass::KeepWeights ||
            (Mode == Pass::Blend && fc.reuses && fc.source[at / kLanes] && !zero_row)) {
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
        }
        if constexpr (Mode == Pass::KeepWeights)
            continue;
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
            gathered_pixels(fc, at, r0, r1, p0, p1, p2, p3);
        }
        const __mmask8 flat = (_mm256_cmpeq_epi32_mask(p0, p1) | ~uses1) &
                              (_mm256_cmpeq_epi32_mask(p0, p2) | ~uses2) &
                              (_mm256_cmpeq_epi32_mask(p0, p3) | ~uses3);
        __mmask8 flat_decided = flat & exact & (rule_pos | rule_neg);
        if (const __mmask8 open = flat & exact & ~flat_decided & ~copy & valid) {
            // Flat lanes whose rule is undecided (a sum of 8 or more with no rounding, about one
            // block in twenty): most have a quotient of exactly b.
            const __mmask8 whole = open & whole_flat_quotient(w0, w1, w2, w3);
            rule_pos |= whole;
            flat_decided |= whole;
        }
        const __mmask8 flat_down = flat_decided & rule_neg;

        // Flat pixels: each byte b or b - 1 by the rule (0 stays 0); copies: P0.
        const __m256i flat_pixels =
            _mm256_mask_mov_epi32(p0, flat_down, _mm256_subs_epu8(p0, _mm256_set1_epi32(0x010101)));
        const __mmask8 settled_pixels = flat_decided | copy;
        __mmask8 near = 0;
        __m256i pixel = flat_pixels;
        if ((settled_pixels & valid) != valid) {
            // The bytes in single precision, from the weights divided by S (see kFloatMargin).
            const __m512d inv_sum = _mm512_div_pd(_mm512_set1_pd(1.0), sum);
            const __m256 s0 = to_float(_mm512_mul_pd(w0, inv_sum));
            const __m256 s1 = to_float(_mm512_mul_pd(w1, inv_sum));
            const __m256 s2 = to_float(_mm512_mul_pd(w2, inv_sum));
            const __m256 s3 = to_float(_mm512_mul_pd(w3, inv_sum));
            const __m256 margin = _mm256_set1_ps(kFloatMargin);
            const __m256 near_one = _mm256_set1_ps(1.0f - kFloatMargin);
            for (int c = 0; c < 3; ++c) {
                __m256 q =
                    _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_shuffle_epi8(p0, channel[c])), s0);
                q = _mm256_fmadd_ps(_mm256_cvtepi32_ps(_mm256_shuffle_epi8(p1, channel[c])), s1, q);
                q = _mm256_fmadd_ps(_mm256_cvtepi32_ps(_mm256_shuffle_epi8(p2, channel[c])), s2, q);
                q = _mm256_fmadd_ps(_mm256_cvtepi32_ps(_mm256_shuffle_epi8(p3, channel[c])), s3, q);
                const __m256i t = _mm256_cvttps_epi32(q);
                const __m256 f = _mm256_sub_ps(q, _mm256_cvtepi32_ps(t));
                near |= _mm256_cmp_ps_mask(f, margin, _CMP_LE_OQ) |
                        _mm256_cmp_ps_mask(f, near_one, _CMP_GE_OQ);
                if (c == 0)
                    pixel = _mm256_mask_mov_epi32(t, settled_pixels, flat_pixels);
                else
                    pixel = _mm256_mask_or_epi32(pixel, static_cast<__mmask8>(~settled_pixels),
                                                 pixel, _mm256_slli_epi32(t, 8 * c));
            }
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
                                w[3][lane], w[4][lane], lane_rule(rule_pos, rule_neg, lane),
                                out + 3 * lane);
                else
                    exact_pixel(plan, r0, r1, x + lane, ky, out + 3 * lane);
            }
        }
    }
}

template void fused_row_avx512<Pass::Blend>(const Plan&, KindWeights*, int, std::uint8_t*);
template void fused_row_avx512<Pass::KeepWeights>(const Plan&, KindWeights*, int, std::uint8_t*);
template void fused_row_avx512<Pass::BlendKept>(const Plan&, KindWeights*, int, std::uint8_t*);

} // namespace resample

#endif
