// Hook payloads captured from the real agents, fed through nubbo-bridge; the expected records were read off
// the captures by hand.
#include "BridgeHarness.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

using nlohmann::json;
using namespace nlohmann::literals;
using namespace nubbo::test;
using namespace std::chrono_literals;

namespace {

// How one capture is replayed: the hook's command line and the bytes it got on stdin.
struct Invocation {
    std::vector<std::string> args;
    std::string stdinBytes;
    json capture;  // the capture's own record (argv, printed/replied), when it has one
};

// claude/ and qwen/: the file is the raw stdin payload.
Invocation rawPayload(const std::string& file, const char* source, const char* event) {
    return {{"--source", source, "--event", event}, readFile(fixturePath(file)), json()};
}

// codex/ and gemini/: {"argv": [...], "stdin": {...}, "printed": ...}.
Invocation wrapped(const std::string& file) {
    const json capture = json::parse(readFile(fixturePath(file)));
    return {capture.at("argv").get<std::vector<std::string>>(), capture.at("stdin").dump(), capture};
}

// copilot/ and cline/: one {"event", "argv", "payload", "replied"} per line.
Invocation jsonLine(const std::string& file, std::size_t index) {
    std::istringstream lines(readFile(fixturePath(file)));
    std::string line;
    for (std::size_t i = 0; std::getline(lines, line); ++i) {
        if (i == index) {
            const json capture = json::parse(line);
            return {capture.at("argv").get<std::vector<std::string>>(), capture.at("payload").dump(), capture};
        }
    }
    throw std::out_of_range(file + " has no line " + std::to_string(index));
}

// The first `count` lines of a capture, for a transcript as it stood earlier in the run.
std::string firstLines(const std::string& file, std::size_t count) {
    std::istringstream lines(readFile(fixturePath(file)));
    std::string line, kept;
    for (std::size_t i = 0; i < count && std::getline(lines, line); ++i) kept += line + "\n";
    return kept;
}

constexpr const char* kCodexRollout =
    "transcripts/codex-rollout-2026-12-08T20-52-27-01a2576d-dc2f-7081-943f-df9ae401e54a.jsonl";
constexpr const char* kCodexRolloutInHome =
    ".codex/sessions/2026/12/08/rollout-2026-12-08T20-52-27-01a2576d-dc2f-7081-943f-df9ae401e54a.jsonl";
constexpr const char* kGeminiChat = "transcripts/gemini-session-2026-12-08T20-43-23fa98b3.jsonl";
constexpr const char* kGeminiChatInHome = ".gemini/tmp/work/chats/session-2026-12-08T20-43-23fa98b3.jsonl";

// ---------------------------------------------------------------------------------------------------------------
// Events that need no verdict.

struct FixtureCase {
    const char* name;
    std::function<Invocation()> load;
    json expected;
};

std::vector<FixtureCase> fixtureCases() {
    return {
        // Claude Code
        {"ClaudeSessionStart", [] { return rawPayload("claude/SessionStart.startup.json", "claude", "SessionStart"); },
         R"({"provider":"claude","type":"agentStarted","message":"SessionStart","cwd":"/home/dev/project",
             "sessionId":"dd943cc6-c66b-4fa7-bcdc-e111b4df6e7d"})"_json},
        {"ClaudeUserPromptSubmit", [] { return rawPayload("claude/UserPromptSubmit.json", "claude", "UserPromptSubmit"); },
         R"({"provider":"claude","type":"thinking","message":"UserPromptSubmit","cwd":"/home/dev/project",
             "sessionId":"dd943cc6-c66b-4fa7-bcdc-e111b4df6e7d"})"_json},
        {"ClaudePreToolUseBash", [] { return rawPayload("claude/PreToolUse.Bash.json", "claude", "PreToolUse"); },
         R"({"provider":"claude","type":"coding","message":"Bash","command":"touch created-by-agent.txt",
             "toolName":"Bash","cwd":"/home/dev/project","sessionId":"dd943cc6-c66b-4fa7-bcdc-e111b4df6e7d"})"_json},
        {"ClaudePreToolUseRead", [] { return rawPayload("claude/PreToolUse.Read.json", "claude", "PreToolUse"); },
         R"({"provider":"claude","type":"coding","message":"Read","command":"/home/dev/project/hello.txt",
             "toolName":"Read","cwd":"/home/dev/project","sessionId":"dd943cc6-c66b-4fa7-bcdc-e111b4df6e7d"})"_json},
        {"ClaudePostToolUseBash", [] { return rawPayload("claude/PostToolUse.Bash.json", "claude", "PostToolUse"); },
         R"({"provider":"claude","type":"coding","message":"Bash","command":"touch created-by-agent.txt",
             "toolName":"Bash","phase":"post","cwd":"/home/dev/project",
             "sessionId":"dd943cc6-c66b-4fa7-bcdc-e111b4df6e7d"})"_json},
        {"ClaudePostToolUseRead", [] { return rawPayload("claude/PostToolUse.Read.json", "claude", "PostToolUse"); },
         R"({"provider":"claude","type":"coding","message":"Read","command":"/home/dev/project/hello.txt",
             "toolName":"Read","phase":"post","cwd":"/home/dev/project",
             "sessionId":"dd943cc6-c66b-4fa7-bcdc-e111b4df6e7d"})"_json},
        {"ClaudeNotification",
         [] { return rawPayload("claude/Notification.permission_prompt.json", "claude", "Notification"); },
         R"({"provider":"claude","type":"inputRequired","message":"Claude needs your permission",
             "cwd":"/home/dev/project","sessionId":"59dcb05a-f9aa-4346-8411-afef588a183d"})"_json},
        {"ClaudeStop", [] { return rawPayload("claude/Stop.json", "claude", "Stop"); },
         R"({"provider":"claude","type":"responding","message":"Stop","cwd":"/home/dev/project",
             "sessionId":"dd943cc6-c66b-4fa7-bcdc-e111b4df6e7d","say":"Done. I listed the files."})"_json},
        {"ClaudePreCompact", [] { return rawPayload("claude/PreCompact.manual.json", "claude", "PreCompact"); },
         R"({"provider":"claude","type":"contextCompacting","message":"PreCompact","cwd":"/home/dev/project",
             "sessionId":"28e2b76f-6012-45bd-a2b2-40ccbb1497d0"})"_json},
        {"ClaudeSessionEnd", [] { return rawPayload("claude/SessionEnd.interactive-exit.json", "claude", "SessionEnd"); },
         R"({"provider":"claude","type":"agentStopped","message":"SessionEnd","cwd":"/home/dev/project",
             "sessionId":"59dcb05a-f9aa-4346-8411-afef588a183d"})"_json},

        // Qwen Code
        {"QwenPreToolUse", [] { return rawPayload("qwen/PreToolUse.run_shell_command.json", "qwen", "PreToolUse"); },
         R"({"provider":"qwen","type":"coding","message":"run_shell_command","command":"touch created-by-agent.txt",
             "toolName":"run_shell_command","cwd":"/home/dev/project",
             "sessionId":"85d5777b-5802-4aac-9484-559d5d0bd844"})"_json},
        {"QwenPostToolUseReadFile", [] { return rawPayload("qwen/PostToolUse.read_file.json", "qwen", "PostToolUse"); },
         R"({"provider":"qwen","type":"coding","message":"read_file","command":"/home/dev/project/hello.txt",
             "toolName":"read_file","phase":"post","cwd":"/home/dev/project",
             "sessionId":"85d5777b-5802-4aac-9484-559d5d0bd844"})"_json},
        {"QwenNotificationPermission",
         [] { return rawPayload("qwen/Notification.permission_prompt.json", "qwen", "Notification"); },
         R"({"provider":"qwen","type":"inputRequired",
             "message":"Qwen Code needs your permission to use run_shell_command",
             "cwd":"/home/dev/project","sessionId":"3eb35ef0-2d3c-422e-a011-7f325710c687"})"_json},
        {"QwenUserPromptSubmitEmptyPrompt",
         [] { return rawPayload("qwen/UserPromptSubmit.tool-result-continuation.json", "qwen", "UserPromptSubmit"); },
         R"({"provider":"qwen","type":"thinking","message":"UserPromptSubmit","cwd":"/home/dev/project",
             "sessionId":"85d5777b-5802-4aac-9484-559d5d0bd844"})"_json},
        {"QwenSessionStartResume", [] { return rawPayload("qwen/SessionStart.resume.json", "qwen", "SessionStart"); },
         R"({"provider":"qwen","type":"agentStarted","message":"SessionStart","cwd":"/home/dev/project",
             "sessionId":"b2dedc07-9b09-4eed-8523-8f8c50757ac2"})"_json},
        {"QwenPreCompact", [] { return rawPayload("qwen/PreCompact.manual.json", "qwen", "PreCompact"); },
         R"({"provider":"qwen","type":"contextCompacting","message":"PreCompact","cwd":"/home/dev/project",
             "sessionId":"b2dedc07-9b09-4eed-8523-8f8c50757ac2"})"_json},
        {"QwenStop", [] { return rawPayload("qwen/Stop.json", "qwen", "Stop"); },
         R"({"provider":"qwen","type":"responding","message":"Stop","cwd":"/home/dev/project",
             "sessionId":"85d5777b-5802-4aac-9484-559d5d0bd844","say":"Done. I listed the files."})"_json},

        // Codex CLI (no rollout in the temporary home, so narration only from a payload's closing words)
        {"CodexSessionStart", [] { return wrapped("codex/SessionStart.json"); },
         R"({"provider":"codex","type":"agentStarted","message":"SessionStart","cwd":"/home/dev/project",
             "sessionId":"01a2576d-dc2f-7081-943f-df9ae401e54a"})"_json},
        {"CodexSessionStartCompact", [] { return wrapped("codex/SessionStart.compact.json"); },
         R"({"provider":"codex","type":"agentStarted","message":"SessionStart","cwd":"/home/dev/project",
             "sessionId":"01a2576f-f1c4-7133-a7d0-ef99fb5b5961"})"_json},
        {"CodexUserPromptSubmit", [] { return wrapped("codex/UserPromptSubmit.json"); },
         R"({"provider":"codex","type":"thinking","message":"UserPromptSubmit","cwd":"/home/dev/project",
             "sessionId":"01a2576d-dc2f-7081-943f-df9ae401e54a"})"_json},
        {"CodexPreToolUse", [] { return wrapped("codex/PreToolUse.json"); },
         R"({"provider":"codex","type":"coding","message":"Bash","command":"ls","toolName":"Bash",
             "cwd":"/home/dev/project","sessionId":"01a2576d-dc2f-7081-943f-df9ae401e54a"})"_json},
        {"CodexPostToolUse", [] { return wrapped("codex/PostToolUse.json"); },
         R"({"provider":"codex","type":"coding","message":"Bash","command":"ls","toolName":"Bash","phase":"post",
             "cwd":"/home/dev/project","sessionId":"01a2576d-dc2f-7081-943f-df9ae401e54a"})"_json},
        {"CodexStop", [] { return wrapped("codex/Stop.json"); },
         R"({"provider":"codex","type":"responding","message":"Stop","cwd":"/home/dev/project",
             "sessionId":"01a2576d-dc2f-7081-943f-df9ae401e54a","say":"Done. I listed the files."})"_json},
        {"CodexPreCompact", [] { return wrapped("codex/PreCompact.json"); },
         R"({"provider":"codex","type":"contextCompacting","message":"PreCompact","cwd":"/home/dev/project",
             "sessionId":"01a2576f-f1c4-7133-a7d0-ef99fb5b5961"})"_json},
        {"CodexPostCompact", [] { return wrapped("codex/PostCompact.json"); },
         R"({"provider":"codex","type":"thinking","message":"PostCompact","cwd":"/home/dev/project",
             "sessionId":"01a2576f-f1c4-7133-a7d0-ef99fb5b5961"})"_json},
        {"CodexSessionEnd", [] { return wrapped("codex/SessionEnd.json"); },
         R"({"provider":"codex","type":"agentStopped","message":"SessionEnd","cwd":"/home/dev/project",
             "sessionId":"01a2576e-2475-75a1-83a2-822a106613e3"})"_json},

        // Gemini CLI (no chat in the temporary home, so no narration)
        {"GeminiSessionStart", [] { return wrapped("gemini/SessionStart.json"); },
         R"({"provider":"gemini","type":"agentStarted","message":"SessionStart","cwd":"/home/dev/project",
             "sessionId":"23fa98b3-84a8-40c1-8a9f-3197d59e18a5"})"_json},
        {"GeminiBeforeAgent", [] { return wrapped("gemini/BeforeAgent.json"); },
         R"({"provider":"gemini","type":"agentStarted","message":"BeforeAgent","cwd":"/home/dev/project",
             "sessionId":"23fa98b3-84a8-40c1-8a9f-3197d59e18a5"})"_json},
        // Gemini's automatic PreCompress comes before every model request, compressing or not.
        {"GeminiPreCompress", [] { return wrapped("gemini/PreCompress.json"); },
         R"({"provider":"gemini","type":"thinking","message":"PreCompress","cwd":"/home/dev/project",
             "sessionId":"23fa98b3-84a8-40c1-8a9f-3197d59e18a5"})"_json},
        {"GeminiPreCompressManual", [] {
             Invocation run = wrapped("gemini/PreCompress.json");
             json payload = json::parse(run.stdinBytes);
             payload["trigger"] = "manual";
             run.stdinBytes = payload.dump();
             return run;
         },
         R"({"provider":"gemini","type":"contextCompacting","message":"PreCompress","cwd":"/home/dev/project",
             "sessionId":"23fa98b3-84a8-40c1-8a9f-3197d59e18a5"})"_json},
        {"GeminiAfterTool", [] { return wrapped("gemini/AfterTool.json"); },
         R"({"provider":"gemini","type":"coding","message":"run_shell_command","command":"ls",
             "toolName":"run_shell_command","phase":"post","cwd":"/home/dev/project",
             "sessionId":"23fa98b3-84a8-40c1-8a9f-3197d59e18a5"})"_json},
        {"GeminiAfterAgent", [] { return wrapped("gemini/AfterAgent.json"); },
         R"({"provider":"gemini","type":"taskCompleted","message":"AfterAgent","cwd":"/home/dev/project",
             "sessionId":"23fa98b3-84a8-40c1-8a9f-3197d59e18a5"})"_json},
        {"GeminiNotification", [] { return wrapped("gemini/Notification.json"); },
         R"({"provider":"gemini","type":"inputRequired","message":"Tool Confirm Shell Command requires execution",
             "cwd":"/home/dev/project","sessionId":"2522abed-e455-453c-a7f5-159504dd6408"})"_json},
        {"GeminiSessionEnd", [] { return wrapped("gemini/SessionEnd.json"); },
         R"({"provider":"gemini","type":"agentStopped","message":"SessionEnd","cwd":"/home/dev/project",
             "sessionId":"23fa98b3-84a8-40c1-8a9f-3197d59e18a5"})"_json},

        // Copilot CLI (camelCase payloads; toolArgs carries the command or path)
        {"CopilotSessionStart", [] { return jsonLine("copilot/hooks-interactive-permissionRequest-allow.jsonl", 0); },
         R"({"provider":"copilot","type":"agentStarted","message":"sessionStart","cwd":"/home/dev/project",
             "sessionId":"dc4d9207-2f2c-4603-9562-6a371833cf2f"})"_json},
        {"CopilotUserPromptSubmitted",
         [] { return jsonLine("copilot/hooks-interactive-permissionRequest-allow.jsonl", 1); },
         R"({"provider":"copilot","type":"thinking","message":"userPromptSubmitted","cwd":"/home/dev/project",
             "sessionId":"dc4d9207-2f2c-4603-9562-6a371833cf2f"})"_json},
        {"CopilotUserPromptTransformed",
         [] { return jsonLine("copilot/hooks-interactive-permissionRequest-allow.jsonl", 2); },
         R"({"provider":"copilot","type":"coding","message":"userPromptTransformed","cwd":"/home/dev/project",
             "sessionId":"dc4d9207-2f2c-4603-9562-6a371833cf2f"})"_json},
        {"CopilotPreToolUseBash", [] { return jsonLine("copilot/hooks-interactive-permissionRequest-allow.jsonl", 3); },
         R"({"provider":"copilot","type":"coding","message":"bash","command":"touch created.txt","toolName":"bash",
             "cwd":"/home/dev/project","sessionId":"dc4d9207-2f2c-4603-9562-6a371833cf2f"})"_json},
        {"CopilotPostToolUseBash", [] { return jsonLine("copilot/hooks-interactive-permissionRequest-allow.jsonl", 5); },
         R"({"provider":"copilot","type":"coding","message":"bash","command":"touch created.txt","toolName":"bash",
             "phase":"post","cwd":"/home/dev/project","sessionId":"dc4d9207-2f2c-4603-9562-6a371833cf2f"})"_json},
        {"CopilotPreToolUseView", [] { return jsonLine("copilot/hooks-interactive-permissionRequest-allow.jsonl", 6); },
         R"({"provider":"copilot","type":"coding","message":"view","command":"/home/dev/project/hello.txt",
             "toolName":"view","cwd":"/home/dev/project","sessionId":"dc4d9207-2f2c-4603-9562-6a371833cf2f"})"_json},
        {"CopilotAgentStop", [] { return jsonLine("copilot/hooks-interactive-permissionRequest-allow.jsonl", 8); },
         R"({"provider":"copilot","type":"responding","message":"agentStop","cwd":"/home/dev/project",
             "sessionId":"dc4d9207-2f2c-4603-9562-6a371833cf2f"})"_json},
        {"CopilotSessionEnd", [] { return jsonLine("copilot/hooks-interactive-permissionRequest-allow.jsonl", 9); },
         R"({"provider":"copilot","type":"agentStopped","message":"sessionEnd","cwd":"/home/dev/project",
             "sessionId":"dc4d9207-2f2c-4603-9562-6a371833cf2f"})"_json},
        {"CopilotNotification", [] { return jsonLine("copilot/hooks-p-no-decision.jsonl", 5); },
         R"({"provider":"copilot","type":"inputRequired","message":"Run command: touch created.txt",
             "cwd":"/home/dev/project","sessionId":"fb30866b-a4c0-40b8-a327-769c0e5b03e7"})"_json},

        // Cline CLI (tool and JSON-encoded parameters under the hook's own key, the root session and workspace
        // roots; extra --hookdir arguments)
        {"ClineTaskStart", [] { return jsonLine("cline/hooks-PreToolUse-continue.jsonl", 0); },
         R"({"provider":"cline","type":"agentStarted","message":"TaskStart","sessionId":"1796764052345_c4wgo",
             "cwd":"/home/dev/project"})"_json},
        {"ClinePostToolUse", [] { return jsonLine("cline/hooks-PreToolUse-continue.jsonl", 2); },
         R"({"provider":"cline","type":"coding","message":"run_commands","command":"touch created.txt",
             "toolName":"run_commands","phase":"post","sessionId":"1796764052345_c4wgo","cwd":"/home/dev/project"})"_json},
        {"ClineTaskComplete", [] { return jsonLine("cline/hooks-PreToolUse-continue.jsonl", 5); },
         R"({"provider":"cline","type":"taskCompleted","message":"TaskComplete","sessionId":"1796764052345_c4wgo",
             "cwd":"/home/dev/project"})"_json},
        {"ClineSessionShutdown", [] { return jsonLine("cline/hooks-PreToolUse-cancel.jsonl", 2); },
         R"({"provider":"cline","type":"agentStopped","message":"SessionShutdown","sessionId":"1796764040419_rb0jc",
             "cwd":"/home/dev/project"})"_json},
        {"ClinePostToolUseOtherHookDir", [] { return jsonLine("cline/hooks-tools-two-dirs.jsonl", 4); },
         R"({"provider":"cline","type":"coding","message":"run_commands","command":"ls","toolName":"run_commands",
             "phase":"post","sessionId":"1796764021141_rdln5","cwd":"/home/dev/project"})"_json},

        // Kimi Code: its PermissionRequest only says that its own prompt is up, and a failed tool ends the step
        {"KimiPermissionRequest", [] { return rawPayload("kimi/PermissionRequest.json", "kimi", "PermissionRequest"); },
         R"({"provider":"kimi","type":"inputRequired","message":"Bash","command":"touch created.txt",
             "toolName":"Bash","cwd":"/home/dev/project","sessionId":"session_c4d42c88-f79c-4c5e-91fc-bbc857930ef9"})"_json},
        {"KimiPostToolUseFailure",
         [] { return rawPayload("kimi/PostToolUseFailure.json", "kimi", "PostToolUseFailure"); },
         R"({"provider":"kimi","type":"coding","message":"Read","command":"/home/dev/project/notes.txt",
             "toolName":"Read","phase":"post","cwd":"/home/dev/project",
             "sessionId":"session_4dd58794-dc3e-40cb-afba-6a5ec31b9d63"})"_json},
    };
}

