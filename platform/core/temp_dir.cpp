#include "platform/core/temp_dir.h"

#include <QDir>

QString temp_dir() {
    QString dir = QDir::tempPath(); // honours $TMPDIR
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}
