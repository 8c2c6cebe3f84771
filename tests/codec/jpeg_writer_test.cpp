#include "codec/jpeg_writer.h"
#include "codec_test_util.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QImage solid(int width, int height, QRgb colour) {
    QImage image(width, height, QImage::Format_BGR888);
    image.fill(QColor::fromRgb(colour));
    return image;
}

// Start-of-frame markers present in the file: C0 baseline, C1 extended, C2 progressive.
std::set<int> frame_markers(const QByteArray& file) {
    std::set<int> markers;
    for (qsizetype i = 0; i + 1 < file.size(); ++i)
        if (std::uint8_t(file[i]) == 0xFF && (std::uint8_t(file[i + 1]) & 0xF0) == 0xC0 &&
            std::uint8_t(file[i + 1]) != 0xC4 && std::uint8_t(file[i + 1]) != 0xCC)
            markers.insert(std::uint8_t(file[i + 1]));
    return markers;
}

double mean_error(const QImage& decoded, const QImage& source) {
    const QImage expected = source.convertToFormat(QImage::Format_RGB888);
    double sum = 0;
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width() * 3; ++x)
            sum += std::abs(int(decoded.constScanLine(y)[x]) - int(expected.constScanLine(y)[x]));
    return sum / (expected.width() * expected.height() * 3.0);
}

} // namespace

TEST(JpegWriter, RedStaysRedAndBlueStaysBlue) {
    for (QRgb colour : {qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(20, 180, 60)}) {
        const JpegInfo jpeg = libjpeg_decode(encode_jpeg(solid(24, 16, colour), 100));
        const QRgb got = jpeg.pixels.pixel(12, 8);
        EXPECT_NEAR(qRed(got), qRed(colour), 3);
        EXPECT_NEAR(qGreen(got), qGreen(colour), 3);
        EXPECT_NEAR(qBlue(got), qBlue(colour), 3);
    }
}

TEST(JpegWriter, QualityExtremesGiveValidBaselineFiles) {
    const QImage picture = random_bgr(40, 30, 4);
    const QByteArray best = encode_jpeg(picture, 100);
    const QByteArray worst = encode_jpeg(picture, 1);
    for (const QByteArray& file : {best, worst}) {
        EXPECT_EQ(frame_markers(file), std::set<int>{0xC0});
        const JpegInfo info = libjpeg_decode(file);
        EXPECT_FALSE(info.progressive);
        EXPECT_EQ(info.pixels.size(), picture.size());
        EXPECT_LE(*std::max_element(info.quant_steps.begin(), info.quant_steps.end()), 255);
    }
    const JpegInfo top = libjpeg_decode(best);
    EXPECT_EQ(top.quant_steps, std::vector<int>(top.quant_steps.size(), 1));
    const std::vector<int> coarse = libjpeg_decode(worst).quant_steps;
    EXPECT_EQ(*std::max_element(coarse.begin(), coarse.end()), 255)
        << "steps are capped at 255, not above";
    EXPECT_LT(worst.size(), best.size());
}

TEST(JpegWriter, PixelsComeBackCloseAtFullQuality) {
    QImage picture(67, 45, QImage::Format_BGR888); // odd sizes: partial blocks on both edges
    for (int y = 0; y < 45; ++y)
        for (int x = 0; x < 67; ++x)
            picture.setPixel(x, y, qRgb(x * 3, y * 5, (x + y) * 2));
    const JpegInfo jpeg = libjpeg_decode(encode_jpeg(picture, 100));
    EXPECT_LT(mean_error(jpeg.pixels, picture), 2.0);
    // Other formats are brought to 24 bits first and give the same file.
    EXPECT_EQ(encode_jpeg(picture.convertToFormat(QImage::Format_ARGB32), 90),
              encode_jpeg(picture, 90));
}

TEST(JpegWriter, OnePixelPictureIsValidForDjpeg) {
    const QByteArray file = encode_jpeg(solid(1, 1, qRgb(200, 100, 50)), 75);
    QTemporaryDir dir;
    QFile out(temp_path(dir.path(), "one.jpg"));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(file);
    out.close();
    QProcess djpeg;
    djpeg.start("djpeg", {"-ppm", out.fileName()});
    ASSERT_TRUE(djpeg.waitForFinished(10000)) << "djpeg (libjpeg-turbo-progs) is needed";
    EXPECT_EQ(djpeg.exitCode(), 0) << djpeg.readAllStandardError().toStdString();
    EXPECT_TRUE(djpeg.readAllStandardOutput().startsWith("P6\n1 1\n255\n"));
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
