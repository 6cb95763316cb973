// Reading another process's environment from /proc: how the detector learns which config folder a running
// agent was started with.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace nubbo::ProcessEnvironment {

// At most this much of an environment is read; what lies beyond is not looked at.
inline constexpr qint64 kMaxBytes = 256 * 1024;

// The NUL-separated environment of process `pid` under procRoot ("/proc"): only of a process `uid` owns,
// nothing for anyone else's, one that is gone, or one that cannot be read.
std::optional<QByteArray> read(const QString& procRoot, qint64 pid, uint uid);
// The value of `name` among NUL-separated NAME=value entries; nothing when it is absent or empty.
std::optional<QString> value(const QByteArray& environment, QByteArrayView name);

} // namespace nubbo::ProcessEnvironment
