#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace TestSupport {

// One run of the built kakikomi program, headless, to its end.
struct ProgramRun
{
    int exitCode = -1;
    bool finished = false;
    QByteArray out;
    QByteArray err;
};

// The headless environment the program is started in; tests add or remove variables.
inline QProcessEnvironment programEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

// program: a copy of it elsewhere, to see what it finds from its own folder.
inline ProgramRun runProgram(const QStringList &arguments, const QString &workingDirectory,
                             const QProcessEnvironment &environment = programEnvironment(),
                             int timeoutMs = 30000, const QString &program = QStringLiteral(KAKIKOMI_PROGRAM))
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    ProgramRun run;
    run.finished = process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit;
    if (!run.finished) {
        process.kill();
        process.waitForFinished();
    }
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

} // namespace TestSupport
