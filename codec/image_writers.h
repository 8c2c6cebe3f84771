#pragma once
// The image files the program writes, each replacing its target only once it is complete
// (AtomicFile). Failures throw KapError with the French message to show.

#include "codec/byte_sink.h"

#include <QImage>
#include <QString>

// The formats a picture is saved or sent in.
enum class ImageFormat { Png, Png8, Jpeg, Bmp };

// Writes `picture` to `path` in `format`: PNG and 8-bit PNG at deflate level 9, JPEG at
// `jpeg_quality` (1..100), BMP as the picture's depth. Every save and every mail attachment goes
// through here. With Placement::OnlyIfFree the file takes the path only where nothing stands:
// false when something does.
bool write_image(const QString& path, const QImage& picture, ImageFormat format, int jpeg_quality,
                 Placement placement = Placement::Replace);

// 24-bit PNG: Sub-filtered rows, deflate at the given level (9 for every save).
void write_png(const QImage& picture, const QString& path, int zlib_level = 9);

// 8-bit PNG: the picture reduced to the fixed halftone palette, then written as indexed colour.
// The caller's picture is not changed.
void write_png8(const QImage& picture, const QString& path, int zlib_level = 9);

// JPEG at quality 1..100, encoded in memory and written in one piece.
void write_jpeg(const QImage& picture, const QString& path, int quality);

// Declared in codec/halftone.h, repeated here for callers of this facade.
QImage to_halftone_palette(const QImage& picture);
