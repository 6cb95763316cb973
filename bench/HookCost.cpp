// Per-hook cost: wall time of one non-decision nubbo-bridge run against a listening socket, side by side with
// /bin/true (the floor of any process start) and an equivalent Node.js hook script, interleaved in one run.
//
// usage: nubbo-bench-hook [--bridge PATH] [--node PATH --node-script PATH | --no-node] [--runs N] [--warmup N]

#include "BenchSupport.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>
#include <sys/stat.h>

using namespace nubbo::bench;

namespace {

// A Claude Code PreToolUse payload as the agent sends it, without a transcript path.
const char* kPayload = R"({
  "session_id": "3f6b2a10-8c4e-4d7a-9b21-5e0c7d9a1f42",
  "cwd": "/home/dev/project",
  "permission_mode": "default",
  "hook_event_name": "PreToolUse",
  "tool_name": "Bash",
  "tool_input": {
    "command": "npm test -- --watch=false",
    "description": "Run the test suite once"
  },
  "tool_use_id": "toolu_01Hx7Qd2WmTzR4bN8kYcP3sV"
}
)";

std::string payloadWithTranscript(const std::string& transcript)
{
    std::string p = kPayload;
    const std::string key = "\"cwd\"";
    p.insert(p.find(key), "\"transcript_path\": \"" + transcript + "\",\n  ");
    return p;
}

// A short conversation, a few KB, ending with prose then a tool call: the size a hook meets early in a session.
std::string smallTranscript()
{
    std::string t;
    for (int i = 0; i < 12; ++i) {
        t += R"({"type":"user","message":{"role":"user","content":"Please make the parser accept trailing commas and add a test for it."},"uuid":"u)" +
             std::to_string(i) + R"("})" "\n";
        t += R"({"type":"assistant","message":{"role":"assistant","content":[{"type":"text","text":"I will look at the parser first, then add a regression test for trailing commas."}]},"uuid":"a)" +
             std::to_string(i) + R"("})" "\n";
        t += R"({"type":"assistant","message":{"role":"assistant","content":[{"type":"tool_use","id":"toolu_)" + std::to_string(i) +
             R"(","name":"Bash","input":{"command":"npm test -- --watch=false"}}]}})" "\n";
        t += R"({"type":"user","message":{"role":"user","content":[{"type":"tool_result","tool_use_id":"toolu_)" + std::to_string(i) +
             R"(","content":"PASS src/parser.test.ts\nTests: 42 passed, 42 total"}]}})" "\n";
    }
    return t;
}

struct Case {
    std::string name;
    std::unique_ptr<Spawner> spawner;
    bool sendsLine = false;
    std::vector<Nanos> samples;
    long failures = 0;
    long linesMissing = 0;
    std::string lastLine;
};

