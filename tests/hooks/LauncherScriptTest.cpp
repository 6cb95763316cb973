// The generated launcher run by the real /bin/sh in a temporary home, against fake bundles whose bridge is a
// script recording its arguments and standard input. PATH is a folder of our own holding only the tools the
// launcher may use, so "node present" and "node absent" are both under the test's control. The launcher runs
// only bundles that no other user can change, so the temporary root is made in a folder that passes that
// test (the build folder, unless TMPDIR is private), never under /tmp.
#include "platform/DesktopEntryValues.h"
#include "hooks/HookInstaller.h"
#include "hooks/LauncherScript.h"
#include "MenuEntryCase.h"
#include "common/ProviderRegistry.h"
#include "hooks/TomlHookEntries.h"
#include "platform/TrustedPath.h"
#include "TrustedScratch.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace nubbo {
namespace {

void writeFile(const QString& path, const QByteArray& content, QFile::Permissions mode = {}) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(content);
    file.close();
    if (mode) file.setPermissions(mode);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The JSON template with each "APP" replaced by the command as a JSON string.
QByteArray withAppCommand(const char* json, const QString& command) {
    QString escaped = command;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QString::fromUtf8(json).replace(QLatin1String("APP"), escaped).toUtf8();
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

constexpr auto kExecutable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                             QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;

struct ScriptRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

class LauncherScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        rootDir = nubbo::testing::trustedScratch(QStringLiteral("launcher-test"));
        if (!rootDir) GTEST_SKIP() << "no folder that only this user and root can write to hold the test bundles";
        ASSERT_TRUE(rootDir->isValid());
        root = rootDir->path();
        // Folders made for the bundles must not come out group-writable under a umask of 002.
        ::umask(022);
        // A home with a single quote and a space: every test also checks that nothing breaks on it.
        home = root + QStringLiteral("/it's home");
        QDir().mkpath(home);
        tools = root + QStringLiteral("/tools");
        QDir().mkpath(tools);
        for (const char* tool : {"rm", "date", "head", "cat", "mkdir", "readlink", "id", "stat"}) linkTool(QString::fromLatin1(tool));
        record = root + QStringLiteral("/record");
        QDir().mkpath(record);
    }

    void linkTool(const QString& name) {
        const QString found = QStandardPaths::findExecutable(name);
        ASSERT_FALSE(found.isEmpty()) << name.toStdString();
        QFile::link(found, tools + QLatin1Char('/') + name);
    }

    bool withNode() {
        const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
        if (node.isEmpty()) return false;
        QFile::link(node, tools + QStringLiteral("/node"));
        return true;
    }

    // A bundle whose bridge writes its name, then each argument on its own line, then copies its stdin.
    QString makeBundle(const QString& bundle, const QString& name) {
        writeFile(bundle + QStringLiteral("/Contents/Helpers/nubbo-bridge"),
                  QStringLiteral("#!/bin/sh\n"
                                 "{ printf '%s\\n' '%1'; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } "
                                 "> \"$NUBBO_TEST_RECORD/argv\"\n"
                                 "cat > \"$NUBBO_TEST_RECORD/stdin\"\n"
                                 "printf '{\"decision\":\"from %1\"}'\n")
                      .arg(name)
                      .toUtf8(),
                  kExecutable);
        return bundle;
    }

    QString launcher() const { return LauncherScript::path(home); }
    QString dataDirs() const { return root + QStringLiteral("/no data:") + root + QStringLiteral("/system data"); }
    QString nubboDir() const { return home + QStringLiteral("/.nubbo"); }
    QString marker() const { return nubboDir() + QStringLiteral("/.orphaned"); }

    void install(const QString& writingBundle) {
        QString error;
        ASSERT_TRUE(LauncherScript::install(home, writingBundle, &error)) << error.toStdString();
    }

