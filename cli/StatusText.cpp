#include "cli/StatusText.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <algorithm>
#include <array>

namespace nubbo::cli {
namespace {

bool stateIsOneOf(const QString& state, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* name) { return state == QLatin1String(name); });
}

// The home shown as "~", so the folder column stays narrow.
QString shortFolder(const QString& cwd) {
    const QString home = QDir::homePath();
    if (!home.isEmpty() && home != QLatin1String("/") && (cwd == home || cwd.startsWith(home + QLatin1Char('/'))))
        return QLatin1Char('~') + cwd.mid(home.size());
    return cwd.isEmpty() ? QStringLiteral("-") : cwd;
}

QString orDash(const QString& text) { return text.isEmpty() ? QStringLiteral("-") : text; }

int waitingCount(const StatusDocument& status) {
    return static_cast<int>(std::count_if(status.sessions.begin(), status.sessions.end(),
                                          [](const SessionStatus& s) { return isWaiting(s); }));
}

} // namespace

QString rawValue(BarClass barClass) {
    switch (barClass) {
    case BarClass::idle: return QStringLiteral("idle");
    case BarClass::working: return QStringLiteral("working");
    case BarClass::waiting: return QStringLiteral("waiting");
    case BarClass::paused: return QStringLiteral("paused");
    }
    return {};
}

bool isWaiting(const SessionStatus& session) {
    return session.request.has_value() || stateIsOneOf(session.state, {"waitingApproval", "waitingInput"});
}

bool isWorking(const SessionStatus& session) {
    return stateIsOneOf(session.state, {"thinking", "coding", "reading", "searching", "running", "browsing",
                                        "planning", "compactingContext", "responding"});
}

const SessionStatus* mostUrgent(const StatusDocument& status) {
    for (const auto& test : {isWaiting, isWorking})
        for (const SessionStatus& session : status.sessions)
            if (test(session))
                return &session;
    return status.sessions.empty() ? nullptr : &status.sessions.front();
}

BarClass barClassOf(const StatusDocument& status) {
    if (status.paused)
        return BarClass::paused;
    const SessionStatus* urgent = mostUrgent(status);
    if (urgent && isWaiting(*urgent))
        return BarClass::waiting;
    if (urgent && isWorking(*urgent))
        return BarClass::working;
    return BarClass::idle;
}

QString ageText(const QDateTime& since, const QDateTime& now) {
    if (!since.isValid())
        return QStringLiteral("-");
    const qint64 seconds = std::max<qint64>(0, since.secsTo(now));
    if (seconds < 60) return QStringLiteral("%1s").arg(seconds);
    if (seconds < 3600) return QStringLiteral("%1m").arg(seconds / 60);
    if (seconds < 86400) return QStringLiteral("%1h").arg(seconds / 3600);
    return QStringLiteral("%1d").arg(seconds / 86400);
}

QString statusTable(const StatusDocument& status, const QDateTime& now) {
    QString out;
    if (status.sessions.empty()) {
        out += QStringLiteral("no live sessions\n");
    } else {
        using Row = std::array<QString, 6>;
        std::vector<Row> rows{{QStringLiteral("AGENT"), QStringLiteral("HOST"), QStringLiteral("FOLDER"),
                               QStringLiteral("STATE"), QStringLiteral("ACTIVITY"), QStringLiteral("AGE")}};
        for (const SessionStatus& s : status.sessions)
            rows.push_back({orDash(s.agent), s.host.isEmpty() ? QStringLiteral("local") : s.host, shortFolder(s.cwd),
                            orDash(s.state), orDash(s.activity.simplified()), ageText(s.updatedAt, now)});
        std::array<qsizetype, 6> widths{};
        for (const Row& row : rows)
            for (std::size_t c = 0; c < row.size(); ++c)
                widths[c] = std::max(widths[c], row[c].size());
        for (std::size_t r = 0; r < rows.size(); ++r) {
            QString line;
            for (std::size_t c = 0; c < rows[r].size(); ++c)
                line += c + 1 == rows[r].size() ? rows[r][c] : rows[r][c].leftJustified(widths[c] + 2);
            out += line + QLatin1Char('\n');
            const SessionStatus* session = r == 0 ? nullptr : &status.sessions[r - 1];
            if (session && session->request)
                out += QStringLiteral("  waiting %1%2: %3\n")
                           .arg(session->request->id, session->request->risky ? QStringLiteral(" (risky)") : QString(),
                                session->request->command.simplified());
        }
    }
    out += QStringLiteral("approval mode: %1\n").arg(orDash(status.approvalMode));
    out += QStringLiteral("paused: %1\n").arg(status.paused ? QStringLiteral("yes") : QStringLiteral("no"));
    return out;
}

QByteArray waybarObject(const StatusDocument& status) {
    const int waiting = waitingCount(status);
    QString text = QString::number(status.sessions.size());
    if (waiting > 0)
        text += QStringLiteral(" (%1 waiting)").arg(waiting);
    QStringList tooltip;
    for (const SessionStatus& s : status.sessions)
        tooltip << QStringLiteral("%1 in %2: %3").arg(orDash(s.agent), shortFolder(s.cwd), orDash(s.state));
    if (status.paused)
        tooltip << QStringLiteral("paused");
    if (tooltip.isEmpty())
        tooltip << QStringLiteral("no live sessions");
    const QJsonObject object{{QStringLiteral("text"), text},
                             {QStringLiteral("tooltip"), tooltip.join(QLatin1Char('\n'))},
                             {QStringLiteral("class"), rawValue(barClassOf(status))}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray waybarOffObject() {
    const QJsonObject object{{QStringLiteral("text"), QString()},
                             {QStringLiteral("tooltip"), QStringLiteral("Nubbo is not running")},
                             {QStringLiteral("class"), rawValue(BarClass::idle)}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString formatStatus(const StatusDocument& status, const QString& pattern) {
    const SessionStatus* urgent = mostUrgent(status);
    QString out = pattern;
    out.replace(QLatin1String("{sessions}"), QString::number(status.sessions.size()));
    out.replace(QLatin1String("{waiting}"), QString::number(waitingCount(status)));
    out.replace(QLatin1String("{state}"), urgent ? urgent->state : QStringLiteral("idle"));
    out.replace(QLatin1String("{agent}"), urgent ? urgent->agent : QString());
    return out;
}

} // namespace nubbo::cli
