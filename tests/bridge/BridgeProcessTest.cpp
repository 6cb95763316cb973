// nubbo-bridge as the agents run it: the real binary, a temporary home and a fake app on the socket.
#include "BridgeHarness.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cctype>
#include <string>
#include <vector>

using nlohmann::json;
using namespace nubbo::test;
using namespace std::chrono_literals;

namespace {

const std::string kOk = "{\"ok\":true}\n";
constexpr auto kQuick = 5s;  // safety net for runs that must not wait at all

// The record sent for an event that needs no verdict; the run itself must leave no trace.
json recordFor(const TempHome& home, const std::vector<std::string>& args, std::string_view stdinBytes) {
    const Exchange ex = exchange(home, args, stdinBytes, AppReply::send(kOk), kQuick);
    expectQuiet(ex.run);
    if (!ex.request) {
        ADD_FAILURE() << "no request reached the app";
        return json::object();
    }
    return ex.record;
}

std::string testName(std::string text) {
    std::string name;
    for (const char c : text) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name.empty() ? "Empty" : name;
}

// A JSON object of exactly `size` bytes granting the request.
std::string grantedObjectOfSize(std::size_t size) {
    const std::string head = R"({"approval":"granted","padding":")";
    return head + std::string(size - head.size() - 2, 'x') + "\"}";
}

// ---------------------------------------------------------------------------------------------------------------
// Decision output: every family's format for every kind of reply.

constexpr const char* kClaudeAllow =
    R"({"hookSpecificOutput":{"hookEventName":"PermissionRequest","decision":{"behavior":"allow"}}})";
constexpr const char* kClaudeDeny =
    R"({"hookSpecificOutput":{"hookEventName":"PermissionRequest","decision":{"behavior":"deny"}}})";

struct DecisionCase {
    const char* name;
    const char* source;
    const char* event;
    const char* allow;
    const char* deny;
};

// Every family, against every kind of reply.
const DecisionCase kDecisionCases[] = {
    {"Claude", "claude", "PermissionRequest", kClaudeAllow, kClaudeDeny},
    {"Codex", "codex", "PermissionRequest", kClaudeAllow, kClaudeDeny},
    {"Gemini", "gemini", "BeforeTool", R"({"decision":"allow"})", R"({"decision":"deny"})"},
    {"CursorShell", "cursor", "beforeShellExecution", R"({"permission":"allow"})", R"({"permission":"deny"})"},
    {"Copilot", "copilot", "permissionRequest", R"({"behavior":"allow"})", R"({"behavior":"deny"})"},
    {"Cline", "cline", "PreToolUse", R"({"cancel":false})", R"({"cancel":true,"errorMessage":"Denied in Nubbo"})"},
};

// Further ways into the same formats: only the verdicts that print.
const DecisionCase kMoreDecisionCases[] = {
    {"Qwen", "qwen", "PermissionRequest", kClaudeAllow, kClaudeDeny},
    {"UnknownAgent", "mystery-agent", "PermissionRequest", kClaudeAllow, kClaudeDeny},
    {"CursorMcp", "cursor", "beforeMCPExecution", R"({"permission":"allow"})", R"({"permission":"deny"})"},
};

enum class Printed { Allow, Deny, Nothing };

struct VerdictCase {
    std::string name;
    AppReply reply;
    Printed printed;
};

std::vector<VerdictCase> verdictCases() {
    return {
        {"Granted", AppReply::send("{\"approval\":\"granted\"}\n"), Printed::Allow},
        {"Denied", AppReply::send("{\"approval\":\"denied\"}\n"), Printed::Deny},
        {"AnyOtherString", AppReply::send("{\"approval\":\"maybe\"}\n"), Printed::Deny},
        {"GrantedInCapitals", AppReply::send("{\"approval\":\"Granted\"}\n"), Printed::Deny},
        {"EmptyObject", AppReply::send("{}\n"), Printed::Nothing},
        {"ApprovalNotAString", AppReply::send("{\"approval\":true}\n"), Printed::Nothing},
        {"NotJson", AppReply::send("granted\n"), Printed::Nothing},
        {"JsonArray", AppReply::send("[{\"approval\":\"granted\"}]\n"), Printed::Nothing},
        {"EmptyLine", AppReply::send("\n"), Printed::Nothing},
        {"ClosedWithoutReply", AppReply::closeWithoutReply(), Printed::Nothing},
        {"OverTheLineLimit", AppReply::send(grantedObjectOfSize(9000) + "\n"), Printed::Nothing},
        {"GrantedAtEndOfStream", AppReply::send("{\"approval\":\"granted\"}"), Printed::Allow},
        {"OnlyTheFirstLineCounts", AppReply::send("{\"approval\":\"denied\"}\n{\"approval\":\"granted\"}\n"),
         Printed::Deny},
    };
}

// Granted, denied and any other string.
std::vector<VerdictCase> printingVerdicts() {
    auto all = verdictCases();
    all.erase(all.begin() + 3, all.end());
    return all;
}

void PrintTo(const DecisionCase& c, std::ostream* os) { *os << c.name; }
void PrintTo(const VerdictCase& c, std::ostream* os) { *os << c.name; }

