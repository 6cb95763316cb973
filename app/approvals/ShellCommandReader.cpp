#include "approvals/ShellCommandReader.h"

#include <algorithm>

namespace nubbo {

namespace {

bool isShellNameStart(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool isShellNameChar(int c) { return isShellNameStart(c) || (c >= '0' && c <= '9'); }
bool isAsciiDigit(int c) { return c >= '0' && c <= '9'; }

int hexDigitValue(int c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool digitsOnly(QStringView text) {
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return isAsciiDigit(c.unicode()); });
}

// NAME=… (also NAME+=…) whose name part was written plainly.
bool isShellAssignment(const QString& text, qsizetype plainLength) {
    const qsizetype equals = text.indexOf(u'=');
    if (equals <= 0 || (plainLength >= 0 && equals >= plainLength))
        return false;
    const qsizetype nameEnd = text[equals - 1] == u'+' ? equals - 1 : equals;
    if (nameEnd == 0 || !isShellNameStart(text[0].unicode()))
        return false;
    for (qsizetype k = 1; k < nameEnd; ++k)
        if (!isShellNameChar(text[k].unicode()))
            return false;
    return true;
}

// A word as it is put together.
struct ShellWordBuilder {
    ShellWord word;
    // Length of the leading text written without quotes, escapes or expansions; -1 while all of it is.
    qsizetype plainLength = -1;
    // Text index after the last '/' that is no part of an expansion.
    qsizetype nameStart = 0;
    // Text index after the last expansion.
    qsizetype expansionEnd = -1;
    int braceDepth = 0;
    bool braceList = false;
    bool bracketOpen = false;

    bool plain() const { return plainLength < 0; }
    void markSpecial() {
        if (plainLength < 0)
            plainLength = word.text.size();
    }
    void markExpansion(ShellExpansion kind) {
        word.expansions |= kind;
        expansionEnd = word.text.size();
    }
    void appendLiteral(QChar c) {
        word.text.append(c);
        if (c == u'/')
            nameStart = word.text.size();
    }
    void appendLiteral(QStringView run) {
        word.text.append(run);
        if (const qsizetype slash = run.lastIndexOf(u'/'); slash >= 0)
            nameStart = word.text.size() - run.size() + slash + 1;
    }
    void appendCodePoint(char32_t code) {
        if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return;  // the shell ends the string at a NUL; the rest are no characters
        if (code >= 0x10000) {
            word.text.append(QChar::highSurrogate(code));
            word.text.append(QChar::lowSurrogate(code));
        } else {
            appendLiteral(QChar(char16_t(code)));
        }
    }
    ShellWord take() {
        word.nameExpanded = expansionEnd > nameStart;
        return std::move(word);
    }
};

enum class ListCloser { none, paren, backtick, caseItem };
enum class ListStop { input, closer, caseBreak, esac, stopped };

class LineReader {
public:
    explicit LineReader(QStringView text) : s_(text), end_(text.size()) {}

    ShellLine run() {
        readList(ListCloser::none);
        // Commands inside substitutions end, and so are listed, before the command holding them.
        const auto byPosition = [](const SimpleCommand& a, const SimpleCommand& b) { return a.position < b.position; };
        if (!std::is_sorted(out_.commands.cbegin(), out_.commands.cend(), byPosition))
            std::stable_sort(out_.commands.begin(), out_.commands.end(), byPosition);
        return std::move(out_);
    }

private:
    // Counts one level of nesting for as long as it lives; past the cap, reading stops.
    struct Nest {
        explicit Nest(LineReader& reader) : r(reader) {
            if (++r.depth_ > ShellCommandReader::kMaxDepth) {
                r.doubt(ShellDoubt::tooDeep);
                r.stop_ = true;
            }
        }
        ~Nest() { --r.depth_; }
        bool ok() const { return !r.stop_; }
        LineReader& r;
    };

    struct PendingHereDocument {
        qsizetype command;
        qsizetype redirection;
        QString delimiter;
        bool stripTabs;
        bool quoted;
    };

    // -1 past the end.
    int at(qsizetype k) const { return k < end_ ? s_[k].unicode() : -1; }

    void doubt(ShellDoubt why) {
        if (out_.doubt == ShellDoubt::none)
            out_.doubt = why;
    }

