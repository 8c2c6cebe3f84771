// The resampler against the literal arithmetic, on random and chosen sizes, and the properties of
// the method that follow from it (copies, means, flat areas), errors and progress reporting.

#include "platform/error.h"
#include "resize/U_Interpolation_BiLineaire.h"
#include "resize/resample_tuning.h"
#include "tests/resize/reference_resample.h"

#include <gtest/gtest.h>

#include <QString>
#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>
#include <tuple>
#include <vector>

namespace {

using Rng = std::mt19937;

enum class Pattern { Noise, Patches, Gradient, Sparse };

// Pictures of the kinds that drive different paths: noise (blends of unrelated bytes), flat
// patches (equal neighbours, whose quotients land on integers), gradients and mostly-flat
// pictures with a few sharp marks, like text on a page.
QImage make_picture(int w, int h, Pattern pattern, Rng& rng) {
    QImage img(w, h, QImage::Format_BGR888);
    std::uniform_int_distribution<int> byte(0, 255);
    const int palette[4][3] = {{255, 255, 255},
                               {0, 0, 0},
                               {byte(rng), byte(rng), byte(rng)},
                               {byte(rng), byte(rng), byte(rng)}};
    const int patch = 1 + byte(rng) % 7;
    for (int y = 0; y < h; ++y) {
        uchar* row = img.scanLine(y);
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < 3; ++c) {
                int v = 0;
                switch (pattern) {
                case Pattern::Noise:
                    v = byte(rng);
                    break;
                case Pattern::Patches:
                    v = palette[((x / patch) * 7 + (y / patch) * 3) % 4][c];
                    break;
                case Pattern::Gradient:
                    v = (x * 255 / std::max(1, w - 1) + y * 3 + c * 40) % 256;
                    break;
                case Pattern::Sparse:
                    v = (byte(rng) < 12) ? palette[1][c] : palette[0][c];
                    break;
                }
                row[3 * x + c] = static_cast<uchar>(v);
            }
        }
    }
    return img;
}

QImage filled(int w, int h, int value) {
    QImage img(w, h, QImage::Format_BGR888);
    img.fill(QColor(value, value, value));
    return img;
}

const uchar* pixel(const QImage& img, int x, int y) {
    return img.constScanLine(y) + 3 * x;
}

// "" when equal, else where and how the pictures first differ.
std::string first_difference(const QImage& got, const QImage& want) {
    if (got.size() != want.size())
        return "size " + std::to_string(got.width()) + "x" + std::to_string(got.height()) +
               " instead of " + std::to_string(want.width()) + "x" + std::to_string(want.height());
    if (got.format() != QImage::Format_BGR888)
        return "format " + std::to_string(int(got.format()));
    for (int y = 0; y < got.height(); ++y)
        for (int x = 0; x < got.width(); ++x)
            for (int c = 0; c < 3; ++c)
                if (pixel(got, x, y)[c] != pixel(want, x, y)[c])
                    return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") byte " +
                           std::to_string(c) + ": " + std::to_string(pixel(got, x, y)[c]) +
                           " instead of " + std::to_string(pixel(want, x, y)[c]);
    return "";
}

std::vector<std::pair<const char*, ResampleTuning>> all_tunings() {
    ResampleTuning automatic;
    ResampleTuning exact_only;
    exact_only.fast_path = false;
    ResampleTuning per_row;
    per_row.max_weight_table = 0;
    ResampleTuning threaded;
    threaded.threads = 3;
    ResampleTuning uncached;
    uncached.max_flat_caches = 0;
    ResampleTuning threaded_per_row = per_row;
    threaded_per_row.threads = 2;
    return {{"automatic", automatic},     {"extended only", exact_only},
            {"weights per row", per_row}, {"three threads", threaded},
            {"no flat cache", uncached},  {"two threads, weights per row", threaded_per_row}};
}

