#include "edit/history_commands.h"

#include "codec/bmp.h"
#include "edit/history.h"
#include "edit/main_window.h"
#include "edit/raster.h"
#include "edit/tool_commands.h"
#include "edit/working_files.h"
#include "platform/dialogs.h"

#include <QFileInfo>
#include <algorithm>

HistoryCommands::HistoryCommands(PictureHost& view, WindowShell& window, TextLabelHost& label,
                                 ResizeProgressHost& progress, ToolCommands& tools,
                                 std::function<void()> forget_resize)
    : view_(view), window_(window), label_(label), progress_(progress), tools_(tools),
      forget_resize_(std::move(forget_resize)), history_(std::make_unique<History>()) {}

HistoryCommands::~HistoryCommands() = default;

bool HistoryCommands::record(bool unless_same) {
    // The snapshot shares the picture's pixels until either changes: one copy of them in
    // memory for as long as nothing is drawn.
    const QImage& picture = view_.picture();
    QImage snapshot = as_bgr888(picture);
    if (snapshot.size() != view_.view_size() && !picture.isNull())
        snapshot = snapshot.copy(QRect(QPoint(0, 0), view_.view_size()));
    if (!history_->append_after(history_index_, std::move(snapshot), unless_same))
        return false;
    history_index_ = history_->count() - 1;
    return true;
}

bool HistoryCommands::picture_is_recorded() const {
    const QImage& picture = view_.picture();
    return picture.size() == view_.view_size() && picture.format() == QImage::Format_BGR888 &&
           history_index_ < history_->count() &&
           history_->change_from(picture, history_index_) == QRect();
}

void HistoryCommands::push_negative_of_recorded() {
    history_->append_negative_after(history_index_, view_.picture());
    history_index_ = history_->count() - 1;
}

void HistoryCommands::push_snapshot() {
    record(false);
}

bool HistoryCommands::record_change() {
    return record(true);
}

void HistoryCommands::start_again() {
    if (!history_->empty()) {
        history_->clear();
        history_index_ = 0;
    }
}

void restore_entry(const QImage& entry, PictureHost& view, WindowShell& window, bool renew,
                   std::optional<QRect> changed) {
    if (entry.isNull())
        return;
    if (entry.size() != view.view_size() || entry.size() != view.picture().size()) {
        fit_window_to_picture(view, window, entry.size(), kFitReset);
        view.set_picture(entry);
        view.repaint_picture();
        return;
    }
    // The entry replaces the pixels whole, whatever the surface's block-copy mode (an entry
    // combined with the picture would not be the entry), and shares them with the history until
    // either is drawn on: no full-size copies on the way. The view keeps its size, so only what
    // differs needs painting.
    if (renew)
        view.surface() = DrawingSurface{};
    view.picture_for_drawing() = as_bgr888(entry);
    if (!changed)
        view.repaint_picture();
    else if (!changed->isEmpty())
        view.repaint_picture(*changed);
}

void HistoryCommands::undo() {
    History& history = *history_;
    // A position left beyond the list (a reset that found no capture file empties the list but
    // keeps the position) counts as the last entry, so undo never leaves the list.
    if (history_index_ > history.count() - 1)
        history_index_ = std::max(history.count() - 1, 0);
    if (history_index_ < 1)
        return;
    const std::optional<QRect> changed = history.change_from(view_.picture(), history_index_ - 1);
    const QImage entry = history.at(history_index_ - 1); // may fail: nothing is changed yet
    restore_entry(entry, view_, window_, !undo_picture_reset_, changed);
    undo_picture_reset_ = true;
    --history_index_;
}

void HistoryCommands::redo() {
    History& history = *history_;
    if (history_index_ < 0)
        history_index_ = 0;
    if (history_index_ >= history.count() - 1)
        return;
    const std::optional<QRect> changed = history.change_from(view_.picture(), history_index_ + 1);
    const QImage entry = history.at(history_index_ + 1); // may fail: nothing is changed yet
    ++history_index_;
    restore_entry(entry, view_, window_, false, changed);
}

void HistoryCommands::reset() {
    label_.clear_text_label();
    if (history_->count() == 1)
        return;
    history_->clear(); // the position is kept; undo and redo keep within the list
    forget_resize_();
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
    push_snapshot();
    tools_.drop_pending_snapshot();
}
