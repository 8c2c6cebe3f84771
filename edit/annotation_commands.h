#pragma once
// The annotation tools over the picture view: the highlighter, the arrow, the stylus and the
// rectangle answer the press, move and release of the mouse; the negative effect turns the
// picture into its photographic negative. Each step repaints only the pixels it changed.

#include "edit/main_window.h"
#include "edit/tool_commands.h"

#include <QPoint>
#include <Qt>
#include <optional>

class HistoryCommands;
class QImage;
class QRect;

// What a stroke reads of the configuration window and the menu, once, when the mouse is
// pressed: the moves and the release of that press draw with these.
struct StrokeInputs {
    int size_stylet = 3;      // pen width of the arrow, the stylus and the rectangle
    int size_surligneur = 16; // side of the highlighter's stamp
    ToolColours colours;
};

// The highlighter tip: a block of the highlighter colour `width` wide (absolute value) and
// `height` high, the horizontal distance the pointer moved, copied with the AND block mode onto
// the rows above the previous pointer position. A tip of no width stamps nothing.
class Tmarqueur {
public:
    Tmarqueur(int width, int height);
    int width() const { return width_; }
    int height() const { return height_; }
    // Paints the whole tip with `colour` (0x00BBGGRR).
    void fill(unsigned colour) { colour_ = colour; }
    // Copies the tip with the AND mode onto `side` rows from `top`, scaled to them: onto the
    // `side` × `side` square from column `x` when the tip is narrower than that, else along the
    // whole distance from `x` towards where the pointer went (to the right when `rightwards`),
    // so that the next stamp joins on. Every pixel there becomes pixel AND the tip's colour.
    // Returns the rectangle changed.
    QRect stamp(QImage& picture, int x, int top, int side, bool rightwards) const;

private:
    int width_;
    int height_;
    unsigned colour_ = 0;
};

class AnnotationCommands {
public:
    AnnotationCommands(ToolState& state, HistoryCommands& history, PictureHost& view,
                       WindowShell& window, ToolControls& controls, Configuration& configuration)
        : state_(state), history_(history), view_(view), window_(window), controls_(controls),
          configuration_(configuration) {}

    // The picture view's pointer handlers. `held` is the buttons down with the event (the
    // pressed one included), `double_click` marks the second press of a double click;
    // coordinates are picture pixels and may lie outside the picture.
    void press(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, Qt::MouseButtons held,
               bool double_click, QPoint at);
    void move(Qt::KeyboardModifiers modifiers, Qt::MouseButtons held, QPoint at);
    void release(Qt::MouseButton button, QPoint at);

    // Every colour byte of the picture becomes its complement, in place, and the result is
    // recorded as a step; the picture starts a fresh drawing surface.
    void negative_effect();

    // The most recent highlighter tip (none before the first stamp).
    const Tmarqueur* marker() const { return marker_ ? &*marker_ : nullptr; }

private:
    ToolState& state_;
    HistoryCommands& history_;
    PictureHost& view_;
    WindowShell& window_;
    ToolControls& controls_;
    Configuration& configuration_;
    StrokeInputs inputs_;
    std::optional<Tmarqueur> marker_;
};