    ScriptRun run(const QStringList& args, const QByteArray& input = {}, const QString& program = QString()) {
        QProcess process;
        QProcessEnvironment env;
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("PATH"), tools);
        env.insert(QStringLiteral("NUBBO_TEST_RECORD"), record);
        // The desktop's data folders are the test's own, so an installed copy of the app is never found.
        env.insert(QStringLiteral("XDG_DATA_DIRS"), dataDirs());
        process.setProcessEnvironment(env);
        if (program.isEmpty())
            process.start(QStringLiteral("/bin/sh"), QStringList{launcher()} + args);
        else
            process.start(program, args);
        process.write(input);
        process.closeWriteChannel();
        process.waitForFinished(30000);
        return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
    }

    QStringList recordedArgv() const {
        return QString::fromUtf8(readFile(record + QStringLiteral("/argv"))).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    void writeMarker(qint64 secondsAgo) {
        writeFile(marker(), QByteArray::number(QDateTime::currentSecsSinceEpoch() - secondsAgo) + "\n");
    }

    std::unique_ptr<QTemporaryDir> rootDir;
    QString root;
    QString home;
    QString tools;
    QString record;
};

TEST_F(LauncherScriptTest, ExecsTheFirstBundleFoundWithArgumentsStdinAndStdoutUnchanged) {
    const QString writing = makeBundle(root + QStringLiteral("/build dir/it's Nubbo.app"), QStringLiteral("writing"));
    makeBundle(home + QStringLiteral("/.local/lib/nubbo/Nubbo.app"), QStringLiteral("home"));
    install(writing);
    writeMarker(1000);

    const QStringList args{QStringLiteral("--source"), QStringLiteral("claude"), QStringLiteral("--event"),
                           QStringLiteral("it's a \"quoted\" $arg")};
    const ScriptRun r = run(args, "{\"payload\":1}\n");

    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "{\"decision\":\"from writing\"}");
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    EXPECT_EQ(recordedArgv(), QStringList{QStringLiteral("writing")} + args);
    EXPECT_EQ(readFile(record + QStringLiteral("/stdin")), "{\"payload\":1}\n");
    EXPECT_FALSE(QFile::exists(marker())) << "finding the app disarms the self-clean";

    // Gone or not executable: the next candidate is used.
    QFile::setPermissions(writing + QStringLiteral("/Contents/Helpers/nubbo-bridge"), QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(run({QStringLiteral("x")}).out, "{\"decision\":\"from home\"}");
    QDir(writing).removeRecursively();
    EXPECT_EQ(run({QStringLiteral("y")}).out, "{\"decision\":\"from home\"}");
    EXPECT_EQ(recordedArgv(), (QStringList{QStringLiteral("home"), QStringLiteral("y")}));

    // The place older home installs used is not searched: the install moves the bundle out of it.
    QDir(home + QStringLiteral("/.local/lib")).removeRecursively();
    makeBundle(home + QStringLiteral("/Applications/Nubbo.app"), QStringLiteral("old place"));
    EXPECT_TRUE(run({QStringLiteral("z")}).out.isEmpty());
}

