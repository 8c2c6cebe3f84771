#pragma once
// A session bus of the test's own, set as the process's session bus. It starts no service of the
// machine's: a real portal installed here would otherwise be started in place of a test's fake.

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class PrivateBus {
public:
    QTemporaryDir dir;
    QProcess daemon;
    QByteArray address;
    PrivateBus() {
        const QString config = dir.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        if (file.open(QIODevice::WriteOnly))
            file.write("<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
                       "<auth>EXTERNAL</auth><policy context=\"default\">"
                       "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                       "<allow own=\"*\"/></policy></busconfig>\n");
        file.close();
        daemon.start("dbus-daemon", {"--config-file=" + config, "--nofork", "--print-address=1"});
        daemon.waitForReadyRead(10000);
        address = daemon.readLine().trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    }
    ~PrivateBus() {
        daemon.kill();
        daemon.waitForFinished();
    }
};
