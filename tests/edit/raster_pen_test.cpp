// Pen drawing on 24-bit pictures: the 1-pixel line rule, wide round pens checked against a brute
// force distance test, rectangle outlines, NOT-XOR that undoes itself, clipping of far-away
// points, the arrow head, the highlighter's AND stamp and the negative.

#include "edit/raster.h"

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <vector>

namespace {

constexpr unsigned kWhite = 0x00FFFFFF;
constexpr unsigned kPen = 0x00123456; // every channel changes under NOT-XOR

QImage filled(int w, int h, unsigned colour) {
    QImage image(w, h, QImage::Format_BGR888);
    image.fill(qt_colour(colour));
    return image;
}

// A picture whose every byte differs from its neighbours.
QImage patterned(int w, int h) {
    QImage image(w, h, QImage::Format_BGR888);
    for (int y = 0; y < h; ++y)
        for (int i = 0; i < w * 3; ++i)
            image.scanLine(y)[i] = uchar(i * 37 + y * 101 + (i * y) % 7);
    return image;
}

unsigned pixel(const QImage& image, int x, int y) {
    const uchar* p = image.constScanLine(y) + x * 3;
    return unsigned(p[2]) | unsigned(p[1]) << 8 | unsigned(p[0]) << 16;
}

using PixelSet = std::set<std::pair<int, int>>;

// The pixels that differ between two pictures of the same size.
PixelSet changed(const QImage& before, const QImage& after) {
    PixelSet result;
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x)
            if (pixel(before, x, y) != pixel(after, x, y))
                result.insert({x, y});
    return result;
}

QRect bounds(const PixelSet& set) {
    QRect r;
    for (auto [x, y] : set)
        r |= QRect(x, y, 1, 1);
    return r;
}

DrawingSurface pen(int width, PenMode mode = PenMode::Copy, unsigned colour = kPen) {
    DrawingSurface s;
    s.pen_colour = colour;
    s.pen_width = width;
    s.pen_mode = mode;
    return s;
}

// Draws a line in copy mode on white and returns the pixels it set.
PixelSet line_pixels(QSize size, QPoint from, QPoint to, int width, QRect* returned = nullptr) {
    const QImage before = filled(size.width(), size.height(), kWhite);
    QImage after = before;
    DrawingSurface s = pen(width);
    const QRect r = draw_line(after, s, from, to);
    if (returned)
        *returned = r;
    return changed(before, after);
}

// Brute force: the pixel's centre lies within width / 2 of the segment. Even widths are centred
// half a pixel up and left of the points.
bool near_segment(QPointF a, QPointF b, int width, int px, int py) {
    const double shift = width % 2 == 0 ? -0.5 : 0.0;
    a += QPointF(shift, shift);
    b += QPointF(shift, shift);
    const double dx = b.x() - a.x(), dy = b.y() - a.y(), length2 = dx * dx + dy * dy;
    double t = length2 == 0 ? 0 : ((px - a.x()) * dx + (py - a.y()) * dy) / length2;
    t = std::clamp(t, 0.0, 1.0);
    const double ex = a.x() + t * dx - px, ey = a.y() + t * dy - py;
    return ex * ex + ey * ey <= width * width / 4.0 + 1e-9;
}

PixelSet wide_reference(QSize size, const std::vector<std::pair<QPoint, QPoint>>& segments,
                        int width) {
    PixelSet result;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            for (auto [a, b] : segments)
                if (near_segment(a, b, width, x, y))
                    result.insert({x, y});
    return result;
}

// ---- 1-pixel lines ------------------------------------------------------------------------------

