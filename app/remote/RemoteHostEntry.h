// One host of the remote-host list (<data>/remote-hosts.json), as the forwards need it. The list is written by
// the commands that add and remove hosts; here it is only read.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace nubbo {

struct RemoteHostEntry {
    QString name;         // what the sessions show
    QString destination;  // [user@]host, as ssh takes it
    std::optional<int> port;  // none: ssh's own choice (the user's ~/.ssh/config may set it)
    QString socketPath;   // where the forward puts the app's socket on the host

    bool operator==(const RemoteHostEntry&) const = default;

    // The list's hosts in file order, or nothing when the text is not a version-1 list. A host whose members
    // could not be handed to ssh safely (a destination that reads as an option, a socket path that is not
    // absolute or holds a ':') is left out, with a line saying why in `skipped`.
    static std::optional<QList<RemoteHostEntry>> parseList(const QByteArray& json, QStringList* skipped = nullptr);
    // The file's hosts: an empty list when there is no file, nothing when it cannot be read or parsed.
    static std::optional<QList<RemoteHostEntry>> readList(const QString& path, QStringList* skipped = nullptr);
    // <data folder>/remote-hosts.json
    static QString listPath();
};

} // namespace nubbo
