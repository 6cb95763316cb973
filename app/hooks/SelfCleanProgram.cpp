#include "hooks/SelfCleanProgram.h"

#include "hooks/BackupRecord.h"
#include "common/ProviderRegistry.h"

#include <QStringList>

namespace nubbo {
namespace {

// Brings back the backup of each shared file nobody changed since the app wrote it, removes the app's hook
// commands from the agents' shared files and deletes the app's own files. A file is rewritten only when
// something was removed from it (so an untouched file keeps its bytes), and a user's empty group or event is
// never touched. A failed write makes node exit non-zero so the launcher keeps
// itself and tries again on a later hook.
constexpr char kCleanHead[] = R"JS(const fs = require('fs');
const path = require('path');
const crypto = require('crypto');
const h = process.env.HOME;
const m = 'nubbo-bridge';
function ours(x) {
  return x !== null && typeof x === 'object' && typeof x.command === 'string' && x.command.includes(m);
}
// text: a string, written as UTF-8, or a backup's bytes as they are.
function writeAtomic(p, text) {
  let target = p;
  try { target = fs.realpathSync(p); } catch (e) {}
  let mode = 0o644;
  try { mode = fs.statSync(target).mode & 0o7777; } catch (e) {}
  const tmp = path.join(path.dirname(target), '.' + path.basename(target) + '.nubbo-' + process.pid);
  try {
    fs.writeFileSync(tmp, text, { encoding: 'utf8', mode });
    fs.chmodSync(tmp, mode);
    fs.renameSync(tmp, target);
  } catch (e) {
    try { fs.unlinkSync(tmp); } catch (e2) {}
    process.exitCode = 1;
  }
}
function clean(p) {
  let text;
  try { text = fs.readFileSync(p, 'utf8'); } catch (e) { return; }
  if (!text) return;
  let o;
  try { o = JSON.parse(text); } catch (e) { return; }
  if (o === null || typeof o !== 'object' || Array.isArray(o)) return;
  const hooks = o.hooks;
  if (hooks === null || typeof hooks !== 'object' || Array.isArray(hooks)) return;
  let changed = false;
  for (const k of Object.keys(hooks)) {
    const a = hooks[k];
    if (!Array.isArray(a)) continue;
    const kept = [];
    let removed = false;
    for (const e of a) {
      if (e !== null && typeof e === 'object' && Array.isArray(e.hooks)) {
        const inner = e.hooks.filter((x) => !ours(x));
        if (inner.length < e.hooks.length) {
          removed = true;
          if (inner.length === 0) continue;
          e.hooks = inner;
        }
        kept.push(e);
      } else if (ours(e)) {
        removed = true;
      } else {
        kept.push(e);
      }
    }
    if (!removed) continue;
    changed = true;
    if (kept.length === 0) delete hooks[k];
    else hooks[k] = kept;
  }
  if (!changed) return;
  if (Object.keys(hooks).length === 0) delete o.hooks;
  writeAtomic(p, JSON.stringify(o, null, 2) + '\n');
}
// The TOML files: only a [[hooks]] table of plain key lines whose command is ours goes, with the blank line
// before it, so a table the user wrote or changed stays.
function cleanToml(p) {
  let text;
  try { text = fs.readFileSync(p, 'utf8'); } catch (e) { return; }
  const header = /^[ \t]*\[\[[ \t]*hooks[ \t]*\]\][ \t\r]*(#.*)?$/;
  const key = /^[ \t]*(event|matcher|command|timeout)[ \t]*=[ \t]*("([^"\\]|\\.)*"|'[^']*'|[0-9]+)[ \t\r]*(#.*)?$/;
  const lines = text.split('\n');
  if (lines.length && lines[lines.length - 1] === '') lines.pop();
  const kept = [];
  let removed = false;
  for (let i = 0; i < lines.length;) {
    if (!header.test(lines[i])) { kept.push(lines[i++]); continue; }
    let end = i + 1;
    let own = false;
    while (end < lines.length && key.test(lines[end])) {
      if (/^[ \t]*command[ \t]*=/.test(lines[end]) && lines[end].includes(m)) own = true;
      end++;
    }
    if (own) {
      removed = true;
      if (kept.length && /^[ \t\r]*$/.test(kept[kept.length - 1])) kept.pop();
    } else {
      kept.push(...lines.slice(i, end));
    }
    i = end;
  }
  if (removed) writeAtomic(p, kept.map((l) => l + '\n').join(''));
}
// The installer's record: per backup name, the digest of what the app last wrote and the backup folder
// holding the file as it was before. Only a file still exactly so gets its backup back; one the user changed
// since keeps every change and only loses the app's entries.
let written = {};
try { written = JSON.parse(fs.readFileSync(record, 'utf8')) || {}; } catch (e) {}
function restore(name, p) {
  const w = written[name];
  if (!record || !w || typeof w.sha256 !== 'string' || typeof w.backup !== 'string') return;
  if (!/^[0-9]{8}-[0-9]{6}$/.test(w.backup)) return;
  let now;
  let saved;
  try {
    now = fs.readFileSync(p);
    saved = fs.readFileSync(path.join(path.dirname(record), w.backup, name));
  } catch (e) { return; }
  if (crypto.createHash('sha256').update(now).digest('hex') === w.sha256) writeAtomic(p, saved);
}
function removeOwn(p) {
  try {
    if (fs.readFileSync(p, 'utf8').includes(m)) fs.unlinkSync(p);
  } catch (e) {}
}
)JS";

QString jsString(const std::string& value) {
    QString out = QString::fromStdString(value);
    out.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    out.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + out + QLatin1Char('\'');
}

// A path under the home, as the program computes it.
QString underHome(const std::string& relative) { return QStringLiteral("h + '/' + ") + jsString(relative); }

// [backup name, path expression]: the files of earlier releases have no backups, so no name.
QString jsPair(const QString& name, const QString& path) {
    return QLatin1Char('[') + jsString(name.toStdString()) + QStringLiteral(", ") + path + QLatin1Char(']');
}

} // namespace

