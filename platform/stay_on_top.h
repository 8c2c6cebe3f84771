#pragma once
// The main window stays on top of other applications' windows, except while one of the program's
// secondary windows (the progress, text and configuration windows) is shown: it then takes the
// normal style so that it does not cover them, and takes stay-on-top back when the last of them
// hides. Each secondary window reports its showing and hiding here.

#include <functional>

class QWidget;

// The main window's way of switching its style; set once at start-up.
void set_stay_on_top_owner(std::function<void(bool on_top)> apply);

// A secondary window was shown or hidden.
void secondary_window_visibility(const QWidget* window, bool shown);

// Whether the main window is meant to be on top now (no secondary window shown).
bool main_window_on_top();
