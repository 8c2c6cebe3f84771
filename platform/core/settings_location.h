#pragma once
// Where a user's own settings go when the program's folder cannot be written (an installed
// copy), and whether a path may be written.

#include <QDir>
#include <QString>

// This user's folder for the program's settings: $XDG_CONFIG_HOME/kaptorama (~/.config/kaptorama
// when the variable is unset or not an absolute path) on Linux, %APPDATA%\Kaptorama on Windows.
QString per_user_settings_folder();

// Whether the file or folder at `path` may be written by this user now.
bool can_write(const QString& path);

// The base directory specification's rule: a relative XDG_CONFIG_HOME is ignored.
inline QString xdg_settings_folder(const QString& xdg_config_home, const QString& home) {
    QString config = xdg_config_home;
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir(home).filePath(QStringLiteral(".config"));
    return QDir(config).filePath(QStringLiteral("kaptorama"));
}
