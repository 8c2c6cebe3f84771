#include "resize/resize_command.h"

#include "codec/bmp.h"
#include "edit/history_commands.h"
#include "edit/main_window.h"
#include "edit/working_files.h"
#include "platform/core/scope_guard.h"
#include "platform/dialogs.h"
#include "resize/U_Interpolation_BiLineaire.h"
#include "resize/on_the_fly.h"

#include <QFileInfo>

void ResizeCommand::run() {
    const int width = configuration_.settings().largeur_px;
    // The same width twice in a row resizes once; after an undo has brought back the picture
    // at another width, it resizes again.
    if (resized && width == last_resize_width && (width <= 0 || view_.picture().width() == width))
        return;
    if (picture_is_empty(view_.picture()))
        return;
    history_.record_change(); // the picture as it was before, unless the history holds it already
    resized = true;
    last_resize_width = width;

    const QString path = current_picture_file();
    write_bmp(view_.picture(), path);
    progress_.reset_resize_progress();
    if (!QFileInfo::exists(path)) {
        show_message(QStringLiteral("Il n'y a pas de capture à redimensionner!"));
        return;
    }
    if (width <= 0) {
        show_message(QStringLiteral("Vous avez sélectionner une largeur de 0 pixel !"));
        return;
    }
    QImage bitmap = read_working_file(path);
    view_.set_picture(QImage());

    // The picture comes back, resized or not, before an error of the resampler is reported.
    also_on_failure(
        [&] {
            InterpolationBiLineaire(bitmap, width, MulDiv(width, bitmap.height(), bitmap.width()),
                                    progress_.resize_progress());
        },
        [&] {
            fit_window_to_picture(view_, window_, bitmap.size(), kFitResize);
            view_.set_picture(std::move(bitmap));
            write_bmp(view_.picture(), path);
        });
    history_.push_snapshot(); // the result, which a redo brings back after an undo
}
