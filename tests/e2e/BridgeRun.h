// Running the real bridge against the app's socket, and turning the event loop until something shows.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QString>

#include <functional>
#include <string>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace nubbo::e2e {

struct BridgeResult {
    std::string out;
    int status = -1;
};

// The test's own runtime folder inside its home (made, private): given to the app and the bridge alike, so a
// test never takes the place of the app running on the developer's desktop under /run/user/<uid>.
inline QString runtimeDirOf(const QString& home) {
    const QString folder = home + "/run";
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return folder;
}

// Runs the bridge with a payload file on stdin; blocking, so callers run it off the main thread. Its
// environment is HOME and the home's runtime folder, or HOME alone when `homeOnly`.
inline BridgeResult runBridge(const QString& home, const char* event, const QString& payload, bool homeOnly = false) {
    // Everything the child needs is made before fork: the app's threads may hold the allocator's lock at that
    // moment, and a child that allocates would wait on it for ever.
    const QByteArray payloadPath = payload.toLocal8Bit();
    const QByteArray homeVar = "HOME=" + home.toLocal8Bit();
    const QByteArray runtimeVar = "XDG_RUNTIME_DIR=" + runtimeDirOf(home).toLocal8Bit();
    int out[2];
    if (::pipe(out) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        const int in = ::open(payloadPath.constData(), O_RDONLY);
        ::dup2(in, 0);
        ::dup2(out[1], 1);
        ::close(out[0]);
        char* envp[] = {const_cast<char*>(homeVar.constData()),
                        homeOnly ? nullptr : const_cast<char*>(runtimeVar.constData()), nullptr};
        char* argv[] = {const_cast<char*>(NUBBO_BRIDGE_PATH), const_cast<char*>("--source"),
                        const_cast<char*>("claude"), const_cast<char*>("--event"), const_cast<char*>(event), nullptr};
        ::execve(NUBBO_BRIDGE_PATH, argv, envp);
        ::_exit(127);
    }
    ::close(out[1]);
    BridgeResult result;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(out[0], buffer, sizeof buffer)) > 0) result.out.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    ::waitpid(child, &result.status, 0);
    return result;
}

inline bool spinUntil(const std::function<bool()>& condition, int timeoutMs = 10000) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!condition()) {
        if (elapsed.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Writes the app's preferences file into a fresh home; false when it cannot.
inline bool writePreferences(const QString& home, const char* json) {
    QDir(home).mkpath(".config/Nubbo");
    QFile preferences(home + "/.config/Nubbo/preferences.json");
    return preferences.open(QIODevice::WriteOnly) && preferences.write(json) >= 0;
}

// The environment the app runs in for a test: its own home and runtime folder, offscreen, and the caller's
// bus and sanitizers.
inline QProcessEnvironment appEnvironment(const QString& home) {
    QProcessEnvironment env;
    for (const char* name : {"PATH", "DBUS_SESSION_BUS_ADDRESS", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
        if (qEnvironmentVariableIsSet(name)) env.insert(name, qEnvironmentVariable(name));
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/.config");
    env.insert("XDG_DATA_HOME", home + "/.local/share");
    env.insert("XDG_RUNTIME_DIR", runtimeDirOf(home));
    env.insert("LANG", "C.UTF-8");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    return env;
}

} // namespace nubbo::e2e
