#include "hooks/TomlHookEntries.h"

#include <toml++/toml.h>

#include <regex>
#include <set>
#include <sstream>

namespace nubbo {
namespace {

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool isBlank(const std::string& line) { return line.find_first_not_of(" \t\r") == std::string::npos; }

// A table the app writes is a header and plain key lines. Anything else in a [[hooks]] table (a multi-line
// string, another key) makes it the user's, and it is never touched.
bool isHooksHeader(const std::string& line) {
    static const std::regex header(R"(^[ \t]*\[\[[ \t]*hooks[ \t]*\]\][ \t\r]*(#.*)?$)");
    return std::regex_match(line, header);
}

bool isPlainHookKey(const std::string& line) {
    static const std::regex key(
        R"re(^[ \t]*(event|matcher|command|timeout)[ \t]*=[ \t]*("([^"\\]|\\.)*"|'[^']*'|[0-9]+)[ \t\r]*(#.*)?$)re");
    return std::regex_match(line, key);
}

bool isOwnCommand(const std::string& line) {
    static const std::regex command(R"(^[ \t]*command[ \t]*=)");
    return std::regex_search(line, command) && line.find(kAppHookMarker) != std::string::npos;
}

// The text split in two: without the app's tables (each with the blank line written before it), and those
// tables alone.
struct Split {
    std::string kept;
    std::string own;
    bool removed() const { return !own.empty(); }
};

Split removeOwnTables(const std::string& text) {
    const std::vector<std::string> lines = splitLines(text);
    std::vector<std::string> kept;
    Split split;
    for (std::size_t i = 0; i < lines.size();) {
        if (!isHooksHeader(lines[i])) {
            kept.push_back(lines[i++]);
            continue;
        }
        std::size_t end = i + 1;
        bool own = false;
        while (end < lines.size() && isPlainHookKey(lines[end])) {
            own = own || isOwnCommand(lines[end]);
            ++end;
        }
        if (!own) {
            kept.insert(kept.end(), lines.begin() + std::ptrdiff_t(i), lines.begin() + std::ptrdiff_t(end));
        } else {
            for (std::size_t line = i; line < end; ++line)
                split.own += lines[line] + '\n';
            if (!kept.empty() && isBlank(kept.back()))
                kept.pop_back();
        }
        i = end;
    }
    for (const auto& line : kept)
        split.kept += line + '\n';
    // A file that did not end in a newline keeps that, unless its end was one of the app's tables.
    if (!text.empty() && text.back() != '\n' && !split.kept.empty() && !split.removed())
        split.kept.pop_back();
    return split;
}

std::optional<toml::table> parse(const std::string& text, std::string* error = nullptr) {
    try {
        return toml::parse(text);
    } catch (const toml::parse_error& failure) {
        if (error) {
            std::ostringstream description;
            description << "line " << failure.source().begin.line << ": " << failure.description();
            *error = description.str();
        }
        return std::nullopt;
    }
}

bool isOwnTable(const toml::node& node) {
    const toml::table* table = node.as_table();
    if (!table)
        return false;
    const auto command = (*table)["command"].value<std::string>();
    return command && command->find(kAppHookMarker) != std::string::npos;
}

// What the user configured: the document with the app's tables taken out, so two texts can be compared for
// everything but them.
toml::table userPart(toml::table document) {
    if (toml::array* hooks = document["hooks"].as_array()) {
        for (auto it = hooks->begin(); it != hooks->end();) {
            if (isOwnTable(*it))
                it = hooks->erase(it);
            else
                ++it;
        }
        if (hooks->empty())
            document.erase("hooks");
    }
    return document;
}

// The split of a valid text whose app tables come out leaving everything else as it was.
std::optional<Split> cleanSplit(const std::string& text) {
    const std::optional<toml::table> before = parse(text);
    if (!before)
        return std::nullopt;
    Split split = removeOwnTables(text);
    const std::optional<toml::table> after = parse(split.kept);
    if (!after || userPart(*after) != userPart(*before))
        return std::nullopt;
    return split;
}

std::string basicString(const std::string& value) {
    std::string out = "\"";
    for (const char c : value) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + '"';
}

} // namespace

std::string TomlHookEntries::makeTable(const ProviderSpec& spec, std::string_view event, const std::string& command) {
    return "[[hooks]]\nevent = " + basicString(std::string(event)) + "\ncommand = " + basicString(command) +
           "\ntimeout = " + std::to_string(hookTimeout(spec, event)) + "\n";
}

TomlHookEntries::Edit TomlHookEntries::merge(const std::string& text, const ProviderSpec& spec,
                                             const HookCommandFor& commandFor) {
    std::string why;
    const std::optional<toml::table> before = parse(text, &why);
    if (!before)
        return {{}, "is not valid TOML (" + why + ")"};
    std::string out = removeOwnTables(text).kept;
    if (!out.empty() && out.back() != '\n')
        out += '\n';
    for (const auto& event : spec.events) {
        if (!out.empty())
            out += '\n';
        out += makeTable(spec, event, commandFor(event));
    }
    const std::optional<toml::table> after = parse(out, &why);
    if (!after)
        return {{}, "cannot take the app's [[hooks]] tables (" + why + ")"};
    if (userPart(*after) != userPart(*before))
        return {{}, "could not be edited without changing its other settings"};
    return {out, {}};
}

std::optional<std::string> TomlHookEntries::strip(const std::string& text) {
    std::optional<Split> split = cleanSplit(text);
    if (!split || !split->removed())
        return std::nullopt;
    return std::move(split->kept);
}

bool TomlHookEntries::isWired(const std::string& text, const std::vector<std::string>& events) {
    // Only the tables the app can take out again count: a user's table that merely runs the bridge is the
    // user's, and counting it would leave an event that an uninstall cannot unwire.
    const std::optional<Split> split = cleanSplit(text);
    const std::optional<toml::table> own = split ? parse(split->own) : std::nullopt;
    if (!own)
        return false;
    std::set<std::string> wired;
    if (const toml::array* hooks = (*own)["hooks"].as_array())
        for (const auto& node : *hooks)
            if (const auto event = (*node.as_table())["event"].value<std::string>())
                wired.insert(*event);
    for (const auto& event : events)
        if (!wired.count(event))
            return false;
    return true;
}

} // namespace nubbo
