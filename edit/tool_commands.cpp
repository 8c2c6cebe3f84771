#include "edit/tool_commands.h"

#include "edit/main_window.h"

namespace {
const QString kArrow = QStringLiteral("arrow");
const QString kCross = QStringLiteral("cross");
const QString kStylus = QStringLiteral("stylet");

enum class Tool { Highlighter, Arrow, Stylus, Rectangle, Text };

void set_tool(ToolState& state, Tool tool) {
    state.mode_highlighter = tool == Tool::Highlighter;
    state.mode_arrow = tool == Tool::Arrow;
    state.mode_stylus = tool == Tool::Stylus;
    state.mode_rectangle = tool == Tool::Rectangle;
    state.mode_text = tool == Tool::Text;
}
} // namespace

void ToolCommands::select_highlighter() {
    set_tool(state_, Tool::Highlighter);
    controls_.set_view_cursor(controls_.tool_colours().highlighter_cursor);
}

void ToolCommands::select_arrow() {
    set_tool(state_, Tool::Arrow);
    controls_.set_view_cursor(kArrow);
}

void ToolCommands::select_stylus() {
    set_tool(state_, Tool::Stylus);
    controls_.set_view_cursor(kArrow);
    controls_.set_view_cursor(kStylus);
}

void ToolCommands::select_rectangle() {
    set_tool(state_, Tool::Rectangle);
    controls_.set_view_cursor(kCross);
}

void ToolCommands::select_text() {
    set_tool(state_, Tool::Text);
    controls_.show_text_dialog();
    controls_.set_view_cursor(kArrow);
}

void ToolCommands::highlighter_colour_checked() {
    controls_.set_view_cursor(controls_.tool_colours().highlighter_cursor);
}

void ToolCommands::apply_tool_cursor() {
    controls_.set_view_cursor(controls_.tool_colours().highlighter_cursor);
    if (state_.mode_stylus)
        controls_.set_view_cursor(kStylus);
    if (state_.mode_arrow || state_.mode_text)
        controls_.set_view_cursor(kArrow);
    if (state_.mode_rectangle)
        controls_.set_view_cursor(kCross);
}
