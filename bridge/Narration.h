// The agent's latest prose, read from its own transcript file, as one short display line.
// Every function returns nothing rather than fail; nothing is logged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nubbo::bridge {

inline constexpr std::uint64_t kClaudeTranscriptWindow = 65536;
inline constexpr std::uint64_t kRolloutWindow = 98304;

// The complete lines in the last tailSize bytes of a file (empty lines dropped). Absent when the file cannot be
// read or the window is not UTF-8; a window starting inside a character skips that character's tail bytes.
std::optional<std::vector<std::string>> tailLines(const std::string& path, std::uint64_t tailSize);

// Claude-family transcripts (Claude Code and the agents that share its hooks).
std::optional<std::string> latestAssistantText(const std::string& transcriptPath);

// Whose transcript a hook is about, as far as its payload says. An agent that names its session reads only
// that session's file (or nothing); the newest file of any project stands in only when it names neither.
struct TranscriptHint {
    std::optional<std::string> sessionId;
    std::optional<std::string> transcriptPath;
};

// The rollout under <home>/.codex/sessions: the transcript path when it is a file, else the first file whose
// name holds the session id, else (no session given) the newest. The tree is walked depth-first with siblings
// in byte order of their names; on equal dates the first file visited wins. Symlinked folders are not entered.
std::optional<std::string> codexRolloutPath(const std::string& home, const TranscriptHint& hint);
// The chat under <home>/.gemini/tmp, chosen the same way; a chat's name ends with the session id's first 8
// characters ("session-<time>-<id[0..8]>.jsonl").
std::optional<std::string> geminiChatPath(const std::string& home, const TranscriptHint& hint);

// Kimi Code's wire file of the session's main agent, under <kimiHome>/sessions/<workspace>/<session>.
std::optional<std::string> kimiWirePath(const std::string& kimiHome, const std::string& session);

std::optional<std::string> latestCodexNarration(const std::string& home, const TranscriptHint& hint);
std::optional<std::string> latestGeminiNarration(const std::string& home, const TranscriptHint& hint);
std::optional<std::string> latestKimiNarration(const std::string& kimiHome, const std::optional<std::string>& session);

} // namespace nubbo::bridge