TEST(ThinLine, EndsJustBeforeItsEndPointInEveryDirection) {
    const QPoint centre(20, 20);
    const QPoint ends[] = {{33, 20}, {20, 33}, {7, 20}, {20, 7}, {33, 25}, {25, 33},
                           {15, 33}, {7, 25},  {7, 15}, {15, 7}, {25, 7},  {33, 15},
                           {33, 33}, {7, 33},  {7, 7},  {33, 7}, {21, 20}, {20, 21}};
    for (QPoint end : ends) {
        SCOPED_TRACE(testing::Message() << "to " << end.x() << "," << end.y());
        QRect returned;
        const PixelSet set = line_pixels({41, 41}, centre, end, 1, &returned);
        const int dx = end.x() - centre.x(), dy = end.y() - centre.y();
        const int major = std::max(std::abs(dx), std::abs(dy));
        EXPECT_EQ(int(set.size()), major);
        EXPECT_TRUE(set.count({centre.x(), centre.y()}));
        EXPECT_FALSE(set.count({end.x(), end.y()}));
        EXPECT_EQ(returned, bounds(set));
        // One pixel per step along the major axis, within half a pixel of the ideal line.
        for (auto [x, y] : set) {
            const double i = std::abs(dx) >= std::abs(dy)
                                 ? double(x - centre.x()) / (dx > 0 ? 1 : -1)
                                 : double(y - centre.y()) / (dy > 0 ? 1 : -1);
            EXPECT_GE(i, 0);
            EXPECT_LT(i, major);
            EXPECT_LE(std::abs(centre.x() + i * dx / major - x), 0.5);
            EXPECT_LE(std::abs(centre.y() + i * dy / major - y), 0.5);
        }
    }
}

TEST(ThinLine, HalfwayStepsGoTowardsTheStartAndAPointDrawsNothing) {
    EXPECT_EQ(line_pixels({8, 8}, {0, 0}, {4, 2}, 1), (PixelSet{{0, 0}, {1, 0}, {2, 1}, {3, 1}}));
    EXPECT_EQ(line_pixels({8, 8}, {4, 2}, {0, 0}, 1), (PixelSet{{4, 2}, {3, 2}, {2, 1}, {1, 1}}));
    QRect returned(1, 1, 1, 1);
    EXPECT_TRUE(line_pixels({8, 8}, {3, 3}, {3, 3}, 1, &returned).empty());
    EXPECT_TRUE(returned.isEmpty());
}

TEST(ThinLine, ClippingKeepsTheVisiblePixelsOfTheWholeLine) {
    // The same line on a picture large enough to hold it, and on a small one far from its ends.
    const QPoint a(-3001, -1003), b(2999, 997);
    const PixelSet whole =
        line_pixels({6100, 2100}, a + QPoint(3050, 1050), b + QPoint(3050, 1050), 1);
    PixelSet expected;
    for (auto [x, y] : whole)
        if (x >= 3050 && x < 3050 + 64 && y >= 1050 && y < 1050 + 48)
            expected.insert({x - 3050, y - 1050});
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(line_pixels({64, 48}, a, b, 1), expected);
    // Steep lines too.
    const PixelSet steep = line_pixels({64, 48}, {-7, -2000}, {40, 3000}, 1);
    for (auto [x, y] : steep)
        EXPECT_LE(std::abs(-7 + (y + 2000) * 47.0 / 5000 - x), 0.5);
    EXPECT_EQ(steep.size(), 48u);
}

TEST(ThinLine, HugeCoordinates) {
    PixelSet row;
    for (int x = 0; x < 30; ++x)
        row.insert({x, 4});
    EXPECT_EQ(line_pixels({30, 10}, {INT_MIN, 4}, {INT_MAX, 4}, 1), row);
    EXPECT_EQ(line_pixels({30, 10}, {INT_MAX, 4}, {INT_MIN, 4}, 1), row);
    PixelSet diagonal;
    for (int i = 0; i < 10; ++i)
        diagonal.insert({i, i});
    EXPECT_EQ(line_pixels({30, 10}, {-2000000000, -2000000000}, {2000000000, 2000000000}, 1),
              diagonal);
    EXPECT_TRUE(line_pixels({30, 10}, {INT_MIN, INT_MIN}, {INT_MIN, INT_MAX}, 1).empty());
}

