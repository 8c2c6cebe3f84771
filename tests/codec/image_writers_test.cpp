#include "codec/bmp.h"
#include "codec/image_writers.h"
#include "codec_test_util.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray read_all(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(ImageWriters, FilesPassPngcheckAndDecodeToTheirPixels) {
    QTemporaryDir dir;
    const QImage picture = sample_picture();
    const QString png = dir.filePath("a.png"), png8 = dir.filePath("b.png");
    write_png(picture, png);
    write_png8(picture, png8);
    EXPECT_EQ(picture, sample_picture()) << "the caller's picture is left alone";

#ifndef _WIN32 // pngcheck is a Linux program
    QProcess check;
    check.start("pngcheck", {"-q", png, png8});
    ASSERT_TRUE(check.waitForFinished(10000)) << "pngcheck is needed";
    EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().toStdString();
#endif
    EXPECT_EQ(libpng_decode(read_all(png)), picture.convertToFormat(QImage::Format_RGB888));
    EXPECT_TRUE(read_all(png).contains("IDAT\x78\xDA"));
    EXPECT_EQ(libpng_decode(read_all(png8)),
              to_halftone_palette(picture).convertToFormat(QImage::Format_RGB888));
}

TEST(ImageWriters, FailedWritesLeaveTheFormerFileAlone) {
    QTemporaryDir dir;
    const QString target = dir.filePath("keep.jpg");
    write_jpeg(sample_picture(), target, 80);
    const QByteArray before = read_all(target);
    ASSERT_FALSE(djpeg_decode(before).isNull());
    EXPECT_THROW(write_jpeg(QImage(), target, 80), KapError);
    EXPECT_EQ(read_all(target), before);
    try {
        write_png(sample_picture(), dir.filePath("missing/x.png"));
        FAIL() << "wrote into a missing folder";
    } catch (const KapError& e) {
        EXPECT_TRUE(e.message().startsWith("Impossible de créer le fichier \"")) << e.what();
    }
}
