// Text drawn into the picture looks as the floating label shows it over the same pixels.

#include "edit/raster.h"
#include "edit/text_label.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPainter>
#include <cstring>
#include <tuple>

namespace {

QImage patterned(int w, int h) {
    QImage image(w, h, QImage::Format_BGR888);
    for (int y = 0; y < h; ++y)
        for (int i = 0; i < w * 3; ++i)
            image.scanLine(y)[i] = uchar(i * 3 + y * 5);
    return image;
}

// What the floating label with this font and colour, sized to its text, shows over `picture`
// with its text beginning at `at`.
QImage as_label_shows_it(const QImage& picture, QPoint at, const QString& text, const QFont& font,
                         unsigned colour) {
    TextLabel label;
    label.setText(text);
    label.setFont(font);
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, qt_colour(colour));
    label.setPalette(palette);
    label.fit_to_text();
    QImage screen = picture.convertToFormat(QImage::Format_RGB32);
    label.render(&screen, at - label.text_origin(), QRegion(),
                 QWidget::RenderFlags()); // no background
    return screen.convertToFormat(QImage::Format_BGR888);
}

TEST(Text, DrawnAsTheLabelShowsIt) {
    QFont bold(QStringLiteral("DejaVu Sans"));
    bold.setPixelSize(19);
    bold.setBold(true);
    QFont italic(QStringLiteral("DejaVu Serif")); // its first and last glyphs overhang
    italic.setPixelSize(26);
    italic.setItalic(true);
    for (const auto& [font, text, at] :
         {std::tuple{bold, QStringLiteral("Écran à annoter"), QPoint(12, 9)},
          std::tuple{bold, QStringLiteral("Écran à annoter"), QPoint(-25, 30)},
          std::tuple{bold, QStringLiteral("Écran à annoter"), QPoint(150, -6)},
          std::tuple{italic, QStringLiteral("fjord f"), QPoint(20, 12)}}) {
        SCOPED_TRACE(testing::Message() << text.toStdString() << " " << at.x() << "," << at.y());
        const QImage before = patterned(200, 60);
        QImage image = before;
        const QRect changed = draw_text(image, at, text, font, 0x000000FF);
        EXPECT_EQ(image, as_label_shows_it(before, at, text, font, 0x000000FF));
        // The rectangle returned holds every changed pixel.
        ASSERT_FALSE(changed.isEmpty());
        EXPECT_TRUE(image.rect().contains(changed));
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (!changed.contains(x, y)) {
                    ASSERT_EQ(std::memcmp(image.constScanLine(y) + x * 3,
                                          before.constScanLine(y) + x * 3, 3),
                              0)
                        << x << "," << y;
                }
    }
}

TEST(Text, SolidStrokesInTheColourAndNothingOutsideThePicture) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(40);
    QImage image(120, 60, QImage::Format_BGR888);
    image.fill(Qt::white);
    draw_text(image, {5, 5}, QStringLiteral("I"), font, 0x00FF0000);
    int solid = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 120; ++x)
            solid += image.pixelColor(x, y) == QColor(0, 0, 255) ? 1 : 0;
    EXPECT_GT(solid, 40);
    const QImage kept = image.copy();
    EXPECT_TRUE(draw_text(image, {500, 500}, QStringLiteral("loin"), font, 0).isEmpty());
    EXPECT_TRUE(draw_text(image, {5, 5}, QString(), font, 0).isEmpty());
    EXPECT_EQ(image, kept);
}

} // namespace
