#pragma once
// Keeps the picture pasteable once the program has closed. On X11 the clipboard lives in the
// program that set it; at exit the picture goes to a small detached process of ours,
// `kaptorama-clipboard`, which hands it to a running clipboard manager (freedesktop
// SAVE_TARGETS) or, when none runs, serves it itself until another program takes the clipboard.

#include <QByteArray>
#include <QString>

// From now on, the picture (a BMP file) is kept when the program exits while it still owns the
// clipboard.
void keep_clipboard_at_exit(const QByteArray& bmp);

// Hands the picture over to the keeper process, if the program still owns the clipboard with
// it. Waits at most a fraction of a second for the keeper to take the clipboard. Returns the
// keeper's process id, 0 when nothing was handed over.
qint64 hand_clipboard_to_keeper();

// Where the keeper program lies: beside the executable, else in the installed libexec folder
// relative to it.
QString clipboard_keeper_program();
