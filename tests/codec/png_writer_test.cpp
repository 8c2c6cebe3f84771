#include "codec/pngimage.h"
#include "codec_test_util.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

QByteArray write_png_bytes(const QImage& picture, TFilters filters = filter_bit(pfSub),
                           int level = 9) {
    TPNGObject png;
    png.AssignRaster(picture);
    png.FilterSet = filters;
    png.ZlibLevel = std::uint8_t(level);
    MemorySink sink;
    png.WriteToStream(sink);
    return sink.bytes();
}

// The filter byte opening each row of the decompressed image data.
std::vector<int> row_filters(const QByteArray& file, int row_bytes) {
    const QByteArray data = png_image_data(png_chunks(file));
    std::vector<int> filters;
    for (qsizetype at = 0; at < data.size(); at += row_bytes + 1)
        filters.push_back(std::uint8_t(data[at]));
    return filters;
}

std::vector<std::uint32_t> idat_lengths(const QByteArray& file) {
    std::vector<std::uint32_t> lengths;
    for (const auto& chunk : png_chunks(file))
        if (chunk.type == "IDAT")
            lengths.push_back(std::uint32_t(chunk.data.size()));
    return lengths;
}

QImage indexed_picture(int width, int height, int colours, quint32 seed) {
    QImage image(width, height, QImage::Format_Indexed8);
    QList<QRgb> table;
    QRandomGenerator random(seed);
    for (int i = 0; i < colours; ++i)
        table << qRgb(random.bounded(256), random.bounded(256), random.bounded(256));
    image.setColorTable(table);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.scanLine(y)[x] = std::uint8_t((x / 3 + y * 7 + random.bounded(2)) % colours);
    return image;
}

// Smooth areas, edges, repeated rows and noise, so that every filter has work to do.
QImage mixed_bgr(int width, int height) {
    QImage image = random_bgr(width, height, 7);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            if (x < width / 2) {
                row[3 * x] = std::uint8_t(x * 5 + y);
                row[3 * x + 1] = std::uint8_t(255 - x * 3);
                row[3 * x + 2] = std::uint8_t(y * 11);
            }
        }
        if (y % 5 == 4)
            std::memcpy(row, image.constScanLine(y - 1), std::size_t(width) * 3);
    }
    return image;
}

// Compares a decoded picture with its source, naming the first pixel that differs.
testing::AssertionResult same_rgb(const QImage& decoded, const QImage& source) {
    if (decoded.isNull())
        return testing::AssertionFailure() << "libpng refused the file";
    if (decoded.size() != source.size())
        return testing::AssertionFailure() << "size differs";
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            if (decoded.pixel(x, y) != source.pixel(x, y))
                return testing::AssertionFailure()
                       << "pixel " << x << "," << y << ": " << std::hex << decoded.pixel(x, y)
                       << " instead of " << source.pixel(x, y);
    return testing::AssertionSuccess();
}

} // namespace

TEST(PngWriter, OnePixelFileHoldsOneSubFilteredRow) {
    QImage pixel(1, 1, QImage::Format_BGR888);
    pixel.setPixel(0, 0, qRgb(0x12, 0xC8, 0x3F));
    const auto chunks = png_chunks(write_png_bytes(pixel));

    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].type, "IHDR");
    EXPECT_EQ(chunks[0].data, QByteArray("\0\0\0\1\0\0\0\1\x08\x02\0\0\0", 13));
    EXPECT_EQ(chunks[1].type, "IDAT");
    EXPECT_TRUE(chunks[1].data.startsWith("\x78\xDA")) << "level 9 zlib header";
    EXPECT_EQ(chunks[2].type, "IEND");
    EXPECT_TRUE(chunks[2].data.isEmpty());
    EXPECT_EQ(png_image_data(chunks), QByteArray("\x01\x12\xC8\x3F", 4));
    EXPECT_TRUE(write_png_bytes(pixel).endsWith(QByteArray("\0\0\0\0IEND\xAE\x42\x60\x82", 12)));
}

