#include "hooks/CodexHookReview.h"

#include "hooks/HookEntries.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <nlohmann/json.hpp>

#include <algorithm>

namespace nubbo {
namespace {

QString snakeCase(const QString& event) {
    QString out;
    for (qsizetype i = 0; i < event.size(); ++i) {
        if (event[i].isUpper() && i > 0)
            out += QLatin1Char('_');
        out += event[i].toLower();
    }
    return out;
}

// The keys of the hook-state tables that carry a trusted hash. Codex writes them as
// [hooks.state."key"] tables; a dotted `"key".trusted_hash` under [hooks.state] is read too.
QSet<QString> trustedKeys(const QString& configToml) {
    QFile file(configToml);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression table(QStringLiteral(R"re(^\s*\[\s*hooks\.state\."((?:[^"\\]|\\.)*)"\s*\]\s*(#.*)?$)re"));
    static const QRegularExpression anyTable(QStringLiteral(R"re(^\s*\[)re"));
    static const QRegularExpression hash(QStringLiteral(R"re(^\s*trusted_hash\s*=\s*"[^"]+")re"));
    static const QRegularExpression dotted(QStringLiteral(R"re(^\s*"((?:[^"\\]|\\.)*)"\s*\.\s*trusted_hash\s*=\s*"[^"]+")re"));
    QSet<QString> keys;
    QString current;
    bool inState = false;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (const auto m = table.match(line); m.hasMatch()) {
            current = m.captured(1);
            inState = false;
        } else if (anyTable.match(line).hasMatch()) {
            current.clear();
            inState = line.trimmed() == QLatin1String("[hooks.state]");
        } else if (!current.isEmpty() && hash.match(line).hasMatch()) {
            keys.insert(current);
        } else if (inState) {
            if (const auto d = dotted.match(line); d.hasMatch())
                keys.insert(d.captured(1));
        }
    }
    return keys;
}

} // namespace

CodexHookReview CodexHookReview::check(const QString& hooksFile) {
    CodexHookReview review;
    QFile file(hooksFile);
    if (!file.open(QIODevice::ReadOnly))
        return review;
    const nlohmann::json root = nlohmann::json::parse(file.readAll().toStdString(), nullptr, false);
    if (!root.is_object() || !root.contains("hooks") || !root["hooks"].is_object())
        return review;

    // Codex may name the file by its real path; a trust under either spelling counts.
    const QSet<QString> trusted = trustedKeys(QFileInfo(hooksFile).dir().filePath(QStringLiteral("config.toml")));
    const QStringList paths{QFileInfo(hooksFile).absoluteFilePath(), QFileInfo(hooksFile).canonicalFilePath()};
    bool wired = false;
    for (const auto& [event, groups] : root["hooks"].items()) {
        if (!groups.is_array())
            continue;
        for (std::size_t g = 0; g < groups.size(); ++g) {
            const auto& inner = groups[g].is_object() ? groups[g].value("hooks", nlohmann::json()) : nlohmann::json();
            if (!inner.is_array())
                continue;
            for (std::size_t h = 0; h < inner.size(); ++h) {
                const auto& hook = inner[h];
                if (!hook.is_object() || hook.value("command", std::string()).find(kAppHookMarker) == std::string::npos)
                    continue;
                wired = true;
                const QString suffix = QStringLiteral(":%1:%2:%3").arg(snakeCase(QString::fromStdString(event))).arg(g).arg(h);
                const bool known = std::any_of(paths.begin(), paths.end(),
                                               [&](const QString& path) { return trusted.contains(path + suffix); });
                if (!known && !review.pendingEvents.contains(QString::fromStdString(event)))
                    review.pendingEvents.append(QString::fromStdString(event));
            }
        }
    }
    if (wired)
        review.status = review.pendingEvents.isEmpty() ? Status::reviewed : Status::unreviewed;
    return review;
}

QString CodexHookReview::advice() const {
    switch (status) {
    case Status::notWired:
        return QStringLiteral("codex hooks: not installed");
    case Status::reviewed:
        return QStringLiteral("codex hooks: trusted in Codex");
    case Status::unreviewed:
        break;
    }
    return QStringLiteral("codex hooks: not yet trusted in Codex (%1); Codex runs none of them until you start `codex` "
                          "in a terminal and choose \"Trust all and continue\" (or review them with /hooks)")
        .arg(pendingEvents.join(QStringLiteral(", ")));
}

} // namespace nubbo