void PrintTo(const FixtureCase& c, std::ostream* os) { *os << c.name; }

class BridgeFixture : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(BridgeFixture, SendsTheRecordReadOffTheCapture) {
    const FixtureCase& c = GetParam();
    const Invocation invocation = c.load();
    TempHome home;
    FakeApp app(home.socketPath(), AppReply::hold());
    const BridgeRun run = runBridge(invocation.args, invocation.stdinBytes, home, 5s);
    expectQuiet(run);  // none of these is a decision: leaves while the app holds the connection
    const auto line = app.request();
    ASSERT_TRUE(line) << "nothing reached the app";
    EXPECT_EQ(parseRecord(*line), c.expected);
}

INSTANTIATE_TEST_SUITE_P(BridgeCaptures, BridgeFixture, ::testing::ValuesIn(fixtureCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Qwen's sign-in report at start and Claude's reminder that it is still idle ask nothing of the user: the app
// must not hear them as "waiting for your input". The bridge has exited before the listener is asked, so a
// connection it made would be queued by then.
TEST(BridgeFixtureNotification, ReportsThatAskNothingNeverReachTheApp) {
    json idle = json::parse(readFile(fixturePath("claude/Notification.permission_prompt.json")));
    idle["notification_type"] = "idle_prompt";
    idle["message"] = "Claude is waiting for your input";
    const std::vector<Invocation> reports{
        rawPayload("qwen/Notification.auth_success.json", "qwen", "Notification"),
        {{"--source", "claude", "--event", "Notification"}, idle.dump(), json()},
    };
    for (const auto& report : reports) {
        TempHome home;
        IdleListener app(home.socketPath(), 4);
        expectQuiet(runBridge(report.args, report.stdinBytes, home, 5s));
        EXPECT_FALSE(app.hasPendingConnection()) << report.stdinBytes;
    }
}

// ---------------------------------------------------------------------------------------------------------------
// Permission requests: the record, and the decision printed for the verdict.

constexpr const char* kClaudeAllow =
    R"({"hookSpecificOutput":{"hookEventName":"PermissionRequest","decision":{"behavior":"allow"}}})";
constexpr const char* kClaudeDeny =
    R"({"hookSpecificOutput":{"hookEventName":"PermissionRequest","decision":{"behavior":"deny"}}})";
const std::string kGranted = "{\"approval\":\"granted\"}\n";
const std::string kDenied = "{\"approval\":\"denied\"}\n";

void expectDecision(const Exchange& ex, const std::string& printed, const json& record) {
    EXPECT_FALSE(ex.run.timedOut);
    EXPECT_EQ(ex.run.exitCode, 0);
    EXPECT_EQ(ex.run.err, "");
    EXPECT_EQ(ex.run.out, printed);
    ASSERT_TRUE(ex.request) << "the permission request never reached the app";
    EXPECT_EQ(ex.record, record);
}

TEST(BridgeFixtureDecision, ClaudePermissionRequest) {
    const Invocation inv = rawPayload("claude/PermissionRequest.Bash.json", "claude", "PermissionRequest");
    const json record = R"({"provider":"claude","type":"approvalRequired","message":"Bash",
        "command":"touch created-by-agent.txt","toolName":"Bash","cwd":"/home/dev/project",
        "sessionId":"dd943cc6-c66b-4fa7-bcdc-e111b4df6e7d"})"_json;
    TempHome home;
    expectDecision(exchange(home, inv.args, inv.stdinBytes, AppReply::send(kGranted)), std::string(kClaudeAllow) + "\n",
                   record);
    expectDecision(exchange(home, inv.args, inv.stdinBytes, AppReply::send(kDenied)), std::string(kClaudeDeny) + "\n",
                   record);
}

