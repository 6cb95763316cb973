// Starting the app when the user logs in.
#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace nubbo {

class LoginItem {
public:
    virtual ~LoginItem() = default;
    // Registers (true) or unregisters (false) the app. Failures are logged, never thrown: the caller keeps
    // the user's choice either way.
    virtual void set(bool enabled) = 0;
};

// An XDG autostart entry, <config home>/autostart/nubbo.desktop.
class XdgLoginItem final : public LoginItem {
public:
    using Log = std::function<void(const QString&)>;

    // executablePath: what the entry starts; empty means the running application's own file (needs a
    // QCoreApplication). autostartDir: empty means <XDG config home>/autostart, resolved at each call so a
    // changed environment is honoured.
    explicit XdgLoginItem(Log log, QString executablePath = {}, QString autostartDir = {});

    void set(bool enabled) override;

    QString entryPath() const;
    // The whole desktop entry for an executable; nothing when the path cannot be expressed in one (empty,
    // relative, or holding a control character). set(true) also refuses a path that another user could
    // change (isTrustedPath).
    static std::optional<QString> desktopEntry(const QString& executablePath);

private:
    // Empty on success, else the reason.
    QString install();
    QString uninstall();

    const Log log_;
    const QString executablePath_;
    const QString autostartDir_;
};

} // namespace nubbo
