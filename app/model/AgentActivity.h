// Turns what an agent reports about a tool call into a pose and a short phrase, and gives every event a
// one-line phrase for the agent log. Pure functions: the language is an argument, nothing is stored.
#pragma once

#include "model/AgentEvent.h"
#include "model/PetState.h"
#include "core/SettingsEnums.h"

#include <QString>

#include <optional>

namespace nubbo {

struct AgentActivity {
    struct Result {
        PetState pose = PetState::coding;
        QString detail;
        bool operator==(const Result&) const = default;
    };

    // The tool name is matched whole after lower-casing; the command is trimmed first and a blank one counts
    // as absent. The message plays no part.
    static Result classify(const std::optional<QString>& toolName, const std::optional<QString>& command,
                           const QString& message, Language language);
    static QString phrase(const AgentEvent& event, Language language);

    // The first non-empty line (or the text itself when it has none), cut to max grapheme clusters with "…"
    // appended when it was longer.
    static QString firstLine(const QString& text, int max);
    // The last path component, a trailing slash ignored; "" for "/" and "".
    static QString basename(const QString& path);
    // Drops one pair of surrounding double quotes, then one pair of single quotes, then takes firstLine(…, 40).
    static QString unquote(const QString& text);
};

} // namespace nubbo
