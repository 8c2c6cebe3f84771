#include "codec/pngimage.h"

#include "codec/pnglang.h"
#include "codec/pngzlib.h"
#include "platform/core/atomic_file.h"

#include <QIODevice>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <typeinfo>
#include <zlib.h>

EPNGHeaderNotPresent::EPNGHeaderNotPresent() : EPngError(EPNGHeaderNotPresentText()) {}

namespace {

const std::uint8_t kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

void put_be32(std::uint8_t* out, std::uint32_t value) {
    out[0] = std::uint8_t(value >> 24);
    out[1] = std::uint8_t(value >> 16);
    out[2] = std::uint8_t(value >> 8);
    out[3] = std::uint8_t(value);
}

[[noreturn]] void throw_zlib_error(int code) {
    if (code == Z_MEM_ERROR)
        throw std::bad_alloc();
    throw KapError(QStringLiteral("Erreur de compression PNG (zlib #%1)").arg(code));
}

// An 8-bit or 1-bit copy of a paletted picture whose bytes are PNG index rows.
QImage indexed_copy(const QImage& source) {
    switch (source.format()) {
    case QImage::Format_Indexed8:
    case QImage::Format_Mono:
        return source; // shared, copied on write by whoever changes it
    case QImage::Format_MonoLSB:
        return source.convertToFormat(QImage::Format_Mono);
    default: { // Grayscale8: the grey levels become indices into a grey ramp
        QImage indexed(source.size(), QImage::Format_Indexed8);
        QList<QRgb> ramp(256);
        for (int i = 0; i < 256; ++i)
            ramp[i] = qRgb(i, i, i);
        indexed.setColorTable(ramp);
        for (int y = 0; y < source.height(); ++y)
            std::memcpy(indexed.scanLine(y), source.constScanLine(y), std::size_t(source.width()));
        return indexed;
    }
    }
}

// Row filters. `left` is the byte one pixel back (0 inside the first pixel), `up` the byte of
// the previous raw row, `upleft` the previous row's byte one pixel back.
void filter_sub(const std::uint8_t* __restrict raw, std::uint8_t* __restrict out, std::size_t n,
                std::size_t bpp) {
    for (std::size_t i = 0; i < bpp && i < n; ++i)
        out[i] = raw[i];
    for (std::size_t i = bpp; i < n; ++i)
        out[i] = std::uint8_t(raw[i] - raw[i - bpp]);
}

void filter_up(const std::uint8_t* __restrict raw, const std::uint8_t* __restrict prev,
               std::uint8_t* __restrict out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        out[i] = std::uint8_t(raw[i] - prev[i]);
}

void filter_average(const std::uint8_t* __restrict raw, const std::uint8_t* __restrict prev,
                    std::uint8_t* __restrict out, std::size_t n, std::size_t bpp) {
    for (std::size_t i = 0; i < bpp && i < n; ++i)
        out[i] = std::uint8_t(raw[i] - (prev[i] >> 1));
    for (std::size_t i = bpp; i < n; ++i)
        out[i] = std::uint8_t(raw[i] - ((unsigned(raw[i - bpp]) + prev[i]) >> 1));
}

inline std::uint8_t paeth_predictor(int left, int up, int upleft) {
    const int p = left + up - upleft;
    const int pa = std::abs(p - left);
    const int pb = std::abs(p - up);
    const int pc = std::abs(p - upleft);
    if (pa <= pb && pa <= pc)
        return std::uint8_t(left);
    if (pb <= pc)
        return std::uint8_t(up);
    return std::uint8_t(upleft);
}

void filter_paeth(const std::uint8_t* __restrict raw, const std::uint8_t* __restrict prev,
                  std::uint8_t* __restrict out, std::size_t n, std::size_t bpp) {
    for (std::size_t i = 0; i < bpp && i < n; ++i)
        out[i] = std::uint8_t(raw[i] - paeth_predictor(0, prev[i], 0));
    for (std::size_t i = bpp; i < n; ++i)
        out[i] = std::uint8_t(raw[i] - paeth_predictor(raw[i - bpp], prev[i], prev[i - bpp]));
}

// Counts the bytes equal to one of the two bytes before them: rows with more repeats
// compress better.
long row_score(const std::uint8_t* row, std::size_t n) {
    long score = 0;
    for (std::size_t j = 2; j < n; ++j)
        score += (row[j] == row[j - 1] || row[j] == row[j - 2]) ? 1 : 0;
    return score;
}

int filter_count(TFilters set) {
    int count = 0;
    for (int f = pfNone; f <= pfPaeth; ++f)
        count += (set >> f) & 1;
    return count;
}

// Owns a deflate stream for the length of one write.
struct Deflater {
    z_stream stream{};
    explicit Deflater(int level) {
        const int result = deflateInit(&stream, level);
        if (result != Z_OK)
            throw_zlib_error(result);
    }
    ~Deflater() { deflateEnd(&stream); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Chunks

void TChunk::CopyFrom(const TChunk& source) {
    if (typeid(source) != typeid(*this))
        throw EPngError(EPNGCannotAssignChunkText());
    data_ = source.data_;
}

void TChunk::WriteTo(ByteSink& out) {
    WriteFramed(out, data_.data(), data_.size());
}

void TChunk::WriteFramed(ByteSink& out, const std::uint8_t* data, std::size_t size) const {
    std::uint8_t head[8];
    put_be32(head, std::uint32_t(size));
    std::memcpy(head + 4, ChunkName(), 4);
    std::uint8_t tail[4];
    put_be32(tail, png_crc(head + 4, data, size));
    out.write(head, 8);
    if (size > 0)
        out.write(data, size);
    out.write(tail, 4);
}

void TChunkIHDR::CopyFrom(const TChunk& source) {
    TChunk::CopyFrom(source);
    const auto& other = static_cast<const TChunkIHDR&>(source);
    Width = other.Width;
    Height = other.Height;
    BitDepth = other.BitDepth;
    ColorType = other.ColorType;
    CompressionMethod = other.CompressionMethod;
    FilterMethod = other.FilterMethod;
    InterlaceMethod = other.InterlaceMethod;
    Raster = other.Raster;
    ColourTable = other.ColourTable;
}

void TChunkIHDR::WriteTo(ByteSink& out) {
    data_.assign(13, 0);
    put_be32(&data_[0], Width);
    put_be32(&data_[4], Height);
    data_[8] = BitDepth;
    data_[9] = ColorType;
    data_[10] = CompressionMethod;
    data_[11] = FilterMethod;
    data_[12] = owner_ ? owner_->Interlacing() : InterlaceMethod;
    TChunk::WriteTo(out);
}

void TChunkPLTE::CopyFrom(const TChunk& source) {
    TChunk::CopyFrom(source);
    Count = static_cast<const TChunkPLTE&>(source).Count;
}

void TChunkPLTE::WriteTo(ByteSink& out) {
    if (!owner_)
        throw EPNGHeaderNotPresent();
    const TChunkIHDR& header = owner_->Header();
    const std::uint32_t count = std::min<std::uint32_t>(Count, 256);
    data_.resize(std::size_t(count) * 3);
    for (std::uint32_t i = 0; i < count; ++i) {
        const TColourEntry& entry = header.ColourTable[i]; // blue, green, red, reserved
        data_[i * 3 + 0] = entry[2];
        data_[i * 3 + 1] = entry[1];
        data_[i * 3 + 2] = entry[0];
    }
    TChunk::WriteTo(out);
}

void TChunkIDAT::WriteTo(ByteSink& out) {
    if (!owner_)
        throw EPNGHeaderNotPresent();
    const TChunkIHDR& header = owner_->Header();
    const QImage& raster = header.Raster;
    const bool indexed = header.ColorType == 3;
    const std::size_t width = header.Width;
    const std::size_t row_bytes =
        indexed ? (width * header.BitDepth + 7) / 8 : width * header.BitDepth * 3 / 8;
    const std::size_t bpp = indexed ? 1 : header.BitDepth * 3 / 8;

    const TFilters set = owner_->FilterSet & pfAllFilters;
    const int enabled = filter_count(set);

    std::vector<std::uint8_t> raw(row_bytes), previous(row_bytes);
    std::array<std::vector<std::uint8_t>, 5> filtered;
    for (int f = pfSub; f <= pfPaeth; ++f)
        if (set & filter_bit(TFilter(f)))
            filtered[f].resize(row_bytes);

    // The output buffer is laid out as a whole chunk: length, type, IdatChunkSize bytes of
    // compressed data, room for the CRC. A full buffer leaves in one write.
    const std::size_t capacity = TPNGObject::IdatChunkSize;
    std::vector<std::uint8_t> chunk(8 + capacity + 4);
    std::memcpy(&chunk[4], "IDAT", 4);
    std::uint8_t* const data = &chunk[8];

    Deflater deflater(std::min<int>(owner_->ZlibLevel, 9));
    z_stream& z = deflater.stream;
    z.next_out = data;
    z.avail_out = uInt(capacity);

    auto send_chunk = [&](std::size_t size) {
        put_be32(&chunk[0], std::uint32_t(size));
        put_be32(&chunk[8 + size], png_crc(&chunk[4], data, size));
        out.write(chunk.data(), 8 + size + 4);
        z.next_out = data;
        z.avail_out = uInt(capacity);
    };
    auto feed = [&](const std::uint8_t* bytes, std::size_t size) {
        z.next_in = const_cast<Bytef*>(bytes);
        z.avail_in = uInt(size);
        while (z.avail_in > 0) {
            const int result = deflate(&z, Z_NO_FLUSH);
            if (result != Z_OK && result != Z_BUF_ERROR)
                throw_zlib_error(result);
            if (z.avail_out == 0)
                send_chunk(capacity);
        }
    };

    for (std::uint32_t y = 0; y < header.Height; ++y) {
        const std::uint8_t* source = raster.constScanLine(int(y));
        if (indexed) {
            std::memcpy(raw.data(), source, row_bytes);
        } else {
            std::uint8_t* dst = raw.data();
            for (std::size_t i = 0; i < row_bytes; i += 3) { // blue, green, red -> red, green, blue
                dst[i] = source[i + 2];
                dst[i + 1] = source[i + 1];
                dst[i + 2] = source[i];
            }
        }

        if (set & filter_bit(pfSub))
            filter_sub(raw.data(), filtered[pfSub].data(), row_bytes, bpp);
        if (set & filter_bit(pfUp))
            filter_up(raw.data(), previous.data(), filtered[pfUp].data(), row_bytes);
        if (set & filter_bit(pfAverage))
            filter_average(raw.data(), previous.data(), filtered[pfAverage].data(), row_bytes, bpp);
        if (set & filter_bit(pfPaeth))
            filter_paeth(raw.data(), previous.data(), filtered[pfPaeth].data(), row_bytes, bpp);

        std::uint8_t type = pfNone;
        if (enabled == 1) {
            for (int f = pfSub; f <= pfPaeth; ++f)
                if (set & filter_bit(TFilter(f)))
                    type = std::uint8_t(f);
        } else if (enabled > 1) {
            long best = 0;
            for (int f = pfNone; f <= pfPaeth; ++f) {
                if (!(set & filter_bit(TFilter(f))))
                    continue;
                const long score =
                    row_score(f == pfNone ? raw.data() : filtered[f].data(), row_bytes);
                if (score > best) {
                    best = score;
                    type = std::uint8_t(f);
                }
            }
        }
        const std::uint8_t* row = type == pfNone ? raw.data() : filtered[type].data();

        feed(&type, 1);
        feed(row, row_bytes);
        raw.swap(previous);
    }

    for (;;) {
        const int result = deflate(&z, Z_FINISH);
        if (result == Z_STREAM_END)
            break;
        if (result != Z_OK && result != Z_BUF_ERROR)
            throw_zlib_error(result);
        const std::size_t used = capacity - z.avail_out;
        if (used == 0) // no progress although the buffer was empty: never loop forever
            throw_zlib_error(result);
        send_chunk(used);
    }
    if (const std::size_t used = capacity - z.avail_out; used > 0)
        send_chunk(used);
}

// ---------------------------------------------------------------------------------------------
// The object

void TPNGObject::AssignRaster(const QImage& raster) {
    chunks_.Clear();
    const bool null = raster.isNull();
    const int bits = null ? 24 : raster.depth();
    const bool paletted = !null && bits < 16 && raster.format() != QImage::Format_Alpha8;

    TChunkIHDR* header = chunks_.Add<TChunkIHDR>(this);
    TChunkPLTE* palette = paletted ? chunks_.Add<TChunkPLTE>(this) : nullptr;
    chunks_.Add<TChunkIDAT>(this);
    chunks_.Add<TChunkIEND>(this);

    header->Width = std::uint32_t(raster.width());
    header->Height = std::uint32_t(raster.height());
    if (paletted) {
        header->Raster = indexed_copy(raster);
        header->BitDepth = std::uint8_t(header->Raster.depth());
        header->ColorType = 3;
        const QList<QRgb> table = header->Raster.colorTable();
        for (int i = 0; i < table.size() && i < 256; ++i)
            header->ColourTable[std::size_t(i)] = {std::uint8_t(qBlue(table[i])),
                                                   std::uint8_t(qGreen(table[i])),
                                                   std::uint8_t(qRed(table[i])), 0};
        palette->Count = 1u << header->BitDepth;
    } else {
        header->BitDepth = 8;
        header->ColorType = 2;
        header->Raster = null || raster.format() == QImage::Format_BGR888
                             ? raster
                             : raster.convertToFormat(QImage::Format_BGR888);
    }
}

void TPNGObject::WriteToStream(ByteSink& out) {
    out.write(kSignature, sizeof kSignature);
    for (int i = 0; i < chunks_.Count(); ++i)
        chunks_.Item(i)->WriteTo(out);
}

void TPNGObject::WriteToStream(QIODevice& device) {
    DeviceSink sink(device);
    WriteToStream(sink);
}

void TPNGObject::WriteToFile(const QString& path) {
    AtomicFile file(path);
    AtomicFileSink sink(file);
    WriteToStream(sink);
    file.commit();
}

TChunkIHDR& TPNGObject::Header() const {
    if (chunks_.Count() == 0)
        throw EPNGHeaderNotPresent();
    auto* header = dynamic_cast<TChunkIHDR*>(chunks_.Item(0));
    if (!header)
        throw EPNGHeaderNotPresent();
    return *header;
}

std::uint32_t TPNGObject::Width() const {
    return chunks_.Count() == 0 ? 0 : Header().Width;
}

std::uint32_t TPNGObject::Height() const {
    return chunks_.Count() == 0 ? 0 : Header().Height;
}

void TPNGObject::SetWidth(std::uint32_t) {
    throw EPngError(EPNGCannotChangeSizeText());
}

void TPNGObject::SetHeight(std::uint32_t) {
    throw EPngError(EPNGCannotChangeSizeText());
}
