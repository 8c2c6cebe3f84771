#include "codec/bmp.h"
#include "codec/halftone.h"
#include "codec/image_writers.h"
#include "codec_test_util.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray read_all(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QImage sample_picture() {
    QImage picture(90, 60, QImage::Format_BGR888);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 90; ++x)
            picture.setPixel(x, y, x < 45 ? qRgb(255, 0, 0) : qRgb(x * 2, y * 4, 200));
    return picture;
}

struct ToolRun {
    int code;
    QString out, err;
};

ToolRun run_tool(const QStringList& args) {
    QProcess process;
    process.start(QStringLiteral(KAP_BINARY_DIR "/kaptorama-image"), args);
    if (!process.waitForFinished(60000))
        return {-1, {}, QStringLiteral("did not finish")};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

TEST(ImageWriters, PngFilesPassPngcheckAndDecodeToTheSamePixels) {
    QTemporaryDir dir;
    const QImage picture = sample_picture();
    const QString png = temp_path(dir.path(), "a.png"), png8 = temp_path(dir.path(), "b.png");
    write_png(picture, png);
    write_png8(picture, png8);
    EXPECT_EQ(picture, sample_picture()) << "the caller's picture is left alone";

    QProcess check;
    check.start("pngcheck", {"-q", png, png8});
    ASSERT_TRUE(check.waitForFinished(10000)) << "pngcheck is needed";
    EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().toStdString();

    EXPECT_EQ(libpng_decode(read_all(png)), picture.convertToFormat(QImage::Format_RGB888));
    EXPECT_EQ(libpng_decode(read_all(png8)),
              to_halftone_palette(picture).convertToFormat(QImage::Format_RGB888));
    EXPECT_TRUE(read_all(png).contains("IDAT\x78\xDA"));
}

TEST(ImageWriters, FailedWritesLeaveTheFormerFileAlone) {
    QTemporaryDir dir;
    const QString target = temp_path(dir.path(), "keep.jpg");
    write_jpeg(sample_picture(), target, 80);
    const QByteArray before = read_all(target);
    ASSERT_FALSE(before.isEmpty());
    EXPECT_THROW(write_jpeg(QImage(), target, 80), KapError);
    EXPECT_EQ(read_all(target), before);

    try {
        write_png(sample_picture(), temp_path(dir.path(), "missing/x.png"));
        FAIL() << "wrote into a missing folder";
    } catch (const KapError& e) {
        EXPECT_TRUE(e.message().startsWith("Impossible de créer le fichier \"")) << e.what();
    }
}

TEST(KaptoramaImage, EncodesEachFormatFromABmp) {
    QTemporaryDir dir;
    const QImage picture = sample_picture();
    const QString in = temp_path(dir.path(), "in.bmp");
    write_bmp(picture, in);

    ASSERT_EQ(run_tool({"png", in, dir.filePath("o.png"), "--level", "1"}).code, 0);
    EXPECT_EQ(libpng_decode(read_all(dir.filePath("o.png"))),
              picture.convertToFormat(QImage::Format_RGB888));
    EXPECT_TRUE(read_all(dir.filePath("o.png")).contains("IDAT\x78\x01")) << "level 1 header";

    ASSERT_EQ(run_tool({"png8", in, dir.filePath("o8.png")}).code, 0);
    EXPECT_EQ(libpng_decode(read_all(dir.filePath("o8.png"))),
              to_halftone_palette(picture).convertToFormat(QImage::Format_RGB888));

    ASSERT_EQ(run_tool({"jpeg", in, dir.filePath("o.jpg"), "--quality=40"}).code, 0);
    const JpegInfo jpeg = libjpeg_decode(read_all(dir.filePath("o.jpg")));
    EXPECT_EQ(jpeg.pixels.size(), picture.size());
    EXPECT_GT(qRed(jpeg.pixels.pixel(10, 10)), 230);
    EXPECT_LT(qBlue(jpeg.pixels.pixel(10, 10)), 25);

    // PNG input through Qt's reader, back out as BMP.
    ASSERT_EQ(run_tool({"bmp", dir.filePath("o.png"), dir.filePath("o.bmp")}).code, 0);
    EXPECT_EQ(read_bmp(dir.filePath("o.bmp")), picture);
}

TEST(KaptoramaImage, ReportsBadArgumentsAndBadFiles) {
    QTemporaryDir dir;
    const QString in = temp_path(dir.path(), "in.bmp");
    write_bmp(sample_picture(), in);

    const ToolRun help = run_tool({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(help.out.contains("png8 IN OUT"));
    EXPECT_EQ(run_tool({}).code, 2);
    EXPECT_EQ(run_tool({"gif", in, dir.filePath("x")}).code, 2);
    EXPECT_EQ(run_tool({"png", in}).code, 2);
    EXPECT_EQ(run_tool({"jpeg", in, dir.filePath("x.jpg"), "--quality", "0"}).code, 2);
    EXPECT_EQ(run_tool({"jpeg", in, dir.filePath("x.jpg"), "--quality", "101"}).code, 2);
    EXPECT_EQ(run_tool({"jpeg", in, dir.filePath("x.jpg"), "--level", "9"}).code, 2);
    EXPECT_EQ(run_tool({"png", in, dir.filePath("x.png"), "--level", "10"}).code, 2);
    EXPECT_FALSE(QFile::exists(dir.filePath("x.jpg")) || QFile::exists(dir.filePath("x.png")));

    const ToolRun missing = run_tool({"png", dir.filePath("nope.bmp"), dir.filePath("x.png")});
    EXPECT_EQ(missing.code, 1);
    EXPECT_TRUE(missing.err.contains("Impossible d'ouvrir le fichier"))
        << missing.err.toStdString();

    const QString garbage = dir.filePath("garbage.png");
    QFile file(garbage);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a picture at all");
    file.close();
    EXPECT_EQ(run_tool({"jpeg", garbage, dir.filePath("x.jpg")}).code, 1);

    const ToolRun unwritable = run_tool({"jpeg", in, dir.filePath("no/such/dir/x.jpg")});
    EXPECT_EQ(unwritable.code, 1);
    EXPECT_TRUE(unwritable.err.contains("Impossible de créer le fichier"));
}
