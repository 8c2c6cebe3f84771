// What the BMP reader accepts, what it refuses, and how it says so.

#include "bmp_test_util.h"
#include "codec/bmp.h"
#include "platform/core/error.h"

#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace bmptest;

namespace {

QImage decode(const QByteArray& b, QString* reason) {
    return decode_bmp(b.constData(), std::size_t(b.size()), reason);
}

// A 32-bit file of ours turned into one with colour masks after the 40-byte header.
QByteArray with_masks(const QByteArray& plain, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    QByteArray f = plain.left(54);
    f.append(12, '\0');
    set_u32(f, 54, r);
    set_u32(f, 58, g);
    set_u32(f, 62, b);
    f += plain.mid(54);
    set_u32(f, 2, std::uint32_t(f.size()));
    set_u32(f, 10, 66);
    set_u32(f, 30, 3);
    return f;
}

struct Damage {
    const char* what;
    std::function<void(QByteArray&)> apply;
    const char* reason_contains;
};

} // namespace

TEST(BmpReader, RefusesDamagedOrUnsupportedFilesWithAReason) {
    const QByteArray rgb = encode_bmp(pattern_image(5, 4, QImage::Format_BGR888));
    const QByteArray indexed = encode_bmp(pattern_indexed(5, 4, 16));
    const QByteArray rgb32 = encode_bmp(pattern_image(5, 4, QImage::Format_RGB32));
    ASSERT_EQ(rgb.size(), 118);

    const std::vector<std::pair<QByteArray, Damage>> cases = {
        {rgb, {"empty", [](QByteArray& f) { f.clear(); }, "trop court"}},
        {rgb, {"no signature", [](QByteArray& f) { f[0] = 'X'; }, "pas une image BMP"}},
        {rgb,
         {"huge picture in a tiny file",
          [](QByteArray& f) {
              set_u32(f, 18, 0x7FFFFFFF);
              set_u32(f, 22, 0x7FFFFFFF);
          },
          "tronqués"}},
        {rgb,
         {"huge top-down picture",
          [](QByteArray& f) {
              set_u32(f, 18, 0x7FFFFFFF);
              set_u32(f, 22, 0x80000001);
          },
          "tronqués"}},
        {rgb, {"height -2^31", [](QByteArray& f) { set_u32(f, 22, 0x80000000); }, "Dimensions"}},
        {rgb, {"zero width", [](QByteArray& f) { set_u32(f, 18, 0); }, "Dimensions"}},
        {rgb,
         {"negative width", [](QByteArray& f) { set_u32(f, 18, std::uint32_t(-5)); },
          "Dimensions"}},
        {rgb, {"zero height", [](QByteArray& f) { set_u32(f, 22, 0); }, "Dimensions"}},
        {rgb, {"last pixel byte missing", [](QByteArray& f) { f.chop(1); }, "tronqués"}},
        {rgb, {"pixels beyond the end", [](QByteArray& f) { set_u32(f, 10, 119); }, "Position"}},
        {rgb, {"pixels inside the header", [](QByteArray& f) { set_u32(f, 10, 40); }, "Position"}},
        {rgb, {"odd header size", [](QByteArray& f) { set_u32(f, 14, 66); }, "En-tête"}},
        {rgb,
         {"header longer than the file", [](QByteArray& f) { set_u32(f, 14, 124); }, "tronqué"}},
        {rgb, {"OS/2 2.x header", [](QByteArray& f) { set_u32(f, 14, 64); }, "OS/2"}},
        {rgb, {"two planes", [](QByteArray& f) { f[26] = 2; }, "plans"}},
        {rgb, {"16 bits", [](QByteArray& f) { f[28] = 16; }, "16 bits"}},
        {rgb, {"4 bits", [](QByteArray& f) { f[28] = 4; }, "4 bits"}},
        {rgb, {"RLE", [](QByteArray& f) { f[30] = 1; }, "RLE"}},
        {rgb, {"embedded PNG", [](QByteArray& f) { f[30] = 5; }, "PNG"}},
        {rgb, {"unknown compression", [](QByteArray& f) { f[30] = 9; }, "inconnu"}},
        {rgb, {"masks on 24 bits", [](QByteArray& f) { f[30] = 3; }, "Masques"}},
        {indexed,
         {"colour count past the pixels", [](QByteArray& f) { set_u32(f, 46, 17); },
          "Table de couleurs"}},
        {indexed,
         {"colour count 2^32-1", [](QByteArray& f) { set_u32(f, 46, 0xFFFFFFFF); },
          "Table de couleurs"}},
        {indexed,
         {"index outside the table", [](QByteArray& f) { f[54 + 64 + 9] = 16; }, "absente"}},
        {rgb32,
         {"10-bit masks", [](QByteArray& f) { f = with_masks(f, 0x3FF00000, 0xFFC00, 0x3FF); },
          "Masques"}},
        {rgb32,
         {"overlapping masks", [](QByteArray& f) { f = with_masks(f, 0xFF0000, 0xFF00, 0xFF00); },
          "Masques"}},
        {rgb32,
         {"masks cut off", [](QByteArray& f) { f = with_masks(f, 0, 0, 0).left(60); }, "tronqué"}},
    };
    for (const auto& [original, damage] : cases) {
        SCOPED_TRACE(damage.what);
        QByteArray f = original;
        damage.apply(f);
        QString reason;
        const QImage image = decode(f, &reason);
        EXPECT_TRUE(image.isNull());
        EXPECT_TRUE(reason.contains(QString::fromUtf8(damage.reason_contains)))
            << reason.toStdString();
        EXPECT_FALSE(reason.endsWith('.')) << "the error box adds the full stop";
    }
}

