#pragma once
// Subcommands of kaptorama-image. Each takes the arguments after its own name and returns the
// process exit code; errors are printed on standard error.
#include <QStringList>

// png|png8|jpeg|bmp IN OUT [--quality Q] [--level N]
int run_encode_command(const QString& format, const QStringList& args);
// resize IN OUT WIDTH HEIGHT
int run_resize_command(const QStringList& args);
