#include "common/AppLocations.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace nubbo::locations {
namespace {

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string joined(std::string_view base, std::string_view name) {
    std::string path(base);
    path += '/';
    path += name;
    return path;
}

// The XDG rule: an empty or relative value counts as unset.
std::string baseFolder(const std::string& value, const std::string& home, std::string_view fallback) {
    if (!value.empty() && value.front() == '/') return value;
    if (home.empty()) return {};
    return joined(home, fallback);
}

bool isFolder(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Only a folder nobody else can enter may hold the socket: /run/user/<uid> as logind makes it.
bool isPrivateFolderOf(const std::string& path, unsigned uid) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == uid &&
           (status.st_mode & 07777) == 0700;
}

std::string inApp(const std::string& base) {
    return base.empty() ? base : joined(base, kAppFolder);
}

} // namespace

Environment Environment::current() {
    Environment env;
    env.home = variable("HOME");
    env.configHome = variable("XDG_CONFIG_HOME");
    env.dataHome = variable("XDG_DATA_HOME");
    env.stateHome = variable("XDG_STATE_HOME");
    env.runtimeDir = variable("XDG_RUNTIME_DIR");
    env.socket = variable(kSocketVariable);
    env.uid = ::getuid();
    return env;
}

std::string configFolder(const Environment& env) {
    return inApp(baseFolder(env.configHome, env.home, kDefaultConfigHome));
}

std::string dataFolder(const Environment& env) {
    return inApp(baseFolder(env.dataHome, env.home, kDefaultDataHome));
}

std::string stateFolder(const Environment& env) {
    return inApp(baseFolder(env.stateHome, env.home, kDefaultStateHome));
}

std::string runtimeFolder(const Environment& env) {
    if (!env.runtimeDir.empty() && env.runtimeDir.front() == '/' && isFolder(env.runtimeDir))
        return joined(env.runtimeDir, kRuntimeFolder);
    const std::string perUser = joined(env.runtimeRoot, std::to_string(env.uid));
    if (isPrivateFolderOf(perUser, env.uid)) return joined(perUser, kRuntimeFolder);
    const std::string state = stateFolder(env);
    return state.empty() ? state : joined(state, kStateRuntimeFolder);
}

std::string socketPath(const Environment& env) {
    if (!env.socket.empty()) return env.socket;
    const std::string folder = runtimeFolder(env);
    return folder.empty() ? folder : joined(folder, kSocketFile);
}

std::string launcherPath(std::string_view home) { return joined(home, kLauncherRelativePath); }

std::string legacySupportFolder(std::string_view home) {
    return joined(home, kLegacySupportFolder);
}

} // namespace nubbo::locations
