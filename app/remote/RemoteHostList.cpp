#include "remote/RemoteHostList.h"

#include "common/Utf8Text.h"
#include "core/AppPaths.h"
#include "hooks/ConfigFileWriter.h"

#include <QDir>
#include <QFileInfo>

#include <nlohmann/json.hpp>

#include <algorithm>

namespace nubbo {
namespace {

using json = nlohmann::ordered_json;

constexpr int kVersion = 1;

QString stringMember(const json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? QString::fromStdString(it->get<std::string>()) : QString();
}

bool printable(const QString& text) {
    for (const QChar c : text)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return false;
    return true;
}

// Why a forward cannot be started for the host; empty when it can.
QString forwardProblem(const RemoteHost& host) {
    if (host.name.isEmpty() || !printable(host.name))
        return QStringLiteral("a host without a usable name");
    // ssh reads a destination that starts with '-' as an option.
    if (!text::isPrintableToken(host.destination.toStdString()) || host.destination.startsWith(QLatin1Char('-')))
        return QStringLiteral("the destination is not a [user@]host");
    if (host.port && (*host.port < 1 || *host.port > 65535))
        return QStringLiteral("the port is out of range");
    // ssh's -R takes "<remote path>:<local path>".
    if (!host.socketPath.startsWith(QLatin1Char('/')) || host.socketPath.contains(QLatin1Char(':')) ||
        !printable(host.socketPath))
        return QStringLiteral("the socket path is not an absolute path without ':'");
    return {};
}

} // namespace

std::vector<RemoteHost> RemoteHostList::forwardable(QStringList* skipped) const {
    std::vector<RemoteHost> usable;
    for (const RemoteHost& host : hosts_) {
        if (const QString problem = forwardProblem(host); problem.isEmpty())
            usable.push_back(host);
        else if (skipped)
            skipped->append(QStringLiteral("remote host \"%1\" left out: %2").arg(host.name, problem));
    }
    return usable;
}

QString RemoteHostList::defaultPath() {
    return QDir(AppPaths::dataDirectory()).filePath(QStringLiteral("remote-hosts.json"));
}

QString RemoteHostList::lockPath(const QString& listPath) {
    return QFileInfo(listPath).dir().filePath(QStringLiteral("remote-hosts.lock"));
}

RemoteHostList RemoteHostList::load(const QString& path, QString* error) {
    RemoteHostList list;
    if (!QFileInfo::exists(path))
        return list;
    const auto damaged = [&](const QString& why) {
        if (error) *error = QStringLiteral("%1 %2; it was left as it is").arg(path, why);
        return RemoteHostList();
    };
    const std::optional<QByteArray> bytes = ConfigFileWriter::read(path);
    if (!bytes)
        return damaged(QStringLiteral("could not be read"));
    const json root = json::parse(bytes->constBegin(), bytes->constEnd(), nullptr, false);
    if (!root.is_object() || !root.contains("hosts") || !root["hosts"].is_array())
        return damaged(QStringLiteral("is not a list of hosts"));
    if (root.value("version", json()) != kVersion)
        return damaged(QStringLiteral("is a list of another version"));
    for (const json& entry : root["hosts"]) {
        if (!entry.is_object())
            return damaged(QStringLiteral("holds a host that is not an object"));
        RemoteHost host{stringMember(entry, "name"), stringMember(entry, "destination"), std::nullopt, stringMember(entry, "remoteHome"),
                        stringMember(entry, "socketPath"),
                        QDateTime::fromString(stringMember(entry, "addedAt"), Qt::ISODate).toUTC()};
        if (const auto port = entry.find("port"); port != entry.end() && port->is_number_integer())
            host.port = port->get<int>();
        if (host.name.isEmpty() || host.destination.isEmpty() || host.remoteHome.isEmpty())
            return damaged(QStringLiteral("holds a host without its name, destination or home"));
        if (host.socketPath.isEmpty())
            host.socketPath = RemoteHost::socketPathFor(host.remoteHome);
        list.add(host);
    }
    return list;
}

QString RemoteHostList::save(const QString& path) const {
    json hosts = json::array();
    for (const RemoteHost& host : hosts_) {
        json entry = json::object();
        entry["name"] = host.name.toStdString();
        entry["destination"] = host.destination.toStdString();
        entry["port"] = host.port ? json(*host.port) : json(nullptr);
        entry["remoteHome"] = host.remoteHome.toStdString();
        entry["socketPath"] = host.socketPath.toStdString();
        entry["addedAt"] = host.addedAt.toUTC().toString(Qt::ISODate).toStdString();
        hosts.push_back(std::move(entry));
    }
    const json root = {{"version", kVersion}, {"hosts", std::move(hosts)}};
    return ConfigFileWriter::writeAtomically(path, QByteArray::fromStdString(root.dump(2) + '\n'), 0600);
}

const RemoteHost* RemoteHostList::find(const QString& name) const {
    const auto it = std::find_if(hosts_.begin(), hosts_.end(), [&](const RemoteHost& host) { return host.name == name; });
    return it == hosts_.end() ? nullptr : &*it;
}

void RemoteHostList::add(const RemoteHost& host) {
    const auto it = std::find_if(hosts_.begin(), hosts_.end(), [&](const RemoteHost& h) { return h.name == host.name; });
    if (it == hosts_.end())
        hosts_.push_back(host);
    else
        *it = host;
}

bool RemoteHostList::remove(const QString& name) {
    const auto it = std::find_if(hosts_.begin(), hosts_.end(), [&](const RemoteHost& host) { return host.name == name; });
    if (it == hosts_.end())
        return false;
    hosts_.erase(it);
    return true;
}

} // namespace nubbo
