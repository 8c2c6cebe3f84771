#include "edit/history_commands.h"

#include "codec/bmp.h"
#include "edit/history.h"
#include "edit/main_window.h"
#include "edit/raster.h"
#include "edit/working_files.h"
#include "platform/dialogs.h"

#include <QFileInfo>
#include <algorithm>

namespace {
bool record(EditingState& state, const PictureHost& view, bool unless_same) {
    // The snapshot shares the picture's pixels until either changes: one copy of them in
    // memory for as long as nothing is drawn.
    const QImage& picture = view.picture();
    QImage snapshot = as_bgr888(picture);
    if (snapshot.size() != view.view_size() && !picture.isNull())
        snapshot = snapshot.copy(QRect(QPoint(0, 0), view.view_size()));
    if (!state.history->append_after(state.history_index, std::move(snapshot), unless_same))
        return false;
    state.history_index = state.history->count() - 1;
    return true;
}
} // namespace

void push_snapshot(EditingState& state, const PictureHost& view) {
    record(state, view, false);
}

bool record_change(EditingState& state, const PictureHost& view) {
    return record(state, view, true);
}

void restore_entry(const QImage& entry, PictureHost& view, WindowShell& window, bool renew) {
    if (entry.isNull())
        return;
    if (entry.size() != view.view_size()) {
        fit_window_to_picture(view, window, entry.size(), kFitReset);
        renew = true;
    }
    // The entry replaces the pixels whole, whatever the surface's block-copy mode (an entry
    // combined with the picture would not be the entry), and shares them with the history until
    // either is drawn on: no full-size copies on the way.
    if (renew)
        view.set_picture(entry);
    else
        view.picture_for_drawing() = as_bgr888(entry);
    view.repaint_picture();
}

void HistoryCommands::undo() {
    History& history = *state_.history;
    // A position left beyond the list (a reset that found no capture file empties the list but
    // keeps the position) counts as the last entry, so undo never leaves the list.
    if (state_.history_index > history.count() - 1)
        state_.history_index = std::max(history.count() - 1, 0);
    if (state_.history_index < 1)
        return;
    const QImage entry = history.at(state_.history_index - 1); // may fail: nothing is changed yet
    restore_entry(entry, view_, window_, !state_.undo_picture_reset);
    state_.undo_picture_reset = true;
    --state_.history_index;
}

void HistoryCommands::redo() {
    History& history = *state_.history;
    if (state_.history_index < 0)
        state_.history_index = 0;
    if (state_.history_index >= history.count() - 1)
        return;
    const QImage entry = history.at(state_.history_index + 1); // may fail: nothing is changed yet
    ++state_.history_index;
    restore_entry(entry, view_, window_, false);
}

void HistoryCommands::reset() {
    label_.clear_text_label();
    if (state_.history->count() == 1)
        return;
    state_.history->clear(); // the position is kept; undo and redo keep within the list
    state_.resized = false;
    progress_.reset_resize_progress();

    const QString path = grabbed_capture_file();
    if (!QFileInfo::exists(path)) {
        show_message(QStringLiteral("IL n'y a pas de capture en mémoire!"));
        return;
    }
    QImage bitmap = read_working_file(path);
    fit_window_to_picture(view_, window_, bitmap.size(), kFitReset);
    view_.set_picture(std::move(bitmap));
    write_bmp(view_.picture(), current_picture_file());
    push_snapshot(state_, view_);
    state_.snapshot_pending = false;
}
