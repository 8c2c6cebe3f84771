#include "platform/core/frames.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace {

constexpr std::size_t kLargePage = std::size_t{2} << 20;
#ifdef _WIN32
// The heap hands every block above about 512 kB back to the system when it is freed: frames from
// 1 MB up come from here, in the system's 64 kB units.
constexpr std::size_t kFrameUnit = std::size_t{64} << 10;
constexpr std::size_t kLargeFrameBytes = std::size_t{1} << 20;
#else
// Below this, a picture's faults cost little and the C library reuses freed memory.
constexpr std::size_t kFrameUnit = kLargePage;
constexpr std::size_t kLargeFrameBytes = 4 * kLargePage;
#endif

struct Mapping {
    void* start;
    std::size_t bytes;
};

// Memory straight from the system: on Linux starting on a 2 MB boundary and advised for large
// pages; on Windows committed pages (large pages there need a privilege users lack). Null on
// failure.
void* map_pages(std::size_t length) {
#ifdef _WIN32
    return VirtualAlloc(nullptr, length, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
#else
    // Reserve one large page more, then give back what lies before the first boundary and
    // after the end.
    void* raw = mmap(nullptr, length + kLargePage, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto first = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (first + kLargePage - 1) / kLargePage * kLargePage;
    if (aligned > first)
        munmap(raw, aligned - first);
    const std::uintptr_t end = aligned + length;
    const std::uintptr_t raw_end = first + length + kLargePage;
    if (raw_end > end)
        munmap(reinterpret_cast<void*>(end), raw_end - end);
    void* start = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    madvise(start, length, MADV_HUGEPAGE); // only a hint: without large pages, nothing changes
#endif
    return start;
#endif
}

void unmap_pages(void* start, std::size_t length) {
#ifdef _WIN32
    (void)length;
    VirtualFree(start, 0, MEM_RELEASE);
#else
    munmap(start, length);
#endif
}

// The last frame let go, kept for the next frame of the same size: a capture after a capture, an
// undo after an undo, the negative of the negative reuse memory whose pages are already in
// place. One frame at most, so that no more than one picture's memory waits unused.
std::mutex spare_lock;
Mapping* spare = nullptr;

void release(Mapping* mapping) {
    unmap_pages(mapping->start, mapping->bytes);
    delete mapping;
}

void let_go(void* info) {
    auto* mapping = static_cast<Mapping*>(info);
    Mapping* old = nullptr;
    {
        const std::lock_guard<std::mutex> hold(spare_lock);
        old = std::exchange(spare, mapping);
    }
    if (old)
        release(old);
}

// The spare frame when it has exactly `length` bytes, else null.
Mapping* take_spare(std::size_t length) {
    const std::lock_guard<std::mutex> hold(spare_lock);
    if (!spare || spare->bytes != length)
        return nullptr;
    return std::exchange(spare, nullptr);
}

// At least `bytes` of memory for a frame (a whole number of units): the spare frame when it has
// that size, else fresh memory; null on failure.
Mapping* map_frame(std::size_t bytes) {
    const std::size_t length = (bytes + kFrameUnit - 1) / kFrameUnit * kFrameUnit;
    if (length > std::numeric_limits<std::size_t>::max() - kLargePage)
        return nullptr;
    if (Mapping* reused = take_spare(length))
        return reused;
    void* start = map_pages(length);
    if (!start)
        return nullptr;
    auto* mapping = new (std::nothrow) Mapping{start, length};
    if (!mapping)
        unmap_pages(start, length);
    return mapping;
}

} // namespace

QImage new_frame(QSize size, QImage::Format format) {
    if (size.isEmpty() || format == QImage::Format_Invalid)
        return {};
    // Rows on 32-bit boundaries, as QImage lays out its own pictures (whole-picture copies
    // between the two kinds stay one block).
    const int depth = QImage::toPixelFormat(format).bitsPerPixel();
    const std::int64_t stride = (std::int64_t{size.width()} * depth + 31) / 32 * 4;
    const std::int64_t bytes = stride * size.height();
    if (stride > std::numeric_limits<int>::max() ||
        bytes > std::numeric_limits<qsizetype>::max() / 2)
        return {};
    if (static_cast<std::size_t>(bytes) < kLargeFrameBytes)
        return QImage(size, format);
    Mapping* mapping = map_frame(static_cast<std::size_t>(bytes));
    if (!mapping)
        return {};
    QImage frame(static_cast<uchar*>(mapping->start), size.width(), size.height(),
                 static_cast<qsizetype>(stride), format, let_go, mapping);
    if (frame.isNull())
        release(mapping);
    return frame;
}
QImage copy_to_frame(const QImage& picture, QRect area) {
    QImage frame = new_frame(area.size(), picture.format());
    if (frame.isNull())
        return frame;
    const QRect inside = area.intersected(picture.rect());
    if (inside != area) // what lies outside the picture is black, as QImage::copy makes it
        std::memset(frame.bits(), 0, static_cast<std::size_t>(frame.sizeInBytes()));
    if (inside.isEmpty())
        return frame;
    const int bytes_per_pixel = picture.depth() / 8;
    const std::size_t row = static_cast<std::size_t>(inside.width()) * bytes_per_pixel;
    const qsizetype from_x = qsizetype(inside.left()) * bytes_per_pixel;
    const qsizetype to_x = qsizetype(inside.left() - area.left()) * bytes_per_pixel;
    if (inside == picture.rect() && inside == area &&
        picture.bytesPerLine() == frame.bytesPerLine()) {
        std::memcpy(frame.bits(), picture.constBits(),
                    static_cast<std::size_t>(frame.sizeInBytes()));
    } else {
        for (int y = inside.top(); y <= inside.bottom(); ++y)
            std::memcpy(frame.scanLine(y - area.top()) + to_x, picture.constScanLine(y) + from_x,
                        row);
    }
    frame.setDotsPerMeterX(picture.dotsPerMeterX());
    frame.setDotsPerMeterY(picture.dotsPerMeterY());
    return frame;
}

bool own_frame(QImage& picture) {
    if (owns_frame(picture))
        return true;
    QImage copy = copy_to_frame(picture, picture.rect());
    if (copy.isNull())
        return false;
    picture = std::move(copy);
    return true;
}
