// Moves an earlier release's files out of its single support folder ("~/Library/Application Support/Nubbo")
// into the XDG folders, once, before anything at start-up reads them: backups, custom pictures and packs go to
// the data folder, the logs to the logs folder, and saved paths into the old folder are rewritten to match.
#pragma once

#include <QString>

#include <functional>

namespace nubbo {

// Plain paths, so the move knows nothing of how the app finds its folders.
struct LegacyLayout {
    QString oldFolder;        // the earlier release's support folder
    QString dataFolder;       // gets Backups, CustomPets, PetPacks and the hooks' removal marker
    QString logsFolder;       // gets the contents of Logs (and log files lying at the old folder's top)
    QString preferencesFile;  // its string values that lead into the old folder are rewritten
};

// For tests.
struct LegacyLayoutMoveOptions {
    // Called before each change on disk; returning false stops the move there, as a kill would.
    std::function<bool()> beforeChange;
    // Copy and remove every file, as between file systems, instead of renaming.
    bool copyAlways = false;
};

struct LegacyLayoutMove {
    using Log = std::function<void(const QString& line)>;
    using Options = LegacyLayoutMoveOptions;

    // Moves what is there. Within one file system folders and files are renamed; across file systems a file
    // is copied beside its destination, renamed into place, and only then removed at the source, so a kill
    // leaves every file whole in at least one place. A destination that already exists (from a run that
    // was stopped) is merged into: a file there with the same bytes stands for its source, one with other
    // bytes stays and the source comes in beside it under a free name. Runs again until nothing is left,
    // then removes the old folder with its stale socket and locks, and its two parents when that leaves
    // them empty. Without an old folder it costs one stat. Skipped while an earlier release still runs
    // there (its instance lock is held). Log lines are handed over once the move is over, so a log written
    // to the new logs folder cannot stand in the old log's way. True when no old folder remains.
    static bool run(const LegacyLayout& layout, const Log& log, const Options& options = {});
};

} // namespace nubbo
