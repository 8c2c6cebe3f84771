#pragma once
// What the files of the resampler share: where the destination columns and rows fall in the
// source, the blends of their neighbours, the plan the rows are computed from (a pixel at a time,
// or eight at a time with AVX-512 or with AVX2 and FMA) and the state of the threads sharing them.
// Private to resize/: the resampler's entry point is U_Interpolation_BiLineaire.h.

#include "resize/resample_tuning.h"

#include <QImage>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
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

namespace resample {

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

// The blend of the column kind `kx` with the row kind `ky`, by the literal arithmetic.
void make_blend(const AxisKind& kx, const AxisKind& ky, Blend& b);

#ifdef KAP_VECTOR_WEIGHTS
#define KAP_AVX2 __attribute__((target("avx2,fma")))
#define KAP_AVX512 __attribute__((target("avx512f,avx512vl,avx512dq,avx512bw,avx512vbmi,avx2,fma")))

struct VecKinds {
    std::vector<double> frac, rest; // per column kind
};

// Fills blends[c] for every column kind c of `cols` and the row kind `ky` whose fraction is not
// 0, four columns at a time with AVX2 and FMA; `done[c]` is set for the columns it settled, the
// others are left to make_blend.
KAP_AVX2 void four_blends(const VecKinds& cols, const AxisKind& ky, Blend* blends,
                          std::uint8_t* done);
#endif

// The blends of row kind `ky` with every column kind (`vec_cols`: the column kinds' VecKinds when
// the weights are computed four at a time, else null); `done` has room for a flag per column kind.
void make_blend_row(const Axis& cols, const void* vec_cols, const AxisKind& ky, Blend* blends,
                    std::uint8_t* done);

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
    // The picture keeps its size: every pixel is the mean of the source pixels at columns x - 1
    // and x and rows y - 1 and y (those that exist), computed as such.
    bool same_size = false;
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

// The weights of one row kind for every column, for the rows computed eight pixels at a time:
// w[0..3] and S per column, and per eight columns the masks exact, rule_pos, rule_neg, copy,
// uses1 and uses3.
//
// The same buffers serve the columns that take their weights from columns a period earlier
// (FusedColumns::reuse): then the masks exact, rule_pos and rule_neg of the kLanes columns at
// any column f are those of the two steps f lies across (see masks_at).
struct KindWeights {
    int kind = -1;
    std::vector<double> w[5];
    std::vector<std::uint8_t> masks;
    void allocate(std::size_t padded) {
        for (auto& v : w)
            v.resize(padded);
        masks.resize(padded / 8 * 6 + 6);
    }
    // Mask k (0 exact, 1 rule_pos, 2 rule_neg) of columns f to f + 7.
    unsigned masks_at(std::size_t f, int k) const {
        const std::size_t at = 6 * (f / 8) + static_cast<std::size_t>(k);
        const unsigned both = masks[at] | static_cast<unsigned>(masks[at + 6]) << 8;
        return both >> (f % 8) & 0xFF;
    }
};

// Per thread, when the pairs are too many for a table: the blends of the row kinds met last,
// one row of blends per slot, a row kind always in slot kind % slots. Kinds are numbered in the
// order of their first row and a given fraction comes back with a fixed period, so as long as
// the period fits in the slots every row kind is computed once per thread and then reused,
// instead of once per destination row.
struct RowBlends {
    std::vector<std::uint8_t> block; // rows computed before they go into the result
    KindWeights kept;                // for the rows computed eight pixels at a time
    Blends blends;                   // slots x column kinds
    std::vector<int> kinds;          // row kind held by each slot, -1 for none
    std::vector<std::uint8_t> done;  // per column kind, for make_blend_row
};

// Destination row y, written at `out` (its place in the result, or a row of a private buffer).
void compute_row(const Plan& plan, RowBlends& scratch, int y, std::uint8_t* out);

#ifdef KAP_VECTOR_WEIGHTS
// ---- Rows computed eight destination pixels at a time ----------------------------------------
//
// When the (column kind, row kind) pairs are too many to be kept, nearly every pixel has weights
// of its own: the weights are then computed in the same pass that blends the pixels, eight
// columns at a time with AVX-512 (or, without it, with AVX2 and FMA: see fused_row_avx2), and
// nothing is stored between the two.
//
// Why the bytes are the same as the literal arithmetic:
// - The four-neighbour weights are estimated as y + c, a double and a small correction whose
//   sum is close to the true 1 / sqrt(a^2 + b^2), and settled by the test of kSettleSlack: a
//   weight that cannot be settled is computed by the scalar code. The squares a^2, b^2 are split
//   by square, once per column and once per row, so that their sum is an exact double and a
//   small rest. y starts from the processor's reciprocal square root and c = y (h/2 + 3h^2/8 +
//   ...) from h = 1 - s y^2 (see weight8 for AVX-512 and weight4 for AVX2).
// - The weights of columns or rows whose fraction is 0 (two-neighbour blends) do not depend on
//   both: they come from make_blend, once per row or once per column.
// - A byte is first estimated in single precision, sum of byte x float(w x (1 / S)), and when
//   the estimate lies farther than kFloatMargin from an integer its truncation is that of the
//   extended quotient (see kFloatMargin).
// - Pixels whose neighbours taking part are all one colour follow the flat-area rule of their
//   exact weights, as blend_row does.
// - Anything else (an estimate near an integer, an undecided flat rule, a weight not settled)
//   is computed by blend_row on that one pixel, with the blend from make_blend.
// The arithmetic of those rows needs the compiler not to fuse their separate multiplications and
// additions into FMAs (ISO C++ mode, where GCC does not contract).

constexpr int kLanes = 8;

// Whether a weight w = double(r), r = 1 / sqrt(a^2 + b^2) in extended precision, is settled by an
// estimate y + c of the true value t (y a double, c a correction far below y, their exact sum
// within e t of t): the two ends y + (c + y k) and y + (c - y k), k the slack, round to the same
// double. The five extended roundings leave r within 3 x 2^-64 of t relative, so r lies between
// the ends while y k exceeds (3 x 2^-64 + e) t and the rounding of c +/- y k; rounding is
// monotonic, so r rounds to the ends' double too. Only weights within about k of a rounding
// boundary (one in 300 or so) are left to the extended-precision code.
// kSettleSlack serves the AVX2 rows, whose estimate is within 2^-63.4 (see weight4);
// kSeriesSlack the AVX-512 rows, whose estimate is within 2^-64.5 (see weight8).
constexpr double kSettleSlack = 0x1.8p-62; // 6 x 2^-64
constexpr double kSeriesSlack = 0x1p-62;   // 4 x 2^-64

// How near an integer a byte estimated in single precision must be to be redone exactly. The
// estimate is (sum of byte x share) with share = float(double(w / S)): each share is within
// 2^-23.9 of w / S relative, which moves the sum by at most 255 x 2^-23.9 < 2^-15.9, and the
// four single-precision roundings of partial sums below 256 add at most 4 x 2^-17 = 2^-15. The
// extended quotient lies within 2^-54 of the exact one, so the estimate is within 2^-14.4 of it,
// a fifth of the margin of 2^-12. About one estimated byte in two thousand is redone.
constexpr float kFloatMargin = 1.0f / 4096.0f;

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

constexpr std::int32_t kFresh = -1;

struct FusedColumns {
    // Per column, padded to a multiple of kLanes with copies of the last column.
    std::vector<double> a2h, a2l, b2h, b2l; // fraction^2 and (1 - fraction)^2, split by square
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
    // For the AVX2 rows, per kLanes columns whose window lies within 32 bytes of the row's stored
    // bytes (window32 1): the byte shuffles that make P0 and P1 from the window's first 16 bytes
    // and from its last 16, each loaded into both halves of a register (0x80 where the byte
    // comes from the other half or is the cleared fourth byte): 128 bytes, P0's two shuffles
    // then P1's.
    std::vector<std::uint8_t> window32;
    std::vector<std::uint8_t> window_shuffle;
    std::vector<std::uint8_t> zero; // per kLanes columns: bit i when column i's fraction is 0
    // Per kLanes columns: kFresh, or the first of the columns a period earlier (Wd / gcd(Ws, Wd)
    // columns) whose kinds are those of these columns, in the same order: their weights, in any
    // row, are the ones kept from there. Positions in one binade repeat their fractions bit for
    // bit with that period, so an enlargement by an uneven ratio takes a good share of its
    // weights from there. The steps they take them from keep theirs in the thread's
    // KindWeights.
    std::vector<std::int32_t> reuse;
    std::vector<std::uint8_t> source; // per kLanes columns: 1 when later columns reuse them
    bool reuses = false;              // some columns take their weights from earlier ones
    // The blends of rows whose fraction is 0 (P0 and P1), per column.
    std::vector<double> rw0, rw1, rsum;
    std::vector<std::int8_t> rrule;
};

// P0 and P1 of eight columns from row r0 and P2 and P3 from row r1, read with 32-bit gathers at
// the columns' offsets (for steps whose neighbours lie too far apart for one window).
KAP_AVX2 inline void gathered_pixels(const FusedColumns& fc, std::size_t at, const std::uint8_t* r0,
                                     const std::uint8_t* r1, __m256i& p0, __m256i& p1, __m256i& p2,
                                     __m256i& p3) {
    const __m256i low24 = _mm256_set1_epi32(0xFFFFFF);
    const __m256i off_lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&fc.off_lo[at]));
    const __m256i off_hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&fc.off_hi[at]));
    const __m256i shift = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&fc.shift_lo[at]));
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