// ---- Wide pens ----------------------------------------------------------------------------------

TEST(WidePen, RoundEndsSymmetricAndCentred) {
    for (int width : {3, 5, 7, 4, 6}) {
        SCOPED_TRACE(width);
        const PixelSet set = line_pixels({40, 40}, {12, 20}, {28, 20}, width);
        // An odd pen is symmetric about the pixel row and column of the points' middle; an even
        // one about the corner up and left of it.
        const int mirror = width % 2 ? 40 : 39;
        for (auto [x, y] : set) {
            EXPECT_TRUE(set.count({mirror - x, y})) << x << "," << y;
            EXPECT_TRUE(set.count({x, mirror - y})) << x << "," << y;
        }
        // Straight part exactly `width` rows thick; the round end is narrower away from the axis.
        int rows = 0;
        for (int y = 0; y < 40; ++y)
            rows += set.count({20, y}) ? 1 : 0;
        EXPECT_EQ(rows, width);
        // The end reaches width / 2 pixels out (rounded as the centring goes) and is round: the
        // corner of its square is left out from width 5 up (at width 3 the disc is the square).
        const int outer = 12 - width / 2, top = 20 - width / 2;
        EXPECT_TRUE(set.count({outer, 20}));
        EXPECT_FALSE(set.count({outer - 1, 20}));
        EXPECT_EQ(set.count({outer, top}), width == 3 ? 1u : 0u);
    }
}

TEST(WidePen, MatchesTheDistanceRule) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> coord(-15, 55), width(2, 11);
    const QSize size(40, 40);
    for (int n = 0; n < 150; ++n) {
        const QPoint a(coord(random), coord(random)), b(coord(random), coord(random));
        const int w = width(random);
        SCOPED_TRACE(testing::Message()
                     << a.x() << "," << a.y() << " -> " << b.x() << "," << b.y() << " width " << w);
        QRect returned;
        const PixelSet set = line_pixels(size, a, b, w, &returned);
        EXPECT_EQ(set, a == b ? PixelSet{} : wide_reference(size, {{a, b}}, w));
        EXPECT_EQ(returned, bounds(set));
    }
}

TEST(WidePen, FarAwayAndHugeCoordinates) {
    const QSize size(50, 50);
    EXPECT_EQ(line_pixels(size, {-100000, -99990}, {100000, 100010}, 7),
              wide_reference(size, {{{-100000, -99990}, {100000, 100010}}}, 7));
    // Beyond the 64-bit fast path: a horizontal band and a diagonal one.
    PixelSet band;
    for (int y = 8; y <= 12; ++y)
        for (int x = 0; x < 50; ++x)
            band.insert({x, y});
    EXPECT_EQ(line_pixels(size, {-2000000000, 10}, {2000000000, 10}, 5), band);
    EXPECT_EQ(line_pixels(size, {INT_MAX, 10}, {INT_MIN, 10}, 5), band);
    PixelSet diagonal;
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 50; ++x)
            if (std::abs(x - y) <= 2)
                diagonal.insert({x, y});
    EXPECT_EQ(line_pixels(size, {-1000000000, -1000000000}, {1000000000, 1000000000}, 3), diagonal);
    EXPECT_TRUE(line_pixels(size, {INT_MIN, INT_MIN}, {INT_MIN + 5, INT_MAX}, 9).empty());
}

TEST(WidePen, LineToFollowsTheCurrentPosition) {
    QImage image = filled(30, 30, kWhite);
    DrawingSurface s = pen(3);
    s.current_position = {2, 2};
    line_to(image, s, {20, 2});
    EXPECT_EQ(s.current_position, QPoint(20, 2));
    line_to(image, s, {20, 25});
    EXPECT_EQ(changed(filled(30, 30, kWhite), image),
              wide_reference({30, 30}, {{{2, 2}, {20, 2}}, {{20, 2}, {20, 25}}}, 3));
}