TEST(BridgeFixtureDecision, QwenPermissionRequest) {
    const Invocation inv = rawPayload("qwen/PermissionRequest.run_shell_command.json", "qwen", "PermissionRequest");
    const json record = R"({"provider":"qwen","type":"approvalRequired","message":"run_shell_command",
        "command":"touch created-by-agent.txt","toolName":"run_shell_command","cwd":"/home/dev/project",
        "sessionId":"85d5777b-5802-4aac-9484-559d5d0bd844"})"_json;
    TempHome home;
    expectDecision(exchange(home, inv.args, inv.stdinBytes, AppReply::send(kGranted)), std::string(kClaudeAllow) + "\n",
                   record);
}

TEST(BridgeFixtureDecision, CodexPermissionRequestPrintsWhatTheAgentAccepted) {
    const Invocation inv = wrapped("codex/PermissionRequest.json");
    const json record = R"({"provider":"codex","type":"approvalRequired","message":"Bash",
        "command":"touch made-by-agent.txt","toolName":"Bash","cwd":"/home/dev/project",
        "sessionId":"01a2576b-d02c-7cd0-80f9-ce0f3015583a"})"_json;
    ASSERT_EQ(inv.capture.at("env_seen").at("CAPTURE_DECISION_PermissionRequest"), "allow");
    TempHome home;
    expectDecision(exchange(home, inv.args, inv.stdinBytes, AppReply::send(kGranted)),
                   inv.capture.at("printed").get<std::string>() + "\n", record);
    expectDecision(exchange(home, inv.args, inv.stdinBytes, AppReply::send(kDenied)), std::string(kClaudeDeny) + "\n",
                   record);
}