TEST_F(LauncherScriptTest, AMenuEntryFindsAMovedAppOnceAndTheCacheServesLaterHooks) {
    install(root + QStringLiteral("/gone.app"));
    const QString moved = makeBundle(root + QStringLiteral("/moved/Nubbo.app"), QStringLiteral("moved"));
    // In the user's own data folder, where a home install puts it.
    const QString entry = home + QStringLiteral("/.local/share/applications/dev.nubbo.Nubbo.desktop");
    writeFile(entry, QStringLiteral("[Desktop Entry]\nX-Nubbo-Bundle=%1\n").arg(moved).toUtf8());
    writeMarker(10);

    ScriptRun r = run({QStringLiteral("first")}, "payload");
    EXPECT_EQ(r.out, "{\"decision\":\"from moved\"}");
    EXPECT_EQ(readFile(record + QStringLiteral("/stdin")), "payload");
    EXPECT_EQ(readFile(nubboDir() + QStringLiteral("/bin/.bridge-cache")), (moved + QStringLiteral("\n")).toUtf8());
    EXPECT_FALSE(QFile::exists(marker()));

    // With the entry gone the cache alone finds it.
    QFile::remove(entry);
    r = run({QStringLiteral("second")});
    EXPECT_EQ(r.out, "{\"decision\":\"from moved\"}");
    EXPECT_EQ(recordedArgv(), (QStringList{QStringLiteral("moved"), QStringLiteral("second")}));

    // A stale cache and no entry: the app is gone, quietly.
    QDir(root + QStringLiteral("/moved")).removeRecursively();
    r = run({QStringLiteral("third")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.isEmpty() && r.err.isEmpty());
    EXPECT_TRUE(QFile::exists(marker()));
}

TEST_F(LauncherScriptTest, TheMenuEntryOfAnInstallInASystemDataFolderLeadsToItsBundle) {
    install(root + QStringLiteral("/gone.app"));
    const QString installed = makeBundle(root + QStringLiteral("/opt/Nubbo.app"), QStringLiteral("installed"));
    // The second data folder holds it, as /usr/share does for a package; the key is among others.
    writeFile(root + QStringLiteral("/system data/applications/dev.nubbo.Nubbo.desktop"),
              QStringLiteral("[Desktop Entry]\nType=Application\nExec=\"%1/Contents/MacOS/Nubbo\"\nX-Nubbo-Bundle=%1\n")
                  .arg(installed)
                  .toUtf8());
    writeMarker(10);

    const ScriptRun r = run({QStringLiteral("--event"), QStringLiteral("Stop")}, "payload");
    EXPECT_EQ(r.out, "{\"decision\":\"from installed\"}");
    EXPECT_EQ(recordedArgv(), (QStringList{QStringLiteral("installed"), QStringLiteral("--event"), QStringLiteral("Stop")}));
    EXPECT_EQ(readFile(nubboDir() + QStringLiteral("/bin/.bridge-cache")), (installed + QStringLiteral("\n")).toUtf8());
    EXPECT_FALSE(QFile::exists(marker()));
}

// Where a bundle is remembered (written into the launcher by the app, the cache, a menu entry in a data
// folder) and what was done to it. Only a bundle no other user can have changed runs; otherwise the hook
// exits 0 with no output as if the app were gone, and a cache entry that fails is forgotten.
TEST_F(LauncherScriptTest, RunsOnlyABundleThatNoOtherUserCanHaveChanged) {
    enum class Remembered { launcher, cache, menuEntry };
    const QString sound = root + QStringLiteral("/sound");
    const QString lost = QStringLiteral("/tmp"); // world-writable, as on every Linux
    const bool asRoot = ::geteuid() == 0;
    struct Case {
        const char* name;
        Remembered where;
        std::function<QString()> make; // returns the bundle path to remember
        bool runs;
        QString entryValue = {};      // the menu entry's X-Nubbo-Bundle value as written, when not the path
        QString entryFile = {};       // or a whole menu entry to copy
    };
    const auto bundleAt = [&](const QString& path) { return [this, path] { return makeBundle(path, QStringLiteral("b")); }; };
    QTemporaryDir underTmp(lost + QStringLiteral("/nubbo-launcher-XXXXXX"));
    ASSERT_TRUE(underTmp.isValid());
    const QString strange = sound + QStringLiteral("/a b\"c$d`e\\f%g'h.app");
    const std::vector<Case> cases{
        {"sound, written by the app", Remembered::launcher, bundleAt(sound + QStringLiteral("/w.app")), true},
        {"sound, named by a menu entry with escapes", Remembered::menuEntry, bundleAt(strange), true,
         sound + QStringLiteral("/a\\sb\"c$d`e\\\\f%g'h.app")},
        {"named by the menu entry the packaging rules make", Remembered::menuEntry,
         [&] {
             const QString packaged = QString::fromUtf8(kMenuEntryBundle);
             // In the build folder, which must pass the test itself for the bundle to run.
             const QString menuFolder = QFileInfo(QFileInfo(packaged).path()).path();
             return isTrustedPath(menuFolder) && QFileInfo(menuFolder).isWritable() ? makeBundle(packaged, QStringLiteral("b"))
                                                                                    : QString();
         },
         true, {}, QString::fromUtf8(kMenuEntryFile)},
        {"an escape no path holds", Remembered::menuEntry, bundleAt(sound + QStringLiteral("/n.app")), false,
         sound + QStringLiteral("/n.app\\n")},
        {"a folder above is group-writable", Remembered::cache,
         [&] {
             const QString b = makeBundle(sound + QStringLiteral("/g.app"), QStringLiteral("b"));
             ::chmod(QFile::encodeName(b + QStringLiteral("/Contents")).constData(), 0775);
             return b;
         },
         false},
        {"a folder above belongs to another user", Remembered::menuEntry,
         [&] {
             const QString b = makeBundle(sound + QStringLiteral("/f.app"), QStringLiteral("b"));
             // Root is trusted, so only a real other uid makes the case; a non-root run cannot give one away.
             if (asRoot && ::chown(QFile::encodeName(b + QStringLiteral("/Contents/Helpers")).constData(), 65534, 65534) != 0)
                 ADD_FAILURE() << "chown";
             return asRoot ? b : QString();
         },
         false},
        {"under /tmp, written by the app", Remembered::launcher, bundleAt(underTmp.path() + QStringLiteral("/t.app")), false},
        {"under /tmp, in the cache", Remembered::cache, bundleAt(underTmp.path() + QStringLiteral("/t.app")), false},
        {"a sound path that links to /tmp", Remembered::cache,
         [&] {
             makeBundle(underTmp.path() + QStringLiteral("/l.app"), QStringLiteral("b"));
             QDir().mkpath(sound);
             QFile::link(underTmp.path() + QStringLiteral("/l.app"), sound + QStringLiteral("/l.app"));
             return sound + QStringLiteral("/l.app");
         },
         false},
        {"a /tmp link to a sound bundle", Remembered::menuEntry,
         [&] {
             makeBundle(sound + QStringLiteral("/s.app"), QStringLiteral("b"));
             QFile::link(sound + QStringLiteral("/s.app"), underTmp.path() + QStringLiteral("/s.app"));
             return underTmp.path() + QStringLiteral("/s.app");
         },
         false},
    };
    // Both writers of desktop entries quote Exec alike (the app's is read back by a desktop in the platform test).
    EXPECT_TRUE(readFile(QString::fromUtf8(kMenuEntryFile))
                    .contains("\nExec=" +
                              DesktopEntryValues::execArgument(QString::fromUtf8(kMenuEntryBundle) +
                                                               QStringLiteral("/Contents/MacOS/Nubbo"))
                                  ->toUtf8() +
                              "\n"));
    const QString cache = nubboDir() + QStringLiteral("/bin/.bridge-cache");
    const QString entry = root + QStringLiteral("/system data/applications/dev.nubbo.Nubbo.desktop");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(sound).removeRecursively();
        QDir(nubboDir()).removeRecursively();
        QFile::remove(entry);
        QFile::remove(record + QStringLiteral("/argv"));
        const QString bundle = c.make();
        if (bundle.isEmpty()) continue;

        install(c.where == Remembered::launcher ? bundle : QString());
        EXPECT_EQ(readFile(launcher()).contains(LauncherScript::shellQuoted(bundle).toUtf8()),
                  c.where == Remembered::launcher && c.runs)
            << "the app writes down only a bundle that passes";
        if (c.where == Remembered::cache) writeFile(cache, (bundle + QStringLiteral("\n")).toUtf8());
        if (c.where == Remembered::menuEntry)
            writeFile(entry, !c.entryFile.isEmpty()
                                 ? readFile(c.entryFile)
                                 : (QStringLiteral("[Desktop Entry]\nType=Application\nX-Nubbo-Bundle=") +
                                    (c.entryValue.isEmpty() ? bundle : c.entryValue) + QStringLiteral("\n"))
                                       .toUtf8());

        const ScriptRun r = run({QStringLiteral("--event"), QStringLiteral("Stop")}, "payload");
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
        EXPECT_EQ(r.out, c.runs ? QByteArray("{\"decision\":\"from b\"}") : QByteArray());
        EXPECT_EQ(QFile::exists(record + QStringLiteral("/argv")), c.runs);
        EXPECT_EQ(QFile::exists(marker()), !c.runs) << "a refused bundle counts as no app";
        if (c.where == Remembered::cache) {
            EXPECT_EQ(QFile::exists(cache), c.runs) << "a failing entry is forgotten";
        }
        if (c.where == Remembered::menuEntry && c.runs) {
            EXPECT_EQ(readFile(cache), (bundle + QStringLiteral("\n")).toUtf8()) << "the decoded path is cached";
        }
    }
    QDir(QFileInfo(QString::fromUtf8(kMenuEntryBundle)).path()).removeRecursively();
}

