#include "codec/jpeg_writer.h"
#include "codec_test_util.h"

#include <gtest/gtest.h>

namespace {

QImage solid(int width, int height, QRgb colour) {
    QImage image(width, height, QImage::Format_BGR888);
    image.fill(QColor::fromRgb(colour));
    return image;
}

// Start-of-frame markers in the file: C0 baseline, C1 extended, C2 progressive.
std::set<int> frame_markers(const QByteArray& file) {
    std::set<int> markers;
    for (qsizetype i = 0; i + 1 < file.size(); ++i) {
        const int next = std::uint8_t(file[i + 1]);
        if (std::uint8_t(file[i]) == 0xFF && (next & 0xF0) == 0xC0 && next != 0xC4 && next != 0xCC)
            markers.insert(next);
    }
    return markers;
}

} // namespace

TEST(JpegWriter, RedStaysRedAndBlueStaysBlue) {
    for (QRgb colour : {qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(20, 180, 60)}) {
        const QRgb got = djpeg_decode(encode_jpeg(solid(24, 16, colour), 100)).pixel(12, 8);
        EXPECT_NEAR(qRed(got), qRed(colour), 3) << std::hex << colour;
        EXPECT_NEAR(qGreen(got), qGreen(colour), 3) << std::hex << colour;
        EXPECT_NEAR(qBlue(got), qBlue(colour), 3) << std::hex << colour;
    }
}

TEST(JpegWriter, QualityExtremesGiveValidBaselineFiles) {
    const QImage picture = random_bgr(40, 30, 4);
    for (int quality : {1, 100}) {
        SCOPED_TRACE(quality);
        const QByteArray file = encode_jpeg(picture, quality);
        EXPECT_EQ(frame_markers(file), std::set<int>{0xC0});
        EXPECT_EQ(djpeg_decode(file).size(), picture.size());
        bool baseline_tables = false;
        const std::vector<int> steps = jpeg_quant_steps(file, &baseline_tables);
        ASSERT_EQ(steps.size(), 128u) << "one luminance and one chrominance table";
        EXPECT_TRUE(baseline_tables);
        const int largest = *std::max_element(steps.begin(), steps.end());
        EXPECT_EQ(largest, quality == 100 ? 1 : 255) << "capped at 255 for baseline";
    }
}

TEST(JpegWriter, PixelsComeBackCloseAndAnyFormatIsAccepted) {
    QImage picture(67, 45, QImage::Format_BGR888); // partial blocks on both edges
    for (int y = 0; y < 45; ++y)
        for (int x = 0; x < 67; ++x)
            picture.setPixel(x, y, qRgb(x * 3, y * 5, (x + y) * 2));
    const QImage decoded = djpeg_decode(encode_jpeg(picture, 100));
    const QImage expected = picture.convertToFormat(QImage::Format_RGB888);
    ASSERT_EQ(decoded.size(), expected.size());
    long error = 0;
    for (int y = 0; y < 45; ++y)
        for (int x = 0; x < 67 * 3; ++x)
            error += std::abs(decoded.constScanLine(y)[x] - expected.constScanLine(y)[x]);
    EXPECT_LT(double(error) / (67 * 45 * 3), 2.0);

    EXPECT_EQ(encode_jpeg(picture.convertToFormat(QImage::Format_ARGB32), 90),
              encode_jpeg(picture, 90));
    EXPECT_EQ(djpeg_decode(encode_jpeg(solid(1, 1, qRgb(200, 100, 50)), 75)).size(), QSize(1, 1));
}

TEST(JpegWriter, FatalErrorsCarryTheLibraryCode) {
    try {
        encode_jpeg(QImage(), 80);
        FAIL() << "an empty picture encoded";
    } catch (const KapError& e) {
        EXPECT_TRUE(e.message().startsWith("Erreur JPEG #")) << e.what();
        EXPECT_GT(e.message().mid(13).toInt(), 0);
    }
}
