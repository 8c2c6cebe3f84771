#include "edit/working_files.h"

#include "codec/bmp.h"
#include "platform/error.h"
#include "platform/temp_dir.h"

#include <sys/stat.h>
#include <unistd.h>

QString current_picture_file() {
    return temp_dir() + QStringLiteral("kaptorama.bmp");
}
QString grabbed_capture_file() {
    return temp_dir() + QStringLiteral("kaptoramao.bmp");
}
QString full_colour_copy_file() {
    return temp_dir() + QStringLiteral("kaptorama1.bmp");
}
QString png_attachment_file() {
    return temp_dir() + QStringLiteral("kaptorama.png");
}
QString jpeg_attachment_file() {
    return temp_dir() + QStringLiteral("kaptorama.jpg");
}

QStringList working_files_in_deletion_order() {
    return {current_picture_file(), grabbed_capture_file(), png_attachment_file(),
            full_colour_copy_file(), jpeg_attachment_file()};
}

QImage read_working_file(const QString& path) {
    struct stat info {};
    if (lstat(path.toLocal8Bit().constData(), &info) == 0) {
        if (!S_ISREG(info.st_mode))
            throw KapError(
                msg_cannot_open(path, QStringLiteral("Ce n'est pas un fichier ordinaire")));
        if (info.st_uid != geteuid())
            throw KapError(msg_cannot_open(
                path, QStringLiteral("Le fichier appartient à un autre utilisateur")));
    }
    return read_bmp(path);
}
