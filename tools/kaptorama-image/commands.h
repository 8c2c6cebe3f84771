#pragma once
// Subcommands of kaptorama-image. Each takes the arguments after its own name and returns the
// process exit code; errors are printed on standard error.
#include <QImage>
#include <QStringList>

// png|png8|jpeg|bmp IN OUT [--quality Q] [--level N]
int run_encode_command(const QString& format, const QStringList& args);
// resize IN OUT WIDTH HEIGHT
int run_resize_command(const QStringList& args);
// negative IN OUT
int run_negative_command(const QStringList& args);

// Reads the input picture as 24-bit: BMP files through the program's own reader, anything else
// through Qt's. Throws KapError with the French message when it cannot be read.
// Only regular files are read: a pipe or a device (or a link to one) is refused at once, since
// reading it could wait forever or never end.
QImage read_picture(const QString& path);

// Refuses an output that is a pipe, a device or a socket (or a link to one) with KapError
// "Impossible de créer le fichier "<path>". ...", before any work is done.
void check_output(const QString& path);
