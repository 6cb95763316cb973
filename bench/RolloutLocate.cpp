// Locating the newest Codex rollout among many: codexRolloutPath over a dated tree of rollout files with
// distinct modification times, without a session, with a session that names a file (the shortcut) and with
// one that names none. Baseline: a bare readdir + fstatat walk of the same tree in the same run.
//
// usage: nubbo-bench-rollout [--files N] [--per-day N] [--runs N]

#include "BenchSupport.h"
#include "bridge/Narration.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace nubbo::bench;
namespace chr = std::chrono;

namespace {

std::string uuid(std::mt19937_64& rng)
{
    const std::uint64_t a = rng(), b = rng();
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08x-%04x-%04x-%04x-%012llx", unsigned(a >> 32), unsigned(a >> 16) & 0xffff,
                  unsigned(a) & 0xffff, unsigned(b >> 48), static_cast<unsigned long long>(b & 0xffffffffffffULL));
    return buf;
}

struct Rollout {
    std::string path;
    std::string session;
};

// Files spread over consecutive days, per-day files apart by minutes; modification times follow the names,
// except one early session that was resumed last and so holds the newest time: the answer to find.
std::optional<std::vector<Rollout>> makeTree(const std::string& home, long files, long perDay, std::size_t& newest)
{
    std::mt19937_64 rng(20260302);
    std::vector<Rollout> out;
    const chr::sys_days first = chr::year{2025} / chr::June / 1;
    const std::string root = home + "/.codex/sessions";
    std::string lastDir;
    for (long i = 0; i < files; ++i) {
        const chr::sys_days day = first + chr::days{i / perDay};
        const chr::year_month_day ymd{day};
        const long secondOfDay = 8 * 3600 + (i % perDay) * 900 + long(rng() % 600);
        char dir[64], name[128];
        std::snprintf(dir, sizeof dir, "/%04d/%02u/%02u", int(ymd.year()), unsigned(ymd.month()), unsigned(ymd.day()));
        Rollout r;
        r.session = uuid(rng);
        std::snprintf(name, sizeof name, "/rollout-%04d-%02u-%02uT%02ld-%02ld-%02ld-%s.jsonl", int(ymd.year()),
                      unsigned(ymd.month()), unsigned(ymd.day()), secondOfDay / 3600, secondOfDay / 60 % 60,
                      secondOfDay % 60, r.session.c_str());
        r.path = root + dir + name;
        if (lastDir != dir && !makeParents(r.path))
            return std::nullopt;
        lastDir = dir;
        const std::string line = R"({"timestamp":"2025-06-01T08:00:00.000Z","type":"session_meta","payload":{"id":")" +
                                 r.session + R"(","cwd":"/home/dev/project","originator":"codex_cli_rs","cli_version":"0.17.0"}})" "\n";
        const int fd = ::open(r.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            return std::nullopt;
        const bool wrote = ::write(fd, line.data(), line.size()) == ssize_t(line.size());
        ::close(fd);
        const auto secs = chr::duration_cast<chr::seconds>(day.time_since_epoch()).count() + secondOfDay;
        timespec times[2] = {{secs, 0}, {secs, 0}};
        if (!wrote || ::utimensat(AT_FDCWD, r.path.c_str(), times, 0) != 0)
            return std::nullopt;
        out.push_back(std::move(r));
    }
    newest = std::size_t(files) / 7;
    struct stat st{};
    if (::stat(out.back().path.c_str(), &st) != 0)
        return std::nullopt;
    timespec resumed[2] = {{st.st_mtim.tv_sec + 3600, 0}, {st.st_mtim.tv_sec + 3600, 0}};
    if (::utimensat(AT_FDCWD, out[newest].path.c_str(), resumed, 0) != 0)
        return std::nullopt;
    return out;
}

// The least work any answer needs: visit every entry once and read the date of each rollout.
void rawWalk(int dirFd, const std::string& rel, timespec& best, std::string& bestPath)
{
    DIR* d = ::fdopendir(dirFd);
    if (!d) {
        ::close(dirFd);
        return;
    }
    while (const dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.' && (e->d_name[1] == '\0' || (e->d_name[1] == '.' && e->d_name[2] == '\0')))
            continue;
        struct stat st{};
        if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            const int sub = ::openat(::dirfd(d), e->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (sub >= 0)
                rawWalk(sub, rel + "/" + e->d_name, best, bestPath);
            continue;
        }
        const std::size_t len = std::strlen(e->d_name);
        if (len < 6 || std::strcmp(e->d_name + len - 6, ".jsonl") != 0 || !std::strstr(e->d_name, "rollout-"))
            continue;
        if (bestPath.empty() || st.st_mtim.tv_sec > best.tv_sec ||
            (st.st_mtim.tv_sec == best.tv_sec && st.st_mtim.tv_nsec > best.tv_nsec)) {
            best = st.st_mtim;
            bestPath = rel + "/" + e->d_name;
        }
    }
    ::closedir(d);
}

