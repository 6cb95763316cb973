// What the app remembers, beside its backups, of each shared configuration file it wrote: enough to tell
// later whether the user has changed the file since, and which backup holds the file as it was before.
#pragma once

#include "common/ProviderSpec.h"

#include <QByteArray>
#include <QMap>
#include <QSet>
#include <QString>

namespace nubbo {

struct BackupRecord {
    struct File {
        QString sha256;  // hex digest of the bytes the app last wrote; empty when it remembers none
        QString backup;  // backup folder holding the file as it was before those writes; empty: none to restore
        QString first;   // backup folder holding the oldest copy without the app's entries; kept for good
        bool operator==(const File&) const = default;
    };
    QMap<QString, File> files;  // by backup name
    bool operator==(const BackupRecord&) const = default;

    // "written.json" in the backups folder.
    static QString path(const QString& backupsDirectory);
    // "<id>-<last path component of the configuration path>": the file's name in a backup folder and its key
    // here.
    static QString name(const ProviderSpec& spec);
    static QString digest(const QByteArray& bytes);

    // A missing or damaged record reads as empty: every file then counts as changed by the user.
    static BackupRecord load(const QString& path);
    // Returns an error text, empty on success.
    QString save(const QString& path) const;
    // Every backup folder the record points to.
    QSet<QString> folders() const;
};

} // namespace nubbo
