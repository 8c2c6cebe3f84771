#pragma once
// Start-up and end of the program's windows, shared by main() and the widget tests.

// Sets the application title and creates the five windows in order, each once: the main window,
// the resize progress window, the region overlay, the text dialog and the configuration window
// (whose creation loads the settings file). Qt's French texts follow once the main window shows.
void create_windows();
// Destroys them in the reverse order.
void destroy_windows();
