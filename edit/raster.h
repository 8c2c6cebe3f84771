#pragma once
// Pixel work on 24-bit pictures (QImage::Format_BGR888) that is not history: the inverted
// outline of the region overlay's rubber band, the tools' drawing, and the conversion of the
// program's colour values (0x00BBGGRR) to and from Qt's colours. Everything here runs without a
// display.

#include "edit/drawing_surface.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>

class QPainter;

// A colour value 0x00BBGGRR as Qt's colour, and back (the top byte is dropped).
QColor qt_colour(unsigned bbggrr);
unsigned colour_value(const QColor& colour);

// `image` as Format_BGR888: itself when it already is, a converted copy otherwise.
QImage as_bgr888(const QImage& image);

// Makes `picture` a Format_BGR888 picture that owns its pixels, before they are changed in place:
// pixels it shares with another QImage (the history's entry, after a capture or an undo) are
// copied into a new frame first, and the other keeps them. Throws std::bad_alloc when the memory
// cannot be had; the picture is then unchanged.
void prepare_for_writing(QImage& picture);

// Inverts every pixel of the one-pixel outline of the rectangle between corners `a` and `b`
// (columns min..max-1, rows min..max-1, each pixel once), clipped to the picture. Drawing the same
// outline twice restores the picture. Returns the rectangle touched (empty when nothing was).
QRect invert_outline(QImage& picture, QPoint a, QPoint b);

// ---- Pen, brush and stamp drawing -------------------------------------------------------------
//
// These routines draw on 24-bit pictures with exact pixels and return the rectangle they changed,
// clipped to the picture (empty when nothing was touched), so that the view repaints only that.
// A picture in another format is first converted to Format_BGR888 in place; a null picture is
// left alone. Points may lie anywhere, far outside the picture included: everything is clipped.
//
// Pixel rules:
// - The pen colour and the brush colour are 0x00BBGGRR values. Pen mode copy sets the pen colour;
//   NOT-XOR sets NOT (destination XOR pen colour), so drawing a figure twice restores the picture.
//   Each figure is built as a set of pixels first and the mode applied to each pixel once.
// - A pen of width 1 (or less) draws a 1-pixel line that ends just before its end point; a line
//   from a point to itself draws nothing.
// - A wider pen covers every pixel whose centre lies within width / 2 of the segment: round ends,
//   round joins, centred on the 1-pixel line. An odd width is centred on the pixel centres the
//   points name; an even width cannot be, and is centred half a pixel up and to the left, on the
//   corner shared by the pixel and its upper-left neighbour. A lone line from a point to itself
//   draws nothing at any width. Widths above 16384 are taken as 16384.

// The surface's pen draws a line from its current position to `to`, which becomes the current
// position.
QRect line_to(QImage& picture, DrawingSurface& surface, QPoint to);

// Moves the current position to `from`, then line_to(`to`).
QRect draw_line(QImage& picture, DrawingSurface& surface, QPoint from, QPoint to);

// The outline of the rectangle between corners `a` and `b`, in either order, with the surface's
// pen: it runs through the smaller coordinates and the larger ones minus one (with a 1-pixel pen
// the columns min..max-1 and rows min..max-1). A wider pen draws the four sides as lines joined
// round. A rectangle of no width or no height draws nothing. The inside is left alone (the
// rectangle tool always draws with a clear brush); the current position does not move.
QRect draw_rectangle_outline(QImage& picture, const DrawingSurface& surface, QPoint a, QPoint b);

// The arrow tool's figure: a shaft from `start` to `end`, then a triangular head with its tip on
// `end`, filled with a solid brush and outlined with the pen. Pen and brush take `colour`, the
// pen mode becomes copy, the pen width is the surface's (set when the arrow was started) and the
// head's sides are 5 × `size_stylet` long. The direction is taken as arctan(dy / dx), or
// arctan(dy) when dx = 0, plus pi when dx < 0, so a click (start = end) draws a head alone
// pointing right, and a vertical arrow's head leans a little. The current position ends at `end`.
QRect draw_arrow(QImage& picture, DrawingSurface& surface, QPoint start, QPoint end,
                 int size_stylet, unsigned colour);

// The highlighter's stamp: every pixel of the `width` × `height` rectangle whose top-left pixel
// is (left, top) becomes pixel AND `colour`, channel by channel. Right and bottom edges are
// excluded.
QRect stamp_and(QImage& picture, int left, int top, int width, int height, unsigned colour);

// The photographic negative, in place: every colour byte of each row (the first width × 3 bytes;
// row padding is not touched) becomes 255 - byte. One pass, no copy of the pixels, unless the
// picture shares them with another QImage, which then keeps its own. Returns the whole picture.
QRect negate_picture(QImage& picture);

// Writes the complement (255 - byte) of `count` bytes from `from` to `to` (the same place or
// another), eight at a time.
void complement_bytes(const uchar* from, uchar* to, qsizetype count);

// Draws one line of `text` with `font` in `colour` transparently onto the picture, its top-left
// corner at `top_left`, smoothed exactly as the floating text label shows it over the same
// pixels. Needs a QGuiApplication (fonts). Returns the rectangle whose pixels changed.
QRect draw_text(QImage& picture, QPoint top_left, const QString& text, const QFont& font,
                unsigned colour);

// How draw_text and the floating label paint a line of text: `top_left` is the corner of the
// box the font's metrics give it; glyphs may reach beyond that box.
void paint_text(QPainter& painter, QPoint top_left, const QString& text, const QFont& font,
                const QColor& colour);

// The box of `text` drawn with `font` by draw_text, relative to its top-left corner: the box its
// metrics give (advance by height), widened to every pixel the glyphs reach.
QRect text_box(const QString& text, const QFont& font);
