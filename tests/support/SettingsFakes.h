// Stand-ins for the keychain and the login item, shared by the settings tests.
#pragma once

#include "platform/LoginItem.h"
#include "platform/PreferencesDomain.h"
#include "platform/SecretStore.h"

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QVariant>

#include <vector>

namespace nubbo::fakes {

class MemorySecretStore : public SecretStore {
public:
    std::optional<QString> string(const QString& key) override {
        const auto found = items.constFind(key);
        return found == items.constEnd() ? std::nullopt : std::optional<QString>(*found);
    }
    void set(const QString& value, const QString& key) override {
        if (dropWrites)
            return;
        const QString trimmed = value.trimmed();
        if (trimmed.isEmpty())
            items.remove(key);
        else
            items.insert(key, trimmed);
    }
    void remove(const QString& key) override { items.remove(key); }

    QHash<QString, QString> items;
    // Behaves like a keychain that timed out: reads work, writes vanish.
    bool dropWrites = false;
};

// Preferences kept in memory only, for tests that never look at the file.
class MemoryPreferences final : public PreferencesDomain {
public:
    QVariant value(const QString& key) const override { return values.value(key); }
    void setValue(const QString& key, const QVariant& value) override { values.insert(key, value); }
    void remove(const QString& key) override { values.remove(key); }
    bool contains(const QString& key) const override { return values.contains(key); }
    QHash<QString, QVariant> values;
};

class RecordingLoginItem : public LoginItem {
public:
    void set(bool enabled) override { calls.push_back(enabled); }
    std::vector<bool> calls;
};

inline QJsonObject readJsonObject(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

inline void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(content);
}

} // namespace nubbo::fakes
