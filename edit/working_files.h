#pragma once
#include <QImage>
#include <QString>
#include <QStringList>

// Paths of the working files in the temporary directory, by role.
QString current_picture_file();  // kaptorama.bmp
QString grabbed_capture_file();  // kaptoramao.bmp
QString full_colour_copy_file(); // kaptorama1.bmp
QString png_attachment_file();   // kaptorama.png
QString jpeg_attachment_file();  // kaptorama.jpg

// The five working files in the order they are deleted when the program closes: current picture,
// grabbed capture, PNG attachment, full-colour copy, JPEG attachment.
QStringList working_files_in_deletion_order();

// Reads a working file back. The temporary directory may be shared with other users: a file
// that is not a regular file of this user (a link, another user's file) is refused with the
// error "Impossible d'ouvrir le fichier ..." rather than read.
QImage read_working_file(const QString& path);
