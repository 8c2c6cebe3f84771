// png | png8 | jpeg | bmp IN OUT [--quality Q] [--level N]

#include "codec/bmp.h"
#include "codec/image_writers.h"
#include "platform/core/error.h"
#include "tools/kaptorama-image/commands.h"

#include <QFile>
#include <QImageReader>
#include <cstdio>
#include <optional>

namespace {

struct UsageError {
    QString text;
};

// Reads an option value: "--name VALUE" or "--name=VALUE", an integer within [low, high].
int option_value(const QString& name, const QString& value, int low, int high) {
    bool ok = false;
    const int number = value.toInt(&ok);
    if (!ok || number < low || number > high)
        throw UsageError{QStringLiteral("%1 wants an integer from %2 to %3, not \"%4\"")
                             .arg(name)
                             .arg(low)
                             .arg(high)
                             .arg(value)};
    return number;
}

} // namespace

int run_encode_command(const QString& format, const QStringList& args) {
    const QString prefix = QStringLiteral("kaptorama-image %1: ").arg(format);
    try {
        QStringList positional;
        std::optional<int> quality, level;
        for (int i = 0; i < args.size(); ++i) {
            QString name = args[i];
            if (!name.startsWith("--")) {
                positional << name;
                continue;
            }
            QString value;
            if (const int eq = name.indexOf('='); eq >= 0) {
                value = name.mid(eq + 1);
                name = name.left(eq);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                throw UsageError{name + QStringLiteral(" needs a value")};
            }
            if (name == "--quality" && format == "jpeg")
                quality = option_value(name, value, 1, 100);
            else if (name == "--level" && (format == "png" || format == "png8"))
                level = option_value(name, value, 0, 9);
            else
                throw UsageError{QStringLiteral("option %1 does not apply here").arg(name)};
        }
        if (positional.size() != 2)
            throw UsageError{
                QStringLiteral("expected IN and OUT, got %1 argument(s)").arg(positional.size())};

        const QString& out = positional[1];
        check_output(out);
        const QImage picture = read_picture(positional[0]);
        if (format == "png")
            write_png(picture, out, level.value_or(9));
        else if (format == "png8")
            write_png8(picture, out, level.value_or(9));
        else if (format == "jpeg")
            write_jpeg(picture, out, quality.value_or(100));
        else
            write_bmp(picture, out);
        return 0;
    } catch (const UsageError& e) {
        std::fprintf(stderr, "%s%s (see --help)\n", qPrintable(prefix), qPrintable(e.text));
        return 2;
    } catch (const KapError& e) {
        std::fprintf(stderr, "%s%s\n", qPrintable(prefix), e.what());
        return 1;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%snot enough memory\n", qPrintable(prefix));
        return 1;
    }
}
