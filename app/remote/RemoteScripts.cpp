#include "remote/RemoteScripts.h"

#include "hooks/LauncherScript.h"
#include "remote/RemoteHost.h"

#include <QFileInfo>

#include <cstdio>

namespace nubbo {
namespace {

// The line before a fetched archive: whatever a login shell's start-up files print comes before it.
constexpr char kArchiveMark[] = "--nubbo-archive--";
// Input bytes per printf line: short enough for any shell's line, long enough to keep the script small.
constexpr qsizetype kPrintfChunk = 2048;

QByteArray quoted(const QString& word) { return LauncherScript::shellQuoted(word).toUtf8(); }

// "~/<path>", for the reasons a script prints.
QByteArray shown(const QString& path) { return quoted(QStringLiteral("~/") + path); }

// Writes the bytes to the file the variable names (created with the current umask).
QByteArray writeInto(const QByteArray& variable, const QByteArray& bytes) {
    return "{\n" + RemoteScripts::printfBytes(bytes) + "} > \"$" + variable + "\"";
}

} // namespace

QByteArray RemoteScripts::printfBytes(const QByteArray& bytes) {
    QByteArray script;
    script.reserve(bytes.size() * 3);
    for (qsizetype start = 0; start == 0 || start < bytes.size(); start += kPrintfChunk) {
        script += "printf '";
        for (const char c : bytes.mid(start, kPrintfChunk)) {
            const auto byte = static_cast<unsigned char>(c);
            // printf's own specials (%, \), the quote, and "-", which a format may not begin with; the rest
            // of printable ASCII stays as it is.
            if (byte >= 0x20 && byte < 0x7f && byte != '%' && byte != '\\' && byte != '\'' && byte != '-') {
                script += c;
            } else {
                char escape[5];
                std::snprintf(escape, sizeof escape, "\\%03o", byte);
                script += escape;
            }
        }
        script += "'\n";
    }
    return script;
}

std::optional<HostFacts> HostFacts::parse(const QByteArray& output) {
    HostFacts facts;
    bool complete = false;
    for (const QByteArray& line : output.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = line.left(equals);
        const QString value = QString::fromUtf8(line.mid(equals + 1));
        if (key == "os") facts.os = value;
        else if (key == "arch") facts.arch = value;
        else if (key == "node") facts.nodeName = value;
        else if (key == "home") facts.home = value;
        else if (key == "missing") {
            facts.missing = value.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            complete = true;  // the last line: a home holding a line break cannot pass for the whole output
        }
    }
    if (!complete)
        return std::nullopt;
    return facts;
}

QByteArray RemoteScripts::probe() {
    return R"SH(missing=
[ -x /bin/sh ] || missing="$missing /bin/sh"
for tool in tar mkdir mv cmp cp cat rm chmod; do
  command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
printf 'os=%s\narch=%s\nnode=%s\nhome=%s\nmissing=%s\n' "$(uname -s)" "$(uname -m)" "$(uname -n)" "$HOME" "$missing"
)SH";
}

QByteArray RemoteScripts::launcherText(const QString& remoteHome) {
    return "#!/bin/sh\n"
           "# nubbo-bridge-marker\n"
           "# Runs the Nubbo bridge copied to this host. While the app runs, its socket is forwarded here over SSH;\n"
           "# without the bridge a hook does nothing and lets the agent go on.\n"
           "bridge=" + quoted(QFileInfo(RemoteHost::launcherPathFor(remoteHome)).path() +
                              QStringLiteral("/nubbo-bridge-bin")) + "\n"
           "[ -x \"$bridge\" ] || exit 0\n"
           "if [ -z \"${NUBBO_SOCKET:-}\" ]; then\n"
           "  NUBBO_SOCKET=" + quoted(RemoteHost::socketPathFor(remoteHome)) + "\n"
           "  export NUBBO_SOCKET\n"
           "fi\n"
           "exec \"$bridge\" \"$@\"\n";
}

QByteArray RemoteScripts::installBridge(const QString& remoteHome) {
    return "h=" + quoted(remoteHome) + "\n" + R"SH(bin="$h/.nubbo/bin"
umask 022
if ! mkdir -p "$bin" "$h/.nubbo/run" || ! chmod 700 "$h/.nubbo/run"; then
  echo "could not create ~/.nubbo/bin and ~/.nubbo/run" >&2; exit 1
fi
if ! chmod 755 "$upload" || ! mv -f "$upload" "$bin/nubbo-bridge-bin"; then
  echo "could not place the bridge at ~/.nubbo/bin/nubbo-bridge-bin" >&2; exit 1
fi
new="$bin/.nubbo-bridge.$$"
)SH" + writeInto("new", launcherText(remoteHome)) + R"SH( && chmod 755 "$new" && mv -f "$new" "$bin/nubbo-bridge"
if [ $? -ne 0 ]; then
  rm -f "$new"; echo "could not write the launcher ~/.nubbo/bin/nubbo-bridge" >&2; exit 1
fi
NUBBO_SOCKET="$h/.nubbo/run/.check" "$bin/nubbo-bridge-bin" --source claude --event Stop </dev/null >/dev/null 2>&1
status=$?
if [ "$status" -ge 126 ]; then
  echo "the bridge copied there does not run (exit status $status)" >&2; exit 1
fi
)SH";
}

