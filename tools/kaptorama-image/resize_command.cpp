// resize IN OUT WIDTH HEIGHT: the program's bilinear resampler from the command line. The result
// is written as a 24-bit BMP.

#include "codec/bmp.h"
#include "platform/core/error.h"
#include "resize/U_Interpolation_BiLineaire.h"
#include "tools/kaptorama-image/commands.h"

#include <QFile>
#include <QImageReader>
#include <cstdio>

namespace {

constexpr char kPrefix[] = "kaptorama-image resize: ";

bool parse_size(const QString& text, int* value) {
    bool ok = false;
    *value = text.toInt(&ok);
    return ok;
}

} // namespace

int run_resize_command(const QStringList& args) {
    if (args.size() != 4) {
        std::fprintf(stderr, "%susage: kaptorama-image resize IN OUT WIDTH HEIGHT\n", kPrefix);
        return 2;
    }
    int width = 0, height = 0;
    if (!parse_size(args[2], &width) || !parse_size(args[3], &height)) {
        std::fprintf(stderr, "%sWIDTH and HEIGHT must be integers, not \"%s\" and \"%s\"\n",
                     kPrefix, qPrintable(args[2]), qPrintable(args[3]));
        return 2;
    }
    try {
        check_output(args[1]);
        QImage picture = read_picture(args[0]);
        InterpolationBiLineaire(picture, width, height);
        if (picture.isNull()) {
            std::fprintf(stderr, "%sa width of 0 gives an empty picture; nothing written\n",
                         kPrefix);
            return 1;
        }
        write_bmp(picture, args[1]);
    } catch (const KapError& e) {
        std::fprintf(stderr, "%s%s\n", kPrefix, e.what());
        return 1;
    }
    return 0;
}
