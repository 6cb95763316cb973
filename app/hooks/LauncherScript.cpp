#include "hooks/LauncherScript.h"

#include "common/AppLocations.h"
#include "hooks/ConfigFileWriter.h"
#include "hooks/SelfCleanProgram.h"
#include "platform/TrustedPath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nubbo {
namespace {

// The shell part. Every step that can fail is silenced and the script ends in exec or exit 0: a hook that
// exits 2 or prints would block or confuse the agent. Values from outside (cache, marker, menu entry)
// are checked before use, because a malformed number in $(( )) is a fatal error in dash.
constexpr char kShell[] = R"SH(#!/bin/sh
# Nubbo hook bridge launcher (auto-generated, do not edit).
# Fails open: if the helper can't be found it exits 0 so your CLI is never blocked.
H=/Contents/Helpers/nubbo-bridge
N="$HOME/.nubbo"
M="$N/.orphaned"
C="$N/bin/.bridge-cache"
U=

# Runs only a helper no other user can have put there: the file and every folder above it, along the path
# given and along its real path, owned by this user or root and writable by neither group nor others. A
# bundle under /tmp that was deleted and made again by someone else fails. R is set to the real path, and
# that is what runs, so a link changed after the check changes nothing.
trusted() {
  R=
  case $1 in /*) ;; *) return 1 ;; esac
  [ -f "$1$H" ] && [ -x "$1$H" ] || return 1
  R=$(readlink -f "$1$H") || return 1
  case $R in /*) ;; *) return 1 ;; esac
  [ -n "$U" ] || U=$(id -u) || return 1
  case $U in ''|*[!0-9]*) return 1 ;; esac
  F=$1$H
  set --
  while [ -n "$F" ]; do set -- "$@" "$F"; F=${F%/*}; done
  F=$R
  while [ -n "$F" ]; do set -- "$@" "$F"; F=${F%/*}; done
  stat -L -c '%u %a' -- / "$@" | {
    K=0
    while read -r O A; do
      case $O in ''|*[!0-9]*) exit 1 ;; esac
      case $A in ''|*[!0-7]*) exit 1 ;; esac
      [ "$O" = 0 ] || [ "$O" = "$U" ] || exit 1
      [ $((0$A & 022)) -eq 0 ] || exit 1
      K=$((K + 1))
    done
    [ "$K" -eq $(($# + 1)) ]
  }
}

# A desktop-entry string value into P: "\s" is a space and "\\" a backslash; any other escape (a line break,
# a tab) is refused.
unescape() {
  S=$1
  P=
  while :; do
    case $S in
      *\\*)
        P=$P${S%%\\*}
        S=${S#*\\}
        case $S in
          s*) P="$P " ;;
          \\*) P="$P\\" ;;
          *) P=; return 1 ;;
        esac
        S=${S#?}
        ;;
      *) P=$P$S; return 0 ;;
    esac
  done
}

# The bundle that wrote this launcher, then where `make install` and the Debian package put it.
for P in @BUNDLE@ "$HOME/.local/lib/nubbo/Nubbo.app" /usr/lib/nubbo/Nubbo.app; do
  if trusted "$P" 2>/dev/null; then
    rm -f "$M" 2>/dev/null
    exec "$R" "$@"
  fi
done

if [ -f "$C" ]; then
  P=
  { IFS= read -r P < "$C"; } 2>/dev/null
  if trusted "$P" 2>/dev/null; then
    rm -f "$M" 2>/dev/null
    exec "$R" "$@"
  fi
  # Gone, moved or no longer safe: forgotten, so it is never tried again.
  rm -f "$C" 2>/dev/null
fi

# The menu entry named after the bundle identifier, wherever the data folders are, says where its bundle
# was installed.
Q=$IFS
IFS=:
for D in "${XDG_DATA_HOME:-$HOME/.local/share}" ${XDG_DATA_DIRS:-/usr/local/share:/usr/share}; do
  IFS=$Q
  E="$D/applications/@BUNDLE_ID@.desktop"
  P=
  if [ -n "$D" ] && [ -f "$E" ]; then
    while IFS= read -r L; do
      case "$L" in X-Nubbo-Bundle=*) unescape "${L#X-Nubbo-Bundle=}"; break ;; esac
    done 2>/dev/null < "$E"
  fi
  if trusted "$P" 2>/dev/null; then
    { printf '%s\n' "$P" > "$C"; } 2>/dev/null
    rm -f "$M" 2>/dev/null
    exec "$R" "$@"
  fi
  IFS=:
done
IFS=$Q

# The app is gone. The first call arms the marker; the first call after the grace period removes the
# app's hook entries, and only once that has run does the launcher delete itself, so hooks never point at
# a missing file. Without node the launcher stays and keeps exiting 0.
[ -n "$HOME" ] && [ -d "$N" ] || exit 0
{
  NOW=$(date +%s)
  case "$NOW" in ''|*[!0-9]*) exit 0 ;; esac
  T=
  [ -f "$M" ] && IFS= read -r T < "$M"
  case "$T" in
    ''|0*|*[!0-9]*|?????????????*) printf '%s\n' "$NOW" > "$M" ;;
    *)
      if [ "$T" -gt "$NOW" ]; then
        printf '%s\n' "$NOW" > "$M"
      elif [ $((NOW - T)) -ge @GRACE@ ] && command -v node; then
        node - <<'NUBBO_SELF_CLEAN' && rm -rf "$N"
@CLEAN@
NUBBO_SELF_CLEAN
      fi
      ;;
  esac
} </dev/null >/dev/null 2>&1
exit 0
)SH";

} // namespace

QString LauncherScript::path(const QString& home) {
    return QString::fromStdString(locations::launcherPath(home.toStdString()));
}

QString LauncherScript::shellQuoted(const QString& word) {
    QString inner = word;
    inner.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + inner + QLatin1Char('\'');
}

QString LauncherScript::text(const QString& writingBundlePath, const QString& recordPath,
                             const QHash<QString, QString>& chosenConfigPaths) {
    QString script = QString::fromUtf8(kShell);
    // Substituted last so a bundle path can never be mistaken for a placeholder.
    script.replace(QLatin1String("@BUNDLE_ID@"), QLatin1String("dev.nubbo.Nubbo"));
    script.replace(QLatin1String("@GRACE@"), QString::number(kGraceSeconds));
    script.replace(QLatin1String("@CLEAN@"), SelfCleanProgram::text(recordPath, chosenConfigPaths));
    // Only a bundle that passes the launcher's own test is remembered: one under /tmp could be replaced by
    // another user's program once the folder is gone.
    const bool trusted = isTrustedPath(writingBundlePath + QStringLiteral("/Contents/Helpers/nubbo-bridge"));
    script.replace(QLatin1String("@BUNDLE@"), shellQuoted(trusted ? writingBundlePath : QString()));
    return script;
}

QString LauncherScript::hookCommand(const QString& launcherPath, const QString& sourceId, const QString& event) {
    // Catalogue ids and event names are plain words and stay bare; anything else is quoted too.
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_.-]+$"));
    const auto word = [](const QString& value) {
        return plain.match(value).hasMatch() ? value : shellQuoted(value);
    };
    return shellQuoted(launcherPath) + QStringLiteral(" --source ") + word(sourceId) + QStringLiteral(" --event ") +
           word(event);
}

bool LauncherScript::install(const QString& home, const QString& bundlePath, QString* error,
                             const QString& recordPath, const QHash<QString, QString>& chosenConfigPaths) {
    if (home.isEmpty()) return ConfigFileWriter::fail(error, QStringLiteral("No home folder to install the launcher in"));
    const QString target = path(home);
    const QString dir = QFileInfo(target).path();
    if (!QDir().mkpath(dir)) return ConfigFileWriter::fail(error, QStringLiteral("Could not create %1").arg(dir));

    // A temporary file made executable before the rename: QSaveFile would leave a moment in which the
    // launcher exists without its execute bit, and a hook firing then would fail.
    const QString temp = dir + QStringLiteral("/.nubbo-bridge.tmp-%1").arg(QCoreApplication::applicationPid());
    const QByteArray tempPath = QFile::encodeName(temp);
    const QByteArray bytes = text(bundlePath, recordPath, chosenConfigPaths).toUtf8();
    const int fd = ::open(tempPath.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0700);
    if (fd < 0) return ConfigFileWriter::fail(error, ConfigFileWriter::systemError(QStringLiteral("Could not create"), temp));
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const QString message = ConfigFileWriter::systemError(QStringLiteral("Could not write"), temp);
            ::close(fd);
            ::unlink(tempPath.constData());
            return ConfigFileWriter::fail(error, message);
        }
        written += n;
    }
    const bool chmodOk = ::fchmod(fd, 0755) == 0;
    QString message =
        chmodOk ? QString() : ConfigFileWriter::systemError(QStringLiteral("Could not set the mode of"), temp);
    if (::close(fd) != 0 && chmodOk) message = ConfigFileWriter::systemError(QStringLiteral("Could not write"), temp);
    if (!message.isEmpty()) {
        ::unlink(tempPath.constData());
        return ConfigFileWriter::fail(error, message);
    }
    if (std::rename(tempPath.constData(), QFile::encodeName(target).constData()) != 0) {
        const QString message = ConfigFileWriter::systemError(QStringLiteral("Could not replace"), target);
        ::unlink(tempPath.constData());
        return ConfigFileWriter::fail(error, message);
    }
    return true;
}

} // namespace nubbo
