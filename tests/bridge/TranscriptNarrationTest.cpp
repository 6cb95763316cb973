#include "bridge/Narration.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace nubbo::bridge;
using nlohmann::json;
namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

const std::string kFixtures = std::string(NUBBO_FIXTURES_DIR) + "/transcripts/";
const std::string kRollout = "rollout-2026-12-08T20-52-27-01a2576d-dc2f-7081-943f-df9ae401e54a.jsonl";
const std::string kGeminiChat = "session-2026-12-08T20-43-23fa98b3.jsonl";

struct TempHome {
    std::string path = [] {
        std::string pattern = (fs::temp_directory_path() / "nubbo-narration-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
        return pattern;
    }();
    ~TempHome() { fs::remove_all(path); }
    std::string operator/(const std::string& relative) const { return path + "/" + relative; }
};

void write(const std::string& path, const std::string& content, std::time_t modified = 0) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    if (modified == 0) return;
    const timespec times[2] = {{modified, 0}, {modified, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// The first `count` lines of a fixture (all of them by default).
std::string fixture(const std::string& name, std::size_t count = SIZE_MAX) {
    std::ifstream in(kFixtures + name, std::ios::binary);
    std::string out;
    for (std::string line; count-- > 0 && std::getline(in, line);) out += line + "\n";
    return out;
}

std::string line(const json& value) { return value.dump() + "\n"; }
std::string claude(const json& content) { return line({{"type", "assistant"}, {"message", {{"content", content}}}}); }
std::string claudeText(const std::string& text) { return claude(json::array({{{"type", "text"}, {"text", text}}})); }
std::string userLine(const std::string& text) { return line({{"type", "user"}, {"message", {{"content", text}}}}); }
std::string codex(const json& payload) { return line({{"type", "event_msg"}, {"payload", payload}}); }
std::string codexAgent(const std::string& text) { return codex({{"type", "agent_message"}, {"message", text}}); }
std::string codexItem(const std::string& type, const json& content) {
    return codex({{"type", "item_completed"}, {"item", {{"type", type}, {"content", content}}}});
}
std::string gemini(const json& content) { return line({{"type", "gemini"}, {"content", content}}); }

} // namespace

TEST(TranscriptTail, CompleteLinesOfTheWindow) {
    TempHome home;
    const auto path = home / "t.jsonl";
    write(path, "line-one\n\n\nline-two\nline-three\n");  // 31 bytes
    EXPECT_EQ(tailLines(path, 100), (Lines{"line-one", "line-two", "line-three"}));
    EXPECT_EQ(tailLines(path, 15), (Lines{"line-three"}));  // starts inside "line-two"
    EXPECT_EQ(tailLines(path, 20), (Lines{"line-three"}));  // starts on a line: still taken as partial
    EXPECT_EQ(tailLines(path, 5), (Lines{"hree"}));         // a lone partial line is kept

    EXPECT_EQ(tailLines(home / "missing", 100), std::nullopt);
    EXPECT_EQ(tailLines(home.path, 100), std::nullopt);
    ASSERT_EQ(::mkfifo((home / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(tailLines(home / "fifo", 100), std::nullopt);  // must not wait for a writer
}

TEST(TranscriptTail, WindowStartingInsideACharacterSkipsOnlyItsContinuationBytes) {
    TempHome home;
    const auto path = home / "t.jsonl";
    write(path, "x\xF0\x9F\x98\x80y\nlast\n");  // the 4-byte emoji occupies bytes 1-4 of 12
    for (const std::uint64_t window : {11, 10, 9, 8}) EXPECT_EQ(tailLines(path, window), (Lines{"last"})) << window;

    write(path, "x\x80\x80\x80\x80y\nlast\n");  // four continuation bytes are never valid
    EXPECT_EQ(tailLines(path, 11), std::nullopt);
    write(path, "x\xF0\x9F\x98\x80y\nla\xFFst\n");
    EXPECT_EQ(tailLines(path, 11), std::nullopt);
    write(path, "\x9F" "abc\nok\n");  // read whole: nothing is skipped
    EXPECT_EQ(tailLines(path, 100), std::nullopt);
}

TEST(TranscriptClaude, NewestAssistantProseWins) {
    TempHome home;
    const auto path = home / "session.jsonl";
    write(path, claudeText("Old news, not shown.") +
                    claude(json::array({{{"type", "text"}, {"text", "Updated"}},
                                        {{"type", "tool_use"}, {"name", "Edit"}},
                                        {{"type", "text"}, {"text", "the parser config."}}})) +
                    userLine("thanks") + claude(json::array({{{"type", "tool_use"}}})) +
                    claudeText("```bash\nmake test\n```") + claude("not an array") +
                    claude(json::array({{{"type", "text"}, {"text", "x"}}, "not an object"})) + "{ not json\n");
    EXPECT_EQ(latestAssistantText(path), "Updated the parser config.");
    write(path, claudeText("```\nonly code\n```"));
    EXPECT_EQ(latestAssistantText(path), std::nullopt);
}

TEST(TranscriptClaude, QwenCodesPartsShapedMessagesAreReadWithoutThoughts) {
    TempHome home;
    const auto path = home / "qwen.jsonl";
    // Lines as Qwen Code 0.24 writes them to the file its hooks name as transcript_path.
    const auto qwen = [](const json& parts) {
        return json{{"type", "assistant"}, {"message", {{"role", "model"}, {"parts", parts}}}}.dump() + "\n";
    };
    write(path, qwen(json::array({{{"text", "I will create the marker file."}},
                                  {{"functionCall", {{"name", "run_shell_command"}}}}})) +
                    json{{"type", "tool_result"}, {"message", {{"role", "user"}, {"parts", json::array()}}}}.dump() +
                    "\n");
    EXPECT_EQ(latestAssistantText(path), "I will create the marker file.");
    write(path, qwen(json::array({{{"text", "Planning quietly."}, {"thought", true}}, {{"text", "All done."}}})));
    EXPECT_EQ(latestAssistantText(path), "All done.");
    write(path, qwen(json::array({{{"text", "only a thought"}, {"thought", true}}})));
    EXPECT_EQ(latestAssistantText(path), std::nullopt);
}

TEST(TranscriptClaude, ReadsOnlyTheLast64KiBAndSurvivesAWindowStartingMidCharacter) {
    TempHome home;
    const auto path = home / "session.jsonl";
    const std::string said = claudeText("I renamed the module and fixed imports.");
    std::string padding;
    while (padding.size() <= kClaudeTranscriptWindow) padding += userLine(std::string(1000, 'p'));
    write(path, said + padding);
    EXPECT_EQ(latestAssistantText(path), std::nullopt);
    write(path, padding + said + userLine("ok"));
    EXPECT_EQ(latestAssistantText(path), "I renamed the module and fixed imports.");

    // A line of 3-byte characters straddles the window start; shifting by one byte lands it on each offset.
    std::string wide;
    for (int i = 0; i < 30000; ++i) wide += "日";
    int midCharacter = 0;
    for (std::size_t pad = 0; pad < 3; ++pad) {
        const std::string content = userLine(wide) + userLine(std::string(pad, 'q')) + said;
        midCharacter += (content[content.size() - kClaudeTranscriptWindow] & 0xC0) == 0x80;
        write(path, content);
        EXPECT_EQ(latestAssistantText(path), "I renamed the module and fixed imports.") << pad;
    }
    EXPECT_EQ(midCharacter, 2);
}

TEST(TranscriptCodex, RealRolloutMidTurnAndCompleted) {
    TempHome home;
    const auto path = home / (".codex/sessions/2026/12/08/" + kRollout);
    // Mid-turn only "item_completed" AgentMessage lines carry the agent's words (27 lines: up to the second one).
    write(path, fixture("codex-" + kRollout, 27));
    EXPECT_EQ(latestCodexNarration(home.path, {}), "Now I will read a file.");
    write(path, fixture("codex-" + kRollout));
    EXPECT_EQ(latestCodexNarration(home.path, {"01a2576d-dc2f-7081-943f-df9ae401e54a", {}}), "Done. I listed the files.");
}

TEST(TranscriptCodex, MessageFormsAndTheProseFilter) {
    TempHome home;
    const auto narrate = [&](const std::string& content) {
        write(home / ".codex/sessions/2026/01/01/rollout-1.jsonl", content);
        return latestCodexNarration(home.path, {});
    };
    EXPECT_EQ(narrate(codexAgent("Older message here.") +
                      codex({{"type", "task_complete"}, {"last_agent_message", "All green after the fix."}})),
              "All green after the fix.");
    EXPECT_EQ(narrate(codexItem("AgentMessage", json::array({{{"type", "Text"}, {"text", "Patched"}},
                                                             {{"type", "Image"}},
                                                             {{"type", "Text"}, {"text", "the lexer."}}}))),
              "Patched the lexer.");
    // Newest first: every later line is skipped for its shape, its markup or its lack of text.
    EXPECT_EQ(narrate(codexAgent("I fixed the flaky retry test.") +
                      codexAgent("<heartbeat>tick</heartbeat>") + codexAgent("  \n<automation_id>42</automation_id>") +
                      codexAgent("Status <heartbeat id=\"3\"/> done") + codexAgent("Result: <decision>skip") +
                      codexItem("AgentMessage", json::array({{{"text", "<system>quiet</system>"}}})) +
                      codexItem("UserMessage", json::array({{{"text", "User words."}}})) +
                      codexItem("AgentMessage", json::array({"not an object"})) + codexAgent("```\ncode\n```") +
                      codex({{"type", "task_complete"}, {"last_agent_message", nullptr}}) +
                      codex({{"type", "task_complete"}, {"last_agent_message", "Finished.</message>"}}) +
                      line({{"type", "response_item"}, {"payload", {{"type", "agent_message"}, {"message", "No."}}}})),
              "I fixed the flaky retry test.");
}

TEST(TranscriptCodex, SessionShortcutElseNewestFile) {
    TempHome home;
    const auto root = home / ".codex/sessions/";
    write(root + "2026/01/01/rollout-aaa111.jsonl", codexAgent("Narration from session aaa."), 1'700'000'000);
    write(root + "2026/01/02/rollout-aaa111-copy.jsonl", codexAgent("Same session, later file."), 1'700'000'500);
    write(root + "2026/01/03/rollout-bbb222.jsonl", codexAgent("Narration from session bbb."), 1'700'001'000);
    // Newer, but failing the name filter.
    write(root + "2026/01/03/notes.jsonl", "", 1'800'000'000);
    write(root + "2026/01/03/rollout-c.json", "", 1'800'000'000);

    EXPECT_EQ(latestCodexNarration(home.path, {"aaa111", {}}), "Narration from session aaa.");  // first in enumeration
    EXPECT_EQ(latestCodexNarration(home.path, {"no-such-session", {}}), std::nullopt);
    EXPECT_EQ(codexRolloutPath(home.path, {"", {}}), root + "2026/01/03/rollout-bbb222.jsonl");

    // Equal dates keep the earlier-enumerated file; "rollout-" may come from a folder name.
    write(root + "2026/01/01/rollout-aaa111.jsonl", codexAgent("Touched."), 1'700'001'000);
    EXPECT_EQ(codexRolloutPath(home.path, {}), root + "2026/01/01/rollout-aaa111.jsonl");
    write(root + "rollout-archive/old.jsonl", "", 1'700'001'001);
    EXPECT_EQ(codexRolloutPath(home.path, {}), root + "rollout-archive/old.jsonl");
}

TEST(TranscriptCodex, SymlinkedFoldersAreNotEnteredAndUndatedFilesLose) {
    TempHome home;
    const auto root = home / ".codex/sessions/";
    EXPECT_EQ(codexRolloutPath(home.path, {}), std::nullopt);
    write(root + "2026/02/rollout-real.jsonl", codexAgent("The real rollout."), 1'700'000'000);
    write(home / "elsewhere/rollout-outside.jsonl", codexAgent("Outside the tree."), 1'800'000'000);
    fs::create_directory_symlink(root, root + "2026/loop");
    fs::create_directory_symlink(home / "elsewhere", root + "2026/linked");
    fs::create_directories(root + "2026/01");
    fs::create_symlink(home / "gone.jsonl", root + "2026/01/rollout-dangling.jsonl");  // enumerated first
    EXPECT_EQ(codexRolloutPath(home.path, {"outside", {}}), std::nullopt);
    EXPECT_EQ(latestCodexNarration(home.path, {}), "The real rollout.");
}

TEST(TranscriptGemini, RealChatAndBothContentForms) {
    TempHome home;
    const auto path = home / (".gemini/tmp/3bbaba34/chats/" + kGeminiChat);
    write(path, fixture("gemini-" + kGeminiChat));
    EXPECT_EQ(latestGeminiNarration(home.path, {}), "Done. I listed the files.");
    write(path, fixture("gemini-" + kGeminiChat, 12));  // up to the second tool-calling message
    EXPECT_EQ(latestGeminiNarration(home.path, {}), "Now I will read a file.");

    EXPECT_EQ(geminiChatPath(home.path, {}), path);
    write(home / ".gemini/tmp/p3/session-3.jsonl", gemini("Not under chats/."), 1'900'000'000);
    EXPECT_EQ(geminiChatPath(home.path, {}), path);
    write(path, gemini(json::array({{{"text", "Reading"}}, {{"inlineData", {}}}, {{"text", "the **config** file."}}})));
    EXPECT_EQ(latestGeminiNarration(home.path, {}), "Reading the config file.");
    write(path, gemini("The older reply. It has two sentences.") + gemini("```\ncode\n```") + gemini(json::array()) +
                    gemini(json::array({"bare"})) + gemini(42) + line({{"type", "user"}, {"content", "User text."}}));
    EXPECT_EQ(latestGeminiNarration(home.path, {}), "The older reply.");
}

// Two projects' sessions, the other one newer: a hook that names its session (by id or by transcript) never
// narrates the other's words; only a hook that names nothing gets the newest file.
TEST(TranscriptLocator, ANamedSessionReadsOnlyItsOwnFile) {
    TempHome home;
    const std::string ownId = "0a1b2c3d-1111-7000-8000-000000000001";
    const auto codexOwn = home / (".codex/sessions/2026/01/01/rollout-2026-01-01T10-00-00-" + ownId + ".jsonl");
    const auto codexOther = home / ".codex/sessions/2026/01/02/rollout-2026-01-02T09-00-00-9f8e7d6c-2222.jsonl";
    const auto geminiOwn = home / ".gemini/tmp/project-a/chats/session-2026-01-01T10-00-0a1b2c3d.jsonl";
    const auto geminiOther = home / ".gemini/tmp/project-b/chats/session-2026-01-02T09-00-9f8e7d6c.jsonl";
    write(codexOwn, codexAgent("Words of this session."), 1'700'000'000);
    write(codexOther, codexAgent("Words of another project."), 1'700'090'000);
    write(geminiOwn, gemini("Words of this session."), 1'700'000'000);
    write(geminiOther, gemini("Words of another project."), 1'700'090'000);

    const std::optional<std::string> own = "Words of this session.", other = "Words of another project.";
    struct Case {
        const char* what;
        std::optional<std::string> id;
        bool ownPath;  // the payload names the session's transcript
        std::optional<std::string> missingPath;
        std::optional<std::string> said;
    };
    const Case cases[] = {
        {"nothing to match by", std::nullopt, false, std::nullopt, other},
        {"an empty id", "", false, std::nullopt, other},
        {"the session's id", ownId, false, std::nullopt, own},
        {"an id no file has", "5e5e5e5e-3333-7000-8000-000000000003", false, std::nullopt, std::nullopt},
        {"the session's transcript", std::nullopt, true, std::nullopt, own},
        {"its transcript and another id", "9f8e7d6c-2222", true, std::nullopt, own},
        {"a transcript not written yet", std::nullopt, false, home / "later.jsonl", std::nullopt},
        {"a transcript not there, and its id", ownId, false, "/home/dev/.codex/x.jsonl", own},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(latestCodexNarration(home.path, {c.id, c.ownPath ? codexOwn : c.missingPath}), c.said);
        EXPECT_EQ(latestGeminiNarration(home.path, {c.id, c.ownPath ? geminiOwn : c.missingPath}), c.said);
    }
}
