#pragma once

// Runs the real program as a scheduler runs it on an installation built by the store builder:
// its settings and data drives, and no display at all.

#include "catalog/catalogfile.h"
#include "installation/installation.h"

#include <QProcess>
#include <QStringList>

namespace krt::testing {

struct CommandResult
{
    int exitCode = -1;
    bool crashed = false;
    QString out;
    QString err;
};

inline void startCommand(QProcess &process, const QString &root, const QStringList &arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), install::configFolder(root));
    env.insert(QStringLiteral("TMCS_DRIVE_ROOT"), install::drivesFolder(root));
    for (const QString &display :
         {QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY")})
        env.remove(display);
    process.setProcessEnvironment(env);
    process.setProgram(QStringLiteral(KRT550_EXECUTABLE));
    process.setArguments(arguments);
    process.start();
}

inline CommandResult finishCommand(QProcess &process)
{
    if (!process.waitForFinished(300000))
        process.kill();
    return {process.exitCode(), process.exitStatus() == QProcess::CrashExit,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

inline CommandResult runCommand(const QString &root, const QStringList &arguments)
{
    QProcess process;
    startCommand(process, root, arguments);
    return finishCommand(process);
}

} // namespace krt::testing