TEST(BridgeFixtureDecision, GeminiBeforeToolWaitsAndNarratesFromTheChat) {
    const Invocation inv = wrapped("gemini/BeforeTool.json");
    TempHome home;
    // The chat as it stood when the first tool was about to run.
    home.writeFile(kGeminiChatInHome, firstLines(kGeminiChat, 7));
    const json record = R"({"provider":"gemini","type":"approvalRequired","message":"run_shell_command",
        "command":"ls","toolName":"run_shell_command","say":"I will list the files first.",
        "cwd":"/home/dev/project","sessionId":"23fa98b3-84a8-40c1-8a9f-3197d59e18a5"})"_json;
    expectDecision(exchange(home, inv.args, inv.stdinBytes, AppReply::send(kGranted)), "{\"decision\":\"allow\"}\n",
                   record);
    expectDecision(exchange(home, inv.args, inv.stdinBytes, AppReply::send(kDenied)), "{\"decision\":\"deny\"}\n",
                   record);
}

// Kimi's PreToolUse can only veto: an allow prints what lets Kimi's own approval go on.
TEST(BridgeFixtureDecision, KimiPreToolUseVetoesAndNarratesFromTheWireFile) {
    const Invocation inv = rawPayload("kimi/PreToolUse.json", "kimi", "PreToolUse");
    TempHome home;
    // The session's wire file as it stood when the first tool was about to run.
    home.writeFile(".kimi-code/sessions/wd_project_36d3baf5bdb9/session_4dd58794-dc3e-40cb-afba-6a5ec31b9d63/agents/"
                   "main/wire.jsonl",
                   firstLines("kimi/wire.jsonl", 18));
    const json record = R"({"provider":"kimi","type":"approvalRequired","message":"Bash","command":"touch created.txt",
        "toolName":"Bash","say":"I will create the marker file.","cwd":"/home/dev/project",
        "sessionId":"session_4dd58794-dc3e-40cb-afba-6a5ec31b9d63"})"_json;
    expectDecision(exchange(home, inv.args, inv.stdinBytes, AppReply::send(kDenied)),
                   R"({"hookSpecificOutput":{"hookEventName":"PreToolUse","permissionDecision":"deny",)"
                   R"("permissionDecisionReason":"Denied in Nubbo"}})"
                   "\n",
                   record);
}

