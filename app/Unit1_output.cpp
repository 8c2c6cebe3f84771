// The output buttons: save, clipboard, external programs, e-mail.
#include "app/Unit1.h"

#include "app/Unit5.h"
#include "app/status_bar.h"
#include "edit/picture_view.h"
#include "output/save_command.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>

namespace {
SaveSettings save_settings() {
    SaveSettings s;
    if (Form5->format_png_256->isChecked())
        s.format = SaveFormat::Png;
    else if (Form5->Format_png_8->isChecked())
        s.format = SaveFormat::Png8;
    else if (Form5->Format_jpg->isChecked())
        s.format = SaveFormat::Jpeg;
    else if (Form5->Format_bmp->isChecked())
        s.format = SaveFormat::Bmp;
    else
        s.format = SaveFormat::None;
    s.jpeg_quality = Form5->jpg_compression->value();
    s.automatic = Form5->mode_rafale->isChecked();
    s.folder = Form5->auto_save_folder;
    s.base_name = Form5->nom_fich_rafale->text();
    s.no_confirmation = Form5->comfirm_enregistr->isChecked();
    return s;
}
} // namespace

void TForm1::save_Click() {
    if (!save_command_)
        save_command_ =
            std::make_unique<SaveCommand>(auto_save_counter, [this](const QString& text) {
                StatusBar1->set_panel_text(3, text);
            });
    save_command_->run(Image1->picture(), save_settings());
}

void TForm1::copy_clipboardClick() {}

void TForm1::appli_externClick() {}

void TForm1::mailClick() {}
