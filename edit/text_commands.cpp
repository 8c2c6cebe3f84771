#include "edit/text_commands.h"

#include "edit/history_commands.h"
#include "edit/main_window.h"
#include "edit/raster.h"
#include "edit/tool_commands.h"
#include "platform/pointer.h"

#include <algorithm>

namespace {

// The top-left corners a label of size `label` can be dragged to in a scroll area of size
// `area`: its left edge at least 3 pixels inside the area and its right edge within it; the same
// vertically.
QRect label_positions(QSize area, QSize label) {
    return QRect(3, 3, std::max(1, area.width() - label.width() - 3),
                 std::max(1, area.height() - label.height() - 3));
}

} // namespace

void TextCommands::place_label() {
    const QPoint client = label_.client_from_screen(pointer().position());
    label_.show_text_label(label_.text_to_insert(), QPoint(client.x() - 6, client.y() - 55));
    // With the pointer away from the picture (on the dialog beside a small main window, or on
    // the toolbar when Enter confirms), the label would show outside the scroll area's visible
    // part, where nobody could find it: it is then brought to the nearest place a drag reaches.
    const QRect label = label_.text_label_geometry();
    const QRect reach = label_positions(label_.scroll_area_on_screen().size(), label.size());
    const QPoint kept(std::clamp(label.left(), reach.left(), reach.right()),
                      std::clamp(label.top(), reach.top(), reach.bottom()));
    if (kept != label.topLeft())
        label_.move_text_label(kept);
}

void TextCommands::label_pressed(QPoint at) {
    const QRect area = label_.scroll_area_on_screen();
    const QRect label = label_.text_label_geometry();
    // The pointer may go where the label stays within reach.
    confinement_ = label_positions(area.size(), label.size()).translated(area.topLeft() + at);
    platform_confines_ = pointer().confine(*confinement_);
    if (tools_.mode_text) {
        label_dragging_ = true;
        label_grab_x_ = at.x();
        label_grab_y_ = at.y();
    }
}

void TextCommands::label_moved(QPoint at) {
    const QRect label = label_.text_label_geometry();
    if (confinement_ && !platform_confines_) {
        // The platform confines the pointer to no rectangle: it is put back where it may be,
        // and the move counts from there.
        const QPoint now = label_.scroll_area_on_screen().topLeft() + label.topLeft() + at;
        const QPoint kept(std::clamp(now.x(), confinement_->left(), confinement_->right()),
                          std::clamp(now.y(), confinement_->top(), confinement_->bottom()));
        if (kept != now) {
            pointer().set_position(kept);
            at += kept - now;
        }
    }
    if (!label_dragging_)
        return;
    label_.move_text_label(label.topLeft() +
                           QPoint(at.x() - label_grab_x_, at.y() - label_grab_y_));
}

void TextCommands::label_released() {
    if (confinement_)
        pointer().release_confinement();
    confinement_.reset();
    label_dragging_ = false;
}

void TextCommands::label_double_clicked() {
    // The label shows the text over the picture where it is now, scrolling included.
    const QPoint at = label_.text_label_origin() + label_.scroll_offset();
    // A hidden label gets no release: the press of the double click ends here.
    label_released();
    label_.hide_text_label();
    if (picture_is_empty(view_.picture()))
        return;
    DrawingSurface& surface = view_.surface();
    surface.font = label_.text_label_font();
    surface.brush_style = BrushStyle::Clear;
    const QRect changed = draw_text(view_.picture_for_drawing(), at, label_.text_label_caption(),
                                    surface.font, label_.text_label_colour());
    if (!changed.isEmpty())
        view_.repaint_picture(changed);
    history_.push_snapshot();
    window_.set_status_text(StatusPanel::Notice, QString());
}