QByteArray RemoteScripts::fetch(const QString& remoteHome, const QStringList& paths) {
    QByteArray words;
    for (const QString& path : paths)
        words += ' ' + quoted(path);
    return "cd " + quoted(remoteHome) + " || exit 1\nset --\nfor path in" + words + R"SH(; do
  if [ -e "$path" ]; then set -- "$@" "$path"; fi
done
printf '%s\n' ')SH" + kArchiveMark + R"SH('
[ "$#" -gt 0 ] || exit 0
exec tar -chf - "$@"
)SH";
}

std::optional<QByteArray> RemoteScripts::archiveIn(const QByteArray& fetchOutput) {
    const QByteArray mark = QByteArray(kArchiveMark) + '\n';
    const qsizetype at = fetchOutput.startsWith(mark) ? 0 : fetchOutput.indexOf('\n' + mark);
    if (at < 0)
        return std::nullopt;
    return fetchOutput.mid(at == 0 && fetchOutput.startsWith(mark) ? mark.size() : at + 1 + mark.size());
}

QByteArray RemoteScripts::push(const QString& remoteHome, const QString& stamp, const std::vector<StagedChange>& changes) {
    QByteArray script = "h=" + quoted(remoteHome) + "\nbackup=\"$h/.nubbo/backups/\"" + quoted(stamp) + "\n" + R"SH(work="$h/.nubbo/.push.$$"
umask 077
mkdir -p "$work" || exit 1
trap 'rm -rf "$work"' EXIT
changed() { printf '%s changed on the host while Nubbo was wiring it; nothing was written\n' "$1" >&2; exit 4; }
failed() { printf '%s\n' "$1" >&2; exit 1; }
# The end of a symlink chain: the file a write must replace.
resolve() {
  t=$1 n=0
  while [ -L "$t" ] && [ "$n" -lt 40 ]; do
    l=$(readlink "$t") || break
    case $l in /*) t=$l ;; *) t=${t%/*}/$l ;; esac
    n=$((n + 1))
  done
  printf '%s\n' "$t"
}
)SH";
    // Every file is checked before anything is written.
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const StagedChange& change = changes[i];
        const QByteArray n = QByteArray::number(qulonglong(i));
        script += "p" + n + "=\"$h/\"" + quoted(change.path) + "\n";
        if (change.before) {
            script += "old=\"$work/old" + n + "\"\n" + writeInto("old", change.before->bytes) + " || exit 1\n";
            script += "[ -f \"$p" + n + "\" ] && cmp -s \"$old\" \"$p" + n + "\" || changed " + shown(change.path) + "\n";
        } else {
            script += "[ -e \"$p" + n + "\" ] && changed " + shown(change.path) + "\n";
        }
    }
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const StagedChange& change = changes[i];
        const QByteArray n = QByteArray::number(qulonglong(i));
        const QByteArray p = "\"$p" + n + "\"";
        if (change.before) {
            const QString folder = QFileInfo(change.path).path();
            script += "mkdir -p \"$backup/\"" + quoted(folder) + " && cat " + p + " > \"$backup/\"" +
                      quoted(change.path) + " || failed " + quoted(QStringLiteral("could not back up ~/") + change.path) +
                      "\n";
        }
        if (!change.after) {
            script += "rm -f " + p + " || failed " + quoted(QStringLiteral("could not remove ~/") + change.path) + "\n";
            continue;
        }
        const QByteArray why = quoted(QStringLiteral("could not write ~/") + change.path);
        script += "t=$(resolve " + p + ")\nnew=\"${t%/*}/.nubbo-new.$$\"\n";
        script += "(umask 022 && mkdir -p \"${t%/*}\") || failed " + why + "\n";
        script += "if [ -e \"$t\" ]; then cp -p \"$t\" \"$new\" || failed " + why + "; fi\n";
        script += writeInto("new", change.after->bytes) + " || { rm -f \"$new\"; failed " + why + "; }\n";
        script += "[ -e \"$t\" ] || chmod " + QByteArray::number(change.after->mode & 0777, 8) + " \"$new\"\n";
        script += "mv -f \"$new\" \"$t\" || { rm -f \"$new\"; failed " + why + "; }\n";
    }
    return script;
}

QByteArray RemoteScripts::removeBridge(const QString& remoteHome) {
    return "h=" + quoted(remoteHome) + "\n" + R"SH(rm -f "$h"/.nubbo/bin/nubbo-bridge* "$h"/.nubbo/bin/.nubbo-bridge.*
rmdir "$h/.nubbo/bin" 2>/dev/null
rm -rf "$h/.nubbo/run"
if [ -e "$h/.nubbo/bin/nubbo-bridge" ] || [ -e "$h/.nubbo/run" ]; then
  echo "could not remove ~/.nubbo/bin/nubbo-bridge and ~/.nubbo/run" >&2; exit 1
fi
)SH";
}

} // namespace nubbo
