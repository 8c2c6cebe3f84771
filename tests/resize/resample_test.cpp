// The resampler against the literal arithmetic on random and chosen sizes, the properties of the
// method that follow from it (copies, means, flat areas), errors and progress reporting.

#include "platform/core/error.h"
#include "platform/core/extended_precision.h"
#include "resize/U_Interpolation_BiLineaire.h"
#include "resize/resample_tuning.h"
#include "tests/resize/reference_resample.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <numeric>
#include <random>
#include <string>
#include <tuple>
#if defined(__x86_64__) && defined(__GNUC__)
#include <cpuid.h>
#endif
#ifndef _WIN32
#include <sys/mman.h>
#include <unistd.h>
#endif
#include <vector>

namespace {

// Noise (blends of unrelated bytes), flat patches (equal neighbours, whose quotients land on
// integers) and sparse dark marks on white, like text on a page.
QImage make_picture(int w, int h, int pattern, std::mt19937& rng) {
    QImage img(w, h, QImage::Format_BGR888);
    const int patch = 1 + int(rng() % 7), tint = int(rng() % 256);
    for (int y = 0; y < h; ++y)
        for (int i = 0; i < 3 * w; ++i) {
            const int x = i / 3;
            const int v = pattern == 0   ? int(rng() % 256)
                          : pattern == 1 ? ((x / patch + 2 * (y / patch)) % 3) * tint / 2
                                         : (rng() % 16 == 0 ? 0 : 255);
            img.scanLine(y)[i] = uchar(v);
        }
    return img;
}

const uchar* px(const QImage& img, int x, int y) {
    return img.constScanLine(y) + 3 * x;
}

// "" when equal, else the first difference.
std::string diff(const QImage& got, const QImage& want) {
    if (got.size() != want.size() || got.format() != QImage::Format_BGR888)
        return "size or format";
    for (int y = 0; y < got.height(); ++y)
        for (int i = 0; i < 3 * got.width(); ++i)
            if (got.constScanLine(y)[i] != want.constScanLine(y)[i])
                return "x " + std::to_string(i / 3) + " y " + std::to_string(y) + " byte " +
                       std::to_string(i % 3) + ": " + std::to_string(got.constScanLine(y)[i]) +
                       " not " + std::to_string(want.constScanLine(y)[i]);
    return "";
}

TEST(ResampleReference, RandomSizesAndContentsMatchByteForByte) {
    std::vector<ResampleTuning> tunings(6);
    tunings[1].fast_path = false;
    tunings[5].vector_weights = false;
    tunings[2].max_weight_table = 0;
    tunings[2].fused_rows = false;
    tunings[3].threads = 3;
    tunings[3].split_min_pixels = 0;
    tunings[4].max_weight_table = 0;
    tunings[4].fused_rows = false;
    tunings[4].threads = 2;
    tunings[4].split_min_pixels = 0;
    std::mt19937 rng(20240601);
    for (int round = 0; round < 250; ++round) {
        const int ws = 1 + rng() % 40, hs = 1 + rng() % 40, wd = 1 + rng() % 64,
                  hd = 1 + rng() % 64, pattern = rng() % 3;
        const QImage src = make_picture(ws, hs, pattern, rng);
        const QImage want = reference_resample(src, wd, hd);
        for (std::size_t t = 0; t < tunings.size(); ++t)
            ASSERT_EQ(diff(resample_bilinear_tuned(src, wd, hd, nullptr, tunings[t]), want), "")
                << ws << "x" << hs << " -> " << wd << "x" << hd << " pattern " << pattern
                << " tuning " << t;
        ASSERT_EQ(std::memcmp(px(want, 0, 0), px(src, 0, 0), 3), 0); // top-left is copied
    }
}

TEST(ResampleReference, CommonRatiosAndLargeOutputsMatchByteForByte) {
    // Screen ratios scaled down, and outputs large enough to be shared between threads.
    const int cases[][4] = {{192, 108, 40, 23},   {192, 108, 384, 216}, {384, 216, 192, 108},
                            {96, 54, 400, 225},   {401, 301, 400, 300}, {640, 360, 700, 394},
                            {700, 394, 640, 360}, {333, 517, 512, 333}, {3, 2, 1000, 1},
                            {401, 301, 401, 301}, {1, 9, 1, 9},         {9, 1, 9, 1}};
    ResampleTuning per_row;
    per_row.max_weight_table = 0;
    per_row.fused_rows = false;
    std::mt19937 rng(7);
    for (const auto& k : cases)
        for (int pattern = 0; pattern < 3; ++pattern) {
            const QImage src = make_picture(k[0], k[1], pattern, rng);
            const QImage want = reference_resample(src, k[2], k[3]);
            EXPECT_EQ(diff(resample_bilinear(src, k[2], k[3]), want), "")
                << k[0] << "x" << k[1] << " -> " << k[2] << "x" << k[3] << " pattern " << pattern;
            EXPECT_EQ(diff(resample_bilinear_tuned(src, k[2], k[3], nullptr, per_row), want), "");
        }
}

TEST(ResampleReference, RealScreenAtUnevenWidthsMatchesByteForByte) {
    // A sweep of target widths from a real 1080p screen, where few fractions repeat and the
    // weights are computed per row: the vectorised weights, the cached rows of blends, one
    // thread and two, all against the literal arithmetic.
    const QImage screen = QImage(QStringLiteral(KAP_SHARED_DIR "/screens/web-1080.png"))
                              .convertToFormat(QImage::Format_BGR888);
    ASSERT_FALSE(screen.isNull());
    std::vector<ResampleTuning> tunings(4);
    tunings[1].vector_weights = false;
    tunings[2].threads = 2;
    tunings[2].split_min_pixels = 0;
    tunings[3].max_weight_table = 1 << 12; // cached rows of blends instead of the table
    tunings[3].fused_rows = false;
    for (int width : {1333, 1331, 766, 217, 2098}) {
        const int height = (1080 * width * 2 + 1920) / 3840; // proportional, rounded
        const QImage want = reference_resample(screen, width, height);
        for (std::size_t t = 0; t < tunings.size(); ++t)
            ASSERT_EQ(
                diff(resample_bilinear_tuned(screen, width, height, nullptr, tunings[t]), want), "")
                << width << "x" << height << " tuning " << t;
    }
}

// The ways of carrying out the arithmetic that the sizes below can take: eight pixels at a time
// with weights computed per pixel or kept per row kind (forced even for equal weights), on one
// thread and three, with AVX-512 where present and with AVX2 alone, and the pixel-at-a-time
// table and rows of blends.
std::vector<ResampleTuning> every_path() {
    std::vector<ResampleTuning> t(7);
    for (ResampleTuning& k : t)
        k.means_in_table = false;
    t[1].threads = 3;
    t[1].split_min_pixels = 0;
    t[2].fused_rows = false;
    t[3].fused_rows = false;
    t[3].max_weight_table = 0;
    t[4].vector_weights = false; // without the four-at-a-time weights nothing is fused
    t[5].fused_avx512 = false;
    t[6].fused_avx512 = false;
    t[6].threads = 3;
    t[6].split_min_pixels = 0;
    return t;
}

TEST(ResampleReference, EveryPathMatchesOnRandomSizesAndEdges) {
    // Widths whose rows end without padding (the last pixel's load must not pass the row),
    // single rows and columns, enlargements where rows of a kind repeat, strong reductions
    // where neighbours are too far apart for one load.
    const std::vector<ResampleTuning> tunings = every_path();
    std::mt19937 rng(20251208);
    for (int round = 0; round < 160; ++round) {
        const int ws = 1 + int(rng() % 90), hs = 1 + int(rng() % 50);
        const int wd = 1 + int(rng() % (round % 4 == 0 ? 20 : 200));
        const int hd = 1 + int(rng() % 120), pattern = int(rng() % 3);
        const QImage src = make_picture(ws, hs, pattern, rng);
        const QImage want = reference_resample(src, wd, hd);
        for (std::size_t t = 0; t < tunings.size(); ++t)
            ASSERT_EQ(diff(resample_bilinear_tuned(src, wd, hd, nullptr, tunings[t]), want), "")
                << ws << "x" << hs << " -> " << wd << "x" << hd << " pattern " << pattern
                << " tuning " << t;
    }
}

#ifndef _WIN32
// Guard pages come from mmap and mprotect.
// A picture whose last byte is the last readable one: the page after it cannot be read, so
// that reading past the source ends the test. The mapping goes with the picture's last handle: a
// helper thread that finishes late may still hold one when the call has returned.
class GuardedPicture {
public:
    explicit GuardedPicture(const QImage& picture) {
        const std::size_t bytes = static_cast<std::size_t>(picture.sizeInBytes());
        const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        auto* mapping = new Mapping{nullptr, (bytes + page - 1) / page * page + page};
        void* map = mmap(nullptr, mapping->size, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (map == MAP_FAILED) {
            delete mapping;
            throw std::bad_alloc();
        }
        mapping->map = static_cast<uchar*>(map);
        mprotect(mapping->map + mapping->size - page, page, PROT_NONE);
        uchar* start = mapping->map + mapping->size - page - bytes;
        std::memcpy(start, picture.constBits(), bytes);
        image_ = QImage(start, picture.width(), picture.height(), picture.bytesPerLine(),
                        QImage::Format_BGR888, &GuardedPicture::unmap, mapping);
    }
    GuardedPicture(const GuardedPicture&) = delete;
    GuardedPicture& operator=(const GuardedPicture&) = delete;
    const QImage& image() const { return image_; }

private:
    struct Mapping {
        uchar* map;
        std::size_t size;
    };
    static void unmap(void* info) {
        auto* mapping = static_cast<Mapping*>(info);
        munmap(mapping->map, mapping->size);
        delete mapping;
    }
    QImage image_;
};

TEST(ResampleReference, NeverReadsPastTheSourcesLastByte) {
    // Widths whose rows need no padding, so that the last pixel ends the source's memory; flat
    // patches and text give pixels redone exactly, also in the last column and row.
    const std::vector<ResampleTuning> tunings = every_path();
    std::mt19937 rng(20251209);
    for (int round = 0; round < 120; ++round) {
        const int ws = 4 * (1 + int(rng() % 20)), hs = 1 + int(rng() % 40);
        const int wd = 1 + int(rng() % 160), hd = 1 + int(rng() % 100);
        const GuardedPicture src(make_picture(ws, hs, 1 + int(rng() % 2), rng));
        ASSERT_EQ(src.image().bytesPerLine(), 3 * ws);
        const QImage want = reference_resample(src.image(), wd, hd);
        for (std::size_t t = 0; t < tunings.size(); ++t)
            ASSERT_EQ(diff(resample_bilinear_tuned(src.image(), wd, hd, nullptr, tunings[t]), want),
                      "")
                << ws << "x" << hs << " -> " << wd << "x" << hd << " tuning " << t;
    }
}

#endif

TEST(ResampleReference, ScreenSweepMatchesOnEveryPath) {
    // Target widths of the speed sweep from both real screens, reductions and enlargements,
    // at the proportional height.
    const struct {
        const char* screen;
        int width;
    } cases[] = {{"web-1080.png", 1486},
                 {"web-1080.png", 3169},
                 {"desktop-1080.png", 2377},
                 {"web-2160.png", 3169},
                 {"web-2160.png", 400}};
    std::vector<ResampleTuning> tunings(4);
    tunings[1].threads = 2;
    tunings[1].split_min_pixels = 0;
    tunings[2].fused_rows = false;
    tunings[3].fused_avx512 = false;
    for (const auto& c : cases) {
        const QImage screen =
            QImage(QStringLiteral(KAP_SHARED_DIR "/screens/") + QString::fromLatin1(c.screen))
                .convertToFormat(QImage::Format_BGR888);
        ASSERT_FALSE(screen.isNull()) << c.screen;
        const int height = int((std::int64_t{screen.height()} * c.width * 2 + screen.width()) /
                               (2 * std::int64_t{screen.width()}));
        const QImage want = reference_resample(screen, c.width, height);
        for (std::size_t t = 0; t < tunings.size(); ++t)
            ASSERT_EQ(
                diff(resample_bilinear_tuned(screen, c.width, height, nullptr, tunings[t]), want),
                "")
                << c.screen << " -> " << c.width << "x" << height << " tuning " << t;
    }
}

TEST(ResampleReference, IndependentOfTheCallersFloatingPointMode) {
    // Double precision and upward rounding set by the caller change the arithmetic; the
    // resampler must work in its own mode and give the caller's back.
    std::mt19937 rng(9);
    const QImage src = make_picture(97, 61, 0, rng);
    QImage want;
    {
        const ExtendedPrecision precision;
        want = reference_resample(src, 70, 50);
    }
    const X87ControlWord caller = x87_control_word();
    set_x87_control_word(X87ControlWord((caller & ~kX87PrecisionMask) | kX87Precision53));
    std::fesetround(FE_UPWARD);
    const X87ControlWord changed = x87_control_word();
    const QImage got = resample_bilinear(src, 70, 50);
    const X87ControlWord after = x87_control_word();
    const int rounding_after = std::fegetround();
    std::fesetround(FE_TONEAREST);
    set_x87_control_word(caller);
    EXPECT_EQ(diff(got, want), "");
    EXPECT_EQ(after, changed);
    EXPECT_EQ(rounding_after, FE_UPWARD);
}

TEST(ResampleReference, HandComputedBlend) {
    // 2 x 1 -> 3 x 1: column 1 sits 1/6 past source pixel 0 (weights 6 and 1.2), column 2 at
    // 5/6 (weights 1.2 and 6). Across a 0 / 255 edge: 255 x 1.2 / 7.2 = 42.5 and 212.5.
    QImage src(2, 1, QImage::Format_BGR888);
    std::memcpy(src.scanLine(0), "\0\0\0\xff\xff\xff", 6);
    const QImage out = resample_bilinear(src, 3, 1);
    EXPECT_EQ(std::memcmp(out.constScanLine(0), "\0\0\0\x2a\x2a\x2a\xd4\xd4\xd4", 9), 0);
}

TEST(ResampleProperties, SameSizeIsTheHalfPixelMean) {
    // Also through the in-place call on a 32-bit picture, which is converted first.
    std::mt19937 rng(3);
    const QImage src = make_picture(23, 17, 0, rng);
    QImage out = src.convertToFormat(QImage::Format_RGB32);
    InterpolationBiLineaire(out, 23, 17);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 23; ++x)
            for (int c = 0; c < 3; ++c) {
                const int x0 = std::max(x - 1, 0), y0 = std::max(y - 1, 0);
                const int n = (x > 0 ? 2 : 1) * (y > 0 ? 2 : 1);
                const int sum = px(src, x0, y0)[c] + (x > 0 ? px(src, x, y0)[c] : 0) +
                                (y > 0 ? px(src, x0, y)[c] : 0) +
                                (x > 0 && y > 0 ? px(src, x, y)[c] : 0);
                ASSERT_EQ(px(out, x, y)[c], sum / n) << x << "," << y;
            }
}

TEST(ResampleProperties, DoublingCopiesOddColumnsAndAveragesEvenOnes) {
    std::mt19937 rng(4);
    const QImage src = make_picture(31, 9, 0, rng);
    const QImage out = resample_bilinear(src, 62, 18);
    for (int x = 0; x < 62; ++x)
        for (int c = 0; c < 3; ++c) {
            const int want = x % 2 ? px(src, (x - 1) / 2, 0)[c]
                             : x   ? (px(src, x / 2 - 1, 0)[c] + px(src, x / 2, 0)[c]) / 2
                                   : px(src, 0, 0)[c];
            ASSERT_EQ(px(out, x, 0)[c], want) << "column " << x;
        }
}

TEST(ResampleProperties, HalvingAveragesBlocksAndIgnoresTheLastRowAndColumn) {
    std::mt19937 rng(5);
    QImage src = make_picture(40, 26, 0, rng);
    const QImage out = resample_bilinear(src, 20, 13);
    for (int y = 1; y < 13; ++y)
        for (int x = 1; x < 20; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(px(out, x, y)[c],
                          (px(src, 2 * x - 1, 2 * y - 1)[c] + px(src, 2 * x, 2 * y - 1)[c] +
                           px(src, 2 * x - 1, 2 * y)[c] + px(src, 2 * x, 2 * y)[c]) /
                              4);
    for (int y = 0; y < 26; ++y)
        std::memset(src.scanLine(y) + 3 * 39, 0x5a, 3);
    std::memset(src.scanLine(25), 0xa5, 3 * 40);
    EXPECT_EQ(diff(resample_bilinear(src, 20, 13), out), "");
}

TEST(ResampleProperties, OnePixelWideSourceGivesIdenticalColumns) {
    std::mt19937 rng(6);
    const QImage src = make_picture(1, 29, 0, rng);
    for (int hd : {29, 50, 11}) {
        const QImage out = resample_bilinear(src, 37, hd);
        for (int y = 0; y < hd; ++y)
            for (int x = 1; x < 37; ++x)
                ASSERT_EQ(std::memcmp(px(out, x, y), px(out, 0, y), 3), 0) << x << "," << y;
        if (hd == 29) { // rows are still blended: the half-pixel shift
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(px(out, 5, 9)[c], (px(src, 0, 8)[c] + px(src, 0, 9)[c]) / 2);
        }
    }
}

TEST(ResampleProperties, FlatWhiteLosesAUnitUnlessWeightsAreEqual) {
    QImage white(1920, 1080, QImage::Format_BGR888);
    white.fill(Qt::white);
    const QImage reduced = resample_bilinear(white, 400, 225);
    const QImage halved = resample_bilinear(white, 960, 540);
    int below = 0;
    for (int y = 0; y < 225; ++y)
        for (int i = 0; i < 1200; ++i) {
            ASSERT_GE(reduced.constScanLine(y)[i], 254);
            below += reduced.constScanLine(y)[i] == 254;
        }
    EXPECT_GT(below, 1200 * 225 / 2);
    for (int y = 0; y < 540; ++y)
        for (int i = 0; i < 2880; ++i)
            ASSERT_EQ(halved.constScanLine(y)[i], 255);
}

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

TEST(ResampleErrors, BadSizesFailBeforeAnythingAndKeepThePicture) {
    std::mt19937 rng(8);
    QImage picture = make_picture(13, 7, 0, rng).convertToFormat(QImage::Format_RGB32);
    const QImage before = picture.convertToFormat(QImage::Format_BGR888);
    for (auto [w, h] : {std::pair{400, 0}, std::pair{0, 0}, std::pair{10, -3}, std::pair{-1, 5}}) {
        Recorder progress;
        try {
            InterpolationBiLineaire(picture, w, h, &progress);
            ADD_FAILURE() << "no error for " << w << "x" << h;
        } catch (const KapError& e) {
            EXPECT_EQ(e.message(), QStringLiteral("Propriété TProgressBar hors limites"));
        }
        EXPECT_TRUE(progress.calls.empty());
        EXPECT_EQ(diff(picture, before), "");
    }
    Recorder progress;
    InterpolationBiLineaire(picture, 0, 5, &progress); // width 0: an empty picture
    EXPECT_EQ(picture.width(), 0);
    EXPECT_TRUE(progress.rows.empty());
    EXPECT_EQ(progress.calls, (std::vector<std::string>{"started 5", "finished"}));
    EXPECT_THROW(InterpolationBiLineaire(picture, 10, 10), KapError); // nothing to resample
}

TEST(ResampleProgressCalls, EveryRowInOrderOnOneOrManyThreads) {
    std::mt19937 rng(11);
    const QImage src = make_picture(90, 70, 1, rng);
    // Without a table, rows are computed grouped by kind; the progress still counts them in
    // order.
    for (auto [threads, wd, hd, table] :
         {std::tuple{0, 40, 25, 1 << 17}, std::tuple{0, 800, 600, 1 << 17},
          std::tuple{2, 300, 301, 1 << 17}, std::tuple{5, 30, 7, 1 << 17},
          std::tuple{1, 500, 200, 0}, std::tuple{2, 500, 200, 0}}) {
        Recorder progress;
        ResampleTuning tuning;
        tuning.threads = threads;
        tuning.split_min_pixels = 0;
        tuning.max_weight_table = static_cast<std::size_t>(table);
        resample_bilinear_tuned(src, wd, hd, &progress, tuning);
        EXPECT_EQ(progress.calls,
                  (std::vector<std::string>{"started " + std::to_string(hd), "finished"}));
        std::vector<int> all(static_cast<std::size_t>(hd));
        std::iota(all.begin(), all.end(), 0);
        EXPECT_EQ(progress.rows, all);
    }
}

TEST(ResampleProgressCalls, AFailingProgressStopsTheResizeAndLeavesThePicture) {
    std::mt19937 rng(12);
    for (int threads : {1, 2}) {
        QImage picture = make_picture(200, 150, 0, rng);
        const QImage before = picture.copy();
        Recorder progress;
        progress.throw_at = 300;
        ResampleTuning tuning;
        tuning.threads = threads;
        tuning.split_min_pixels = 0;
        EXPECT_THROW(picture = resample_bilinear_tuned(picture, 700, 500, &progress, tuning),
                     KapError);
        EXPECT_EQ(progress.calls.back(), "finished");
        EXPECT_EQ(diff(picture, before), "");
    }
}

TEST(ResampleThreads, HelpersLateForOneCallNeverTouchTheNext) {
    // Small pictures on three threads, one call right after the other: the calling thread often
    // finishes before a helper has even started, and the source, the result and the helper's
    // blocks are freed while it may still run, their memory soon reused by the next call. Every
    // result must still be exact, also after calls abandoned by a failing progress.
    std::mt19937 rng(13);
    ResampleTuning tuning;
    tuning.threads = 3;
    tuning.split_min_pixels = 0;
    for (int round = 0; round < 300; ++round) {
        const int ws = 10 + int(rng() % 60), hs = 10 + int(rng() % 40);
        const int wd = 10 + int(rng() % 150), hd = 20 + int(rng() % 60);
        if (round % 3 == 0) {
            Recorder progress;
            progress.throw_at = int(rng() % static_cast<unsigned>(hd));
            EXPECT_THROW(
                resample_bilinear_tuned(make_picture(ws, hs, 2, rng), wd, hd, &progress, tuning),
                KapError);
        }
        const QImage src = make_picture(ws, hs, int(rng() % 3), rng);
        const QImage want = reference_resample(src, wd, hd);
        ASSERT_EQ(diff(resample_bilinear_tuned(src, wd, hd, nullptr, tuning), want), "")
            << ws << "x" << hs << " -> " << wd << "x" << hd << " round " << round;
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
// The vector rows are taken exactly where the processor has the instructions and the system
// saves their registers: the features are read here straight from CPUID and XGETBV, apart from
// the compiler's run-time checks the resampler uses (which on Windows builds come from another
// run-time library than on Linux).
TEST(ResampleRowPath, FollowsTheProcessorAndTheTuning) {
    unsigned a = 0, b = 0, c = 0, d = 0;
    ASSERT_TRUE(__get_cpuid(1, &a, &b, &c, &d));
    const bool fma = c & bit_FMA, osxsave = c & bit_OSXSAVE, avx = c & bit_AVX;
    std::uint64_t xcr0 = 0;
    if (osxsave) {
        unsigned lo = 0, hi = 0;
        asm volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
        xcr0 = (std::uint64_t{hi} << 32) | lo;
    }
    const bool ymm_saved = (xcr0 & 0x6) == 0x6, zmm_saved = (xcr0 & 0xE6) == 0xE6;
    ASSERT_TRUE(__get_cpuid_count(7, 0, &a, &b, &c, &d));
    const bool avx2 = avx && fma && ymm_saved && (b & bit_AVX2);
    const bool avx512 = avx2 && zmm_saved && (b & bit_AVX512F) && (b & bit_AVX512DQ) &&
                        (b & bit_AVX512BW) && (b & bit_AVX512VL) && (c & bit_AVX512VBMI);
    const RowPath best = avx512 ? RowPath::Avx512 : avx2 ? RowPath::Avx2 : RowPath::PerPixel;
    std::printf("row path on this processor: %s\n", avx512 ? "AVX-512"
                                                    : avx2 ? "AVX2"
                                                           : "per pixel");

    EXPECT_EQ(fused_row_path(ResampleTuning{}), best);
    ResampleTuning no512;
    no512.fused_avx512 = false;
    EXPECT_EQ(fused_row_path(no512), avx2 ? RowPath::Avx2 : RowPath::PerPixel);
    ResampleTuning per_pixel;
    per_pixel.vector_weights = false;
    EXPECT_EQ(fused_row_path(per_pixel), RowPath::PerPixel);
}
#endif

} // namespace
