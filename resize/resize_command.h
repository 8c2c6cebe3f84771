#pragma once
// The "Redimensionner" command: the working picture to the configured width, with the
// proportional height.

class MainWindow;

class ResizeCommand {
public:
    explicit ResizeCommand(MainWindow& window) : window_(window) {}
    void run();

private:
    MainWindow& window_;
};