    void skipBlanks() {
        for (;;) {
            const int c = at(i_);
            if (c == ' ' || c == '\t')
                ++i_;
            else if (c == '\\' && at(i_ + 1) == '\n')
                i_ += 2;  // a continued line
            else
                return;
        }
    }

    void skipComment() {
        while (i_ < end_ && s_[i_] != u'\n')
            ++i_;
    }

    static bool hasContent(const SimpleCommand& cmd) {
        return !cmd.words.isEmpty() || !cmd.assignments.isEmpty() || !cmd.redirections.isEmpty();
    }

    void emitCommand(SimpleCommand& cmd) {
        if (!hasContent(cmd))
            return;
        if (!cmd.words.isEmpty()) {
            const ShellWord& program = cmd.words.front();
            if (program.nameExpanded)
                doubt(ShellDoubt::expandedProgram);
            qsizetype k = 0;
            // command, builtin and exec run eval just the same.
            while (k + 1 < cmd.words.size() && (cmd.words[k].text == u"command" || cmd.words[k].text == u"builtin" ||
                                                cmd.words[k].text == u"exec" || cmd.words[k].text.startsWith(u'-')))
                ++k;
            if (cmd.words[k].text == u"eval")
                doubt(ShellDoubt::eval);
        }
        for (qsizetype r = 0; r < cmd.redirections.size(); ++r) {
            const ShellRedirection& redirection = cmd.redirections[r];
            if (redirection.op == u"<<" || redirection.op == u"<<-")
                pending_.append({out_.commands.size(), r, redirection.target.text, redirection.op == u"<<-",
                                 redirection.target.quoted});
        }
        out_.commands.append(std::move(cmd));
        cmd = {};
    }

    // After a line break: the bodies of the here-documents opened on the line, up to their delimiters.
    void readHereDocuments() {
        const QList<PendingHereDocument> pending = std::exchange(pending_, {});
        for (const PendingHereDocument& doc : pending) {
            const qsizetype bodyStart = i_;
            qsizetype bodyEnd = end_;
            while (i_ < end_) {
                const qsizetype lineStart = i_;
                qsizetype lineEnd = s_.indexOf(u'\n', i_);
                if (lineEnd < 0 || lineEnd > end_)
                    lineEnd = end_;
                QStringView line = s_.sliced(lineStart, lineEnd - lineStart);
                if (doc.stripTabs)
                    while (line.startsWith(u'\t'))
                        line = line.sliced(1);
                i_ = lineEnd < end_ ? lineEnd + 1 : end_;
                if (line == doc.delimiter) {
                    bodyEnd = lineStart;
                    break;
                }
            }
            if (bodyEnd == end_)
                doubt(ShellDoubt::unterminated);
            const QStringView body = s_.sliced(bodyStart, bodyEnd - bodyStart);
            out_.commands[doc.command].redirections[doc.redirection].hereDocument = body.toString();
            if (!doc.quoted) {
                // An unquoted delimiter leaves the body's substitutions live.
                const qsizetype resume = i_;
                const qsizetype outerEnd = end_;
                i_ = bodyStart;
                end_ = bodyEnd;
                ShellWordBuilder scratch;
                readDoubleQuotedText(scratch, true);
                i_ = resume;
                end_ = outerEnd;
            }
            if (stop_)
                return;
        }
    }

