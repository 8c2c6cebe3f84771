#include "platform/file_checks.h"

#include "platform/error.h"

#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

void check_own_regular_file(const QString& path) {
    struct stat info {};
    if (lstat(QFile::encodeName(path).constData(), &info) != 0)
        return;
    if (!S_ISREG(info.st_mode))
        throw KapError(msg_cannot_open(path, QStringLiteral("Ce n'est pas un fichier ordinaire")));
    if (info.st_uid != geteuid())
        throw KapError(
            msg_cannot_open(path, QStringLiteral("Le fichier appartient à un autre utilisateur")));
}

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
