// Loading the configuration window's stored controls from the settings file when the window is
// created, and storing them (then checking the automatic-save options) whenever it closes.
#include "app/Unit5.h"

#include "app/ini_file.h"
#include "app/spin_box.h"
#include "platform/dialogs.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <algorithm>

namespace {
const QString section = QStringLiteral("Options");
}

void TForm5::FormCreate() {
    IniFile ini(settings_path());
    set_format_selected(format_png_256, ini.read_bool(section, QStringLiteral("png_256"), true));
    set_format_selected(Format_jpg, ini.read_bool(section, QStringLiteral("jpg"), false));
    set_format_selected(Format_bmp, ini.read_bool(section, QStringLiteral("bmp"), false));
    set_format_selected(Format_png_8, ini.read_bool(section, QStringLiteral("png_8"), false));
    jpg_compression->setValue(
        std::clamp(ini.read_integer(section, QStringLiteral("jpg_compression"), 100), 1, 100));
    size_stylet->setValue(ini.read_integer(section, QStringLiteral("size_stylet"), 3));
    size_surligneur->setValue(ini.read_integer(section, QStringLiteral("size_surligneur"), 16));
    largeur_px->setValue(ini.read_integer(section, QStringLiteral("largeur_px"), 400));
}

bool TForm5::FormClose() {
    IniFile ini(settings_path());
    ini.write_bool(section, QStringLiteral("jpg"), Format_jpg->isChecked());
    ini.write_bool(section, QStringLiteral("bmp"), Format_bmp->isChecked());
    ini.write_bool(section, QStringLiteral("png_8"), Format_png_8->isChecked());
    ini.write_bool(section, QStringLiteral("png_256"), format_png_256->isChecked());
    ini.write_integer(QStringLiteral("options"), QStringLiteral("jpg_compression"),
                      jpg_compression->value());
    ini.write_integer(section, QStringLiteral("size_stylet"), size_stylet->value());
    ini.write_integer(section, QStringLiteral("size_surligneur"), size_surligneur->value());
    ini.write_integer(section, QStringLiteral("largeur_px"), largeur_px->value());

    bool may_close = true;
    if (mode_rafale->isChecked()) {
        if (nom_fich_rafale->text().isEmpty()) {
            show_message(
                QStringLiteral("Vous avez choisi le mode \"Enregistrement automatique\"\n\r"
                               "Veuillez choisir un nom de fichier"),
                this);
            may_close = false;
            nom_fich_rafale->setFocus(Qt::OtherFocusReason);
        }
        if (rep_enregitr->text().isEmpty()) {
            show_message(
                QStringLiteral("Vous avez choisi le mode \"Enregistrement automatique\"\n\r"
                               "Veuillez choisir un répertoire d'enregistrement!"),
                this);
            may_close = false;
        }
    }
    return may_close;
}