    // Reads commands up to the end of the line or the closer; returns on what it stopped.
    ListStop readList(ListCloser closer) {
        Nest nest(*this);
        if (!nest.ok())
            return ListStop::stopped;

        SimpleCommand cmd;
        bool needCommand = false;  // after | && || a command must follow
        bool sawCommand = false;   // something since the last separator
        bool afterClose = false;   // after } ) fi done esac only redirections may follow
        int groups = 0, ifs = 0, loops = 0;
        enum class For { no, name, words } forState = For::no;

        const auto finish = [&] {
            emitCommand(cmd);
            afterClose = false;
        };
        const auto separator = [&](bool binary) {
            if (!sawCommand && !hasContent(cmd))
                doubt(ShellDoubt::syntax);
            finish();
            sawCommand = false;
            needCommand = binary;
            forState = For::no;
        };
        const auto checkClosed = [&] {
            if (needCommand)
                doubt(ShellDoubt::syntax);
            if (groups || ifs || loops || forState != For::no)
                doubt(ShellDoubt::unterminated);
        };

        for (;;) {
            if (stop_) {
                finish();
                return ListStop::stopped;
            }
            skipBlanks();
            const qsizetype tokenStart = i_;
            const int c = at(i_);
            if (c < 0) {
                finish();
                checkClosed();
                if (closer != ListCloser::none)
                    doubt(ShellDoubt::unterminated);
                return ListStop::input;
            }
            if (c == '#') {
                skipComment();
                continue;
            }
            if (c == '\n') {
                ++i_;
                finish();
                sawCommand = false;
                if (forState == For::words)
                    forState = For::no;
                readHereDocuments();
                continue;
            }
            if (c == '`' && backtickOpen_) {
                finish();
                checkClosed();
                if (closer != ListCloser::backtick)
                    doubt(ShellDoubt::unterminated);
                return ListStop::closer;
            }
            if (c == ')') {
                if (closer == ListCloser::paren) {
                    finish();
                    checkClosed();
                    return ListStop::closer;
                }
                doubt(ShellDoubt::syntax);
                ++i_;
                finish();
                continue;
            }
            if (c == ';') {
                if (at(i_ + 1) == ';' || at(i_ + 1) == '&') {
                    i_ += at(i_ + 1) == ';' && at(i_ + 2) == '&' ? 3 : 2;
                    if (closer == ListCloser::caseItem) {
                        finish();
                        checkClosed();
                        return ListStop::caseBreak;
                    }
                    doubt(ShellDoubt::syntax);
                    separator(false);
                    continue;
                }
                ++i_;
                separator(false);
                continue;
            }
            if (c == '&' && at(i_ + 1) != '>') {
                const bool andList = at(i_ + 1) == '&';
                i_ += andList ? 2 : 1;
                separator(andList);
                continue;
            }
            if (c == '|') {
                i_ += at(i_ + 1) == '|' || at(i_ + 1) == '&' ? 2 : 1;
                separator(true);
                continue;
            }
            if (c == '(') {
                if (hasContent(cmd) || afterClose) {
                    // name ( ) … defines a function; anything else before ( is wrong.
                    const bool function = cmd.words.size() == 1 && cmd.assignments.isEmpty() &&
                                          cmd.redirections.isEmpty() && !afterClose;
                    doubt(function ? ShellDoubt::unsupported : ShellDoubt::syntax);
                    if (function) {
                        cmd = {};  // the name runs nothing
                        ++i_;
                        skipBlanks();
                        if (at(i_) == ')')
                            ++i_;
                        sawCommand = false;
                        continue;
                    }
                    finish();
                }
                out_.compound = true;
                needCommand = false;
                if (at(i_ + 1) == '(') {
                    readArithmetic(nullptr, 2);
                } else {
                    ++i_;
                    if (readList(ListCloser::paren) == ListStop::stopped)
                        continue;
                    if (at(i_) == ')')
                        ++i_;
                }
                sawCommand = true;
                afterClose = true;
                continue;
            }
            if ((c == '<' || c == '>' || c == '&') && at(i_ + 1) != '(') {
                if (!hasContent(cmd))
                    cmd.position = tokenStart;
                readRedirection(cmd, -1);
                sawCommand = true;
                needCommand = false;
                continue;
            }

            ShellWordBuilder built = readWord();
            if (stop_)
                continue;  // what was read of the word is too little to judge
            if (i_ == tokenStart) {
                // Nothing this reader knows starts here.
                doubt(ShellDoubt::unsupported);
                ++i_;
                continue;
            }
            const int next = at(i_);
            if ((next == '<' || next == '>') && at(i_ + 1) != '(' && built.plain() &&
                digitsOnly(built.word.text) && built.word.text.size() <= 4) {
                if (!hasContent(cmd))
                    cmd.position = tokenStart;
                readRedirection(cmd, built.word.text.toInt());
                sawCommand = true;
                needCommand = false;
                continue;
            }
            needCommand = false;
            sawCommand = true;
            if (forState == For::name) {
                forState = For::words;
                continue;
            }
            const QString& text = built.word.text;
            if (forState == For::words) {
                if (built.plain() && text == u"do") {
                    forState = For::no;
                    sawCommand = false;
                }
                continue;
            }
            // Reserved words are at most eight letters long.
            if (!hasContent(cmd) && built.plain() && text.size() <= 8) {
                if (!afterClose && (text == u"{" || text == u"!" || text == u"if" || text == u"while" ||
                                    text == u"until" || text == u"then" || text == u"else" || text == u"elif" ||
                                    text == u"do")) {
                    if (text == u"{")
                        ++groups;
                    else if (text == u"if")
                        ++ifs;
                    else if (text == u"while" || text == u"until")
                        ++loops;
                    if (text != u"!")
                        out_.compound = true;
                    sawCommand = false;
                    continue;
                }
                if (text == u"}" || text == u"fi" || text == u"done") {
                    int& open = text == u"}" ? groups : text == u"fi" ? ifs : loops;
                    if (open > 0)
                        --open;
                    else
                        doubt(ShellDoubt::syntax);
                    afterClose = true;
                    continue;
                }
                if (!afterClose && (text == u"for" || text == u"select")) {
                    ++loops;
                    out_.compound = true;
                    sawCommand = false;
                    skipBlanks();
                    if (at(i_) == '(' && at(i_ + 1) == '(') {
                        readArithmetic(nullptr, 2);
                        sawCommand = true;
                    } else {
                        forState = For::name;
                    }
                    continue;
                }
                if (!afterClose && text == u"case") {
                    out_.compound = true;
                    readCase();
                    afterClose = true;
                    continue;
                }
                if (text == u"esac") {
                    if (closer == ListCloser::caseItem) {
                        finish();
                        checkClosed();
                        return ListStop::esac;
                    }
                    doubt(ShellDoubt::syntax);
                    afterClose = true;
                    continue;
                }
                if (!afterClose && (text == u"function" || text == u"coproc")) {
                    doubt(ShellDoubt::unsupported);
                    sawCommand = false;
                    if (text == u"function") {
                        // The name, and the ( ) that may follow it, run nothing.
                        skipBlanks();
                        if (at(i_) >= 0 && isPlainWordChar(at(i_)))
                            readWord();
                        skipBlanks();
                        if (at(i_) == '(') {
                            ++i_;
                            skipBlanks();
                            if (at(i_) == ')')
                                ++i_;
                        }
                    }
                    continue;
                }
                if (text == u"[[")
                    doubt(ShellDoubt::unsupported);  // && || < > mean other things inside
            }
            if (afterClose)
                doubt(ShellDoubt::syntax);
            if (!hasContent(cmd))
                cmd.position = tokenStart;
            if (cmd.words.isEmpty() && isShellAssignment(text, built.plainLength)) {
                if (at(i_) == '(') {
                    doubt(ShellDoubt::unsupported);  // NAME=( … ) fills an array
                    readArrayElements();
                }
                cmd.assignments.append(built.take());
                continue;
            }
            cmd.words.append(built.take());
        }
    }

