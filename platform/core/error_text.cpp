#include "platform/core/error.h"

#include <cerrno>

QString system_error_text(int error) {
    // The reasons a person meets when saving, in the program's own words: the system's own
    // texts follow its locale and are English under the plain C locale.
    switch (error) {
    case EACCES:
        return QStringLiteral("Accès refusé");
    case EPERM:
        return QStringLiteral("Opération non permise");
    case ENOENT:
        return QStringLiteral("Le fichier ou le dossier n'existe pas");
    case ENOTDIR:
        return QStringLiteral("Un élément du chemin n'est pas un dossier");
    case EISDIR:
        return QStringLiteral("C'est un dossier");
    case EROFS:
        return QStringLiteral("Le système de fichiers est en lecture seule");
    case ENOSPC:
        return QStringLiteral("Il n'y a plus de place sur le disque");
#ifdef EDQUOT
    case EDQUOT:
        return QStringLiteral("Le quota de disque est dépassé");
#endif
    case EEXIST:
        return QStringLiteral("Le fichier existe déjà");
    case ENAMETOOLONG:
        return QStringLiteral("Le nom du fichier est trop long");
    case EFBIG:
        return QStringLiteral("Le fichier est trop volumineux");
    case EIO:
        return QStringLiteral("Erreur d'entrée-sortie sur le disque");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("Trop de fichiers sont ouverts");
#ifdef ELOOP
    case ELOOP:
        return QStringLiteral("Trop de liens symboliques");
#endif
    case EBUSY:
#ifdef ETXTBSY
    case ETXTBSY:
#endif
        return QStringLiteral("Le fichier est utilisé par un autre programme");
    case EXDEV:
        return QStringLiteral("Les deux emplacements sont sur des disques différents");
    case EINVAL:
        return QStringLiteral("Nom ou opération non valable");
    case ENOMEM:
        return QStringLiteral("Mémoire insuffisante");
    default:
        return unknown_system_error_text(error);
    }
}

QString unknown_system_error_text(long code) {
    return QStringLiteral("Erreur du système (code %1)").arg(code);
}
