#include "edit/text_commands.h"

#include "edit/history_commands.h"
#include "edit/main_window.h"
#include "edit/raster.h"

#include <algorithm>

void TextCommands::place_label() {
    const QPoint client = window_.client_from_screen(window_.pointer_pos());
    window_.show_text_label(window_.text_to_insert(), QPoint(client.x() - 6, client.y() - 55));
}

void TextCommands::label_pressed(QPoint at) {
    const QRect area = window_.scroll_area_on_screen();
    const QRect label = window_.text_label_geometry();
    // The pointer may go where the label's left edge stays at least 3 pixels inside the area
    // and its right edge within it; the same vertically.
    const int width = std::max(1, area.width() - label.width() - 3);
    const int height = std::max(1, area.height() - label.height() - 3);
    confinement_ = QRect(at.x() + area.left() + 3, at.y() + area.top() + 3, width, height);
    EditingState& state = window_.editing_state();
    if (state.mode_text) {
        state.label_dragging = true;
        state.label_grab_x = at.x();
        state.label_grab_y = at.y();
    }
}

void TextCommands::label_moved(QPoint at) {
    const QRect label = window_.text_label_geometry();
    if (confinement_) {
        // The platform confines the pointer to no rectangle: it is put back where it may be,
        // and the move counts from there.
        const QPoint pointer = window_.scroll_area_on_screen().topLeft() + label.topLeft() + at;
        const QPoint kept(std::clamp(pointer.x(), confinement_->left(), confinement_->right()),
                          std::clamp(pointer.y(), confinement_->top(), confinement_->bottom()));
        if (kept != pointer) {
            window_.set_pointer_pos(kept);
            at += kept - pointer;
        }
    }
    EditingState& state = window_.editing_state();
    if (!state.label_dragging)
        return;
    window_.move_text_label(label.topLeft() +
                            QPoint(at.x() - state.label_grab_x, at.y() - state.label_grab_y));
}

void TextCommands::label_released() {
    confinement_.reset();
    window_.editing_state().label_dragging = false;
}

void TextCommands::label_double_clicked() {
    // The label shows the text over the picture where it is now, scrolling included.
    const QPoint at = window_.text_label_geometry().topLeft() + window_.scroll_offset();
    // A hidden label gets no release: the press of the double click ends here.
    label_released();
    window_.hide_text_label();
    if (picture_is_empty(window_.picture()))
        return;
    DrawingSurface& surface = window_.surface();
    surface.font = window_.text_label_font();
    surface.brush_style = BrushStyle::Clear;
    const QRect changed = draw_text(window_.picture_for_drawing(), at, window_.text_to_insert(),
                                    surface.font, window_.text_label_colour());
    if (!changed.isEmpty())
        window_.repaint_picture(changed);
    push_snapshot(window_);
    window_.set_status_text(3, QString());
}
