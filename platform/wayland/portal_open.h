#pragma once
// The desktop portal's OpenURI interface: asks the desktop to open a file with the program it
// chooses (or lets the user choose), for sessions where the program cannot start the desktop's
// programs itself.

#include <QString>

// Hands the file, as a descriptor opened read-only, to the portal's OpenFile. True when the
// portal took the request; what the desktop then does is not reported.
bool open_file_with_portal(const QString& path);
