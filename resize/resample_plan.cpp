// The plan of a resampling: where each destination column and row falls in the source, which
// of them share their fractions, and how the rows will be computed (the table of blends, rows of
// blends kept per thread, or the weights computed in the same pass as the pixels).

#include "resize/resample_internal.h"

#include <algorithm>
#include <bit>
#include <numeric>
#include <thread>
#include <unordered_map>

namespace resample {

namespace {

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

#ifdef KAP_VECTOR_WEIGHTS
// Every fraction of the axis is 0 or 1/2: blended with its neighbour at equal weights, or not at
// all.
bool means_only(const Axis& axis) {
    return std::all_of(axis.kinds.begin(), axis.kinds.end(),
                       [](const AxisKind& k) { return k.frac == 0.0 || k.frac == 0.5; });
}

bool has_vector_weights() {
    static const bool yes = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return yes;
}

bool has_avx512_rows() {
    static const bool yes =
        __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
        __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vbmi") && has_vector_weights();
    return yes;
}

// Which steps of kLanes columns take their weights from the columns a period earlier: positions
// in one binade repeat their fractions bit for bit every Wd / gcd(Ws, Wd) columns.
void plan_reuse(const Axis& cols, int width, int source_width, FusedColumns& fc) {
    const std::size_t chunks = static_cast<std::size_t>((width + kLanes - 1) / kLanes);
    fc.reuse.assign(chunks, kFresh);
    fc.source.assign(chunks, 0);
    fc.reuses = false;
    const int period = width / std::gcd(width, source_width);
    if (period < kLanes || period >= width)
        return;
    auto kind = [&](int x) { return cols.steps[static_cast<std::size_t>(x)].kind; };
    for (std::size_t c = 0; c < chunks; ++c) {
        const int x = static_cast<int>(c) * kLanes, lanes = std::min(kLanes, width - x);
        if (x < period)
            continue;
        bool same = true;
        for (int i = 0; i < lanes && same; ++i)
            same = kind(x + i) == kind(x + i - period);
        if (same) {
            fc.reuse[c] = x - period;
            fc.reuses = true;
            fc.source[static_cast<std::size_t>((x - period) / kLanes)] = 1;
            fc.source[static_cast<std::size_t>((x - period + kLanes - 1) / kLanes)] = 1;
        }
    }
}

// The AVX2 rows' byte shuffles, from the windows of the AVX-512 rows (see FusedColumns).
void plan_avx2_windows(qsizetype row_bytes, FusedColumns& fc) {
    const std::size_t chunks = fc.window_mask.size();
    fc.window32.assign(chunks, 0);
    fc.window_shuffle.assign(chunks * 128, 0x80);
    for (std::size_t chunk = 0; chunk < chunks; ++chunk) {
        if (fc.window_mask[chunk] == 0 || fc.window_at[chunk] + 32 > row_bytes)
            continue;
        const std::uint8_t* perm = &fc.window_perm[64 * chunk];
        std::uint8_t* shuffle = &fc.window_shuffle[128 * chunk];
        bool fits = true;
        for (int pixel = 0; pixel < 2; ++pixel)
            for (int lane = 0; lane < kLanes; ++lane)
                for (int b = 0; b < 3; ++b) {
                    const int to = 4 * lane + b;
                    const std::uint8_t from = perm[32 * pixel + to];
                    fits = fits && from < 32;
                    shuffle[64 * pixel + (from < 16 ? 0 : 32) + to] = from % 16;
                }
        if (fits)
            fc.window32[chunk] = 1;
    }
}

void plan_fused_columns(const Axis& cols, int width, int source_width, qsizetype row_bytes,
                        bool rows_with_zero, bool avx2_windows, FusedColumns& fc) {
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
    if (avx2_windows)
        plan_avx2_windows(row_bytes, fc);
    plan_reuse(cols, width, source_width, fc);
}

#endif

int thread_count(const ResampleTuning& tuning, int width, int height) {
    const int most =
        tuning.threads > 0
            ? tuning.threads
            : static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    const auto pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (most <= 1 || pixels < tuning.split_min_pixels)
        return 1;
    return std::clamp((height + kRowBlock - 1) / kRowBlock, 1, most);
}

} // namespace

int plan_rows(Work& work, QImage& result, const ResampleTuning& tuning) {
    const QImage& source = work.source;
    const int new_width = result.width(), new_height = result.height();
    Plan& plan = work.plan;
    std::vector<RowBlends>& scratch = work.scratch;
#ifdef KAP_VECTOR_WEIGHTS
    FusedColumns& fused = work.fused;
#endif
    plan.src = source.constBits();
    plan.src_stride = source.bytesPerLine();
    plan.src_height = source.height();
    plan.dst = result.bits();
    plan.dst_stride = result.bytesPerLine();
    plan.width = new_width;
    plan.fast = tuning.fast_path;
    plan.same_size = plan.fast && new_width == source.width() && new_height == source.height();
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
    const int threads = thread_count(tuning, new_width, new_height);
    scratch.resize(static_cast<std::size_t>(threads));
#ifdef KAP_VECTOR_WEIGHTS
    const RowPath path = fused_row_path(tuning);
    if (path != RowPath::PerPixel &&
        !(tuning.means_in_table && means_only(plan.cols) && means_only(plan.rows))) {
        plan.fused_avx512 = path == RowPath::Avx512;
        bool rows_with_zero = false;
        for (const AxisKind& k : plan.rows.kinds)
            rows_with_zero = rows_with_zero || k.frac == 0.0;
        plan_fused_columns(plan.cols, new_width, source.width(), source.bytesPerLine(),
                           rows_with_zero, !plan.fused_avx512, fused);
        plan.fused = &fused;
        // Rows of one kind share their weights once kinds have 1.3 rows each on average:
        // keeping a row's weights costs a store and a load per pixel and the pass that keeps
        // them, which only pays when a good share of the rows reuse them. The rows are then
        // taken kind by kind.
        plan.keep_row_weights = 10 * static_cast<std::size_t>(new_height) >= 13 * nrows;
        if (plan.keep_row_weights)
            plan.order = rows_by_kind(plan.rows);
        if (plan.keep_row_weights || fused.reuses)
            for (RowBlends& rb : scratch)
                rb.kept.allocate(fused.a2h.size());
    }
#endif
    for (RowBlends& rb : scratch) {
        rb.done.resize(ncols);
        if (threads > 1)
            rb.block.resize(static_cast<std::size_t>(kMaxRowBlock) *
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
        const std::size_t budget = std::max<std::size_t>(1, tuning.max_weight_table / ncols /
                                                                static_cast<std::size_t>(threads));
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
    return threads;
}

} // namespace resample

RowPath fused_row_path(const ResampleTuning& tuning) {
#ifdef KAP_VECTOR_WEIGHTS
    // The rows eight pixels at a time take the double estimate first (fast_path) and the column
    // kinds' fractions of the four-at-a-time weights (vector_weights).
    if (tuning.fused_rows && tuning.fast_path && tuning.vector_weights &&
        resample::has_vector_weights())
        return tuning.fused_avx512 && resample::has_avx512_rows() ? RowPath::Avx512 : RowPath::Avx2;
#else
    (void)tuning;
#endif
    return RowPath::PerPixel;
}
