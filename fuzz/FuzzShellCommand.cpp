// Any command line: reading it never fails, a line the trusted list vouches for really is a plain list of
// trusted commands, everything the old fragment test caught still asks, and what the reader returns for a
// line without quoting or expansions is taken from the line as written.
#include "approvals/RequestKind.h"
#include "approvals/ShellCommandReader.h"
#include "approvals/TrustEngine.h"
#include "settings/SettingsStore.h"

#include <cstdint>
#include <cstdlib>

namespace {

using namespace nubbo;

const TrustSettings& settings(ApprovalMode mode) {
    static const TrustSettings smart{ApprovalMode::smart, SettingsStore::defaultTrustedCommands(),
                                     SettingsStore::defaultDangerousCommands(), false};
    static const TrustSettings fullAuto{ApprovalMode::fullAuto, smart.trusted, smart.dangerous, false};
    return mode == ApprovalMode::smart ? smart : fullAuto;
}

// No file opened, nothing expanded or substituted, nothing but words of the default trusted programs.
void checkVouchedFor(const QString& line) {
    const ShellLine read = ShellCommandReader::read(line.trimmed());
    if (!read.certain() || read.compound || !read.substitutions.isEmpty() || read.commands.isEmpty())
        std::abort();
    for (const SimpleCommand& command : read.commands) {
        if (!command.assignments.isEmpty() || command.words.isEmpty())
            std::abort();
        const QString& program = command.words.front().text;
        if (program.compare(u"git", Qt::CaseInsensitive) != 0 && !program.endsWith(u"npm", Qt::CaseInsensitive) &&
            program.compare(u"bun", Qt::CaseInsensitive) != 0)
            std::abort();
        for (const ShellWord& word : command.words)
            if (word.expanded())
                std::abort();
        for (const ShellRedirection& r : command.redirections)
            if (r.feedsText() || ((r.writesFile() || r.readsFile()) && r.target.text != u"/dev/null"))
                std::abort();
    }
}

bool oldFragmentTest(const QString& line) {
    const QString lower = line.toLower();
    for (const QString& entry : settings(ApprovalMode::fullAuto).dangerous)
        if (lower.contains(entry.toLower()))
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString line = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const ShellLine read = ShellCommandReader::read(line);

    if (TrustEngine::decide(line, settings(ApprovalMode::smart)) == TrustDecision::allow)
        checkVouchedFor(line);
    if (TrustEngine::decide(line, RequestKind::other, settings(ApprovalMode::smart)) == TrustDecision::allow)
        std::abort();

    const bool dangerous = TrustEngine::isDangerous(line, settings(ApprovalMode::fullAuto));
    if (dangerous != (TrustEngine::decide(line, settings(ApprovalMode::fullAuto)) == TrustDecision::ask))
        std::abort();
    if (oldFragmentTest(line) && !dangerous)
        std::abort();
    // Another command before it changes nothing about what the line runs (the engine trims the line first:
    // a leading carriage return is no program of its own there).
    if (dangerous &&
        !TrustEngine::isDangerous(QStringLiteral("true; ") + line.trimmed(), settings(ApprovalMode::fullAuto)))
        std::abort();

    const bool literal = std::none_of(line.begin(), line.end(), [](QChar c) {
        return c == u'\'' || c == u'"' || c == u'\\' || c == u'$' || c == u'`';
    });
    if (literal)
        for (const SimpleCommand& command : read.commands) {
            for (const QList<ShellWord>* words : {&command.assignments, &command.words})
                for (const ShellWord& word : *words)
                    if (!line.contains(word.text))
                        std::abort();
            for (const ShellRedirection& r : command.redirections)
                if (!line.contains(r.target.text))
                    std::abort();
        }
    return 0;
}
