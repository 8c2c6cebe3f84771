// The embedded toolbar glyphs and tool cursors, and the named-cursor lookup.

#include "platform/tool_cursors.h"

#include <QBitmap>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <gtest/gtest.h>

namespace {

struct Resource {
    const char* path;
    int size;
};

const Resource kResources[] = {
    {":/glyphs/capture_bureau.png", 32},
    {":/glyphs/capture_fenetre.png", 32},
    {":/glyphs/capture_selection.png", 32},
    {":/glyphs/insere_curseur.png", 32},
    {":/glyphs/copy_clipboard.png", 32},
    {":/glyphs/appli_extern.png", 32},
    {":/glyphs/mail.png", 32},
    {":/glyphs/reload.png", 24},
    {":/glyphs/fenetre_reglages.png", 32},
    {":/glyphs/save.png", 32},
    {":/cursors/feutre_jaune.png", 32},
    {":/cursors/feutre_vert.png", 32},
    {":/cursors/feutre_bleu.png", 32},
    {":/cursors/feutre_rouge.png", 32},
    {":/cursors/stylet.png", 32},
};

QImage load(const QString& path) {
    return QImage(path).convertToFormat(QImage::Format_ARGB32);
}

bool is_dark(QRgb p) {
    return qAlpha(p) == 255 && qRed(p) < 64 && qGreen(p) < 64 && qBlue(p) < 64;
}

TEST(Glyphs, EveryResourceLoadsAtItsSizeWithTransparency) {
    for (const Resource& r : kResources) {
        SCOPED_TRACE(r.path);
        const QImage raw(QString::fromLatin1(r.path));
        ASSERT_FALSE(raw.isNull());
        EXPECT_TRUE(raw.hasAlphaChannel());
        EXPECT_EQ(raw.size(), QSize(r.size, r.size));
        const QImage img = raw.convertToFormat(QImage::Format_ARGB32);
        int clear = 0, opaque = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const int a = qAlpha(img.pixel(x, y));
                clear += a == 0;
                opaque += a == 255;
            }
        EXPECT_GT(clear, 0);
        // Something to see, not a stray pixel.
        EXPECT_GT(opaque, img.width() * img.height() / 8);
    }
}

TEST(Glyphs, ResourceFileListsEveryImageOfTheSourceTree) {
    for (const char* folder : {"glyphs", "cursors"}) {
        SCOPED_TRACE(folder);
        const QDir source(QStringLiteral(KAP_SOURCE_DIR "/resources/") + folder);
        const QDir embedded(QStringLiteral(":/") + folder);
        const QStringList on_disk = source.entryList({"*.png"}, QDir::Files, QDir::Name);
        EXPECT_FALSE(on_disk.isEmpty());
        EXPECT_EQ(embedded.entryList({"*.png"}, QDir::Files, QDir::Name), on_disk);
    }
}

// Each felt tip carries its highlighter ink, and the nib ends exactly at the hot spot: the
// hot-spot pixel is the black outline and no pixel of the pen lies left of it or below it
// (only the white halo does).
TEST(Cursors, FeltTipsHaveTheirInkAndTheirNibAtTheHotSpot) {
    const struct {
        const char* name;
        QRgb ink;
    } pens[] = {
        {"feutre_jaune", qRgb(255, 255, 0)},
        {"feutre_vert", qRgb(0, 255, 0)},
        {"feutre_bleu", qRgb(0, 255, 255)},
        {"feutre_rouge", qRgb(255, 0, 255)},
    };
    for (const auto& pen : pens) {
        SCOPED_TRACE(pen.name);
        const QImage img = load(QStringLiteral(":/cursors/%1.png").arg(pen.name));
        ASSERT_EQ(img.size(), QSize(32, 32));
        EXPECT_TRUE(is_dark(img.pixel(14, 15)));
        int ink = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const QRgb p = img.pixel(x, y);
                ink += (p & 0xffffff) == (pen.ink & 0xffffff) && qAlpha(p) == 255;
                const bool halo_or_clear = qAlpha(p) == 0 || (p & 0xffffff) == 0xffffff;
                if ((x < 14 || y > 15) && !halo_or_clear)
                    ADD_FAILURE() << "pen pixel at " << x << "," << y;
            }
        EXPECT_GE(ink, 10);
        // The halo rings the tip so it shows on dark pictures.
        EXPECT_EQ(img.pixel(13, 16), qRgb(255, 255, 255));
    }
}

TEST(Cursors, StylusPointIsTheLowerLeftCorner) {
    const QImage img = load(":/cursors/stylet.png");
    ASSERT_EQ(img.size(), QSize(32, 32));
    EXPECT_TRUE(is_dark(img.pixel(0, 31)));
}

// A cursor mask is all or nothing: no partly transparent pixel, and every visible pixel is
// either the outline, the halo or the body.
TEST(Cursors, AlphaIsAMask) {
    for (const char* name :
         {"feutre_jaune", "feutre_vert", "feutre_bleu", "feutre_rouge", "stylet"}) {
        SCOPED_TRACE(name);
        const QImage img = load(QStringLiteral(":/cursors/%1.png").arg(name));
        int black = 0, white = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const QRgb p = img.pixel(x, y);
                EXPECT_TRUE(qAlpha(p) == 0 || qAlpha(p) == 255) << x << "," << y;
                black += p == qRgb(0, 0, 0);
                white += p == qRgb(255, 255, 255);
            }
        EXPECT_GE(black, 20);
        EXPECT_GE(white, 20);
    }
}

TEST(ToolCursor, NamedCursorsHaveTheirHotSpotsWhateverTheCase) {
    const struct {
        const char* name;
        QPoint hot;
    } cases[] = {
        {"feutre_jaune", {14, 15}}, {"FEUTRE_VERT", {14, 15}}, {"Feutre_Bleu", {14, 15}},
        {"feutre_rouge", {14, 15}}, {"STYLET", {0, 31}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QCursor cursor = tool_cursor(QString::fromLatin1(c.name));
        EXPECT_EQ(cursor.shape(), Qt::BitmapCursor);
        EXPECT_EQ(cursor.hotSpot(), c.hot);
        const QImage shown = cursor.pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
        const QImage file =
            load(QStringLiteral(":/cursors/%1.png").arg(QString::fromLatin1(c.name).toLower()));
        EXPECT_EQ(shown, file);
    }
}

TEST(ToolCursor, RepeatedLookupsShareOnePixmap) {
    const QCursor first = tool_cursor("stylet");
    const QCursor again = tool_cursor("Stylet");
    EXPECT_EQ(first.pixmap().cacheKey(), again.pixmap().cacheKey());
    EXPECT_NE(first.pixmap().cacheKey(), tool_cursor("feutre_jaune").pixmap().cacheKey());
}

TEST(ToolCursor, UnknownNamesGiveTheArrow) {
    for (const char* name : {"", "feutre", "feutre_noir", "stylet.png", ":/cursors/stylet"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(tool_cursor(QString::fromLatin1(name)).shape(), Qt::ArrowCursor);
    }
}

} // namespace
