// Preferences kept in one JSON file, loaded once and rewritten whole (atomically) on every change.
#pragma once

#include "platform/PreferencesDomain.h"

#include <QJsonObject>
#include <QMutex>
#include <QString>

#include <functional>

namespace nubbo {

// JSON has one number type. A number with an integral value (10, 10.0, 1e2) reads back as qint64, any other
// as double; Qt writes 2.0 as "2", so this is the only rule that gives the same answer before and after a
// reload. Readers of a double setting therefore accept both; readers of an integer setting accept qint64.
// Booleans, strings and arrays of strings keep their types exactly.
class JsonPreferencesDomain final : public PreferencesDomain {
public:
    // Called with one line per problem (unreadable file, failed write). Must not call back into the domain.
    using Log = std::function<void(const QString&)>;

    // Reads the file now. A missing file is an empty domain. A file that does not parse is moved aside to
    // "<file>.corrupt-<UTC time>" before starting empty, so the next write cannot destroy it; if it cannot be
    // read or moved, the domain still works but keeps changes in memory only.
    explicit JsonPreferencesDomain(QString filePath, Log log = {});

    QVariant value(const QString& key) const override;
    void setValue(const QString& key, const QVariant& value) override;
    void remove(const QString& key) override;
    bool contains(const QString& key) const override;
    void beginBatch() override;
    void endBatch() override;

    QString filePath() const { return path_; }
    // False when the existing file could not be read or moved aside (nothing is written then).
    bool persists() const;

    // $XDG_CONFIG_HOME when set to an absolute path, else ~/.config.
    static QString configHome();
    // configHome()/Nubbo/preferences.json
    static QString defaultFilePath();

private:
    void load();
    void persistLocked();
    void log(const QString& line) const;

    const QString path_;
    const Log log_;
    mutable QMutex mutex_;
    QJsonObject values_;
    int batchDepth_ = 0;
    bool dirty_ = false;     // memory differs from the file
    bool writable_ = true;
};

} // namespace nubbo
