#pragma once
// The "Redimensionner" command: the working picture to the configured width, with the
// proportional height. The picture before and the result are both steps of the history.

struct EditingState;
class PictureHost;
class WindowShell;
class Configuration;
class ResizeProgressHost;

class ResizeCommand {
public:
    ResizeCommand(EditingState& state, PictureHost& view, WindowShell& window,
                  Configuration& configuration, ResizeProgressHost& progress)
        : state_(state), view_(view), window_(window), configuration_(configuration),
          progress_(progress) {}
    void run();

private:
    EditingState& state_;
    PictureHost& view_;
    WindowShell& window_;
    Configuration& configuration_;
    ResizeProgressHost& progress_;
};
