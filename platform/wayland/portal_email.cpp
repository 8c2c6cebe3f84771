#include "platform/wayland/portal_email.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTimer>
#include <QWidget>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.Email");

// The portal answers once the mail program has been asked to open its window; a portal that
// never answers does not hold the program longer than this.
constexpr int kResponseWaitMs = 60000;

// Receives the portal's Response signal for one request.
class ResponseWaiter : public QObject {
    Q_OBJECT
public:
    std::optional<uint> code;
    QEventLoop loop;

public slots:
    void response(uint response, const QVariantMap&) {
        code = response;
        loop.quit();
    }
};

// Attachments go as file descriptors opened read-only by the program; the portal reads them.
struct OpenFiles {
    std::vector<int> fds;
    ~OpenFiles() {
        for (int fd : fds)
            ::close(fd);
    }
};

} // namespace

bool email_portal_available() {
    // Without a session bus to join, asking for one could start a bus of its own (X11
    // autolaunch) that outlives the program.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
        !QFile::exists(qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/bus")))
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    if (!bus.interface()->isServiceRegistered(kService).value())
        return false;
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kInterface << QStringLiteral("version");
    const QDBusMessage reply = bus.call(get, QDBus::Block, 2000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

PortalAnswer compose_with_portal(QWidget* owner, const MailMessage& message) {
    qDBusRegisterMetaType<QList<QDBusUnixFileDescriptor>>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return PortalAnswer::Unavailable;

    QVariantMap options;
    if (!message.recipients.empty()) {
        QString address = message.recipients.front().address;
        if (address.startsWith(QLatin1String("SMTP:"), Qt::CaseInsensitive))
            address = address.mid(5);
        options.insert(QStringLiteral("address"), address);
    }
    if (message.subject)
        options.insert(QStringLiteral("subject"), *message.subject);
    if (message.note_text)
        options.insert(QStringLiteral("body"), *message.note_text);
    OpenFiles files;
    QList<QDBusUnixFileDescriptor> descriptors;
    for (const MailFile& file : message.files) {
        const int fd = ::open(QFile::encodeName(file.path_name).constData(),
                              O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            return PortalAnswer::Unavailable;
        files.fds.push_back(fd);
        descriptors.append(QDBusUnixFileDescriptor(fd));
    }
    if (!descriptors.isEmpty())
        options.insert(QStringLiteral("attachment_fds"), QVariant::fromValue(descriptors));

    // The request's object path is known before the call, so that its answer cannot be missed.
    const QString token = QStringLiteral("kaptorama%1").arg(QRandomGenerator::global()->generate());
    options.insert(QStringLiteral("handle_token"), token);
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString request_path =
        QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    ResponseWaiter waiter;
    bus.connect(kService, request_path, QStringLiteral("org.freedesktop.portal.Request"),
                QStringLiteral("Response"), &waiter, SLOT(response(uint, QVariantMap)));

    // An X11 window names itself to the portal by its id; a Wayland one would need a handle
    // exported by the compositor, and goes without.
    const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb");
    const QString parent = x11 && owner && owner->window()->winId()
                               ? QStringLiteral("x11:%1").arg(owner->window()->winId(), 0, 16)
                               : QString();
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("ComposeEmail"));
    call << parent << options;
    const QDBusMessage reply = bus.call(call, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        bus.disconnect(kService, request_path, QStringLiteral("org.freedesktop.portal.Request"),
                       QStringLiteral("Response"), &waiter, SLOT(response(uint, QVariantMap)));
        return PortalAnswer::Unavailable;
    }
    if (!waiter.code) {
        QTimer::singleShot(kResponseWaitMs, &waiter.loop, &QEventLoop::quit);
        waiter.loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    bus.disconnect(kService, request_path, QStringLiteral("org.freedesktop.portal.Request"),
                   QStringLiteral("Response"), &waiter, SLOT(response(uint, QVariantMap)));
    if (!waiter.code)
        return PortalAnswer::Opened; // no answer in time: the request was accepted
    switch (*waiter.code) {
    case 0:
        return PortalAnswer::Opened;
    case 1:
        return PortalAnswer::Cancelled;
    default:
        return PortalAnswer::Failed;
    }
}

#include "portal_email.moc"
