#pragma once
// The configuration window's settings as a command sees them: a copy of the controls taken when
// the command (or the step of a tool) runs. The controls stay the live settings; nothing keeps a
// snapshot beyond the command that took it.

#include "codec/image_writers.h"
#include "platform/screen_rect.h"

#include <QString>
#include <optional>

struct SaveSettings {
    // The format selected in the configuration window; none when no format is selected.
    std::optional<ImageFormat> format = ImageFormat::Png;
    int jpeg_quality = 100;
    bool automatic = false;
    QString folder;    // automatic saving: the folder chosen
    QString base_name; // automatic saving: the base name typed
    bool no_confirmation = false;
};

struct SettingsSnapshot {
    SaveSettings save;
    int size_stylet = 3;      // pen width of the arrow, the stylus and the rectangle
    int size_surligneur = 16; // side of the highlighter's stamp
    int largeur_px = 400;     // width of a resize
    bool resize_on_the_fly = false;
    // The remembered region: used by region captures while `use_remembered_region` is ticked;
    // nothing when no region has been selected (or it was forgotten).
    bool use_remembered_region = false;
    std::optional<ScreenRect> remembered_region;
};