// ---- Rectangle outlines -------------------------------------------------------------------------

PixelSet outline_pixels(QSize size, QPoint a, QPoint b, int width, QRect* returned = nullptr) {
    const QImage before = filled(size.width(), size.height(), kWhite);
    QImage after = before;
    const QRect r = draw_rectangle_outline(after, pen(width), a, b);
    if (returned)
        *returned = r;
    return changed(before, after);
}

TEST(RectangleOutline, RunsThroughTheSmallerCornerAndTheLargerMinusOneInAnyOrder) {
    PixelSet border;
    for (int x = 3; x <= 11; ++x)
        border.insert({x, 4}), border.insert({x, 9});
    for (int y = 4; y <= 9; ++y)
        border.insert({3, y}), border.insert({11, y});
    for (auto [a, b] : std::vector<std::pair<QPoint, QPoint>>{
             {{3, 4}, {12, 10}}, {{12, 10}, {3, 4}}, {{3, 10}, {12, 4}}, {{12, 4}, {3, 10}}}) {
        QRect returned;
        EXPECT_EQ(outline_pixels({20, 20}, a, b, 1, &returned), border);
        EXPECT_EQ(returned, QRect(QPoint(3, 4), QPoint(11, 9)));
    }
    // One column or one row wide, and empty.
    EXPECT_EQ(outline_pixels({20, 20}, {5, 5}, {6, 8}, 1), (PixelSet{{5, 5}, {5, 6}, {5, 7}}));
    EXPECT_EQ(outline_pixels({20, 20}, {5, 5}, {8, 6}, 1), (PixelSet{{5, 5}, {6, 5}, {7, 5}}));
    EXPECT_TRUE(outline_pixels({20, 20}, {5, 5}, {5, 9}, 1).empty());
    EXPECT_TRUE(outline_pixels({20, 20}, {5, 5}, {5, 5}, 3).empty());
}

TEST(RectangleOutline, WidePenDrawsTheFourSidesJoinedRound) {
    const QSize size(40, 30);
    for (int width : {2, 3, 6}) {
        for (auto [a, b] : std::vector<std::pair<QPoint, QPoint>>{
                 {{5, 6}, {31, 22}}, {{31, 6}, {5, 22}}, {{-10, 20}, {60, 3}}, {{8, 8}, {9, 9}}}) {
            const int l = std::min(a.x(), b.x()), r = std::max(a.x(), b.x()) - 1;
            const int t = std::min(a.y(), b.y()), bt = std::max(a.y(), b.y()) - 1;
            const QPoint c[] = {{l, t}, {r, t}, {r, bt}, {l, bt}};
            EXPECT_EQ(outline_pixels(size, a, b, width),
                      wide_reference(size, {{c[0], c[1]}, {c[1], c[2]}, {c[2], c[3]}, {c[3], c[0]}},
                                     width))
                << "width " << width << " from " << a.x() << "," << a.y();
        }
    }
}

// ---- NOT-XOR ------------------------------------------------------------------------------------

// Draws a figure once in copy mode and twice in NOT-XOR on a patterned picture: the first NOT-XOR
// drawing sets NOT (pixel XOR pen) exactly on the copy drawing's pixels, the second restores all.
template <class Draw> void expect_not_xor_undoes_itself(Draw draw) {
    const QImage original = patterned(61, 47);
    const PixelSet figure = changed(filled(61, 47, 0), [&] {
        QImage mask = filled(61, 47, 0);
        draw(mask, PenMode::Copy);
        return mask;
    }());
    ASSERT_FALSE(figure.empty());

    QImage image = original;
    const QRect first = draw(image, PenMode::NotXor);
    EXPECT_EQ(first, bounds(figure));
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const unsigned expected = figure.count({x, y})
                                          ? ~(pixel(original, x, y) ^ kPen) & 0x00FFFFFF
                                          : pixel(original, x, y);
            ASSERT_EQ(pixel(image, x, y), expected) << x << "," << y;
        }
    draw(image, PenMode::NotXor);
    EXPECT_EQ(image, original);
}

