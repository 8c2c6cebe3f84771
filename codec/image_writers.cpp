#include "codec/image_writers.h"

#include "codec/halftone.h"
#include "codec/jpeg_writer.h"
#include "codec/pngimage.h"
#include "platform/core/atomic_file.h"

#include <algorithm>

namespace {

void write_png_object(const QImage& raster, const QString& path, int zlib_level) {
    TPNGObject png;
    png.AssignRaster(raster);
    png.ZlibLevel = std::uint8_t(std::clamp(zlib_level, 0, 9));
    png.WriteToFile(path);
}

} // namespace

void write_png(const QImage& picture, const QString& path, int zlib_level) {
    // The 24-bit writer: a paletted picture is written in full colour here too.
    const QImage bgr = picture.format() == QImage::Format_BGR888
                           ? picture
                           : picture.convertToFormat(QImage::Format_BGR888);
    write_png_object(bgr, path, zlib_level);
}

void write_png8(const QImage& picture, const QString& path, int zlib_level) {
    write_png_object(to_halftone_palette(picture), path, zlib_level);
}

void write_jpeg(const QImage& picture, const QString& path, int quality) {
    // The target is opened first, as the encoder's first step, so an unwritable folder is
    // reported before any encoding work; it is replaced only after a successful encoding.
    AtomicFile file(path);
    const QByteArray bytes = encode_jpeg(picture, quality);
    file.write(bytes.constData(), std::size_t(bytes.size()));
    file.commit();
}
