#pragma once
// Independent readers for what the encoders write: a chunk walker checked with zlib's own CRC,
// zlib's inflate, libpng, libjpeg's decompressor.

#include "platform/core/error.h"

#include <QByteArray>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QString>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <jpeglib.h>
#include <png.h>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>
#include <zlib.h>

struct PngChunk {
    std::string type;
    QByteArray data;
};

inline std::uint32_t be32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return (std::uint32_t(u[0]) << 24) | (std::uint32_t(u[1]) << 16) | (std::uint32_t(u[2]) << 8) |
           u[3];
}

// Splits a PNG file into its chunks; throws on a bad signature, length or CRC.
inline std::vector<PngChunk> png_chunks(const QByteArray& file) {
    if (!file.startsWith(QByteArray("\x89PNG\r\n\x1a\n", 8)))
        throw std::runtime_error("bad signature");
    std::vector<PngChunk> chunks;
    qsizetype at = 8;
    while (at < file.size()) {
        if (file.size() - at < 12)
            throw std::runtime_error("truncated chunk");
        const std::uint32_t length = be32(file.constData() + at);
        if (qsizetype(length) > file.size() - at - 12)
            throw std::runtime_error("chunk overruns the file");
        const char* type = file.constData() + at + 4;
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), uInt(length + 4));
        if (crc != be32(type + 4 + length))
            throw std::runtime_error("bad CRC");
        chunks.push_back({std::string(type, 4), QByteArray(type + 4, length)});
        at += 12 + length;
    }
    return chunks;
}

// The decompressed image data: every IDAT, in order, through zlib's inflate.
inline QByteArray png_image_data(const std::vector<PngChunk>& chunks) {
    QByteArray stream;
    for (const auto& chunk : chunks)
        if (chunk.type == "IDAT")
            stream += chunk.data;
    QByteArray out;
    z_stream z{};
    inflateInit(&z);
    z.next_in = reinterpret_cast<Bytef*>(stream.data());
    z.avail_in = uInt(stream.size());
    int result = Z_OK;
    char buffer[65536];
    while (result == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        result = inflate(&z, Z_NO_FLUSH);
        out.append(buffer, qsizetype(sizeof buffer - z.avail_out));
    }
    inflateEnd(&z);
    if (result != Z_STREAM_END || z.avail_in != 0)
        throw std::runtime_error("bad zlib stream");
    return out;
}

// Decodes with libpng into a Format_RGB888 picture (null on failure).
inline QImage libpng_decode(const QByteArray& file) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.constData(), std::size_t(file.size())))
        return {};
    image.format = PNG_FORMAT_RGB;
    QImage out(int(image.width), int(image.height), QImage::Format_RGB888);
    if (!png_image_finish_read(&image, nullptr, out.bits(), out.bytesPerLine(), nullptr)) {
        png_image_free(&image);
        return {};
    }
    return out;
}

// Decodes with libjpeg's own decompressor, as djpeg does; a null picture when it refuses the
// file.
struct JpegDecodeError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};
// No object with a destructor lives in the frame that a decoding error jumps back to.
inline bool jpeg_decode_into(const QByteArray& file, QImage& picture) {
    jpeg_decompress_struct info{};
    JpegDecodeError error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = [](j_common_ptr common) {
        std::longjmp(reinterpret_cast<JpegDecodeError*>(common->err)->jump, 1);
    };
    error.manager.output_message = [](j_common_ptr) {};
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(file.constData()),
                 static_cast<unsigned long>(file.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    picture = QImage(int(info.output_width), int(info.output_height), QImage::Format_RGB888);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = picture.scanLine(int(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}
inline QImage djpeg_decode(const QByteArray& file) {
    QImage picture;
    if (!jpeg_decode_into(file, picture))
        return {};
    return picture;
}

// Every quantisation step of the file's DQT segments, and whether each table is 8-bit.
inline std::vector<int> jpeg_quant_steps(const QByteArray& file, bool* all_8bit) {
    std::vector<int> steps;
    *all_8bit = true;
    for (qsizetype at = 2; at + 4 <= file.size();) {
        const int marker = std::uint8_t(file[at + 1]);
        const int length = (std::uint8_t(file[at + 2]) << 8) | std::uint8_t(file[at + 3]);
        if (marker == 0xDA) // start of scan: no tables after it in a sequential file
            break;
        for (qsizetype t = at + 4; marker == 0xDB && t < at + 2 + length;) {
            const bool wide = std::uint8_t(file[t]) >> 4;
            *all_8bit &= !wide;
            for (int k = 0; k < 64; ++k)
                steps.push_back(wide ? (std::uint8_t(file[t + 1 + 2 * k]) << 8) |
                                           std::uint8_t(file[t + 2 + 2 * k])
                                     : std::uint8_t(file[t + 1 + k]));
            t += 1 + 64 * (wide ? 2 : 1);
        }
        at += 2 + length;
    }
    return steps;
}

inline QImage random_bgr(int width, int height, quint32 seed) {
    QImage image(width, height, QImage::Format_BGR888);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * 3; ++x)
            image.scanLine(y)[x] = std::uint8_t(random.bounded(256));
    return image;
}

inline QString temp_path(const QString& dir, const char* name) {
    return dir + QLatin1Char('/') + QLatin1String(name);
}

// A small picture of red on the left and gradients on the right, for the writers' round trips.
inline QImage sample_picture() {
    QImage picture(90, 60, QImage::Format_BGR888);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 90; ++x)
            picture.setPixel(x, y, x < 45 ? qRgb(255, 0, 0) : qRgb(x * 2, y * 4, 200));
    return picture;
}
