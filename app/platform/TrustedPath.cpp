#include "platform/TrustedPath.h"

#include <QDir>
#include <QFile>

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace nubbo {
namespace {

bool trustedEntry(const QByteArray& path, uid_t user) {
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) return false;
    return (st.st_uid == user || st.st_uid == 0) && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The path and each folder above it, by name: "/a/b/c", "/a/b", "/a", "/".
bool trustedChain(QByteArray path, uid_t user) {
    while (true) {
        if (!trustedEntry(path.isEmpty() ? QByteArray("/") : path, user)) return false;
        if (path.isEmpty() || path == "/") return true;
        path.truncate(path.lastIndexOf('/'));
    }
}

} // namespace

bool isTrustedPath(const QString& path) {
    if (!QDir::isAbsolutePath(path)) return false;
    const QByteArray named = QFile::encodeName(path);
    char real[PATH_MAX];
    if (!::realpath(named.constData(), real)) return false;
    const uid_t user = ::geteuid();
    // By name too: a link under /tmp may point somewhere sound today and somewhere else tomorrow.
    return trustedChain(named, user) && trustedChain(QByteArray(real), user);
}

} // namespace nubbo
