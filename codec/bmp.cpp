#include "codec/bmp.h"

#include "platform/core/atomic_file.h"
#include "platform/core/error.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kCoreHeaderSize = 12;

// Compression codes of the info header.
constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;
constexpr std::uint32_t kBitfields = 3;
constexpr std::uint32_t kJpeg = 4;
constexpr std::uint32_t kPng = 5;
constexpr std::uint32_t kAlphaBitfields = 6;

// Files above this are refused before reading; the largest real screens make ~130 MB at 32 bits.
constexpr qint64 kMaxFileSize = qint64(1) << 30;

// ---------------------------------------------------------------------------------------------
// Writing

struct WriteLayout {
    QImage image; // BGR888, RGB32 or Indexed8
    int bits = 0;
    std::uint32_t table_entries = 0;
    std::uint32_t stride = 0;
    std::uint32_t offset = 0;
    std::uint32_t image_size = 0;
    std::uint32_t file_size = 0;
};

std::uint64_t row_stride(std::uint64_t width, unsigned bits) {
    return (width * bits + 31) / 32 * 4;
}

// How many colour-table entries an 8-bit picture needs: its own table when every pixel indexes
// into it, otherwise a full 256-entry table so that the file stays valid.
std::uint32_t table_entries_for(const QImage& image) {
    const int count = image.colorCount();
    if (count < 1 || count >= 256)
        return 256;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* row = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            if (row[x] >= count)
                return 256;
        }
    }
    return std::uint32_t(count);
}

// Fills the layout; false with *reason for a picture the format cannot hold.
bool plan_write(const QImage& source, WriteLayout* layout, QString* reason) {
    if (source.isNull() || source.width() <= 0 || source.height() <= 0) {
        *reason = QStringLiteral("L'image est vide");
        return false;
    }
    switch (source.format()) {
    case QImage::Format_BGR888:
        layout->image = source;
        layout->bits = 24;
        break;
    case QImage::Format_RGB32:
        layout->image = source;
        layout->bits = 32;
        break;
    case QImage::Format_Indexed8:
        layout->image = source;
        layout->bits = 8;
        layout->table_entries = table_entries_for(source);
        break;
    default:
        layout->image = source.convertToFormat(QImage::Format_BGR888);
        layout->bits = 24;
        if (layout->image.isNull()) {
            *reason = QStringLiteral("Mémoire insuffisante");
            return false;
        }
        break;
    }
    const std::uint64_t stride = row_stride(std::uint64_t(source.width()), unsigned(layout->bits));
    const std::uint64_t image_size = stride * std::uint64_t(source.height());
    const std::uint64_t offset = kFileHeaderSize + kInfoHeaderSize + 4ull * layout->table_entries;
    if (offset + image_size > std::numeric_limits<std::uint32_t>::max()) {
        *reason = QStringLiteral("L'image est trop grande pour le format BMP");
        return false;
    }
    layout->stride = std::uint32_t(stride);
    layout->image_size = std::uint32_t(image_size);
    layout->offset = std::uint32_t(offset);
    layout->file_size = std::uint32_t(offset + image_size);
    return true;
}

