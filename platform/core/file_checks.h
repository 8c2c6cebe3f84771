#pragma once
// Checks on files the program reads from shared places.

#include <QString>

// Throws KapError "Impossible d'ouvrir le fichier ..." when `path` exists but is not a regular
// file of this user (a link, a pipe, a device, another user's file): a file in a folder that
// other users can write to (the temporary folder) is then not read. A missing file passes.
void check_own_regular_file(const QString& path);

// The file to write when the user names `path`: where `path` is a symbolic link (or a chain of
// them), the file at its end, even one still to be created, so that the link stays and the file
// it leads to is replaced, as editors do; else `path` itself. A loop of links gives `path`.
QString file_behind_links(const QString& path);
