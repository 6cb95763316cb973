// The SSH hosts the user added: "remote-hosts.json" in the data folder, written by `nubbo remote` and the
// settings window, read (and watched) by the app's forwards.
#pragma once

#include "remote/RemoteHost.h"

#include <QString>

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
    // Replaces a host of the same name in its place, else appends.
    void add(const RemoteHost& host);
    // Whether a host of that name was there.
    bool remove(const QString& name);

    bool operator==(const RemoteHostList&) const = default;

private:
    std::vector<RemoteHost> hosts_;
};

} // namespace nubbo
