#include "edit/annotation_commands.h"

#include "edit/history_commands.h"
#include "edit/raster.h"
#include "platform/pointer.h"

#include <QRegion>
#include <algorithm>
#include <cstdlib>

namespace {
constexpr Qt::KeyboardModifiers kShiftCtrlAlt =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;

// The stylus draws with the left button alone: no Shift, Ctrl or Alt, no other button.
bool left_button_alone(Qt::KeyboardModifiers modifiers, Qt::MouseButtons held) {
    return held == Qt::LeftButton && (modifiers & kShiftCtrlAlt) == 0;
}

// The pixels a rectangle outline can touch, as four bands along the sides of its bounding
// rectangle: a rubber band across a large picture repaints its sides, not its whole inside.
QRegion outline_area(const QRect& bounds, int pen_width) {
    const int band = std::max(pen_width, 1) + 2;
    if (bounds.width() <= 2 * band || bounds.height() <= 2 * band)
        return QRegion(bounds);
    QRegion area(bounds.left(), bounds.top(), bounds.width(), band);
    area += QRect(bounds.left(), bounds.bottom() - band + 1, bounds.width(), band);
    area += QRect(bounds.left(), bounds.top(), band, bounds.height());
    area += QRect(bounds.right() - band + 1, bounds.top(), band, bounds.height());
    return area;
}

// The pixels a line of this width from `a` to `b` can touch, as boxes along it, within `bounds`
// (what the drawing reported): a long diagonal preview repaints a strip, not the rectangle it
// spans.
QRegion line_area(QPoint a, QPoint b, int pen_width, const QRect& bounds) {
    if (bounds.isEmpty())
        return {};
    constexpr int kStep = 48; // pixels along the line per box
    const int pad = std::max(pen_width, 1) / 2 + 2;
    const QPoint d = b - a;
    const int length = std::max(std::abs(d.x()), std::abs(d.y()));
    if (length <= kStep)
        return QRegion(bounds);
    QRegion area;
    for (int from = 0; from < length; from += kStep) {
        const int to = std::min(from + kStep, length);
        const QPoint p(a.x() + int(qint64(d.x()) * from / length),
                       a.y() + int(qint64(d.y()) * from / length));
        const QPoint q(a.x() + int(qint64(d.x()) * to / length),
                       a.y() + int(qint64(d.y()) * to / length));
        area += QRect(p, q).normalized().adjusted(-pad, -pad, pad, pad) & bounds;
    }
    return area;
}

bool inside(const QImage& picture, QPoint at) {
    return at.x() >= 0 && at.y() >= 0 && at.x() < picture.width() && at.y() < picture.height();
}
} // namespace

Tmarqueur::Tmarqueur(int width, int height) : width_(std::abs(width)), height_(std::abs(height)) {}

QRect Tmarqueur::stamp(QImage& picture, int x, int top, int side, bool rightwards) const {
    // Stretching a tip of no pixels copies nothing.
    if (width_ == 0 || height_ == 0)
        return {};
    // A slow move stamps the square at the previous position; a brisk one covers the whole
    // distance, so the band has no gap at any speed. Moving left, the square's right edge stays.
    const int width = std::max(side, width_);
    const int left = rightwards ? x : x + side - width;
    return stamp_and(picture, left, top, width, side, colour_);
}

void AnnotationCommands::press(Qt::MouseButton button, Qt::KeyboardModifiers modifiers,
                               Qt::MouseButtons held, bool double_click, QPoint at) {
    if (picture_is_empty(view_.picture()))
        return;
    window_.enable_context_menu();
    ToolState& state = state_;
    DrawingSurface& surface = view_.surface();
    const SettingsSnapshot settings = configuration_.settings();
    inputs_ = {settings.size_stylet, settings.size_surligneur, controls_.tool_colours()};
    const ToolColours& colours = inputs_.colours;

    if (state.mode_rectangle) {
        surface.brush_style = BrushStyle::Clear;
        state.rect_anchor = at;
        state.rect_corner = at;
        state.rect_dragging = true;
        state.snapshot_pending = true;
    }
    if (state.mode_arrow) {
        if (button == Qt::LeftButton) {
            surface.pen_width = inputs_.size_stylet;
            surface.current_position = at;
            state.arrow_start = at;
            state.arrow_end = at;
        }
        surface.pen_colour = colours.arrow;
        surface.brush_colour = colours.arrow;
        surface.brush_style = BrushStyle::Solid;
    }
    state.marker_colour = colours.highlighter;
    if (state.mode_highlighter) {
        history_.renew_picture_at_next_undo();
        state.stroke_active = true;
        state.marker_x = at.x();
        state.marker_top = at.y() - inputs_.size_surligneur;
    }
    // A press with Shift or Ctrl (or any other) starts no stroke: its drag draws nothing, even
    // once the key is let go.
    state.stylus_stroke = state.mode_stylus && button == Qt::LeftButton && !double_click &&
                          left_button_alone(modifiers, held);
    if (state.stylus_stroke) {
        surface.current_position = at;
        state.snapshot_pending = true;
    }
}

