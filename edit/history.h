#pragma once
// The undo history of the working picture: full-size snapshots in the order they were recorded.
// The list only grows at its end and is emptied whole by a capture or a reset.

#include <QImage>
#include <vector>

class History {
public:
    int count() const { return static_cast<int>(entries_.size()); }
    bool empty() const { return entries_.empty(); }
    const QImage& at(int index) const { return entries_.at(static_cast<size_t>(index)); }
    void append(QImage snapshot) { entries_.push_back(std::move(snapshot)); }
    void clear() { entries_.clear(); }
    // Bytes of pixels the snapshots hold.
    qsizetype bytes() const;

private:
    std::vector<QImage> entries_;
};
