// image-work-timer SCREENS OUT_DIR [REPEATS [ONLY]]: times the work kaptorama-image does on the
// real screens (the encoders writing their files, the resampler enlarging and reducing 1080p and
// 2160p screens) inside one process, so that the Windows build under Wine and the Linux build can
// be compared without the cost of starting a process, which Wine makes about a third of a second.
// ONLY: just the cases whose name contains it. Prints one line per case: its name, then the medians
// of REPEATS runs in milliseconds of wall time and of processor time (every thread of the process,
// the system's share included: steadier on a machine shared with other work, but counted by Wine
// in steps of 10 ms). Built the same way for both systems, without Google Benchmark (the Windows
// libraries lack it).

#include "codec/bmp.h"
#include "codec/image_writers.h"
#include "resize/U_Interpolation_BiLineaire.h"

#include <QDir>
#include <QImage>
#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

namespace {

QImage screen(const QString& dir, const char* name) {
    const QImage picture(dir + QStringLiteral("/") + QLatin1String(name));
    if (picture.isNull()) {
        std::fprintf(stderr, "image-work-timer: cannot read %s/%s\n", qPrintable(dir), name);
        std::exit(1);
    }
    return picture.convertToFormat(QImage::Format_BGR888);
}

// The processor time of the whole process so far, in milliseconds.
double process_ms() {
#ifdef _WIN32
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& t) {
        return double((std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime) / 1e4;
    };
    return ms(kernel) + ms(user);
#else
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
#endif
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void time_case(const char* name, int repeats, const std::function<void()>& work) {
    std::vector<double> wall, cpu;
    for (int i = 0; i < repeats; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const double cpu_start = process_ms();
        work();
        cpu.push_back(process_ms() - cpu_start);
        wall.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::printf("%s\t%.1f\t%.1f\n", name, median(wall), median(cpu));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: image-work-timer SCREENS OUT_DIR [REPEATS [ONLY]]\n", stderr);
        return 2;
    }
    const QString screens = QString::fromLocal8Bit(argv[1]);
    const QDir out(QString::fromLocal8Bit(argv[2]));
    const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    const std::string only = argc > 4 ? argv[4] : "";
    const QImage s1080 = screen(screens, "desktop-1080.png");
    const QImage s2160 = screen(screens, "desktop-2160.png");
    const QString png = out.filePath("timer.png"), jpg = out.filePath("timer.jpg"),
                  bmp = out.filePath("timer.bmp");

    struct Case {
        const char* name;
        std::function<void()> work;
    };
    auto resize = [](const QImage& source, int width, int height) {
        return [&source, width, height] {
            QImage copy = source;
            InterpolationBiLineaire(copy, width, height);
        };
    };
    const Case cases[] = {
        {"png 1080p", [&] { write_png(s1080, png); }},
        {"png 2160p", [&] { write_png(s2160, png); }},
        {"png8 1080p", [&] { write_png8(s1080, png); }},
        {"jpeg 1080p", [&] { write_jpeg(s1080, jpg, 100); }},
        {"jpeg 2160p", [&] { write_jpeg(s2160, jpg, 100); }},
        {"bmp 2160p", [&] { write_bmp(s2160, bmp); }},
        {"bmp write+read 2160p",
         [&] {
             write_bmp(s2160, bmp);
             (void)read_bmp(bmp);
         }},
        {"resize 1080p up 3840x2160", resize(s1080, 3840, 2160)},
        {"resize 1080p down 1333x750", resize(s1080, 1333, 750)},
        {"resize 2160p down 1920x1080", resize(s2160, 1920, 1080)},
        {"resize 2160p up 5000x2813", resize(s2160, 5000, 2813)},
    };
    for (const Case& c : cases)
        if (std::string(c.name).find(only) != std::string::npos)
            time_case(c.name, repeats, c.work);
    QFile::remove(png);
    QFile::remove(jpg);
    QFile::remove(bmp);
    return 0;
}
