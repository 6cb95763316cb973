#include "bridge/Narration.h"

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

// What the file name of a session's own transcript holds.
struct OwnName {
    std::string part;
    bool atEnd = false;  // the name ends with it, rather than merely holding it
    bool matches(std::string_view name) const {
        if (!atEnd) return name.find(part) != std::string_view::npos;
        return name.size() >= part.size() && name.compare(name.size() - part.size(), part.size(), part) == 0;
    }
};

// Candidates are chosen on their relative path; a hook fires often, so nothing is stat-ed unless it passes
// the name filter or its type is unknown, and directories are opened relative to their parent. With a
// session to find, the first file named for it is the answer and no other file stands in for it.
class TranscriptSearch {
public:
    TranscriptSearch(std::string root, std::string_view mustContain, std::optional<OwnName> own)
        : root_(std::move(root)), mustContain_(mustContain), own_(std::move(own)) {}

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
        if (own_ && !own_->matches(name)) return;
        ModificationTime time = kDistantPast;
        struct stat info {};
        if (::fstatat(dirFd, name.c_str(), &info, 0) == 0) {
            // A folder named like a transcript is none: it cannot be read, and its fresh date (or the session
            // in its name) would hide the real file.
            if (!S_ISREG(info.st_mode)) return;
            time = {static_cast<std::int64_t>(info.st_mtim.tv_sec), info.st_mtim.tv_nsec};
        }
        if (own_) {
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
    std::optional<OwnName> own_;
    std::optional<std::string> shortcut_;
    std::optional<std::string> newest_;
    ModificationTime newestTime_ = kDistantPast;
};

bool given(const std::optional<std::string>& text) { return text && !text->empty(); }

// Where the hint leads before any search: the transcript the agent named, when it is there.
std::optional<std::string> namedTranscript(const TranscriptHint& hint) {
    struct stat info {};
    if (given(hint.transcriptPath) && ::stat(hint.transcriptPath->c_str(), &info) == 0 && S_ISREG(info.st_mode))
        return hint.transcriptPath;
    return std::nullopt;
}

std::optional<std::string> searchFor(const TranscriptHint& hint, std::string root, std::string_view mustContain,
                                     std::optional<OwnName> own) {
    // A named transcript that is not there (yet) is still the session's: no other file is read instead.
    if (!own && given(hint.transcriptPath)) return std::nullopt;
    return TranscriptSearch(std::move(root), mustContain, std::move(own)).run();
}

} // namespace

std::optional<std::string> codexRolloutPath(const std::string& home, const TranscriptHint& hint) {
    if (auto named = namedTranscript(hint)) return named;
    std::optional<OwnName> own;
    if (given(hint.sessionId)) own = OwnName{*hint.sessionId};
    return searchFor(hint, home + "/.codex/sessions", "rollout-", std::move(own));
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

std::optional<std::string> geminiChatPath(const std::string& home, const TranscriptHint& hint) {
    if (auto named = namedTranscript(hint)) return named;
    std::optional<OwnName> own;
    if (given(hint.sessionId)) own = OwnName{"-" + hint.sessionId->substr(0, 8) + ".jsonl", true};
    return searchFor(hint, home + "/.gemini/tmp", "chats/session-", std::move(own));
}

} // namespace nubbo::bridge
