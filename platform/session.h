#pragma once
// What the desktop session is, decided here once so that no code above the platform layer asks
// which desktop it runs on.

// Picks the display platform before the application object is made: Qt's Wayland platform in a
// Wayland session (X11 as its fallback), unless the user chose one with QT_QPA_PLATFORM.
void choose_display_platform();

// Whether the program may place its own windows on the screen. A Wayland client cannot: its
// full-screen windows go where the compositor puts them.
bool windows_place_themselves();
