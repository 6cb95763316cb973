#include "focus/KittyRemote.h"

#include "focus/OwnedSocket.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace nubbo {
namespace {

constexpr qsizetype kMaxAddress = 4096;

} // namespace

std::optional<KittyRemote> KittyRemote::of(const TerminalContext& context) {
    const QString& address = context.kittyListenOn;
    if (!address.startsWith(QLatin1String("unix:")) || address.size() <= 5 || address.size() > kMaxAddress)
        return std::nullopt;
    for (const QChar c : address)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return std::nullopt;
    bool ok = false;
    const qint64 window = context.kittyWindowId.toLongLong(&ok);
    if (!ok || window <= 0 || context.kittyWindowId.size() > 9)
        return std::nullopt;
    return KittyRemote(address, window);
}

bool KittyRemote::socketOwnedBy(uid_t uid) const {
    const QString path = address_.mid(5);
    return path.startsWith(QLatin1Char('@')) || isSocketOwnedBy(path, uid);
}

std::optional<KittyWindow> KittyRemote::findIn(const QByteArray& listing, qint64 windowId) {
    const QJsonArray osWindows = QJsonDocument::fromJson(listing).array();
    for (const QJsonValue& osWindow : osWindows) {
        const QJsonObject os = osWindow.toObject();
        for (const QJsonValue& tab : os.value(QLatin1String("tabs")).toArray()) {
            for (const QJsonValue& window : tab.toObject().value(QLatin1String("windows")).toArray()) {
                const QJsonObject w = window.toObject();
                if (w.value(QLatin1String("id")).toInteger(-1) != windowId)
                    continue;
                const qint64 platform = os.value(QLatin1String("platform_window_id")).toInteger(0);
                if (platform <= 0 || platform > 0xFFFFFFFF)
                    return std::nullopt;
                const bool focused = os.value(QLatin1String("is_focused")).toBool() &&
                                     tab.toObject().value(QLatin1String("is_focused")).toBool() &&
                                     w.value(QLatin1String("is_focused")).toBool();
                return KittyWindow{static_cast<quint32>(platform), focused};
            }
        }
    }
    return std::nullopt;
}

std::optional<KittyWindow> KittyRemote::find(CommandRunner& runner, int timeoutMs) const {
    const CommandResult result =
        runner.run(QStringLiteral("kitty"), {QStringLiteral("@"), QStringLiteral("--to"), address_, QStringLiteral("ls")},
                   timeoutMs);
    if (!result.ok())
        return std::nullopt;
    return findIn(result.output, window_);
}

bool KittyRemote::focus(CommandRunner& runner, int timeoutMs) const {
    return runner
        .run(QStringLiteral("kitty"),
             {QStringLiteral("@"), QStringLiteral("--to"), address_, QStringLiteral("focus-window"),
              QStringLiteral("--match"), QStringLiteral("id:") + QString::number(window_)},
             timeoutMs)
        .ok();
}

} // namespace nubbo
