#pragma once
// Recording the working picture in the history, and the undo, redo and reset commands.

#include <QImage>

struct EditingState;
class PictureHost;
class WindowShell;
class TextLabelHost;
class ResizeProgressHost;

// Records the picture shown (the view's whole area) as the entry after the position, dropping
// the entries that were undone, and moves the position to it.
void push_snapshot(EditingState& state, const PictureHost& view);

// The same, unless the entry at the position already holds exactly the picture's pixels: then
// nothing is recorded and nothing dropped. Returns whether a step was recorded.
bool record_change(EditingState& state, const PictureHost& view);

// Makes `entry` the picture. An entry of the picture's size replaces its pixels, the drawing
// surface kept unless `renew`; an entry of another size (a resize undone or redone) comes back
// at its own size in a new picture object, and the window is fitted to it as after a reset.
void restore_entry(const QImage& entry, PictureHost& view, WindowShell& window, bool renew);

class HistoryCommands {
public:
    HistoryCommands(EditingState& state, PictureHost& view, WindowShell& window,
                    TextLabelHost& label, ResizeProgressHost& progress)
        : state_(state), view_(view), window_(window), label_(label), progress_(progress) {}

    // Steps back one entry. The first undo after start-up or after a highlighter press renews
    // the picture (a new picture object, with a fresh drawing surface).
    void undo();
    // Steps forward one entry.
    void redo();
    // Brings back the capture as it was grabbed, from the grabbed capture file, and starts the
    // history again from it.
    void reset();

private:
    EditingState& state_;
    PictureHost& view_;
    WindowShell& window_;
    TextLabelHost& label_;
    ResizeProgressHost& progress_;
};