TEST_F(LauncherScriptTest, AppGoneArmsTheMarkerAndWaitsOutTheGracePeriod) {
    install(root + QStringLiteral("/gone.app"));
    const QByteArray settings = R"({"hooks":{"Stop":[{"hooks":[{"type":"command","command":"'x/nubbo-bridge' --source claude --event Stop"}]}]}})";
    writeFile(home + QStringLiteral("/.claude/settings.json"), settings);
    withNode();

    const qint64 before = QDateTime::currentSecsSinceEpoch();
    ScriptRun r = run({QStringLiteral("--source"), QStringLiteral("claude")}, "payload");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    const qint64 armed = readFile(marker()).trimmed().toLongLong();
    EXPECT_GE(armed, before);
    EXPECT_LE(armed, QDateTime::currentSecsSinceEpoch());

    // 299 seconds later nothing is cleaned and the marker keeps its time.
    writeMarker(LauncherScript::kGraceSeconds - 1);
    const QByteArray held = readFile(marker());
    r = run({});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.isEmpty() && r.err.isEmpty());
    EXPECT_EQ(readFile(marker()), held);
    EXPECT_EQ(readFile(home + QStringLiteral("/.claude/settings.json")), settings);

    // A marker that is not a plain time (dash aborts with status 2 on a bad number in arithmetic) or lies in
    // the future is re-armed with the current time instead of cleaning or failing the hook.
    for (const QByteArray& bad : {QByteArray("garbage\n"), QByteArray("08\n"), QByteArray("99999999999999999999\n"),
                                  QByteArray::number(QDateTime::currentSecsSinceEpoch() + 100000) + "\n"}) {
        writeFile(marker(), bad);
        r = run({});
        EXPECT_EQ(r.exitCode, 0) << bad.toStdString();
        EXPECT_TRUE(r.out.isEmpty() && r.err.isEmpty()) << bad.toStdString();
        EXPECT_LE(readFile(marker()).trimmed().toLongLong(), QDateTime::currentSecsSinceEpoch()) << bad.toStdString();
        EXPECT_GE(readFile(marker()).trimmed().toLongLong(), before) << bad.toStdString();
        EXPECT_EQ(readFile(home + QStringLiteral("/.claude/settings.json")), settings);
    }
}

