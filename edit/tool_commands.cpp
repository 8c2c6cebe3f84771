#include "edit/tool_commands.h"

#include "edit/main_window.h"

namespace {
const QString kArrow = QStringLiteral("arrow");
const QString kCross = QStringLiteral("cross");
const QString kStylus = QStringLiteral("stylet");

enum class Tool { Highlighter, Arrow, Stylus, Rectangle, Text };

void set_tool(EditingState& state, Tool tool) {
    state.mode_highlighter = tool == Tool::Highlighter;
    state.mode_arrow = tool == Tool::Arrow;
    state.mode_stylus = tool == Tool::Stylus;
    state.mode_rectangle = tool == Tool::Rectangle;
    state.mode_text = tool == Tool::Text;
}
} // namespace

void ToolCommands::select_highlighter() {
    set_tool(window_.editing_state(), Tool::Highlighter);
    window_.set_view_cursor(window_.tool_colours().highlighter_cursor);
}

void ToolCommands::select_arrow() {
    set_tool(window_.editing_state(), Tool::Arrow);
    window_.set_view_cursor(kArrow);
}

void ToolCommands::select_stylus() {
    set_tool(window_.editing_state(), Tool::Stylus);
    window_.set_view_cursor(kArrow);
    window_.set_view_cursor(kStylus);
}

void ToolCommands::select_rectangle() {
    set_tool(window_.editing_state(), Tool::Rectangle);
    window_.set_view_cursor(kCross);
}

void ToolCommands::select_text() {
    set_tool(window_.editing_state(), Tool::Text);
    window_.show_text_dialog();
    window_.set_view_cursor(kArrow);
}

void ToolCommands::highlighter_colour_checked() {
    window_.set_view_cursor(window_.tool_colours().highlighter_cursor);
}

void ToolCommands::apply_tool_cursor() {
    const EditingState& state = window_.editing_state();
    window_.set_view_cursor(window_.tool_colours().highlighter_cursor);
    if (state.mode_stylus)
        window_.set_view_cursor(kStylus);
    if (state.mode_arrow || state.mode_text)
        window_.set_view_cursor(kArrow);
    if (state.mode_rectangle)
        window_.set_view_cursor(kCross);
}