// v^2 for v in [0, 1] as hi + lo: hi = v1^2 with v1 = v rounded down to a multiple of 2^-26, exact,
// and so is the sum of two such hi (both are whole multiples of 2^-52 up to 1); lo = 2 v1 v2 +
// v2^2 for the rest v2 = v - v1 < 2^-26, where 2 v1 v2 is exact, so lo is within 2^-78 v + 2^-104
// of its value. The sum of two squares is then hi + hi' exactly, plus lo + lo' in one addition:
// within 2^-76 max(v, v') + 2^-103 of its value, relative to the sum at most 2^-68.5 while the
// sum is at least 2^-14 (the blend's weights below kMaxFusedWeight). lo + lo' itself is then at
// most 2^-16.5 of the sum.
inline void square(double v, double& hi, double& lo) {
    const double v1 = std::floor(v * 0x1p26) * 0x1p-26;
    const double v2 = v - v1;
    hi = v1 * v1;
    lo = 2.0 * v1 * v2 + v2 * v2;
}

// The largest sum of a pixel's four weights that the rows eight pixels at a time settle
// themselves: a position within about 1/128 of a source pixel has its pixel computed by the
// scalar code instead.
constexpr double kMaxFusedWeight = 128.0;

// One pixel by the scalar code, with its blend made on the spot.
void exact_pixel(const Plan& plan, const std::uint8_t* r0, const std::uint8_t* r1, int x,
                 const AxisKind& ky, std::uint8_t* out);

