#include "remote/SshProcessTransport.h"

#include "remote/RemoteScripts.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace nubbo {
namespace {

// sun_path holds 108 bytes; ssh adds a 17-character suffix while it sets the shared connection up.
constexpr qsizetype kMaxControlPath = 108 - 1 - 17;
// "ssh-" and the 40 hex digits %C expands to.
constexpr qsizetype kControlNameLength = 4 + 40;

// The last thing said on standard error, as one printable line.
QString lastLine(const QByteArray& errorOutput) {
    const QList<QByteArray> lines = errorOutput.split('\n');
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        QString line = QString::fromUtf8(*it).trimmed();
        if (line.isEmpty())
            continue;
        for (QChar& c : line)
            if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
                c = QLatin1Char('?');
        return line.left(300);
    }
    return {};
}

} // namespace

SshProcessTransport::SshProcessTransport(QString runtimeFolder, bool interactive)
    : runtimeFolder_(std::move(runtimeFolder)), interactive_(interactive) {}

QString SshProcessTransport::controlPath() const {
    const QString folder = QDir::cleanPath(runtimeFolder_);
    if (folder.isEmpty() || QFile::encodeName(folder).size() + 1 + kControlNameLength > kMaxControlPath)
        return {};
    // ssh expands "%" tokens in the path: a folder's own "%" must stay itself.
    return QString(folder).replace(QLatin1Char('%'), QLatin1String("%%")) + QStringLiteral("/ssh-%C");
}

QStringList SshProcessTransport::arguments(const RemoteDestination& host) const {
    QStringList arguments{QStringLiteral("-T"),
                          // The user's own forwardings would only get in the way of a script run.
                          QStringLiteral("-o"), QStringLiteral("ClearAllForwardings=yes"),
                          QStringLiteral("-o"), QStringLiteral("ConnectTimeout=20"),
                          QStringLiteral("-o"), QStringLiteral("ServerAliveInterval=10"),
                          QStringLiteral("-o"), QStringLiteral("ServerAliveCountMax=3")};
    if (!interactive_)
        arguments << QStringLiteral("-o") << QStringLiteral("BatchMode=yes");
    // One connection for every step of an operation: a passphrase is asked for once. It lingers 30 s after the
    // last step, then ends by itself.
    if (const QString path = controlPath(); !path.isEmpty())
        arguments << QStringLiteral("-o") << QStringLiteral("ControlMaster=auto") << QStringLiteral("-o")
                  << QStringLiteral("ControlPath=") + path << QStringLiteral("-o") << QStringLiteral("ControlPersist=30");
    if (host.port)
        arguments << QStringLiteral("-p") << QString::number(*host.port);
    // Whatever the user's login shell is, it only has to start sh; the script comes on standard input.
    arguments << QStringLiteral("--") << host.destination << QStringLiteral("sh -s");
    return arguments;
}

QByteArray SshProcessTransport::uploadPreamble(const QByteArray& upload) {
    return "nubbo_umask=$(umask)\numask 077\n"
           "mkdir -p \"$HOME/.nubbo\" || exit 1\n"
           "upload=\"$HOME/.nubbo/.upload.$$\"\n"
           "trap 'rm -f \"$upload\"' EXIT\n"
           "{\n" + RemoteScripts::printfBytes(upload) + "} > \"$upload\" || exit 1\n"
           "umask \"$nubbo_umask\"\n";
}

SshRun SshProcessTransport::run(const RemoteDestination& host, const QByteArray& script, const QByteArray& upload) {
    const QString ssh = QStandardPaths::findExecutable(QStringLiteral("ssh"));
    if (ssh.isEmpty())
        return {-1, {}, QStringLiteral("ssh was not found on PATH (install OpenSSH's client)"), false};
    QProcess process;
    process.start(ssh, arguments(host));
    if (!process.waitForStarted())
        return {-1, {}, QStringLiteral("could not start ssh: ") + process.errorString(), false};
    process.write(upload.isEmpty() ? script : uploadPreamble(upload) + script);
    process.closeWriteChannel();
    if (!process.waitForFinished(interactive_ ? -1 : kBatchTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return {-1, {}, QStringLiteral("ssh did not finish within %1 minutes").arg(kBatchTimeoutMs / 60'000), false};
    }
    SshRun result{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
                  lastLine(process.readAllStandardError()), false};
    if (result.exitCode == 255 && !interactive_) {
        static const QRegularExpression prompt(
            QStringLiteral("Permission denied|Host key verification failed|passphrase|password|authenticity"),
            QRegularExpression::CaseInsensitiveOption);
        result.needsPrompt = prompt.match(result.reason).hasMatch();
    }
    if (!result.ok() && result.reason.isEmpty())
        result.reason = result.exitCode == 255 ? QStringLiteral("the connection was closed")
                        : result.exitCode == -1 ? QStringLiteral("ssh ended abnormally")
                                                : QStringLiteral("the script there ended with status %1").arg(result.exitCode);
    return result;
}

} // namespace nubbo
