// Narration cost against transcript size: latestAssistantText on a small and a very large Claude transcript
// (in process, page cache warm and dropped), and whole bridge runs whose PostToolUse payload points at each.
// The small transcript is the baseline; the goal is a ratio of about 1.
//
// usage: nubbo-bench-narration [--bridge PATH] [--small-kb N] [--big-mb N] [--runs N] [--process-runs N]

#include "BenchSupport.h"
#include "bridge/Narration.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>
#include <sys/stat.h>

#include <fcntl.h>
#include <unistd.h>

using namespace nubbo::bench;

namespace {

// Deterministic sizes for tool output, so both transcripts have the same mix of line lengths.
struct Lcg {
    std::uint64_t state = 0x2545F4914F6CDD1DULL;
    std::uint32_t next() { return std::uint32_t((state = state * 6364136223846793005ULL + 1442695040888963407ULL) >> 33); }
};

void appendTurn(std::string& out, std::uint64_t i, Lcg& rng)
{
    const std::string n = std::to_string(i);
    out += R"({"parentUuid":"p)" + n + R"(","type":"user","message":{"role":"user","content":"Now make the lexer report the column of the first bad token and keep the old message for the rest."},"uuid":"u)" + n + R"(","timestamp":"2026-03-02T10:15:00.000Z"})" "\n";
    out += R"({"parentUuid":"u)" + n + R"(","type":"assistant","message":{"id":"msg_)" + n + R"(","role":"assistant","model":"model-x","content":[{"type":"text","text":"I'll start with the lexer's error path: it already tracks the line, so the column is a small change. Then I will update the tests that compare messages."}],"usage":{"input_tokens":1204,"output_tokens":88}},"uuid":"a)" + n + R"("})" "\n";
    out += R"({"parentUuid":"a)" + n + R"(","type":"assistant","message":{"id":"msg_)" + n + R"(b","role":"assistant","content":[{"type":"tool_use","id":"toolu_)" + n + R"(","name":"Read","input":{"file_path":"/home/dev/project/src/lexer.ts"}}]},"uuid":"b)" + n + R"("})" "\n";
    // Tool results dominate real transcripts: file contents and command output of a few hundred bytes to KBs.
    std::string body;
    const std::uint32_t len = 200 + rng.next() % 6000;
    while (body.size() < len)
        body += "export function nextToken(src: string, pos: number): Token { return scan(src, pos); }\\n";
    out += R"({"parentUuid":"b)" + n + R"(","type":"user","message":{"role":"user","content":[{"type":"tool_result","tool_use_id":"toolu_)" + n + R"(","content":")" + body + R"("}]},"uuid":"r)" + n + R"("})" "\n";
}

// The newest messages, the same in both files: prose, then a tool call and its result after it.
const char* kTail =
    R"({"type":"assistant","message":{"role":"assistant","content":[{"type":"text","text":"The lexer now reports the column of the first bad token. I kept the old message for every other error."}]},"uuid":"z1"})" "\n"
    R"({"type":"assistant","message":{"role":"assistant","content":[{"type":"tool_use","id":"toolu_z","name":"Bash","input":{"command":"npm test -- --watch=false"}}]},"uuid":"z2"})" "\n"
    R"({"type":"user","message":{"role":"user","content":[{"type":"tool_result","tool_use_id":"toolu_z","content":"Tests: 57 passed, 57 total"}]},"uuid":"z3"})" "\n";

bool writeTranscript(const std::string& path, std::uint64_t targetBytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    Lcg rng;
    std::string chunk;
    std::uint64_t written = 0;
    std::uint64_t turn = 0;
    const std::uint64_t tailSize = std::char_traits<char>::length(kTail);
    bool ok = true;
    std::string next;
    while (ok) {
        next.clear();
        appendTurn(next, turn++, rng);
        if (written + chunk.size() + next.size() + tailSize > targetBytes)
            break;
        chunk += next;
        if (chunk.size() >= (1u << 20)) {
            ok = ::write(fd, chunk.data(), chunk.size()) == ssize_t(chunk.size());
            written += chunk.size();
            chunk.clear();
        }
    }
    // Short prompts fill the gap the last whole turn left, so the file lands within a line of its target size.
    const std::string filler = R"({"type":"user","message":{"role":"user","content":"ok, go on"}})" "\n";
    while (written + chunk.size() + filler.size() + tailSize <= targetBytes)
        chunk += filler;
    chunk += kTail;
    ok = ok && ::write(fd, chunk.data(), chunk.size()) == ssize_t(chunk.size());
    // Clean pages can be dropped from the page cache for the cold runs.
    ok = ok && ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

void dropCache(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

std::uint64_t fileSize(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    const off_t end = ::lseek(fd, 0, SEEK_END);
    ::close(fd);
    return end > 0 ? std::uint64_t(end) : 0;
}

std::string humanSize(std::uint64_t bytes)
{
    char buf[32];
    if (bytes >= (1u << 20))
        std::snprintf(buf, sizeof buf, "%.0f MB", double(bytes) / (1 << 20));
    else
        std::snprintf(buf, sizeof buf, "%.0f KB", double(bytes) / 1024);
    return buf;
}

const char* kPostPayload = R"({
  "session_id": "3f6b2a10-8c4e-4d7a-9b21-5e0c7d9a1f42",
  "transcript_path": "@TRANSCRIPT@",
  "cwd": "/home/dev/project",
  "permission_mode": "default",
  "hook_event_name": "PostToolUse",
  "tool_name": "Bash",
  "tool_input": {"command": "npm test -- --watch=false", "description": "Run the test suite once"},
  "tool_response": {"stdout": "Tests: 57 passed, 57 total", "stderr": "", "interrupted": false, "isImage": false},
  "tool_use_id": "toolu_01Hx7Qd2WmTzR4bN8kYcP3sV"
}
)";

std::string postPayload(const std::string& transcript)
{
    std::string p = kPostPayload;
    const std::string mark = "@TRANSCRIPT@";
    if (transcript.empty())
        p.erase(p.find("  \"transcript_path\""), p.find("\"cwd\"") - p.find("  \"transcript_path\"") - 2);
    else
        p.replace(p.find(mark), mark.size(), transcript);
    return p;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string bridge = argValue(argc, argv, "--bridge", NUBBO_BENCH_BRIDGE);
    const std::uint64_t smallBytes = std::uint64_t(argNumber(argc, argv, "--small-kb", 100)) * 1024;
    const std::uint64_t bigBytes = std::uint64_t(argNumber(argc, argv, "--big-mb", 200)) << 20;
    const long runs = argNumber(argc, argv, "--runs", 200);
    const long processRuns = argNumber(argc, argv, "--process-runs", 150);
    const long warmup = argNumber(argc, argv, "--warmup", 10);

    TempDir home("nubbo-bench-narration");
    if (!home.ok()) {
        std::fprintf(stderr, "cannot create a temporary folder\n");
        return 1;
    }
    if (freeBytes(home.path()) < bigBytes + (256u << 20)) {
        std::printf("Narration cost: skipped, %s free is not enough for the %s transcript\n\n",
                    humanSize(freeBytes(home.path())).c_str(), humanSize(bigBytes).c_str());
        return 0;
    }
    const std::string small = home.path() + "/small.jsonl";
    const std::string big = home.path() + "/big.jsonl";
    const Nanos genStart = nowNs();
    if (!writeTranscript(small, smallBytes) || !writeTranscript(big, bigBytes)) {
        std::fprintf(stderr, "cannot write the transcripts\n");
        return 1;
    }
    const double genSeconds = double(nowNs() - genStart) / 1e9;
    const std::string smallName = humanSize(fileSize(small));
    const std::string bigName = humanSize(fileSize(big));

    // Both files end alike, so both calls must find the same text.
    const auto smallText = nubbo::bridge::latestAssistantText(small);
    const auto bigText = nubbo::bridge::latestAssistantText(big);
    bool broken = false;
    if (!smallText || !bigText || *smallText != *bigText) {
        std::printf("  ! latestAssistantText: narration missing or different between the two transcripts\n");
        broken = true;
    }

    struct InProcess {
        std::string name;
        std::string path;
        bool cold;
        std::vector<Nanos> samples;
    };
    std::vector<InProcess> calls = {
        {"latestAssistantText " + smallName, small, false, {}},
        {"latestAssistantText " + bigName, big, false, {}},
        {"latestAssistantText " + smallName + ", cold cache", small, true, {}},
        {"latestAssistantText " + bigName + ", cold cache", big, true, {}},
    };
    for (long r = 0; r < warmup + runs; ++r) {
        for (std::size_t k = 0; k < calls.size(); ++k) {
            auto& c = calls[(std::size_t(r) + k) % calls.size()];
            if (c.cold)
                dropCache(c.path);
            const Nanos t0 = nowNs();
            const auto text = nubbo::bridge::latestAssistantText(c.path);
            const Nanos t1 = nowNs();
            if (!text && !broken) {
                std::printf("  ! latestAssistantText found nothing in %s\n", c.path.c_str());
                broken = true;
            }
            if (r >= warmup)
                c.samples.push_back(t1 - t0);
        }
    }

    // Whole bridge runs: the app's socket is listening, as it would be.
    const std::string runtime = home.path() + "/run";
    ::mkdir(runtime.c_str(), 0700);
    const std::string sock = runtime + "/nubbo/nubbo.sock";
    LineServer server(sock);
    if (!server.start())
        return 1;
    const std::string env0 = "HOME=" + home.path();
    const std::vector<std::string> env = {env0, "XDG_RUNTIME_DIR=" + runtime, "PATH=/usr/bin:/bin", "LANG=C.UTF-8"};
    const std::vector<std::string> args = {bridge, "--source", "claude", "--event", "PostToolUse"};
    struct Proc {
        std::string name;
        std::unique_ptr<Spawner> spawner;
        std::vector<Nanos> samples;
        long failures = 0;
        std::string lastLine;
    };
    std::vector<Proc> procs;
    const std::string payloads[3] = {home.path() + "/none.json", home.path() + "/small.json", home.path() + "/big.json"};
    if (!writeFile(payloads[0], postPayload("")) || !writeFile(payloads[1], postPayload(small)) ||
        !writeFile(payloads[2], postPayload(big)))
        return 1;
    const std::string procNames[3] = {"bridge PostToolUse, no transcript", "bridge PostToolUse, " + smallName,
                                      "bridge PostToolUse, " + bigName};
    for (int i = 0; i < 3; ++i) {
        Proc p;
        p.name = procNames[i];
        p.spawner = std::make_unique<Spawner>(args, env, payloads[i]);
        procs.push_back(std::move(p));
    }
    for (long r = 0; r < warmup + processRuns; ++r) {
        for (std::size_t k = 0; k < procs.size(); ++k) {
            auto& p = procs[(std::size_t(r) + k) % procs.size()];
            const std::uint64_t before = server.lines();
            const auto t = p.spawner->run();
            if (!t || !server.waitForLines(before + 1, std::chrono::milliseconds(2000))) {
                ++p.failures;
                continue;
            }
            p.lastLine = server.lastLine();
            if (r >= warmup)
                p.samples.push_back(*t);
        }
    }
    server.stop();

    std::printf("Narration cost against transcript size (transcripts written in %.1f s)\n", genSeconds);
    std::printf("  %ld interleaved in-process calls and %ld interleaved bridge runs per case\n", runs, processRuns);
    printHeader();
    std::vector<Stats> cs;
    for (auto& c : calls) {
        cs.push_back(summarize(c.samples));
        printRow(c.name, cs.back());
    }
    std::vector<Stats> ps;
    for (auto& p : procs) {
        ps.push_back(summarize(p.samples));
        printRow(p.name, ps.back());
        if (p.failures) {
            std::printf("    ! %s: %ld runs failed or sent no line\n", p.name.c_str(), p.failures);
            broken = true;
        }
    }
    auto verdict = [](double r) { return r > 0 && r < 1.5 ? "met" : "NOT met"; };
    const double warmRatio = ratio(cs[1], cs[0]);
    const double coldRatio = ratio(cs[3], cs[2]);
    const double procRatio = ratio(ps[2], ps[1]);
    std::printf("  %s / %s, in process, warm   %6.2fx   goal about 1x (< 1.5x): %s\n", bigName.c_str(),
                smallName.c_str(), warmRatio, verdict(warmRatio));
    std::printf("  %s / %s, in process, cold   %6.2fx   goal about 1x (< 1.5x): %s\n", bigName.c_str(),
                smallName.c_str(), coldRatio, verdict(coldRatio));
    std::printf("  %s / %s, bridge run         %6.2fx   goal about 1x (< 1.5x): %s\n", bigName.c_str(),
                smallName.c_str(), procRatio, verdict(procRatio));
    std::printf("  narration found: %s\n", smallText ? smallText->c_str() : "(none)");
    if (!procs[2].lastLine.empty())
        std::printf("  sent by the bridge (%s): %s\n", bigName.c_str(), procs[2].lastLine.substr(0, 300).c_str());
    for (std::size_t i = 1; i < procs.size(); ++i)
        if (procs[i].lastLine.find("\"say\"") == std::string::npos) {
            std::printf("    ! %s: the record carried no \"say\"\n", procs[i].name.c_str());
            broken = true;
        }
    std::printf("\n");
    return broken ? 1 : 0;
}
