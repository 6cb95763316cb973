// Whether a program at a path can be run as this user: started from a remembered path (the hook launcher, an
// autostart or menu entry), it must be one that no other user can have put there, even long after the app
// wrote it down and the folder it was in was deleted.
#pragma once

#include <QString>

namespace nubbo {

// True when path is absolute and it, every folder above it, and the same along its real path (links resolved)
// exist and are owned by this user or root and writable by neither group nor others. So nothing under /tmp,
// /var/tmp, /dev/shm or any folder that others can write passes, whether named directly or reached through a
// link.
bool isTrustedPath(const QString& path);

} // namespace nubbo