TEST(PngWriter, DefaultSettingsFilterEveryRowWithSubAndLibpngReadsThePixels) {
    // Odd width: rows are padded in memory but not in the file. Rows 4, 9, ... repeat the row
    // above, which Up would turn into zeros; the default still writes Sub.
    const QImage picture = mixed_bgr(37, 23);
    TPNGObject png;
    EXPECT_EQ(png.FilterSet, filter_bit(pfSub));
    EXPECT_EQ(png.ZlibLevel, 7);
    png.AssignRaster(picture);
    MemorySink sink;
    png.WriteToStream(sink);

    EXPECT_EQ(row_filters(sink.bytes(), 37 * 3), std::vector<int>(23, 1));
    EXPECT_TRUE(same_rgb(libpng_decode(sink.bytes()), picture));
}

TEST(PngWriter, EachSingleFilterRoundTripsThroughLibpng) {
    const QImage rgb = mixed_bgr(61, 37);
    const QImage indexed = indexed_picture(67, 29, 40, 3);
    for (int filter = pfNone; filter <= pfPaeth; ++filter) {
        SCOPED_TRACE(filter);
        const TFilters set = filter_bit(TFilter(filter));
        const QByteArray rgb_file = write_png_bytes(rgb, set);
        EXPECT_EQ(row_filters(rgb_file, 61 * 3), std::vector<int>(37, filter));
        EXPECT_TRUE(same_rgb(libpng_decode(rgb_file), rgb));

        const QByteArray indexed_file = write_png_bytes(indexed, set);
        EXPECT_EQ(row_filters(indexed_file, 67), std::vector<int>(29, filter));
        EXPECT_TRUE(same_rgb(libpng_decode(indexed_file), indexed));
    }
}

TEST(PngWriter, SeveralFiltersAreScoredRowByRow) {
    // Two identical noisy rows: Up makes the second one all zeros, the best score.
    QImage noise = random_bgr(40, 2, 11);
    std::memcpy(noise.scanLine(1), noise.constScanLine(0), 40 * 3);
    EXPECT_EQ(row_filters(write_png_bytes(noise, filter_bit(pfSub) | filter_bit(pfUp)), 120)[1],
              pfUp);

    // A flat row scores the same raw and after Sub: the earlier filter keeps its place.
    QImage flat(16, 2, QImage::Format_Indexed8);
    flat.setColorTable({qRgb(0, 0, 0), qRgb(9, 9, 9)});
    flat.fill(1);
    EXPECT_EQ(row_filters(write_png_bytes(flat, filter_bit(pfNone) | filter_bit(pfSub)), 16),
              (std::vector<int>{pfNone, pfNone}));
    EXPECT_EQ(row_filters(write_png_bytes(flat, filter_bit(pfSub) | filter_bit(pfUp)), 16)[0],
              pfSub);

    // Rows too short to score anything are written unfiltered, None enabled or not.
    QImage narrow(2, 3, QImage::Format_Indexed8);
    narrow.setColorTable({qRgb(0, 0, 0), qRgb(200, 10, 10)});
    narrow.fill(1);
    EXPECT_EQ(row_filters(write_png_bytes(narrow, filter_bit(pfSub) | filter_bit(pfPaeth)), 2),
              (std::vector<int>{pfNone, pfNone, pfNone}));

    // Whatever each row picks, libpng gets the pixels back.
    const QImage mixed = mixed_bgr(45, 30);
    EXPECT_TRUE(same_rgb(libpng_decode(write_png_bytes(mixed, pfAllFilters)), mixed));
}

TEST(PngWriter, PalettedPictureGetsAFullPaletteInTableOrder) {
    const QImage picture = indexed_picture(10, 6, 3, 5);
    const auto chunks = png_chunks(write_png_bytes(picture));
    ASSERT_EQ(chunks.size(), 4u);
    EXPECT_EQ(chunks[0].data.mid(8), QByteArray("\x08\x03\0\0\0", 5));
    ASSERT_EQ(chunks[1].type, "PLTE");
    ASSERT_EQ(chunks[1].data.size(), 768);
    for (int i = 0; i < 256; ++i) {
        const QRgb expected = i < 3 ? picture.color(i) : qRgb(0, 0, 0);
        const auto* entry =
            reinterpret_cast<const unsigned char*>(chunks[1].data.constData()) + 3 * i;
        EXPECT_EQ(qRgb(entry[0], entry[1], entry[2]), expected) << "entry " << i;
    }
    EXPECT_TRUE(same_rgb(libpng_decode(write_png_bytes(picture)), picture));
}

