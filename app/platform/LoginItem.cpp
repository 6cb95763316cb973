#include "LoginItem.h"

#include "JsonPreferencesDomain.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace nubbo {

namespace {

// One argument of an Exec line: quoted, with the characters the quoting rules reserve escaped, then the
// backslashes doubled once more for the key file's own string escaping, and '%' doubled so it is not taken
// for a field code.
QString execArgument(const QString& argument) {
    QString quoted;
    quoted.reserve(argument.size() + 8);
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$'))
            quoted += QStringLiteral("\\\\") + c;
        else if (c == QLatin1Char('\\'))
            quoted += QStringLiteral("\\\\\\\\");
        else if (c == QLatin1Char('%'))
            quoted += QStringLiteral("%%");
        else
            quoted += c;
    }
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

XdgLoginItem::XdgLoginItem(Log log, QString executablePath, QString autostartDir)
    : log_(std::move(log)), executablePath_(std::move(executablePath)), autostartDir_(std::move(autostartDir)) {}

QString XdgLoginItem::entryPath() const {
    const QString dir =
        autostartDir_.isEmpty() ? JsonPreferencesDomain::configHome() + QStringLiteral("/autostart") : autostartDir_;
    return dir + QStringLiteral("/nubbo.desktop");
}

std::optional<QString> XdgLoginItem::desktopEntry(const QString& executablePath) {
    if (executablePath.isEmpty() || !QDir::isAbsolutePath(executablePath) ||
        executablePath.contains(QLatin1Char('\n')) || executablePath.contains(QLatin1Char('\r')))
        return std::nullopt;
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
        .arg(execArgument(executablePath), QString(executablePath).replace(QLatin1Char('\\'), QStringLiteral("\\\\")));
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
