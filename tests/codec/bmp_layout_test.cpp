// The bytes the BMP writer produces, and what comes back when they are read.

#include "bmp_test_util.h"
#include "codec/bmp.h"
#include "platform/core/error.h"

#include <QDir>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>

using namespace bmptest;

namespace {

// Checks the two headers every file of ours carries.
void expect_headers(const QByteArray& f, int width, int height, int bits, int table_entries) {
    const std::uint32_t stride = ((width * bits + 31) / 32) * 4;
    const std::uint32_t offset = 54 + 4 * table_entries;
    ASSERT_GE(f.size(), 54);
    EXPECT_EQ(f.left(2), QByteArray("BM"));
    EXPECT_EQ(u32(f, 2), offset + stride * height) << "file size";
    EXPECT_EQ(u32(f, 2), std::uint32_t(f.size()));
    EXPECT_EQ(u16(f, 6), 0u);
    EXPECT_EQ(u16(f, 8), 0u);
    EXPECT_EQ(u32(f, 10), offset) << "pixel offset";
    EXPECT_EQ(u32(f, 14), 40u);
    EXPECT_EQ(i32(f, 18), width);
    EXPECT_EQ(i32(f, 22), height) << "positive: bottom row first";
    EXPECT_EQ(u16(f, 26), 1u);
    EXPECT_EQ(u16(f, 28), std::uint32_t(bits));
    EXPECT_EQ(u32(f, 30), 0u) << "no compression";
    EXPECT_EQ(u32(f, 34), stride * height) << "image size";
    EXPECT_EQ(u32(f, 38), 0u);
    EXPECT_EQ(u32(f, 42), 0u);
    EXPECT_EQ(u32(f, 46), table_entries == 256 ? 0u : std::uint32_t(table_entries));
    EXPECT_EQ(u32(f, 50), 0u);
}

} // namespace

TEST(BmpWriter, OnePixelIsPaddedToFourBytesIn58ByteFile) {
    QImage image(1, 1, QImage::Format_BGR888);
    image.setPixel(0, 0, qRgb(10, 20, 30));
    const QByteArray f = encode_bmp(image);
    ASSERT_EQ(f.size(), 58);
    expect_headers(f, 1, 1, 24, 0);
    EXPECT_EQ(byte(f, 54), 30); // blue
    EXPECT_EQ(byte(f, 55), 20); // green
    EXPECT_EQ(byte(f, 56), 10); // red
    EXPECT_EQ(byte(f, 57), 0);  // padding
}

TEST(BmpWriter, FiveWideRowsTakeSixteenBytesBottomRowFirst) {
    const QImage image = pattern_image(5, 3, QImage::Format_BGR888);
    const QByteArray f = encode_bmp(image);
    ASSERT_EQ(f.size(), 54 + 16 * 3);
    expect_headers(f, 5, 3, 24, 0);
    for (int stored = 0; stored < 3; ++stored) {
        const int y = 2 - stored;
        const int row = 54 + 16 * stored;
        for (int x = 0; x < 5; ++x) {
            const QRgb c = pattern_colour(x, y);
            EXPECT_EQ(byte(f, row + 3 * x), qBlue(c)) << x << "," << y;
            EXPECT_EQ(byte(f, row + 3 * x + 1), qGreen(c)) << x << "," << y;
            EXPECT_EQ(byte(f, row + 3 * x + 2), qRed(c)) << x << "," << y;
        }
        EXPECT_EQ(byte(f, row + 15), 0) << "padding of stored row " << stored;
    }
}

TEST(BmpWriter, ThirtyTwoBitPixelsAreBlueGreenRedUnusedWithoutTable) {
    QImage image = pattern_image(3, 2, QImage::Format_RGB32);
    const QByteArray f = encode_bmp(image);
    ASSERT_EQ(f.size(), 54 + 12 * 2);
    expect_headers(f, 3, 2, 32, 0);
    for (int stored = 0; stored < 2; ++stored) {
        for (int x = 0; x < 3; ++x) {
            const QRgb c = pattern_colour(x, 1 - stored);
            const int at = 54 + 12 * stored + 4 * x;
            EXPECT_EQ(byte(f, at), qBlue(c));
            EXPECT_EQ(byte(f, at + 1), qGreen(c));
            EXPECT_EQ(byte(f, at + 2), qRed(c));
            EXPECT_EQ(byte(f, at + 3), 0);
        }
    }
}

TEST(BmpWriter, EightBitCarriesItsColourTableBeforeThePixels) {
    for (const int colours : {256, 16}) {
        SCOPED_TRACE(colours);
        const QImage image = pattern_indexed(6, 3, colours);
        const QByteArray f = encode_bmp(image);
        expect_headers(f, 6, 3, 8, colours);
        ASSERT_EQ(f.size(), 54 + 4 * colours + 8 * 3);
        for (int i = 0; i < colours; ++i) {
            const QRgb c = image.color(i);
            const int at = 54 + 4 * i;
            ASSERT_EQ(byte(f, at), qBlue(c)) << i;
            ASSERT_EQ(byte(f, at + 1), qGreen(c)) << i;
            ASSERT_EQ(byte(f, at + 2), qRed(c)) << i;
            ASSERT_EQ(byte(f, at + 3), 0) << i;
        }
        const int pixels = 54 + 4 * colours;
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(byte(f, pixels + x), image.constScanLine(2)[x]) << "bottom row first";
        EXPECT_EQ(byte(f, pixels + 6), 0);
        EXPECT_EQ(byte(f, pixels + 7), 0);
    }
}

