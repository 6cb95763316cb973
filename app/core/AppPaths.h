// The app's well-known folders, all under one support folder in the user's home.
#pragma once

#include <QString>

namespace nubbo {

// Each accessor creates its folder (with parents) on every call, so a folder removed while the app runs
// comes back on next use; a folder that cannot be created is ignored and its path returned all the same.
// The base is computed from $HOME on each call: the bridge derives the socket path from $HOME alone, and
// both sides must agree.
struct AppPaths {
    static QString applicationSupport();
    static QString logsDirectory();
    static QString customPetsDirectory();
    static QString petPacksDirectory();
    static QString backupsDirectory();
    // Where the app listens for the bridge.
    static QString socketPath();
    // The running bundle's Contents/Resources (the executable sits in Contents/MacOS).
    static QString bundleResourcesDirectory();
};

} // namespace nubbo
