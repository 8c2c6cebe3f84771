#pragma once
// The choice of the annotation tool: the five exclusive tools of the context menu and the cursor
// each gives the picture view. The tool commands own the tools' state, which the annotation and
// text commands work with.

#include <QPoint>

class ToolControls;

// The tools' state, with the names and start values the program has always used.
struct ToolState {
    bool mode_highlighter = true;
    bool mode_arrow = false;
    bool mode_stylus = false;
    bool mode_text = false;
    bool mode_rectangle = false;
    // A highlighter stroke is under way.
    bool stroke_active = false;
    // The picture was drawn on since the last step recorded: the release records one.
    bool snapshot_pending = false;

    // The annotation tools' anchors: the highlighter's previous position (its top already moved
    // up by the stamp's side) and colour, the arrow's start and end, the rectangle's corners.
    int marker_x = 0;
    int marker_top = 0;
    unsigned marker_colour = 0;
    QPoint arrow_start{0, 0};
    QPoint arrow_end{0, 0};
    QPoint rect_anchor{0, 0};
    QPoint rect_corner{0, 0};
    bool rect_dragging = false;
    // A stylus stroke begun by a press of the left button alone; only such a stroke draws.
    bool stylus_stroke = false;
};

class ToolCommands {
public:
    explicit ToolCommands(ToolControls& controls) : controls_(controls) {}

    // Each sets its tool's flag, clears the four others and gives the view the tool's cursor.
    // The highlighter is also chosen by every opening of the context menu.
    void select_highlighter();
    void select_arrow();
    void select_stylus();
    void select_rectangle();
    // The text tool also shows the text dialog.
    void select_text();

    // A highlighter colour was checked: the view takes that colour's felt-tip cursor (the tool
    // itself does not change).
    void highlighter_colour_checked();

    // The cursor of the active tool: the felt tip of the checked highlighter colour, overridden
    // by the stylus, the default pointer (arrow, text) or the cross-hair (rectangle).
    void apply_tool_cursor();

    // A new history starts: no drawing waits to be recorded.
    void drop_pending_snapshot() { state_.snapshot_pending = false; }

    ToolState& state() { return state_; }
    const ToolState& state() const { return state_; }

private:
    ToolControls& controls_;
    ToolState state_;
};
