#include "model/AgentActivity.h"

#include <QStringView>
#include <QTextBoundaryFinder>

#include <initializer_list>
#include <vector>

namespace nubbo {

namespace {

constexpr int kShownLength = 40;

// Offsets of every grapheme-cluster boundary, the start and the end included.
std::vector<qsizetype> graphemeBoundaries(const QString& text) {
    std::vector<qsizetype> boundaries{0};
    if (text.isEmpty())
        return boundaries;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    while (finder.toNextBoundary() > 0)
        boundaries.push_back(finder.position());
    if (boundaries.back() != text.size())
        boundaries.push_back(text.size());
    return boundaries;
}

bool isLineBreak(QChar c) {
    switch (c.unicode()) {
    case 0x000A: // line feed
    case 0x000B: // vertical tab
    case 0x000C: // form feed
    case 0x000D: // carriage return
    case 0x0085: // next line
    case 0x2028: // line separator
    case 0x2029: // paragraph separator
        return true;
    default:
        return false;
    }
}

QString pick(Language language, const QString& en, const QString& zh) { return language == Language::zh ? zh : en; }

// The last path component as path APIs define it: runs of slashes count as one, a trailing one is ignored,
// and a path of slashes only is "/".
QString lastPathComponent(const QString& path) {
    qsizetype end = path.size();
    while (end > 0 && path[end - 1] == QLatin1Char('/'))
        --end;
    if (end == 0)
        return path.isEmpty() ? QString() : QStringLiteral("/");
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'), end - 1);
    return path.mid(slash + 1, end - slash - 1);
}

QString searchingFor(const QString& query, Language language) {
    return pick(language, QStringLiteral("Searching “"), QStringLiteral("正在搜索 “")) + query + QStringLiteral("”");
}

bool isAnyOf(const QString& name, std::initializer_list<const char*> names) {
    for (const char* candidate : names) {
        if (name == QLatin1String(candidate))
            return true;
    }
    return false;
}

} // namespace

QString AgentActivity::firstLine(const QString& text, int max) {
    QStringView line = text;
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = start;
        while (end < text.size() && !isLineBreak(text[end]))
            ++end;
        if (end > start) {
            line = QStringView(text).sliced(start, end - start);
            break;
        }
        start = end + 1;
    }
    const QString first = line.toString();
    const std::vector<qsizetype> boundaries = graphemeBoundaries(first);
    const auto clusters = qsizetype(boundaries.size()) - 1;
    if (max < 0)
        max = 0;
    if (clusters <= max)
        return first;
    return first.left(boundaries[std::size_t(max)]) + QChar(0x2026);
}

QString AgentActivity::basename(const QString& path) {
    const QString trimmed = path.endsWith(QLatin1Char('/')) ? path.chopped(1) : path;
    const QString component = lastPathComponent(trimmed);
    return component.isEmpty() ? trimmed : component;
}

QString AgentActivity::unquote(const QString& text) {
    QString s = text;
    for (const QChar quote : {QChar(u'"'), QChar(u'\'')}) {
        // Whole user-perceived characters: a quote carrying a combining mark is not a bare quote.
        const std::vector<qsizetype> b = graphemeBoundaries(s);
        const std::size_t clusters = b.size() - 1;
        if (clusters < 2)
            continue;
        const QStringView first = QStringView(s).sliced(b[0], b[1] - b[0]);
        const QStringView last = QStringView(s).sliced(b[clusters - 1], b[clusters] - b[clusters - 1]);
        if (first == QStringView(&quote, 1) && last == QStringView(&quote, 1))
            s = s.mid(b[1], b[clusters - 1] - b[1]);
    }
    return firstLine(s, kShownLength);
}

