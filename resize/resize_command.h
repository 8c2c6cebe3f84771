#pragma once
// The "Redimensionner" command: the working picture to the configured width, with the
// proportional height. The picture before and the result are both steps of the history.

class MainWindow;

class ResizeCommand {
public:
    explicit ResizeCommand(MainWindow& window) : window_(window) {}
    void run();

private:
    MainWindow& window_;
};
