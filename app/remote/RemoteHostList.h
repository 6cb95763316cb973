// The SSH hosts the user added: "remote-hosts.json" in the data folder, written by `nubbo remote` and the
// settings window, read (and watched) by the app's forwards.
#pragma once

#include "remote/RemoteHost.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace nubbo {

class RemoteHostList {
public:
    // "<data>/remote-hosts.json".
    static QString defaultPath();
    // The lock that serialises changes to the list across processes: "remote-hosts.lock" beside it.
    static QString lockPath(const QString& listPath);

    // A missing file is an empty list. A file that does not parse, or holds a host without its name,
    // destination or home, sets the error and reads as empty: it must not be saved over.
    static RemoteHostList load(const QString& path, QString* error = nullptr);
    // Writes the list atomically, 0600; an error text, empty on success.
    QString save(const QString& path) const;

    const std::vector<RemoteHost>& hosts() const { return hosts_; }
    // Null when no host has that name.
    const RemoteHost* find(const QString& name) const;
    // The hosts a forward can be started for: those whose members ssh could read as something else (a
    // destination that reads as an option, a socket path that is not absolute or holds a ':') are left out,
    // with a line saying why in `skipped`.
    std::vector<RemoteHost> forwardable(QStringList* skipped = nullptr) const;
    // Replaces a host of the same name in its place, else appends.
    void add(const RemoteHost& host);
    // Whether a host of that name was there.
    bool remove(const QString& name);

    bool operator==(const RemoteHostList&) const = default;

private:
    std::vector<RemoteHost> hosts_;
};

} // namespace nubbo
