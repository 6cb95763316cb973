// The folders the transcript locator searches, filled with any names and dates: it answers with one of the
// rollouts or chats there, only a file; given a session, one named for it or nothing; else the newest.
// Input: the session on the first line, then one entry a line: a date byte and a relative path.
#include "FuzzSupport.h"
#include "bridge/Narration.h"

#include <fcntl.h>
#include <functional>
#include <map>
#include <sys/stat.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Candidate {
    std::string relative;
    std::int64_t seconds;
};

// The path as a clean relative one (no empty, "." or ".." parts), or empty.
std::string cleanRelative(std::string_view path) {
    std::string out;
    int parts = 0;
    while (!path.empty() && parts < 6) {
        const auto slash = path.find('/');
        const auto part = path.substr(0, slash);
        path = slash == std::string_view::npos ? std::string_view{} : path.substr(slash + 1);
        if (part.empty() || part == "." || part == ".." || part.size() > 64 || part.find('\0') != std::string_view::npos)
            continue;
        if (!out.empty()) out += '/';
        out += part;
        ++parts;
    }
    return out;
}

bool endsWith(const std::string& s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string fileName(const std::string& relative) { return relative.substr(relative.rfind('/') + 1); }

// `own` tells whether a file name is the session's (empty: no session given).
void check(const std::optional<std::string>& found, const fs::path& root, const std::vector<Candidate>& files,
           std::string_view mustContain, const std::function<bool(const std::string&)>& own) {
    std::vector<const Candidate*> candidates;
    for (const auto& file : files)
        if (endsWith(file.relative, ".jsonl") && file.relative.find(mustContain) != std::string::npos)
            candidates.push_back(&file);
    if (own) std::erase_if(candidates, [&](const Candidate* c) { return !own(fileName(c->relative)); });
    if (candidates.empty()) {
        // Only a folder of that name could be found, and a folder is no transcript.
        if (found) {
            struct stat info {};
            if (::stat(found->c_str(), &info) != 0 || !S_ISREG(info.st_mode)) std::abort();
        }
        return;
    }
    const std::string prefix = root.string() + "/";
    if (!found || found->compare(0, prefix.size(), prefix) != 0) std::abort();
    const std::string relative = found->substr(prefix.size());
    const Candidate* chosen = nullptr;
    for (const auto* candidate : candidates)
        if (candidate->relative == relative) chosen = candidate;
    if (!chosen) std::abort();
    if (own) return;  // any file named for the session will do
    std::int64_t newest = INT64_MIN;
    for (const auto* candidate : candidates) newest = std::max(newest, candidate->seconds);
    if (chosen->seconds != newest) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    auto nextLine = [&input] {
        const auto end = input.find('\n');
        const auto line = input.substr(0, end);
        input = end == std::string_view::npos ? std::string_view{} : input.substr(end + 1);
        return line;
    };
    const std::string session(nextLine());
    if (session.find('\0') != std::string::npos) return 0;

    const auto home = nubbo::fuzz::freshFolder("search-home");
    const fs::path codexRoot = home / ".codex/sessions";
    const fs::path geminiRoot = home / ".gemini/tmp";
    fs::create_directories(codexRoot);
    fs::create_directories(geminiRoot);

    std::map<std::string, std::int64_t> written;
    for (int count = 0; !input.empty() && count < 16; ++count) {
        const auto line = nextLine();
        if (line.size() < 2) continue;
        const auto relative = cleanRelative(line.substr(1));
        if (relative.empty()) continue;
        const std::int64_t seconds = 1700000000 + std::int64_t(static_cast<unsigned char>(line[0])) * 1000;
        for (const auto& root : {codexRoot, geminiRoot}) {
            std::error_code error;
            const auto path = root / relative;
            fs::create_directories(path.parent_path(), error);
            if (error || fs::exists(path, error)) continue;
            { std::ofstream(path) << "{}\n"; }
            const timespec times[2] = {{seconds, 0}, {seconds, 0}};
            if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) continue;
            written[relative] = seconds;
        }
    }
    // A file turned into a folder by a later entry's path is no longer a file.
    std::vector<Candidate> files;
    for (const auto& [relative, seconds] : written)
        if (fs::is_regular_file(codexRoot / relative)) files.push_back({relative, seconds});

    std::function<bool(const std::string&)> codexOwn, geminiOwn;
    if (!session.empty()) {
        codexOwn = [&](const std::string& name) { return name.find(session) != std::string::npos; };
        geminiOwn = [&](const std::string& name) { return endsWith(name, "-" + session.substr(0, 8) + ".jsonl"); };
    }
    const nubbo::bridge::TranscriptHint hint{session, std::nullopt};
    check(nubbo::bridge::codexRolloutPath(home.string(), hint), codexRoot, files, "rollout-", codexOwn);
    check(nubbo::bridge::geminiChatPath(home.string(), hint), geminiRoot, files, "chats/session-", geminiOwn);
    return 0;
}