TEST(NotXor, LinesOfEveryWidthVanishWhenDrawnTwice) {
    for (int width : {1, 2, 3, 8}) {
        SCOPED_TRACE(width);
        for (auto [a, b] : std::vector<std::pair<QPoint, QPoint>>{{{3, 4}, {50, 30}},
                                                                  {{50, 40}, {2, 1}},
                                                                  {{-30, 20}, {90, 25}},
                                                                  {{30, -5}, {31, 60}}})
            expect_not_xor_undoes_itself([&](QImage& image, PenMode mode) {
                DrawingSurface s = pen(width, mode);
                return draw_line(image, s, a, b);
            });
    }
}

TEST(NotXor, RectangleOutlinesVanishWhenDrawnTwice) {
    for (int width : {1, 2, 3, 10})
        for (auto [a, b] : std::vector<std::pair<QPoint, QPoint>>{{{3, 4}, {50, 30}},
                                                                  {{50, 40}, {2, 1}},
                                                                  {{-30, -20}, {90, 25}},
                                                                  {{20, 20}, {21, 21}}})
            expect_not_xor_undoes_itself([&](QImage& image, PenMode mode) {
                return draw_rectangle_outline(image, pen(width, mode), a, b);
            });
}

TEST(NotXor, RubberBandMovesLeaveOnlyTheLastBand) {
    // As the rectangle tool does it: erase the previous band, draw the new one, for each move.
    const QImage original = patterned(80, 60);
    QImage image = original;
    const QPoint anchor(40, 30);
    QPoint corner = anchor;
    for (QPoint next : {QPoint(45, 33), QPoint(70, 50), QPoint(-20, 90), QPoint(10, 5)}) {
        draw_rectangle_outline(image, pen(3, PenMode::NotXor), anchor, corner);
        corner = next;
        draw_rectangle_outline(image, pen(3, PenMode::NotXor), anchor, corner);
    }
    QImage expected = original;
    draw_rectangle_outline(expected, pen(3, PenMode::NotXor), anchor, corner);
    EXPECT_EQ(image, expected);
    // The final outline in copy mode covers the last band exactly.
    QImage final_band = image, final_copy = original;
    draw_rectangle_outline(final_band, pen(3), anchor, corner);
    draw_rectangle_outline(final_copy, pen(3), anchor, corner);
    EXPECT_EQ(final_band, final_copy);
}

// ---- Arrow --------------------------------------------------------------------------------------

struct ArrowCase {
    QPoint start, end;
    QPoint w1, w2; // wing points for size 3 (head sides 15 pixels)
};