TEST_F(LauncherScriptTest, AfterTheGracePeriodTheSelfCleanRemovesOnlyTheAppsEntriesThenTheLauncher) {
    if (!withNode()) GTEST_SKIP() << "node is not installed";
    install(root + QStringLiteral("/gone.app"));
    const QString app = LauncherScript::hookCommand(launcher(), QStringLiteral("claude"), QStringLiteral("Stop"));

    // Claude: an app-only group, a mixed group, a user group, and an event holding nothing of ours. The real
    // file lives in a dotfiles folder behind a symlink and is private.
    const QString dotfiles = root + QStringLiteral("/dotfiles/claude-settings.json");
    writeFile(dotfiles,
              withAppCommand(R"({
  "model": "opus",
  "hooks": {
    "Stop": [
      {"hooks": [{"type": "command", "command": "APP"}]},
      {"matcher": "*", "hooks": [{"type": "command", "command": "echo user-stop"}, {"type": "command", "command": "APP"}]}
    ],
    "PreToolUse": [{"matcher": "Bash", "hooks": [{"type": "command", "command": "APP"}]}],
    "Notification": [{"hooks": [{"type": "command", "command": "notify-send hi"}]}],
    "SessionStart": []
  }
})",
                                app),
              QFile::ReadOwner | QFile::WriteOwner);
    QDir().mkpath(home + QStringLiteral("/.claude"));
    ASSERT_TRUE(QFile::link(dotfiles, home + QStringLiteral("/.claude/settings.json")));

    // Codex: only our entries, so "hooks" goes; other keys stay.
    writeFile(home + QStringLiteral("/.codex/hooks.json"),
              withAppCommand(R"({"other": true, "hooks": {"Stop": [{"hooks": [{"command": "APP"}]}]}})", app));
    // Cursor: flat entries.
    writeFile(home + QStringLiteral("/.cursor/hooks.json"),
              withAppCommand(R"({"version": 1, "hooks": {"afterFileEdit": [{"command": "APP"}, {"command": "mine"}]}})", app));
    // The app's only command shares a group with the user's: the file still counts as changed.
    writeFile(home + QStringLiteral("/.kimi/settings.json"),
              withAppCommand(R"({"hooks": {"Stop": [{"hooks": [{"command": "APP"}, {"command": "user"}]}]}})", app));
    // Kimi's TOML: the tables the app writes go and the user's text comes back byte for byte.
    const std::string kimiUser = "# mine\ndefault_model = \"k2\"\n\n[[hooks]]\nevent = \"Stop\"\ncommand = \"say done\"\n";
    const TomlHookEntries::Edit kimi = TomlHookEntries::merge(
        kimiUser, *ProviderRegistry::spec("kimi"),
        [&](std::string_view event) { return (app + QStringLiteral(" --event ")).toStdString() + std::string(event); });
    ASSERT_TRUE(kimi.ok()) << kimi.error;
    writeFile(home + QStringLiteral("/.kimi-code/config.toml"), QByteArray::fromStdString(kimi.text));
    // Untouched files keep their exact bytes; a file that does not parse is never rewritten.
    const QByteArray gemini = "{ \"hooks\" :{\"AfterTool\":[{\"hooks\":[{\"command\":\"user\"}]}], \"X\": []} }";
    writeFile(home + QStringLiteral("/.gemini/settings.json"), gemini);
    const QByteArray broken = "{\"hooks\": {\"Stop\": [{\"command\": \"nubbo-bridge\"}]";
    writeFile(home + QStringLiteral("/.qwen/settings.json"), broken);
    // The app's own files go; a user's script of the same name stays.
    writeFile(home + QStringLiteral("/.copilot/hooks/nubbo-bridge.json"), "{\"bash\": \"nubbo-bridge\"}");
    writeFile(home + QStringLiteral("/.config/opencode/plugins/nubbo.js"), "// nubbo-bridge-marker\n");
    writeFile(home + QStringLiteral("/Documents/Cline/Rules/Hooks/PreToolUse"), "#!/bin/sh\n# nubbo-bridge-marker\n");
    writeFile(home + QStringLiteral("/Documents/Cline/Rules/Hooks/TaskStart"), "#!/bin/sh\necho mine\n");
    writeFile(home + QStringLiteral("/Documents/Cline/Hooks/TaskComplete"), "#!/bin/sh\n# nubbo-bridge-marker\n");

    writeMarker(LauncherScript::kGraceSeconds);
    const ScriptRun r = run({QStringLiteral("--source"), QStringLiteral("claude")}, "payload");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();

    EXPECT_TRUE(QFileInfo(home + QStringLiteral("/.claude/settings.json")).isSymLink()) << "written through the link";
    EXPECT_EQ(modeOf(dotfiles), 0600u) << "the private file stays private";
    EXPECT_EQ(readFile(dotfiles), R"({
  "model": "opus",
  "hooks": {
    "Stop": [
      {
        "matcher": "*",
        "hooks": [
          {
            "type": "command",
            "command": "echo user-stop"
          }
        ]
      }
    ],
    "Notification": [
      {
        "hooks": [
          {
            "type": "command",
            "command": "notify-send hi"
          }
        ]
      }
    ],
    "SessionStart": []
  }
}
)");
    EXPECT_EQ(readFile(home + QStringLiteral("/.codex/hooks.json")), "{\n  \"other\": true\n}\n");
    EXPECT_EQ(readFile(home + QStringLiteral("/.cursor/hooks.json")),
              "{\n  \"version\": 1,\n  \"hooks\": {\n    \"afterFileEdit\": [\n      {\n        \"command\": \"mine\"\n      }\n    ]\n  }\n}\n");
    EXPECT_EQ(readFile(home + QStringLiteral("/.kimi/settings.json")),
              "{\n  \"hooks\": {\n    \"Stop\": [\n      {\n        \"hooks\": [\n          {\n            \"command\": \"user\"\n          }\n        ]\n      }\n    ]\n  }\n}\n");
    EXPECT_EQ(readFile(home + QStringLiteral("/.kimi-code/config.toml")), QByteArray::fromStdString(kimiUser));
    EXPECT_EQ(readFile(home + QStringLiteral("/.gemini/settings.json")), gemini);
    EXPECT_EQ(readFile(home + QStringLiteral("/.qwen/settings.json")), broken);
    EXPECT_FALSE(QFile::exists(home + QStringLiteral("/.copilot/hooks/nubbo-bridge.json")));
    EXPECT_FALSE(QFile::exists(home + QStringLiteral("/.config/opencode/plugins/nubbo.js")));
    EXPECT_FALSE(QFile::exists(home + QStringLiteral("/Documents/Cline/Rules/Hooks/PreToolUse")));
    EXPECT_TRUE(QFile::exists(home + QStringLiteral("/Documents/Cline/Rules/Hooks/TaskStart")));
    EXPECT_FALSE(QFile::exists(home + QStringLiteral("/Documents/Cline/Hooks/TaskComplete")));
    EXPECT_FALSE(QFileInfo::exists(nubboDir())) << "the launcher, cache and marker go after the clean";
    EXPECT_TRUE(QDir(home + QStringLiteral("/.claude")).entryList(QDir::Hidden | QDir::Files).contains(QStringLiteral("settings.json")));
    EXPECT_EQ(QDir(QFileInfo(dotfiles).path()).entryList(QDir::Files | QDir::Hidden).size(), 1) << "no temp file left";
}

