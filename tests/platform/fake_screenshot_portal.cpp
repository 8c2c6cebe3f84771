// A desktop portal reduced to its Screenshot interface, for tests. Its first argument says how
// it answers: "answer" (response 0 with the file:// URI of its second argument), "cancel"
// (response 1), "refuse" (response 2) or "silent" (never). It answers before the call itself
// returns, as a quick portal may, so that only a caller listening before its call hears it. Each
// request's options are appended to the file named by its third argument.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFile>
#include <QUrl>

class FakeScreenshotPortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Screenshot")
    Q_PROPERTY(uint version READ version)
public:
    FakeScreenshotPortal(QString mode, QString picture, QString record)
        : mode_(std::move(mode)), picture_(std::move(picture)), record_(std::move(record)) {}
    uint version() const { return 2; }

public slots:
    QDBusObjectPath Screenshot(const QString& parent, const QVariantMap& options) {
        QFile file(record_);
        if (file.open(QIODevice::WriteOnly | QIODevice::Append))
            file.write(QStringLiteral("parent=%1 interactive=%2 modal=%3\n")
                           .arg(parent, options.value("interactive").toString(),
                                options.value("modal").toString())
                           .toUtf8());
        QString sender = message().service().mid(1);
        sender.replace('.', '_');
        const QString path = "/org/freedesktop/portal/desktop/request/" + sender + "/" +
                             options.value("handle_token").toString();
        if (mode_ != "silent") {
            const uint code = mode_ == "answer" ? 0 : mode_ == "cancel" ? 1 : 2;
            QVariantMap results;
            if (code == 0)
                results.insert("uri", QUrl::fromLocalFile(picture_).toString());
            QDBusMessage response =
                QDBusMessage::createSignal(path, "org.freedesktop.portal.Request", "Response");
            response << code << results;
            QDBusConnection::sessionBus().send(response);
        }
        return QDBusObjectPath(path);
    }

private:
    QString mode_;
    QString picture_;
    QString record_;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 4)
        return 2;
    FakeScreenshotPortal portal(argv[1], QString::fromLocal8Bit(argv[2]),
                                QString::fromLocal8Bit(argv[3]));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject("/org/freedesktop/portal/desktop", &portal,
                            QDBusConnection::ExportAllSlots |
                                QDBusConnection::ExportAllProperties) ||
        !bus.registerService("org.freedesktop.portal.Desktop"))
        return 1;
    return app.exec();
}

#include "fake_screenshot_portal.moc"
