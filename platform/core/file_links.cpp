#include "platform/core/file_checks.h"

#include <QFileInfo>

QString file_behind_links(const QString& path) {
    // As many links as the system itself follows before it gives up (ELOOP).
    constexpr int kMaxLinks = 40;
    QString file = path;
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        const QFileInfo info(file);
        if (!info.isSymLink())
            return file;
        file = info.symLinkTarget();
        if (file.isEmpty())
            return path;
    }
    return path;
}
