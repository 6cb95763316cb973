// Where the app and the bridge put the socket when given a home and no runtime variable: the state folder's
// run/, unless this machine has a private /run/user/<uid> (a desktop session), which then wins for both.
#pragma once

#include "common/AppLocations.h"

#include <QString>

#include <unistd.h>

inline QString homeOnlySocket(const QString& home) {
    nubbo::locations::Environment env;
    env.home = home.toStdString();
    env.uid = ::getuid();
    return QString::fromStdString(nubbo::locations::socketPath(env));
}
