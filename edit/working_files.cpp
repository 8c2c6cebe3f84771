#include "edit/working_files.h"

#include "codec/bmp.h"
#include "platform/core/file_checks.h"
#include "platform/core/temp_dir.h"

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
    check_own_regular_file(path);
    return read_bmp(path);
}