std::optional<std::string> rawNewest(const std::string& root)
{
    const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    timespec best{};
    std::string path;
    rawWalk(fd, root, best, path);
    if (path.empty())
        return std::nullopt;
    return path;
}

} // namespace

int main(int argc, char** argv)
{
    const long files = argNumber(argc, argv, "--files", 10000);
    const long perDay = argNumber(argc, argv, "--per-day", 40);
    const long runs = argNumber(argc, argv, "--runs", 100);
    const long warmup = argNumber(argc, argv, "--warmup", 5);
    const Nanos budget = Nanos(argNumber(argc, argv, "--budget-s", 120)) * 1'000'000'000;

    TempDir home("nubbo-bench-rollout");
    if (!home.ok()) {
        std::fprintf(stderr, "cannot create a temporary HOME\n");
        return 1;
    }
    std::size_t newestIndex = 0;
    const Nanos genStart = nowNs();
    const auto tree = makeTree(home.path(), files, perDay, newestIndex);
    if (!tree) {
        std::fprintf(stderr, "cannot create the rollout tree\n");
        return 1;
    }
    const double genSeconds = double(nowNs() - genStart) / 1e9;
    const std::string& expected = (*tree)[newestIndex].path;
    const std::string root = home.path() + "/.codex/sessions";

    // Sessions for the shortcut, drawn across the whole tree: where a file sits in enumeration order decides
    // how far the walk goes before it matches.
    std::mt19937_64 pick(7);
    std::vector<std::size_t> sessions;
    for (long i = 0; i < runs + warmup; ++i)
        sessions.push_back(std::size_t(pick() % tree->size()));
    const std::string unknown = "00000000-0000-7000-8000-000000000000";

    enum Kind { Raw, Newest, Shortcut, NoMatch };
    const char* names[] = {"raw walk: readdir + fstatat (baseline)", "codexRolloutPath, no session",
                           "codexRolloutPath, matching session", "codexRolloutPath, unknown session"};
    std::vector<Nanos> samples[4];
    long wrong[4] = {0, 0, 0, 0};
    const Nanos start = nowNs();
    long done = 0;
    for (long r = 0; r < warmup + runs; ++r) {
        for (int k = 0; k < 4; ++k) {
            const Kind kind = Kind((r + k) % 4);
            std::optional<std::string> got;
            std::string want = expected;
            const Nanos t0 = nowNs();
            switch (kind) {
            case Raw: got = rawNewest(root); break;
            case Newest: got = nubbo::bridge::codexRolloutPath(home.path(), {}); break;
            case Shortcut: {
                const Rollout& target = (*tree)[sessions[std::size_t(r)]];
                want = target.path;
                got = nubbo::bridge::codexRolloutPath(home.path(), {target.session, {}});
                break;
            }
            case NoMatch:
                // A session named but not found reads no one else's rollout.
                want.clear();
                got = nubbo::bridge::codexRolloutPath(home.path(), {unknown, {}});
                break;
            }
            const Nanos t1 = nowNs();
            if (got.value_or("") != want)
                ++wrong[kind];
            if (r >= warmup)
                samples[kind].push_back(t1 - t0);
        }
        done = r + 1 - warmup;
        if (r >= warmup && nowNs() - start > budget)
            break;
    }

    std::printf("Newest Codex rollout among %ld files (%ld per day folder; tree written in %.1f s)\n", files, perDay,
                genSeconds);
    std::printf("  %ld interleaved rounds after %ld warm-up rounds%s\n", done, warmup,
                done < runs ? " (time budget reached)" : "");
    printHeader();
    Stats st[4];
    bool broken = false;
    for (int k = 0; k < 4; ++k) {
        st[k] = summarize(samples[k]);
        printRow(names[k], st[k]);
        if (wrong[k]) {
            std::printf("    ! %s: %ld of %ld answers were not the expected file\n", names[k], wrong[k], done + warmup);
            broken = true;
        }
    }
    std::printf("  no session: %.2f ms, goal < 50 ms: %s;  %.2fx the raw walk\n", st[Newest].medianMs,
                st[Newest].runs && st[Newest].medianMs < 50 ? "met" : "NOT met", ratio(st[Newest], st[Raw]));
    std::printf("  matching session: %.2fx the no-session search\n\n", ratio(st[Shortcut], st[Newest]));
    return broken ? 1 : 0;
}
