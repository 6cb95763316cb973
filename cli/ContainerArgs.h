// `nubbo container-args`: the options that let an agent in a container reach this desktop's Nubbo. The
// container sees the app's socket folder, and the static bridge at the launcher's own path, so hook entries
// written for this home (a mounted ~/.claude, say) run unchanged inside it. Pure: the paths are handed in.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace nubbo::cli {

struct ContainerPaths {
    QString socketFolder;  // the folder that holds the app's socket here
    QString socketName;    // its file name
    QString bridge;        // the static bridge beside this command
    QString launcher;      // where hook entries run it: ~/.nubbo/bin/nubbo-bridge
};

// Where the socket folder appears inside the container.
inline constexpr char kContainerSocketFolder[] = "/run/nubbo";

// The options for `docker run` or `podman run`, one word each.
QStringList containerArguments(const ContainerPaths& paths);
// The words as one line a POSIX shell reads back as the same words.
QString shellLine(const QStringList& words);
// The same as a devcontainer.json fragment: "mounts" and "containerEnv".
QByteArray devcontainerFragment(const ContainerPaths& paths);

} // namespace nubbo::cli