    // case WORD in [(]PATTERN[|PATTERN…]) LIST ;; … esac, after the word case.
    void readCase() {
        Nest nest(*this);
        if (!nest.ok())
            return;
        const auto skipSpace = [this] {
            for (;;) {
                skipBlanks();
                if (at(i_) == '\n')
                    ++i_;
                else if (at(i_) == '#')
                    skipComment();
                else
                    return;
            }
        };
        const auto wordStarts = [this] {
            const int c = at(i_);
            return c >= 0 && c != '\n' && c != ';' && c != '&' && c != '|' && c != '(' && c != ')' &&
                   !((c == '<' || c == '>') && at(i_ + 1) != '(') && !(c == '`' && backtickOpen_);
        };
        skipBlanks();
        if (!wordStarts()) {
            doubt(ShellDoubt::syntax);
            return;
        }
        readWord();  // the subject
        skipSpace();
        const ShellWordBuilder in = wordStarts() ? readWord() : ShellWordBuilder{};
        if (!in.plain() || in.word.text != u"in") {
            doubt(ShellDoubt::syntax);
            return;
        }
        for (;;) {
            if (stop_)
                return;
            skipSpace();
            if (at(i_) < 0) {
                doubt(ShellDoubt::unterminated);
                return;
            }
            if (at(i_) == '(')
                ++i_;
            bool first = true;
            for (;;) {
                skipBlanks();
                const int c = at(i_);
                if (c == ')') {
                    ++i_;
                    break;
                }
                if (c == '|') {
                    ++i_;
                    continue;
                }
                if (!wordStarts()) {
                    doubt(c < 0 ? ShellDoubt::unterminated : ShellDoubt::syntax);
                    return;
                }
                const qsizetype before = i_;
                const ShellWordBuilder pattern = readWord();
                if (stop_)
                    return;
                if (i_ == before) {
                    doubt(ShellDoubt::syntax);  // nothing a pattern can start with
                    return;
                }
                if (first && pattern.plain() && pattern.word.text == u"esac")
                    return;
                first = false;
            }
            switch (readList(ListCloser::caseItem)) {
            case ListStop::caseBreak:
                continue;
            case ListStop::input:
            case ListStop::closer:
                doubt(ShellDoubt::unterminated);
                return;
            case ListStop::esac:
            case ListStop::stopped:
                return;
            }
        }
    }

