// kaptorama-image: the program's image pipeline from the command line, without a window or a
// display. Each subcommand reads a picture file and writes another through the very code the
// program uses.

#include "tools/kaptorama-image/commands.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

namespace {

const char kUsage[] =
    "Usage: kaptorama-image COMMAND ARGS...\n"
    "\n"
    "Commands:\n"
    "  png  IN OUT [--level N]      24-bit PNG (Sub-filtered rows, zlib level N, default 9)\n"
    "  png8 IN OUT [--level N]      8-bit PNG on the fixed 256-colour palette\n"
    "  jpeg IN OUT [--quality Q]    JPEG, quality 1..100 (default 100)\n"
    "  bmp  IN OUT                  24-bit BMP\n"
    "  resize IN OUT WIDTH HEIGHT   bilinear resampling to WIDTH x HEIGHT\n"
    "  negative IN OUT              photographic negative (24-bit BMP)\n"
    "\n"
    "IN is a BMP file, or any PNG or JPEG file. Exit status: 0 done, 1 the picture could not\n"
    "be read or written, 2 wrong arguments.\n";

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // image format plugins, no display
    QStringList args = QCoreApplication::arguments().mid(1);

    if (args.isEmpty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const QString command = args.takeFirst();
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "png" || command == "png8" || command == "jpeg" || command == "bmp")
        return run_encode_command(command, args);
    if (command == "resize")
        return run_resize_command(args);
    if (command == "negative")
        return run_negative_command(args);

    std::fprintf(stderr, "kaptorama-image: unknown command \"%s\" (see --help)\n",
                 qPrintable(command));
    return 2;
}
