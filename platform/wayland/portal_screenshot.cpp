#include "platform/wayland/portal_screenshot.h"

#include "platform/core/error.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <optional>

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.Screenshot");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");

// Receives the Response signal of one request.
class ShotResponse : public QObject {
    Q_OBJECT
public:
    std::optional<uint> code;
    QVariantMap results;
    QEventLoop loop;

public slots:
    void response(uint response, const QVariantMap& answer) {
        code = response;
        results = answer;
        loop.quit();
    }
};

bool session_bus_exists() {
    // Without a session bus to join, asking for one could start a bus of its own (X11
    // autolaunch) that outlives the program.
    return !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") ||
           QFile::exists(qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/bus"));
}

} // namespace

ScreenshotAnswer screenshot_answer_of(uint response, const QVariantMap& results) {
    ScreenshotAnswer answer;
    if (response == 1) {
        answer.kind = ScreenshotAnswer::Kind::Cancelled;
        return answer;
    }
    if (response != 0)
        return answer;
    const QUrl uri(results.value(QStringLiteral("uri")).toString());
    if (!uri.isValid() || !uri.isLocalFile() || uri.toLocalFile().isEmpty())
        return answer;
    answer.kind = ScreenshotAnswer::Kind::Picture;
    answer.file = uri.toLocalFile();
    return answer;
}

QString portal_request_path(const QString& unique_name, const QString& token) {
    QString sender = unique_name.startsWith(QLatin1Char(':')) ? unique_name.mid(1) : unique_name;
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

bool screenshot_portal_answers(int wait_ms) {
    if (!session_bus_exists())
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    // The portal is started by the bus on the first call when it is not running yet.
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kInterface << QStringLiteral("version");
    const QDBusMessage reply = bus.call(get, QDBus::Block, wait_ms);
    return reply.type() == QDBusMessage::ReplyMessage;
}

ScreenshotAnswer request_portal_screenshot(bool interactive, int wait_ms) {
    if (!session_bus_exists())
        throw KapError(kNoScreenshotPortalText);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        throw KapError(kNoScreenshotPortalText);

    // The request's object path is known before the call: listening to it first, the answer
    // cannot come before the program listens.
    const QString token =
        QStringLiteral("kaptorama_shot%1").arg(QRandomGenerator::global()->generate());
    const QString request_path = portal_request_path(bus.baseService(), token);
    ShotResponse waiter;
    const QString signal = QStringLiteral("Response");
    const char* slot = SLOT(response(uint, QVariantMap));
    bus.connect(kService, request_path, kRequestInterface, signal, &waiter, slot);
    struct Unsubscribe {
        QDBusConnection& bus;
        const QString& path;
        const QString& signal;
        ShotResponse& waiter;
        const char* slot;
        ~Unsubscribe() { bus.disconnect(kService, path, kRequestInterface, signal, &waiter, slot); }
    } unsubscribe{bus, request_path, signal, waiter, slot};

    QVariantMap options;
    options.insert(QStringLiteral("handle_token"), token);
    options.insert(QStringLiteral("modal"), true);
    options.insert(QStringLiteral("interactive"), interactive);
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Screenshot"));
    call << QString() << options; // no parent window: the program's windows are hidden
    const QDeadlineTimer deadline(wait_ms);
    const QDBusMessage reply =
        bus.call(call, QDBus::Block, int(std::max<qint64>(deadline.remainingTime(), 1)));
    if (reply.type() != QDBusMessage::ReplyMessage) {
        const QString error = reply.errorName();
        if (error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
            error == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
            error == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface") ||
            error == QLatin1String("org.freedesktop.DBus.Error.UnknownObject"))
            throw KapError(kNoScreenshotPortalText);
        if (error == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
            error == QLatin1String("org.freedesktop.DBus.Error.Timeout"))
            throw KapError(kScreenshotNoAnswerText);
        throw KapError(kScreenshotRefusedText);
    }
    if (!waiter.code && !deadline.hasExpired()) {
        QTimer::singleShot(int(deadline.remainingTime()), &waiter.loop, &QEventLoop::quit);
        // Only the bus's messages and the program's own housekeeping run meanwhile.
        waiter.loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (!waiter.code)
        throw KapError(kScreenshotNoAnswerText);
    return screenshot_answer_of(*waiter.code, waiter.results);
}

QImage take_screenshot_file(const QString& path) {
    QImage picture;
    const QFileInfo info(path);
    // Only a plain file is read: a link planted at a fixed path could point anywhere.
    if (info.isFile() && !info.isSymLink()) {
        QImageReader reader(path);
        picture = reader.read();
    }
    if (info.exists() || info.isSymLink())
        QFile::remove(path);
    if (picture.isNull())
        throw KapError(kScreenshotUnreadableText);
    return picture;
}

#include "portal_screenshot.moc"
