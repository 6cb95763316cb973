// How the app's hooks get into one agent: each way an agent reads hooks (a JSON hook list, TOML tables, a
// plug-in, a folder of scripts, a file of the app's own) is one type behind this interface. The installer keeps
// what they share: the lock, backups, the record of written digests, failures and the log.
#pragma once

#include "hooks/HookEntries.h"
#include "common/ProviderSpec.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

namespace nubbo {

// What a wiring is built with: the agent, where its files are, and what the app's hooks run.
struct HookWiringContext {
    ProviderSpec spec;
    QString home;
    QString path;            // the agent's configuration file or folder: its configRelativePath under home
    HookCommandFor command;  // the command the app's hook for an event runs
    std::function<void(const QString&)> log;
    // The plug-in: where it goes, how it is written (an error text, empty on success) and what this build writes.
    QString pluginPath;
    std::function<QString(const QString& pluginPath)> writePlugin;
    std::function<QByteArray()> pluginText;
};

class HookWiring {
public:
    // A shared file's text with the app's hooks merged in, or why it cannot be edited.
    struct Merged {
        QByteArray bytes;
        QString error;
    };

    // The one place the agent's mechanism is looked at.
    static std::unique_ptr<const HookWiring> make(HookWiringContext context);
    // Whether the bytes hold any of the app's hook commands.
    static bool holdsAppHook(const QByteArray& bytes);

    explicit HookWiring(HookWiringContext context) : context_(std::move(context)) {}
    virtual ~HookWiring() = default;
    HookWiring(const HookWiring&) = delete;
    HookWiring& operator=(const HookWiring&) = delete;

    const ProviderSpec& spec() const { return context_.spec; }

    // The configuration file the agent shares with its user, or empty when every file the app writes for it is
    // the app's own. The installer backs a shared file up before the app first changes it, writes merged() into
    // it, remembers a digest of what it wrote, and gives the backup back while nobody has changed the file since.
    virtual QString sharedFile() const { return {}; }
    virtual Merged merged() const { return {}; }
    // Writes the app's own files; a shared file is left to the installer. An error text, empty on success.
    virtual QString write() const { return {}; }
    // Takes the app's hooks out and leaves everything of the user's; an error only when the app's hooks stay.
    virtual QString strip() const = 0;
    // Whether the app's hooks are in place for every event.
    virtual bool isWired() const = 0;
    // Wired exactly as an install now writes it.
    virtual bool isCurrent() const = 0;
    // The file whose changes the guardian watches; empty for none.
    virtual QString watchedFile() const = 0;

protected:
    const HookWiringContext& context() const { return context_; }

private:
    HookWiringContext context_;
};

} // namespace nubbo
