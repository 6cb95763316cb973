#include "model/AgentActivity.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <set>

// Readable failure messages.
static void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace nubbo {
namespace {

using namespace Qt::StringLiterals;
using Opt = std::optional<QString>;

QString repeat(const QString& piece, int times) {
    QString text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

TEST(AgentActivityTest, Classify) {
    struct Row {
        Opt tool;
        Opt command;
        PetState pose;
        QString en;
        QString zh;
    };
    const QString line45 = repeat(QStringLiteral("abcde"), 9);
    const Row rows[] = {
        {u"Read"_s, u"/src/app/main.py"_s, PetState::reading, u"Reading main.py"_s, u"正在读取 main.py"_s},
        {u"read"_s, u"a/b.txt"_s, PetState::reading, u"Reading b.txt"_s, u"正在读取 b.txt"_s},
        {u"Read"_s, u"/src/app/"_s, PetState::reading, u"Reading app"_s, u"正在读取 app"_s},
        {u"Read"_s, u"/"_s, PetState::reading, u"Reading "_s, u"正在读取 "_s},
        {u"Read"_s, std::nullopt, PetState::reading, u"Reading files"_s, u"正在读取文件"_s},
        {u"LS"_s, u"/etc"_s, PetState::reading, u"Finding files"_s, u"正在查找文件"_s},
        {u"Glob"_s, std::nullopt, PetState::reading, u"Finding files"_s, u"正在查找文件"_s},
        {u"Grep"_s, u"\"needle\""_s, PetState::searching, u"Searching “needle”"_s, u"正在搜索 “needle”"_s},
        {u"grep"_s, u"'needle'"_s, PetState::searching, u"Searching “needle”"_s, u"正在搜索 “needle”"_s},
        {u"Grep"_s, u"\"needle"_s, PetState::searching, u"Searching “\"needle”"_s, u"正在搜索 “\"needle”"_s},
        {u"Grep"_s, u"  "_s, PetState::searching, u"Searching"_s, u"正在搜索"_s},
        {u"WebFetch"_s, u"https://x.dev"_s, PetState::browsing, u"Browsing the web"_s, u"正在查阅网页"_s},
        {u"view_image"_s, u"/tmp/a.png"_s, PetState::browsing, u"Browsing the web"_s, u"正在查阅网页"_s},
        {u"MultiEdit"_s, u"src/x.cpp"_s, PetState::coding, u"Writing x.cpp"_s, u"正在写入 x.cpp"_s},
        {u"apply_patch"_s, std::nullopt, PetState::coding, u"Writing code"_s, u"正在写入代码"_s},
        {u"Bash"_s, u"npm test\nnpm run lint"_s, PetState::running, u"Running npm test"_s,
         u"正在运行 npm test"_s},
        {u"exec_command"_s, line45, PetState::running, u"Running "_s + line45.left(40) + u"…"_s,
         u"正在运行 "_s + line45.left(40) + u"…"_s},
        {u"Bash"_s, u"   "_s, PetState::running, u"Working…"_s, u"工作中…"_s},
        {u"Task"_s, u"explore"_s, PetState::coding, u"Delegating a subtask"_s, u"正在调度子任务"_s},
        {u"TodoWrite"_s, std::nullopt, PetState::planning, u"Organizing the to-do list"_s, u"正在整理待办"_s},
        {u"update_plan"_s, u"x"_s, PetState::planning, u"Organizing the to-do list"_s, u"正在整理待办"_s},
        // Tool names the other agents send (Gemini CLI / Qwen Code, Copilot CLI, Cline).
        {u"run_shell_command"_s, u"touch created.txt"_s, PetState::running, u"Running touch created.txt"_s,
         u"正在运行 touch created.txt"_s},
        {u"run_commands"_s, u"ls"_s, PetState::running, u"Running ls"_s, u"正在运行 ls"_s},
        {u"read_file"_s, u"/p/notes.txt"_s, PetState::reading, u"Reading notes.txt"_s, u"正在读取 notes.txt"_s},
        {u"view"_s, u"/p/hello.txt"_s, PetState::reading, u"Reading hello.txt"_s, u"正在读取 hello.txt"_s},
        {u"read_files"_s, std::nullopt, PetState::reading, u"Reading files"_s, u"正在读取文件"_s},
        {u"list_directory"_s, u"/p"_s, PetState::reading, u"Finding files"_s, u"正在查找文件"_s},
        {u"search_file_content"_s, u"needle"_s, PetState::searching, u"Searching “needle”"_s,
         u"正在搜索 “needle”"_s},
        {u"google_web_search"_s, u"qt"_s, PetState::browsing, u"Browsing the web"_s, u"正在查阅网页"_s},
        {u"write_file"_s, u"/p/a.md"_s, PetState::coding, u"Writing a.md"_s, u"正在写入 a.md"_s},
        {u"write_todos"_s, std::nullopt, PetState::planning, u"Organizing the to-do list"_s, u"正在整理待办"_s},
        // Whole-name matching only; the name is shown as sent.
        {u"mcp__github__search"_s, u"q"_s, PetState::coding, u"mcp__github__search"_s,
         u"mcp__github__search"_s},
        {u" read"_s, u"a.txt"_s, PetState::coding, u" read"_s, u" read"_s},
        // No tool: coding, though a command still reads as running.
        {std::nullopt, u"make"_s, PetState::coding, u"Running make"_s, u"正在运行 make"_s},
        {std::nullopt, std::nullopt, PetState::coding, u"Working…"_s, u"工作中…"_s},
        {u""_s, u"\n"_s, PetState::coding, u"Working…"_s, u"工作中…"_s},
    };
    for (const Row& r : rows) {
        const auto where = r.tool.value_or(u"(none)"_s).toStdString() + " / " +
                           r.command.value_or(u"(none)"_s).toStdString();
        const auto en = AgentActivity::classify(r.tool, r.command, u"ignored"_s, Language::en);
        const auto zh = AgentActivity::classify(r.tool, r.command, QString(), Language::zh);
        EXPECT_EQ(rawValue(en.pose), rawValue(r.pose)) << where;
        EXPECT_EQ(rawValue(zh.pose), rawValue(r.pose)) << where;
        EXPECT_EQ(en.detail, r.en) << where;
        EXPECT_EQ(zh.detail, r.zh) << where;
    }
}

TEST(AgentActivityTest, FirstLine) {
    const QString family = u"👨‍👩‍👧"_s;  // one cluster, several code points
    const QString accented = u"e\u0301"_s;
    struct Row {
        QString text;
        int max;
        QString expected;
    };
    const Row rows[] = {
        {u"npm test\nnpm run lint"_s, 40, u"npm test"_s},
        {u"\r\n\r\n  two\r\nthree"_s, 40, u"  two"_s},
        {u"\u2028\u0085\u000b\u000cx\u2029y"_s, 40, u"x"_s},
        {u"\n\n"_s, 40, u"\n\n"_s},  // no piece: the text itself
        {QString(), 40, QString()},
        {repeat(u"x"_s, 40), 40, repeat(u"x"_s, 40)},
        {repeat(u"x"_s, 41), 40, repeat(u"x"_s, 40) + u"…"_s},
        {repeat(family, 40), 40, repeat(family, 40)},
        {repeat(family, 41), 40, repeat(family, 40) + u"…"_s},
        {repeat(accented, 41), 40, repeat(accented, 40) + u"…"_s},
        {u"漢字かな"_s, 2, u"漢字…"_s},
        {u"🇩🇪🇫🇷🇮🇹"_s, 2, u"🇩🇪🇫🇷…"_s},
    };
    for (const Row& r : rows)
        EXPECT_EQ(AgentActivity::firstLine(r.text, r.max), r.expected) << r.text.toStdString();
}

TEST(AgentActivityTest, BasenameAndUnquote) {
    const std::pair<QString, QString> paths[] = {
        {u"/src/app/main.py"_s, u"main.py"_s}, {u"/src/app/"_s, u"app"_s}, {u"/"_s, QString()},
        {u"//"_s, u"/"_s},                     {u"a//b/"_s, u"b"_s},      {u"a/b//"_s, u"b"_s},
        {u"main.py"_s, u"main.py"_s},          {QString(), QString()},      {u"a//b"_s, u"b"_s},
    };
    for (const auto& [path, expected] : paths)
        EXPECT_EQ(AgentActivity::basename(path), expected) << path.toStdString();

    const std::pair<QString, QString> quoted[] = {
        {u"\"needle\""_s, u"needle"_s},
        {u"'needle'"_s, u"needle"_s},
        {u"\"'both'\""_s, u"both"_s},
        // Single quotes are tried last, so doubles inside them stay.
        {u"'\"inner\"'"_s, u"\"inner\""_s},
        {u"\"needle"_s, u"\"needle"_s},
        {u"\""_s, u"\""_s},
        {u"\"\""_s, QString()},
        // A quote carrying a combining mark is a different character.
        {u"\"\u0301x\""_s, u"\"\u0301x\""_s},
        {u"\"first\nsecond\""_s, u"first"_s},
        {u"\""_s + repeat(u"q"_s, 41) + u"\""_s, repeat(u"q"_s, 40) + u"…"_s},
    };
    for (const auto& [text, expected] : quoted)
        EXPECT_EQ(AgentActivity::unquote(text), expected) << text.toStdString();
}

TEST(AgentActivityTest, PhraseForEveryEventType) {
    struct Row {
        AgentEventType type;
        Opt command;
        QString en;
        QString zh;
    };
    const Row rows[] = {
        {AgentEventType::agentStarted, std::nullopt, u"Started working"_s, u"开始工作"_s},
        {AgentEventType::thinking, std::nullopt, u"Thinking…"_s, u"思考中…"_s},
        {AgentEventType::coding, u"/a/b.txt"_s, u"Reading b.txt"_s, u"正在读取 b.txt"_s},
        {AgentEventType::contextCompacting, std::nullopt, u"Compacting context…"_s, u"正在压缩上下文…"_s},
        {AgentEventType::responding, std::nullopt, u"Responding"_s, u"正在回答"_s},
        {AgentEventType::approvalRequired, u"  rm -rf build\nmore"_s, u"Approval requested: rm -rf build"_s,
         u"请求授权：rm -rf build"_s},
        {AgentEventType::approvalRequired, u" \n\t"_s, u"Approval requested"_s, u"请求授权"_s},
        {AgentEventType::approvalRequired, std::nullopt, u"Approval requested"_s, u"请求授权"_s},
        {AgentEventType::inputRequired, std::nullopt, u"Waiting for your input"_s, u"等待你的输入"_s},
        {AgentEventType::taskCompleted, std::nullopt, u"Done"_s, u"完成"_s},
        {AgentEventType::taskFailed, std::nullopt, u"Stopped"_s, u"已停止"_s},
        {AgentEventType::riskyActionDetected, std::nullopt, u"Risky action detected"_s, u"检测到高风险操作"_s},
        {AgentEventType::agentStopped, std::nullopt, u"Session ended"_s, u"会话结束"_s},
    };
    std::set<AgentEventType> covered;
    for (const Row& r : rows) {
        AgentEvent event;
        event.type = r.type;
        event.toolName = u"Read"_s;
        event.command = r.command;
        // The message never shows.
        event.message = u"message text"_s;
        EXPECT_EQ(AgentActivity::phrase(event, Language::en), r.en) << rawValue(r.type).toStdString();
        EXPECT_EQ(AgentActivity::phrase(event, Language::zh), r.zh) << rawValue(r.type).toStdString();
        covered.insert(r.type);
    }
    EXPECT_EQ(covered.size(), kAllAgentEventTypes.size());

    AgentEvent longRequest;
    longRequest.type = AgentEventType::approvalRequired;
    longRequest.command = repeat(u"y"_s, 50);
    EXPECT_EQ(AgentActivity::phrase(longRequest, Language::en),
              u"Approval requested: "_s + repeat(u"y"_s, 40) + u"…"_s);
}

TEST(AgentActivityTest, PetStateRawValues) {
    std::set<QString> seen;
    for (const PetState state : kAllPetStates) {
        const QString raw = rawValue(state);
        EXPECT_TRUE(seen.insert(raw).second) << raw.toStdString();
        EXPECT_EQ(petStateFromRaw(raw), state) << raw.toStdString();
    }
    EXPECT_EQ(rawValue(PetState::compactingContext), u"compactingContext"_s);
    EXPECT_EQ(rawValue(PetState::reactShy), u"reactShy"_s);
    EXPECT_FALSE(petStateFromRaw(u"compacting_context"));
    EXPECT_FALSE(petStateFromRaw(u"Idle"));
    EXPECT_FALSE(petStateFromRaw(u""));
}

} // namespace
} // namespace nubbo
