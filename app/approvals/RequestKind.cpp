#include "approvals/RequestKind.h"

#include <algorithm>
#include <iterator>

namespace nubbo {

namespace {

// The tools the supported agents report that take something other than a command line: reading, writing
// and editing files, searching, the web, plans and sub-agents.
constexpr const char16_t* kOtherTools[] = {
    // Claude-family, OpenCode, Kimi
    u"read", u"write", u"edit", u"multiedit", u"notebookedit", u"notebookread", u"glob", u"grep", u"ls", u"list",
    u"webfetch", u"websearch", u"task", u"todowrite", u"todoread", u"exitplanmode", u"patch", u"readfile",
    u"writefile", u"strreplacefile", u"searchweb", u"fetchurl", u"settodolist", u"think", u"readmediafile",
    // Codex
    u"apply_patch", u"applypatch", u"view_image", u"viewimage", u"update_plan", u"updateplan", u"web_search",
    // Gemini, Qwen
    u"read_file", u"read_many_files", u"write_file", u"replace", u"list_directory", u"search_file_content",
    u"web_fetch", u"google_web_search", u"save_memory", u"write_todos",
    // Copilot
    u"view", u"create", u"str_replace", u"str_replace_editor",
    // Cline, Cursor
    u"read_files", u"write_to_file", u"replace_in_file", u"search_files", u"list_files",
    u"list_code_definition_names", u"browser_action", u"use_mcp_tool", u"access_mcp_resource",
    u"ask_followup_question", u"attempt_completion", u"new_task", u"edit_file", u"list_dir", u"codebase_search",
    u"grep_search", u"file_search", u"delete_file",
};

} // namespace

RequestKind requestKindOfTool(QStringView toolName) {
    const QStringView name = toolName.trimmed();
    // Tools from MCP servers are named mcp__server__tool (Claude-family) or mcp_server_tool.
    if (name.startsWith(u"mcp_", Qt::CaseInsensitive))
        return RequestKind::other;
    const bool other = std::any_of(std::begin(kOtherTools), std::end(kOtherTools), [&](const char16_t* known) {
        return name.compare(QStringView(known), Qt::CaseInsensitive) == 0;
    });
    // Bash, shell, exec_command, local_shell, run_shell_command, execute_command, run_commands,
    // run_terminal_cmd, Shell and every name not listed above.
    return other ? RequestKind::other : RequestKind::shellCommand;
}

} // namespace nubbo