TEST(ResampleReference, RandomSizesAndContentsMatchByteForByte) {
    Rng rng(20240601);
    std::uniform_int_distribution<int> src_size(1, 40), dst_size(1, 64), kind(0, 3);
    const auto tunings = all_tunings();
    for (int round = 0; round < 250; ++round) {
        const int ws = src_size(rng), hs = src_size(rng);
        const int wd = dst_size(rng), hd = dst_size(rng);
        const auto pattern = static_cast<Pattern>(kind(rng));
        const QImage src = make_picture(ws, hs, pattern, rng);
        const QImage want = reference_resample(src, wd, hd);
        for (const auto& [name, tuning] : tunings) {
            const QImage got = resample_bilinear_tuned(src, wd, hd, nullptr, tuning);
            ASSERT_EQ(first_difference(got, want), "")
                << ws << "x" << hs << " -> " << wd << "x" << hd << ", pattern " << int(pattern)
                << ", " << name;
        }
        // The top-left pixel is always the source's own.
        const QImage got = resample_bilinear(src, wd, hd);
        for (int c = 0; c < 3; ++c)
            ASSERT_EQ(pixel(got, 0, 0)[c], pixel(src, 0, 0)[c]);
    }
}

TEST(ResampleReference, CommonRatiosAndLargeOutputsMatchByteForByte) {
    // Screen-like ratios, scaled down to keep the literal version quick, and outputs large
    // enough to be shared between threads.
    struct Case {
        int ws, hs, wd, hd;
    };
    const Case cases[] = {{192, 108, 40, 23},   {192, 108, 384, 216}, {384, 216, 192, 108},
                          {97, 61, 97, 61},     {96, 54, 400, 225},   {401, 301, 400, 300},
                          {640, 360, 700, 394}, {700, 394, 640, 360}, {333, 517, 512, 333},
                          {1, 37, 53, 41},      {45, 1, 19, 7},       {3, 2, 1000, 1}};
    Rng rng(7);
    for (const Case& k : cases) {
        for (Pattern pattern : {Pattern::Noise, Pattern::Patches, Pattern::Sparse}) {
            const QImage src = make_picture(k.ws, k.hs, pattern, rng);
            const QImage want = reference_resample(src, k.wd, k.hd);
            EXPECT_EQ(first_difference(resample_bilinear(src, k.wd, k.hd), want), "")
                << k.ws << "x" << k.hs << " -> " << k.wd << "x" << k.hd << ", pattern "
                << int(pattern);
            ResampleTuning per_row;
            per_row.max_weight_table = 0;
            per_row.threads = 2;
            EXPECT_EQ(
                first_difference(resample_bilinear_tuned(src, k.wd, k.hd, nullptr, per_row), want),
                "")
                << k.ws << "x" << k.hs << " -> " << k.wd << "x" << k.hd << ", per row";
        }
    }
}

TEST(ResampleReference, HandComputedBlend) {
    // 2 x 1 -> 3 x 1: column 1 sits at 2/3 - 1/2 = 1/6 between the two source pixels, so the
    // weights are about 6 and 1.2 and a 0 / 255 edge gives 255 x 1.2 / 7.2 = 42.5 -> 42.
    QImage src(2, 1, QImage::Format_BGR888);
    uchar* row = src.scanLine(0);
    const uchar bytes[6] = {0, 0, 0, 255, 255, 255};
    std::copy(bytes, bytes + 6, row);
    const QImage out = resample_bilinear(src, 3, 1);
    EXPECT_EQ(pixel(out, 0, 0)[0], 0);
    EXPECT_EQ(pixel(out, 1, 0)[0], 42);
    EXPECT_EQ(pixel(out, 1, 0)[2], 42);
    // Column 2 at 4/3 - 1/2 = 5/6 mirrors it: 255 x 6 / 7.2 = 212.5 -> 212.
    EXPECT_EQ(pixel(out, 2, 0)[1], 212);
}

// Resizing to the same size shifts by half a pixel: every pixel is the truncated mean of the
// 2 x 2 block above and to the left of it (pairs on the first row and column).
TEST(ResampleProperties, SameSizeIsTheHalfPixelMean) {
    Rng rng(3);
    const QImage src = make_picture(23, 17, Pattern::Noise, rng);
    const QImage out = resample_bilinear(src, 23, 17);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 23; ++x)
            for (int c = 0; c < 3; ++c) {
                int want;
                if (x == 0 && y == 0)
                    want = pixel(src, 0, 0)[c];
                else if (y == 0)
                    want = (pixel(src, x - 1, 0)[c] + pixel(src, x, 0)[c]) / 2;
                else if (x == 0)
                    want = (pixel(src, 0, y - 1)[c] + pixel(src, 0, y)[c]) / 2;
                else
                    want = (pixel(src, x - 1, y - 1)[c] + pixel(src, x, y - 1)[c] +
                            pixel(src, x - 1, y)[c] + pixel(src, x, y)[c]) /
                           4;
                ASSERT_EQ(pixel(out, x, y)[c], want) << x << "," << y << " byte " << c;
            }
}

