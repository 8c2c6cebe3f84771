#include "codec/halftone.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

// The colour space is cut into cells of kCellSize^3 colours. For each cell the palette entries
// that can be nearest to some colour inside it are listed once: an entry whose smallest possible
// distance to the cell exceeds the largest possible distance of another entry never wins there.
// A lookup then measures only the entries listed for its cell (about two on average), and the
// answer is exactly the nearest entry. The lists are built on first use, in a few milliseconds.
constexpr int kCellBits = 3;
constexpr int kCellSize = 1 << kCellBits;
constexpr int kCellsPerAxis = 256 / kCellSize;
constexpr int kCellCount = kCellsPerAxis * kCellsPerAxis * kCellsPerAxis;

struct Halftone {
    std::array<std::uint8_t, 256> red{}, green{}, blue{};
    QList<QRgb> table;
    std::vector<std::uint32_t> cell_start; // kCellCount + 1 offsets into candidates
    std::vector<std::uint8_t> candidates;  // palette indices, ascending within a cell
};

std::vector<QRgb> palette_entries() {
    std::vector<QRgb> entries;
    entries.reserve(256);
    static const int levels[6] = {0, 51, 102, 153, 204, 255};
    for (int r : levels)
        for (int g : levels)
            for (int b : levels)
                entries.push_back(qRgb(r, g, b));
    // The classic system colours that the cube does not already hold.
    const QRgb system[12] = {qRgb(128, 0, 0),     qRgb(0, 128, 0),     qRgb(128, 128, 0),
                             qRgb(0, 0, 128),     qRgb(128, 0, 128),   qRgb(0, 128, 128),
                             qRgb(192, 192, 192), qRgb(192, 220, 192), qRgb(166, 202, 240),
                             qRgb(255, 251, 240), qRgb(160, 160, 164), qRgb(128, 128, 128)};
    entries.insert(entries.end(), std::begin(system), std::end(system));
    // Greys: split the widest gap between the grey levels held so far, 28 times.
    std::vector<int> greys = {0, 51, 102, 128, 153, 192, 204, 255};
    while (entries.size() < 256) {
        std::size_t widest = 0;
        for (std::size_t i = 1; i + 1 < greys.size(); ++i)
            if (greys[i + 1] - greys[i] > greys[widest + 1] - greys[widest])
                widest = i;
        const int level = (greys[widest] + greys[widest + 1]) / 2;
        greys.insert(greys.begin() + std::ptrdiff_t(widest) + 1, level);
        entries.push_back(qRgb(level, level, level));
    }
    return entries;
}

inline int axis_min_distance(int value, int lo, int hi) {
    const int d = value < lo ? lo - value : value > hi ? value - hi : 0;
    return d * d;
}

inline int axis_max_distance(int value, int lo, int hi) {
    const int a = value - lo, b = hi - value;
    return std::max(a * a, b * b);
}

// Lists, for the box [lo, lo + size)^3, the entries among `from` that can be nearest to a
// colour inside it. The bound is taken over `from` only, which can only lengthen the list: when
// `from` is the list of an enclosing box, entries left out there cannot win here either.
void list_candidates(const Halftone& h, int r_lo, int g_lo, int b_lo, int size,
                     const std::uint8_t* from, const std::uint8_t* from_end,
                     std::vector<std::uint8_t>& out) {
    const int r_hi = r_lo + size - 1, g_hi = g_lo + size - 1, b_hi = b_lo + size - 1;
    int bound = 1 << 30;
    int min_distance[256];
    for (const std::uint8_t* it = from; it != from_end; ++it) {
        const int i = *it;
        min_distance[i] = axis_min_distance(h.red[i], r_lo, r_hi) +
                          axis_min_distance(h.green[i], g_lo, g_hi) +
                          axis_min_distance(h.blue[i], b_lo, b_hi);
        bound = std::min(bound, axis_max_distance(h.red[i], r_lo, r_hi) +
                                    axis_max_distance(h.green[i], g_lo, g_hi) +
                                    axis_max_distance(h.blue[i], b_lo, b_hi));
    }
    for (const std::uint8_t* it = from; it != from_end; ++it)
        if (min_distance[*it] <= bound)
            out.push_back(*it);
}

