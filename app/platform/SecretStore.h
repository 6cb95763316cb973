// Where secrets (API keys) live: the platform keychain in the app, a map in tests.
#pragma once

#include <QString>

#include <optional>

namespace nubbo {

class SecretStore {
public:
    virtual ~SecretStore() = default;
    // The stored value, or nothing when there is no item or it cannot be read.
    virtual std::optional<QString> string(const QString& key) = 0;
    // Trims white space and newlines; an empty result removes the item.
    virtual void set(const QString& value, const QString& key) = 0;
    // A missing item is not an error.
    virtual void remove(const QString& key) = 0;
};

} // namespace nubbo
