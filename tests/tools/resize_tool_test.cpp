// kaptorama-image resize: files in and out, argument checking and the errors it reports.

#include "codec/bmp.h"
#include "resize/U_Interpolation_BiLineaire.h"
#include "tests/support/run_tool.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

class ResizeTool : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        for (int y = 0; y < 31; ++y)
            for (int i = 0; i < 3 * 53; ++i)
                source.scanLine(y)[i] = uchar(i * 7 + y * 13);
        write_bmp(source, in);
    }
    int run(const QStringList& args) { return run_tool(QStringList{"resize"} + args, &err); }
    QTemporaryDir dir;
    QString in = dir.filePath("in.bmp"), out = dir.filePath("out.bmp"), err;
    QImage source{53, 31, QImage::Format_BGR888};
};

TEST_F(ResizeTool, WritesTheResampledPictureAsBmp) {
    ASSERT_EQ(run({in, out, "120", "45"}), 0) << err.toStdString();
    EXPECT_EQ(read_bmp(out), resample_bilinear(source, 120, 45));
    const QString png = dir.filePath("in.png"); // other formats are read through Qt
    ASSERT_TRUE(source.save(png));
    ASSERT_EQ(run({png, out, "20", "20"}), 0) << err.toStdString();
    EXPECT_EQ(read_bmp(out), resample_bilinear(source, 20, 20));
}

TEST_F(ResizeTool, FailuresWriteNothing) {
    ASSERT_TRUE(QFile::copy(in, out)); // a good file stands at OUT and must survive
    EXPECT_EQ(run({in, out, "400", "0"}), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("Propriété TProgressBar hors limites")));
    EXPECT_EQ(run({in, out, "0", "10"}), 1); // an empty picture
    EXPECT_EQ(run({dir.filePath("missing.bmp"), out, "10", "10"}), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("Impossible d'ouvrir le fichier")));
    EXPECT_EQ(read_bmp(out), source);
}

TEST_F(ResizeTool, RejectsBadArguments) {
    EXPECT_EQ(run({in, out, "10"}), 2);
    EXPECT_EQ(run({in, out, "10", "dix"}), 2);
    EXPECT_EQ(run({in, out, "1e3", "10"}), 2);
    EXPECT_FALSE(QFile::exists(out));
}

} // namespace
