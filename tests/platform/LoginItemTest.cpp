// The autostart entry read back by a real desktop-entry reader (GLib's, through `gio launch`) and checked by
// desktop-file-validate, for executables whose paths hold every character the quoting rules reserve.
#include "platform/DesktopEntryValues.h"
#include "platform/LoginItem.h"
#include "platform/TrustedPath.h"
#include "TrustedScratch.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

using namespace nubbo;

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeExecutable(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(text);
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                        QFile::ReadOther | QFile::ExeOther);
}

// What `gio launch entry` started wrote: its $0 and $1. The program runs on after gio returns.
QStringList launched(const QString& entry, const QString& out) {
    QFile::remove(out);
    QProcess gio;
    gio.start(QStringLiteral("gio"), {QStringLiteral("launch"), entry});
    if (!gio.waitForFinished(20000) || gio.exitCode() != 0) return {QString::fromUtf8(gio.readAllStandardError())};
    for (QDeadlineTimer deadline(20000); !QFile::exists(out) && !deadline.hasExpired();) QThread::msleep(10);
    return QString::fromUtf8(readFile(out)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

TEST(XdgLoginItem, ExecAndTryExecReadBackAsThePathAndAnUnsafePathIsRefused) {
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    const QString validate = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (gio.isEmpty() || validate.isEmpty()) GTEST_SKIP() << "needs gio (libglib2.0-bin) and desktop-file-utils";
    const std::unique_ptr<QTemporaryDir> root = nubbo::testing::trustedScratch(QStringLiteral("login-item"));
    if (!root) GTEST_SKIP() << "no folder that only this user and root can write to";
    const QString out = root->path() + QStringLiteral("/launched");
    const QByteArray recorder = "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$1\" > \"" + QFile::encodeName(out) + ".tmp\" && mv \"" +
                                QFile::encodeName(out) + ".tmp\" \"" + QFile::encodeName(out) + "\"\n";
    const QString probe = root->path() + QStringLiteral("/probe");
    writeExecutable(probe, recorder);

    for (const char* folder : {"a b", "q\"uote", "d$ollar", "back`tick", "back\\slash", "per%cent", "a b\"c$d`e\\f%g'h;|&*"}) {
        SCOPED_TRACE(folder);
        const QString exe = root->path() + QLatin1Char('/') + QString::fromUtf8(folder) + QStringLiteral("/Nubbo");
        writeExecutable(exe, recorder);
        const QString autostart = root->path() + QStringLiteral("/autostart");
        QStringList logged;
        XdgLoginItem([&](const QString& line) { logged << line; }, exe, autostart).set(true);
        EXPECT_TRUE(logged.isEmpty()) << logged.join(QLatin1Char('\n')).toStdString();
        const QString entry = autostart + QStringLiteral("/nubbo.desktop");
        QProcess check;
        check.start(validate, {entry});
        ASSERT_TRUE(check.waitForFinished(20000));
        EXPECT_EQ(check.exitCode(), 0);
        EXPECT_EQ(check.readAllStandardOutput(), "");

        // The same path through GLib's reader, as an argument: GLib checks that an entry's program exists before
        // it expands "%%", so it would refuse the entry itself for a path with a '%'.
        const QString argument = root->path() + QStringLiteral("/argument.desktop");
        QFile file(argument);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(("[Desktop Entry]\nType=Application\nName=Probe\nExec=" + *DesktopEntryValues::execArgument(probe) + " " +
                    *DesktopEntryValues::execArgument(exe) + "\nTryExec=" + *DesktopEntryValues::string(exe) + "\n")
                       .toUtf8());
        file.close();
        EXPECT_EQ(launched(argument, out), (QStringList{probe, exe}));
        QDir(autostart).removeRecursively();
    }

    // A program under /tmp (another user can put anything there once the folder is gone) never starts at login.
    QTemporaryDir underTmp(QStringLiteral("/tmp/login-item-XXXXXX"));
    writeExecutable(underTmp.path() + QStringLiteral("/Nubbo"), recorder);
    QStringList logged;
    XdgLoginItem([&](const QString& line) { logged << line; }, underTmp.path() + QStringLiteral("/Nubbo"),
                 root->path() + QStringLiteral("/autostart"))
        .set(true);
    EXPECT_EQ(logged.size(), 1);
    EXPECT_FALSE(QFile::exists(root->path() + QStringLiteral("/autostart/nubbo.desktop")));
}
