#pragma once
// The text tool's floating label: placed near the pointer when the text dialog is confirmed,
// dragged inside the scroll area, and drawn into the picture on a double click.

#include <QPoint>
#include <QRect>
#include <optional>

struct ToolState;
class HistoryCommands;
class PictureHost;
class TextLabelHost;
class WindowShell;

class TextCommands {
public:
    TextCommands(const ToolState& tools, HistoryCommands& history, PictureHost& view,
                 WindowShell& window, TextLabelHost& label)
        : tools_(tools), history_(history), view_(view), window_(window), label_(label) {}

    // The dialog's OK: the label takes the dialog's text and shows 6 pixels left of and 55
    // above the pointer's position in the main window, taken as scroll-area coordinates; where
    // that is not wholly inside the scroll area's visible part, at the nearest place within it.
    void place_label();

    // Press, move and release on the label, in the label's own coordinates. A press (any
    // button, any tool) keeps the pointer where the label stays inside the scroll area's visible
    // part, 3 pixels in from its left and top edges, until the release; with the text tool it
    // also starts dragging the label.
    void label_pressed(QPoint at);
    void label_moved(QPoint at);
    void label_released();
    // Draws the label's text with its font and colour where the label shows it on the picture,
    // hides the label and records the step. The text is the one shown: an edit in the dialog
    // counts once confirmed.
    void label_double_clicked();

    // Where the pointer is kept while the label is pressed (screen coordinates), if it is.
    const std::optional<QRect>& pointer_confinement() const { return confinement_; }
    // Whether the label is being dragged.
    bool label_dragging() const { return label_dragging_; }

private:
    const ToolState& tools_;
    HistoryCommands& history_;
    PictureHost& view_;
    WindowShell& window_;
    TextLabelHost& label_;
    std::optional<QRect> confinement_;
    bool platform_confines_ = false; // else the pointer is put back on each move
    bool label_dragging_ = false;
    // Where the label was grasped, in the label's own coordinates.
    int label_grab_x_ = 0;
    int label_grab_y_ = 0;
};
