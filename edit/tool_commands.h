#pragma once
// The choice of the annotation tool: the five exclusive tools of the context menu and the cursor
// each gives the picture view.

struct EditingState;
class ToolControls;

class ToolCommands {
public:
    ToolCommands(EditingState& state, ToolControls& controls)
        : state_(state), controls_(controls) {}

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

private:
    EditingState& state_;
    ToolControls& controls_;
};
