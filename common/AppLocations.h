// Where the app keeps its files, relative to the user's home. The app, the bridge and the OpenCode plug-in
// all find the socket from here, so they cannot disagree.
#pragma once

#include <string>
#include <string_view>

namespace nubbo::locations {

// The app's own folder: logs, backups, pictures and the socket.
inline constexpr char kSupportFolder[] = "Library/Application Support/Nubbo";
inline constexpr char kSocketFile[] = "nubbo.sock";

// "Library/Application Support/Nubbo/nubbo.sock"
std::string socketInHome();
// <home>/Library/Application Support/Nubbo/nubbo.sock
std::string socketPath(std::string_view home);

} // namespace nubbo::locations
