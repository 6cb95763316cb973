// Where the app keeps its files: one table that the app, the bridge and (through the text it is generated
// with) the OpenCode plug-in all take their paths from, so they cannot disagree. Pure functions of an
// Environment, so tests can hand in any home, variables and stand-in /run/user.
#pragma once

#include <string>
#include <string_view>

namespace nubbo::locations {

// The folder named after the app under each XDG base directory.
inline constexpr char kAppFolder[] = "Nubbo";
// Below the runtime base (XDG_RUNTIME_DIR or /run/user/<uid>): socket and locks.
inline constexpr char kRuntimeFolder[] = "nubbo";
// Below the state folder when no runtime base is usable.
inline constexpr char kStateRuntimeFolder[] = "run";
inline constexpr char kSocketFile[] = "nubbo.sock";
inline constexpr char kSocketVariable[] = "NUBBO_SOCKET";
inline constexpr char kRuntimeRoot[] = "/run/user";
// The defaults of XDG_CONFIG_HOME, XDG_DATA_HOME and XDG_STATE_HOME, relative to the home.
inline constexpr char kDefaultConfigHome[] = ".config";
inline constexpr char kDefaultDataHome[] = ".local/share";
inline constexpr char kDefaultStateHome[] = ".local/state";
// The launcher every hook entry runs, relative to the home: it never moves, so hook entries stay valid.
inline constexpr char kLauncherRelativePath[] = ".nubbo/bin/nubbo-bridge";
// The layout before the XDG folders, kept so it can be migrated.
inline constexpr char kLegacySupportFolder[] = "Library/Application Support/Nubbo";

// What the folders depend on. Variables hold "" when unset.
struct Environment {
    std::string home;
    std::string configHome;   // XDG_CONFIG_HOME
    std::string dataHome;     // XDG_DATA_HOME
    std::string stateHome;    // XDG_STATE_HOME
    std::string runtimeDir;   // XDG_RUNTIME_DIR
    std::string socket;       // NUBBO_SOCKET
    unsigned uid = 0;
    std::string runtimeRoot = kRuntimeRoot;  // where per-user runtime folders live; a stand-in in tests

    // This process's variables and real user id.
    static Environment current();
};

// <config>/Nubbo, <data>/Nubbo, <state>/Nubbo; "" when neither the variable nor the home is usable.
std::string configFolder(const Environment& env);
std::string dataFolder(const Environment& env);
std::string stateFolder(const Environment& env);
// The folder for the socket and the locks: <runtime base>/nubbo, else <state>/Nubbo/run. The runtime base is
// XDG_RUNTIME_DIR when it is an absolute path to a folder, else <runtimeRoot>/<uid> when that is a folder
// owned by uid with mode 0700. NUBBO_SOCKET does not move it.
std::string runtimeFolder(const Environment& env);
// NUBBO_SOCKET when set, else <runtimeFolder>/nubbo.sock; "" when there is nowhere to put it.
std::string socketPath(const Environment& env);
// <home>/.nubbo/bin/nubbo-bridge
std::string launcherPath(std::string_view home);
// <home>/Library/Application Support/Nubbo
std::string legacySupportFolder(std::string_view home);

} // namespace nubbo::locations