TEST_F(LauncherScriptTest, TheSelfCleanRestoresAFileNobodyChangedAndOnlyStripsOneTheUserEdited) {
    if (!withNode()) GTEST_SKIP() << "node is not installed";
    // The real installer writes the launcher, the backups and its record (under a home with a quote).
    HookInstallerEnvironment env;
    env.home = home;
    env.backupsDirectory = home + QStringLiteral("/.local/share/Nubbo/Backups");
    env.enabled = [](const QString& id) { return id == "claude" || id == "codex" || id == "kimi"; };
    // Codex in a folder of the user's choosing: the self-clean finds it there.
    const QString codexHome = home + QStringLiteral("/work/codex's home");
    env.configFolder = [codexHome](const QString& id) { return id == "codex" ? codexHome : QString(); };
    env.log = [](const QString&) {};
    const HookInstaller installer(env);
    const QByteArray claude = "{ \"model\": \"opus\",\n  \"hooks\": {\"Stop\": [{\"hooks\": [{\"command\": \"vibe-island\"}]}]} }\n";
    const QByteArray kimi = "# mine\ndefault_model = \"k2\"\n";
    const QString codexPath = codexHome + QStringLiteral("/hooks.json");
    writeFile(home + QStringLiteral("/.claude/settings.json"), claude);
    writeFile(home + QStringLiteral("/.kimi-code/config.toml"), kimi);
    writeFile(codexPath, R"({"hooks": {"Stop": [{"hooks": [{"command": "notify"}]}]}})");
    ASSERT_TRUE(installer.install().ok());
    const QByteArray wired = readFile(codexPath);
    nlohmann::json edited = nlohmann::json::parse(wired.constBegin(), wired.constEnd());
    edited["model"] = "o3";
    writeFile(codexPath, QByteArray::fromStdString(edited.dump()));

    writeMarker(LauncherScript::kGraceSeconds);
    const ScriptRun r = run({QStringLiteral("--source"), QStringLiteral("claude")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_FALSE(QFileInfo::exists(nubboDir()));
    EXPECT_EQ(readFile(home + QStringLiteral("/.claude/settings.json")), claude) << "restored byte for byte";
    EXPECT_EQ(readFile(home + QStringLiteral("/.kimi-code/config.toml")), kimi);
    const QByteArray codex = readFile(codexPath);
    EXPECT_EQ(nlohmann::json::parse(codex.constBegin(), codex.constEnd()),
              nlohmann::json::parse(R"({"model": "o3", "hooks": {"Stop": [{"hooks": [{"command": "notify"}]}]}})"))
        << "the user's edit stays, the app's entries go";
}

TEST_F(LauncherScriptTest, WithoutNodeTheLauncherStaysAndKeepsExitingQuietly) {
    install(root + QStringLiteral("/gone.app"));
    const QByteArray settings = R"({"hooks":{"Stop":[{"hooks":[{"command":"nubbo-bridge --source claude"}]}]}})";
    writeFile(home + QStringLiteral("/.claude/settings.json"), settings);
    writeMarker(100000);

    for (int i = 0; i < 2; ++i) {
        const ScriptRun r = run({QStringLiteral("--event"), QStringLiteral("Stop")}, "payload");
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_TRUE(r.out.isEmpty() && r.err.isEmpty()) << r.err.toStdString();
        EXPECT_TRUE(QFile::exists(launcher()));
        EXPECT_EQ(readFile(home + QStringLiteral("/.claude/settings.json")), settings);
    }
}

TEST_F(LauncherScriptTest, HookCommandsSurviveAHomeWithQuotesAndCannotBeInjected) {
    makeBundle(home + QStringLiteral("/.local/lib/nubbo/Nubbo.app"), QStringLiteral("home"));
    install(QString());
    const QString command = LauncherScript::hookCommand(launcher(), QStringLiteral("claude"), QStringLiteral("PreToolUse"));
    EXPECT_TRUE(command.contains(QStringLiteral("nubbo-bridge"))) << "the marker the installer recognises";
    EXPECT_TRUE(command.endsWith(QStringLiteral(" --source claude --event PreToolUse")));

    ScriptRun r = run({QStringLiteral("-c"), command}, "in", QStringLiteral("/bin/sh"));
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(recordedArgv(), (QStringList{QStringLiteral("home"), QStringLiteral("--source"), QStringLiteral("claude"),
                                           QStringLiteral("--event"), QStringLiteral("PreToolUse")}));

    // A path built to close the quote and run a command of its own stays one word.
    const QString evil = root + QStringLiteral("/x'; touch pwned; echo '/nubbo-bridge");
    const QString evilCommand = LauncherScript::hookCommand(evil, QStringLiteral("claude"), QStringLiteral("Stop"));
    r = run({QStringLiteral("-c"), QStringLiteral("cd \"$NUBBO_TEST_RECORD\" && ") + evilCommand}, {}, QStringLiteral("/bin/sh"));
    EXPECT_NE(r.exitCode, 0) << "no such file: the whole path was taken as the program";
    EXPECT_FALSE(QFile::exists(record + QStringLiteral("/pwned")));

    // Ids and events outside the plain-word alphabet are quoted too.
    EXPECT_TRUE(LauncherScript::hookCommand(QStringLiteral("/l"), QStringLiteral("a b"), QStringLiteral("$(x)"))
                    .endsWith(QStringLiteral("--source 'a b' --event '$(x)'")));
}

TEST_F(LauncherScriptTest, InstallReplacesTheLauncherExecutableAndReportsFailure) {
    const QString first = makeBundle(root + QStringLiteral("/one.app"), QStringLiteral("one"));
    const QString second = makeBundle(root + QStringLiteral("/two.app"), QStringLiteral("two"));
    install(first);
    install(second);
    EXPECT_EQ(modeOf(launcher()), 0755u);
    EXPECT_EQ(QDir(nubboDir() + QStringLiteral("/bin")).entryList(QDir::Files | QDir::Hidden).size(), 1);
    // ScriptRun directly, as an agent does: the shebang and the mode must be right.
    const ScriptRun r = run({QStringLiteral("a")}, {}, launcher());
    EXPECT_EQ(r.out, "{\"decision\":\"from two\"}");

    QDir(nubboDir()).removeRecursively();
    writeFile(nubboDir(), "a file where the folder should be");
    QString error;
    EXPECT_FALSE(LauncherScript::install(home, first, &error));
    EXPECT_FALSE(error.isEmpty());
}

} // namespace
} // namespace nubbo
