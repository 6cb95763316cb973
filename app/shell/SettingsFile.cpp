#include "SettingsFile.h"

#include "SettingsStore.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSaveFile>

namespace nubbo {

namespace {

// An exported document is a few kilobytes; anything far larger is not one, and reading it whole could
// exhaust memory.
constexpr qint64 maximumSettingsFileSize = 1024 * 1024;

QString localized(Language language, const char* english, const char* chinese) {
    return QString::fromUtf8(language == Language::zh ? chinese : english);
}

SettingsFileAlert notASettingsFile(Language language) {
    return {localized(language, "Could not read settings file", "无法读取设置文件"),
            localized(language, "The file is not a valid Nubbo settings JSON.", "该文件不是有效的 Nubbo 设置 JSON。")};
}

} // namespace

bool exportToFile(const SettingsStore& store, const QString& path, QString* error) {
    const QByteArray content = QJsonDocument(store.exportDictionary()).toJson(QJsonDocument::Indented);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

SettingsFileReading readSettingsFile(const QString& path, Language language) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maximumSettingsFileSize)
        return notASettingsFile(language);
    // size() is 0 for some special files; bound the read itself as well.
    const QByteArray data = file.read(maximumSettingsFileSize + 1);
    if (data.size() > maximumSettingsFileSize)
        return notASettingsFile(language);

    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return notASettingsFile(language);

    return SettingsImportConfirmation{
        document.object(),
        localized(language, "Import settings?", "导入设置？"),
        localized(language, "This overwrites your current settings with the values in this file. API keys are not "
                            "affected.",
                  "这会用文件中的值覆盖你当前的设置。API key 不受影响。"),
        localized(language, "Import", "导入"),
        localized(language, "Cancel", "取消"),
    };
}

void importConfirmed(SettingsStore& store, const QJsonObject& settings) { store.importDictionary(settings); }

} // namespace nubbo
