#pragma once
// What Qt's X11 clipboard does not tell reliably: whether this program really owns the
// clipboard (Qt keeps believing it does when the X server refused the ownership), and a fresh
// server time for Qt to take it with (a program that has had no input for a while holds an old
// time, which the server refuses once another program has taken the clipboard since).

// Whether the X server names a window of this program as the clipboard's owner. True on other
// platforms.
bool x11_owns_clipboard();

// Brings Qt's idea of the X server time up to date. Nothing on other platforms.
void refresh_x11_time();