Case makeCase(std::string name, std::unique_ptr<Spawner> spawner, bool sendsLine)
{
    Case c;
    c.name = std::move(name);
    c.spawner = std::move(spawner);
    c.sendsLine = sendsLine;
    return c;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string bridge = argValue(argc, argv, "--bridge", NUBBO_BENCH_BRIDGE);
    const bool withNode = !hasFlag(argc, argv, "--no-node");
    const std::string node = argValue(argc, argv, "--node", "/usr/bin/node");
    const std::string nodeScript = argValue(argc, argv, "--node-script", NUBBO_BENCH_NODE_SCRIPT);
    const long runs = argNumber(argc, argv, "--runs", 300);
    const long warmup = argNumber(argc, argv, "--warmup", 20);
    // Stops the measured loop early rather than run away on a slow machine.
    const Nanos budget = Nanos(argNumber(argc, argv, "--budget-s", 120)) * 1'000'000'000;

    TempDir home("nubbo-bench-hook");
    if (!home.ok()) {
        std::fprintf(stderr, "cannot create a temporary HOME\n");
        return 1;
    }
    // A login session's runtime folder, where the bridge looks first.
    const std::string runtime = home.path() + "/run";
    ::mkdir(runtime.c_str(), 0700);
    const std::string sock = runtime + "/nubbo/nubbo.sock";
    LineServer server(sock);
    if (!server.start())
        return 1;

    const std::string payload = home.path() + "/payload.json";
    const std::string transcript = home.path() + "/transcript.jsonl";
    const std::string payloadT = home.path() + "/payload-transcript.json";
    const std::string small = smallTranscript();
    if (!writeFile(payload, kPayload) || !writeFile(transcript, small) ||
        !writeFile(payloadT, payloadWithTranscript(transcript))) {
        std::fprintf(stderr, "cannot write the payload files\n");
        return 1;
    }

    const std::vector<std::string> env = {"HOME=" + home.path(), "XDG_RUNTIME_DIR=" + runtime, "PATH=/usr/bin:/bin",
                                          "LANG=C.UTF-8"};
    const std::vector<std::string> hookArgs = {"--source", "claude", "--event", "PreToolUse"};
    auto withArgs = [&](std::vector<std::string> head) {
        head.insert(head.end(), hookArgs.begin(), hookArgs.end());
        return head;
    };

    std::vector<Case> cases;
    cases.push_back(makeCase("/bin/true", std::make_unique<Spawner>(withArgs({"/bin/true"}), env, payload), false));
    cases.push_back(makeCase("nubbo-bridge", std::make_unique<Spawner>(withArgs({bridge}), env, payload), true));
    cases.push_back(makeCase("nubbo-bridge, " + std::to_string(small.size() / 1024) + " KB transcript",
                     std::make_unique<Spawner>(withArgs({bridge}), env, payloadT), true));
    if (withNode)
        cases.push_back(makeCase("node node-hook.js", std::make_unique<Spawner>(withArgs({node, nodeScript}), env, payload), true));

    auto once = [&](Case& c, bool record) {
        const std::uint64_t before = server.lines();
        const auto t = c.spawner->run();
        if (!t) {
            ++c.failures;
            return;
        }
        // Each run's line is collected before the next starts, so runs never queue behind each other.
        if (c.sendsLine) {
            if (server.waitForLines(before + 1, std::chrono::milliseconds(2000)))
                c.lastLine = server.lastLine();
            else
                ++c.linesMissing;
        }
        if (record)
            c.samples.push_back(*t);
    };

    for (long r = 0; r < warmup; ++r)
        for (auto& c : cases)
            once(c, false);
    for (auto& c : cases)
        c.linesMissing = 0;

    const Nanos start = nowNs();
    long done = 0;
    for (long r = 0; r < runs; ++r) {
        // Rotating the order spreads any drift over every case alike.
        for (std::size_t k = 0; k < cases.size(); ++k)
            once(cases[(std::size_t(r) + k) % cases.size()], true);
        done = r + 1;
        if (nowNs() - start > budget)
            break;
    }

    std::printf("Per-hook cost: one `--source claude --event PreToolUse` run, socket listening\n");
    std::printf("  %ld interleaved rounds after %ld warm-up rounds%s\n", done, warmup,
                done < runs ? " (time budget reached)" : "");
    printHeader();
    std::vector<Stats> stats;
    bool broken = false;
    for (auto& c : cases) {
        stats.push_back(summarize(c.samples));
        printRow(c.name, stats.back());
        if (c.failures || c.linesMissing) {
            std::printf("    ! %s: %ld runs failed, %ld lines not received\n", c.name.c_str(), c.failures, c.linesMissing);
            broken = true;
        }
    }
    const double bridgeOverTrue = ratio(stats[1], stats[0]);
    std::printf("  bridge / true          %6.2fx   goal <= 3x: %s\n", bridgeOverTrue,
                bridgeOverTrue > 0 && bridgeOverTrue <= 3.0 ? "met" : "NOT met");
    if (withNode) {
        const double nodeOverBridge = ratio(stats[3], stats[1]);
        std::printf("  node / bridge          %6.1fx   goal >= 20x: %s\n", nodeOverBridge,
                    nodeOverBridge >= 20.0 ? "met" : "NOT met");
    } else {
        std::printf("  node / bridge          skipped (no node)\n");
    }
    for (std::size_t k = 1; k < 3; ++k)
        std::printf("  sent by %s: %s\n", cases[k].name.c_str(), cases[k].lastLine.substr(0, 240).c_str());
    std::printf("\n");
    return broken ? 1 : 0;
}