    // The words of NAME=( … ), which are values, not a command.
    void readArrayElements() {
        ++i_;
        for (;;) {
            if (stop_)
                return;
            skipBlanks();
            const int c = at(i_);
            if (c == ')') {
                ++i_;
                return;
            }
            if (c < 0) {
                doubt(ShellDoubt::unterminated);
                return;
            }
            if (c == '\n') {
                ++i_;
                continue;
            }
            const qsizetype before = i_;
            readWord();
            if (i_ == before) {
                doubt(ShellDoubt::syntax);
                ++i_;
            }
        }
    }

    void readRedirection(SimpleCommand& cmd, int fd) {
        QString op;
        const int c = at(i_);
        const int n = at(i_ + 1);
        if (c == '&') {
            op = at(i_ + 2) == '>' ? QStringLiteral("&>>") : QStringLiteral("&>");
        } else if (c == '<') {
            if (n == '<')
                op = at(i_ + 2) == '<' ? QStringLiteral("<<<")
                                       : at(i_ + 2) == '-' ? QStringLiteral("<<-") : QStringLiteral("<<");
            else
                op = n == '>' ? QStringLiteral("<>") : n == '&' ? QStringLiteral("<&") : QStringLiteral("<");
        } else {
            op = n == '>'   ? QStringLiteral(">>")
                 : n == '&' ? QStringLiteral(">&")
                 : n == '|' ? QStringLiteral(">|")
                            : QStringLiteral(">");
        }
        i_ += op.size();
        skipBlanks();
        const int t = at(i_);
        if (t < 0 || t == '\n' || t == ';' || t == '&' || t == '|' || t == '(' || t == ')' ||
            ((t == '<' || t == '>') && at(i_ + 1) != '(') || (t == '`' && backtickOpen_)) {
            doubt(ShellDoubt::syntax);
            return;
        }
        ShellRedirection redirection;
        redirection.op = op;
        redirection.fd = fd;
        redirection.target = readWord().take();
        if (op == u"<<" || op == u"<<-")
            doubt(ShellDoubt::hereDocument);
        cmd.redirections.append(std::move(redirection));
    }