const json kCopilotRequest = R"({"provider":"copilot","type":"approvalRequired","message":"bash",
    "command":"touch created.txt","toolName":"bash","cwd":"/home/dev/project",
    "sessionId":"dc4d9207-2f2c-4603-9562-6a371833cf2f"})"_json;

TEST(BridgeFixtureDecision, CopilotPermissionRequestAllowedAsTheAgentAccepted) {
    const Invocation inv = jsonLine("copilot/hooks-interactive-permissionRequest-allow.jsonl", 4);
    ASSERT_EQ(inv.capture.at("event"), "permissionRequest");
    TempHome home;
    expectDecision(exchange(home, inv.args, inv.stdinBytes, AppReply::send(kGranted)),
                   inv.capture.at("replied").get<std::string>() + "\n", kCopilotRequest);
}

TEST(BridgeFixtureDecision, CopilotPermissionRequestDeniedAsTheAgentAccepted) {
    const Invocation inv = jsonLine("copilot/hooks-p-permissionRequest-deny.jsonl", 4);
    ASSERT_EQ(inv.capture.at("event"), "permissionRequest");
    TempHome home;
    const Exchange ex = exchange(home, inv.args, inv.stdinBytes, AppReply::send(kDenied));
    json record = kCopilotRequest;
    record["sessionId"] = "17e78e1a-3b8d-4789-973b-e2710b454c0a";
    expectDecision(ex, "{\"behavior\":\"deny\"}\n", record);
    // The captured reply carried a message of its own; the behaviour is what the agent acted on.
    const json replied = json::parse(inv.capture.at("replied").get<std::string>());
    EXPECT_EQ(json::parse(ex.run.out).at("behavior"), replied.at("behavior"));
}

