#include "edit/history_commands.h"

#include "edit/history.h"
#include "edit/picture_view.h"
#include "edit/raster.h"

#include <algorithm>

void push_snapshot(History& history, const PictureView& view, int& history_index) {
    // The snapshot shares the picture's pixels until either changes: one copy of them in
    // memory for as long as nothing is drawn.
    QImage snapshot = as_bgr888(view.picture());
    if (snapshot.size() != view.size() && !view.picture().isNull())
        snapshot = snapshot.copy(QRect(QPoint(0, 0), view.size()));
    history.append(std::move(snapshot));
    history_index = history.count() - 1;
}

void restore_entry(const QImage& entry, PictureView& view) {
    const QSize size = view.size();
    if (size.isEmpty())
        return;
    QImage& picture = view.picture_for_drawing();
    if (picture.size() != size || picture.format() != QImage::Format_BGR888) {
        QImage fitted(size, QImage::Format_BGR888);
        fitted.fill(Qt::white);
        picture = fitted;
    }
    // An entry of the picture's size is used as it stands, and a plain copy shares its pixels
    // with the history until either is drawn on: no full-size copies on the way.
    const QImage scaled = entry.size() == size ? as_bgr888(entry) : stretch_and(entry, size);
    if (view.surface.copy_mode == CopyMode::Plain)
        picture = scaled;
    else
        block_copy(picture, scaled, view.surface.copy_mode);
    view.picture_changed();
}

void undo_step(History& history, PictureView& view, int& history_index, bool& undo_picture_reset) {
    // A position left beyond the list (a reset that found no capture file empties the list but
    // keeps the position) counts as the last entry, so undo never leaves the list.
    if (history_index > history.count() - 1)
        history_index = std::max(history.count() - 1, 0);
    if (history_index < 1)
        return;
    const QImage entry = history.at(history_index - 1); // may fail: nothing is changed yet
    if (!undo_picture_reset) {
        QImage fresh(view.size(), QImage::Format_BGR888);
        fresh.fill(Qt::white);
        view.set_picture(fresh);
        undo_picture_reset = true;
    }
    restore_entry(entry, view);
    --history_index;
}

void redo_step(History& history, PictureView& view, int& history_index) {
    if (history_index < 0)
        history_index = 0;
    if (history_index >= history.count() - 1)
        return;
    ++history_index;
    restore_entry(history.at(history_index), view);
}