TEST(BmpWriter, IndexBeyondTheTableGetsAFullTableSoTheFileStaysReadable) {
    QImage image(2, 1, QImage::Format_Indexed8);
    image.setColorTable({qRgb(1, 2, 3), qRgb(4, 5, 6)});
    image.scanLine(0)[0] = 1;
    image.scanLine(0)[1] = 2; // one past the last colour
    const QByteArray f = encode_bmp(image);
    expect_headers(f, 2, 1, 8, 256);
    QString reason;
    const QImage back = decode_bmp(f.constData(), std::size_t(f.size()), &reason);
    ASSERT_FALSE(back.isNull()) << reason.toStdString();
    EXPECT_EQ(back.pixel(0, 0), qRgb(4, 5, 6));
    EXPECT_EQ(back.pixelIndex(1, 0), 2);
}

TEST(BmpWriter, OtherFormatsAreWrittenAtTwentyFourBits) {
    QImage image = pattern_image(7, 4, QImage::Format_ARGB32);
    const QByteArray f = encode_bmp(image);
    expect_headers(f, 7, 4, 24, 0);
    const QImage back = decode_bmp(f.constData(), std::size_t(f.size()), nullptr);
    EXPECT_EQ(back.format(), QImage::Format_BGR888);
    EXPECT_TRUE(same_pixels(back, image));
}

TEST(BmpWriter, FileOnDiskHoldsExactlyTheEncodedBytes) {
    QTemporaryDir dir;
    const QString path = dir.filePath("kaptoramao.bmp");
    const QImage image = pattern_image(33, 17, QImage::Format_BGR888);
    write_bmp(image, path);
    EXPECT_EQ(file_bytes(path), encode_bmp(image));
}

TEST(BmpWriter, EmptyPictureOrMissingFolderRaisesTheCreationError) {
    QTemporaryDir dir;
    const QString path = dir.filePath("vide.bmp");
    try {
        write_bmp(QImage(), path);
        FAIL() << "an empty picture was written";
    } catch (const KapError& e) {
        EXPECT_TRUE(e.message().startsWith("Impossible de créer le fichier \"" + path + "\". "))
            << e.what();
    }
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(encode_bmp(QImage()).isEmpty());

    const QString missing = dir.filePath("absent/capture.bmp");
    EXPECT_THROW(write_bmp(pattern_image(2, 2, QImage::Format_BGR888), missing), KapError);
}

TEST(BmpRoundTrip, TwentyFourBitsComeBackIdentical) {
    QTemporaryDir dir;
    for (const QSize size : {QSize(1, 1), QSize(2, 3), QSize(3, 2), QSize(4, 1), QSize(5, 5),
                             QSize(6, 2), QSize(7, 9), QSize(129, 31)}) {
        SCOPED_TRACE(QString("%1x%2").arg(size.width()).arg(size.height()).toStdString());
        const QImage image = pattern_image(size.width(), size.height(), QImage::Format_BGR888);
        const QString path = dir.filePath("rt.bmp");
        write_bmp(image, path);
        const QImage back = read_bmp(path);
        ASSERT_EQ(back.format(), QImage::Format_BGR888);
        ASSERT_EQ(back.size(), image.size());
        for (int y = 0; y < image.height(); ++y)
            ASSERT_EQ(std::memcmp(back.constScanLine(y), image.constScanLine(y),
                                  std::size_t(image.width()) * 3),
                      0)
                << "row " << y;
    }
}

TEST(BmpRoundTrip, ThirtyTwoAndEightBitsKeepTheirDepth) {
    QTemporaryDir dir;
    const QString path = dir.filePath("rt.bmp");

    const QImage rgb32 = pattern_image(11, 5, QImage::Format_RGB32);
    write_bmp(rgb32, path);
    const QImage back32 = read_bmp(path);
    EXPECT_EQ(back32.format(), QImage::Format_RGB32);
    EXPECT_EQ(back32, rgb32);

    for (const int colours : {256, 100, 2}) {
        SCOPED_TRACE(colours);
        const QImage indexed = pattern_indexed(13, 6, colours);
        write_bmp(indexed, path);
        const QImage back8 = read_bmp(path);
        ASSERT_EQ(back8.format(), QImage::Format_Indexed8);
        EXPECT_EQ(back8.colorTable(), indexed.colorTable());
        for (int y = 0; y < indexed.height(); ++y)
            ASSERT_EQ(std::memcmp(back8.constScanLine(y), indexed.constScanLine(y), 13), 0);
    }
}

TEST(BmpRoundTrip, TopDownFileIsReadTheRightWayUp) {
    const QImage image = pattern_image(5, 4, QImage::Format_BGR888);
    const QByteArray bottom_up = encode_bmp(image);
    // Same file with the rows in top-first order and a negative height.
    QByteArray top_down = bottom_up.left(54);
    set_u32(top_down, 22, std::uint32_t(-4));
    for (int stored = 3; stored >= 0; --stored)
        top_down += bottom_up.mid(54 + 16 * stored, 16);
    QString reason;
    const QImage back = decode_bmp(top_down.constData(), std::size_t(top_down.size()), &reason);
    ASSERT_FALSE(back.isNull()) << reason.toStdString();
    EXPECT_TRUE(same_pixels(back, image));
}
