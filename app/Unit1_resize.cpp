// The resize command of the context menu: the picture to the configured width, with the
// proportional height.
#include "app/Unit1.h"

#include "app/Unit5.h"
#include "app/spin_box.h"
#include "codec/bmp.h"
#include "edit/history.h"
#include "edit/history_commands.h"
#include "edit/picture_view.h"
#include "edit/working_files.h"
#include "platform/dialogs.h"
#include "resize/Unit2.h"
#include "resize/on_the_fly.h"

#include <QFileInfo>
#include <QProgressBar>
#include <exception>

void TForm1::Redimen1Click() {
    const int width = Form5->largeur_px->value();
    if (resized && width == last_resize_width)
        return;
    if (Image1->is_empty())
        return;
    push_snapshot(*history, *Image1, history_index); // the picture as it was before
    resized = true;
    last_resize_width = width;

    const QString path = current_picture_file();
    write_bmp(Image1->picture(), path);
    Form2->ProgressBar1->setValue(0);
    if (!QFileInfo::exists(path)) {
        show_message(QStringLiteral("Il n'y a pas de capture à redimensionner!"));
        return;
    }
    if (width <= 0) {
        show_message(QStringLiteral("Vous avez sélectionner une largeur de 0 pixel !"));
        return;
    }
    QImage bitmap = read_working_file(path);
    Image1->set_picture(QImage());

    std::exception_ptr failure;
    try {
        InterpolationBiLineaire(bitmap, width, MulDiv(width, bitmap.height(), bitmap.width()),
                                Form2);
    } catch (...) {
        failure = std::current_exception(); // the picture is put back first
    }
    if (bitmap.width() < 418) {
        set_client_size(428, 380);
    } else {
        Image1->resize(bitmap.size());
        set_client_size(bitmap.width() + 9, bitmap.height() + 127);
    }
    Image1->set_picture(std::move(bitmap));
    write_bmp(Image1->picture(), path);
    if (failure)
        std::rethrow_exception(failure);
}
