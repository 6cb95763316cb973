// What an alert of the settings or onboarding window says: its title and text, and the words on its buttons
// (a confirmation has two, a warning only the first).
#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

namespace nubbo {

struct ShellAlert {
    QString title;
    QString text;
    QString confirm;
    QString cancel;  // empty for a warning
    bool warning = false;

    // The form the views take: {title, text, confirm, cancel, warning}.
    QVariantMap toVariantMap() const {
        return {{QStringLiteral("title"), title},
                {QStringLiteral("text"), text},
                {QStringLiteral("confirm"), confirm},
                {QStringLiteral("cancel"), cancel},
                {QStringLiteral("warning"), warning}};
    }

    // What a flow gives the views: {ok: true} when nothing went wrong, else the alert with ok false.
    static QVariantMap outcome(const std::optional<ShellAlert>& failure) {
        if (!failure)
            return {{QStringLiteral("ok"), true}};
        QVariantMap result = failure->toVariantMap();
        result.insert(QStringLiteral("ok"), false);
        return result;
    }
};

} // namespace nubbo
