// kaptorama-image's encoding subcommands, run as the program they are.
#include "codec/bmp.h"
#include "codec/image_writers.h"
#include "tests/codec/codec_test_util.h"
#include "tests/support/files.h"
#include "tests/support/run_tool.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

TEST(KaptoramaImage, EncodesEachFormatFromABmp) {
    QTemporaryDir dir;
    const QImage picture = sample_picture();
    const QString in = dir.filePath("in.bmp");
    write_bmp(picture, in);

    ASSERT_EQ(run_tool({"png", in, dir.filePath("o.png"), "--level", "1"}), 0);
    EXPECT_EQ(libpng_decode(file_bytes(dir.filePath("o.png"))),
              picture.convertToFormat(QImage::Format_RGB888));
    EXPECT_TRUE(file_bytes(dir.filePath("o.png")).contains("IDAT\x78\x01")) << "level 1";
    ASSERT_EQ(run_tool({"png8", in, dir.filePath("o8.png")}), 0);
    EXPECT_EQ(libpng_decode(file_bytes(dir.filePath("o8.png"))),
              to_halftone_palette(picture).convertToFormat(QImage::Format_RGB888));
    ASSERT_EQ(run_tool({"jpeg", in, dir.filePath("o.jpg"), "--quality=40"}), 0);
    const QRgb red = djpeg_decode(file_bytes(dir.filePath("o.jpg"))).pixel(10, 10);
    EXPECT_TRUE(qRed(red) > 230 && qBlue(red) < 25) << std::hex << red;
    // PNG input goes through Qt's reader.
    ASSERT_EQ(run_tool({"bmp", dir.filePath("o.png"), dir.filePath("o.bmp")}), 0);
    EXPECT_EQ(read_bmp(dir.filePath("o.bmp")), picture);
}

TEST(KaptoramaImage, ReportsBadArgumentsAndBadFiles) {
    QTemporaryDir dir;
    const QString in = dir.filePath("in.bmp"), out = dir.filePath("x.jpg");
    write_bmp(sample_picture(), in);

    QString text;
    EXPECT_EQ(run_tool({"--help"}, nullptr, &text), 0);
    EXPECT_TRUE(text.contains("png8 IN OUT"));
    for (const QStringList& args : {QStringList{},
                                    {"gif", in, out},
                                    {"jpeg", in},
                                    {"jpeg", in, out, "--quality", "0"},
                                    {"jpeg", in, out, "--level", "9"},
                                    {"png", in, out, "--level", "10"}})
        EXPECT_EQ(run_tool(args), 2) << args.join(' ').toStdString();
    EXPECT_FALSE(QFile::exists(out));

    EXPECT_EQ(run_tool({"png", dir.filePath("nope.bmp"), out}, &text), 1);
    EXPECT_TRUE(text.contains("Impossible d'ouvrir le fichier")) << text.toStdString();
    EXPECT_EQ(run_tool({"jpeg", in, dir.filePath("no/dir/x.jpg")}, &text), 1);
    EXPECT_TRUE(text.contains("Impossible de créer le fichier")) << text.toStdString();
}

#ifndef _WIN32
TEST(KaptoramaImage, RefusesPipesAndDevicesWithoutWaiting) {
    QTemporaryDir dir;
    const QString in = dir.filePath("in.bmp"), pipe = dir.filePath("tube");
    write_bmp(sample_picture(), in);
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QFile::link(pipe, dir.filePath("lien"));

    struct Case {
        QStringList args;
        const char* message;
    };
    const Case cases[] = {
        {{"png", pipe, dir.filePath("o.png")}, "Impossible d'ouvrir le fichier"},
        {{"png", dir.filePath("lien"), dir.filePath("o.png")}, "Impossible d'ouvrir le fichier"},
        {{"resize", "/dev/zero", dir.filePath("o.bmp"), "4", "4"},
         "Impossible d'ouvrir le fichier"},
        {{"bmp", in, pipe}, "Impossible de créer le fichier"},
        {{"jpeg", in, "/dev/null"}, "Impossible de créer le fichier"},
        {{"resize", in, pipe, "4", "4"}, "Impossible de créer le fichier"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        QString text;
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(run_tool(c.args, &text), 1);
        EXPECT_LT(timer.elapsed(), 20000);
        EXPECT_TRUE(text.contains(c.message)) << text.toStdString();
        EXPECT_TRUE(text.contains("Ce n'est pas un fichier")) << text.toStdString();
    }
    struct stat st {};
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode)) << "the device was left in place";
    EXPECT_FALSE(QFile::exists(dir.filePath("o.png")));
}
#endif
