#include "codec/halftone.h"
#include "codec_test_util.h"

#include <gtest/gtest.h>
#include <set>

namespace {

// The plain definition: the smallest squared distance, the lowest index on a tie.
int brute_force_nearest(const QList<QRgb>& palette, int r, int g, int b) {
    int best = 0, best_distance = 1 << 30;
    for (int i = 0; i < palette.size(); ++i) {
        const int dr = r - qRed(palette[i]), dg = g - qGreen(palette[i]),
                  db = b - qBlue(palette[i]);
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < best_distance) {
            best_distance = distance;
            best = i;
        }
    }
    return best;
}

} // namespace

TEST(Halftone, LookupIsTheExactNearestColour) {
    const QList<QRgb>& palette = halftone_palette();
    // A grid through the whole cube (every cell edge included) ...
    for (int r = 0; r < 256; r += 5)
        for (int g = 0; g < 256; g += 3)
            for (int b = 0; b < 256; b += 7)
                ASSERT_EQ(halftone_index(r, g, b), brute_force_nearest(palette, r, g, b))
                    << r << "," << g << "," << b;
    // ... and a whole picture of noise, which also exercises the per-conversion memory.
    QImage noise = random_bgr(211, 97, 3);
    for (int y = 50; y < 97; ++y)
        std::memcpy(noise.scanLine(y), noise.constScanLine(y - 50), 211 * 3);
    const QImage indexed = to_halftone_palette(noise);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x) {
            const QRgb c = noise.pixel(x, y);
            ASSERT_EQ(indexed.pixelIndex(x, y),
                      brute_force_nearest(palette, qRed(c), qGreen(c), qBlue(c)));
        }
}

TEST(Halftone, PaletteColoursSurviveTheRoundTrip) {
    const QList<QRgb>& palette = halftone_palette();
    ASSERT_EQ(std::set<QRgb>(palette.begin(), palette.end()).size(), 256u);
    QImage picture(16, 16, QImage::Format_BGR888);
    for (int i = 0; i < 256; ++i)
        picture.setPixel(i % 16, i / 16, palette[i]);
    const QImage indexed = to_halftone_palette(picture);
    EXPECT_EQ(indexed.format(), QImage::Format_Indexed8);
    EXPECT_EQ(indexed.colorTable(), palette);
    EXPECT_EQ(indexed.convertToFormat(QImage::Format_BGR888), picture);
}

TEST(Halftone, GradientsTurnIntoBandsNotDither) {
    // Horizontal grey-blue ramp: each row must be a sequence of runs that never come back to
    // an index already left, and every row is the same.
    QImage ramp(512, 8, QImage::Format_BGR888);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 512; ++x)
            ramp.setPixel(x, y, qRgb(x / 2, x / 2, std::min(255, x / 2 + 30)));
    const QImage indexed = to_halftone_palette(ramp);
    std::set<int> left_behind;
    int current = indexed.pixelIndex(0, 0);
    for (int x = 1; x < 512; ++x) {
        const int index = indexed.pixelIndex(x, 0);
        if (index != current) {
            left_behind.insert(current);
            EXPECT_EQ(left_behind.count(index), 0u) << "index " << index << " comes back at " << x;
            current = index;
        }
    }
    EXPECT_GT(left_behind.size(), 4u) << "a ramp over the whole range crosses several bands";
    for (int y = 1; y < 8; ++y)
        EXPECT_EQ(std::memcmp(indexed.constScanLine(y), indexed.constScanLine(0), 512), 0);
}

TEST(Halftone, AnyFormatIsAccepted) {
    const QImage source = random_bgr(33, 21, 9);
    EXPECT_EQ(to_halftone_palette(source.convertToFormat(QImage::Format_RGB32)),
              to_halftone_palette(source));
}
