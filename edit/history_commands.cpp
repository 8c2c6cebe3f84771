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
bool record(MainWindow& window, bool unless_same) {
    EditingState& state = window.editing_state();
    // The snapshot shares the picture's pixels until either changes: one copy of them in
    // memory for as long as nothing is drawn.
    const QImage& picture = window.picture();
    QImage snapshot = as_bgr888(picture);
    if (snapshot.size() != window.view_size() && !picture.isNull())
        snapshot = snapshot.copy(QRect(QPoint(0, 0), window.view_size()));
    if (!state.history->append_after(state.history_index, std::move(snapshot), unless_same))
        return false;
    state.history_index = state.history->count() - 1;
    return true;
}
} // namespace

void push_snapshot(MainWindow& window) {
    record(window, false);
}

bool record_change(MainWindow& window) {
    return record(window, true);
}

void restore_entry(const QImage& entry, MainWindow& window, bool renew) {
    if (entry.isNull())
        return;
    if (entry.size() != window.view_size()) {
        fit_window_to_picture(window, entry.size(), kFitReset);
        renew = true;
    }
    // The entry replaces the pixels whole, whatever the surface's block-copy mode (an entry
    // combined with the picture would not be the entry), and shares them with the history until
    // either is drawn on: no full-size copies on the way.
    if (renew)
        window.set_picture(entry);
    else
        window.picture_for_drawing() = as_bgr888(entry);
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
    restore_entry(entry, window_, !state.undo_picture_reset);
    state.undo_picture_reset = true;
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
    restore_entry(entry, window_, false);
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
