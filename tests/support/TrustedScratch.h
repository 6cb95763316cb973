// A temporary folder that only this user and root can write to, for programs that the launcher or the desktop
// must be willing to run: /tmp is not one, and neither is a checkout under it, so the tests' own folder in
// this user's cache is the last resort.
#pragma once

#include "platform/TrustedPath.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <memory>

namespace nubbo::testing {

// Null when no such folder can be found.
inline std::unique_ptr<QTemporaryDir> trustedScratch(const QString& name) {
    const QString cache = QDir::homePath() + QStringLiteral("/.cache/nubbo-tests");
    for (const QString& parent : {QDir::tempPath(), QCoreApplication::applicationDirPath(), cache}) {
        if (parent == cache) QDir().mkpath(cache);
        if (!isTrustedPath(parent)) continue;
        auto dir = std::make_unique<QTemporaryDir>(parent + QLatin1Char('/') + name + QStringLiteral("-XXXXXX"));
        if (dir->isValid()) return dir;
    }
    return nullptr;
}

} // namespace nubbo::testing
