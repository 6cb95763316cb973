// The application's preferences: a flat key → typed value store. Safe to call from any thread.
#pragma once

#include <QString>
#include <QVariant>

namespace nubbo {

class PreferencesDomain {
public:
    virtual ~PreferencesDomain() = default;

    // The stored value with its type (bool, qint64, double, QString, QStringList; anything else the store
    // found, such as a list holding non-strings, comes back as some other type so typed readers reject it);
    // an invalid QVariant when the key is absent.
    virtual QVariant value(const QString& key) const = 0;
    // Accepts bool, the integer types, double, QString and QStringList; other types are refused (logged).
    virtual void setValue(const QString& key, const QVariant& value) = 0;
    // Removing an absent key is not an error.
    virtual void remove(const QString& key) = 0;
    virtual bool contains(const QString& key) const = 0;

    // Several changes that belong together (a reset, an import) are persisted once at the end rather than
    // one write per key. Batches nest; in-memory values change immediately either way.
    virtual void beginBatch() {}
    virtual void endBatch() {}
};

// Scoped batch: persists on leaving the scope, also when leaving by an exception.
class PreferencesBatch {
public:
    explicit PreferencesBatch(PreferencesDomain& domain) : domain_(domain) { domain_.beginBatch(); }
    ~PreferencesBatch() { domain_.endBatch(); }
    PreferencesBatch(const PreferencesBatch&) = delete;
    PreferencesBatch& operator=(const PreferencesBatch&) = delete;

private:
    PreferencesDomain& domain_;
};

} // namespace nubbo
