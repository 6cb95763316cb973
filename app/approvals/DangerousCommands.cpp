#include "approvals/DangerousCommands.h"

#include "approvals/KnownPrograms.h"
#include "approvals/ShellCommandReader.h"

#include <QVarLengthArray>

#include <algorithm>

namespace nubbo {

namespace {

// White space collapsed and trimmed, lower-cased: QString::simplified().toLower(), with a fast path for
// ASCII text, which is nearly every command (Unicode case mapping dominated the cost of a long line).
QString collapsedLower(QStringView text) {
    QString out;
    out.reserve(text.size());
    bool space = false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x80)
            return text.toString().simplified().toLower();
        if (u == u' ' || (u >= u'\t' && u <= u'\r')) {
            space = !out.isEmpty();
            continue;
        }
        if (space)
            out.append(u' ');
        space = false;
        out.append(u >= u'A' && u <= u'Z' ? QChar(char16_t(u + 32)) : c);
    }
    return out;
}

bool isFlagWord(QStringView word) { return word.size() > 1 && word[0] == u'-'; }

// "-rf" is -r and -f; "--force=x" is one flag.
QStringList flagTokens(QStringView program, QStringView word) {
    if (word.startsWith(u"--"))
        return {programs::canonicalFlag(program, word)};
    QStringList out;
    for (qsizetype k = 1; k < word.size(); ++k)
        out.append(programs::canonicalFlag(program, QString(u'-') + word[k]));
    return out;
}

bool sameOperand(QStringView program, QStringView entry, QStringView word) {
    if (program == u"chmod") {
        const auto wanted = programs::modeBits(entry);
        const auto given = programs::modeBits(word);
        // Set-id and sticky bits on top of the entry's permissions do not make the mode any safer.
        if (wanted && given)
            return *wanted <= 0777 ? (*given & 0777) == *wanted : *given == *wanted;
    }
    return word.compare(entry, Qt::CaseInsensitive) == 0;
}

} // namespace

bool DangerousCommands::sameProgram(const Entry& entry, QStringView name) {
    if (entry.becomesRoot && programs::becomesRoot(name))
        return true;
    if (name.size() != entry.program.size())
        return false;
    // Programs are found by their exact name; only ASCII letters are taken in either case.
    for (qsizetype k = 0; k < name.size(); ++k) {
        char16_t c = name[k].unicode();
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c - u'A' + u'a');
        if (c != entry.program[k].unicode())
            return false;
    }
    return true;
}

DangerousCommands::DangerousCommands(const QStringList& entries) {
    for (const QString& text : entries) {
        Entry entry;
        entry.phrase = collapsedLower(text);
        if (entry.phrase.isEmpty())
            continue;
        entry.raw = text.toLower();
        const ShellLine line = ShellCommandReader::read(text);
        if (line.commands.size() == 1 && !line.commands.front().words.isEmpty()) {
            const QList<ShellWord>& words = line.commands.front().words;
            entry.program = words.front().baseName().toString().toLower();
            entry.becomesRoot = programs::becomesRoot(entry.program);
            for (qsizetype k = 1; k < words.size(); ++k) {
                if (isFlagWord(words[k].text)) {
                    for (const QString& flag : flagTokens(entry.program, words[k].text))
                        if (!entry.flags.contains(flag))
                            entry.flags.append(flag);
                } else {
                    entry.operands.append(words[k].text.toLower());
                }
            }
        }
        entries_.append(std::move(entry));
    }
}

bool DangerousCommands::matchText(QStringView text) const {
    const QString lower = text.toString().toLower();
    for (const Entry& entry : entries_)
        if (lower.contains(entry.raw))
            return true;
    return false;
}

bool DangerousCommands::matchCommandLine(QStringView text, const ShellLine& line) const {
    return !entries_.isEmpty() && lineMatches(text, line, 0);
}

bool DangerousCommands::lineMatches(QStringView text, const ShellLine& line, int depth) const {
    if (phraseIn(collapsedLower(text)))
        return true;
    // Each command's words as the program sees them (quotes removed), one command from the next kept apart.
    QString words;
    for (const SimpleCommand& command : line.commands) {
        for (const QList<ShellWord>* list : {&command.assignments, &command.words})
            for (const ShellWord& word : *list)
                words.append(word.text).append(u' ');
        words.append(QChar(u'\0'));
    }
    if (phraseIn(collapsedLower(words)))
        return true;
    for (const SimpleCommand& command : line.commands)
        if (commandMatches(command))
            return true;
    if (depth < kMaxRereads)
        for (const SimpleCommand& command : line.commands)
            for (const QString& inner : programs::commandStrings(command))
                if (lineMatches(inner, ShellCommandReader::read(inner), depth + 1))
                    return true;
    return false;
}

bool DangerousCommands::phraseIn(const QString& collapsed) const {
    for (const Entry& entry : entries_)
        if (collapsed.contains(entry.phrase))
            return true;
    return false;
}

bool DangerousCommands::commandMatches(const SimpleCommand& command) const {
    const QList<ShellWord>& words = command.words;
    // The first word naming each entry's program: it sees the most flags and operands after it.
    QVarLengthArray<qsizetype, 8> first(entries_.size(), -1);
    for (qsizetype k = 0; k < words.size(); ++k) {
        if (isFlagWord(words[k].text))
            continue;
        const QStringView name = words[k].baseName();
        for (qsizetype e = 0; e < entries_.size(); ++e)
            if (first[e] < 0 && !entries_[e].program.isEmpty() && sameProgram(entries_[e], name))
                first[e] = k;
    }
    const bool anyExpandedName =
        std::any_of(words.begin(), words.end(), [](const ShellWord& w) { return w.nameExpanded; });
    const QList<qsizetype> invocations = anyExpandedName ? programs::invocations(words) : QList<qsizetype>{};
    for (qsizetype e = 0; e < entries_.size(); ++e) {
        const Entry& entry = entries_[e];
        if (entry.program.isEmpty())
            continue;
        if (first[e] >= 0 && argumentsMatch(entry, words, first[e]))
            return true;
        for (const qsizetype p : invocations)
            if (words[p].nameExpanded && argumentsMatch(entry, words, p))
                return true;
    }
    return false;
}

bool DangerousCommands::argumentsMatch(const Entry& entry, const QList<ShellWord>& words, qsizetype program) const {
    QList<bool> flagSeen(entry.flags.size(), false);
    QList<bool> operandSeen(entry.operands.size(), false);
    qsizetype missing = entry.flags.size() + entry.operands.size();
    for (qsizetype k = program + 1; k < words.size() && missing > 0; ++k) {
        const QString& word = words[k].text;
        if (isFlagWord(word)) {
            if (entry.flags.isEmpty())
                continue;
            for (const QString& flag : flagTokens(entry.program, word)) {
                const qsizetype at = entry.flags.indexOf(flag);
                if (at >= 0 && !flagSeen[at]) {
                    flagSeen[at] = true;
                    --missing;
                }
            }
        } else {
            for (qsizetype j = 0; j < entry.operands.size(); ++j)
                if (!operandSeen[j] && sameOperand(entry.program, entry.operands[j], word)) {
                    operandSeen[j] = true;
                    --missing;
                }
        }
    }
    return missing == 0;
}

} // namespace nubbo
