#include "sessions/SessionNavigator.h"

#include "model/TerminalFocus.h"
#include "sessions/AgentSessionStore.h"

#include <QFutureWatcher>
#include <QObject>
#include <QtConcurrent/QtConcurrentRun>

namespace nubbo {

SessionNavigator::SessionNavigator(const AgentSessionStore& store, TerminalFocus& focus, Runner runner, Log log)
    : store_(store), focus_(focus), runner_(std::move(runner)), log_(std::move(log)) {}

std::optional<QString> SessionNavigator::keyOf(const QString& sessionId) const {
    std::optional<QString> found;
    const QString suffix = QLatin1Char(':') + sessionId;
    for (const auto& [key, session] : store_.sessions()) {
        if (!key.endsWith(suffix) || key.indexOf(QLatin1Char(':')) != key.size() - suffix.size()) continue;
        if (found) return std::nullopt;  // two agents report the same id: going to either would be a guess
        found = key;
    }
    return found;
}

void SessionNavigator::goToKey(const QString& key, Done done) const { go(key, std::move(done)); }

void SessionNavigator::goToSessionId(const QString& sessionId, Done done) const {
    go(keyOf(sessionId), std::move(done));
}

void SessionNavigator::go(const std::optional<QString>& key, Done done) const {
    const AgentSession* session = key ? store_.session(*key) : nullptr;
    const auto finish = [this, key = key.value_or(QString()), done = std::move(done)](FocusOutcome outcome) {
        if (log_) log_(QStringLiteral("go to session ") + key + QStringLiteral(": ") + rawValue(outcome));
        if (done) done(outcome);
    };
    if (!session) return finish(FocusOutcome::unknownSession);
    if (!session->terminal.known()) return finish(FocusOutcome::noContext);
    runner_([&focus = focus_, context = session->terminal] { return focus.focus(context); }, finish);
}

SessionNavigator::Runner SessionNavigator::threadPoolRunner() {
    return [](std::function<FocusOutcome()> work, Done done) {
        auto* watcher = new QFutureWatcher<FocusOutcome>();
        QObject::connect(watcher, &QFutureWatcher<FocusOutcome>::finished, watcher, [watcher, done = std::move(done)] {
            if (done) done(watcher->result());
            watcher->deleteLater();
        });
        watcher->setFuture(QtConcurrent::run(std::move(work)));
    };
}

} // namespace nubbo
