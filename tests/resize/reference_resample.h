#pragma once
// A slow, literal version of the resampling arithmetic, one pixel at a time, with nothing
// precomputed, shared or estimated. The fast resampler must agree with it on every byte.

#include <QImage>
#include <cmath>
#include <cstdint>

inline QImage reference_resample(const QImage& source, int width, int height) {
    const QImage src = source.convertToFormat(QImage::Format_BGR888);
    QImage out(width, height, QImage::Format_BGR888);
    const int ws = src.width(), hs = src.height();
    auto px = [&](long long x, long long y) { return src.constScanLine(int(y)) + 3 * x; };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* d = out.scanLine(y) + 3 * x;
            const long double ex = (long double)((long long)ws * x) / width - 0.5L;
            const long double ey = (long double)((long long)hs * y) / height - 0.5L;
            long long ix = (long long)ex;
            if (ix > ws - 1)
                ix = ws - 1;
            if (ix < 0)
                ix = 0;
            long long iy = (long long)ey;
            if (iy > hs - 1)
                iy = hs - 1;
            if (iy < 0)
                iy = 0;
            double fx = (double)ex;
            if (fx > ws - 1)
                fx = ws - 1;
            if (fx < 0)
                fx = 0;
            double fy = (double)ey;
            if (fy > hs - 1)
                fy = hs - 1;
            if (fy < 0)
                fy = 0;
            if (ix == fx && iy == fy) {
                for (int c = 2; c >= 0; --c)
                    d[c] = px(ix, iy)[c];
                continue;
            }
            const long long x0 = (long long)std::floor(fx), y0 = (long long)std::floor(fy);
            const double dx = fx - x0, dy = fy - y0;
            const double rx = (double)(1.0L - dx), ry = (double)(1.0L - dy);
            const long double ldx = dx, ldy = dy, lrx = rx, lry = ry;
            if (dx == 0) {
                const double w0 = (double)(1.0L / sqrtl(ldx * ldx + ldy * ldy));
                const double w2 = (double)(1.0L / sqrtl(ldx * ldx + lry * lry));
                const double s = (double)((long double)w0 + (long double)w2);
                for (int c = 2; c >= 0; --c) {
                    const long double n =
                        (long double)px(x0, y0)[c] * w0 + (long double)px(x0, y0 + 1)[c] * w2;
                    d[c] = (std::uint8_t)(long long)(n / s);
                }
            } else if (dy == 0) {
                const double w0 = (double)(1.0L / sqrtl(ldx * ldx + ldy * ldy));
                const double w1 = (double)(1.0L / sqrtl(lrx * lrx + ldy * ldy));
                const double s = (double)((long double)w0 + (long double)w1);
                for (int c = 2; c >= 0; --c) {
                    const long double n =
                        (long double)px(x0, y0)[c] * w0 + (long double)px(x0 + 1, y0)[c] * w1;
                    d[c] = (std::uint8_t)(long long)(n / s);
                }
            } else {
                const double w0 = (double)(1.0L / sqrtl(ldx * ldx + ldy * ldy));
                const double w1 = (double)(1.0L / sqrtl(lrx * lrx + ldy * ldy));
                const double w2 = (double)(1.0L / sqrtl(ldx * ldx + lry * lry));
                const double w3 = (double)(1.0L / sqrtl(lrx * lrx + lry * lry));
                const double s =
                    (double)((long double)w0 + (long double)w1 + (long double)w2 + (long double)w3);
                for (int c = 2; c >= 0; --c) {
                    const long double n = (long double)px(x0, y0)[c] * w0 +
                                          (long double)px(x0 + 1, y0)[c] * w1 +
                                          (long double)px(x0, y0 + 1)[c] * w2 +
                                          (long double)px(x0 + 1, y0 + 1)[c] * w3;
                    d[c] = (std::uint8_t)(long long)(n / s);
                }
            }
        }
    }
    return out;
}