void put_u16(unsigned char* at, std::uint32_t value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

void put_u32(unsigned char* at, std::uint32_t value) {
    put_u16(at, value & 0xFFFF);
    put_u16(at + 2, value >> 16);
}

using Headers = std::array<unsigned char, kFileHeaderSize + kInfoHeaderSize>;

Headers make_headers(const WriteLayout& layout) {
    const int width = layout.image.width();
    const int height = layout.image.height();
    Headers header{};
    header[0] = 'B';
    header[1] = 'M';
    put_u32(&header[2], layout.file_size);
    put_u32(&header[10], layout.offset);
    put_u32(&header[14], kInfoHeaderSize);
    put_u32(&header[18], std::uint32_t(width));
    put_u32(&header[22], std::uint32_t(height)); // positive: bottom row first
    put_u16(&header[26], 1);
    put_u16(&header[28], std::uint32_t(layout.bits));
    put_u32(&header[30], kRgb);
    put_u32(&header[34], layout.image_size);
    // Resolutions stay 0; colours used is 0 for a full table, which means 2^bits entries.
    put_u32(&header[46], layout.table_entries == 256 ? 0 : layout.table_entries);
    return header;
}

// Hands the whole file to `sink(data, size)` in order, one row at a time.
template <typename Sink> void emit_bmp(const WriteLayout& layout, Sink&& sink) {
    const QImage& image = layout.image;
    const int width = image.width();
    const int height = image.height();

    const Headers header = make_headers(layout);
    sink(header.data(), header.size());

    if (layout.table_entries > 0) {
        std::vector<unsigned char> table(4 * std::size_t(layout.table_entries), 0);
        const QList<QRgb> colours = image.colorTable();
        const std::size_t known = std::min<std::size_t>(colours.size(), layout.table_entries);
        for (std::size_t i = 0; i < known; ++i) {
            const QRgb c = colours[qsizetype(i)];
            table[4 * i] = static_cast<unsigned char>(qBlue(c));
            table[4 * i + 1] = static_cast<unsigned char>(qGreen(c));
            table[4 * i + 2] = static_cast<unsigned char>(qRed(c));
        }
        sink(table.data(), table.size());
    }

    // The padding bytes stay zero: nothing of the process's memory ends up in the file.
    std::vector<unsigned char> row(layout.stride, 0);
    for (int y = height - 1; y >= 0; --y) {
        const uchar* line = image.constScanLine(y);
        switch (layout.bits) {
        case 24:
            std::memcpy(row.data(), line, std::size_t(width) * 3);
            break;
        case 8:
            std::memcpy(row.data(), line, std::size_t(width));
            break;
        case 32: {
            const auto* pixels = reinterpret_cast<const QRgb*>(line);
            unsigned char* out = row.data();
            for (int x = 0; x < width; ++x, out += 4) {
                // 0x00RRGGBB in little-endian order is blue, green, red, 0.
                qToLittleEndian(std::uint32_t(pixels[x] & 0x00FFFFFFu), out);
            }
            break;
        }
        }
        sink(row.data(), row.size());
    }
}

// ---------------------------------------------------------------------------------------------
// Reading

class Bytes {
public:
    Bytes(const char* data, std::size_t size)
        : data_(reinterpret_cast<const unsigned char*>(data)), size_(size) {}

    std::size_t size() const { return size_; }
    const unsigned char* at(std::size_t offset) const { return data_ + offset; }
    // Callers check that [offset, offset + 2 or 4) lies inside the data first.
    std::uint32_t u16(std::size_t offset) const {
        return std::uint32_t(data_[offset]) | std::uint32_t(data_[offset + 1]) << 8;
    }
    std::uint32_t u32(std::size_t offset) const { return u16(offset) | u16(offset + 2) << 16; }
    std::int32_t i32(std::size_t offset) const { return static_cast<std::int32_t>(u32(offset)); }

private:
    const unsigned char* data_;
    std::size_t size_;
};

// A colour channel held in 8 contiguous bits of a 32-bit pixel.
struct Channel {
    unsigned shift = 0;
};

bool channel_from_mask(std::uint32_t mask, Channel* channel) {
    if (mask == 0)
        return false;
    unsigned shift = 0;
    while (!(mask & 1u)) {
        mask >>= 1;
        ++shift;
    }
    if (mask != 0xFFu)
        return false;
    channel->shift = shift;
    return true;
}

struct Header {
    std::uint32_t header_size = 0;
    std::int64_t width = 0;
    std::int64_t height = 0; // negative for rows stored top row first
    std::uint32_t planes = 0;
    std::uint32_t bits = 0;
    std::uint32_t compression = kRgb;
    std::uint32_t colours_used = 0;
};

QImage refuse(QString* reason, const QString& text) {
    if (reason)
        *reason = text;
    return QImage();
}

QString compression_refusal(std::uint32_t compression) {
    switch (compression) {
    case kRle8:
    case kRle4:
        return QStringLiteral("Les images BMP compressées (RLE) ne sont pas prises en charge");
    case kJpeg:
        return QStringLiteral("Les images BMP contenant du JPEG ne sont pas prises en charge");
    case kPng:
        return QStringLiteral("Les images BMP contenant du PNG ne sont pas prises en charge");
    default:
        return QStringLiteral("Mode de compression BMP inconnu (%1)").arg(compression);
    }
}

QImage decode_pixels(const Bytes& bytes, const Header& h, std::size_t pixel_offset,
                     std::uint64_t stride, const std::vector<QRgb>& table,
                     const std::array<Channel, 3>& channels, QString* reason) {
    const int width = int(h.width);
    const int height = int(h.height < 0 ? -h.height : h.height);
    const bool top_down = h.height < 0;
    QImage::Format format = QImage::Format_BGR888;
    if (h.bits == 8)
        format = QImage::Format_Indexed8;
    else if (h.bits == 32)
        format = QImage::Format_RGB32;

    QImage image(width, height, format);
    if (image.isNull())
        return refuse(reason, QStringLiteral("Mémoire insuffisante pour une image de %1 × %2 "
                                             "pixels")
                                  .arg(width)
                                  .arg(height));
    if (h.bits == 8)
        image.setColorTable(QList<QRgb>(table.begin(), table.end()));

    const std::size_t palette_size = table.size();
    const bool standard_masks =
        channels[0].shift == 16 && channels[1].shift == 8 && channels[2].shift == 0;
    for (int y = 0; y < height; ++y) {
        const int stored = top_down ? y : height - 1 - y;
        const unsigned char* src = bytes.at(pixel_offset + std::size_t(stored) * stride);
        uchar* dst = image.scanLine(y);
        switch (h.bits) {
        case 24:
            std::memcpy(dst, src, std::size_t(width) * 3);
            break;
        case 8:
            for (int x = 0; x < width; ++x) {
                if (src[x] >= palette_size)
                    return refuse(reason, QStringLiteral("L'image utilise la couleur %1, absente "
                                                         "de sa table de %2 couleurs")
                                              .arg(int(src[x]))
                                              .arg(palette_size));
            }
            std::memcpy(dst, src, std::size_t(width));
            break;
        case 32: {
            auto* out = reinterpret_cast<QRgb*>(dst);
            if (standard_masks) {
                for (int x = 0; x < width; ++x, src += 4)
                    out[x] = 0xFF000000u | (qFromLittleEndian<std::uint32_t>(src) & 0x00FFFFFFu);
                break;
            }
            for (int x = 0; x < width; ++x, src += 4) {
                const std::uint32_t v = qFromLittleEndian<std::uint32_t>(src);
                out[x] =
                    qRgb(int((v >> channels[0].shift) & 0xFF), int((v >> channels[1].shift) & 0xFF),
                         int((v >> channels[2].shift) & 0xFF));
            }
            break;
        }
        }
    }
    return image;
}

} // namespace

