#include "codec/image_writers.h"

#include "codec/bmp.h"
#include "codec/halftone.h"
#include "codec/jpeg_writer.h"
#include "codec/pngimage.h"
#include "platform/core/atomic_file.h"

#include <algorithm>

namespace {

bool write_png_object(const QImage& raster, const QString& path, int zlib_level,
                      Placement placement) {
    TPNGObject png;
    png.AssignRaster(raster);
    png.ZlibLevel = std::uint8_t(std::clamp(zlib_level, 0, 9));
    AtomicFile file(path);
    AtomicFileSink sink(file);
    png.WriteToStream(sink);
    return place_file(file, placement);
}

// The 24-bit writer: a paletted picture is written in full colour here too.
bool write_png24(const QImage& picture, const QString& path, int zlib_level, Placement placement) {
    const QImage bgr = picture.format() == QImage::Format_BGR888
                           ? picture
                           : picture.convertToFormat(QImage::Format_BGR888);
    return write_png_object(bgr, path, zlib_level, placement);
}

bool write_jpeg_file(const QImage& picture, const QString& path, int quality, Placement placement) {
    // The target is opened first, as the encoder's first step, so an unwritable folder is
    // reported before any encoding work; it is replaced only after a successful encoding.
    AtomicFile file(path);
    const QByteArray bytes = encode_jpeg(picture, quality);
    file.write(bytes.constData(), std::size_t(bytes.size()));
    return place_file(file, placement);
}

} // namespace

bool write_image(const QString& path, const QImage& picture, ImageFormat format, int jpeg_quality,
                 Placement placement) {
    switch (format) {
    case ImageFormat::Png:
        return write_png24(picture, path, 9, placement);
    case ImageFormat::Png8:
        return write_png_object(to_halftone_palette(picture), path, 9, placement);
    case ImageFormat::Jpeg:
        return write_jpeg_file(picture, path, jpeg_quality, placement);
    case ImageFormat::Bmp:
        return write_bmp(picture, path, placement);
    }
    return false;
}

void write_png(const QImage& picture, const QString& path, int zlib_level) {
    write_png24(picture, path, zlib_level, Placement::Replace);
}

void write_png8(const QImage& picture, const QString& path, int zlib_level) {
    write_png_object(to_halftone_palette(picture), path, zlib_level, Placement::Replace);
}

void write_jpeg(const QImage& picture, const QString& path, int quality) {
    write_jpeg_file(picture, path, quality, Placement::Replace);
}