TEST(ResampleProperties, DoublingCopiesOddColumnsAndAveragesEvenOnes) {
    Rng rng(4);
    const QImage src = make_picture(31, 9, Pattern::Noise, rng);
    const QImage out = resample_bilinear(src, 62, 18);
    for (int x = 0; x < 62; ++x)
        for (int c = 0; c < 3; ++c) {
            int want;
            if (x % 2 == 1)
                want = pixel(src, (x - 1) / 2, 0)[c];
            else if (x == 0)
                want = pixel(src, 0, 0)[c];
            else
                want = (pixel(src, x / 2 - 1, 0)[c] + pixel(src, x / 2, 0)[c]) / 2;
            ASSERT_EQ(pixel(out, x, 0)[c], want) << "column " << x;
        }
    EXPECT_EQ(std::memcmp(pixel(out, 61, 0), pixel(src, 30, 0), 3), 0);
}

TEST(ResampleProperties, HalvingAveragesBlocksAndIgnoresTheLastRowAndColumn) {
    Rng rng(5);
    QImage src = make_picture(40, 26, Pattern::Noise, rng);
    const QImage out = resample_bilinear(src, 20, 13);
    for (int y = 1; y < 13; ++y)
        for (int x = 1; x < 20; ++x)
            for (int c = 0; c < 3; ++c) {
                const int sum = pixel(src, 2 * x - 1, 2 * y - 1)[c] +
                                pixel(src, 2 * x, 2 * y - 1)[c] + pixel(src, 2 * x - 1, 2 * y)[c] +
                                pixel(src, 2 * x, 2 * y)[c];
                ASSERT_EQ(pixel(out, x, y)[c], sum / 4) << x << "," << y;
            }
    for (int y = 0; y < 26; ++y)
        std::memset(src.scanLine(y) + 3 * 39, 0x5a, 3);
    std::memset(src.scanLine(25), 0xa5, 3 * 40);
    EXPECT_EQ(first_difference(resample_bilinear(src, 20, 13), out), "");
}

TEST(ResampleProperties, OnePixelWideSourceGivesIdenticalColumns) {
    Rng rng(6);
    const QImage src = make_picture(1, 29, Pattern::Noise, rng);
    for (int hd : {29, 50, 11}) {
        const QImage out = resample_bilinear(src, 37, hd);
        for (int y = 0; y < hd; ++y)
            for (int x = 1; x < 37; ++x)
                ASSERT_EQ(std::memcmp(pixel(out, x, y), pixel(out, 0, y), 3), 0) << x << "," << y;
    }
    // With the height kept, the rows are still blended vertically (half-pixel shift).
    const QImage same = resample_bilinear(src, 5, 29);
    for (int y = 1; y < 29; ++y)
        for (int c = 0; c < 3; ++c)
            ASSERT_EQ(pixel(same, 4, y)[c], (pixel(src, 0, y - 1)[c] + pixel(src, 0, y)[c]) / 2);
}

TEST(ResampleProperties, FlatWhiteLosesAUnitWhenWeightsDiffer) {
    const QImage out = resample_bilinear(filled(1920, 1080, 255), 400, 225);
    int below = 0;
    for (int y = 0; y < 225; ++y)
        for (int x = 0; x < 400; ++x)
            for (int c = 0; c < 3; ++c) {
                const int v = pixel(out, x, y)[c];
                ASSERT_GE(v, 254);
                below += v == 254;
            }
    EXPECT_GT(below, 400 * 225 * 3 / 2);
    EXPECT_EQ(std::memcmp(pixel(out, 0, 0), "\xff\xff\xff", 3), 0);
}

TEST(ResampleProperties, FlatWhiteHalvedStaysWhite) {
    const QImage out = resample_bilinear(filled(640, 480, 255), 320, 240);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            ASSERT_EQ(std::memcmp(pixel(out, x, y), "\xff\xff\xff", 3), 0) << x << "," << y;
}

