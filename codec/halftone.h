#pragma once
// The fixed 256-colour palette of 8-bit pictures and the nearest-colour mapping onto it.
//
// The palette does not depend on the picture: a 6 x 6 x 6 colour cube, the twelve other classic
// system colours and 28 extra greys (screens are full of greys). Each pixel takes the entry
// nearest to its colour (squared distance in red, green, blue; the lowest index on a tie), with
// no dithering, so flat areas stay flat and gradients turn into bands.

#include <QImage>
#include <QList>
#include <cstdint>

// The 256 entries in table order.
const QList<QRgb>& halftone_palette();

// Index of the entry nearest to (red, green, blue).
std::uint8_t halftone_index(int red, int green, int blue);

// An Indexed8 picture of the same size with halftone_palette() as its colour table. Any format is
// accepted (pictures that are not 24-bit are brought to blue-green-red first); the source is
// left untouched.
QImage to_halftone_palette(const QImage& picture);
