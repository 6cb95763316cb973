// A host's agent files copied into a local folder, so the hook installer can wire them with exactly the rules
// it uses at home; what it then changed is read back as a list of changes to make on the host.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace nubbo {

struct StagedFile {
    QByteArray bytes;
    unsigned mode = 0644;
    bool operator==(const StagedFile&) const = default;
};

// Every regular file under a folder, by path relative to it.
using StagedFiles = QMap<QString, StagedFile>;

// One file the installer changed, added (no before) or removed (no after).
struct StagedChange {
    QString path;  // relative to the home
    std::optional<StagedFile> before;
    std::optional<StagedFile> after;
};

struct StagingHome {
    // The largest archive of agent files taken from a host, and the largest file in it.
    static constexpr qint64 kMaxArchiveBytes = 64ll << 20;
    static constexpr qint64 kMaxFileBytes = 16ll << 20;

    // Unpacks a tar archive (symlinks already followed on the host) into the folder. Only regular files and
    // folders at or under one of the wanted paths are taken; an absolute name, a ".." component, a link or a
    // device refuses the whole archive. An error text, empty on success.
    static QString unpack(const QByteArray& tar, const QString& folder, const QStringList& wanted);
    static StagedFiles snapshot(const QString& folder);
    // Changes from before to after, by path.
    static std::vector<StagedChange> changes(const StagedFiles& before, const StagedFiles& after);
};

} // namespace nubbo
