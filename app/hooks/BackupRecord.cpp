#include "hooks/BackupRecord.h"

#include "hooks/ConfigFileWriter.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include <nlohmann/json.hpp>

namespace nubbo {

using nlohmann::json;

QString BackupRecord::path(const QString& backupsDirectory) {
    return QDir(backupsDirectory).filePath(QStringLiteral("written.json"));
}

QString BackupRecord::name(const ProviderSpec& spec) {
    return QString::fromStdString(spec.id) + QLatin1Char('-') +
           QFileInfo(QString::fromStdString(spec.configRelativePath)).fileName();
}

QString BackupRecord::digest(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

BackupRecord BackupRecord::load(const QString& path) {
    BackupRecord record;
    const std::optional<QByteArray> bytes = ConfigFileWriter::read(path);
    if (!bytes)
        return record;
    const json root = json::parse(bytes->constBegin(), bytes->constEnd(), nullptr, false);
    if (!root.is_object())
        return record;
    const auto text = [](const json& entry, const char* key) {
        const auto it = entry.find(key);
        return it != entry.end() && it->is_string() ? QString::fromStdString(it->get<std::string>()) : QString();
    };
    for (const auto& [key, entry] : root.items())
        if (entry.is_object())
            record.files.insert(QString::fromStdString(key),
                                File{text(entry, "sha256"), text(entry, "backup"), text(entry, "first")});
    return record;
}

QString BackupRecord::save(const QString& path) const {
    json root = json::object();
    for (auto it = files.begin(); it != files.end(); ++it) {
        json entry = json::object();
        if (!it->sha256.isEmpty()) entry["sha256"] = it->sha256.toStdString();
        if (!it->backup.isEmpty()) entry["backup"] = it->backup.toStdString();
        if (!it->first.isEmpty()) entry["first"] = it->first.toStdString();
        if (!entry.empty()) root[it.key().toStdString()] = std::move(entry);
    }
    return ConfigFileWriter::writeAtomically(path, QByteArray::fromStdString(root.dump(2) + '\n'), 0600);
}

QSet<QString> BackupRecord::folders() const {
    QSet<QString> result;
    for (const File& file : files) {
        if (!file.backup.isEmpty()) result.insert(file.backup);
        if (!file.first.isEmpty()) result.insert(file.first);
    }
    return result;
}

} // namespace nubbo
