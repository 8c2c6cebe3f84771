#include "platform/core/file_checks.h"

#include "platform/core/error.h"

#include <QFile>
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