Halftone build_halftone() {
    Halftone h;
    const std::vector<QRgb> entries = palette_entries();
    h.table = QList<QRgb>(entries.begin(), entries.end());
    std::uint8_t all[256];
    for (int i = 0; i < 256; ++i) {
        h.red[i] = std::uint8_t(qRed(entries[i]));
        h.green[i] = std::uint8_t(qGreen(entries[i]));
        h.blue[i] = std::uint8_t(qBlue(entries[i]));
        all[i] = std::uint8_t(i);
    }

    // Coarse boxes first, then each cell from the list of the box that holds it.
    constexpr int kCoarseSize = 32, kCoarsePerAxis = 256 / kCoarseSize;
    std::vector<std::vector<std::uint8_t>> coarse(kCoarsePerAxis * kCoarsePerAxis * kCoarsePerAxis);
    for (int r = 0; r < kCoarsePerAxis; ++r)
        for (int g = 0; g < kCoarsePerAxis; ++g)
            for (int b = 0; b < kCoarsePerAxis; ++b)
                list_candidates(h, r * kCoarseSize, g * kCoarseSize, b * kCoarseSize, kCoarseSize,
                                all, all + 256,
                                coarse[std::size_t((r * kCoarsePerAxis + g) * kCoarsePerAxis + b)]);
    h.cell_start.reserve(kCellCount + 1);
    for (int r = 0; r < 256; r += kCellSize)
        for (int g = 0; g < 256; g += kCellSize)
            for (int b = 0; b < 256; b += kCellSize) {
                const auto& parent = coarse[std::size_t(
                    ((r / kCoarseSize) * kCoarsePerAxis + g / kCoarseSize) * kCoarsePerAxis +
                    b / kCoarseSize)];
                h.cell_start.push_back(std::uint32_t(h.candidates.size()));
                list_candidates(h, r, g, b, kCellSize, parent.data(), parent.data() + parent.size(),
                                h.candidates);
            }
    h.cell_start.push_back(std::uint32_t(h.candidates.size()));
    return h;
}

const Halftone& halftone() {
    static const Halftone h = build_halftone();
    return h;
}

inline std::uint8_t nearest(const Halftone& h, int r, int g, int b) {
    const int cell = ((r >> kCellBits) << (2 * (8 - kCellBits))) |
                     ((g >> kCellBits) << (8 - kCellBits)) | (b >> kCellBits);
    const std::uint8_t* it = h.candidates.data() + h.cell_start[std::size_t(cell)];
    const std::uint8_t* end = h.candidates.data() + h.cell_start[std::size_t(cell) + 1];
    std::uint8_t best = *it;
    int best_distance = 1 << 30;
    for (; it != end; ++it) {
        const int dr = r - h.red[*it], dg = g - h.green[*it], db = b - h.blue[*it];
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < best_distance) {
            best_distance = distance;
            best = *it;
        }
    }
    return best;
}

// Screens hold few distinct colours, repeated many times: remember the answers of this
// conversion in a direct-mapped table keyed by the whole colour, so a hit is exact.
class AnswerCache {
public:
    AnswerCache() : keys_(kSize, kEmpty), values_(kSize) {}
    std::uint8_t lookup(const Halftone& h, std::uint32_t rgb) {
        const std::uint32_t slot = (rgb * 0x9E3779B1u) >> (32 - kBits);
        if (keys_[slot] != rgb) {
            keys_[slot] = rgb;
            values_[slot] = nearest(h, int(rgb >> 16), int((rgb >> 8) & 0xFF), int(rgb & 0xFF));
        }
        return values_[slot];
    }

private:
    static constexpr int kBits = 16;
    static constexpr std::size_t kSize = std::size_t(1) << kBits;
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu; // no 24-bit colour has this key
    std::vector<std::uint32_t> keys_;
    std::vector<std::uint8_t> values_;
};

} // namespace

const QList<QRgb>& halftone_palette() {
    return halftone().table;
}

std::uint8_t halftone_index(int red, int green, int blue) {
    return nearest(halftone(), std::clamp(red, 0, 255), std::clamp(green, 0, 255),
                   std::clamp(blue, 0, 255));
}

QImage to_halftone_palette(const QImage& picture) {
    const QImage source = picture.format() == QImage::Format_BGR888
                              ? picture
                              : picture.convertToFormat(QImage::Format_BGR888);
    const Halftone& h = halftone();
    QImage result(source.size(), QImage::Format_Indexed8);
    result.setColorTable(h.table);
    if (source.isNull())
        return result;

    AnswerCache cache;
    const int width = source.width();
    for (int y = 0; y < source.height(); ++y) {
        const std::uint8_t* in = source.constScanLine(y);
        std::uint8_t* out = result.scanLine(y);
        std::uint32_t last_key = 0xFFFFFFFFu;
        std::uint8_t last = 0;
        for (int x = 0; x < width; ++x, in += 3) {
            const std::uint32_t key =
                (std::uint32_t(in[2]) << 16) | (std::uint32_t(in[1]) << 8) | in[0];
            if (key != last_key) {
                last_key = key;
                last = cache.lookup(h, key);
            }
            out[x] = last;
        }
    }
    return result;
}