TEST(Arrow, HeadFollowsTheDirectionRule) {
    const ArrowCase cases[] = {
        {{50, 10}, {50, 110}, {45, 97}, {55, 97}}, // dx = 0, dy = 100: theta = arctan(100)
        {{50, 10}, {50, 11}, {37, 6}, {45, -2}},   // dx = 0, dy = 1: tilted by 45 degrees
        {{40, 40}, {40, 40}, {27, 45}, {27, 35}},  // a click: the head alone, pointing right
        {{100, 50}, {20, 50}, {33, 45}, {33, 55}}, // dx < 0: pointing left
        {{20, 50}, {100, 50}, {87, 55}, {87, 45}},
    };
    for (const ArrowCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.start.x() << "," << c.start.y() << " -> " << c.end.x()
                                        << "," << c.end.y());
        const QImage before = filled(130, 130, kWhite);
        QImage image = before.copy();
        DrawingSurface s = pen(1, PenMode::NotXor, 0x00000000);
        // The pen is 1 pixel, so the head's corners are exactly the pixels named.
        const QRect returned =
            draw_arrow(image, s, c.start + QPoint(10, 10), c.end + QPoint(10, 10), 3, 0x000000FF);
        EXPECT_EQ(s.pen_colour, 0x000000FFu);
        EXPECT_EQ(s.brush_colour, 0x000000FFu);
        EXPECT_EQ(s.brush_style, BrushStyle::Solid);
        EXPECT_EQ(s.pen_mode, PenMode::Copy);
        EXPECT_EQ(s.current_position, c.end + QPoint(10, 10));
        const PixelSet set = changed(before, image);
        for (auto [x, y] : set)
            ASSERT_EQ(pixel(image, x, y), 0x000000FFu);
        EXPECT_EQ(returned, bounds(set));
        // The head: a triangle E, W1, W2 (the wings drawn, nothing beyond them).
        int left = INT_MAX, right = INT_MIN, top = INT_MAX, bottom = INT_MIN;
        for (QPoint p : {c.end, c.w1, c.w2}) {
            EXPECT_TRUE(set.count({p.x() + 10, p.y() + 10})) << p.x() << "," << p.y();
            left = std::min(left, p.x()), right = std::max(right, p.x());
            top = std::min(top, p.y()), bottom = std::max(bottom, p.y());
        }
        const QRect head_box(QPoint(left + 10, top + 10), QPoint(right + 10, bottom + 10));
        const QPoint s0 = c.start + QPoint(10, 10), s1 = c.end + QPoint(10, 10);
        const QRect shaft_box(QPoint(std::min(s0.x(), s1.x()), std::min(s0.y(), s1.y())),
                              QPoint(std::max(s0.x(), s1.x()), std::max(s0.y(), s1.y())));
        EXPECT_EQ(bounds(set), (head_box | shaft_box) & before.rect());
        // Inside the head: the centroid is filled.
        const QPoint centroid = (c.end + c.w1 + c.w2) / 3 + QPoint(10, 10);
        EXPECT_TRUE(set.count({centroid.x(), centroid.y()}));
    }
}

TEST(Arrow, WidePenAndShaftInCopyMode) {
    const QImage before = patterned(120, 80);
    QImage image = before;
    DrawingSurface s = pen(3, PenMode::NotXor); // the move handler's mode; the arrow uses copy
    draw_arrow(image, s, {10, 40}, {100, 40}, 3, 0x00FF0000);
    const PixelSet set = changed(before, image);
    for (auto [x, y] : set)
        EXPECT_EQ(pixel(image, x, y), 0x00FF0000u);
    // The shaft with its round pen, the head reaching 13 pixels back and 5 up and down plus the
    // pen's half width.
    for (int x = 9; x <= 101; ++x)
        EXPECT_TRUE(set.count({x, 40}) && set.count({x, 39}) && set.count({x, 41})) << x;
    EXPECT_EQ(bounds(set), QRect(QPoint(9, 34), QPoint(101, 46)));

    // The last NOT-XOR preview of the shaft is left in place at the release: the arrow's shaft
    // covers it exactly.
    for (int width : {1, 3, 4}) {
        QImage previewed = before;
        DrawingSurface preview = pen(width, PenMode::NotXor);
        draw_line(previewed, preview, {7, 70}, {95, 12});
        DrawingSurface a = pen(width, PenMode::Copy), b = a;
        QImage plain = before;
        draw_arrow(previewed, a, {7, 70}, {95, 12}, 3, 0x00FF0000);
        draw_arrow(plain, b, {7, 70}, {95, 12}, 3, 0x00FF0000);
        EXPECT_EQ(previewed, plain) << width;
    }
}

// ---- Highlighter stamp --------------------------------------------------------------------------

