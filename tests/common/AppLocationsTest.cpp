#include "common/AppLocations.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace nubbo::locations {
namespace {

namespace fs = std::filesystem;

// A throw-away folder holding a home, a runtime folder and a stand-in for /run/user.
class Scratch {
public:
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "nubbo-locations-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    std::string folder(const std::string& name, mode_t mode) const {
        const std::string path = root_ + "/" + name;
        fs::create_directories(path);
        ::chmod(path.c_str(), mode);
        return path;
    }
    const std::string& root() const { return root_; }

private:
    std::string root_;
};

TEST(AppLocations, EachFolderAndTheSocketFollowTheEnvironment) {
    Scratch scratch;
    const unsigned uid = ::getuid();
    const std::string home = scratch.folder("home", 0755);
    const std::string runtime = scratch.folder("xdg-runtime", 0700);
    // Stand-ins for /run/user: ours 0700, ours but 0755, and a folder named after another user (so not theirs).
    const std::string good = scratch.folder("good", 0755);
    scratch.folder("good/" + std::to_string(uid), 0700);
    const std::string open = scratch.folder("open", 0755);
    scratch.folder("open/" + std::to_string(uid), 0755);
    const std::string foreign = scratch.folder("foreign", 0755);
    scratch.folder("foreign/" + std::to_string(uid + 1), 0700);
    const std::string none = scratch.root() + "/none";

    const std::string config = home + "/.config/Nubbo", data = home + "/.local/share/Nubbo",
                      state = home + "/.local/state/Nubbo", stateRun = state + "/run";
    struct Case {
        const char* name;
        Environment env;
        std::string config, data, state, runtime, socket;
    };
    const auto env = [&](auto change) {
        Environment e;
        e.home = home;
        e.uid = uid;
        e.runtimeRoot = none;
        change(e);
        return e;
    };
    const std::vector<Case> cases = {
        {"defaults under the home, no runtime base", env([](Environment&) {}), config, data, state, stateRun,
         stateRun + "/nubbo.sock"},
        {"absolute XDG variables", env([&](Environment& e) {
             e.configHome = "/c", e.dataHome = "/d", e.stateHome = "/s", e.runtimeDir = runtime;
         }),
         "/c/Nubbo", "/d/Nubbo", "/s/Nubbo", runtime + "/nubbo", runtime + "/nubbo/nubbo.sock"},
        {"relative XDG variables count as unset", env([](Environment& e) {
             e.configHome = "c", e.dataHome = "d", e.stateHome = "s", e.runtimeDir = "r";
         }),
         config, data, state, stateRun, stateRun + "/nubbo.sock"},
        {"empty XDG variables count as unset", env([](Environment& e) { e.configHome = e.dataHome = e.stateHome = e.runtimeDir = ""; }),
         config, data, state, stateRun, stateRun + "/nubbo.sock"},
        {"a missing XDG_RUNTIME_DIR falls to /run/user/<uid>", env([&](Environment& e) {
             e.runtimeDir = none, e.runtimeRoot = good;
         }),
         config, data, state, good + "/" + std::to_string(uid) + "/nubbo",
         good + "/" + std::to_string(uid) + "/nubbo/nubbo.sock"},
        {"/run/user/<uid> open to others is not used", env([&](Environment& e) { e.runtimeRoot = open; }), config, data,
         state, stateRun, stateRun + "/nubbo.sock"},
        {"/run/user/<uid> of another owner is not used", env([&](Environment& e) { e.runtimeRoot = foreign, e.uid = uid + 1; }),
         config, data, state, stateRun, stateRun + "/nubbo.sock"},
        {"the state fallback follows XDG_STATE_HOME", env([](Environment& e) { e.stateHome = "/s"; }), config, data,
         "/s/Nubbo", "/s/Nubbo/run", "/s/Nubbo/run/nubbo.sock"},
        {"NUBBO_SOCKET names the socket, the locks stay", env([&](Environment& e) {
             e.socket = "/mnt/app.sock", e.runtimeDir = runtime;
         }),
         config, data, state, runtime + "/nubbo", "/mnt/app.sock"},
        {"no home and no variables: nowhere", env([](Environment& e) { e.home.clear(); }), "", "", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(configFolder(c.env), c.config);
        EXPECT_EQ(dataFolder(c.env), c.data);
        EXPECT_EQ(stateFolder(c.env), c.state);
        EXPECT_EQ(runtimeFolder(c.env), c.runtime);
        EXPECT_EQ(socketPath(c.env), c.socket);
    }
    EXPECT_EQ(legacySupportFolder("/home/u"), "/home/u/Library/Application Support/Nubbo");
}

} // namespace
} // namespace nubbo::locations