    ShellWordBuilder readWord() {
        ShellWordBuilder b;
        while (!stop_) {
            const int c = at(i_);
            switch (c) {
            case -1:
            case ' ':
            case '\t':
            case '\n':
            case ';':
            case '&':
            case '|':
            case '(':
            case ')':
                return b;
            case '<':
            case '>':
                if (at(i_ + 1) != '(')
                    return b;
                readSubstitution(b, ShellExpansion::process);
                continue;
            case '`':
                if (backtickOpen_)
                    return b;
                readBacktick(b);
                continue;
            case '\\':
                if (at(i_ + 1) == '\n') {
                    i_ += 2;
                    continue;
                }
                b.markSpecial();
                b.word.quoted = true;
                if (at(i_ + 1) < 0) {
                    b.appendLiteral(u'\\');  // a backslash at the very end stays
                    ++i_;
                    continue;
                }
                if (backtickOpen_ && at(i_ + 1) == '`')
                    doubt(ShellDoubt::unsupported);  // backticks nested in backticks
                b.appendLiteral(s_[i_ + 1]);
                i_ += 2;
                continue;
            case '\'':
                readSingleQuoted(b);
                continue;
            case '"':
                b.markSpecial();
                b.word.quoted = true;
                readDoubleQuoted(b);
                continue;
            case '$':
                readDollar(b, false);
                continue;
            case '*':
            case '?':
                b.word.text.append(QChar(char16_t(c)));
                b.markExpansion(ShellExpansion::pathname);
                ++i_;
                continue;
            case '[':
                b.bracketOpen = true;  // a pattern only once closed: [ alone is the test command
                b.word.text.append(u'[');
                ++i_;
                continue;
            case ']':
                b.word.text.append(u']');
                if (b.bracketOpen)
                    b.markExpansion(ShellExpansion::pathname);
                ++i_;
                continue;
            case '~':
                b.word.text.append(u'~');
                if (b.word.text.size() == 1 || (b.plain() && b.word.text.endsWith(QLatin1String("=~"))))
                    b.markExpansion(ShellExpansion::tilde);
                ++i_;
                continue;
            case '{':
                ++b.braceDepth;
                b.appendLiteral(u'{');
                ++i_;
                continue;
            case ',':
                b.braceList = b.braceList || b.braceDepth > 0;
                b.appendLiteral(u',');
                ++i_;
                continue;
            case '.':
                b.braceList = b.braceList || (b.braceDepth > 0 && at(i_ + 1) == '.');
                b.appendLiteral(u'.');
                ++i_;
                continue;
            case '}':
                b.appendLiteral(u'}');
                if (b.braceDepth > 0 && --b.braceDepth == 0 && b.braceList)
                    b.markExpansion(ShellExpansion::brace);
                ++i_;
                continue;
            case 0:
                doubt(ShellDoubt::unsupported);  // the shell would not see what follows a NUL
                b.appendLiteral(QChar(u'\0'));
                ++i_;
                continue;
            default: {
                qsizetype k = i_ + 1;
                while (k < end_ && isPlainWordChar(s_[k].unicode()))
                    ++k;
                b.appendLiteral(s_.sliced(i_, k - i_));
                i_ = k;
                continue;
            }
            }
        }
        return b;
    }

    static bool isPlainWordChar(int c) {
        switch (c) {
        case ' ': case '\t': case '\n': case ';': case '&': case '|': case '(': case ')': case '<': case '>':
        case '`': case '\\': case '\'': case '"': case '$': case '*': case '?': case '[': case ']': case '~': case '{':
        case ',': case '.': case '}': case 0:
            return false;
        default:
            return true;
        }
    }

    void readSingleQuoted(ShellWordBuilder& b) {
        b.markSpecial();
        b.word.quoted = true;
        const qsizetype close = s_.indexOf(u'\'', i_ + 1);
        if (close < 0 || close >= end_) {
            doubt(ShellDoubt::unterminated);
            b.appendLiteral(s_.sliced(i_ + 1, end_ - i_ - 1));
            i_ = end_;
            return;
        }
        b.appendLiteral(s_.sliced(i_ + 1, close - i_ - 1));
        i_ = close + 1;
    }

    void readDoubleQuoted(ShellWordBuilder& b) {
        ++i_;
        readDoubleQuotedText(b, false);
        if (at(i_) == '"')
            ++i_;
        else
            doubt(ShellDoubt::unterminated);
    }

    // The inside of "…", or a here-document's body (where " is an ordinary character).
    void readDoubleQuotedText(ShellWordBuilder& b, bool hereDocument) {
        while (!stop_) {
            const int c = at(i_);
            if (c < 0 || (c == '"' && !hereDocument))
                return;
            if (c == '\\') {
                const int n = at(i_ + 1);
                if (n == '\n') {
                    i_ += 2;
                } else if (n == '$' || n == '`' || n == '\\' || (n == '"' && !hereDocument)) {
                    b.appendLiteral(QChar(char16_t(n)));
                    i_ += 2;
                } else {
                    b.appendLiteral(u'\\');
                    ++i_;
                }
                continue;
            }
            if (c == '$') {
                readDollar(b, true);
                continue;
            }
            if (c == '`') {
                if (backtickOpen_) {
                    doubt(ShellDoubt::unsupported);
                    return;
                }
                readBacktick(b);
                continue;
            }
            qsizetype k = i_ + 1;
            while (k < end_ && s_[k] != u'\\' && s_[k] != u'$' && s_[k] != u'`' && (hereDocument || s_[k] != u'"'))
                ++k;
            b.appendLiteral(s_.sliced(i_, k - i_));
            i_ = k;
        }
    }

