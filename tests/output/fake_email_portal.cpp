// A desktop portal reduced to its Email interface, for tests: it records every compose request
// (parent window, address, subject, body, and the file behind each attachment descriptor) to the
// file named by its second argument, then answers with the response code of its first argument.
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QTimer>
#include <unistd.h>

class FakeEmailPortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Email")
    Q_PROPERTY(uint version READ version)
public:
    FakeEmailPortal(uint code, QString record) : code_(code), record_(std::move(record)) {}
    uint version() const { return 4; }

public slots:
    QDBusObjectPath ComposeEmail(const QString& parent, const QVariantMap& options) {
        QStringList lines{"parent=" + parent};
        for (const char* key : {"address", "subject", "body"})
            if (options.contains(key))
                lines << QString(key) + "=" + options.value(key).toString();
        QList<QDBusUnixFileDescriptor> fds;
        if (options.contains("attachment_fds"))
            options.value("attachment_fds").value<QDBusArgument>() >> fds;
        for (const QDBusUnixFileDescriptor& fd : fds) {
            char target[4096] = {};
            const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd.fileDescriptor());
            const ssize_t n = readlink(link.constData(), target, sizeof target - 1);
            lines << "attachment=" + QString::fromLocal8Bit(target, n > 0 ? int(n) : 0);
        }
        QFile file(record_);
        if (file.open(QIODevice::WriteOnly | QIODevice::Append))
            file.write((lines.join('\n') + "\n").toUtf8());
        QString sender = message().service().mid(1);
        sender.replace('.', '_');
        const QString path = "/org/freedesktop/portal/desktop/request/" + sender + "/" +
                             options.value("handle_token").toString();
        QTimer::singleShot(10, this, [this, path] {
            QDBusMessage response =
                QDBusMessage::createSignal(path, "org.freedesktop.portal.Request", "Response");
            response << code_ << QVariantMap();
            QDBusConnection::sessionBus().send(response);
        });
        return QDBusObjectPath(path);
    }

private:
    uint code_;
    QString record_;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    qDBusRegisterMetaType<QList<QDBusUnixFileDescriptor>>();
    FakeEmailPortal portal(QString(argv[1]).toUInt(), QString::fromLocal8Bit(argv[2]));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject("/org/freedesktop/portal/desktop", &portal,
                            QDBusConnection::ExportAllSlots |
                                QDBusConnection::ExportAllProperties) ||
        !bus.registerService("org.freedesktop.portal.Desktop"))
        return 1;
    return app.exec();
}

#include "fake_email_portal.moc"