QString SelfCleanProgram::text(const QString& recordPath, const QHash<QString, QString>& chosenConfigPaths) {
    QStringList shared;
    QStringList toml;
    QStringList removals;
    for (const auto& spec : ProviderRegistry::all()) {
        for (const auto& file : formerHookFiles(spec))
            shared << jsPair({}, underHome(file));
        const QString chosen = chosenConfigPaths.value(QString::fromStdString(spec.id));
        const QString path = chosen.isEmpty() ? underHome(spec.configRelativePath) : jsString(chosen.toStdString());
        switch (spec.mechanism) {
        case HookMechanism::tomlHooks:
            toml << jsPair(BackupRecord::name(spec), path);
            break;
        case HookMechanism::claudeHooks:
        case HookMechanism::cursorHooks:
            shared << jsPair(BackupRecord::name(spec), path);
            break;
        case HookMechanism::copilotFile:
        case HookMechanism::jsPlugin:
            removals << QStringLiteral("removeOwn(%1);").arg(path);
            break;
        case HookMechanism::scriptDir: {
            std::vector<std::string> folders = formerHookFolders(spec);
            folders.insert(folders.begin(), spec.configRelativePath);
            for (const auto& folder : folders)
                for (const auto& event : spec.events)
                    removals << QStringLiteral("removeOwn(h + '/' + %1 + '/' + %2);")
                                    .arg(jsString(folder), jsString(event));
            break;
        }
        }
    }
    QString program = QStringLiteral("const record = %1;\n")
                          .arg(recordPath.isEmpty() ? QStringLiteral("''") : jsString(recordPath.toStdString()));
    program += QString::fromUtf8(kCleanHead);
    program += QStringLiteral("for (const [n, p] of [%1]) { restore(n, p); clean(p); }\n")
                   .arg(shared.join(QStringLiteral(", ")));
    program += QStringLiteral("for (const [n, p] of [%1]) { restore(n, p); cleanToml(p); }\n")
                   .arg(toml.join(QStringLiteral(", ")));
    program += removals.join(QLatin1Char('\n'));
    return program;
}

} // namespace nubbo