AgentActivity::Result AgentActivity::classify(const std::optional<QString>& toolName,
                                               const std::optional<QString>& command, const QString& message,
                                               Language language) {
    Q_UNUSED(message);
    const QString name = toolName ? toolName->toLower() : QString();
    const QString arg = command ? command->trimmed() : QString();
    const bool hasArg = !arg.isEmpty();
    const auto text = [language](const char16_t* en, const char16_t* zh) {
        return pick(language, QString::fromUtf16(en), QString::fromUtf16(zh));
    };
    const auto working = [&]() {
        return hasArg ? text(u"Running ", u"正在运行 ") + firstLine(arg, kShownLength) : text(u"Working…", u"工作中…");
    };

    // Besides the names of Claude Code, Codex and OpenCode, the tools the other supported agents report
    // (Gemini CLI and Qwen Code, Copilot CLI, Cline) share the poses, so every agent moves the pet alike.
    if (isAnyOf(name, {"read", "read_file", "read_many_files", "view", "read_files"}))
        return {PetState::reading, hasArg ? text(u"Reading ", u"正在读取 ") + basename(arg)
                                          : text(u"Reading files", u"正在读取文件")};
    if (isAnyOf(name, {"glob", "ls", "list_directory"}))
        return {PetState::reading, text(u"Finding files", u"正在查找文件")};
    if (isAnyOf(name, {"grep", "search_file_content", "grep_search"}))
        return {PetState::searching, hasArg ? searchingFor(unquote(arg), language) : text(u"Searching", u"正在搜索")};
    if (isAnyOf(name, {"webfetch", "websearch", "web_fetch", "google_web_search"}))
        return {PetState::browsing, text(u"Browsing the web", u"正在查阅网页")};
    if (isAnyOf(name, {"edit", "multiedit", "write", "notebookedit", "apply_patch", "applypatch", "write_file",
                       "replace"}))
        return {PetState::coding, hasArg ? text(u"Writing ", u"正在写入 ") + basename(arg)
                                         : text(u"Writing code", u"正在写入代码")};
    if (isAnyOf(name, {"bash", "shell", "exec_command", "execcommand", "exec", "write_stdin", "writestdin",
                       "local_shell", "run_shell_command", "run_commands"}))
        return {PetState::running, working()};
    if (name == QLatin1String("task"))
        return {PetState::coding, text(u"Delegating a subtask", u"正在调度子任务")};
    if (isAnyOf(name, {"todowrite", "update_plan", "updateplan", "write_todos"}))
        return {PetState::planning, text(u"Organizing the to-do list", u"正在整理待办")};
    if (isAnyOf(name, {"view_image", "viewimage"}))
        return {PetState::browsing, text(u"Browsing the web", u"正在查阅网页")};
    if (!name.isEmpty())
        return {PetState::coding, *toolName};
    // No tool: the agent reports plain work, shown as coding even when a command is named.
    return {PetState::coding, working()};
}

QString AgentActivity::phrase(const AgentEvent& event, Language language) {
    const auto text = [language](const char16_t* en, const char16_t* zh) {
        return pick(language, QString::fromUtf16(en), QString::fromUtf16(zh));
    };
    switch (event.type) {
    case AgentEventType::agentStarted:
        return text(u"Started working", u"开始工作");
    case AgentEventType::thinking:
        return text(u"Thinking…", u"思考中…");
    case AgentEventType::coding:
        return classify(event.toolName, event.command, event.message, language).detail;
    case AgentEventType::contextCompacting:
        return text(u"Compacting context…", u"正在压缩上下文…");
    case AgentEventType::responding:
        return text(u"Responding", u"正在回答");
    case AgentEventType::approvalRequired: {
        const QString command = event.command ? event.command->trimmed() : QString();
        if (command.isEmpty())
            return text(u"Approval requested", u"请求授权");
        return text(u"Approval requested: ", u"请求授权：") + firstLine(command, kShownLength);
    }
    case AgentEventType::inputRequired:
        return text(u"Waiting for your input", u"等待你的输入");
    case AgentEventType::taskCompleted:
        return text(u"Done", u"完成");
    case AgentEventType::taskFailed:
        return text(u"Stopped", u"已停止");
    case AgentEventType::riskyActionDetected:
        return text(u"Risky action detected", u"检测到高风险操作");
    case AgentEventType::agentStopped:
        return text(u"Session ended", u"会话结束");
    }
    return {};
}

} // namespace nubbo