    void appendExpansion(ShellWordBuilder& b, qsizetype from, ShellExpansion kind) {
        b.markSpecial();
        b.word.text.append(s_.sliced(from, i_ - from));
        b.markExpansion(kind);
    }

    void readDollar(ShellWordBuilder& b, bool inDoubleQuotes) {
        const qsizetype start = i_;
        const int n = at(i_ + 1);
        if (n == '(') {
            if (at(i_ + 2) == '(')
                readArithmetic(&b, 3);
            else
                readSubstitution(b, ShellExpansion::command);
            return;
        }
        if (n == '{') {
            readParameterBraces(b, inDoubleQuotes);
            return;
        }
        if (!inDoubleQuotes && n == '\'') {
            readAnsiCQuoted(b);
            return;
        }
        if (!inDoubleQuotes && n == '"') {
            ++i_;  // $"…" is a translatable "…"
            b.markSpecial();
            b.word.quoted = true;
            readDoubleQuoted(b);
            return;
        }
        if (isShellNameStart(n)) {
            i_ += 2;
            while (isShellNameChar(at(i_)))
                ++i_;
            appendExpansion(b, start, ShellExpansion::parameter);
            return;
        }
        if (isAsciiDigit(n) || n == '@' || n == '*' || n == '#' || n == '?' || n == '-' || n == '$' || n == '!') {
            i_ += 2;
            appendExpansion(b, start, ShellExpansion::parameter);
            return;
        }
        b.appendLiteral(u'$');  // a $ before anything else is itself
        ++i_;
    }

    // $( … ), <( … ) and >( … ).
    void readSubstitution(ShellWordBuilder& b, ShellExpansion kind) {
        const qsizetype start = i_;
        i_ += 2;
        const bool backtick = std::exchange(backtickOpen_, false);
        const ListStop end = readList(ListCloser::paren);
        backtickOpen_ = backtick;
        if (end == ListStop::stopped)
            return;
        out_.substitutions.append(s_.sliced(start + 2, i_ - start - 2).toString());
        if (at(i_) == ')')
            ++i_;
        appendExpansion(b, start, kind);
    }

    void readBacktick(ShellWordBuilder& b) {
        const qsizetype start = i_;
        ++i_;
        backtickOpen_ = true;
        const ListStop end = readList(ListCloser::backtick);
        backtickOpen_ = false;
        if (end == ListStop::stopped)
            return;
        out_.substitutions.append(s_.sliced(start + 1, i_ - start - 1).toString());
        if (at(i_) == '`')
            ++i_;
        appendExpansion(b, start, ShellExpansion::command);
    }

    void readParameterBraces(ShellWordBuilder& b, bool inDoubleQuotes) {
        Nest nest(*this);
        if (!nest.ok())
            return;
        const qsizetype start = i_;
        i_ += 2;
        int depth = 0;
        ShellWordBuilder inner;
        while (!stop_) {
            const int c = at(i_);
            if (c < 0) {
                doubt(ShellDoubt::unterminated);
                break;
            }
            if (c == '}') {
                ++i_;
                if (depth-- == 0)
                    break;
            } else if (c == '{') {
                ++depth;
                ++i_;
            } else if (c == '\\') {
                i_ += at(i_ + 1) < 0 ? 1 : 2;
            } else if (c == '\'' && !inDoubleQuotes) {
                readSingleQuoted(inner);
            } else if (c == '"') {
                readDoubleQuoted(inner);
            } else if (c == '$') {
                readDollar(inner, true);
            } else if (c == '`') {
                if (backtickOpen_) {
                    doubt(ShellDoubt::unsupported);
                    break;
                }
                readBacktick(inner);
            } else {
                ++i_;
            }
        }
        appendExpansion(b, start, ShellExpansion::parameter);
        b.word.expansions |= inner.word.expansions;
    }

