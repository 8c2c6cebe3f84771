#pragma once
// A slow, literal version of the resampling arithmetic, one pixel at a time, with nothing
// precomputed, shared or estimated. The fast resampler must agree with it on every byte.

#include <QImage>
#include <algorithm>
#include <cmath>

inline QImage reference_resample(const QImage& source, int width, int height) {
    const QImage src = source.convertToFormat(QImage::Format_BGR888);
    QImage out(width, height, QImage::Format_BGR888);
    const long long ws = src.width(), hs = src.height();
    auto px = [&](long long x, long long y) { return src.constScanLine(int(y)) + 3 * x; };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uchar* d = out.scanLine(y) + 3 * x;
            const long double ex = (long double)(ws * x) / width - 0.5L;
            const long double ey = (long double)(hs * y) / height - 0.5L;
            const long long ix = std::max(std::min((long long)ex, ws - 1), 0LL);
            const long long iy = std::max(std::min((long long)ey, hs - 1), 0LL);
            const double fx = std::max(std::min((double)ex, double(ws - 1)), 0.0);
            const double fy = std::max(std::min((double)ey, double(hs - 1)), 0.0);
            if (ix == fx && iy == fy) {
                std::copy(px(ix, iy), px(ix, iy) + 3, d);
                continue;
            }
            const long long x0 = (long long)std::floor(fx), y0 = (long long)std::floor(fy);
            const double dx = fx - x0, dy = fy - y0;
            const double rx = (double)(1.0L - dx), ry = (double)(1.0L - dy);
            const bool take[4] = {true, dx != 0, dx == 0 || dy != 0, dx != 0 && dy != 0};
            const long double along[4] = {dx, rx, dx, rx}, across[4] = {dy, dy, ry, ry};
            double w[4] = {};
            long double sum = 0;
            for (int i = 0; i < 4; ++i)
                if (take[i]) {
                    w[i] = (double)(1.0L / sqrtl(along[i] * along[i] + across[i] * across[i]));
                    sum += w[i];
                }
            const double s = (double)sum;
            for (int c = 2; c >= 0; --c) {
                long double n = 0;
                for (int i = 0; i < 4; ++i)
                    if (take[i])
                        n += (long double)px(x0 + i % 2, y0 + i / 2)[c] * w[i];
                d[c] = (uchar)(long long)(n / s);
            }
        }
    return out;
}