// Records the progress calls.
struct Recorder : ResampleProgress {
    std::vector<std::string> calls;
    std::vector<int> rows;
    int throw_at = -1;
    void resample_started(int n) override { calls.push_back("started " + std::to_string(n)); }
    void row_reached(int row) override {
        if (row == throw_at)
            throw KapError(QStringLiteral("arrêt"));
        rows.push_back(row);
    }
    void resample_finished() override { calls.push_back("finished"); }
};

TEST(ResampleErrors, HeightZeroFailsBeforeAnythingAndKeepsThePicture) {
    Rng rng(8);
    QImage picture = make_picture(13, 7, Pattern::Noise, rng).convertToFormat(QImage::Format_RGB32);
    const QImage before = picture.convertToFormat(QImage::Format_BGR888);
    for (auto [w, h] : {std::pair{400, 0}, std::pair{0, 0}, std::pair{10, -3}, std::pair{-1, 5}}) {
        Recorder progress;
        try {
            InterpolationBiLineaire(picture, w, h, &progress);
            FAIL() << "no error for " << w << "x" << h;
        } catch (const KapError& e) {
            EXPECT_EQ(e.message(), QStringLiteral("Propriété TProgressBar hors limites"));
        }
        EXPECT_TRUE(progress.calls.empty());
        EXPECT_EQ(first_difference(picture, before), "");
    }
}

TEST(ResampleErrors, WidthZeroGivesAnEmptyPicture) {
    Rng rng(9);
    QImage picture = make_picture(13, 7, Pattern::Noise, rng);
    Recorder progress;
    InterpolationBiLineaire(picture, 0, 5, &progress);
    EXPECT_EQ(picture.width(), 0);
    EXPECT_TRUE(progress.rows.empty());
    EXPECT_EQ(progress.calls, (std::vector<std::string>{"started 5", "finished"}));
}

TEST(ResampleErrors, EmptySourceIsRefused) {
    QImage picture;
    try {
        InterpolationBiLineaire(picture, 10, 10);
        FAIL();
    } catch (const KapError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Il n'y a pas de capture à redimensionner!"));
    }
}

TEST(ResampleInPlace, ConvertsOtherFormatsFirst) {
    Rng rng(10);
    const QImage bgr = make_picture(21, 14, Pattern::Gradient, rng);
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_RGB888}) {
        QImage picture = bgr.convertToFormat(format);
        InterpolationBiLineaire(picture, 17, 30);
        EXPECT_EQ(first_difference(picture, reference_resample(bgr, 17, 30)), "");
    }
}

TEST(ResampleProgressCalls, EveryRowInOrderOnOneOrManyThreads) {
    Rng rng(11);
    for (auto [threads, wd, hd] : {std::tuple{0, 40, 25}, std::tuple{0, 800, 600},
                                   std::tuple{2, 300, 301}, std::tuple{5, 30, 7}}) {
        const QImage src = make_picture(90, 70, Pattern::Patches, rng);
        Recorder progress;
        ResampleTuning tuning;
        tuning.threads = threads;
        resample_bilinear_tuned(src, wd, hd, &progress, tuning);
        EXPECT_EQ(progress.calls,
                  (std::vector<std::string>{"started " + std::to_string(hd), "finished"}));
        ASSERT_EQ(progress.rows.size(), std::size_t(hd));
        for (int y = 0; y < hd; ++y)
            ASSERT_EQ(progress.rows[std::size_t(y)], y);
    }
}

TEST(ResampleProgressCalls, AFailingProgressStopsTheResizeAndLeavesThePicture) {
    Rng rng(12);
    for (int threads : {1, 2}) {
        QImage picture = make_picture(200, 150, Pattern::Noise, rng);
        const QImage before = picture.copy();
        Recorder progress;
        progress.throw_at = 300;
        ResampleTuning tuning;
        tuning.threads = threads;
        EXPECT_THROW(picture = resample_bilinear_tuned(picture, 700, 500, &progress, tuning),
                     KapError);
        EXPECT_EQ(progress.calls.back(), "finished");
        EXPECT_EQ(first_difference(picture, before), "");
    }
}

} // namespace
