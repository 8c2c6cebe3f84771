// Encoders on real screens, side by side with libpng at level 9 (adaptive filters) on the same
// pixels. Each benchmark reports the encoded size in the "bytes" counter.
//
//   build/bench/codec/codec_bench --benchmark_counters_tabular=true

#include "codec/halftone.h"
#include "codec/jpeg_writer.h"
#include "codec/pngimage.h"

#include <QImage>
#include <benchmark/benchmark.h>
#include <png.h>
#include <vector>

namespace {

const char* const kScreens[] = {"desktop-1080", "web-1080", "docs-1080", "desktop-2160",
                                "web-2160"};

const QImage& screen(int index) {
    static std::vector<QImage> cache(std::size(kScreens));
    QImage& image = cache[std::size_t(index)];
    if (image.isNull())
        image = QImage(QStringLiteral(KAP_SHARED_DIR "/screens/%1.png").arg(kScreens[index]))
                    .convertToFormat(QImage::Format_BGR888);
    return image;
}

bool prepare(benchmark::State& state) {
    const QImage& image = screen(int(state.range(0)));
    if (image.isNull()) {
        state.SkipWithError("screen picture missing");
        return false;
    }
    state.SetLabel(QStringLiteral("%1 %2x%3")
                       .arg(kScreens[state.range(0)])
                       .arg(image.width())
                       .arg(image.height())
                       .toStdString());
    return true;
}

void report(benchmark::State& state, std::size_t bytes) {
    state.counters["bytes"] = double(bytes);
    state.counters["Mpix/s"] = benchmark::Counter(double(screen(int(state.range(0))).width()) *
                                                      screen(int(state.range(0))).height() / 1e6,
                                                  benchmark::Counter::kIsIterationInvariantRate);
}

std::size_t write_png_object(const QImage& raster) {
    TPNGObject png;
    png.AssignRaster(raster);
    png.ZlibLevel = 9;
    MemorySink sink;
    png.WriteToStream(sink);
    return std::size_t(sink.bytes().size());
}

void BM_Png24(benchmark::State& state) {
    if (!prepare(state))
        return;
    std::size_t bytes = 0;
    for (auto _ : state)
        bytes = write_png_object(screen(int(state.range(0))));
    report(state, bytes);
}

// libpng at level 9 with every filter enabled (its adaptive heuristic), blue-green-red input.
std::size_t libpng_write(const QImage& image) {
    std::vector<unsigned char> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t size) {
            auto* v = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(p));
            v->insert(v->end(), data, data + size);
        },
        nullptr);
    png_set_IHDR(png, info, png_uint_32(image.width()), png_uint_32(image.height()), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 9);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
    png_write_info(png, info);
    png_set_bgr(png);
    for (int y = 0; y < image.height(); ++y)
        png_write_row(png, const_cast<png_bytep>(image.constScanLine(y)));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out.size();
}

void BM_Png24_libpng9(benchmark::State& state) {
    if (!prepare(state))
        return;
    std::size_t bytes = 0;
    for (auto _ : state)
        bytes = libpng_write(screen(int(state.range(0))));
    report(state, bytes);
}

void BM_HalftoneConversion(benchmark::State& state) {
    if (!prepare(state))
        return;
    for (auto _ : state)
        benchmark::DoNotOptimize(to_halftone_palette(screen(int(state.range(0)))));
    report(state, 0);
}

void BM_Png8(benchmark::State& state) {
    if (!prepare(state))
        return;
    std::size_t bytes = 0;
    for (auto _ : state)
        bytes = write_png_object(to_halftone_palette(screen(int(state.range(0)))));
    report(state, bytes);
}

void BM_Png8_libpng9(benchmark::State& state) {
    if (!prepare(state))
        return;
    const QImage indexed = to_halftone_palette(screen(int(state.range(0))));
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::vector<unsigned char> out;
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_set_write_fn(
            png, &out,
            [](png_structp p, png_bytep data, png_size_t size) {
                auto* v = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(p));
                v->insert(v->end(), data, data + size);
            },
            nullptr);
        png_set_IHDR(png, info, png_uint_32(indexed.width()), png_uint_32(indexed.height()), 8,
                     PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        std::vector<png_color> palette;
        for (QRgb c : indexed.colorTable())
            palette.push_back({png_byte(qRed(c)), png_byte(qGreen(c)), png_byte(qBlue(c))});
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
        png_set_compression_level(png, 9);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
        png_write_info(png, info);
        for (int y = 0; y < indexed.height(); ++y)
            png_write_row(png, const_cast<png_bytep>(indexed.constScanLine(y)));
        png_write_end(png, info);
        png_destroy_write_struct(&png, &info);
        bytes = out.size();
    }
    report(state, bytes);
}

void BM_Jpeg(benchmark::State& state) {
    if (!prepare(state))
        return;
    const int quality = int(state.range(1));
    std::size_t bytes = 0;
    for (auto _ : state)
        bytes = std::size_t(encode_jpeg(screen(int(state.range(0))), quality).size());
    report(state, bytes);
}

void screens(benchmark::internal::Benchmark* b) {
    for (int i = 0; i < int(std::size(kScreens)); ++i)
        b->Arg(i);
    b->Unit(benchmark::kMillisecond);
}

void screens_and_qualities(benchmark::internal::Benchmark* b) {
    for (int i = 0; i < int(std::size(kScreens)); ++i)
        for (int quality : {100, 75})
            b->Args({i, quality});
    b->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_Png24)->Apply(screens);
BENCHMARK(BM_Png24_libpng9)->Apply(screens);
BENCHMARK(BM_HalftoneConversion)->Apply(screens);
BENCHMARK(BM_Png8)->Apply(screens);
BENCHMARK(BM_Png8_libpng9)->Apply(screens);
BENCHMARK(BM_Jpeg)->Apply(screens_and_qualities);

BENCHMARK_MAIN();
