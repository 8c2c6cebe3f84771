// Undo, redo and reset of the working picture.
#include "app/Unit1.h"

#include "codec/bmp.h"
#include "edit/history.h"
#include "edit/history_commands.h"
#include "edit/picture_view.h"
#include "edit/working_files.h"
#include "platform/dialogs.h"
#include "resize/Unit2.h"

#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>

void TForm1::Dfaire1Click() {
    undo_step(*history, *Image1, history_index, undo_picture_reset);
}

void TForm1::Rfaire1Click() {
    redo_step(*history, *Image1, history_index);
}

void TForm1::reload_Click() {
    Texte->clear();
    if (history->count() == 1)
        return;
    history->clear(); // the position is kept; undo and redo keep within the list
    resized = false;
    Form2->ProgressBar1->setValue(0);

    const QString path = grabbed_capture_file();
    if (!QFileInfo::exists(path)) {
        show_message(QStringLiteral("IL n'y a pas de capture en mémoire!"));
        return;
    }
    QImage bitmap = read_working_file(path);

    if (bitmap.width() < 418) {
        Image1->resize(418, 252);
        set_client_size(428, 382);
    } else {
        Image1->resize(bitmap.size());
        set_client_size(bitmap.width() + 9, bitmap.height() + 76);
    }
    Image1->set_picture(std::move(bitmap));
    write_bmp(Image1->picture(), current_picture_file());
    push_snapshot(*history, *Image1, history_index);
    snapshot_pending = false;
}
