#include "edit/history_commands.h"

#include "codec/bmp.h"
#include "edit/history.h"
#include "edit/main_window.h"
#include "edit/raster.h"
#include "edit/working_files.h"
#include "platform/dialogs.h"

#include <QFileInfo>
#include <algorithm>

void push_snapshot(MainWindow& window) {
    EditingState& state = window.editing_state();
    // The snapshot shares the picture's pixels until either changes: one copy of them in
    // memory for as long as nothing is drawn.
    const QImage& picture = window.picture();
    QImage snapshot = as_bgr888(picture);
    if (snapshot.size() != window.view_size() && !picture.isNull())
        snapshot = snapshot.copy(QRect(QPoint(0, 0), window.view_size()));
    state.history->append(std::move(snapshot));
    state.history_index = state.history->count() - 1;
}

void restore_entry(const QImage& entry, MainWindow& window) {
    const QSize size = window.view_size();
    if (size.isEmpty())
        return;
    QImage& picture = window.picture_for_drawing();
    if (picture.size() != size || picture.format() != QImage::Format_BGR888) {
        QImage fitted(size, QImage::Format_BGR888);
        fitted.fill(Qt::white);
        picture = fitted;
    }
    // An entry of the picture's size is used as it stands, and a plain copy shares its pixels
    // with the history until either is drawn on: no full-size copies on the way.
    const QImage scaled = entry.size() == size ? as_bgr888(entry) : stretch_and(entry, size);
    if (window.surface().copy_mode == CopyMode::Plain)
        picture = scaled;
    else
        block_copy(picture, scaled, window.surface().copy_mode);
    window.repaint_picture();
}

void HistoryCommands::undo() {
    EditingState& state = window_.editing_state();
    History& history = *state.history;
    // A position left beyond the list (a reset that found no capture file empties the list but
    // keeps the position) counts as the last entry, so undo never leaves the list.
    if (state.history_index > history.count() - 1)
        state.history_index = std::max(history.count() - 1, 0);
    if (state.history_index < 1)
        return;
    const QImage entry = history.at(state.history_index - 1); // may fail: nothing is changed yet
    if (!state.undo_picture_reset) {
        // A fresh picture with a fresh surface, which copies plainly: an entry of the view's
        // size then replaces it whole, so the entry is that fresh picture at once, instead of
        // a blank picture of the same size filled, then dropped (at 4K, tens of milliseconds of
        // new memory).
        if (entry.size() == window_.view_size() && entry.format() == QImage::Format_BGR888) {
            window_.set_picture(entry);
        } else {
            QImage fresh(window_.view_size(), QImage::Format_BGR888);
            fresh.fill(Qt::white);
            window_.set_picture(fresh);
        }
        state.undo_picture_reset = true;
    }
    restore_entry(entry, window_);
    --state.history_index;
}

void HistoryCommands::redo() {
    EditingState& state = window_.editing_state();
    History& history = *state.history;
    if (state.history_index < 0)
        state.history_index = 0;
    if (state.history_index >= history.count() - 1)
        return;
    const QImage entry = history.at(state.history_index + 1); // may fail: nothing is changed yet
    ++state.history_index;
    restore_entry(entry, window_);
}

void HistoryCommands::reset() {
    EditingState& state = window_.editing_state();
    window_.clear_text_label();
    if (state.history->count() == 1)
        return;
    state.history->clear(); // the position is kept; undo and redo keep within the list
    state.resized = false;
    window_.reset_resize_progress();

    const QString path = grabbed_capture_file();
    if (!QFileInfo::exists(path)) {
        show_message(QStringLiteral("IL n'y a pas de capture en mémoire!"));
        return;
    }
    QImage bitmap = read_working_file(path);
    fit_window_to_picture(window_, bitmap.size(), kFitReset);
    window_.set_picture(std::move(bitmap));
    write_bmp(window_.picture(), current_picture_file());
    push_snapshot(window_);
    state.snapshot_pending = false;
}