// One pixel by the scalar code, from weights, S and flat-area rule known to be exact: a byte
// whose neighbours are all equal follows the rule when it is decided, any other byte near an
// integer is settled by the extended-precision quotient.
void known_pixel(const Plan& plan, const std::uint8_t* r0, const std::uint8_t* r1, int x, double w0,
                 double w1, double w2, double w3, double sum, std::int8_t rule, std::uint8_t* out);

// The flat-area rule of lane `lane` from the masks of the rows eight pixels at a time.
inline std::int8_t lane_rule(unsigned rule_pos, unsigned rule_neg, int lane) {
    return static_cast<std::int8_t>(rule_pos >> lane & 1 ? 1 : rule_neg >> lane & 1 ? -1 : 0);
}

// Puts in `w` (four weights of kLanes lanes) the weights of the lanes of `lanes` that their
// `settled` mask does not cover, computed in extended precision from the column's and the row's
// fractions.
void settle_weights(const FusedColumns& fc, std::size_t at, unsigned lanes, const unsigned* settled,
                    const AxisKind& ky, double (*w)[kLanes]);

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

// One destination row. Blend: weights computed and used at once (and kept in `kept` where
// columns further on take theirs from them). KeepWeights: the weights of
// the row's kind computed into `kept`, nothing blended. BlendKept: blended with the weights in
// `kept`, those of a row of the same kind.
template <Pass Mode>
KAP_AVX512 void fused_row_avx512(const Plan& plan, KindWeights* kept, int y, std::uint8_t* out_row);

// The same row with AVX2 and FMA, for processors without AVX-512.
template <Pass Mode>
KAP_AVX2 void fused_row_avx2(const Plan& plan, KindWeights* kept, int y, std::uint8_t* out_row);
#endif

// Rows handed out at a time to the threads sharing a resampling: kRowBlock, or up to
// kMaxRowBlock to end a block where a row kind ends when the rows are taken kind by kind.
constexpr int kRowBlock = 8;
constexpr int kMaxRowBlock = 32;

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
    // The blocks of rows: the first row of each (and the end), handed out in turn, and each
    // one's state.
    std::vector<int> block_first;
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

// Fills the plan, the threads' scratch and the columns' share of the rows computed eight pixels
// at a time for resampling work.source into `result` (already allocated at the new size), and
// returns the number of threads to share the rows.
int plan_rows(Work& work, QImage& result, const ResampleTuning& tuning);

// Computes the rows of work->plan, on `threads` threads, reporting each to `progress`.
void run_rows(const std::shared_ptr<Work>& work, int height, int threads,
              ResampleProgress* progress);

} // namespace resample