TEST(BridgeFixtureDecision, CopilotPermissionRequestWithoutAVerdictPrintsNothing) {
    const Invocation inv = jsonLine("copilot/hooks-p-no-decision.jsonl", 4);
    ASSERT_EQ(inv.capture.at("event"), "permissionRequest");
    ASSERT_TRUE(inv.capture.at("replied").is_null());
    TempHome home;
    json record = kCopilotRequest;
    record["sessionId"] = "fb30866b-a4c0-40b8-a327-769c0e5b03e7";
    expectDecision(exchange(home, inv.args, inv.stdinBytes, AppReply::closeWithoutReply()), "", record);
}

// Cline's session is its root session; its folder, the first workspace root.
json clineRequest(const char* toolName, const char* command, const char* rootSession) {
    return json{{"provider", "cline"}, {"type", "approvalRequired"}, {"message", toolName}, {"command", command},
                {"toolName", toolName}, {"sessionId", rootSession}, {"cwd", "/home/dev/project"}};
}

TEST(BridgeFixtureDecision, ClinePreToolUseContinued) {
    struct Case {
        const char* file;
        std::size_t index;
        json record;
    };
    for (const auto& [file, index, record] :
         {Case{"cline/hooks-PreToolUse-continue.jsonl", 1, clineRequest("run_commands", "touch created.txt", "1796764052345_c4wgo")},
          Case{"cline/hooks-PreToolUse-continue.jsonl", 3,
               clineRequest("read_files", "/home/dev/project/hello.txt", "1796764052345_c4wgo")},
          Case{"cline/hooks-tools-two-dirs.jsonl", 2, clineRequest("run_commands", "ls", "1796764021141_rdln5")}}) {
        SCOPED_TRACE(std::string(file) + ":" + std::to_string(index));
        const Invocation inv = jsonLine(file, index);
        ASSERT_EQ(inv.capture.at("event"), "PreToolUse");
        TempHome home;
        const Exchange ex = exchange(home, inv.args, inv.stdinBytes, AppReply::send(kGranted));
        expectDecision(ex, "{\"cancel\":false}\n", record);
        if (inv.capture.at("replied").is_string()) {
            EXPECT_EQ(ex.run.out, inv.capture.at("replied").get<std::string>() + "\n");
        }
    }
}

