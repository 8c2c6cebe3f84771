// Resampling real screens at the sizes the program meets (a capture reduced to the default
// width, a 1080p screen enlarged to 4K, a 4K screen halved), each beside Qt's own smooth scaling
// of the same 24-bit picture for scale.
//
// sweep/<screen>/<width>/<threads>/{ours,ours_avx2,ours_per_pixel,qt_smooth}: every target
// width from 100 to 4000 in steps of 99 (uneven ratios, the hard case) and 100, at the
// proportional height, on one thread and on up to two (the resampler keeps outputs too small to
// be worth sharing on one); Qt's scaling is given the same number of threads through its global
// pool. ours_avx2 keeps AVX-512 out of the resampler, as on processors that
// lack it; ours_per_pixel blends a pixel at a time from the table or rows of blends, as such
// processors did before the eight-pixel rows had an AVX2 variant.
// Environment: KAP_RESIZE_SWEEP_STEP overrides the steps (e.g. 1 for every width).

#include "resize/U_Interpolation_BiLineaire.h"
#include "resize/resample_tuning.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <QString>
#include <QThread>
#include <QThreadPool>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

const QImage& screen(const std::string& name) {
    static std::map<std::string, QImage> cache;
    auto it = cache.find(name);
    if (it == cache.end()) {
        QImage img(QStringLiteral(KAP_SHARED_DIR "/screens/") + QString::fromStdString(name));
        if (img.isNull())
            std::fprintf(stderr, "cannot read screen %s\n", name.c_str());
        it = cache.emplace(name, img.convertToFormat(QImage::Format_BGR888)).first;
    }
    return it->second;
}

void ours(benchmark::State& state, const std::string& name, int w, int h, int threads) {
    const QImage& src = screen(name);
    if (src.isNull()) {
        state.SkipWithError("missing screen");
        return;
    }
    ResampleTuning tuning;
    tuning.threads = threads;
    for (auto _ : state) {
        QImage out = resample_bilinear_tuned(src, w, h, nullptr, tuning);
        benchmark::DoNotOptimize(out.constBits());
    }
    state.counters["Mpx/s"] =
        benchmark::Counter(double(w) * h * state.iterations() / 1e6, benchmark::Counter::kIsRate);
}

void qt_smooth(benchmark::State& state, const std::string& name, int w, int h) {
    const QImage& src = screen(name);
    if (src.isNull()) {
        state.SkipWithError("missing screen");
        return;
    }
    for (auto _ : state) {
        QImage out = src.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        benchmark::DoNotOptimize(out.constBits());
    }
    state.counters["Mpx/s"] =
        benchmark::Counter(double(w) * h * state.iterations() / 1e6, benchmark::Counter::kIsRate);
}

// The proportional height, as the program computes it (MulDiv rounding).
int proportional(int height, int width, int source_width) {
    return int((std::int64_t{height} * width * 2 + source_width) /
               (2 * std::int64_t{source_width}));
}

enum class Way { Default, Avx2, PerPixel };

void sweep_ours(benchmark::State& state, const std::string& name, int w, int threads, Way way) {
    const QImage& src = screen(name);
    if (src.isNull()) {
        state.SkipWithError("missing screen");
        return;
    }
    const int h = proportional(src.height(), w, src.width());
    ResampleTuning tuning;
    tuning.threads = threads;
    tuning.fused_avx512 = way != Way::Avx2;
    tuning.fused_rows = way != Way::PerPixel;
    for (auto _ : state) {
        QImage out = resample_bilinear_tuned(src, w, h, nullptr, tuning);
        benchmark::DoNotOptimize(out.constBits());
    }
}

void sweep_qt(benchmark::State& state, const std::string& name, int w, int threads) {
    const QImage& src = screen(name);
    if (src.isNull()) {
        state.SkipWithError("missing screen");
        return;
    }
    const int h = proportional(src.height(), w, src.width());
    QThreadPool::globalInstance()->setMaxThreadCount(threads);
    for (auto _ : state) {
        QImage out = src.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        benchmark::DoNotOptimize(out.constBits());
    }
    QThreadPool::globalInstance()->setMaxThreadCount(QThread::idealThreadCount());
}

void register_sweep() {
    std::set<int> widths;
    std::vector<int> steps = {99, 100};
    if (const char* env = std::getenv("KAP_RESIZE_SWEEP_STEP"))
        steps = {std::max(1, std::atoi(env))};
    for (int step : steps)
        for (int w = 100; w <= 4000; w += step)
            widths.insert(w);
    for (const std::string name : {"web-1080.png", "web-2160.png"})
        for (int w : widths)
            for (int threads : {1, 2}) {
                const std::string base = "sweep/" + name.substr(0, name.size() - 4) + "/" +
                                         std::to_string(w) + "/" + std::to_string(threads);
                for (const auto& [way, label] :
                     {std::pair{Way::Default, "/ours"}, std::pair{Way::Avx2, "/ours_avx2"},
                      std::pair{Way::PerPixel, "/ours_per_pixel"}})
                    benchmark::RegisterBenchmark((base + label).c_str(), sweep_ours, name, w,
                                                 threads, way)
                        ->Unit(benchmark::kMillisecond)
                        ->UseRealTime()
                        ->MinTime(0.05);
                benchmark::RegisterBenchmark((base + "/qt_smooth").c_str(), sweep_qt, name, w,
                                             threads)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime()
                    ->MinTime(0.05);
            }
}

struct Case {
    const char* label;
    int sw, sh, w, h;
};

int register_all() {
    const Case cases[] = {{"1080_to_400x225", 1920, 1080, 400, 225},
                          {"1080_to_3840x2160", 1920, 1080, 3840, 2160},
                          {"2160_to_1920x1080", 3840, 2160, 1920, 1080},
                          // An uneven ratio: few fractions repeat, weights vary column to column.
                          {"1080_to_2500x1406", 1920, 1080, 2500, 1406}};
    const std::vector<std::string> screens_1080 = {"web-1080.png", "docs-1080.png",
                                                   "desktop-1080.png"};
    const std::vector<std::string> screens_2160 = {"web-2160.png", "desktop-2160.png"};
    for (const Case& c : cases) {
        const auto& list = c.sw == 3840 ? screens_2160 : screens_1080;
        for (const std::string& name : list) {
            const std::string base = std::string(c.label) + "/" + name.substr(0, name.size() - 4);
            benchmark::RegisterBenchmark((base + "/ours").c_str(), ours, name, c.w, c.h, 0)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            benchmark::RegisterBenchmark((base + "/ours_1thread").c_str(), ours, name, c.w, c.h, 1)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
            benchmark::RegisterBenchmark((base + "/qt_smooth").c_str(), qt_smooth, name, c.w, c.h)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    }
    register_sweep();
    return 0;
}

const int registered = register_all();

} // namespace

BENCHMARK_MAIN();
