#include "focus/CommandRunner.h"

#include <QProcess>
#include <QStandardPaths>

namespace nubbo {

bool ProcessRunner::available(const QString& program) {
    return !QStandardPaths::findExecutable(program).isEmpty();
}

CommandResult ProcessRunner::run(const QString& program, const QStringList& arguments, int timeoutMs) {
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty() || timeoutMs <= 0)
        return {};
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(path, arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted(timeoutMs))
        return {};
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(200);
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return {};
    return {true, process.exitCode(), process.readAllStandardOutput().left(kMaxOutput)};
}

} // namespace nubbo
