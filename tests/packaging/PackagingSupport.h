#pragma once
// Running a program for the packaging tests and reading what it wrote.

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <string>

namespace zem::test {

struct Ran {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs `program` with `args` (and `environment` added to this process's),
// waiting up to `seconds`; exitCode -1 when it did not start or end.
inline Ran RunProgram(const QString& program, const QStringList& args, const QStringList& environment = {},
                      int seconds = 120, const QString& workingDir = {}) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& pair : environment)
        env.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    process.setProcessEnvironment(env);
    if (!workingDir.isEmpty())
        process.setWorkingDirectory(workingDir);
    process.start(program, args);
    Ran ran;
    if (!process.waitForFinished(seconds * 1000)) {
        process.kill();
        process.waitForFinished();
        ran.err = "did not end within the time: " + program.toStdString();
        return ran;
    }
    ran.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    ran.out = process.readAllStandardOutput().toStdString();
    ran.err = process.readAllStandardError().toStdString();
    return ran;
}

// Runs a bash script.
inline Ran RunBash(const std::string& script, const QStringList& environment = {}, int seconds = 120) {
    return RunProgram(QStringLiteral("bash"), {QStringLiteral("-c"), QString::fromStdString(script)}, environment,
                      seconds);
}

// Whether a program of this name is on the PATH.
inline bool Have(const char* program) {
    return RunBash(std::string("command -v ") + program + " >/dev/null").exitCode == 0;
}

} // namespace zem::test
