// Loading the configuration window's stored controls from the settings file when the window is
// created, and storing them (then checking the automatic-save options) whenever it closes.
#include "app/Unit5.h"

#include "app/ini_file.h"
#include "app/spin_box.h"
#include "platform/core/error.h"
#include "platform/dialogs.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <algorithm>

namespace {
const QString kSection = QStringLiteral("Options");
}

void TForm5::FormCreate() {
    IniFile ini(settings_files().read);
    if (ini.too_large()) {
        // Said once the main window shows; the settings start from their defaults.
        QTimer::singleShot(0, this, [message = ini.too_large_message()] { show_error(message); });
    }
    set_format_selected(format_png_256, ini.read_bool(kSection, QStringLiteral("png_256"), true));
    set_format_selected(Format_jpg, ini.read_bool(kSection, QStringLiteral("jpg"), false));
    set_format_selected(Format_bmp, ini.read_bool(kSection, QStringLiteral("bmp"), false));
    set_format_selected(Format_png_8, ini.read_bool(kSection, QStringLiteral("png_8"), false));
    jpg_compression->setValue(
        std::clamp(ini.read_integer(kSection, QStringLiteral("jpg_compression"), 100), 1, 100));
    size_stylet->setValue(ini.read_integer(kSection, QStringLiteral("size_stylet"), 3));
    size_surligneur->setValue(ini.read_integer(kSection, QStringLiteral("size_surligneur"), 16));
    largeur_px->setValue(ini.read_integer(kSection, QStringLiteral("largeur_px"), 400));
}

bool TForm5::FormClose() {
    // A per-user settings file may be the first in its folder; a folder that cannot be made
    // shows as the file's write error.
    const QString path = settings_path();
    QDir().mkpath(QFileInfo(path).absolutePath());
    IniFile ini(path);
    const auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
    try {
        ini.write_all({
            {kSection, QStringLiteral("jpg"), flag(Format_jpg->isChecked())},
            {kSection, QStringLiteral("bmp"), flag(Format_bmp->isChecked())},
            {kSection, QStringLiteral("png_8"), flag(Format_png_8->isChecked())},
            {kSection, QStringLiteral("png_256"), flag(format_png_256->isChecked())},
            {QStringLiteral("options"), QStringLiteral("jpg_compression"),
             QString::number(jpg_compression->value())},
            {kSection, QStringLiteral("size_stylet"), QString::number(size_stylet->value())},
            {kSection, QStringLiteral("size_surligneur"),
             QString::number(size_surligneur->value())},
            {kSection, QStringLiteral("largeur_px"), QString::number(largeur_px->value())},
        });
        store_failed_ = false;
    } catch (const KapError& e) {
        // The settings could not be stored; the automatic-save check does not run. A file that
        // is there but cannot be rewritten whole (too large, unreadable) is reported at every
        // close, since nothing is stored while it stands, and the window closes. Any other
        // failure (a read-only folder, a full disk) keeps the window open once, so that the user
        // can put it right and close again; a close that follows a failed one always closes.
        if (!ini.updatable()) {
            show_error(e.message(), this);
            return true;
        }
        show_error(e.message(), this);
        const bool second_failure = store_failed_;
        store_failed_ = true;
        return second_failure;
    }

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
