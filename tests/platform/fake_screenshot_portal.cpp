// A desktop portal reduced to its Screenshot and OpenURI interfaces, for tests. Its first
// argument says how Screenshot answers: "answer" (response 0 with the file:// URI of its second
// argument), "cancel" (response 1), "refuse" (response 2) or "silent" (never). It answers before
// the call itself returns, as a quick portal may, so that only a caller listening before its call
// hears it. Each request's options, and the file behind each descriptor handed to OpenFile, are
// appended to the file named by its third argument.
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QFile>
#include <QUrl>
#include <unistd.h>

class FakePortal : public QDBusVirtualObject {
public:
    FakePortal(QString mode, QString picture, QString record)
        : mode_(std::move(mode)), picture_(std::move(picture)), record_(std::move(record)) {}

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& call, const QDBusConnection& bus) override {
        const QList<QVariant> args = call.arguments();
        if (call.interface() == "org.freedesktop.DBus.Properties" && call.member() == "Get" &&
            args.value(0).toString() == "org.freedesktop.portal.Screenshot") {
            bus.send(call.createReply(QVariant::fromValue(QDBusVariant(uint(2)))));
            return true;
        }
        if (call.interface() == "org.freedesktop.portal.Screenshot" &&
            call.member() == "Screenshot" && args.size() == 2) {
            const QVariantMap options = qdbus_cast<QVariantMap>(args[1]);
            append(QStringLiteral("parent=%1 interactive=%2 modal=%3")
                       .arg(args[0].toString(), options.value("interactive").toString(),
                            options.value("modal").toString()));
            const QString path = request_path(call, options.value("handle_token").toString());
            if (mode_ != "silent") {
                const uint code = mode_ == "answer" ? 0 : mode_ == "cancel" ? 1 : 2;
                QVariantMap results;
                if (code == 0)
                    results.insert("uri", QUrl::fromLocalFile(picture_).toString());
                QDBusMessage response =
                    QDBusMessage::createSignal(path, "org.freedesktop.portal.Request", "Response");
                response << code << results;
                bus.send(response);
            }
            bus.send(call.createReply(QVariant::fromValue(QDBusObjectPath(path))));
            return true;
        }
        if (call.interface() == "org.freedesktop.portal.OpenURI" && call.member() == "OpenFile" &&
            args.size() == 3) {
            const auto fd = args[1].value<QDBusUnixFileDescriptor>();
            char target[4096] = {};
            const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd.fileDescriptor());
            const ssize_t n = readlink(link.constData(), target, sizeof target - 1);
            append("openfile=" + QString::fromLocal8Bit(target, n > 0 ? int(n) : 0));
            const QVariantMap options = qdbus_cast<QVariantMap>(args[2]);
            bus.send(call.createReply(QVariant::fromValue(
                QDBusObjectPath(request_path(call, options.value("handle_token").toString())))));
            return true;
        }
        return false;
    }

private:
    void append(const QString& line) const {
        QFile file(record_);
        if (file.open(QIODevice::WriteOnly | QIODevice::Append))
            file.write((line + "\n").toUtf8());
    }
    // The request object of a call: the caller's unique name and the call's token.
    static QString request_path(const QDBusMessage& call, QString token) {
        if (token.isEmpty())
            token = "t";
        QString sender = call.service().mid(1);
        sender.replace('.', '_');
        return "/org/freedesktop/portal/desktop/request/" + sender + "/" + token;
    }

    QString mode_, picture_, record_;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 4)
        return 2;
    FakePortal portal(argv[1], QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerVirtualObject("/org/freedesktop/portal/desktop", &portal) ||
        !bus.registerService("org.freedesktop.portal.Desktop"))
        return 1;
    return app.exec();
}
