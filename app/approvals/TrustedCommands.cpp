#include "approvals/TrustedCommands.h"

#include "approvals/KnownPrograms.h"
#include "approvals/ShellCommandReader.h"

#include <algorithm>

namespace nubbo {

namespace {

// Descriptor copies and the null device open nothing that matters.
bool harmlessRedirection(const ShellRedirection& redirection) {
    if (redirection.duplicatesDescriptor())
        return true;
    return !redirection.feedsText() && !redirection.target.expanded() && redirection.target.text == u"/dev/null";
}

bool plainCommand(const SimpleCommand& command) {
    return command.assignments.isEmpty() && !command.words.isEmpty() &&
           std::none_of(command.words.begin(), command.words.end(), [](const ShellWord& w) { return w.expanded(); }) &&
           std::all_of(command.redirections.begin(), command.redirections.end(), harmlessRedirection);
}

} // namespace

TrustedCommands::TrustedCommands(const QStringList& entries) {
    for (const QString& entry : entries) {
        const ShellLine line = ShellCommandReader::read(entry);
        if (!line.certain() || line.compound || !line.substitutions.isEmpty() || line.commands.size() != 1)
            continue;
        const SimpleCommand& command = line.commands.front();
        if (!plainCommand(command) || !command.redirections.isEmpty())
            continue;
        QStringList words;
        for (const ShellWord& word : command.words)
            words.append(word.text);
        entries_.append(words);
    }
}

bool TrustedCommands::vouchFor(const ShellLine& line) const {
    if (!line.certain() || line.compound || !line.substitutions.isEmpty() || line.commands.isEmpty())
        return false;
    return std::all_of(line.commands.begin(), line.commands.end(), [this](const SimpleCommand& command) {
        return plainCommand(command) && matchesEntry(command.words) && !programs::hasUnsafeOption(command.words);
    });
}

bool TrustedCommands::matchesEntry(const QList<ShellWord>& words) const {
    return std::any_of(entries_.begin(), entries_.end(), [&](const QStringList& entry) {
        if (entry.size() > words.size())
            return false;
        for (qsizetype k = 0; k < entry.size(); ++k)
            if (words[k].text.compare(entry[k], Qt::CaseInsensitive) != 0)
                return false;
        return true;
    });
}

} // namespace nubbo
