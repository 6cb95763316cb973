// What reading a command line and judging it costs on the event path, for every permission request: the
// reader and TrustEngine::decide (smart mode, the default lists: the danger test and the trusted test both
// run) on 1 KB and 64 KB commands of three shapes, a long pipeline, a long script of chained lines and a
// quote-heavy line. Reading is one pass, so the cost per KB should not grow with the size.
//
// usage: nubbo-bench-shell [--runs N] [--big-runs N]

#include "BenchSupport.h"
#include "approvals/ShellCommandReader.h"
#include "approvals/TrustEngine.h"
#include "settings/SettingsStore.h"

#include <QString>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace nubbo;
using namespace nubbo::bench;

namespace {

// The command cut at the last whole piece that keeps it within `bytes`.
QString grow(const std::string& head, const std::string& piece, const std::string& joiner, std::size_t bytes)
{
    std::string out = head;
    for (int i = 0; out.size() + joiner.size() + piece.size() + 8 <= bytes; ++i) {
        std::string next = piece;
        const std::string n = std::to_string(i);
        for (std::size_t at; (at = next.find('@')) != std::string::npos;)
            next.replace(at, 1, n);
        out += joiner + next;
    }
    return QString::fromStdString(out);
}

QString pipeline(std::size_t bytes)
{
    return grow("cat /var/log/nginx/access.log", R"(grep -E "GET /api/v@/[a-z]+" | awk '{print $1, $7}' | sort -k2)",
                " | ", bytes);
}

QString script(std::size_t bytes)
{
    return grow("set -e; cd /home/dev/project",
                "echo \"step @: module_@\" && make -C module_@ CFLAGS='-O2 -g' > build_@.log 2>&1 || "
                "{ echo \"failed: $?\"; exit 1; }",
                "\n", bytes);
}

QString quotes(std::size_t bytes)
{
    return grow("printf '%s\\n'",
                R"("a \"quoted\" string @ with $HOME" 'single quoted @ with \ backslashes' $'tab\there @' "${x:-d@}")",
                " ", bytes);
}

struct Case {
    std::string name;
    QString command;
    bool read;  // the reader alone, or decide()
    std::vector<Nanos> samples;
};

double percentileUs(std::vector<Nanos> samples, double p)
{
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const std::size_t rank = std::clamp<std::size_t>(std::size_t(p * double(samples.size()) + 0.999999), 1,
                                                     samples.size());
    return double(samples[rank - 1]) / 1e3;
}

} // namespace

int main(int argc, char** argv)
{
    const long runs = argNumber(argc, argv, "--runs", 3000);
    const long bigRuns = argNumber(argc, argv, "--big-runs", 300);
    const long warmup = argNumber(argc, argv, "--warmup", 20);

    const TrustSettings smart{ApprovalMode::smart, SettingsStore::defaultTrustedCommands(),
                              SettingsStore::defaultDangerousCommands(), false};
    std::vector<Case> cases;
    for (const bool read : {true, false})
        for (const std::size_t kb : {1, 64})
            for (const auto& [shape, make] : {std::pair{"pipeline", &pipeline}, std::pair{"script", &script},
                                              std::pair{"quotes", &quotes}})
                cases.push_back({std::string(read ? "read " : "decide ") + shape + " " + std::to_string(kb) + " KB",
                                 make(kb * 1024), read, {}});

    // Reading is pure: every run must see the same line.
    bool broken = false;
    for (const Case& c : cases) {
        const ShellLine line = ShellCommandReader::read(c.command);
        if (line.commands.isEmpty() || !line.certain()) {
            std::printf("  ! %s: read %lld commands, certain %d\n", c.name.c_str(), (long long)line.commands.size(),
                        int(line.certain()));
            broken = true;
        }
    }

    volatile qsizetype sink = 0;
    for (long r = 0; r < warmup + runs; ++r) {
        for (std::size_t k = 0; k < cases.size(); ++k) {
            Case& c = cases[(std::size_t(r) + k) % cases.size()];
            const bool big = c.command.size() > 4096;
            if (big && r >= warmup + bigRuns)
                continue;
            const Nanos t0 = nowNs();
            if (c.read)
                sink = sink + ShellCommandReader::read(c.command).commands.size();
            else
                sink = sink + qsizetype(TrustEngine::decide(c.command, smart));
            const Nanos t1 = nowNs();
            if (r >= warmup)
                c.samples.push_back(t1 - t0);
        }
    }

    std::printf("Shell command cost per permission request (smart mode, default lists)\n");
    std::printf("  %-28s %7s %8s %12s %12s %12s\n", "case", "runs", "bytes", "median us", "p99 us", "us per KB");
    std::vector<double> perKb;
    for (const Case& c : cases) {
        const double median = percentileUs(c.samples, 0.5);
        const double kb = double(c.command.toUtf8().size()) / 1024;
        perKb.push_back(median / kb);
        std::printf("  %-28s %7zu %8lld %12.1f %12.1f %12.2f\n", c.name.c_str(), c.samples.size(),
                    (long long)c.command.toUtf8().size(), median, percentileUs(c.samples, 0.99), median / kb);
    }
    // Linear: the 64 KB command costs about 64 times the 1 KB one; and a 64 KB decide stays within a frame.
    double worstGrowth = 0;
    double worstBigP99 = 0;
    for (std::size_t k = 0; k + 3 < cases.size(); k += 6)
        for (std::size_t s = 0; s < 3; ++s)
            worstGrowth = std::max(worstGrowth, perKb[k + 3 + s] / perKb[k + s]);
    for (const Case& c : cases)
        if (!c.read && c.command.size() > 4096)
            worstBigP99 = std::max(worstBigP99, percentileUs(c.samples, 0.99));
    std::printf("  cost per KB, 64 KB / 1 KB, worst  %6.2fx   goal about 1x (< 2x): %s\n", worstGrowth,
                worstGrowth > 0 && worstGrowth < 2 ? "met" : "NOT met");
    std::printf("  decide on 64 KB, worst p99       %6.0f us goal < 16000 us: %s\n\n", worstBigP99,
                worstBigP99 < 16000 ? "met" : "NOT met");
    return broken ? 1 : 0;
}
