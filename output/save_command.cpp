#include "output/save_command.h"

#include "codec/image_writers.h"
#include "platform/core/file_checks.h"
#include "platform/dialogs.h"

#include <QFileInfo>
#include <iterator>

namespace {

// The dialog's filters, from index 1, and the format each offers.
struct DialogFilter {
    const char* text;
    ImageFormat format;
};
constexpr DialogFilter kDialogFilters[] = {
    {"Portable Network Graphics (*.png)", ImageFormat::Png},
    {"Portable Network Graphics 8 bits(*.png)", ImageFormat::Png8},
    {"jpg (*.jpg)", ImageFormat::Jpeg},
    {"Windows Bitmap (*.bmp)", ImageFormat::Bmp},
};

// The filter the dialog opens with: the configured format's, the first when none is selected.
int filter_index_of(std::optional<ImageFormat> format) {
    for (int i = 0; i < int(std::size(kDialogFilters)); ++i) {
        if (kDialogFilters[i].format == format)
            return i + 1;
    }
    return 1;
}

// The extension of a path's file name, from its last dot, dot included.
QString file_extension(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

// The format the dialog's answer asks for. The two PNG filters are their formats; with any other
// filter only a name ending exactly in ".jpg" gets a JPEG, anything else is a BMP.
ImageFormat format_of_answer(int filter_index, const QString& name) {
    if (filter_index == 1 || filter_index == 2)
        return kDialogFilters[filter_index - 1].format;
    return file_extension(name) == QLatin1String(".jpg") ? ImageFormat::Jpeg : ImageFormat::Bmp;
}

QString extension_of(std::optional<ImageFormat> format) {
    switch (format.value_or(ImageFormat::Png)) {
    case ImageFormat::Jpeg:
        return QStringLiteral(".jpg");
    case ImageFormat::Bmp:
        return QStringLiteral(".bmp");
    case ImageFormat::Png:
    case ImageFormat::Png8:
        break;
    }
    return QStringLiteral(".png");
}

bool name_taken(const QString& name) {
    return QFileInfo::exists(name) || QFileInfo(name).isSymLink();
}

} // namespace

SaveCommand::SaveCommand(std::function<void(const QString&)> set_status)
    : set_status_(std::move(set_status)) {}

const QStringList& SaveCommand::dialog_filters() {
    static const QStringList filters = [] {
        QStringList texts;
        for (const DialogFilter& filter : kDialogFilters)
            texts.append(QString::fromUtf8(filter.text));
        return texts;
    }();
    return filters;
}

QString SaveCommand::automatic_name(const SaveSettings& settings, int number) {
    return settings.folder + QLatin1Char('/') + settings.base_name + QLatin1Char('_') +
           QStringLiteral("%1").arg(number, 3, 10, QLatin1Char('0')) +
           extension_of(settings.format);
}

void SaveCommand::run(const QImage& picture, const SaveSettings& settings) {
    if (picture.isNull() || picture.width() == 0) {
        show_message(QStringLiteral("Pas de capture à sauvegarder!"));
        return;
    }
    set_status_(QString());
    if (settings.automatic)
        save_automatically(picture, settings);
    else
        save_with_dialog(picture, settings);
}

void SaveCommand::save_automatically(const QImage& picture, const SaveSettings& settings) {
    ++auto_save_counter;
    if (!settings.format)
        return;
    // An automatic save never replaces a file: whatever the format, the number goes up until
    // the name is free. The file is put in place only if the name is still free at that very
    // moment; a file that appeared meanwhile (another program, another copy of this one) moves
    // the save on to the next free number too.
    QString name = automatic_name(settings, auto_save_counter);
    while (name_taken(name)) {
        ++auto_save_counter;
        name = automatic_name(settings, auto_save_counter);
    }
    while (!write_image(name, picture, *settings.format, settings.jpeg_quality,
                        Placement::OnlyIfFree)) {
        do {
            ++auto_save_counter;
            name = automatic_name(settings, auto_save_counter);
        } while (name_taken(name));
    }
    switch (*settings.format) {
    case ImageFormat::Png:
    case ImageFormat::Bmp:
        set_status_(QStringLiteral("Enr/sous :") + kap_line_break + name);
        break;
    case ImageFormat::Jpeg:
        set_status_(QStringLiteral("Enr/S:") + kap_line_break + name);
        break;
    case ImageFormat::Png8:
        break;
    }
    if (!settings.no_confirmation)
        show_message(QStringLiteral("Capture enregistrée sous :") + kap_line_break + name);
}

void SaveCommand::save_with_dialog(const QImage& picture, const SaveSettings& settings) {
    SaveFileRequest request;
    request.title = QStringLiteral("Enregistrer la capture d'écran");
    request.filters = dialog_filters();
    request.filter_index = filter_index_of(settings.format);
    request.default_suffix = QStringLiteral("png");
    request.file_name = last_dialog_name_;
    const std::optional<SaveFileAnswer> answer = dialogs().save_file(dialog_parent(), request);
    if (answer) {
        last_dialog_name_ = answer->path;
        const QString name = file_behind_links(answer->path);
        write_image(name, picture, format_of_answer(answer->filter_index, name),
                    settings.jpeg_quality);
    }
    set_status_(QStringLiteral("Enr/S:") + kap_line_break + last_dialog_name_);
}
