#include "platform/LoginItem.h"

#include "platform/DesktopEntryValues.h"
#include "platform/JsonPreferencesDomain.h"
#include "platform/TrustedPath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace nubbo {

XdgLoginItem::XdgLoginItem(Log log, QString executablePath, QString autostartDir)
    : log_(std::move(log)), executablePath_(std::move(executablePath)), autostartDir_(std::move(autostartDir)) {}

QString XdgLoginItem::entryPath() const {
    const QString dir =
        autostartDir_.isEmpty() ? JsonPreferencesDomain::configHome() + QStringLiteral("/autostart") : autostartDir_;
    return dir + QStringLiteral("/nubbo.desktop");
}

std::optional<QString> XdgLoginItem::desktopEntry(const QString& executablePath) {
    if (!QDir::isAbsolutePath(executablePath)) return std::nullopt;
    const std::optional<QString> exec = DesktopEntryValues::execArgument(executablePath);
    const std::optional<QString> tryExec = DesktopEntryValues::string(executablePath);
    if (!exec || !tryExec) return std::nullopt;
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Nubbo\n"
                          "Comment=Desktop companion for AI coding agents\n"
                          "Exec=%1\n"
                          // Once the app is removed (a package, a deleted bundle) the desktop skips the entry
                          // instead of failing to start it at every login.
                          "TryExec=%2\n"
                          "Icon=dev.nubbo.Nubbo\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(*exec, *tryExec);
}

void XdgLoginItem::set(bool enabled) {
    const QString failure = enabled ? install() : uninstall();
    if (!failure.isEmpty() && log_)
        log_((enabled ? QStringLiteral("login item set(true) failed: ") : QStringLiteral("login item set(false) failed: ")) +
             failure);
}

QString XdgLoginItem::install() {
    QString executable = executablePath_;
    if (executable.isEmpty() && QCoreApplication::instance())
        executable = QCoreApplication::applicationFilePath();
    const std::optional<QString> entry = desktopEntry(executable);
    if (!entry)
        return QStringLiteral("cannot start the app from path \"%1\"").arg(executable);
    // Every login would run whatever sits at that path by then, put there by anyone who can write above it.
    if (!isTrustedPath(executable))
        return QStringLiteral("will not start \"%1\" at login: it or a folder above it can be changed by another "
                              "user")
            .arg(executable);
    const QByteArray content = entry->toUtf8();

    const QString path = entryPath();
    // Already registered with the same entry: nothing to do.
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == content)
        return {};
    existing.close();

    const QString dir = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(dir))
        return QStringLiteral("cannot create %1").arg(dir);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("%1: %2").arg(path, file.errorString());
    file.write(content);
    if (!file.commit())
        return QStringLiteral("%1: %2").arg(path, file.errorString());
    return {};
}

QString XdgLoginItem::uninstall() {
    const QString path = entryPath();
    QFile file(path);
    // exists() follows links; a dangling link is still an entry to remove.
    if (!file.exists() && !QFileInfo(path).isSymLink())
        return {};
    if (!file.remove())
        return QStringLiteral("%1: %2").arg(path, file.errorString());
    return {};
}

} // namespace nubbo
