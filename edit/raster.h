#pragma once
// Pixel work on 24-bit pictures (QImage::Format_BGR888) that is not history: block copies with
// the plain and AND modes, stretching the way a plain stretching block copy does, the inverted
// outline of the region overlay's rubber band, and the conversion of the program's colour values
// (0x00BBGGRR) to and from Qt's colours. Everything here runs without a display.

#include "edit/drawing_surface.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>

// A colour value 0x00BBGGRR as Qt's colour, and back (the top byte is dropped).
QColor qt_colour(unsigned bbggrr);
unsigned colour_value(const QColor& colour);

// `image` as Format_BGR888: itself when it already is, a converted copy otherwise.
QImage as_bgr888(const QImage& image);

// Scales `source` to `size` the way a plain stretching block copy does: pixels are repeated when
// enlarging; when shrinking, the pixels that fall onto one target pixel are combined by bitwise
// AND. The result is 24-bit.
QImage stretch_and(const QImage& source, QSize size);

// Copies `source` onto `target` at (0, 0) (both 24-bit, of the same size) with a block-copy
// mode: plain copy or bitwise AND.
void block_copy(QImage& target, const QImage& source, CopyMode mode);

// Inverts every pixel of the one-pixel outline of the rectangle between corners `a` and `b`
// (columns min..max-1, rows min..max-1, each pixel once), clipped to the picture. Drawing the same
// outline twice restores the picture. Returns the rectangle touched (empty when nothing was).
QRect invert_outline(QImage& picture, QPoint a, QPoint b);