class BridgeDecisionOutput : public ::testing::TestWithParam<std::tuple<DecisionCase, VerdictCase>> {};

TEST_P(BridgeDecisionOutput, PrintsTheAgentsOwnDecisionForTheVerdict) {
    const auto& [family, verdict] = GetParam();
    TempHome home;
    const Exchange ex = exchange(home, {"--source", family.source, "--event", family.event},
                                 R"({"tool_name":"Bash","tool_input":{"command":"rm -rf build"}})", verdict.reply);

    EXPECT_FALSE(ex.run.timedOut);
    EXPECT_EQ(ex.run.signal, 0);
    EXPECT_EQ(ex.run.exitCode, 0);
    EXPECT_EQ(ex.run.err, "");
    switch (verdict.printed) {
    case Printed::Allow: EXPECT_EQ(ex.run.out, std::string(family.allow) + "\n"); break;
    case Printed::Deny: EXPECT_EQ(ex.run.out, std::string(family.deny) + "\n"); break;
    case Printed::Nothing: EXPECT_EQ(ex.run.out, ""); break;
    }

    ASSERT_TRUE(ex.request) << "the permission request never reached the app";
    EXPECT_EQ(ex.record, (json{{"provider", family.source},
                               {"type", "approvalRequired"},
                               {"message", "Bash"},
                               {"command", "rm -rf build"},
                               {"toolName", "Bash"}}));
}