TEST(BmpReader, ExactlyTheBytesNeededAreEnough) {
    // A file cut right after its last row (no trailing bytes) is whole; one more byte missing is
    // not. Rows past the declared image size are ignored.
    QByteArray f = encode_bmp(pattern_image(3, 3, QImage::Format_BGR888));
    QString reason;
    EXPECT_FALSE(decode(f, &reason).isNull()) << reason.toStdString();
    EXPECT_TRUE(reason.isEmpty());
    EXPECT_FALSE(decode(f + QByteArray(100, '\x7f'), &reason).isNull());
    f.chop(1);
    EXPECT_TRUE(decode(f, &reason).isNull());
}

TEST(BmpReader, ThirtyTwoBitMasksPlaceTheChannels) {
    const QImage image = pattern_image(5, 3, QImage::Format_RGB32);
    const QByteArray plain = encode_bmp(image);
    QString reason;

    const QImage standard = decode(with_masks(plain, 0xFF0000, 0xFF00, 0xFF), &reason);
    ASSERT_FALSE(standard.isNull()) << reason.toStdString();
    EXPECT_EQ(standard, image);

    // Red and blue masks exchanged: the file says red lives where we wrote blue.
    const QImage swapped = decode(with_masks(plain, 0xFF, 0xFF00, 0xFF0000), &reason);
    ASSERT_FALSE(swapped.isNull()) << reason.toStdString();
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const QRgb c = image.pixel(x, y);
            ASSERT_EQ(swapped.pixel(x, y), qRgb(qBlue(c), qGreen(c), qRed(c)));
        }
}

TEST(BmpReader, OldOs2HeaderTakesTheTableThatFitsBeforeThePixels) {
    // 12-byte header, two 3-byte colours, one 8-bit pixel padded to 4 bytes.
    QByteArray f("BM", 2);
    f.append(8, '\0');
    f.append(4, '\0');
    set_u32(f, 10, 14 + 12 + 6);
    const unsigned char rest[] = {12, 0,  0,  0,  1,  0,  1, 0, 1, 0, 8, 0, // header: 1 x 1, 8 bits
                                  10, 20, 30, 40, 50, 60, // blue, green, red twice
                                  1,  0,  0,  0};
    f.append(reinterpret_cast<const char*>(rest), sizeof rest);
    set_u32(f, 2, std::uint32_t(f.size()));
    QString reason;
    const QImage image = decode(f, &reason);
    ASSERT_FALSE(image.isNull()) << reason.toStdString();
    EXPECT_EQ(image.format(), QImage::Format_Indexed8);
    EXPECT_EQ(image.colorTable(), (QList<QRgb>{qRgb(30, 20, 10), qRgb(60, 50, 40)}));
    EXPECT_EQ(image.pixel(0, 0), qRgb(60, 50, 40));
}

TEST(BmpReader, UnusedByteOfThirtyTwoBitPixelsIsIgnored) {
    QByteArray f = encode_bmp(pattern_image(2, 1, QImage::Format_RGB32));
    f[54 + 3] = char(0x12);
    f[54 + 7] = char(0xFF);
    const QImage image = decode(f, nullptr);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixel(0, 0), pattern_colour(0, 0));
    EXPECT_EQ(image.pixel(1, 0), pattern_colour(1, 0));
}

TEST(BmpReader, FileErrorsNameThePathAndTheReason) {
    QTemporaryDir dir;
    const QString prefix = QStringLiteral("Impossible d'ouvrir le fichier \"");
    auto message_for = [](const QString& path) {
        try {
            read_bmp(path);
        } catch (const KapError& e) {
            return e.message();
        }
        return QString();
    };

    const QString missing = dir.filePath("kaptoramao.bmp");
    const QString m1 = message_for(missing);
    EXPECT_TRUE(m1.startsWith(prefix + missing + "\". ")) << m1.toStdString();
    EXPECT_GT(m1.size(), (prefix + missing + "\". ").size()) << "reason given";

    EXPECT_TRUE(message_for(dir.path()).startsWith(prefix + dir.path() + "\". "));

#ifndef _WIN32
    // A named pipe is refused at once instead of waiting for a writer.
    const QString fifo = dir.filePath("pipe.bmp");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_TRUE(message_for(fifo).startsWith(prefix + fifo + "\". "));
#endif

    const QString text = dir.filePath("texte.bmp");
    ASSERT_TRUE(write_bytes(text, "Bonjour, ceci n'est pas une image"));
    EXPECT_EQ(message_for(text), msg_cannot_open(text, "Ce n'est pas une image BMP"));
}
