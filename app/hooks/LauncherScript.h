// The launcher every hook entry runs: a small /bin/sh script at a path that never moves, which finds the
// bridge inside the app bundle wherever the app now lives and replaces itself with it. When the app is gone
// it exits 0 at once and, after a grace period, removes the app's hook entries from the agents' files.
#pragma once

#include <QHash>
#include <QString>

namespace nubbo {

struct LauncherScript {
    // Seconds between the first hook that finds no app and the self-clean.
    static constexpr int kGraceSeconds = 300;

    // "<home>/.nubbo/bin/nubbo-bridge".
    static QString path(const QString& home);

    // The script text. writingBundlePath is the bundle of the app writing it, tried first; empty skips it.
    // recordPath is the installer's record of what it wrote, from which the self-clean restores the files
    // nobody changed since; empty makes the self-clean only remove the app's entries. chosenConfigPaths: the
    // configuration files in folders the user chose, by agent id, for the self-clean to find them there.
    static QString text(const QString& writingBundlePath, const QString& recordPath = {},
                        const QHash<QString, QString>& chosenConfigPaths = {});

    // Writes the launcher to path(home), mode 0755, replacing any previous one atomically (a hook running at
    // that moment sees either the old or the new script, never a partial or non-executable one).
    static bool install(const QString& home, const QString& bundlePath, QString* error,
                        const QString& recordPath = {}, const QHash<QString, QString>& chosenConfigPaths = {});

    // The command a hook entry runs: the launcher path single-quoted for /bin/sh, then the source and event.
    static QString hookCommand(const QString& launcherPath, const QString& sourceId, const QString& event);

    // word quoted for a POSIX shell: inside single quotes, each ' written as '\''.
    static QString shellQuoted(const QString& word);
};

} // namespace nubbo
