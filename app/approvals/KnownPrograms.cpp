#include "approvals/KnownPrograms.h"

#include <algorithm>
#include <string_view>

namespace nubbo::programs {

namespace {

// ASCII names, letters, or several names separated by single spaces.
using NameList = std::u16string_view;

// The names are ASCII; a program name matches only in ASCII letters of either case, as the shell finds it
// (no Unicode case folding: "ſudo" is no sudo).
bool sameName(QStringView name, NameList known, Qt::CaseSensitivity cs) {
    if (std::size_t(name.size()) != known.size())
        return false;
    for (std::size_t k = 0; k < known.size(); ++k) {
        char16_t c = name[qsizetype(k)].unicode();
        if (cs == Qt::CaseInsensitive && c >= u'A' && c <= u'Z')
            c = char16_t(c - u'A' + u'a');
        if (c != known[k])
            return false;
    }
    return true;
}

bool listHas(NameList list, QStringView name, Qt::CaseSensitivity cs = Qt::CaseSensitive) {
    for (std::size_t start = 0; start < list.size();) {
        std::size_t end = list.find(u' ', start);
        if (end == NameList::npos)
            end = list.size();
        if (sameName(name, list.substr(start, end - start), cs))
            return true;
        start = end + 1;
    }
    return false;
}

bool letterIn(NameList letters, QChar c) { return letters.find(c.unicode()) != NameList::npos; }

QStringView asView(NameList text) { return QStringView(text.data(), qsizetype(text.size())); }

bool baseNameIn(NameList list, const ShellWord& word) { return listHas(list, word.baseName(), Qt::CaseInsensitive); }

constexpr NameList kShells[] = {u"sh",  u"bash", u"rbash", u"zsh", u"dash", u"ksh",  u"ksh93", u"mksh",
                                 u"lksh", u"pdksh", u"ash", u"yash", u"posh", u"fish", u"csh", u"tcsh"};
constexpr NameList kRootPrograms[] = {u"sudo", u"doas", u"su", u"pkexec", u"run0", u"sudoedit"};

template <std::size_t N>
bool oneOf(const NameList (&names)[N], QStringView name) {
    return std::any_of(std::begin(names), std::end(names),
                       [&](NameList known) { return sameName(name, known, Qt::CaseInsensitive); });
}

// Programs that run the program named after their own options (and, for some, operands).
struct ProgramWrapper {
    NameList name;
    NameList shortWithValue;  // option letters whose value is the next word unless attached
    NameList longWithValue;
    int operands;         // operands before the program: timeout's duration, chrt's priority, flock's file
    bool assignments;     // NAME=VALUE words before the program
};
constexpr ProgramWrapper kWrappers[] = {
    {u"env", u"uCS", u"unset chdir split-string", 0, true},
    {u"nice", u"n", u"adjustment", 0, false},
    {u"nohup", u"", u"", 0, false},
    {u"time", u"fo", u"format output", 0, false},
    {u"timeout", u"sk", u"signal kill-after", 1, false},
    {u"xargs", u"adEILnPs", u"arg-file delimiter max-args max-procs max-chars process-slot-var", 0, false},
    {u"command", u"", u"", 0, false},
    {u"builtin", u"", u"", 0, false},
    {u"exec", u"a", u"", 0, false},
    {u"stdbuf", u"ioe", u"input output error", 0, false},
    {u"ionice", u"cnp", u"class classdata pid", 0, false},
    {u"chrt", u"TPD", u"sched-runtime sched-period sched-deadline", 1, false},
    {u"setsid", u"", u"", 0, false},
    {u"flock", u"wE", u"timeout conflict-exit-code", 1, false},
    {u"sudo", u"ugCDhprtTU", u"user group close-from chdir host prompt role type command-timeout other-user", 0, true},
    {u"doas", u"uC", u"", 0, false},
    {u"pkexec", u"", u"user", 0, false},
    {u"run0", u"ugD", u"user group chdir property description slice unit nice setenv machine", 0, false},
    {u"busybox", u"", u"", 0, false},
};

// Flags with several spellings, by program: "programs" names the programs the row holds for.
struct FlagAlias {
    NameList programs;
    NameList spelling;
    NameList canonical;
};
constexpr FlagAlias kFlagAliases[] = {
    {u"rm cp", u"-R", u"-r"},
    {u"rm cp", u"--recursive", u"-r"},
    {u"rm cp", u"--force", u"-f"},
    {u"chmod chown chgrp", u"--recursive", u"-R"},
    {u"git", u"--force", u"-f"},
};

// The one list of options that keep a trusted command from being vouched for: each writes files, reads
// another configuration or repository, or runs a program of the caller's choosing. "where" is "" for the
// program's own options before its subcommand, "*" for anywhere after the program, or a subcommand.
// Long options count in any unambiguous abbreviation (git, npm and the GNU tools accept them).
struct UnsafeOptions {
    NameList program;
    NameList where;
    NameList options;
};
constexpr UnsafeOptions kUnsafeOptions[] = {
    // git runs programs its configuration names (pager, diff drivers, fsmonitor, hooks).
    {u"git", u"", u"-c -C --config-env --exec-path --git-dir --work-tree"},
    {u"git", u"*", u"--output --ext-diff --textconv --open-files-in-pager --exec --upload-pack --receive-pack --config"},
    {u"git", u"grep", u"-O"},
    {u"git", u"rebase", u"-x"},
    {u"git", u"clone", u"-c -u"},
    {u"npm", u"*",
     u"--script-shell --shell --userconfig --globalconfig --prefix --global --location --node-options --git -C -g"},
    {u"pnpm", u"*", u"--script-shell --config --dir --global --global-dir --store-dir --virtual-store-dir -C -g"},
    {u"bun", u"*", u"--cwd --config --global -c -g"},
    {u"find", u"*", u"-exec -execdir -ok -okdir -delete -fprint -fprint0 -fprintf -fls"},
    {u"sort", u"*", u"--output --compress-program -o"},
    {u"sed", u"*", u"--in-place -i"},
};
// Options that exist in full and so are no abbreviation of an unsafe one.
struct WholeOption {
    NameList program;
    NameList option;
};
constexpr WholeOption kWholeOptions[] = {{u"git", u"--text"}};

// "--name=value" and "--config.key=value" name "name" and "config".
QStringView longOptionName(QStringView word) {
    QStringView name = word.sliced(2);
    if (const qsizetype equals = name.indexOf(u'='); equals >= 0)
        name = name.first(equals);
    if (const qsizetype dot = name.indexOf(u'.'); dot >= 0)
        name = name.first(dot);
    return name;
}

bool looksLikeAssignment(QStringView word) {
    const qsizetype equals = word.indexOf(u'=');
    if (equals <= 0 || !(word[0].isLetter() || word[0] == u'_'))
        return false;
    for (qsizetype k = 1; k < equals; ++k)
        if (!(word[k].isLetterOrNumber() || word[k] == u'_'))
            return false;
    return true;
}

// The index of the program a wrapperFound at `at` runs, or -1.
qsizetype wrappedProgram(const QList<ShellWord>& words, qsizetype at) {
    const ProgramWrapper* wrapperFound = nullptr;
    for (const ProgramWrapper& w : kWrappers)
        if (sameName(words[at].baseName(), w.name, Qt::CaseInsensitive))
            wrapperFound = &w;
    if (!wrapperFound)
        return -1;
    const qsizetype n = words.size();
    qsizetype k = at + 1;
    while (k < n) {
        const QStringView t = words[k].text;
        if (t == u"--") {
            ++k;
            break;
        }
        if (t == u"-" || (wrapperFound->assignments && looksLikeAssignment(t))) {
            ++k;
        } else if (t.startsWith(u"--")) {
            k += !t.contains(u'=') && listHas(wrapperFound->longWithValue, longOptionName(t)) ? 2 : 1;
        } else if (t.size() > 1 && t[0] == u'-') {
            bool valueFollows = false;
            for (qsizetype j = 1; j < t.size(); ++j)
                if (letterIn(wrapperFound->shortWithValue, t[j])) {
                    valueFollows = j == t.size() - 1;
                    break;
                }
            k += valueFollows ? 2 : 1;
        } else {
            break;
        }
    }
    k += wrapperFound->operands;
    return k < n ? k : -1;
}

// The value of -x or --name anywhere after `from`: "-xVALUE", "-ax VALUE", "--name=VALUE", "--name VALUE".
std::optional<QString> optionValueAfter(const QList<ShellWord>& words, qsizetype from, QChar letter, QStringView longName) {
    for (qsizetype k = from; k < words.size(); ++k) {
        const QStringView t = words[k].text;
        if (t == u"--")
            break;
        if (t.startsWith(u"--")) {
            const QStringView body = t.sliced(2);
            if (body.startsWith(longName) && body.size() > longName.size() && body[longName.size()] == u'=')
                return body.sliced(longName.size() + 1).toString();
            if (body == longName && k + 1 < words.size())
                return words[k + 1].text;
            continue;
        }
        if (t.size() > 1 && t[0] == u'-') {
            const qsizetype at = t.indexOf(letter, 1);
            if (at < 0)
                continue;
            if (at + 1 < t.size())
                return t.sliced(at + 1).toString();
            if (k + 1 < words.size())
                return words[k + 1].text;
        }
    }
    return std::nullopt;
}

QString joinedWords(const QList<ShellWord>& words, qsizetype from) {
    QString out;
    for (qsizetype k = from; k < words.size(); ++k) {
        if (k > from)
            out += u' ';
        out += words[k].text;
    }
    return out;
}

// Past the options of a program whose option letters in `withValue` take the next word.
qsizetype skipOptionWords(const QList<ShellWord>& words, qsizetype from, NameList withValue) {
    qsizetype k = from;
    while (k < words.size()) {
        const QStringView t = words[k].text;
        if (t == u"--")
            return k + 1;
        if (t.size() < 2 || t[0] != u'-')
            break;
        k += !t.startsWith(u"--") && t.size() == 2 && letterIn(withValue, t[1]) ? 2 : 1;
    }
    return k;
}

bool unsafeOptionIn(QStringView program, QStringView word, NameList options) {
    if (word.size() < 2 || word[0] != u'-')
        return false;
    const bool isLong = word.startsWith(u"--");
    const QStringView name = isLong ? longOptionName(word) : QStringView();
    for (std::size_t start = 0; start < options.size();) {
        std::size_t end = options.find(u' ', start);
        if (end == NameList::npos)
            end = options.size();
        const QStringView option = asView(options.substr(start, end - start));
        start = end + 1;
        if (option.startsWith(u"--")) {
            if (!isLong || name.isEmpty())
                continue;
            const QStringView unsafe = option.sliced(2);
            if (name == unsafe)
                return true;
            if (unsafe.startsWith(name) &&
                std::none_of(std::begin(kWholeOptions), std::end(kWholeOptions), [&](const WholeOption& w) {
                    return listHas(w.program, program, Qt::CaseInsensitive) && asView(w.option).sliced(2) == name;
                }))
                return true;
        } else if (option.size() == 2) {
            if (!isLong && word.indexOf(option[1], 1) >= 1)
                return true;
        } else if (word == option) {
            return true;
        }
    }
    return false;
}

} // namespace

bool becomesRoot(QStringView name) { return oneOf(kRootPrograms, name); }

QList<qsizetype> invocations(const QList<ShellWord>& words) {
    QList<qsizetype> out;
    for (qsizetype p = 0; p >= 0 && p < words.size() && out.size() < 16; p = wrappedProgram(words, p))
        out.append(p);
    return out;
}

QString canonicalFlag(QStringView program, QStringView flag) {
    const bool isLong = flag.startsWith(u"--");
    const QStringView name = isLong ? longOptionName(flag) : flag;
    for (const FlagAlias& alias : kFlagAliases) {
        if (!listHas(alias.programs, program, Qt::CaseInsensitive))
            continue;
        const QStringView spelling = asView(alias.spelling);
        const QStringView canonical = asView(alias.canonical);
        if (isLong ? spelling.startsWith(u"--") && !name.isEmpty() && spelling.sliced(2).startsWith(name)
                   : spelling == flag)
            return canonical.toString();
    }
    return isLong ? QStringLiteral("--") + name.toString() : flag.toString();
}

QStringList commandStrings(const SimpleCommand& command) {
    QStringList out;
    const QList<ShellWord>& words = command.words;
    bool optionScanned = false;  // su, flock, script, env: their options are looked for once per command
    for (qsizetype i = 0; i < words.size(); ++i) {
        const ShellWord& word = words[i];
        if (word.baseName().size() > 6)
            continue;  // longer than any name below
        if (oneOf(kShells, word.baseName())) {
            qsizetype k = i + 1;
            bool dashC = false;
            while (k < words.size()) {
                const QStringView t = words[k].text;
                if (t == u"-" || t == u"--") {
                    ++k;
                    break;
                }
                if (t.startsWith(u"--")) {
                    if (t == u"--command") {  // fish
                        dashC = true;
                        ++k;
                        break;
                    }
                    k += t == u"--rcfile" || t == u"--init-file" ? 2 : 1;
                    continue;
                }
                if (t.size() < 2 || (t[0] != u'-' && t[0] != u'+'))
                    break;
                dashC = dashC || t.indexOf(u'c', 1) > 0;
                k += t.indexOf(u'o', 1) > 0 || t.indexOf(u'O', 1) > 0 ? 2 : 1;
            }
            if (dashC) {
                if (k < words.size())
                    out.append(words[k].text);
            } else {
                // No -c: the shell reads its standard input.
                for (const ShellRedirection& r : command.redirections) {
                    if (r.op == u"<<<")
                        out.append(r.target.text);
                    else if (r.op == u"<<" || r.op == u"<<-")
                        out.append(r.hereDocument);
                }
            }
            i = std::max(i, k - 1);
        } else if (baseNameIn(u"eval", word)) {
            out.append(joinedWords(words, i + 1));
            break;
        } else if (baseNameIn(u"watch", word)) {
            out.append(joinedWords(words, skipOptionWords(words, i + 1, u"n")));
            break;
        } else if (baseNameIn(u"ssh", word)) {
            const qsizetype host = skipOptionWords(words, i + 1, u"BbcDEeFIiJLlmOoPpQRSWw");
            if (host + 1 < words.size())
                out.append(joinedWords(words, host + 1));
            break;
        } else if (!optionScanned && baseNameIn(u"su flock script env", word)) {
            optionScanned = true;
            const bool env = baseNameIn(u"env", word);
            if (auto value = optionValueAfter(words, i + 1, env ? u'S' : u'c', env ? u"split-string" : u"command"))
                out.append(*value);
        }
    }
    return out;
}

bool hasUnsafeOption(const QList<ShellWord>& words) {
    if (words.isEmpty())
        return false;
    const QStringView program = words[0].text;
    qsizetype subcommand = 1;
    while (subcommand < words.size() && words[subcommand].text.startsWith(u'-'))
        ++subcommand;
    for (const UnsafeOptions& row : kUnsafeOptions) {
        if (!sameName(program, row.program, Qt::CaseInsensitive))
            continue;
        qsizetype from = 1, to = words.size();
        if (row.where.empty()) {
            to = subcommand;
        } else if (row.where != u"*") {
            if (subcommand >= words.size() || !sameName(words[subcommand].text, row.where, Qt::CaseInsensitive))
                continue;
            from = subcommand + 1;
        }
        for (qsizetype k = from; k < to; ++k)
            if (unsafeOptionIn(program, words[k].text, row.options))
                return true;
    }
    return false;
}

std::optional<int> modeBits(QStringView mode) {
    if (mode.isEmpty())
        return std::nullopt;
    if (mode.size() <= 5 && std::all_of(mode.begin(), mode.end(), [](QChar c) { return c >= u'0' && c <= u'7'; }))
        return mode.toInt(nullptr, 8);
    // Symbolic: who [ugoa]*, then actions [+-=] with permissions [rwxXst]; no "who" counts as all.
    int bits = 0;
    for (const QStringView clause : mode.tokenize(u',')) {
        qsizetype k = 0;
        int who = 0;
        for (; k < clause.size(); ++k) {
            const QChar c = clause[k];
            if (c == u'u')
                who |= 0700;
            else if (c == u'g')
                who |= 0070;
            else if (c == u'o')
                who |= 0007;
            else if (c == u'a')
                who |= 0777;
            else
                break;
        }
        if (who == 0)
            who = 0777;
        if (k == clause.size())
            return std::nullopt;
        while (k < clause.size()) {
            const QChar op = clause[k++];
            if (op != u'+' && op != u'-' && op != u'=')
                return std::nullopt;
            int permissions = 0;
            for (; k < clause.size() && clause[k] != u'+' && clause[k] != u'-' && clause[k] != u'='; ++k) {
                const QChar c = clause[k];
                if (c == u'r')
                    permissions |= 0444;
                else if (c == u'w')
                    permissions |= 0222;
                else if (c == u'x' || c == u'X')
                    permissions |= 0111;
                else if (c != u's' && c != u't')
                    return std::nullopt;
            }
            permissions &= who;
            if (op == u'+')
                bits |= permissions;
            else if (op == u'-')
                bits &= ~permissions;
            else
                bits = (bits & ~who) | permissions;
        }
    }
    return bits;
}

} // namespace nubbo::programs
