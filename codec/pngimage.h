#pragma once
// The PNG writer: a TPNGObject is given a picture with AssignRaster and written with
// WriteToFile or WriteToStream. It writes 8-bit RGB from a 24-bit (or deeper) picture and
// indexed colour from a paletted picture of 1 or 8 bits.
//
// Only the picture's copy and a handful of row buffers live in memory while writing: rows are
// filtered one at a time and the compressed bytes leave in IDAT chunks of IdatChunkSize bytes.

#include "codec/byte_sink.h"
#include "platform/core/error.h"

#include <QImage>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class QIODevice;

// Row filters of PNG. A TFilters is a set of them: bit n stands for filter n.
enum TFilter : std::uint8_t { pfNone = 0, pfSub = 1, pfUp = 2, pfAverage = 3, pfPaeth = 4 };
using TFilters = std::uint8_t;
constexpr TFilters filter_bit(TFilter filter) {
    return TFilters(1u << filter);
}
constexpr TFilters pfAllFilters = 0x1F;

class EPngError : public KapError {
public:
    using KapError::KapError;
};

class EPNGHeaderNotPresent : public EPngError {
public:
    EPNGHeaderNotPresent();
};

class TPNGObject;

class TChunk {
public:
    explicit TChunk(TPNGObject* owner) : owner_(owner) {}
    virtual ~TChunk() = default;
    TChunk(const TChunk&) = delete;
    TChunk& operator=(const TChunk&) = delete;

    // The four-letter chunk type: the class name without its leading "TChunk".
    virtual const char* ChunkName() const = 0;
    // Copies a chunk of the same class; a chunk of another class is refused with EPngError.
    virtual void CopyFrom(const TChunk& source);
    // Writes the framed chunk: length, type, data, CRC.
    virtual void WriteTo(ByteSink& out);

    TPNGObject* Owner() const { return owner_; }
    const std::vector<std::uint8_t>& Data() const { return data_; }

protected:
    void WriteFramed(ByteSink& out, const std::uint8_t* data, std::size_t size) const;

    TPNGObject* owner_;
    std::vector<std::uint8_t> data_;
};

// A colour-table entry as the header keeps it: blue, green, red, reserved.
using TColourEntry = std::array<std::uint8_t, 4>;

class TChunkIHDR final : public TChunk {
public:
    using TChunk::TChunk;
    const char* ChunkName() const override { return "IHDR"; }
    void CopyFrom(const TChunk& source) override;
    void WriteTo(ByteSink& out) override;

    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::uint8_t BitDepth = 8;
    std::uint8_t ColorType = 2;
    std::uint8_t CompressionMethod = 0;
    std::uint8_t FilterMethod = 0;
    std::uint8_t InterlaceMethod = 0;

    // The pixels: Format_BGR888 for colour type 2; for colour type 3, Format_Indexed8 (bit
    // depth 8) or Format_Mono (bit depth 1), whose bytes are the PNG row bytes as they stand.
    QImage Raster;
    std::array<TColourEntry, 256> ColourTable{};
};

class TChunkPLTE final : public TChunk {
public:
    using TChunk::TChunk;
    const char* ChunkName() const override { return "PLTE"; }
    void CopyFrom(const TChunk& source) override;
    void WriteTo(ByteSink& out) override;

    // Entries written, taken from the header's colour table.
    std::uint32_t Count = 0;
};

class TChunkIDAT final : public TChunk {
public:
    using TChunk::TChunk;
    const char* ChunkName() const override { return "IDAT"; }
    // Filters and compresses the header's raster, framing its own chunks.
    void WriteTo(ByteSink& out) override;
};

class TChunkIEND final : public TChunk {
public:
    using TChunk::TChunk;
    const char* ChunkName() const override { return "IEND"; }
};

// Ordered, owning list of the chunks, in file order.
class TPNGList {
public:
    int Count() const { return int(items_.size()); }
    TChunk* Item(int index) const { return items_.at(std::size_t(index)).get(); }
    template <class T> T* Add(TPNGObject* owner) {
        items_.push_back(std::make_unique<T>(owner));
        return static_cast<T*>(items_.back().get());
    }
    void Clear() { items_.clear(); }

private:
    std::vector<std::unique_ptr<TChunk>> items_;
};

class TPNGObject {
public:
    static constexpr std::uint32_t IdatChunkSize = 65535;

    TPNGObject() = default;
    TPNGObject(const TPNGObject&) = delete;
    TPNGObject& operator=(const TPNGObject&) = delete;

    // Rebuilds the image from a copy of the picture: below 16 bits per pixel it becomes
    // indexed colour with the picture's colour table; otherwise 8-bit RGB.
    void AssignRaster(const QImage& raster);

    void WriteToStream(ByteSink& out);
    void WriteToStream(QIODevice& device);
    // Writes through AtomicFile: the target is replaced only by a complete file.
    void WriteToFile(const QString& path);

    // 0 while no picture was assigned.
    std::uint32_t Width() const;
    std::uint32_t Height() const;
    // Refused: the size comes from the assigned picture only.
    [[noreturn]] void SetWidth(std::uint32_t value);
    [[noreturn]] void SetHeight(std::uint32_t value);

    // The header chunk; EPNGHeaderNotPresent when the list does not start with one.
    TChunkIHDR& Header() const;
    const TPNGList& Chunks() const { return chunks_; }

    // Filters a row may be written with. Default {Sub}.
    TFilters FilterSet = filter_bit(pfSub);
    // Deflate level 0-9 (a larger value counts as 9). Default 7.
    std::uint8_t ZlibLevel = 7;
    // 0: rows in order. Interlaced writing is not offered, so it stays 0.
    std::uint8_t Interlacing() const { return 0; }

private:
    TPNGList chunks_;
};
