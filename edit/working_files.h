#pragma once
#include <QImage>
#include <QString>
#include <QStringList>

// Paths of the working files in the temporary directory, by role.
QString current_picture_file();  // kaptorama.bmp
QString grabbed_capture_file();  // kaptoramao.bmp (once a write in progress has ended)
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

// Writes the grabbed capture file from `raster` on a worker thread, so that the capture shows
// meanwhile. Asking for the file's path waits until the write has ended, so whoever reads,
// replaces or deletes the file finds it whole. A write that fails is reported in the error box
// once it has ended; the file that stood before is then left as it was.
void write_grabbed_capture_file(const QImage& raster);
// Lets a write in progress end without reporting its failure (the windows are going).
void forget_grabbed_capture_write();