QByteArray encode_bmp(const QImage& image) {
    WriteLayout layout;
    QString reason;
    if (!plan_write(image, &layout, &reason))
        return QByteArray();
    QByteArray bytes;
    bytes.reserve(qsizetype(layout.file_size));
    emit_bmp(layout, [&bytes](const void* data, std::size_t size) {
        bytes.append(static_cast<const char*>(data), qsizetype(size));
    });
    return bytes;
}

bool write_bmp(const QImage& image, const QString& path, Placement placement) {
    WriteLayout layout;
    QString reason;
    if (!plan_write(image, &layout, &reason))
        throw KapError(msg_cannot_create(path, reason));
    AtomicFile file(path);
    const QImage& rows = layout.image;
    const std::size_t pixel_bytes = std::size_t(rows.width()) * 3;
    if (layout.bits == 24 && pixel_bytes == layout.stride &&
        std::size_t(rows.bytesPerLine()) == pixel_bytes) {
        // Rows without padding (a width that is a multiple of 4, as screens are) are already
        // laid out as the file wants them: they go out straight from the picture, bottom row
        // first, in one gathered write with the headers.
        const Headers header = make_headers(layout);
        std::vector<AtomicFile::Piece> pieces;
        pieces.reserve(std::size_t(rows.height()) + 1);
        pieces.push_back({header.data(), header.size()});
        for (int y = rows.height() - 1; y >= 0; --y)
            pieces.push_back({rows.constScanLine(y), pixel_bytes});
        file.write_pieces(pieces);
    } else {
        emit_bmp(layout, [&file](const void* data, std::size_t size) { file.write(data, size); });
    }
    return place_file(file, placement);
}

