// kaptorama-image negative: the picture's negative written as BMP, and the errors it reports.

#include "codec/bmp.h"
#include "tests/support/run_tool.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

class NegativeTool : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        for (int y = 0; y < 9; ++y)
            for (int i = 0; i < 3 * 7; ++i)
                source.scanLine(y)[i] = uchar(i * 11 + y * 29);
        write_bmp(source, in);
    }
    int run(const QStringList& args) { return run_tool(QStringList{"negative"} + args, &err); }
    QTemporaryDir dir;
    QString in = dir.filePath("in.bmp"), out = dir.filePath("out.bmp"), err;
    QImage source{7, 9, QImage::Format_BGR888};
};

TEST_F(NegativeTool, WritesTheNegativeAndTwiceGivesThePictureBack) {
    ASSERT_EQ(run({in, out}), 0) << err.toStdString();
    const QImage negative = read_bmp(out);
    ASSERT_EQ(negative.size(), source.size());
    for (int y = 0; y < 9; ++y)
        for (int i = 0; i < 21; ++i)
            ASSERT_EQ(negative.constScanLine(y)[i], 255 - source.constScanLine(y)[i]);
    const QString back = dir.filePath("back.bmp");
    ASSERT_EQ(run({out, back}), 0) << err.toStdString();
    EXPECT_EQ(read_bmp(back), source);
}

TEST_F(NegativeTool, FailuresLeaveTheOutputAlone) {
    ASSERT_TRUE(QFile::copy(in, out));
    EXPECT_EQ(run({dir.filePath("missing.bmp"), out}), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("Impossible d'ouvrir le fichier")));
    EXPECT_EQ(run({in, dir.filePath("no/such/folder/out.bmp")}), 1);
    EXPECT_EQ(run({in}), 2);
    EXPECT_EQ(run({in, out, "extra"}), 2);
    EXPECT_EQ(read_bmp(out), source);
}

} // namespace
