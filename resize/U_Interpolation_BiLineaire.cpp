#include "resize/U_Interpolation_BiLineaire.h"

#include "platform/core/error.h"
#include "platform/core/extended_precision.h"
#include "platform/core/frames.h"
#include "resize/resample_internal.h"
#include "resize/resample_tuning.h"

#include <memory>
#include <new>

namespace {

// Calls resample_finished when the resampling leaves, also by an exception.
struct FinishGuard {
    ResampleProgress* progress;
    ~FinishGuard() {
        if (progress)
            progress->resample_finished();
    }
};

[[noreturn]] void out_of_range() {
    throw KapError(msg_property_out_of_range(QStringLiteral("TProgressBar")));
}

} // namespace

QString msg_property_out_of_range(const QString& name) {
    return QStringLiteral("Propriété %1 hors limites").arg(name);
}

QImage resample_bilinear_tuned(const QImage& source_in, int new_width, int new_height,
                               ResampleProgress* progress, const ResampleTuning& tuning) {
    // The progress range is 0 .. 10 x (height - 1): a height below 1 is out of its limits.
    if (new_height < 1 || new_width < 0)
        out_of_range();
    const ExtendedPrecision precision;

    const QImage source = source_in.format() == QImage::Format_BGR888
                              ? source_in
                              : source_in.convertToFormat(QImage::Format_BGR888);
    if (new_width > 0 && (source.width() < 1 || source.height() < 1))
        throw KapError(QStringLiteral("Il n'y a pas de capture à redimensionner!"));

    QImage result;
    std::shared_ptr<resample::Work> work;
    int threads = 1;
    try {
        work = std::make_shared<resample::Work>();
        work->source = source;
        if (new_width > 0) {
            result = new_frame(QSize(new_width, new_height));
            if (result.isNull())
                throw std::bad_alloc();
            threads = resample::plan_rows(*work, result, tuning);
        }
    } catch (const std::bad_alloc&) {
        throw KapError(QStringLiteral("Mémoire insuffisante"));
    }

    if (progress)
        progress->resample_started(new_height);
    FinishGuard guard{progress};
    if (new_width > 0)
        resample::run_rows(work, new_height, threads, progress);
    return result;
}

QImage resample_bilinear(const QImage& source, int new_width, int new_height,
                         ResampleProgress* progress) {
    return resample_bilinear_tuned(source, new_width, new_height, progress, ResampleTuning{});
}

void InterpolationBiLineaire(QImage& picture, int new_width, int new_height,
                             ResampleProgress* progress) {
    if (picture.format() != QImage::Format_BGR888 && !picture.isNull())
        picture = picture.convertToFormat(QImage::Format_BGR888);
    picture = resample_bilinear(picture, new_width, new_height, progress);
}
