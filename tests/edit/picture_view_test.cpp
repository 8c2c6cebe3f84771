#include "edit/picture_view.h"

#include <gtest/gtest.h>

#include <QPainter>

namespace {

// The view writes 24-bit pixels straight into 32-bit rasters: the result must be what Qt's own
// drawing gives, at any offset, for part of the picture or all of it, and over what lies around.
TEST(PictureViewPaint, WritesTheSamePixelsAsQtsDrawing) {
    QImage picture(37, 23, QImage::Format_BGR888);
    for (int y = 0; y < picture.height(); ++y)
        for (int i = 0; i < picture.width() * 3; ++i)
            picture.scanLine(y)[i] = uchar(i * 29 + y * 7);
    PictureView view;
    view.set_picture(picture);
    for (const QImage::Format format :
         {QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB32}) {
        for (const QRegion& region : {QRegion(view.rect()), QRegion(QRect(3, 2, 9, 11))}) {
            QImage ours(50, 40, format);
            ours.fill(0xFF102030);
            QImage qts = ours.copy();
            // The region's top-left corner lands on the offset given.
            view.render(&ours, QPoint(5, 4), region, QWidget::RenderFlags());
            QPainter painter(&qts);
            const QPoint shift = QPoint(5, 4) - region.boundingRect().topLeft();
            for (const QRect& area : region)
                painter.drawImage(area.topLeft() + shift, picture, area);
            painter.end();
            EXPECT_EQ(ours, qts) << int(format);
        }
    }
}

} // namespace
