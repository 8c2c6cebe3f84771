#include "platform/core/settings_location.h"

#include <QFile>
#include <unistd.h>

QString per_user_settings_folder() {
    return xdg_settings_folder(qEnvironmentVariable("XDG_CONFIG_HOME"), QDir::homePath());
}

bool can_write(const QString& path) {
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}
