#pragma once
// The "Redimensionner" command: the working picture to the configured width, with the
// proportional height. The picture before and the result are both steps of the history.

class HistoryCommands;
class PictureHost;
class WindowShell;
class Configuration;
class ResizeProgressHost;

class ResizeCommand {
public:
    ResizeCommand(PictureHost& view, WindowShell& window, Configuration& configuration,
                  ResizeProgressHost& progress, HistoryCommands& history)
        : view_(view), window_(window), configuration_(configuration), progress_(progress),
          history_(history) {}
    void run();

    // A new capture or a reset: the next resize runs whatever the width.
    void forget_last_resize() { resized = false; }

    // The last resize: whether one ran since, and its width.
    bool resized = false;
    int last_resize_width = 0;

private:
    PictureHost& view_;
    WindowShell& window_;
    Configuration& configuration_;
    ResizeProgressHost& progress_;
    HistoryCommands& history_;
};
