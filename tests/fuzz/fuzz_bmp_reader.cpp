// libFuzzer target for the BMP reader. Besides the sanitizers' checks it holds the reader to its
// contract: a refusal always carries a reason, and whatever it accepts survives a write and a
// second read unchanged.

#include "codec/bmp.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "BMP reader contract broken: %s\n", what);
    std::abort();
}

int bytes_per_pixel(QImage::Format format) {
    switch (format) {
    case QImage::Format_Indexed8:
        return 1;
    case QImage::Format_BGR888:
        return 3;
    case QImage::Format_RGB32:
        return 4;
    default:
        broken("unexpected picture format");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QString reason;
    const QImage image = decode_bmp(reinterpret_cast<const char*>(data), size, &reason);
    if (image.isNull()) {
        if (reason.isEmpty())
            broken("refusal without a reason");
        return 0;
    }
    if (!reason.isEmpty())
        broken("reason left on success");
    const int depth = bytes_per_pixel(image.format());
    // The pixels come from the file, so the picture cannot be much larger than the input.
    if (std::uint64_t(image.width()) * std::uint64_t(image.height()) * std::uint64_t(depth) >
        std::uint64_t(size))
        broken("picture larger than the file's pixel data");
    if (image.format() == QImage::Format_RGB32) {
        for (int y = 0; y < image.height(); ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(row[x]) != 255)
                    broken("RGB32 pixel not opaque");
        }
    }

    const QByteArray again = encode_bmp(image);
    QString second_reason;
    const QImage back = decode_bmp(again.constData(), std::size_t(again.size()), &second_reason);
    if (back.isNull())
        broken("own file refused after a round trip");
    if (back.format() != image.format() || back.size() != image.size())
        broken("round trip changed the format or size");
    if (back.colorTable() != image.colorTable())
        broken("round trip changed the colour table");
    const std::size_t row_bytes = std::size_t(image.width()) * std::size_t(depth);
    for (int y = 0; y < image.height(); ++y)
        if (std::memcmp(back.constScanLine(y), image.constScanLine(y), row_bytes) != 0)
            broken("round trip changed the pixels");
    return 0;
}