TEST(PngWriter, OneBitPictureKeepsItsDepth) {
    QImage mono(19, 5, QImage::Format_MonoLSB);
    mono.setColorTable({qRgb(255, 255, 0), qRgb(0, 0, 128)});
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 19; ++x)
            mono.setPixel(x, y, (x * y + x / 2) % 3 == 0);
    const QByteArray file = write_png_bytes(mono);
    const auto chunks = png_chunks(file);
    EXPECT_EQ(chunks[0].data.mid(8, 2), QByteArray("\x01\x03", 2));
    EXPECT_EQ(chunks[1].data, QByteArray("\xFF\xFF\x00\x00\x00\x80", 6));
    EXPECT_TRUE(same_rgb(libpng_decode(file), mono));
}

TEST(PngWriter, DeeperPicturesAreWrittenAsRgbTheSameWayEachTime) {
    const QImage picture = mixed_bgr(50, 40).convertToFormat(QImage::Format_RGB32);
    const QByteArray file = write_png_bytes(picture);
    EXPECT_EQ(png_chunks(file)[0].data.mid(8), QByteArray("\x08\x02\0\0\0", 5));
    EXPECT_TRUE(same_rgb(libpng_decode(file), picture));
    EXPECT_EQ(write_png_bytes(picture), file);
}

TEST(PngWriter, StreamIsCutIntoFullIdatChunksWithoutAnEmptyOne) {
    // Noise in one paletted row: at level 0 the stream grows by one byte per pixel, so the
    // width can be tuned until the stream has exactly the length wanted.
    auto stream_length = [](const std::vector<std::uint32_t>& lengths) {
        std::uint64_t sum = 0;
        for (auto length : lengths)
            sum += length;
        return sum;
    };
    // Level 0 and level 9 reach the end of the stream along different paths inside zlib.
    for (int level : {0, 9})
        for (std::uint64_t target : {65535ull, 65536ull, 2 * 65535ull, 2 * 65535ull + 1}) {
            SCOPED_TRACE(testing::Message() << "level " << level << ", " << target << " bytes");
            std::vector<std::uint32_t> lengths;
            int width = int(target);
            for (int attempt = 0; attempt < 8; ++attempt) {
                QImage row(width, 1, QImage::Format_Indexed8);
                row.setColorTable({qRgb(0, 0, 0)});
                QRandomGenerator random(1);
                for (int x = 0; x < width; ++x)
                    row.scanLine(0)[x] = std::uint8_t(random.bounded(256));
                lengths = idat_lengths(write_png_bytes(row, filter_bit(pfNone), level));
                const std::uint64_t length = stream_length(lengths);
                if (length == target)
                    break;
                width += int(target) - int(length);
            }
            ASSERT_EQ(stream_length(lengths), target);
            std::vector<std::uint32_t> expected(target / 65535, 65535);
            if (target % 65535)
                expected.push_back(std::uint32_t(target % 65535));
            EXPECT_EQ(lengths, expected);
        }
}

TEST(PngObject, EmptyObjectWritesTheSignatureAlone) {
    TPNGObject png;
    EXPECT_EQ(png.Width(), 0u);
    EXPECT_EQ(png.Height(), 0u);
    MemorySink sink;
    png.WriteToStream(sink);
    EXPECT_EQ(sink.bytes(), QByteArray("\x89PNG\r\n\x1a\n"));
}

TEST(PngObject, GuardsRefuseWithTheLibraryTexts) {
    auto message_of = [](auto&& action) {
        try {
            action();
        } catch (const EPngError& e) {
            return e.message();
        }
        return QStringLiteral("(accepted)");
    };
    TPNGObject png;
    EXPECT_EQ(message_of([&] { png.Header(); }),
              "This operation is not valid because the current image contains no valid header.");
    png.AssignRaster(random_bgr(4, 3, 1));
    const QString resize = "The \"Portable Network Graphics\" image can not be resize by changing "
                           "width and height properties. Try assigning the image from a bitmap.";
    EXPECT_EQ(message_of([&] { png.SetHeight(10); }), resize);
    EXPECT_EQ(message_of([&] { png.SetWidth(1); }), resize);
    EXPECT_EQ(png.Width(), 4u);

    TChunkIHDR header(&png);
    TChunkPLTE palette(&png);
    EXPECT_EQ(message_of([&] { header.CopyFrom(palette); }),
              "The chunks must be compatible to be assigned.");
    header.CopyFrom(png.Header());
    EXPECT_EQ(header.Height, 3u);
}