TEST(BridgeFixtureDecision, ClinePreToolUseCancelled) {
    const Invocation inv = jsonLine("cline/hooks-PreToolUse-cancel.jsonl", 1);
    ASSERT_EQ(inv.capture.at("event"), "PreToolUse");
    TempHome home;
    const Exchange ex = exchange(home, inv.args, inv.stdinBytes, AppReply::send(kDenied));
    expectDecision(ex, "{\"cancel\":true,\"errorMessage\":\"Denied in Nubbo\"}\n",
                   clineRequest("run_commands", "touch created.txt", "1796764040419_rb0jc"));
    const json replied = json::parse(inv.capture.at("replied").get<std::string>());
    EXPECT_EQ(json::parse(ex.run.out).at("cancel"), replied.at("cancel"));
}

// ---------------------------------------------------------------------------------------------------------------
// Tool arguments in the other shapes the agents send: as JSON text, and broken.

Invocation withPayload(Invocation inv, const std::function<void(json&)>& change) {
    json payload = json::parse(inv.stdinBytes);
    change(payload);
    inv.stdinBytes = payload.dump();
    return inv;
}

// Earlier Copilot releases sent toolArgs as the JSON text of the object, in permission requests too.
TEST(BridgeFixtureToolArgs, CopilotToolArgsAsJsonTextYieldTheirCommand) {
    const auto asText = [](json& payload) {
        const json args = payload.contains("toolArgs") ? payload["toolArgs"] : payload["toolInput"];
        payload.erase("toolInput");
        payload["toolArgs"] = args.dump();
    };
    const auto pre = withPayload(jsonLine("copilot/hooks-interactive-permissionRequest-allow.jsonl", 3), asText);
    const auto request = withPayload(jsonLine("copilot/hooks-interactive-permissionRequest-allow.jsonl", 4), asText);
    TempHome home;
    const Exchange ex = exchange(home, pre.args, pre.stdinBytes, AppReply::send("{\"ok\":true}\n"), 5s);
    expectQuiet(ex.run);
    EXPECT_EQ(ex.record.value("command", "<none>"), "touch created.txt");
    expectDecision(exchange(home, request.args, request.stdinBytes, AppReply::send(kGranted)),
                   "{\"behavior\":\"allow\"}\n", kCopilotRequest);
}

