// The words of the settings and onboarding windows in both languages, looked up by key, so the views stay
// free of text and a test can read every one of them.
#pragma once

#include "core/SettingsEnums.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace nubbo {

// One entry of the settings window's sidebar, in sidebar order.
struct SettingsCategory {
    QString id;
    QString symbol;
    QString title;
    QString blurb;
};

// The app's folders as the texts name them ("{data}", "{logs}", "{backups}"), the home written "~"; the
// usual places until told, so a text needs no folders to read right for most users.
struct ShownFolders {
    QString data = QStringLiteral("~/.local/share/Nubbo");
    QString logs = QStringLiteral("~/.local/state/Nubbo");

    static ShownFolders of(const QString& data, const QString& logs, const QString& home);
};

struct SettingsTexts {
    // The text for the key; the key itself when the table has none, so a mistyped key shows on screen.
    static QString text(const QString& key, Language language, const ShownFolders& folders = {});
    // Every key with its text, for the views to bind to.
    static QVariantMap table(Language language, const ShownFolders& folders = {});
    static QStringList keys();

    // Each picker's choices as the views list them, by picker name: [{value, title}] (approval modes also
    // carry their detail); "statusTitles" maps each agent status to its title, "remoteStateTitles" each state
    // of a remote host's forward.
    static QVariantMap options(Language language);

    // The nine categories.
    static QList<SettingsCategory> categories(Language language);

    // The install confirmation's body: the introduction, one "  • <path>" line per agent configuration (the
    // home written "~"), then the closing paragraph. The onboarding window words it for the agents it lists.
    enum class InstallWording { settings, onboarding };
    static QString installPromptText(const QStringList& shownPaths, InstallWording wording, Language language,
                                     const ShownFolders& folders = {});

    // The key of the text that says why the summary sends nothing to this endpoint; empty when it may.
    static QString endpointProblemKey(const QString& url);

    // "Version 0.1.0": the build's own version.
    static QString versionLine(Language language);
    static QString buildVersion();
};

} // namespace nubbo