TEST(Stamp, AndsTheSquareWithTheColour) {
    QImage image = filled(40, 30, kWhite);
    for (int y = 15; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            uchar* p = image.scanLine(y) + x * 3;
            p[0] = p[1] = p[2] = 0x80;
        }
    const QImage before = image.copy();
    EXPECT_EQ(stamp_and(image, 10, 8, 16, 16, 0x0000FFFF), QRect(10, 8, 16, 16));
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool inside = x >= 10 && x < 26 && y >= 8 && y < 24;
            const unsigned expected = !inside  ? pixel(before, x, y)
                                      : y < 15 ? 0x0000FFFFu
                                               : 0x00008080u;
            ASSERT_EQ(pixel(image, x, y), expected) << x << "," << y;
        }
    // Stamping again with the same colour changes nothing; black stays black.
    const QImage once = image.copy();
    stamp_and(image, 10, 8, 16, 16, 0x0000FFFF);
    EXPECT_EQ(image, once);
    QImage black = filled(5, 5, 0);
    stamp_and(black, 0, 0, 5, 5, 0x00FF00FF);
    EXPECT_EQ(black, filled(5, 5, 0));
}

TEST(Stamp, ClippedAtEveryEdge) {
    QImage image = filled(20, 10, kWhite);
    EXPECT_EQ(stamp_and(image, -5, -5, 8, 8, 0x0000FF00), QRect(0, 0, 3, 3));
    EXPECT_EQ(stamp_and(image, 15, 7, 100, 100, 0x0000FF00), QRect(15, 7, 5, 3));
    EXPECT_TRUE(stamp_and(image, INT_MAX - 3, INT_MIN, 100, 100, 0).isEmpty());
    EXPECT_TRUE(stamp_and(image, 2, 2, 0, 5, 0).isEmpty());
    EXPECT_EQ(changed(filled(20, 10, kWhite), image).size(), 9u + 15u);
}

// ---- Negative -----------------------------------------------------------------------------------

TEST(Negative, ComplementsEveryColourByteAndLeavesPaddingAlone) {
    QImage image(5, 3, QImage::Format_BGR888); // 15 bytes a row, stored in 16
    ASSERT_EQ(image.bytesPerLine(), 16);
    for (int y = 0; y < 3; ++y) {
        uchar* row = image.scanLine(y);
        for (int i = 0; i < 15; ++i)
            row[i] = uchar(i * 17 + y);
        row[15] = 0x5A;
    }
    uchar* p = image.scanLine(1) + 6;
    p[0] = 18, p[1] = 52, p[2] = 86;
    const QImage original = image.copy();
    EXPECT_EQ(negate_picture(image), QRect(0, 0, 5, 3));
    const uchar* q = image.constScanLine(1) + 6;
    EXPECT_EQ(q[0], 237);
    EXPECT_EQ(q[1], 203);
    EXPECT_EQ(q[2], 169);
    for (int y = 0; y < 3; ++y) {
        for (int i = 0; i < 15; ++i)
            EXPECT_EQ(image.constScanLine(y)[i], 255 - original.constScanLine(y)[i]);
        EXPECT_EQ(image.constScanLine(y)[15], 0x5A);
    }
    negate_picture(image);
    EXPECT_EQ(std::memcmp(image.constBits(), original.constBits(), 48), 0);
}

TEST(Negative, LargePictureTwiceIsIdentityAndSharedCopiesKeepTheirPixels) {
    QImage image = patterned(333, 17); // rows of 999 bytes: words and a tail
    const QImage kept = image;         // shares the pixels until the negative writes
    negate_picture(image);
    EXPECT_EQ(kept, patterned(333, 17));
    EXPECT_EQ(pixel(image, 0, 0), ~pixel(kept, 0, 0) & 0x00FFFFFF);
    EXPECT_EQ(pixel(image, 332, 16), ~pixel(kept, 332, 16) & 0x00FFFFFF);
    negate_picture(image);
    EXPECT_EQ(image, kept);

    QImage black(4, 4, QImage::Format_RGB32); // other formats come back as 24-bit
    black.fill(Qt::black);
    negate_picture(black);
    EXPECT_EQ(black.format(), QImage::Format_BGR888);
    EXPECT_EQ(pixel(black, 3, 3), 0x00FFFFFFu);
    QImage null;
    EXPECT_TRUE(negate_picture(null).isEmpty());
}

} // namespace
