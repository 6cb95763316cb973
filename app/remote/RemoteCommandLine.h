// `nubbo remote add|list|remove`, run by the app binary without a display.
#pragma once

#include "remote/RemoteHostStates.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace nubbo {

class RemoteInstaller;

// Whether the arguments (the program first) ask for `remote`.
bool isRemoteCommand(const QStringList& arguments);

struct RemoteCommandIO {
    std::function<void(const QString& line)> out;    // progress and listings
    std::function<void(const QString& line)> error;  // the one line saying why it failed
    bool interactive = false;  // ssh may ask on the terminal
    // What the running app says of each host; nothing when it does not run.
    std::function<std::optional<QMap<QString, RemoteHostReport>>()> states;
};

// The arguments after "remote". Exit status: 0 done, 1 failed (one line on error), 2 usage.
int runRemoteCommand(const QStringList& arguments, const RemoteInstaller& installer, const RemoteCommandIO& io);

} // namespace nubbo
