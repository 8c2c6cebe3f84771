#pragma once
// Runs the command-line tool kaptorama-image, built beside the tests.

#include <QProcess>
#include <QString>
#include <QStringList>

// The exit code (-1 for a crash or a run that did not end within a minute); standard error and
// standard output when asked for.
inline int run_tool(const QStringList& args, QString* err = nullptr, QString* out = nullptr) {
    QProcess process;
    process.start(QStringLiteral(KAP_BINARY_DIR "/kaptorama-image"), args);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (err)
        *err = QString::fromUtf8(process.readAllStandardError());
    if (out)
        *out = QString::fromUtf8(process.readAllStandardOutput());
    return process.exitCode();
}
