#pragma once
// The one exception type of the program: it carries the French message shown in the error box.
// Anything that fails inside a command throws it; the guard around handlers turns it into the
// error box and the program returns to idle.

#include <QString>
#include <exception>
#include <string>

class KapError : public std::exception {
public:
    explicit KapError(QString message)
        : message_(std::move(message)), utf8_(message_.toStdString()) {}

    const QString& message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    QString message_;
    std::string utf8_;
};

// The reason for a failed system call (an errno value), in French whatever the system's locale.
QString system_error_text(int error);
// The reason for a failed system call the program has no words of its own for.
QString unknown_system_error_text(long code);

// Messages of the file layer, with the toolkit's French wording.
inline QString msg_cannot_create(const QString& path, const QString& reason) {
    return QStringLiteral("Impossible de créer le fichier \"%1\". %2").arg(path, reason);
}
inline QString msg_cannot_open(const QString& path, const QString& reason) {
    return QStringLiteral("Impossible d'ouvrir le fichier \"%1\". %2").arg(path, reason);
}
inline QString msg_cannot_write(const QString& path) {
    return QStringLiteral("Impossible d'écrire dans %1").arg(path);
}
