// negative IN OUT: the program's photographic-negative effect from the command line. The result
// is written as a 24-bit BMP.

#include "codec/bmp.h"
#include "edit/raster.h"
#include "platform/core/error.h"
#include "tools/kaptorama-image/commands.h"

#include <cstdio>
#include <new>

namespace {

constexpr char kPrefix[] = "kaptorama-image negative: ";

} // namespace

int run_negative_command(const QStringList& args) {
    if (args.size() != 2) {
        std::fprintf(stderr, "%susage: kaptorama-image negative IN OUT\n", kPrefix);
        return 2;
    }
    try {
        QImage picture = read_picture(args[0]);
        negate_picture(picture);
        write_bmp(picture, args[1]);
    } catch (const KapError& e) {
        std::fprintf(stderr, "%s%s\n", kPrefix, e.what());
        return 1;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%snot enough memory\n", kPrefix);
        return 1;
    }
    return 0;
}
