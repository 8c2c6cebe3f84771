// The reader against a public corpus of valid, questionable and broken BMP files. Pictures it
// decodes are compared pixel by pixel with ImageMagick's decoding of the same file.

#include "bmp_test_util.h"
#include "codec/bmp.h"
#include "platform/core/error.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

using namespace bmptest;

namespace {

QString suite_folder(const char* leaf) {
    return QStringLiteral(KAP_SHARED_DIR "/bmpsuite/") + QString::fromLatin1(leaf);
}

QStringList suite_files(const char* leaf) {
    QDir dir(suite_folder(leaf));
    QStringList paths;
    for (const QString& name : dir.entryList({"*.bmp"}, QDir::Files, QDir::Name))
        paths << dir.filePath(name);
    return paths;
}

// Depth and compression as the file declares them, read independently of the decoder.
struct Declared {
    int bits = 0;
    std::uint32_t compression = 0xFFFFFFFF;
};

Declared declared(const QByteArray& f) {
    Declared d;
    if (f.size() < 34)
        return d;
    if (u32(f, 14) == 12) {
        d.bits = int(u16(f, 24));
        d.compression = 0;
    } else {
        d.bits = int(u16(f, 28));
        d.compression = u32(f, 30);
    }
    return d;
}

bool have_magick() {
    return !QStandardPaths::findExecutable("convert").isEmpty();
}

// ImageMagick's reading of the file as 8-bit red, green, blue triples; empty when it fails.
QByteArray magick_rgb(const QString& path) {
    QProcess p;
    p.start("convert", {"bmp:" + path, "-depth", "8", "rgb:-"});
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QByteArray();
    return p.readAllStandardOutput();
}

// Empty when every pixel matches ImageMagick, else a description of the first difference.
std::string compare_with_magick(const QImage& image, const QByteArray& rgb) {
    const qsizetype expected = qsizetype(image.width()) * image.height() * 3;
    if (rgb.size() != expected)
        return "ImageMagick gave " + std::to_string(rgb.size()) + " bytes, expected " +
               std::to_string(expected);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const qsizetype at = (qsizetype(y) * image.width() + x) * 3;
            const QRgb ours = image.pixel(x, y);
            const QRgb theirs =
                qRgb(byte(rgb, int(at)), byte(rgb, int(at + 1)), byte(rgb, int(at + 2)));
            if (ours != theirs)
                return "pixel " + std::to_string(x) + "," + std::to_string(y) + ": ours " +
                       QString::number(ours & 0xFFFFFF, 16).toStdString() + ", ImageMagick " +
                       QString::number(theirs & 0xFFFFFF, 16).toStdString();
        }
    return std::string();
}

QImage::Format format_for_bits(int bits) {
    switch (bits) {
    case 8:
        return QImage::Format_Indexed8;
    case 24:
        return QImage::Format_BGR888;
    case 32:
        return QImage::Format_RGB32;
    }
    return QImage::Format_Invalid;
}

#define REQUIRE_SUITE(leaf)                                                                        \
    do {                                                                                           \
        if (suite_files(leaf).isEmpty())                                                           \
            GTEST_SKIP() << "no BMP corpus in " << suite_folder(leaf).toStdString();               \
    } while (false)

#define REQUIRE_MAGICK()                                                                           \
    do {                                                                                           \
        if (!have_magick())                                                                        \
            GTEST_SKIP() << "ImageMagick's convert is needed as the reference decoder";            \
    } while (false)

} // namespace

TEST(BmpSuite, ValidUncompressedFilesDecodeExactly) {
    REQUIRE_SUITE("g");
    REQUIRE_MAGICK();
    int decoded = 0;
    for (const QString& path : suite_files("g")) {
        SCOPED_TRACE(path.toStdString());
        const QByteArray f = file_bytes(path);
        const Declared d = declared(f);
        const bool must_decode = (d.bits == 8 || d.bits == 24 || d.bits == 32) &&
                                 (d.compression == 0 || (d.compression == 3 && d.bits == 32));
        QString reason;
        const QImage image = decode_bmp(f.constData(), std::size_t(f.size()), &reason);
        if (image.isNull()) {
            EXPECT_FALSE(must_decode) << reason.toStdString();
            EXPECT_FALSE(reason.isEmpty());
            continue;
        }
        ++decoded;
        EXPECT_EQ(image.format(), format_for_bits(d.bits));
        EXPECT_EQ(compare_with_magick(image, magick_rgb(path)), "");
        EXPECT_EQ(read_bmp(path), image);
    }
    EXPECT_GT(decoded, 0);
}

TEST(BmpSuite, QuestionableFilesDecodeLikeImageMagickOrAreRefused) {
    REQUIRE_SUITE("q");
    REQUIRE_MAGICK();
    for (const QString& path : suite_files("q")) {
        SCOPED_TRACE(path.toStdString());
        const QByteArray f = file_bytes(path);
        QString reason;
        const QImage image = decode_bmp(f.constData(), std::size_t(f.size()), &reason);
        if (image.isNull()) {
            EXPECT_FALSE(reason.isEmpty());
            continue;
        }
        EXPECT_TRUE(reason.isEmpty());
        const QByteArray reference = magick_rgb(path);
        if (!reference.isEmpty()) {
            EXPECT_EQ(compare_with_magick(image, reference), "");
        }
    }
}

TEST(BmpSuite, BrokenFilesAreAllRefused) {
    REQUIRE_SUITE("b");
    for (const QString& path : suite_files("b")) {
        SCOPED_TRACE(path.toStdString());
        const QByteArray f = file_bytes(path);
        QString reason;
        EXPECT_TRUE(decode_bmp(f.constData(), std::size_t(f.size()), &reason).isNull());
        EXPECT_FALSE(reason.isEmpty());
        try {
            read_bmp(path);
            ADD_FAILURE() << "read_bmp accepted it";
        } catch (const KapError& e) {
            EXPECT_EQ(e.message(), msg_cannot_open(path, reason));
        }
    }
}
