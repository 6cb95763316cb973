// Reading and writing files that belong to other programs: atomic replacement that follows symlinks to their
// target and keeps the target's permissions, and plain copies for backups.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace nubbo {

struct ConfigFileWriter {
    // The file a write to `path` must replace: `path` itself, or the end of its symlink chain (which may not
    // exist yet). A chain that loops or is too deep yields `path`.
    static QString resolveWriteTarget(const QString& path);

    // Replaces the file's contents atomically (temp file in the target's folder + rename), creating the
    // folder with parents. An existing target keeps its permission bits; a new one gets `newFileMode`.
    // Returns an error text, empty on success.
    static QString writeAtomically(const QString& path, const QByteArray& bytes, unsigned newFileMode = 0644);

    // Makes every later atomic write fail halfway as on a full disk (ENOSPC), until switched off again.
    static void simulateFullDiskForTesting(bool full);

    // The file's bytes; nothing when it is missing or cannot be read.
    static std::optional<QByteArray> read(const QString& path);

    // Copies `source` (following symlinks) to `destination`, replacing an existing file; the copy keeps the
    // source's permissions. Returns an error text, empty on success.
    static QString copy(const QString& source, const QString& destination);

    // The permission bits of the file `path` leads to, if it exists.
    static std::optional<unsigned> mode(const QString& path);
    // "<what> <path>: <the reason errno gives>", for the alerts and log lines of file operations.
    static QString systemError(const QString& what, const QString& path);
    // For the operations that report through an optional error out-parameter: sets it, returns false.
    static bool fail(QString* error, const QString& message) {
        if (error) *error = message;
        return false;
    }
};

} // namespace nubbo
