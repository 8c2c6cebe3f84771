// kaptorama-image resize: files in and out, argument checking and the errors it reports.

#include "codec/bmp.h"
#include "resize/U_Interpolation_BiLineaire.h"
#include "tools/kaptorama-image/commands.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

QImage noise(int w, int h, unsigned seed) {
    QImage img(w, h, QImage::Format_BGR888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < 3 * w; ++x) {
            seed = seed * 1103515245u + 12345u;
            img.scanLine(y)[x] = uchar(seed >> 16);
        }
    return img;
}

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class ResizeCommand : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        in = dir.filePath("in.bmp");
        out = dir.filePath("out.bmp");
        source = noise(53, 31, 1);
        write_bmp(source, in);
    }
    int run(const QStringList& args) {
        ::testing::internal::CaptureStderr();
        const int rc = run_resize_command(args);
        err = QString::fromStdString(::testing::internal::GetCapturedStderr());
        return rc;
    }
    QTemporaryDir dir;
    QString in, out, err;
    QImage source;
};

TEST_F(ResizeCommand, WritesTheResampledPictureAsBmp) {
    ASSERT_EQ(run({in, out, "120", "45"}), 0) << err.toStdString();
    const QImage written = read_bmp(out);
    const QImage want = resample_bilinear(source, 120, 45);
    ASSERT_EQ(written.size(), want.size());
    for (int y = 0; y < 45; ++y)
        ASSERT_EQ(memcmp(written.constScanLine(y), want.constScanLine(y), 3 * 120), 0) << y;
}

TEST_F(ResizeCommand, ReadsPngToo) {
    const QString png = dir.filePath("in.png");
    ASSERT_TRUE(source.save(png));
    ASSERT_EQ(run({png, out, "20", "20"}), 0) << err.toStdString();
    EXPECT_EQ(read_bmp(out).size(), QSize(20, 20));
}

TEST_F(ResizeCommand, HeightZeroFailsWithTheErrorAndWritesNothing) {
    QFile::copy(in, out); // a good file stands at OUT and must survive
    const QByteArray before = contents(out);
    EXPECT_NE(run({in, out, "400", "0"}), 0);
    EXPECT_TRUE(err.contains(QStringLiteral("Propriété TProgressBar hors limites")))
        << err.toStdString();
    EXPECT_EQ(contents(out), before);
}

TEST_F(ResizeCommand, WidthZeroWritesNothing) {
    EXPECT_EQ(run({in, out, "0", "10"}), 1);
    EXPECT_FALSE(QFile::exists(out));
    EXPECT_FALSE(err.isEmpty());
}

TEST_F(ResizeCommand, RejectsBadArguments) {
    EXPECT_EQ(run({in, out, "10"}), 2);
    EXPECT_EQ(run({in, out, "10", "dix"}), 2);
    EXPECT_EQ(run({in, out, "1e3", "10"}), 2);
    EXPECT_FALSE(QFile::exists(out));
}

TEST_F(ResizeCommand, UnreadableInputIsReported) {
    EXPECT_EQ(run({dir.filePath("missing.bmp"), out, "10", "10"}), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("Impossible d'ouvrir le fichier")))
        << err.toStdString();
    QFile junk(dir.filePath("junk.bmp"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("BM this is not a bitmap");
    junk.close();
    EXPECT_EQ(run({junk.fileName(), out, "10", "10"}), 1);
    EXPECT_FALSE(QFile::exists(out));
}

} // namespace
