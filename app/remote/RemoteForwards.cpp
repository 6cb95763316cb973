#include "remote/RemoteForwards.h"

#include "remote/RemoteHostList.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace nubbo {
namespace {

// A host re-added (a repair) keeps its forward: only what ssh is given or where the socket goes restarts it.
bool sameForward(const RemoteHost& a, const RemoteHost& b) {
    return a.name == b.name && a.destination == b.destination && a.port == b.port && a.socketPath == b.socketPath;
}

} // namespace

QVariantMap RemoteHostStatus::toMap() const {
    return {{QStringLiteral("name"), name},
            {QStringLiteral("destination"), destination},
            {QStringLiteral("state"), rawValue(state)},
            {QStringLiteral("reason"), reason}};
}

RemoteForwards::RemoteForwards(Services services, QObject* parent) : QObject(parent), services_(std::move(services)) {
    // The list is replaced by a rename, which the folder sees; an edit in place, the file.
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { reloadSoon(); });
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, [this] { reloadSoon(); });
}

RemoteForwards::~RemoteForwards() {
    services_.scheduler.cancel(reloadTask_);
    // Each forward before its listener.
    for (auto& host : hosts_)
        host->forward.reset();
    hosts_.clear();
}

void RemoteForwards::start() {
    reload();
}

QList<RemoteHostStatus> RemoteForwards::hosts() const {
    QList<RemoteHostStatus> list;
    for (const auto& host : hosts_)
        list.append({host->entry.name, host->entry.destination, host->forward->state(), host->forward->reason()});
    return list;
}

QList<QVariantMap> RemoteForwards::hostMaps() const {
    QList<QVariantMap> maps;
    for (const RemoteHostStatus& host : hosts())
        maps.append(host.toMap());
    return maps;
}

void RemoteForwards::reloadSoon() {
    services_.scheduler.cancel(reloadTask_);
    reloadTask_ = services_.scheduler.schedule(kReloadDelay, [this] {
        reloadTask_ = 0;
        reload();
    });
}

void RemoteForwards::reload() {
    watch();
    QString error;
    const RemoteHostList file = RemoteHostList::load(services_.listPath, &error);
    if (!error.isEmpty()) {
        // A list being written or broken by hand: the hosts as they were until it reads again.
        log(QStringLiteral("remote hosts: %1; keeping %2 host(s)").arg(error).arg(hosts_.size()));
        return;
    }
    QStringList skipped;
    const std::vector<RemoteHost> forwardable = file.forwardable(&skipped);
    for (const QString& line : skipped)
        log(line);
    const std::vector<RemoteHost>* list = &forwardable;
    // Hosts no longer listed as they were go first: a changed host's new listener takes the same socket path.
    bool changed = false;
    for (auto& host : hosts_)
        if (std::none_of(list->begin(), list->end(), [&](const RemoteHost& entry) { return sameForward(entry, host->entry); })) {
            changed = true;
            log(QStringLiteral("remote host %1: removed").arg(host->entry.name));
            host->forward.reset();
            host.reset();
        }
    std::vector<std::unique_ptr<Host>> next;
    for (const RemoteHost& entry : *list) {
        const auto kept = std::find_if(hosts_.begin(), hosts_.end(),
                                       [&](const auto& host) { return host && sameForward(host->entry, entry); });
        if (kept != hosts_.end()) {
            next.push_back(std::move(*kept));
            continue;
        }
        changed = true;
        next.push_back(startHost(entry));
    }
    hosts_ = std::move(next);
    if (changed)
        Q_EMIT hostsChanged();
}

std::unique_ptr<RemoteForwards::Host> RemoteForwards::startHost(const RemoteHost& entry) {
    auto host = std::make_unique<Host>();
    host->entry = entry;
    const QString socket = HostIntake::socketPathFor(services_.runtimeFolder, entry.name);
    host->intake = services_.intake(entry.name, socket);
    host->intake->start();
    host->forward = std::make_unique<RemoteForward>(entry, socket, services_.ssh, services_.scheduler,
                                                    services_.clock, services_.random);
    Host* raw = host.get();
    host->forward->setOnDropped([raw] { raw->intake->releaseWaiting(); });
    host->forward->setOnChanged([this, raw, logged = QString()]() mutable {
        // A host that stays unreachable passes through connecting at every retry: one line until it changes.
        const QString reason = raw->forward->reason();
        const QString line = QStringLiteral("remote host %1: %2%3")
                                 .arg(raw->entry.name, rawValue(raw->forward->state()),
                                      reason.isEmpty() ? QString() : QStringLiteral(" (") + reason + QLatin1Char(')'));
        if (raw->forward->state() != RemoteHostState::connecting && line != logged) {
            logged = line;
            log(line);
        }
        Q_EMIT hostsChanged();
    });
    log(QStringLiteral("remote host %1: forwarding %2 to %3 on %4")
            .arg(entry.name, socket, entry.socketPath, entry.destination));
    host->forward->start();
    return host;
}

void RemoteForwards::watch() {
    // The folder may only now exist, and a replaced file is a new one to watch.
    const QFileInfo list(services_.listPath);
    if (list.dir().exists() && !watcher_.directories().contains(list.absolutePath()))
        watcher_.addPath(list.absolutePath());
    if (list.exists() && !watcher_.files().contains(list.absoluteFilePath()))
        watcher_.addPath(list.absoluteFilePath());
}

void RemoteForwards::log(const QString& line) const {
    if (services_.log)
        services_.log(line);
}

} // namespace nubbo
