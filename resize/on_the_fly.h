#pragma once
// Resizing a picture to a width with the proportional height, as the resize command and every
// capture with "Redim. à la volée " ticked do.

#include <QImage>

class ResampleProgress;

// (a × b + c / 2) / c with a 64-bit product: the proportional value rounded to the nearest
// integer, halves away from zero. -1 when c is 0 or the result does not fit in 32 bits.
int MulDiv(int a, int b, int c);

// Resamples `raster` to `width` × MulDiv(width, height, width of raster), then pauses 100 ms.
// Throws the resampler's errors (a height of 0 fails before any pixel, leaving the raster).
void resize_on_the_fly(QImage& raster, int width, ResampleProgress* progress);
