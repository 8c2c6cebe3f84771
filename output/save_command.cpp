#include "output/save_command.h"

#include "codec/bmp.h"
#include "codec/byte_sink.h"
#include "codec/image_writers.h"
#include "codec/jpeg_writer.h"
#include "codec/pngimage.h"
#include "platform/core/atomic_file.h"
#include "platform/core/error.h"
#include "platform/core/file_checks.h"
#include "platform/dialogs.h"

#include <QFileInfo>

namespace {

QString extension_of(SaveFormat format) {
    switch (format) {
    case SaveFormat::Jpeg:
        return QStringLiteral(".jpg");
    case SaveFormat::Bmp:
        return QStringLiteral(".bmp");
    default:
        return QStringLiteral(".png");
    }
}

int filter_index_of(SaveFormat format) {
    switch (format) {
    case SaveFormat::Png8:
        return 2;
    case SaveFormat::Jpeg:
        return 3;
    case SaveFormat::Bmp:
        return 4;
    default:
        return 1;
    }
}

// The extension of a path's file name, from its last dot, dot included.
QString file_extension(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

QByteArray png_bytes(const QImage& raster) {
    TPNGObject png;
    png.AssignRaster(raster);
    png.ZlibLevel = 9;
    MemorySink sink;
    png.WriteToStream(sink);
    return sink.bytes();
}

// The whole file of an automatic save, made before any name is taken.
QByteArray encode_for_saving(const QImage& picture, const SaveSettings& settings,
                             const QString& name) {
    switch (settings.format) {
    case SaveFormat::Png:
        return png_bytes(picture.format() == QImage::Format_BGR888
                             ? picture
                             : picture.convertToFormat(QImage::Format_BGR888));
    case SaveFormat::Png8:
        return png_bytes(to_halftone_palette(picture));
    case SaveFormat::Jpeg:
        return encode_jpeg(picture, settings.jpeg_quality);
    case SaveFormat::Bmp: {
        QByteArray bytes = encode_bmp(picture);
        if (bytes.isEmpty())
            throw KapError(msg_cannot_create(
                name, QStringLiteral("L'image est trop grande pour le format BMP")));
        return bytes;
    }
    case SaveFormat::None:
        break;
    }
    return QByteArray();
}

bool name_taken(const QString& name) {
    return QFileInfo::exists(name) || QFileInfo(name).isSymLink();
}

} // namespace

SaveCommand::SaveCommand(int& auto_save_counter, std::function<void(const QString&)> set_status)
    : counter_(auto_save_counter), set_status_(std::move(set_status)) {}

const QStringList& SaveCommand::dialog_filters() {
    static const QStringList filters{
        QStringLiteral("Portable Network Graphics (*.png)"),
        QStringLiteral("Portable Network Graphics 8 bits(*.png)"),
        QStringLiteral("jpg (*.jpg)"),
        QStringLiteral("Windows Bitmap (*.bmp)"),
    };
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
    ++counter_;
    if (settings.format == SaveFormat::None)
        return;
    // An automatic save never replaces a file: whatever the format, the number goes up until
    // the name is free. The file is put in place only if the name is still free at that very
    // moment; a file that appeared meanwhile (another program, another copy of this one) moves
    // the save on to the next free number too.
    QString name = automatic_name(settings, counter_);
    while (name_taken(name)) {
        ++counter_;
        name = automatic_name(settings, counter_);
    }
    const QByteArray bytes = encode_for_saving(picture, settings, name);
    for (;;) {
        AtomicFile file(name);
        file.write(bytes.constData(), std::size_t(bytes.size()));
        if (file.commit_if_free())
            break;
        do {
            ++counter_;
            name = automatic_name(settings, counter_);
        } while (name_taken(name));
    }
    switch (settings.format) {
    case SaveFormat::Png:
    case SaveFormat::Bmp:
        set_status_(QStringLiteral("Enr/sous :") + kap_line_break + name);
        break;
    case SaveFormat::Jpeg:
        set_status_(QStringLiteral("Enr/S:") + kap_line_break + name);
        break;
    case SaveFormat::Png8:
    case SaveFormat::None:
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
        switch (answer->filter_index) {
        case 1:
            write_png(picture, name, 9);
            break;
        case 2:
            write_png8(picture, name, 9);
            break;
        default:
            // Only a name ending exactly in ".jpg" gets a JPEG; anything else is a BMP.
            if (file_extension(name) == QLatin1String(".jpg"))
                write_jpeg(picture, name, settings.jpeg_quality);
            else
                write_bmp(picture, name);
            break;
        }
    }
    set_status_(QStringLiteral("Enr/S:") + kap_line_break + last_dialog_name_);
}
