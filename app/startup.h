#pragma once
// Start-up and end of the program's windows, shared by main() and the widget tests.

// Sets the application title and creates the five windows in order, each once: the main window,
// the resize progress window, the region overlay, the text dialog and the configuration window
// (whose creation loads the settings file). Qt's French texts follow once the main window shows.
void create_windows();
// The same in two steps, so that the main window can be on its way to the screen while the
// others are made: the application's set-up and the main window, then the main window's hidden
// delay panel and the four other windows.
void create_main_window();
void create_secondary_windows();
// Destroys them in the reverse order.
void destroy_windows();