std::string decisionTestName(const ::testing::TestParamInfo<BridgeDecisionOutput::ParamType>& info) {
    return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(BridgeFamilies, BridgeDecisionOutput,
                         ::testing::Combine(::testing::ValuesIn(kDecisionCases), ::testing::ValuesIn(verdictCases())),
                         decisionTestName);

INSTANTIATE_TEST_SUITE_P(BridgeMoreFamilies, BridgeDecisionOutput,
                         ::testing::Combine(::testing::ValuesIn(kMoreDecisionCases),
                                            ::testing::ValuesIn(printingVerdicts())),
                         decisionTestName);

TEST(BridgeVerdictLine, StopsReadingAtTheLineLimitWithoutWaitingForANewline) {
    TempHome home;
    // Exactly 8192 bytes of valid verdict and then silence: the bridge must decide on what it has.
    const Exchange ex = exchange(home, {"--source", "claude", "--event", "PermissionRequest"}, "{}",
                                 AppReply::sendAndHold(grantedObjectOfSize(8192)), kQuick);
    EXPECT_FALSE(ex.run.timedOut) << "the bridge waited for a newline after 8192 bytes";
    EXPECT_EQ(ex.run.out, std::string(kClaudeAllow) + "\n");
    EXPECT_EQ(ex.run.err, "");
    EXPECT_EQ(ex.run.exitCode, 0);
}

TEST(BridgeVerdictLine, AVerdictOneByteOverTheLimitIsCutAndPrintsNothing) {
    TempHome home;
    const Exchange ex = exchange(home, {"--source", "claude", "--event", "PermissionRequest"}, "{}",
                                 AppReply::send(grantedObjectOfSize(8193) + "\n"));
    expectQuiet(ex.run);
}

TEST(BridgeVerdictLine, InvalidUtf8InTheVerdictIsReplacedAndSoDenies) {
    TempHome home;
    const Exchange ex = exchange(home, {"--source", "copilot", "--event", "permissionRequest"}, "{}",
                                 AppReply::send("{\"approval\":\"granted\xff\"}\n"));
    EXPECT_EQ(ex.run.out, "{\"behavior\":\"deny\"}\n");
    EXPECT_EQ(ex.run.err, "");
    EXPECT_EQ(ex.run.exitCode, 0);
}

// ---------------------------------------------------------------------------------------------------------------
// Unified types and "phase"; none of these events is a decision for its family, so the bridge must leave
// while the app keeps the connection open.

struct EventCase {
    const char* source;
    const char* event;
    const char* type;
    bool post;
};

const EventCase kEventCases[] = {
    {"claude", "SessionStart", "agentStarted", false},
    {"gemini", "BeforeAgent", "agentStarted", false},
    {"copilot", "sessionStart", "agentStarted", false},
    {"cline", "TaskStart", "agentStarted", false},
    {"claude", "SessionEnd", "agentStopped", false},
    {"copilot", "sessionEnd", "agentStopped", false},
    {"cline", "TaskCancel", "agentStopped", false},
    {"claude", "UserPromptSubmit", "thinking", false},
    {"copilot", "userPromptSubmitted", "thinking", false},
    {"cursor", "beforeSubmitPrompt", "thinking", false},
    {"cline", "TaskResume", "thinking", false},
    {"claude", "PreToolUse", "coding", false},
    {"claude", "PostToolUse", "coding", true},
    {"gemini", "AfterTool", "coding", true},
    {"copilot", "preToolUse", "coding", false},
    {"copilot", "postToolUse", "coding", true},
    {"copilot", "postToolUseFailure", "coding", false},
    {"cursor", "afterShellExecution", "coding", true},
    {"cursor", "afterMCPExecution", "coding", true},
    {"cursor", "afterFileEdit", "coding", true},
    {"cursor", "beforeReadFile", "coding", false},
    {"cursor", "PreToolUse", "coding", false},
    {"copilot", "errorOccurred", "coding", false},
    {"claude", "posttooluse", "coding", false},
    {"claude", "TaskFinished", "coding", false},
    {"cline", "TaskComplete", "taskCompleted", false},
    {"claude", "PreCompact", "contextCompacting", false},
    {"gemini", "PreCompress", "thinking", false},  // an automatic check, not a compression the user asked for
    {"copilot", "preCompact", "contextCompacting", false},
    {"codex", "PostCompact", "thinking", false},
    {"gemini", "PostCompress", "thinking", false},
    {"claude", "Stop", "responding", false},
    {"claude", "stop", "responding", false},
    {"copilot", "agentStop", "responding", false},
    {"claude", "STOP", "coding", false},
    {"gemini", "AfterAgent", "taskCompleted", false},
    {"claude", "Notification", "inputRequired", false},
    {"copilot", "notification", "inputRequired", false},
    // Approval-typed by name, yet not the family's own decision event: sent without waiting.
    {"claude", "BeforeTool", "approvalRequired", false},
    {"gemini", "PermissionRequest", "approvalRequired", false},
    {"copilot", "PermissionRequest", "approvalRequired", false},
    {"cline", "permissionRequest", "approvalRequired", false},
    {"opencode", "PermissionRequest", "approvalRequired", false},
};

void PrintTo(const EventCase& c, std::ostream* os) { *os << c.source << " " << c.event; }

class BridgeEventType : public ::testing::TestWithParam<EventCase> {};

TEST_P(BridgeEventType, SendsOneLineAndLeavesWithoutWaitingForAReply) {
    const EventCase& c = GetParam();
    TempHome home;
    FakeApp app(home.socketPath(), AppReply::hold());
    const BridgeRun run = runBridge({"--source", c.source, "--event", c.event}, "", home, kQuick);
    expectQuiet(run);

    const auto line = app.request();
    ASSERT_TRUE(line);
    json expected{{"provider", c.source}, {"type", c.type}, {"message", c.event}};
    if (c.post) expected["phase"] = "post";
    EXPECT_EQ(parseRecord(*line), expected);
    EXPECT_TRUE(app.requestEndedWithNewline());
    EXPECT_TRUE(app.peerClosedWhileHeld()) << "the bridge kept the connection open";
    EXPECT_EQ(app.bytesAfterRequest(), "") << "more than one line was sent";
}

INSTANTIATE_TEST_SUITE_P(BridgeEvents, BridgeEventType, ::testing::ValuesIn(kEventCases),
                         [](const auto& info) { return testName(std::string(info.param.source) + "_" + info.param.event); });

// ---------------------------------------------------------------------------------------------------------------
// Extraction of the record's fields from the payload and the command line.

struct RecordCase {
    const char* name;
    std::vector<std::string> args;
    std::string stdinBytes;
    json expected;
};

std::vector<std::string> claudeEvent(const char* event) { return {"--source", "claude", "--event", event}; }

json coding(json extra = json::object()) {
    json record{{"provider", "claude"}, {"type", "coding"}, {"message", "PreToolUse"}};
    record.update(extra);
    return record;
}

std::vector<RecordCase> recordCases() {
    const auto pre = claudeEvent("PreToolUse");
    const json stopRecord{{"provider", "claude"}, {"type", "responding"}, {"message", "Stop"}};
    return {
        // toolName: tool_name, toolName, tool.name
        {"ToolNameFirst", pre, R"({"tool_name":"Bash","toolName":"Edit","tool":{"name":"Grep"}})",
         coding({{"message", "Bash"}, {"toolName", "Bash"}})},
        {"ToolNameCamelCaseWhenSnakeEmpty", pre, R"({"tool_name":"","toolName":"Edit","tool":{"name":"Grep"}})",
         coding({{"message", "Edit"}, {"toolName", "Edit"}})},
        {"ToolNameFromToolObject", pre, R"({"tool_name":5,"toolName":null,"tool":{"name":"Grep"}})",
         coding({{"message", "Grep"}, {"toolName", "Grep"}})},
        {"ToolThatIsNotAnObject", pre, R"({"tool":"Grep"})", coding()},
        {"ToolObjectWithEmptyName", pre, R"({"tool":{"name":""}})", coding()},

        // command: top level, then containers in order, each container's inner keys in order
        {"TopLevelCommandWins", pre, R"({"command":"make test","tool_input":{"command":"ls"}})",
         coding({{"command", "make test"}})},
        {"FilePathIsTheCommand", pre, R"({"tool_name":"Read","tool_input":{"file_path":"/src/main.cpp"}})",
         coding({{"message", "Read"}, {"toolName", "Read"}, {"command", "/src/main.cpp"}})},
        {"EmptyCommandIsSkipped", pre, R"({"tool_input":{"command":""},"toolInput":{"command":"ls"}})",
         coding({{"command", "ls"}})},
        {"ContainerToolInputFirst", pre,
         R"({"args":{"command":"a"},"arguments":{"command":"b"},"input":{"command":"c"},"toolInput":{"command":"d"},"tool_input":{"command":"e"}})",
         coding({{"command", "e"}})},
        {"ContainerToolInputCamelCaseSecond", pre,
         R"({"args":{"command":"a"},"arguments":{"command":"b"},"input":{"command":"c"},"toolInput":{"command":"d"}})",
         coding({{"command", "d"}})},
        {"ContainerInputThird", pre, R"({"args":{"command":"a"},"arguments":{"command":"b"},"input":{"command":"c"}})",
         coding({{"command", "c"}})},
        {"ContainerArgumentsFourth", pre, R"({"args":{"command":"a"},"arguments":{"command":"b"}})",
         coding({{"command", "b"}})},
        {"ContainerArgsLast", pre, R"({"args":{"command":"a"}})", coding({{"command", "a"}})},
        {"EveryInnerKeyBeforeTheNextContainer", pre,
         R"({"tool_input":{"url":"https://example.com"},"toolInput":{"command":"ls"}})",
         coding({{"command", "https://example.com"}})},
        {"InnerCommandFirst", pre,
         R"({"tool_input":{"url":"u","query":"q","pattern":"p","path":"pa","filePath":"fp","file_path":"f","command":"c"}})",
         coding({{"command", "c"}})},
        {"InnerFilePathSecond", pre,
         R"({"tool_input":{"url":"u","query":"q","pattern":"p","path":"pa","filePath":"fp","file_path":"f"}})",
         coding({{"command", "f"}})},
        {"InnerFilePathCamelCaseThird", pre,
         R"({"tool_input":{"url":"u","query":"q","pattern":"p","path":"pa","filePath":"fp"}})",
         coding({{"command", "fp"}})},
        {"InnerPathFourth", pre, R"({"tool_input":{"url":"u","query":"q","pattern":"p","path":"pa"}})",
         coding({{"command", "pa"}})},
        {"InnerPatternFifth", pre, R"({"tool_input":{"url":"u","query":"q","pattern":"p"}})", coding({{"command", "p"}})},
        {"InnerQuerySixth", pre, R"({"tool_input":{"url":"u","query":"q"}})", coding({{"command", "q"}})},
        {"InnerUrlLast", pre, R"({"tool_input":{"url":"u"}})", coding({{"command", "u"}})},
        {"NonStringsAreSkipped", pre,
         R"({"command":42,"tool_input":{"command":["ls"],"file_path":{"p":1},"filePath":null,"path":"/p"}})",
         coding({{"command", "/p"}})},
        {"ContainerThatIsNotAnObject", pre, R"({"tool_input":"ls -la","toolInput":{"command":"pwd"}})",
         coding({{"command", "pwd"}})},
        {"NoCommandAnywhere", pre, R"({"tool_input":{"description":"list files","timeout":5}})", coding()},
        {"CommandNeedingEscapes", pre, R"({"command":"echo \"hi\"\n\ttab \\ \u00e9\u2603"})",
         coding({{"command", "echo \"hi\"\n\ttab \\ \xC3\xA9\xE2\x98\x83"}})},

        // message: message, then notification; it is the summary before toolName
        {"NotificationMessage", claudeEvent("Notification"), R"({"message":"Waiting"})",
         json{{"provider", "claude"}, {"type", "inputRequired"}, {"message", "Waiting"}}},
        {"NotificationKeyWhenMessageEmpty", claudeEvent("Notification"), R"({"message":"","notification":"Needs input"})",
         json{{"provider", "claude"}, {"type", "inputRequired"}, {"message", "Needs input"}}},
        {"NotificationKeyWhenMessageNotAString", claudeEvent("Notification"), R"({"message":3,"notification":"N"})",
         json{{"provider", "claude"}, {"type", "inputRequired"}, {"message", "N"}}},
        {"MessageBeforeToolName", pre, R"({"message":"m","tool_name":"Bash"})",
         coding({{"message", "m"}, {"toolName", "Bash"}})},

        // sessionId and cwd
        {"SessionIdSnakeCaseFirst", pre, R"({"session_id":"s1","sessionId":"s2"})", coding({{"sessionId", "s1"}})},
        {"SessionIdCamelCaseWhenSnakeEmpty", pre, R"({"session_id":"","sessionId":"s2"})", coding({{"sessionId", "s2"}})},
        {"SessionIdCamelCaseWhenSnakeNotAString", pre, R"({"session_id":7,"sessionId":"s2"})",
         coding({{"sessionId", "s2"}})},
        {"Cwd", pre, R"({"cwd":"/work/app"})", coding({{"cwd", "/work/app"}})},
        {"CwdOnlyFromCwd", pre, R"({"cwd":"","workingDirectory":"/w","workspace_roots":["/x"],"dir":"/d"})", coding()},
        {"EveryField", claudeEvent("PostToolUse"),
         R"({"session_id":"abc","cwd":"/w","tool_name":"Edit","tool_input":{"file_path":"/w/a.c"},"exit_code":1,"exitCode":2})",
         json{{"provider", "claude"}, {"type", "coding"}, {"message", "Edit"}, {"command", "/w/a.c"},
              {"toolName", "Edit"}, {"phase", "post"}, {"cwd", "/w"}, {"sessionId", "abc"}}},

        // summary fallbacks
        {"EventIsTheSummary", claudeEvent("Stop"), "{}", stopRecord},
        {"SourceIsTheSummaryWithoutEvent", {"--source", "codex"}, "",
         json{{"provider", "codex"}, {"type", "coding"}, {"message", "codex"}}},
        {"SourceIsTheSummaryForAnEmptyEvent", {"--source", "gemini", "--event", ""}, "",
         json{{"provider", "gemini"}, {"type", "coding"}, {"message", "gemini"}}},
        {"NoArgumentsAtAll", {}, "", json{{"provider", "claude"}, {"type", "coding"}, {"message", "claude"}}},

        // standard input that is not an object: sent from the command line alone
        {"EmptyStdin", claudeEvent("Stop"), "", stopRecord},
        {"InvalidJson", claudeEvent("Stop"), "not json at all", stopRecord},
        {"TruncatedJson", claudeEvent("Stop"), R"({"message":"cut off)", stopRecord},
        {"JsonArray", claudeEvent("Stop"), R"([{"message":"inside an array","tool_name":"Bash"}])", stopRecord},
        {"JsonString", claudeEvent("Stop"), R"("Stop")", stopRecord},
        {"JsonNumber", claudeEvent("Stop"), "42", stopRecord},
        {"JsonNull", claudeEvent("Stop"), "null", stopRecord},

        // the command line
        {"SourceLowerCased", {"--source", "CLAUDE", "--event", "Stop"}, "", stopRecord},
        {"SourceMixedCase", {"--source", "Codex", "--event", "Stop"}, "",
         json{{"provider", "codex"}, {"type", "responding"}, {"message", "Stop"}}},
        {"MissingSourceIsClaude", {"--event", "Stop"}, "", stopRecord},
        {"SourceAsLastArgumentIsClaude", {"--event", "Stop", "--source"}, "", stopRecord},
        {"SourceJoinedWithEqualsIsNotRecognised", {"--source=codex", "--event", "Stop"}, "", stopRecord},
        {"EventJoinedWithEqualsIsNotRecognised", {"--source", "codex", "--event=Stop"}, "",
         json{{"provider", "codex"}, {"type", "coding"}, {"message", "codex"}}},
        {"FirstOccurrenceWins", {"--source", "codex", "--event", "Stop", "--source", "gemini", "--event", "PreToolUse"},
         "", json{{"provider", "codex"}, {"type", "responding"}, {"message", "Stop"}}},
        {"OtherArgumentsIgnored", {"--hookdir", "x", "--source", "cline", "--verbose", "--event", "TaskStart"}, "",
         json{{"provider", "cline"}, {"type", "agentStarted"}, {"message", "TaskStart"}}},
        {"UnknownSourceSentLowerCased", {"--source", "Mystery-Agent", "--event", "Stop"}, "",
         json{{"provider", "mystery-agent"}, {"type", "responding"}, {"message", "Stop"}}},
        {"InvalidUtf8InEventRepaired", {"--source", "claude", "--event", "Stop\xff"}, "",
         json{{"provider", "claude"}, {"type", "coding"}, {"message", "Stop\xEF\xBF\xBD"}}},
        {"InvalidUtf8InSourceRepaired", {"--source", "co\xff" "dex", "--event", "Stop"}, "",
         json{{"provider", "co\xEF\xBF\xBD" "dex"}, {"type", "responding"}, {"message", "Stop"}}},
    };
}

