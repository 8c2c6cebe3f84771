#include "platform/core/frames.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

QImage patterned(int w, int h) {
    QImage image(w, h, QImage::Format_BGR888);
    for (int y = 0; y < h; ++y)
        for (int i = 0; i < w * 3; ++i)
            image.scanLine(y)[i] = uchar(i * 7 + y * 13);
    return image;
}

// Frames large enough for their own mapping and small ones alike behave as Qt's pictures: the
// layout QImage gives, pixels that belong to the frame, copies that part on the first write.
TEST(Frames, NewFramesAreOrdinaryPicturesLargeOrSmall) {
    for (const QSize size : {QSize(3841, 2161), QSize(33, 5)}) {
        QImage frame = new_frame(size);
        ASSERT_FALSE(frame.isNull());
        EXPECT_EQ(frame.size(), size);
        EXPECT_EQ(frame.format(), QImage::Format_BGR888);
        EXPECT_EQ(frame.bytesPerLine(), QImage(size, QImage::Format_BGR888).bytesPerLine());
        frame.fill(Qt::red);
        QImage shared = frame;
        EXPECT_FALSE(owns_frame(frame));
        ASSERT_TRUE(own_frame(frame));
        EXPECT_TRUE(owns_frame(frame));
        EXPECT_NE(frame.constBits(), shared.constBits());
        frame.setPixelColor(size.width() - 1, size.height() - 1, Qt::blue);
        EXPECT_EQ(shared.pixelColor(size.width() - 1, size.height() - 1), QColor(Qt::red));
        EXPECT_EQ(frame.copy(0, 0, 1, 1), shared.copy(0, 0, 1, 1));
    }
    // The last large frame let go comes back for the next of its size, its pages in place.
    const uchar* first = nullptr;
    {
        QImage frame = new_frame(QSize(4000, 3000));
        first = frame.constBits();
    }
    EXPECT_EQ(new_frame(QSize(4000, 3000)).constBits(), first);
    EXPECT_TRUE(new_frame(QSize(0, 10)).isNull());
    EXPECT_TRUE(new_frame(QSize(1 << 30, 1 << 30)).isNull()); // more than any picture may hold
}

TEST(Frames, CopiesMatchQtsOwnInsideAndAcrossTheEdges) {
    const QImage picture = patterned(2000, 1500);
    for (const QRect area : {QRect(0, 0, 2000, 1500), QRect(17, 3, 1900, 1400),
                             QRect(-5, 1490, 30, 20), QRect(1990, -2, 40, 1600)}) {
        const QImage copy = copy_to_frame(picture, area);
        ASSERT_FALSE(copy.isNull());
        EXPECT_EQ(copy, picture.copy(area)) << area.x() << "," << area.y();
    }
}

} // namespace