void AnnotationCommands::move(Qt::KeyboardModifiers modifiers, Qt::MouseButtons held, QPoint at) {
    ToolState& state = state_;
    DrawingSurface& surface = view_.surface();
    QImage& picture = view_.picture_for_drawing();
    QRect changed;

    if (state.mode_rectangle && state.rect_dragging) {
        surface.pen_colour = inputs_.colours.rectangle;
        surface.pen_width = inputs_.size_stylet;
        surface.pen_mode = PenMode::NotXor;
        // The band drawn last goes away, the new one comes.
        QRegion bands = outline_area(
            draw_rectangle_outline(picture, surface, state.rect_anchor, state.rect_corner),
            surface.pen_width);
        state.rect_corner = at;
        bands += outline_area(
            draw_rectangle_outline(picture, surface, state.rect_anchor, state.rect_corner),
            surface.pen_width);
        view_.repaint_picture_region(bands);
    }
    if (pointer().left_button_held()) {
        if (state.mode_arrow && held.testFlag(Qt::LeftButton)) {
            surface.pen_mode = PenMode::NotXor;
            QRegion lines =
                line_area(state.arrow_start, state.arrow_end, surface.pen_width,
                          draw_line(picture, surface, state.arrow_start, state.arrow_end));
            lines += line_area(state.arrow_start, at, surface.pen_width,
                               draw_line(picture, surface, state.arrow_start, at));
            if (!lines.isEmpty())
                view_.repaint_picture_region(lines);
            // The preview is in the picture: whatever ends the drag, the release records it.
            state.snapshot_pending = true;
        }
        state.arrow_end = at;
        surface.pen_mode = PenMode::Copy;
    }
    if (state.mode_highlighter && inside(picture, at) && state.stroke_active) {
        state.snapshot_pending = true;
        const int side = inputs_.size_surligneur;
        marker_.emplace(at.x() - state.marker_x, side);
        marker_->fill(state.marker_colour);
        surface.copy_mode = CopyMode::And; // and it stays so after the stroke
        changed |= marker_->stamp(picture, state.marker_x, state.marker_top, side,
                                  at.x() > state.marker_x);
        state.marker_x = at.x();
        state.marker_top = at.y() - side;
    }
    if (state.mode_stylus && state.stylus_stroke && left_button_alone(modifiers, held) &&
        inside(picture, at)) {
        surface.pen_colour = inputs_.colours.stylus;
        surface.pen_width = inputs_.size_stylet;
        changed |= line_to(picture, surface, at);
    }
    if (!changed.isEmpty())
        view_.repaint_picture(changed);
}

void AnnotationCommands::release(Qt::MouseButton button, QPoint) {
    ToolState& state = state_;
    DrawingSurface& surface = view_.surface();
    QImage& picture = view_.picture_for_drawing();
    QRect changed;

    state.stroke_active = false;
    state.stylus_stroke = false;
    if (state.mode_arrow && button == Qt::LeftButton && !picture_is_empty(picture)) {
        changed |= draw_arrow(picture, surface, state.arrow_start, state.arrow_end,
                              inputs_.size_stylet, surface.pen_colour);
        state.snapshot_pending = true;
    }
    if (state.mode_rectangle && state.rect_dragging) {
        surface.brush_style = BrushStyle::Clear;
        surface.pen_width = inputs_.size_stylet;
        state.rect_dragging = false;
        surface.pen_mode = PenMode::Copy;
        // The outline covers the last rubber band exactly.
        view_.repaint_picture_region(outline_area(
            draw_rectangle_outline(picture, surface, state.rect_anchor, state.rect_corner),
            surface.pen_width));
    }
    if (!changed.isEmpty())
        view_.repaint_picture(changed);
    // A click that changed nothing (a right click with the rectangle tool opening the menu)
    // records no step.
    if (state.snapshot_pending) {
        state.snapshot_pending = false;
        if (history_.record_change())
            window_.set_status_text(StatusPanel::Notice, QString());
    }
}

void AnnotationCommands::negative_effect() {
    if (picture_is_empty(view_.picture()))
        return;
    // The pixels are negated where they lie and handed back as a new picture object (a fresh
    // drawing surface); QImage moves, it does not copy.
    const bool recorded = history_.picture_is_recorded();
    QImage picture = std::move(view_.picture_for_drawing());
    negate_picture(picture);
    view_.set_picture(std::move(picture));
    view_.repaint_picture();
    if (recorded)
        history_.push_negative_of_recorded();
    else
        history_.push_snapshot();
}
