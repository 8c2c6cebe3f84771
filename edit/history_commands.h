#pragma once
// The history of the working picture, and the undo, redo and reset commands. The history
// commands own the history and its position; the other commands record their steps here.

#include <QImage>
#include <functional>
#include <memory>

class History;
class PictureHost;
class ResizeProgressHost;
class TextLabelHost;
class ToolCommands;
class WindowShell;

// Makes `entry` the picture. An entry of the picture's size replaces its pixels, the drawing
// surface kept unless `renew`, and only `changed` is repainted when it is known (nothing when it
// is empty); an entry of another size (a resize undone or redone) comes back at its own size in
// a new picture object, and the window is fitted to it as after a reset.
void restore_entry(const QImage& entry, PictureHost& view, WindowShell& window, bool renew,
                   std::optional<QRect> changed = std::nullopt);

class HistoryCommands {
public:
    // `forget_resize`: what a reset does to the memory of the last resize.
    HistoryCommands(PictureHost& view, WindowShell& window, TextLabelHost& label,
                    ResizeProgressHost& progress, ToolCommands& tools,
                    std::function<void()> forget_resize);
    ~HistoryCommands();

    // Records the picture shown (the view's whole area) as the entry after the position,
    // dropping the entries that were undone, and moves the position to it.
    void push_snapshot();
    // The same, unless the entry at the position already holds exactly the picture's pixels:
    // then nothing is recorded and nothing dropped. Returns whether a step was recorded.
    bool record_change();
    // Whether the picture holds exactly the pixels of the entry at the position (it shares
    // them: nothing was drawn on it since they were recorded or brought back).
    bool picture_is_recorded() const;
    // Records the picture as push_snapshot does, once the negative effect has turned it into the
    // photographic negative of the entry at the position: the step is then known without
    // comparing the two.
    void push_negative_of_recorded();
    // A new capture: the history is emptied and the position goes back to 0 (an empty history
    // keeps its position).
    void start_again();
    // The next undo renews the picture, as the first after start-up does.
    void renew_picture_at_next_undo() { undo_picture_reset_ = false; }

    // Steps back one entry. The first undo after start-up or after a highlighter press renews
    // the picture (a new picture object, with a fresh drawing surface).
    void undo();
    // Steps forward one entry.
    void redo();
    // Brings back the capture as it was grabbed, from the grabbed capture file, and starts the
    // history again from it.
    void reset();

    History& history() { return *history_; }
    int history_index() const { return history_index_; }
    // Whether an undo has run since start-up or the last highlighter press.
    bool undo_picture_reset() const { return undo_picture_reset_; }

private:
    bool record(bool unless_same);

    PictureHost& view_;
    WindowShell& window_;
    TextLabelHost& label_;
    ResizeProgressHost& progress_;
    ToolCommands& tools_;
    std::function<void()> forget_resize_;
    std::unique_ptr<History> history_;
    int history_index_ = 0;
    bool undo_picture_reset_ = false;
};