QImage decode_bmp(const char* data, std::size_t size, QString* reason) {
    const Bytes bytes(data, size);
    if (data == nullptr || size < kFileHeaderSize + 4)
        return refuse(reason, QStringLiteral("Le fichier est trop court pour être une image BMP"));
    if (bytes.at(0)[0] != 'B' || bytes.at(0)[1] != 'M')
        return refuse(reason, QStringLiteral("Ce n'est pas une image BMP"));

    const std::uint32_t pixel_offset = bytes.u32(10);
    Header h;
    h.header_size = bytes.u32(14);
    switch (h.header_size) {
    case kCoreHeaderSize:
    case kInfoHeaderSize:
    case 52:
    case 56:
    case 108:
    case 124:
        break;
    case 16:
    case 64:
        return refuse(reason, QStringLiteral("Les images BMP au format OS/2 2.x ne sont pas "
                                             "prises en charge"));
    default:
        return refuse(
            reason,
            QStringLiteral("En-tête BMP de taille invalide (%1 octets)").arg(h.header_size));
    }
    const std::uint64_t header_end = std::uint64_t(kFileHeaderSize) + h.header_size;
    if (header_end > size)
        return refuse(reason, QStringLiteral("Le fichier BMP est tronqué"));

    if (h.header_size == kCoreHeaderSize) {
        h.width = bytes.u16(18);
        h.height = bytes.u16(20);
        h.planes = bytes.u16(22);
        h.bits = bytes.u16(24);
    } else {
        h.width = bytes.i32(18);
        h.height = bytes.i32(22);
        h.planes = bytes.u16(26);
        h.bits = bytes.u16(28);
        h.compression = bytes.u32(30);
        h.colours_used = bytes.u32(46);
    }

    if (h.planes != 1)
        return refuse(reason, QStringLiteral("Nombre de plans invalide (%1)").arg(h.planes));
    if (h.compression != kRgb && h.compression != kBitfields && h.compression != kAlphaBitfields)
        return refuse(reason, compression_refusal(h.compression));
    if (h.bits != 8 && h.bits != 24 && h.bits != 32)
        return refuse(reason,
                      QStringLiteral("Les images BMP à %1 %2 par pixel ne sont pas "
                                     "prises en charge (seulement 8, 24 et 32 bits)")
                          .arg(h.bits)
                          .arg(h.bits > 1 ? QStringLiteral("bits") : QStringLiteral("bit")));
    // A height of -2^31 has no positive counterpart.
    if (h.width <= 0 || h.height == 0 || h.height == std::numeric_limits<std::int32_t>::min())
        return refuse(reason,
                      QStringLiteral("Dimensions invalides (%1 × %2)").arg(h.width).arg(h.height));

    // Colour masks: in the header from 52 bytes on, right after a 40-byte header otherwise.
    std::array<Channel, 3> channels{Channel{16}, Channel{8}, Channel{0}};
    std::uint64_t table_start = header_end;
    if (h.compression != kRgb) {
        if (h.bits != 32)
            return refuse(reason, QStringLiteral("Masques de couleur invalides pour une image de "
                                                 "%1 bits par pixel")
                                      .arg(h.bits));
        const std::uint64_t masks_end = h.header_size == kInfoHeaderSize
                                            ? header_end + (h.compression == kBitfields ? 12 : 16)
                                            : header_end;
        if (masks_end > size)
            return refuse(reason, QStringLiteral("Le fichier BMP est tronqué"));
        Channel red, green, blue;
        const std::uint32_t r = bytes.u32(54), g = bytes.u32(58), b = bytes.u32(62);
        if (!channel_from_mask(r, &red) || !channel_from_mask(g, &green) ||
            !channel_from_mask(b, &blue) || (r & g) || (r & b) || (g & b))
            return refuse(reason, QStringLiteral("Masques de couleur non pris en charge (seuls "
                                                 "des masques de 8 bits le sont)"));
        channels = {red, green, blue};
        table_start = masks_end;
    }

    if (pixel_offset < table_start || pixel_offset > size)
        return refuse(reason, QStringLiteral("Position des pixels invalide dans le fichier BMP"));

    // Colour table of 8-bit pictures; the tables some writers leave in deeper files are ignored.
    std::vector<QRgb> table;
    if (h.bits == 8) {
        const std::uint64_t room = pixel_offset - table_start;
        std::uint64_t entries = 0;
        std::uint64_t entry_size = 4;
        if (h.header_size == kCoreHeaderSize) {
            // The old header has no count: the table fills the room before the pixels.
            entry_size = 3;
            entries = std::min<std::uint64_t>(256, room / entry_size);
        } else {
            entries = h.colours_used == 0 ? 256 : h.colours_used;
            if (entries > room / entry_size)
                return refuse(reason, QStringLiteral("Table de couleurs invalide (%1 couleurs "
                                                     "annoncées)")
                                          .arg(entries));
        }
        const std::uint64_t used = std::min<std::uint64_t>(entries, 256);
        if (used == 0)
            return refuse(reason, QStringLiteral("Table de couleurs vide"));
        table.reserve(std::size_t(used));
        for (std::uint64_t i = 0; i < used; ++i) {
            const unsigned char* e = bytes.at(std::size_t(table_start + i * entry_size));
            table.push_back(qRgb(e[2], e[1], e[0]));
        }
    }

    // Every row must be present before anything the size of the picture is allocated.
    const std::uint64_t height = std::uint64_t(h.height < 0 ? -h.height : h.height);
    const std::uint64_t stride = row_stride(std::uint64_t(h.width), h.bits);
    if (height > (size - pixel_offset) / stride)
        return refuse(reason, QStringLiteral("Les pixels du fichier BMP sont tronqués"));

    QString why;
    QImage image = decode_pixels(bytes, h, pixel_offset, stride, table, channels, &why);
    if (image.isNull())
        return refuse(reason, why);
    if (reason)
        reason->clear();
    return image;
}

QImage read_bmp(const QString& path) {
    // Only regular files: opening a pipe or a device could wait forever or never end.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        throw KapError(msg_cannot_open(path, QStringLiteral("Ce n'est pas un fichier")));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw KapError(msg_cannot_open(path, file.errorString()));
    const qint64 length = file.size();
    if (length > kMaxFileSize)
        throw KapError(msg_cannot_open(path, QStringLiteral("Le fichier est trop volumineux")));
    QByteArray bytes;
    try {
        bytes.resize(qsizetype(length));
    } catch (const std::bad_alloc&) {
        throw KapError(msg_cannot_open(path, QStringLiteral("Mémoire insuffisante")));
    }
    qint64 got = 0;
    while (got < length) {
        const qint64 n = file.read(bytes.data() + got, length - got);
        if (n < 0)
            throw KapError(msg_cannot_open(path, file.errorString()));
        if (n == 0)
            break; // the file shrank meanwhile: decode what is there
        got += n;
    }
    QString reason;
    QImage image = decode_bmp(bytes.constData(), std::size_t(got), &reason);
    if (image.isNull())
        throw KapError(msg_cannot_open(path, reason));
    return image;
}
