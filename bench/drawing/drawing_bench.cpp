// The annotation tools' pixel work on a 3840 x 2160 screen: one highlighter stamp, one stylus
// segment, one rubber-band move (erase the old band, draw the new one in NOT-XOR) for the
// rectangle and the arrow preview, the final arrow, and the negative of the whole picture.
//
//   build/drawing_bench

#include "bench/support/screens.h"
#include "edit/raster.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <QString>

namespace {

QImage& screen() {
    static QImage picture = desktop_2160();
    return picture;
}

DrawingSurface pen(int width, PenMode mode) {
    DrawingSurface s;
    s.pen_colour = 0x000000FF;
    s.pen_width = width;
    s.pen_mode = mode;
    return s;
}

// Highlighter stamp of side range(0) across the picture.
void BM_Stamp(benchmark::State& state) {
    QImage& picture = screen();
    const int side = int(state.range(0));
    int x = 0;
    for (auto _ : state) {
        x = (x + 37) % 3700;
        benchmark::DoNotOptimize(stamp_and(picture, x, 1000, side, side, 0x0000FFFF));
    }
}
BENCHMARK(BM_Stamp)->Arg(16)->Arg(100)->Unit(benchmark::kMicrosecond);

// Stylus segment with pen width range(0): a mouse move of about 20 pixels, and one across the
// whole picture (range(1) = 1).
void BM_StylusSegment(benchmark::State& state) {
    QImage& picture = screen();
    DrawingSurface s = pen(int(state.range(0)), PenMode::Copy);
    const bool across = state.range(1) != 0;
    int step = 0;
    for (auto _ : state) {
        step = (step + 1) % 150;
        const QPoint from = across ? QPoint(0, step) : QPoint(100 + step * 20, 1000 + step);
        const QPoint to = across ? QPoint(3839, 2159 - step) : from + QPoint(17, 11);
        benchmark::DoNotOptimize(draw_line(picture, s, from, to));
    }
}
BENCHMARK(BM_StylusSegment)
    ->Args({1, 0})
    ->Args({3, 0})
    ->Args({10, 0})
    ->Args({1, 1})
    ->Args({3, 1})
    ->Args({10, 1})
    ->Unit(benchmark::kMicrosecond);

// Rectangle rubber band of pen width range(0) growing over the whole picture: erase + draw.
void BM_RubberBandRectangle(benchmark::State& state) {
    QImage& picture = screen();
    const DrawingSurface s = pen(int(state.range(0)), PenMode::NotXor);
    const QPoint anchor(5, 5);
    QPoint corner(3800, 2100);
    for (auto _ : state) {
        benchmark::DoNotOptimize(draw_rectangle_outline(picture, s, anchor, corner));
        corner = corner == QPoint(3800, 2100) ? QPoint(3801, 2101) : QPoint(3800, 2100);
        benchmark::DoNotOptimize(draw_rectangle_outline(picture, s, anchor, corner));
    }
}
BENCHMARK(BM_RubberBandRectangle)->Arg(1)->Arg(3)->Arg(10)->Unit(benchmark::kMicrosecond);

// Arrow preview of pen width range(0) across the picture: erase + draw.
void BM_RubberBandArrow(benchmark::State& state) {
    QImage& picture = screen();
    DrawingSurface s = pen(int(state.range(0)), PenMode::NotXor);
    const QPoint start(10, 2150);
    QPoint end(3830, 10);
    for (auto _ : state) {
        benchmark::DoNotOptimize(draw_line(picture, s, start, end));
        end = end == QPoint(3830, 10) ? QPoint(3829, 12) : QPoint(3830, 10);
        benchmark::DoNotOptimize(draw_line(picture, s, start, end));
    }
}
BENCHMARK(BM_RubberBandArrow)->Arg(1)->Arg(3)->Arg(10)->Unit(benchmark::kMicrosecond);

void BM_Arrow(benchmark::State& state) {
    QImage& picture = screen();
    DrawingSurface s = pen(int(state.range(0)), PenMode::Copy);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            draw_arrow(picture, s, {10, 2150}, {3830, 10}, int(state.range(0)), 0x000000FF));
}
BENCHMARK(BM_Arrow)->Arg(3)->Arg(10)->Unit(benchmark::kMicrosecond);

void BM_Negative(benchmark::State& state) {
    QImage& picture = screen();
    for (auto _ : state)
        benchmark::DoNotOptimize(negate_picture(picture));
    state.SetBytesProcessed(int64_t(state.iterations()) * picture.width() * 3 * picture.height());
}
BENCHMARK(BM_Negative)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
