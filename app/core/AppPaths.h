// The app's well-known folders, taken from the shared table in common/AppLocations.h.
#pragma once

#include <QString>

namespace nubbo {

// Each folder accessor creates its folder (with parents, mode 0700) on every call, so a folder removed while
// the app runs comes back on next use; a folder that cannot be created is ignored and its path returned all
// the same. Paths are computed from the process environment on each call: the bridge derives the socket
// path from the same environment by the same rule, and both sides must agree.
struct AppPaths {
    static QString configDirectory();   // $XDG_CONFIG_HOME/Nubbo
    static QString dataDirectory();     // $XDG_DATA_HOME/Nubbo
    static QString stateDirectory();    // $XDG_STATE_HOME/Nubbo
    static QString runtimeDirectory();  // socket and locks
    static QString logsDirectory();     // the state folder
    static QString customPetsDirectory();
    static QString petPacksDirectory();
    static QString backupsDirectory();
    // Where the app listens for the bridge; its folder exists when this returns.
    static QString socketPath();
    // The folder of the earlier layout (~/Library/Application Support/Nubbo), not created.
    static QString legacySupportDirectory();
    // The running bundle's Contents/Resources (the executable sits in Contents/MacOS).
    static QString bundleResourcesDirectory();
};

} // namespace nubbo
