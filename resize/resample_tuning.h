#pragma once
// Knobs of the resampler's execution strategy, for tests and benchmarks. None of them changes a
// single output byte: they only choose how the same arithmetic is carried out.

#include "resize/U_Interpolation_BiLineaire.h"

#include <cstddef>

struct ResampleTuning {
    // Threads sharing the rows: 0 for every core (at most eight), 1 or more for at most that
    // many, and never more than the blocks of rows they share. Outputs of fewer than
    // split_min_pixels pixels stay on the calling thread: waking a helper costs more than it
    // saves there.
    int threads = 0;
    std::size_t split_min_pixels = std::size_t{1} << 18;
    // Estimate each byte in double precision and redo it in extended precision only when the
    // estimate lies close to an integer. Off: every blended byte in extended precision.
    bool fast_path = true;
    // Weights are computed once per pair (column fraction, row fraction) when there are at most
    // this many distinct pairs; above that, rows of blends are kept for as many row fractions as
    // this budget allows, and computed again for a row whose fraction is not kept.
    std::size_t max_weight_table = std::size_t{1} << 17;
    // Compute the four-neighbour weights four columns at a time in double-double arithmetic
    // where the processor has AVX2 and FMA, settling each weight exactly or handing it to the
    // extended-precision code. Off: every weight in extended precision.
    bool vector_weights = true;
    // Where the processor has AVX2 and FMA, blend eight pixels at a time with weights computed
    // in the same pass (or kept for the rows of a kind that comes back). Off: the table or rows
    // of blends, a pixel at a time. Even with few pairs the eight-at-a-time rows are faster (two
    // to three times at ratios such as 4/3 or 5/3), except where every blend has equal weights
    // (every fraction 0 or 1/2: halving, doubling, three halves...), which the table computes as
    // integer means when means_in_table is on.
    bool fused_rows = true;
    bool means_in_table = true;
    // Those rows with AVX-512 where the processor has it. Off: the AVX2 + FMA variant (four
    // weights at a time), the one processors without AVX-512 take.
    bool fused_avx512 = true;
};

// How the rows of a resampling whose blends are not all means are computed on this processor
// with these knobs: eight pixels at a time with AVX-512 or with AVX2 and FMA, where the
// processor and its system offer them (read at run time), else a pixel at a time.
enum class RowPath { PerPixel, Avx2, Avx512 };
RowPath fused_row_path(const ResampleTuning& tuning);

QImage resample_bilinear_tuned(const QImage& source, int new_width, int new_height,
                               ResampleProgress* progress, const ResampleTuning& tuning);
