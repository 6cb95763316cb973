#include "approvals/ShellCommandReader.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace nubbo {
namespace {

// {NAME=value} [word] fd op [target], commands separated by " ; ".
std::string render(const ShellLine& line) {
    QStringList commands;
    for (const SimpleCommand& command : line.commands) {
        QStringList parts;
        for (const ShellWord& a : command.assignments)
            parts << u'{' + a.text + u'}';
        for (const ShellWord& w : command.words)
            parts << u'[' + w.text + u']';
        for (const ShellRedirection& r : command.redirections)
            parts << (r.fd >= 0 ? QString::number(r.fd) : QString()) + r.op + u'[' + r.target.text + u']';
        commands << parts.join(u' ');
    }
    return commands.join(QStringLiteral(" ; ")).toStdString();
}

TEST(ShellCommandReaderTest, CommandsWordsAndRedirections) {
    struct Row {
        QString line;
        std::string commands;
        ShellDoubt doubt = ShellDoubt::none;
        bool compound = false;
    };
    const QString deep = QString(QStringLiteral("$(")).repeated(40) + QString(u')').repeated(40);
    const Row rows[] = {
        {u"  GIT   STATUS  "_s, "[GIT] [STATUS]"},
        {uR"(r''m -rf "a b" \x 'a\b' "q\"$" "\$HOME")"_s, R"([rm] [-rf] [a b] [x] [a\b] [q"$] [$HOME])"},
        {uR"($'r\x6d' $'a\'b\tc' $"d")"_s, "[rm] [a'b\tc] [d]"},
        {u"a && b || c; d & e | f |& g\nh"_s, "[a] ; [b] ; [c] ; [d] ; [e] ; [f] ; [g] ; [h]"},
        {u"a |\n b && \\\n c"_s, "[a] ; [b] ; [c]"},
        {u"FOO=1 BAR='x y' git status x=1"_s, "{FOO=1} {BAR=x y} [git] [status] [x=1]"},
        {u"c >o 2>>e <i 3<>rw >|f &>b &>>m 2>&1 >&- <&3 <<<'h s' echo 2 > x"_s,
         "[c] [echo] [2] >[o] 2>>[e] <[i] 3<>[rw] >|[f] &>[b] &>>[m] 2>&[1] >&[-] <&[3] <<<[h s] >[x]"},
        {u"echo a # rm -rf ~\necho a#b"_s, "[echo] [a] ; [echo] [a#b]"},
        // A here-document's body is text, however much it looks like commands.
        {u"cat <<'EOF' > f\nrm -rf x\nEOF\nls"_s, "[cat] <<[EOF] >[f] ; [ls]", ShellDoubt::hereDocument},
        {u"cat <<-EOF\n\t$(sudo id)\n\tEOF"_s, "[cat] <<-[EOF] ; [sudo] [id]", ShellDoubt::hereDocument},
        // Commands inside substitutions are listed where they start.
        {u"echo $(sudo id) `whoami` \"$(rm -rf \"x y\")\""_s,
         "[echo] [$(sudo id)] [`whoami`] [$(rm -rf \"x y\")] ; [sudo] [id] ; [whoami] ; [rm] [-rf] [x y]"},
        {u"cat <(sudo cat /etc/shadow) >(tee x)"_s,
         "[cat] [<(sudo cat /etc/shadow)] [>(tee x)] ; [sudo] [cat] [/etc/shadow] ; [tee] [x]"},
        {u"x=$((1 + $(id -u))) ${y:-$(date)}"_s, "{x=$((1 + $(id -u)))} [${y:-$(date)}] ; [id] [-u] ; [date]",
         ShellDoubt::expandedProgram},
        {u"(cd x && make) > log"_s, "[cd] [x] ; [make] ; >[log]", ShellDoubt::none, true},
        {u"{ git status; } 2>/dev/null"_s, "[git] [status] ; 2>[/dev/null]", ShellDoubt::none, true},
        {u"if git diff; then git status; elif ! a; then b; else c; fi"_s,
         "[git] [diff] ; [git] [status] ; [a] ; [b] ; [c]", ShellDoubt::none, true},
        {u"for f in a $(ls); do rm \"$f\"; done < f"_s, "[ls] ; [rm] [$f] ; <[f]", ShellDoubt::none, true},
        {u"case $x in a|b) echo a;; (*) rm -rf y;; esac; ls"_s, "[echo] [a] ; [rm] [-rf] [y] ; [ls]",
         ShellDoubt::none, true},
        {u"while ((i < 3)); do echo; done"_s, "[echo]", ShellDoubt::none, true},
        {u"echo 'open"_s, "[echo] [open]", ShellDoubt::unterminated},
        {u"echo \"open $(ls"_s, "[echo] [open $(ls] ; [ls]", ShellDoubt::unterminated},
        {u"echo `ls"_s, "[echo] [`ls] ; [ls]", ShellDoubt::unterminated},
        {u"{ ls; "_s, "[ls]", ShellDoubt::unterminated, true},
        {u"ls |"_s, "[ls]", ShellDoubt::syntax},
        {u"&& ls"_s, "[ls]", ShellDoubt::syntax},
        {u"ls ;; ls"_s, "[ls] ; [ls]", ShellDoubt::syntax},
        {u"ls ) ls"_s, "[ls] ; [ls]", ShellDoubt::syntax},
        {u"command eval ls"_s, "[command] [eval] [ls]", ShellDoubt::eval},
        {u"$CMD -rf x"_s, "[$CMD] [-rf] [x]", ShellDoubt::expandedProgram},
        {u"$HOME/bin/tool x"_s, "[$HOME/bin/tool] [x]"},
        {u"f() { ls; }"_s, "[ls]", ShellDoubt::unsupported, true},
        {u"[[ -f x ]] && ls"_s, "[[[] [-f] [x] []]] ; [ls]", ShellDoubt::unsupported},
        {u"a=(1 $(id)) ls"_s, "{a=} [ls] ; [id]", ShellDoubt::unsupported},
        {deep, "", ShellDoubt::tooDeep},
    };
    for (const Row& r : rows) {
        const ShellLine line = ShellCommandReader::read(r.line);
        EXPECT_EQ(render(line), r.commands) << r.line.toStdString();
        EXPECT_EQ(line.doubt, r.doubt) << r.line.toStdString();
        EXPECT_EQ(line.compound, r.compound) << r.line.toStdString();
    }
}

TEST(ShellCommandReaderTest, ExpansionsOfTheFirstWord) {
    using E = ShellExpansion;
    struct Row {
        QString word;
        ShellExpansions expansions;
        bool nameExpanded;
    };
    const Row rows[] = {
        {u"plain/word"_s, {}, false},
        {u"'$HOME' \\$HOME"_s, {}, false},
        {u"$HOME/bin/x"_s, E::parameter, false},
        {u"\"$1\""_s, E::parameter, true},
        {u"/bin/$X"_s, E::parameter, true},
        {u"\"${X:-$(id)}\""_s, E::parameter | E::command, true},
        {u"`id`/x"_s, E::command, false},
        {u"$((1+2))"_s, E::arithmetic, true},
        {u"<(ls)"_s, E::process, true},
        {u"/bin/r?"_s, E::pathname, true},
        {u"*.c"_s, E::pathname, true},
        {u"'*.c'"_s, {}, false},
        {u"["_s, {}, false},  // the test command, no pattern
        {u"~/x"_s, E::tilde, false},
        {u"--prefix=~/x"_s, E::tilde, false},
        {u"a~b"_s, {}, false},
        {u"{r,}m"_s, E::brace, true},
        {u"x{1..3}"_s, E::brace, true},
        {u"HEAD@{1}"_s, {}, false},
    };
    for (const Row& r : rows) {
        const ShellLine line = ShellCommandReader::read(r.word);
        ASSERT_FALSE(line.commands.isEmpty()) << r.word.toStdString();
        const SimpleCommand& command = line.commands.front();
        const ShellWord& word = command.words.isEmpty() ? command.assignments.front() : command.words.front();
        EXPECT_EQ(word.expansions, r.expansions) << r.word.toStdString();
        EXPECT_EQ(word.nameExpanded, r.nameExpanded) << r.word.toStdString();
    }
}

TEST(ShellCommandReaderTest, SubstitutionTextsAndRedirectionKinds) {
    const ShellLine line =
        ShellCommandReader::read(u"echo $(a $(b)) `c` <(d) >(e) $((1)) >/dev/null 2>&1 >&f <&0 <x <<<y 1<>z"_s);
    EXPECT_EQ(line.substitutions, (QStringList{u"b"_s, u"a $(b)"_s, u"c"_s, u"d"_s, u"e"_s}));
    const QList<ShellRedirection>& r = line.commands.front().redirections;
    ASSERT_EQ(r.size(), 7);
    const auto kinds = [](const ShellRedirection& x) {
        return std::string(x.writesFile() ? "w" : "") + (x.readsFile() ? "r" : "") +
               (x.duplicatesDescriptor() ? "d" : "") + (x.feedsText() ? "t" : "");
    };
    const char* expected[] = {"w", "d", "w", "d", "r", "t", "wr"};
    for (qsizetype k = 0; k < r.size(); ++k)
        EXPECT_EQ(kinds(r[k]), expected[k]) << (r[k].op + r[k].target.text).toStdString();
}

} // namespace
} // namespace nubbo
