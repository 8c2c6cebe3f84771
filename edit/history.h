#pragma once
// The undo history of the working picture: snapshots in the order they were recorded. A step
// recorded after undos replaces the steps that were undone, as in any editor; the list is emptied
// whole by a capture or a reset.
//
// A full 24-bit copy per step would take 25 MB at 3840 x 2160, so snapshots are held compactly.
// Only the entry shown stays as plain pixels, shared with the picture until either is drawn on.
// Every entry is linked to the entry before it by the XOR of the two, limited to the rectangle
// where they differ and compressed with zstd: a small edit costs a few kilobytes. Any entry is
// rebuilt from the entry shown by applying the links on the way, so an undo or a redo costs one
// copy of the picture and one small link. Where two neighbours differ in size (a resize) there
// is no link; the entries on either side of such a step are then also kept whole, compressed, so
// that every entry stays reachable.
//
// A step that is costly to rebuild (across a change of size, or a link covering much of the
// picture, such as a stroke after the negative effect) keeps the entry on its far side as plain
// pixels while it is a neighbour of the entry shown: undoing or redoing that step is then
// immediate. At most one such entry is kept besides the one shown.

#include <QImage>
#include <QRect>
#include <QSize>
#include <memory>
#include <optional>
#include <vector>

class History {
public:
    History();
    ~History();
    History(const History&) = delete;
    History& operator=(const History&) = delete;

    int count() const { return static_cast<int>(entries_.size()); }
    bool empty() const { return entries_.empty(); }
    QSize size_at(int index) const { return entries_.at(static_cast<size_t>(index)).size; }

    // The pixels of entry `index`, exactly as recorded (Format_BGR888). The entry becomes the one
    // shown: its pixels are kept plain, those of the entry shown before are let go.
    // Throws KapError "Mémoire insuffisante" when the pixels cannot be rebuilt; the history is
    // then unchanged.
    QImage at(int index);

    // Records `snapshot` as the entry after `index` and makes it the one shown; the entries that
    // followed `index` are dropped. Its pixels are shared, not copied. With `unless_same`, a
    // snapshot with exactly the pixels of entry `index` records and drops nothing. Returns whether
    // it was recorded. Throws KapError "Mémoire insuffisante" when memory runs out; the history
    // then holds exactly what it held before.
    bool append_after(int index, QImage snapshot, bool unless_same = false);
    // The same for a snapshot that is the photographic negative of entry `index` (every colour
    // byte complemented), as the negative effect makes it: the link between the two is known
    // without a pass over the pixels.
    void append_negative_after(int index, QImage snapshot);
    // Records `snapshot` as the newest entry.
    void append(QImage snapshot) { append_after(count() - 1, std::move(snapshot)); }

    void clear();

    // What changes on the screen when entry `index` replaces `current`: where `current` still
    // shares its pixels with the entry shown (nothing was drawn on it since) and every step
    // between the two is linked, the union of those steps' rectangles (empty when they are the
    // same pixels); otherwise nothing is known and the result is null.
    std::optional<QRect> change_from(const QImage& current, int index) const;

    // Bytes the history holds: compressed links and whole copies, and plain pixels.
    qsizetype bytes() const;

private:
    // The XOR of two pictures over `rect` (or, for a whole copy, the pixels themselves), rows of
    // rect.width() x 3 bytes from top to bottom, compressed as one zstd frame.
    struct Patch {
        QRect rect;
        std::vector<char> data;
        bool complement = false; // a link whose XOR is 0xFF in every byte of rect: no data
    };
    struct Entry {
        QSize size;
        bool linked = false; // `link` leads to the entry before, of the same size
        Patch link;
        bool whole = false; // `copy` holds the pixels themselves
        Patch copy;
        QImage plain; // null unless kept plain
    };
    struct Codec;

    // First and last index of the run of linked entries around `index`.
    int run_first(int index) const;
    int run_last(int index) const;
    // Whether an entry of the run, from its first entry up to `index`, is kept whole.
    bool run_has_whole(int index) const;
    // append_after, and append_negative_after when `negative`.
    bool record_after(int index, QImage snapshot, bool unless_same, bool negative);
    // Rebuilds the pixels of entry `index` without changing the history.
    QImage rebuild(int index) const;
    Patch difference(const QImage& before, const QImage& after) const;
    Patch whole_copy(const QImage& pixels) const;
    // Applies `patch` to `picture`: XOR when `xor_in`, plain copy into a whole picture otherwise.
    void apply(const Patch& patch, QImage& picture, bool xor_in) const;
    // Makes `index` the entry shown, releasing the plain pixels of the one shown before unless it
    // is kept as a costly neighbour.
    void show(int index);
    // Whether the step between entries index - 1 and index is costly to rebuild.
    bool costly_step(int index) const;

    std::vector<Entry> entries_;
    int shown_ = -1;
    int kept_ = -1; // a neighbour of the entry shown kept plain, or -1
    std::unique_ptr<Codec> codec_;
};
