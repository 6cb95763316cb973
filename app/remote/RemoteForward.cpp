#include "remote/RemoteForward.h"

#include "hooks/LauncherScript.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace nubbo {
namespace {

// ssh's status when it failed itself (rather than the remote command).
constexpr int kSshFailed = 255;
constexpr qsizetype kMaxReason = 200;

const QString kRefusedReason = QStringLiteral(
    "the SSH server does not forward Unix sockets (AllowStreamLocalForwarding in its sshd_config)");

// ssh -v's chatter and its closing statistics say nothing about why it ended.
bool meaningful(const QString& line) {
    static const QLatin1String kNoise[] = {QLatin1String("debug"), QLatin1String("OpenSSH_"),
                                           QLatin1String("Transferred:"), QLatin1String("Bytes per second:"),
                                           QLatin1String("Authenticated to "), QLatin1String("@@@")};
    return !line.isEmpty() && std::none_of(std::begin(kNoise), std::end(kNoise),
                                           [&](QLatin1String noise) { return line.startsWith(noise); });
}

// One printable line: the host may have put anything in a banner or an error.
QString shown(const QString& line) {
    QString text;
    for (const QChar c : line)
        if (c.category() != QChar::Other_Control && c.category() != QChar::Other_Format)
            text.append(c);
    text = text.trimmed();
    return text.size() > kMaxReason ? text.left(kMaxReason - 1) + QChar(0x2026) : text;
}

QStringList commonOptions(const RemoteHost& host) {
    QStringList options{QStringLiteral("-o"), QStringLiteral("BatchMode=yes")};
    if (host.port)
        options << QStringLiteral("-p") << QString::number(*host.port);
    return options;
}

} // namespace

RemoteForward::RemoteForward(RemoteHost host, QString localSocket, SshRunner& ssh, Scheduler& scheduler,
                             const Clock& clock, Random& random)
    : host_(std::move(host)), localSocket_(std::move(localSocket)), ssh_(ssh), scheduler_(scheduler), clock_(clock),
      random_(random) {}

RemoteForward::~RemoteForward() {
    scheduler_.cancel(pending_);
    scheduler_.cancel(removalDeadline_);
}

QStringList RemoteForward::forwardArguments(const RemoteHost& host, const QString& localSocket) {
    // -v: the only sign that the forward is in place is ssh's "remote forward success" line. ControlPath=none:
    // a master of the user's own config would carry the forward in a process this app cannot end.
    QStringList arguments{QStringLiteral("-v"), QStringLiteral("-N")};
    arguments << commonOptions(host)
              << QStringList{QStringLiteral("-o"), QStringLiteral("ExitOnForwardFailure=yes"), QStringLiteral("-o"),
                             QStringLiteral("StreamLocalBindUnlink=yes"), QStringLiteral("-o"),
                             QStringLiteral("ServerAliveInterval=10"), QStringLiteral("-o"),
                             QStringLiteral("ServerAliveCountMax=3"), QStringLiteral("-o"),
                             QStringLiteral("ControlPath=none"), QStringLiteral("-R"),
                             host.socketPath + QLatin1Char(':') + localSocket, QStringLiteral("--"), host.destination};
    return arguments;
}

QStringList RemoteForward::removalArguments(const RemoteHost& host) {
    // The folder comes back too (private), should it have gone: the server cannot bind in a missing one.
    const QString folder = QFileInfo(host.socketPath).path();
    const QString command = QStringLiteral("mkdir -p -m 700 -- %1 && rm -f -- %2")
                                .arg(LauncherScript::shellQuoted(folder), LauncherScript::shellQuoted(host.socketPath));
    return commonOptions(host) << QStringLiteral("-o") << QStringLiteral("ConnectTimeout=15") << QStringLiteral("--")
                               << host.destination << command;
}

void RemoteForward::start() {
    if (!process_ && !pending_)
        attempt();
}

void RemoteForward::attempt() {
    pending_ = 0;
    lastLine_.clear();
    // The last failure stays the reason while it tries again.
    setState(RemoteHostState::connecting, reason_);
    process_ = ssh_.start(removalArguments(host_), {[this](const QString& text) { line(text); },
                                                    [this](int exitCode) { removalEnded(exitCode); }});
    removalDeadline_ = scheduler_.schedule(kRemovalTimeout, [this] {
        removalDeadline_ = 0;
        process_.reset();
        lastLine_ = QStringLiteral("ssh did not finish removing the old socket within %1 s").arg(kRemovalTimeout);
        removalEnded(-1);
    });
}

void RemoteForward::removalEnded(int exitCode) {
    scheduler_.cancel(removalDeadline_);
    removalDeadline_ = 0;
    process_.reset();
    if (exitCode == kSshFailed || exitCode < 0) {
        setState(RemoteHostState::unreachable,
                 lastLine_.isEmpty() ? QStringLiteral("ssh ended with status %1").arg(exitCode) : lastLine_);
        retryAfter(nextDelay());
        return;
    }
    startForward();
}

void RemoteForward::startForward() {
    lastLine_.clear();
    refused_ = connected_ = false;
    process_ = ssh_.start(forwardArguments(host_, localSocket_), {[this](const QString& text) { line(text); },
                                                                  [this](int exitCode) { forwardEnded(exitCode); }});
}

void RemoteForward::line(const QString& text) {
    const QString success = QStringLiteral("remote forward success for: listen ") + host_.socketPath;
    if (const qsizetype at = text.indexOf(success); at >= 0) {
        // ssh writes "<path>:<port>, connect ...": the path must end where ours does.
        const qsizetype after = at + success.size();
        if (after == text.size() || text[after] == QLatin1Char(':') || text[after] == QLatin1Char(',')) {
            connected_ = true;
            connectedAt_ = clock_.now();
            setState(RemoteHostState::connected, QString());
        }
    }
    if (text.contains(QLatin1String("remote port forwarding failed for listen path")))
        refused_ = true;
    if (meaningful(text))
        lastLine_ = shown(text);
}

void RemoteForward::forwardEnded(int exitCode) {
    process_.reset();
    if (connected_ && clock_.now() - connectedAt_ >= kHeldLongEnough)
        failures_ = 0;
    if (onDropped_)
        onDropped_();
    if (refused_) {
        setState(RemoteHostState::forwardRefused, kRefusedReason);
        // Only the host's administrator can change that: no point asking often.
        retryAfter(kMaxDelay * (1.0 - kJitter * random_.uniform()));
        return;
    }
    setState(RemoteHostState::unreachable,
             lastLine_.isEmpty() ? QStringLiteral("ssh ended with status %1").arg(exitCode) : lastLine_);
    retryAfter(nextDelay());
}

double RemoteForward::nextDelay() {
    const double base = std::min(kMaxDelay, kFirstDelay * std::pow(2.0, std::min(failures_, 16)));
    ++failures_;
    return base * (1.0 - kJitter * random_.uniform());
}

void RemoteForward::retryAfter(double seconds) {
    pending_ = scheduler_.schedule(seconds, [this] { attempt(); });
}

void RemoteForward::setState(RemoteHostState state, const QString& reason) {
    if (state == state_ && reason == reason_)
        return;
    state_ = state;
    reason_ = reason;
    if (onChanged_)
        onChanged_();
}

} // namespace nubbo
