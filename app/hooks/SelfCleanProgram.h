// The node program the launcher runs once the app has been gone for its grace period: it undoes the app's
// wiring in every agent's files, as an uninstall would, without the app.
#pragma once

#include <QHash>
#include <QString>

namespace nubbo {

struct SelfCleanProgram {
    // The program text for the whole catalogue. recordPath is the installer's record of what it last wrote to
    // each shared file (its backups folder beside it): a file still exactly so gets its backup back before the
    // app's entries are removed. Empty: the app's entries are only removed. chosenConfigPaths holds, by
    // catalogue id, the absolute configuration path of each agent whose config folder the user chose.
    static QString text(const QString& recordPath, const QHash<QString, QString>& chosenConfigPaths = {});
};

} // namespace nubbo