void PrintTo(const RecordCase& c, std::ostream* os) { *os << c.name; }

class BridgeRecord : public ::testing::TestWithParam<RecordCase> {};

TEST_P(BridgeRecord, SendsTheExpectedRecord) {
    const RecordCase& c = GetParam();
    TempHome home;
    EXPECT_EQ(recordFor(home, c.args, c.stdinBytes), c.expected);
}

INSTANTIATE_TEST_SUITE_P(BridgeRecords, BridgeRecord, ::testing::ValuesIn(recordCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------------------------
// Narration ("say") from the agents' transcripts.

constexpr const char* kClaudeTranscript =
    R"({"type":"user","message":{"role":"user","content":[{"type":"text","text":"Please clean up the parser."}]}})"
    "\n"
    R"({"type":"assistant","message":{"role":"assistant","content":[{"type":"text","text":"I refactored the parser. Then I added tests."},{"type":"tool_use","id":"t1","name":"Bash","input":{"command":"ls"}}]}})"
    "\n";
constexpr const char* kClaudeSay = "I refactored the parser.";

std::string withTranscript(const std::string& key, const std::string& path) {
    return json{{key, path}, {"tool_name", "Bash"}, {"tool_input", {{"command", "ls"}}}}.dump();
}

TEST(BridgeNarration, ClaudeFamilyReadsTheTranscriptNamedInThePayload) {
    TempHome home;
    const std::string transcript = home.writeFile(".claude/projects/p/session.jsonl", kClaudeTranscript);
    const std::pair<const char*, const char*> runs[] = {
        {"claude", "PreToolUse"}, {"claude", "PostToolUse"}, {"claude", "Stop"}, {"claude", "AfterTool"},
        {"claude", "BeforeTool"}, {"qwen", "PostToolUse"},   {"qoder", "Stop"},  {"mystery-agent", "PreToolUse"},
    };
    for (const auto& [source, event] : runs) {
        SCOPED_TRACE(std::string(source) + " " + event);
        const json record =
            recordFor(home, {"--source", source, "--event", event}, withTranscript("transcript_path", transcript));
        EXPECT_EQ(record.value("say", "<none>"), kClaudeSay);
    }
    const json camel = recordFor(home, claudeEvent("Stop"), withTranscript("transcriptPath", transcript));
    EXPECT_EQ(camel.value("say", "<none>"), kClaudeSay);
}

TEST(BridgeNarration, NoSayOutsideNarrationEvents) {
    TempHome home;
    const std::string transcript = home.writeFile(".claude/projects/p/session.jsonl", kClaudeTranscript);
    for (const char* event : {"UserPromptSubmit", "Notification", "SessionStart", "stop"}) {
        SCOPED_TRACE(event);
        const json record = recordFor(home, claudeEvent(event), withTranscript("transcript_path", transcript));
        EXPECT_FALSE(record.contains("say")) << record;
    }
    // A permission request is no narration event either.
    const Exchange ex = exchange(home, claudeEvent("PermissionRequest"), withTranscript("transcript_path", transcript),
                                 AppReply::send("{\"approval\":\"granted\"}\n"));
    EXPECT_EQ(ex.run.out, std::string(kClaudeAllow) + "\n");
    ASSERT_TRUE(ex.request);
    EXPECT_FALSE(ex.record.contains("say")) << ex.record;
}

TEST(BridgeNarration, ClaudeWithoutATranscriptHasNoSay) {
    TempHome home;
    EXPECT_FALSE(recordFor(home, claudeEvent("Stop"), "{}").contains("say"));
    EXPECT_FALSE(recordFor(home, claudeEvent("Stop"), withTranscript("transcript_path", home.path() + "/missing.jsonl"))
                     .contains("say"));
}

TEST(BridgeNarration, StopTakesTheClosingWordsOfThePayloadOverALaggingTranscript) {
    TempHome home;
    // The transcript still ends with the turn's earlier prose when Stop runs.
    const std::string transcript = home.writeFile(".claude/projects/p/session.jsonl", kClaudeTranscript);
    const auto stopWith = [&](const json& lastMessage) {
        json payload = json::parse(withTranscript("transcript_path", transcript));
        payload["last_assistant_message"] = lastMessage;
        return payload.dump();
    };
    for (const char* source : {"claude", "qwen"}) {
        SCOPED_TRACE(source);
        EXPECT_EQ(recordFor(home, {"--source", source, "--event", "Stop"}, stopWith("All done.\nThe tests pass."))
                      .value("say", "<none>"),
                  "All done. The tests pass.");
    }
    // Nothing worth showing in it (only code, blank, not a string): the transcript speaks as before.
    for (const json& unusable : {json("```\nmake\n```"), json("  "), json(42)}) {
        SCOPED_TRACE(unusable.dump());
        EXPECT_EQ(recordFor(home, claudeEvent("Stop"), stopWith(unusable)).value("say", "<none>"), kClaudeSay);
    }
    // Codex: the payload's words, without any rollout in the home.
    EXPECT_EQ(recordFor(home, {"--source", "codex", "--event", "Stop"}, stopWith("Finished the review."))
                  .value("say", "<none>"),
              "Finished the review.");
}

constexpr const char* kCodexRolloutDir = ".codex/sessions/2026/12/08/";

std::string codexAgentMessage(const std::string& text) {
    return json{{"timestamp", "2026-12-08T20:52:28.177Z"},
                {"type", "event_msg"},
                {"payload", {{"type", "agent_message"}, {"message", text}}}}
               .dump() +
           "\n";
}

std::string codexItemCompleted(const std::string& text) {
    return json{{"timestamp", "2026-12-08T20:52:28.177Z"},
                {"type", "event_msg"},
                {"payload",
                 {{"type", "item_completed"},
                  {"item",
                   {{"type", "AgentMessage"},
                    {"id", "msg_1"},
                    {"content", json::array({json{{"type", "Text"}, {"text", text}}})}}}}}}
               .dump() +
           "\n";
}

TEST(BridgeNarration, CodexReadsTheNewestRolloutInItsHome) {
    TempHome home;
    home.writeFile(std::string(kCodexRolloutDir) + "rollout-2026-12-08T20-52-27-aaaa.jsonl",
                   codexAgentMessage("Looking at the failing test now. It needs a fixture."));
    for (const char* event : {"PreToolUse", "PostToolUse", "Stop"}) {
        SCOPED_TRACE(event);
        const json record = recordFor(home, {"--source", "codex", "--event", event}, R"({"session_id":"aaaa"})");
        EXPECT_EQ(record.value("say", "<none>"), "Looking at the failing test now.");
    }
    EXPECT_FALSE(recordFor(home, {"--source", "codex", "--event", "UserPromptSubmit"}, "{}").contains("say"));
}

TEST(BridgeNarration, CodexReadsCompletedAgentMessageItems) {
    TempHome home;
    home.writeFile(std::string(kCodexRolloutDir) + "rollout-2026-12-08T20-52-27-bbbb.jsonl",
                   codexItemCompleted("Reading the build script first. Then the tests."));
    const json record = recordFor(home, {"--source", "codex", "--event", "PreToolUse"}, "{}");
    EXPECT_EQ(record.value("say", "<none>"), "Reading the build script first.");
}

TEST(BridgeNarration, CodexReadsTheRolloutOfTheSessionNeverAnotherOne) {
    TempHome home;
    const std::string older = std::string(kCodexRolloutDir) + "rollout-2026-12-08T10-00-00-session-one.jsonl";
    const std::string newer = std::string(kCodexRolloutDir) + "rollout-2026-12-08T11-00-00-session-two.jsonl";
    home.writeFile(older, codexAgentMessage("Working on session one today."));
    home.writeFile(newer, codexAgentMessage("Working on the newest session."));
    home.setModified(older, 1'800'000'000);
    home.setModified(newer, 1'800'000'600);

    const auto sayFor = [&](const std::string& payload) {
        return recordFor(home, {"--source", "codex", "--event", "Stop"}, payload).value("say", "<none>");
    };
    EXPECT_EQ(sayFor(R"({"session_id":"session-one"})"), "Working on session one today.");
    EXPECT_EQ(sayFor(R"({"sessionId":"session-one"})"), "Working on session one today.");
    EXPECT_EQ(sayFor("{}"), "Working on the newest session.");
    EXPECT_EQ(sayFor(R"({"session_id":"no-such-session"})"), "<none>");
}

TEST(BridgeNarration, GeminiReadsTheNewestChatAndStillWaitsOnBeforeTool) {
    TempHome home;
    const std::string older = ".gemini/tmp/project-a/chats/session-2026-12-08T10-00-aaaa.jsonl";
    const std::string newer = ".gemini/tmp/project-b/chats/session-2026-12-08T11-00-bbbb.jsonl";
    home.writeFile(older, R"({"type":"gemini","content":"An older chat says this."})" "\n");
    home.writeFile(newer, R"({"type":"user","content":[{"text":"List the files."}]})" "\n"
                          R"({"type":"gemini","content":[{"text":"I will list the files first."},{"text":"Then read one."}]})" "\n");
    home.setModified(older, 1'800'000'000);
    home.setModified(newer, 1'800'000'600);

    const json after = recordFor(home, {"--source", "gemini", "--event", "AfterTool"}, R"({"tool_name":"run_shell_command"})");
    EXPECT_EQ(after.value("say", "<none>"), "I will list the files first.");
    EXPECT_EQ(after.value("phase", "<none>"), "post");

    const Exchange before = exchange(home, {"--source", "gemini", "--event", "BeforeTool"},
                                     R"({"tool_name":"run_shell_command","tool_input":{"command":"ls"}})",
                                     AppReply::send("{\"approval\":\"denied\"}\n"));
    EXPECT_EQ(before.run.out, "{\"decision\":\"deny\"}\n");
    EXPECT_EQ(before.run.err, "");
    ASSERT_TRUE(before.request);
    EXPECT_EQ(before.record, (json{{"provider", "gemini"},
                                   {"type", "approvalRequired"},
                                   {"message", "run_shell_command"},
                                   {"command", "ls"},
                                   {"toolName", "run_shell_command"},
                                   {"say", "I will list the files first."}}));

    // Gemini's end of turn brings the closing words too; its session end does not.
    EXPECT_EQ(recordFor(home, {"--source", "gemini", "--event", "AfterAgent"}, "{}").value("say", "<none>"),
              "I will list the files first.");
    EXPECT_FALSE(recordFor(home, {"--source", "gemini", "--event", "SessionEnd"}, "{}").contains("say"));
}

TEST(BridgeNarration, OtherFamiliesNeverNarrate) {
    TempHome home;
    const std::string transcript = home.writeFile(".claude/projects/p/session.jsonl", kClaudeTranscript);
    home.writeFile(std::string(kCodexRolloutDir) + "rollout-2026-12-08T20-52-27-cccc.jsonl",
                   codexAgentMessage("Codex narration that must not leak."));
    home.writeFile(".gemini/tmp/p/chats/session-2026-12-08T11-00-cccc.jsonl",
                   R"({"type":"gemini","content":"Gemini narration that must not leak."})" "\n");
    const std::string payload = withTranscript("transcript_path", transcript);

    // The same transcript does narrate for a Claude-family agent, so the setup itself is sound.
    ASSERT_EQ(recordFor(home, claudeEvent("PostToolUse"), payload).value("say", "<none>"), kClaudeSay);
    for (const char* source : {"cursor", "copilot", "cline", "opencode"}) {
        for (const char* event : {"PostToolUse", "Stop"}) {
            SCOPED_TRACE(std::string(source) + " " + event);
            const json record = recordFor(home, {"--source", source, "--event", event}, payload);
            EXPECT_FALSE(record.contains("say")) << record;
        }
    }
}

// ---------------------------------------------------------------------------------------------------------------
// The app is not there: nothing printed, nothing on stderr, exit 0, and no waiting.

constexpr auto kAtOnce = 1500ms;  // well under the ~2 s connect bound, so a bridge that waits on it is caught

const std::vector<std::vector<std::string>> kAbsentAppRuns = {
    {"--source", "claude", "--event", "Stop"},
    {"--source", "claude", "--event", "PermissionRequest"},
    {"--source", "cursor", "--event", "beforeShellExecution"},
};

TEST(BridgeAppAbsent, NoSocketFile) {
    TempHome home;
    for (const auto& args : kAbsentAppRuns) {
        SCOPED_TRACE(args[1] + " " + args[3]);
        const BridgeRun run = runBridge(args, R"({"tool_name":"Bash","tool_input":{"command":"ls"}})", home, kQuick);
        expectQuiet(run);
        EXPECT_LT(run.elapsed, kAtOnce);
    }
}

TEST(BridgeAppAbsent, StaleSocketFileWithNobodyListening) {
    TempHome home;
    makeStaleSocketFile(home.socketPath());
    for (const auto& args : kAbsentAppRuns) {
        SCOPED_TRACE(args[1] + " " + args[3]);
        const BridgeRun run = runBridge(args, "{}", home, kQuick);
        expectQuiet(run);
        EXPECT_LT(run.elapsed, kAtOnce);
    }
}

TEST(BridgeAppAbsent, HomeUnsetOrEmpty) {
    for (const std::optional<std::string>& homeValue : {std::optional<std::string>{}, std::optional<std::string>{""}}) {
        SCOPED_TRACE(homeValue ? "HOME empty" : "HOME unset");
        for (const auto& args : kAbsentAppRuns) {
            SCOPED_TRACE(args[1] + " " + args[3]);
            const BridgeRun run = runBridge(args, "{}", BridgeOptions{homeValue, kQuick, std::nullopt, std::nullopt, {}, {}});
            expectQuiet(run);
            EXPECT_LT(run.elapsed, kAtOnce);
        }
    }
}

TEST(BridgeAppAbsent, SocketPathLongerThan103BytesIsNeverTried) {
    // 104 bytes still fits the kernel's sockaddr_un, so a listener can exist there; the bridge must not use it.
    TempHome home(104);
    ASSERT_EQ(home.socketPath().size(), 104u);
    IdleListener listener(home.socketPath(), 8);
    for (const auto& args : kAbsentAppRuns) {
        SCOPED_TRACE(args[1] + " " + args[3]);
        const BridgeRun run = runBridge(args, "{}", home, kQuick);
        expectQuiet(run);
        EXPECT_LT(run.elapsed, kAtOnce);
        EXPECT_FALSE(listener.hasPendingConnection()) << "the bridge connected to a 104-byte socket path";
    }
}

TEST(BridgeAppAbsent, SocketPathOfExactly103BytesIsUsed) {
    TempHome home(103);
    ASSERT_EQ(home.socketPath().size(), 103u);
    const json record = recordFor(home, claudeEvent("Stop"), "{}");
    EXPECT_EQ(record.value("type", ""), "responding");
}

// NUBBO_SOCKET (a socket mounted into a container, say) is the only place tried, with or without a home.
TEST(BridgeSocketPlace, NubboSocketNamesTheSocketTheBridgeReaches) {
    TempHome home;
    const std::string named = home.path() + "/mounted/app.sock";
    IdleListener usual(home.socketPath(), 8);
    for (const std::optional<std::string>& homeValue : {std::optional<std::string>{home.path()}, std::optional<std::string>{}}) {
        SCOPED_TRACE(homeValue ? "with HOME" : "without HOME");
        FakeApp app(named, AppReply::closeWithoutReply());
        BridgeOptions options{homeValue, kQuick, named, home.runtimeDir(), {}, {}};
        expectQuiet(runBridge(claudeEvent("Stop"), "{}", options));
        const auto request = app.request();
        ASSERT_TRUE(request);
        EXPECT_EQ(parseRecord(*request).value("type", ""), "responding");
    }
    EXPECT_FALSE(usual.hasPendingConnection()) << "the bridge also tried the usual place";
}

TEST(BridgeAppAbsent, ListenerWithAFullBacklogCountsAsAbsent) {
    TempHome home;
    IdleListener listener(home.socketPath(), 0);
    ASSERT_TRUE(listener.fillBacklog()) << "could not fill the listen backlog";
    const BridgeRun run = runBridge(claudeEvent("PermissionRequest"), "{}", home, 10s);
    expectQuiet(run);
    EXPECT_LT(run.elapsed, 6s);
}

// ---------------------------------------------------------------------------------------------------------------
// The app hangs up while the bridge is still writing: no SIGPIPE death, no output.

TEST(BridgeBrokenConnection, AppHangingUpMidRequestIsSilent) {
    // Far larger than a socket buffer, so the bridge is still writing when the app closes.
    const std::string payload = json{{"tool_name", "Bash"}, {"command", std::string(1 << 20, 'x')}}.dump();
    for (const char* event : {"PreToolUse", "PermissionRequest"}) {
        SCOPED_TRACE(event);
        TempHome home;
        FakeApp app(home.socketPath(), AppReply::hangUpAtOnce());
        const BridgeRun run = runBridge(claudeEvent(event), payload, home);
        EXPECT_NE(run.signal, SIGPIPE) << "killed by SIGPIPE";
        expectQuiet(run);
        EXPECT_TRUE(app.accepted());
    }
}

} // namespace