// The bridge runs on every hook: arguments that are not what they should be still leave a record (without the
// command they fail to give) and an agent that goes on.
TEST(BridgeFixtureToolArgs, MalformedArgumentsStillSendTheRecord) {
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    const std::string huge = json{{"description", std::string(1 << 20, 'x')}, {"command", "ls"}}.dump();
    struct Case {
        const char* name;
        Invocation inv;
        std::optional<std::string> command;
    };
    const auto copilot = [](std::string toolArgs) {
        return withPayload(jsonLine("copilot/hooks-interactive-permissionRequest-allow.jsonl", 3),
                           [&](json& payload) { payload["toolArgs"] = toolArgs; });
    };
    const auto cline = [](json commands) {
        return withPayload(jsonLine("cline/hooks-PreToolUse-continue.jsonl", 2),
                           [&](json& payload) { payload["postToolUse"]["parameters"]["commands"] = commands; });
    };
    const Case cases[] = {
        {"CopilotCutOff", copilot(R"({"command":"touch)"), std::nullopt},
        {"CopilotNotAnObject", copilot(R"(["touch created.txt"])"), std::nullopt},
        {"CopilotDeeplyNested", copilot(deep), std::nullopt},
        {"CopilotHuge", copilot(huge), "ls"},
        {"ClineDeeplyNested", cline(deep), std::nullopt},
        {"ClineListOfNumbers", cline("[1,2,3]"), std::nullopt},
        // Not JSON: taken as plain text, the way earlier Cline releases sent their parameters.
        {"ClineCutOff", cline(R"(["touch)"), R"(["touch)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempHome home;
        const Exchange ex = exchange(home, c.inv.args, c.inv.stdinBytes, AppReply::send("{\"ok\":true}\n"), 5s);
        expectQuiet(ex.run);
        ASSERT_TRUE(ex.request) << "nothing reached the app";
        EXPECT_TRUE(ex.record.contains("toolName"));
        if (c.command) EXPECT_EQ(ex.record.value("command", "<none>"), *c.command);
        else EXPECT_FALSE(ex.record.contains("command")) << ex.record.value("command", "");
    }
}

// Cline's run_commands may carry several commands: the card names each, one a line.
TEST(BridgeFixtureToolArgs, ClineCommandsAreAllNamed) {
    const Invocation inv = withPayload(jsonLine("cline/hooks-PreToolUse-continue.jsonl", 1), [](json& payload) {
        payload["preToolUse"]["parameters"]["commands"] = R"(["ls","rm -rf build"])";
    });
    TempHome home;
    expectDecision(exchange(home, inv.args, inv.stdinBytes, AppReply::send(kGranted)), "{\"cancel\":false}\n",
                   clineRequest("run_commands", "ls\nrm -rf build", "1796764052345_c4wgo"));
}

// ---------------------------------------------------------------------------------------------------------------
// Narration from the captured Codex rollout and Gemini chat.

TEST(BridgeFixtureNarration, CodexRolloutAtEachPointOfTheRun) {
    const Invocation pre = wrapped("codex/PreToolUse.json");
    const Invocation post = wrapped("codex/PostToolUse.json");
    const Invocation stop = wrapped("codex/Stop.json");
    const auto sayAfter = [](const Invocation& inv, const std::string& rollout) {
        TempHome home;
        home.writeFile(kCodexRolloutInHome, rollout);
        const Exchange ex = exchange(home, inv.args, inv.stdinBytes, AppReply::send("{\"ok\":true}\n"), 5s);
        expectQuiet(ex.run);
        return ex.record.value("say", "<none>");
    };
    // Up to the first completed AgentMessage item (this release writes no agent_message lines).
    EXPECT_EQ(sayAfter(pre, firstLines(kCodexRollout, 14)), "I will list the files first.");
    // Up to the second one.
    EXPECT_EQ(sayAfter(post, firstLines(kCodexRollout, 21)), "Now I will read a file.");
    // The whole run, ending in task_complete.
    EXPECT_EQ(sayAfter(stop, readFile(fixturePath(kCodexRollout))), "Done. I listed the files.");
    // Before any agent message there is nothing to say.
    EXPECT_EQ(sayAfter(pre, firstLines(kCodexRollout, 13)), "<none>");
}

TEST(BridgeFixtureNarration, GeminiChatAfterTheToolAndAtTheEnd) {
    TempHome home;
    home.writeFile(kGeminiChatInHome, readFile(fixturePath(kGeminiChat)));
    const auto recordOf = [&](const Invocation& inv) {
        const Exchange ex = exchange(home, inv.args, inv.stdinBytes, AppReply::send("{\"ok\":true}\n"), 5s);
        expectQuiet(ex.run);
        return ex.record;
    };
    EXPECT_EQ(recordOf(wrapped("gemini/AfterTool.json")).value("say", "<none>"), "Done. I listed the files.");
    // AfterAgent, Gemini's end of turn, brings the closing words; SessionEnd is no narration event.
    EXPECT_EQ(recordOf(wrapped("gemini/AfterAgent.json")).value("say", "<none>"), "Done. I listed the files.");
    EXPECT_FALSE(recordOf(wrapped("gemini/SessionEnd.json")).contains("say"));
}

} // namespace