    // $(( … )) (open 3) and the (( … )) command (open 2).
    void readArithmetic(ShellWordBuilder* b, int open) {
        Nest nest(*this);
        if (!nest.ok())
            return;
        const qsizetype start = i_;
        i_ += open;
        int depth = 0;
        ShellWordBuilder inner;
        while (!stop_) {
            const int c = at(i_);
            if (c < 0) {
                doubt(ShellDoubt::unterminated);
                break;
            }
            if (c == '(') {
                ++depth;
                ++i_;
            } else if (c == ')') {
                if (depth > 0) {
                    --depth;
                    ++i_;
                } else {
                    // "$((a) …)" is a substitution holding a subshell; not followed.
                    if (at(i_ + 1) != ')')
                        doubt(ShellDoubt::unsupported);
                    i_ += at(i_ + 1) == ')' ? 2 : 1;
                    break;
                }
            } else if (c == '$') {
                readDollar(inner, true);
            } else if (c == '`') {
                if (backtickOpen_) {
                    doubt(ShellDoubt::unsupported);
                    break;
                }
                readBacktick(inner);
            } else if (c == '\\') {
                i_ += at(i_ + 1) < 0 ? 1 : 2;
            } else if (c == '\'') {
                readSingleQuoted(inner);
            } else {
                ++i_;
            }
        }
        if (b) {
            appendExpansion(*b, start, ShellExpansion::arithmetic);
            b->word.expansions |= inner.word.expansions;
        }
    }

    // $'…' with the escapes the shell decodes, so that $'r\x6d' reads as rm.
    void readAnsiCQuoted(ShellWordBuilder& b) {
        b.markSpecial();
        b.word.quoted = true;
        i_ += 2;
        const auto number = [this](int base, int maxDigits) {
            char32_t value = 0;
            int digits = 0;
            for (; digits < maxDigits; ++digits) {
                const int d = base == 16 ? hexDigitValue(at(i_)) : (at(i_) >= '0' && at(i_) <= '7' ? at(i_) - '0' : -1);
                if (d < 0)
                    break;
                value = value * char32_t(base) + char32_t(d);
                ++i_;
            }
            return digits ? std::optional<char32_t>(value) : std::nullopt;
        };
        for (;;) {
            const int c = at(i_);
            if (c < 0) {
                doubt(ShellDoubt::unterminated);
                return;
            }
            ++i_;
            if (c == '\'')
                return;
            if (c != '\\') {
                b.appendLiteral(QChar(char16_t(c)));
                continue;
            }
            const int e = at(i_);
            if (e < 0) {
                b.appendLiteral(u'\\');
                continue;
            }
            ++i_;
            switch (e) {
            case 'a': b.appendLiteral(QChar(7)); break;
            case 'b': b.appendLiteral(QChar(8)); break;
            case 'e': case 'E': b.appendLiteral(QChar(27)); break;
            case 'f': b.appendLiteral(QChar(12)); break;
            case 'n': b.appendLiteral(u'\n'); break;
            case 'r': b.appendLiteral(u'\r'); break;
            case 't': b.appendLiteral(u'\t'); break;
            case 'v': b.appendLiteral(QChar(11)); break;
            case 'c':
                if (at(i_) >= 0)
                    b.appendCodePoint(char32_t(at(i_++) & 0x1f));
                break;
            case 'x': case 'u': case 'U':
                if (const auto code = number(16, e == 'x' ? 2 : e == 'u' ? 4 : 8))
                    b.appendCodePoint(*code);
                else {
                    b.appendLiteral(u'\\');
                    b.appendLiteral(QChar(char16_t(e)));
                }
                break;
            default:
                if (e >= '0' && e <= '7') {
                    --i_;
                    b.appendCodePoint(*number(8, 3) & 0xff);
                } else if (e == '\\' || e == '\'' || e == '"' || e == '?') {
                    b.appendLiteral(QChar(char16_t(e)));
                } else {
                    b.appendLiteral(u'\\');
                    b.appendLiteral(QChar(char16_t(e)));
                }
            }
        }
    }

    QStringView s_;
    qsizetype i_ = 0;
    qsizetype end_;
    int depth_ = 0;
    bool stop_ = false;
    bool backtickOpen_ = false;
    QList<PendingHereDocument> pending_;
    ShellLine out_;
};

} // namespace

ShellLine ShellCommandReader::read(QStringView line) { return LineReader(line).run(); }

} // namespace nubbo
