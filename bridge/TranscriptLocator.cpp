#include "Narration.h"

#include <algorithm>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace nubbo::bridge {
namespace {

struct ModificationTime {
    std::int64_t seconds = 0;
    long nanoseconds = 0;
    auto operator<=>(const ModificationTime&) const = default;
};

// An unreadable date loses against every real one.
constexpr ModificationTime kDistantPast{INT64_MIN, 0};

struct Entry {
    std::string name;
    unsigned char type;
};

// Candidates are chosen on their relative path; a hook fires often, so nothing is stat-ed unless it passes
// the name filter or its type is unknown, and directories are opened relative to their parent.
class NewestFileSearch {
public:
    NewestFileSearch(std::string root, std::string_view mustContain, std::optional<std::string_view> session)
        : root_(std::move(root)), mustContain_(mustContain), session_(session) {}

    std::optional<std::string> run() {
        const int fd = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return std::nullopt;
        std::string relative;
        walk(fd, relative);
        if (shortcut_) return root_ + "/" + *shortcut_;
        if (newest_) return root_ + "/" + *newest_;
        return std::nullopt;
    }

private:
    // Depth-first, an entry before its contents, siblings in byte order of their names, so the outcome does
    // not depend on the file system's directory order. Takes ownership of dirFd.
    void walk(int dirFd, std::string& relative) {
        DIR* dir = ::fdopendir(dirFd);
        if (!dir) {
            ::close(dirFd);
            return;
        }
        std::vector<Entry> entries;
        while (const dirent* e = ::readdir(dir)) {
            const std::string_view name = e->d_name;
            if (name == "." || name == "..") continue;
            entries.push_back({std::string(name), e->d_type});
        }
        std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });

        const int fd = ::dirfd(dir);
        const auto parentLength = relative.size();
        for (auto& entry : entries) {
            if (shortcut_) break;
            if (parentLength > 0) relative += '/';
            relative += entry.name;
            consider(fd, entry.name, relative);
            if (!shortcut_ && isDirectory(fd, entry)) {
                // O_NOFOLLOW: a symlinked directory is listed but never entered, so links cannot loop.
                const int child = ::openat(fd, entry.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
                if (child >= 0) walk(child, relative);
            }
            relative.resize(parentLength);
        }
        ::closedir(dir);
    }

    void consider(int dirFd, const std::string& name, const std::string& relative) {
        constexpr std::string_view kSuffix = ".jsonl";
        if (relative.size() < kSuffix.size() || relative.compare(relative.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0)
            return;
        if (relative.find(mustContain_) == std::string::npos) return;
        ModificationTime time = kDistantPast;
        struct stat info {};
        if (::fstatat(dirFd, name.c_str(), &info, 0) == 0) {
            // A folder named like a transcript is none: it cannot be read, and its fresh date (or the session
            // in its name) would hide the real file.
            if (!S_ISREG(info.st_mode)) return;
            time = {static_cast<std::int64_t>(info.st_mtim.tv_sec), info.st_mtim.tv_nsec};
        }
        if (session_ && !session_->empty() && relative.find(*session_) != std::string::npos) {
            shortcut_ = relative;
            return;
        }
        if (!newest_ || time > newestTime_) {
            newest_ = relative;
            newestTime_ = time;
        }
    }

    static bool isDirectory(int dirFd, const Entry& entry) {
        if (entry.type == DT_DIR) return true;
        if (entry.type != DT_UNKNOWN) return false;
        struct stat info {};
        return ::fstatat(dirFd, entry.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
    }

    std::string root_;
    std::string_view mustContain_;
    std::optional<std::string_view> session_;
    std::optional<std::string> shortcut_;
    std::optional<std::string> newest_;
    ModificationTime newestTime_ = kDistantPast;
};

} // namespace

std::optional<std::string> codexRolloutPath(const std::string& home, const std::optional<std::string>& session) {
    std::optional<std::string_view> wanted;
    if (session) wanted = *session;
    return NewestFileSearch(home + "/.codex/sessions", "rollout-", wanted).run();
}

std::optional<std::string> kimiWirePath(const std::string& kimiHome, const std::string& session) {
    // A session id names one folder; anything that could leave the sessions folder is no id.
    if (session.empty() || session == "." || session == ".." || session.find('/') != std::string::npos)
        return std::nullopt;
    const std::string sessions = kimiHome + "/sessions";
    DIR* dir = ::opendir(sessions.c_str());
    if (!dir) return std::nullopt;
    std::optional<std::string> found;
    // One folder per workspace, each holding its sessions by id.
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name = e->d_name;
        if (name == "." || name == "..") continue;
        const std::string wire = sessions + "/" + std::string(name) + "/" + session + "/agents/main/wire.jsonl";
        struct stat info {};
        if (::stat(wire.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            found = wire;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

std::optional<std::string> geminiChatPath(const std::string& home) {
    return NewestFileSearch(home + "/.gemini/tmp", "chats/session-", std::nullopt).run();
}

} // namespace nubbo::bridge
