// Unpacks a pet pack's zip archive into a folder, refusing anything that could write outside it or fill
// the disk. A pack comes from anywhere on the internet, so every entry is checked before a byte is written.
#pragma once

#include <QString>
#include <QtGlobal>

namespace nubbo {

class PackExtractor {
public:
    struct Limits {
        // A full pack of 480 px frames is a few tens of MiB; these leave room while stopping a zip bomb.
        qint64 maxTotalBytes = qint64(512) << 20;
        qint64 maxEntryBytes = qint64(64) << 20;
        int maxEntries = 20000;
    };

    // Extracts the zip at archivePath into destination, an existing (empty) folder. Only directories and
    // regular files are created, with default permissions; the entries' own modes, owners and times are
    // ignored. Refused, failing the whole extraction: an absolute name, a ".." component, a link of any
    // kind, a device, fifo or socket, an entry or a total over the limits, too many entries. On failure the
    // destination may hold a partial tree (never anything outside it) and reason says why, for the log.
    static bool extract(const QString& archivePath, const QString& destination, const Limits& limits,
                        QString* reason);
};

} // namespace nubbo
