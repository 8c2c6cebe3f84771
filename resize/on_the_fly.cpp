#include "resize/on_the_fly.h"

#include "platform/wait.h"
#include "resize/U_Interpolation_BiLineaire.h"

#include <cstdint>
#include <cstdlib>
#include <limits>

int MulDiv(int a, int b, int c) {
    if (c == 0)
        return -1;
    const int64_t product = int64_t(a) * int64_t(b);
    const int64_t magnitude =
        (std::llabs(product) + std::llabs(int64_t(c)) / 2) / std::llabs(int64_t(c));
    const int64_t result = ((product < 0) != (c < 0)) ? -magnitude : magnitude;
    if (result > std::numeric_limits<int>::max() || result < std::numeric_limits<int>::min())
        return -1;
    return static_cast<int>(result);
}

void resize_on_the_fly(QImage& raster, int width, ResampleProgress* progress) {
    const int height = MulDiv(width, raster.height(), raster.width());
    InterpolationBiLineaire(raster, width, height, progress);
    block_for_ms(100);
}
