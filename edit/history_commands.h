#pragma once
// Recording the working picture in the history, and the undo, redo and reset commands.

#include <QImage>

class MainWindow;

// Records the picture shown (the view's whole area) as the newest entry and moves the position
// to it.
void push_snapshot(MainWindow& window);

// Paints `entry` over the whole picture, scaled to the view's size, with the surface's block-copy
// mode. The picture keeps its size.
void restore_entry(const QImage& entry, MainWindow& window);

class HistoryCommands {
public:
    explicit HistoryCommands(MainWindow& window) : window_(window) {}

    // Steps back one entry. The first undo after start-up or after a highlighter press renews
    // the picture (a fresh one, with a plain block-copy mode) before restoring.
    void undo();
    // Steps forward one entry.
    void redo();
    // Brings back the capture as it was grabbed, from the grabbed capture file, and starts the
    // history again from it.
    void reset();

private:
    MainWindow& window_;
};
