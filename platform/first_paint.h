#pragma once
// Work the first window can show without: it waits until that window is on the screen.

#include <functional>

class QWidget;

// Runs `work` once, at the turn of the event loop after the first paint of `window` (a window
// is painted once it is on the screen).
void after_first_paint(QWidget* window, std::function<void()> work);
