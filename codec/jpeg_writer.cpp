#include "codec/jpeg_writer.h"

#include "platform/core/error.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

#include <jerror.h> // after jpeglib.h, which it needs

namespace {

// Error handling: a fatal error jumps back to the one function below that holds the setjmp and
// only plain C data, so no destructor is ever skipped; warnings and traces are dropped.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void on_fatal_error(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}
void on_message(j_common_ptr, int) {}
void on_output(j_common_ptr) {}

// A destination that grows in memory by doubling (malloc'ed, so a longjmp loses nothing that
// the caller cannot free).
struct MemoryDestination {
    jpeg_destination_mgr pub;
    unsigned char* buffer;
    std::size_t capacity;
    std::size_t size;
};

void init_destination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
    dest->buffer = static_cast<unsigned char*>(std::malloc(dest->capacity));
    if (!dest->buffer)
        ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = dest->capacity;
}

boolean empty_output_buffer(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
    const std::size_t used = dest->capacity; // the library calls this only when it is full
    auto* grown = static_cast<unsigned char*>(std::realloc(dest->buffer, dest->capacity * 2));
    if (!grown)
        ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
    dest->buffer = grown;
    dest->capacity *= 2;
    dest->pub.next_output_byte = dest->buffer + used;
    dest->pub.free_in_buffer = dest->capacity - used;
    return TRUE;
}

void term_destination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
    dest->size = dest->capacity - dest->pub.free_in_buffer;
}

// Compresses a Format_BGR888 picture into dest. Returns 0, or the libjpeg message code of a
// fatal error. Only plain data lives in this frame.
int compress(const QImage& bgr, int quality, MemoryDestination* dest) {
    jpeg_compress_struct cinfo;
    ErrorManager errors;
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = on_fatal_error;
    errors.pub.emit_message = on_message;
    errors.pub.output_message = on_output;
    if (setjmp(errors.jump)) {
        const int code = errors.pub.msg_code;
        jpeg_destroy_compress(&cinfo);
        return code;
    }
    jpeg_create_compress(&cinfo);

    dest->pub.init_destination = init_destination;
    dest->pub.empty_output_buffer = empty_output_buffer;
    dest->pub.term_destination = term_destination;
    cinfo.dest = &dest->pub;

    cinfo.image_width = JDIMENSION(bgr.width());
    cinfo.image_height = JDIMENSION(bgr.height());
    cinfo.input_components = 3;
    // Rows go in as they lie in memory, blue, green, red: no byte swapping before the
    // library's own colour conversion.
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);

    constexpr int kBatch = 16;
    JSAMPROW rows[kBatch];
    while (cinfo.next_scanline < cinfo.image_height) {
        int count = 0;
        for (; count < kBatch && cinfo.next_scanline + JDIMENSION(count) < cinfo.image_height;
             ++count)
            rows[count] = const_cast<JSAMPROW>(bgr.constScanLine(int(cinfo.next_scanline) + count));
        jpeg_write_scanlines(&cinfo, rows, JDIMENSION(count));
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return 0;
}

} // namespace

QByteArray encode_jpeg(const QImage& picture, int quality) {
    const QImage bgr = picture.format() == QImage::Format_BGR888
                           ? picture
                           : picture.convertToFormat(QImage::Format_BGR888);
    MemoryDestination dest{};
    // A first guess that holds most screenshots at any quality without growing.
    dest.capacity = std::max<std::size_t>(std::size_t(bgr.width()) * std::size_t(bgr.height()),
                                          std::size_t(64) * 1024);
    const int code = compress(bgr, std::clamp(quality, 1, 100), &dest);
    QByteArray bytes;
    if (code == 0)
        bytes = QByteArray(reinterpret_cast<const char*>(dest.buffer), qsizetype(dest.size));
    std::free(dest.buffer);
    if (code != 0)
        throw KapError(QStringLiteral("Erreur JPEG #%1").arg(code));
    return bytes;
}
