// Whether a path names a socket file of the given user: the terminals' control sockets an agent's
// environment names are used only then, so another user's server is never driven.
#pragma once

#include <QString>

#include <sys/types.h>

namespace nubbo {

bool isSocketOwnedBy(const QString& path, uid_t uid);

} // namespace nubbo
