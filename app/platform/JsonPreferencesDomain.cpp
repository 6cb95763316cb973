#include "platform/JsonPreferencesDomain.h"

#include "core/PrivateFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QMutexLocker>
#include <QSaveFile>
#include <QStringList>

#include <cmath>
#include <limits>
#include <optional>

namespace nubbo {

namespace {

QVariant toVariant(const QJsonValue& json) {
    switch (json.type()) {
    case QJsonValue::Bool:
        return json.toBool();
    case QJsonValue::Double: {
        // Qt already keeps integral numbers as integers; see the class comment.
        const QVariant number = json.toVariant();
        if (number.typeId() == QMetaType::LongLong)
            return number.toLongLong();
        return json.toDouble();
    }
    case QJsonValue::String:
        return json.toString();
    case QJsonValue::Array: {
        const QJsonArray array = json.toArray();
        QStringList strings;
        strings.reserve(array.size());
        for (const QJsonValue& element : array) {
            if (!element.isString())
                return array.toVariantList();
            strings.append(element.toString());
        }
        return strings;
    }
    case QJsonValue::Object:
        return json.toObject().toVariantMap();
    case QJsonValue::Null:
        return QVariant::fromValue(nullptr);
    case QJsonValue::Undefined:
        break;
    }
    return {};
}

std::optional<QJsonValue> toJson(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Bool:
        return QJsonValue(value.toBool());
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return QJsonValue(value.toLongLong());
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
        const qulonglong unsignedValue = value.toULongLong();
        if (unsignedValue > qulonglong(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return QJsonValue(qint64(unsignedValue));
    }
    case QMetaType::Float:
    case QMetaType::Double: {
        // JSON cannot hold NaN or infinities; Qt would silently write null.
        const double number = value.toDouble();
        if (!std::isfinite(number))
            return std::nullopt;
        return QJsonValue(number);
    }
    case QMetaType::QString:
        return QJsonValue(value.toString());
    case QMetaType::QStringList:
        return QJsonValue(QJsonArray::fromStringList(value.toStringList()));
    default:
        return std::nullopt;
    }
}

QString asidePath(const QString& path) {
    const QString base =
        path + QStringLiteral(".corrupt-") + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString candidate = base;
    for (int n = 2; QFileInfo::exists(candidate); ++n)
        candidate = base + QLatin1Char('-') + QString::number(n);
    return candidate;
}

} // namespace

JsonPreferencesDomain::JsonPreferencesDomain(QString filePath, Log log)
    : path_(std::move(filePath)), log_(std::move(log)) {
    load();
}

QString JsonPreferencesDomain::configHome() {
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    // The base directory rules say a relative value is to be ignored.
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return QDir::cleanPath(xdg);
    return QDir::homePath() + QStringLiteral("/.config");
}

QString JsonPreferencesDomain::defaultFilePath() {
    return configHome() + QStringLiteral("/Nubbo/preferences.json");
}

void JsonPreferencesDomain::log(const QString& line) const {
    if (log_)
        log_(line);
}

void JsonPreferencesDomain::load() {
    QFile file(path_);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        writable_ = false;
        log(QStringLiteral("preferences: cannot read %1 (%2); changes are kept in memory only")
                .arg(path_, file.errorString()));
        return;
    }
    const QByteArray data = file.readAll();
    file.close();

    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error == QJsonParseError::NoError && document.isObject()) {
        values_ = document.object();
        return;
    }

    const QString reason = error.error != QJsonParseError::NoError ? error.errorString()
                                                                    : QStringLiteral("top level is not an object");
    const QString aside = asidePath(path_);
    if (QFile::rename(path_, aside)) {
        log(QStringLiteral("preferences: %1 is not valid (%2); kept as %3, starting with defaults")
                .arg(path_, reason, aside));
    } else {
        writable_ = false;
        log(QStringLiteral("preferences: %1 is not valid (%2) and could not be moved aside; changes are kept in "
                           "memory only")
                .arg(path_, reason));
    }
}

void JsonPreferencesDomain::persistLocked() {
    dirty_ = true;
    if (batchDepth_ > 0 || !writable_)
        return;

    const QFileInfo info(path_);
    if (!PrivateFiles::makeFolder(info.absolutePath())) {
        log(QStringLiteral("preferences: cannot create %1").arg(info.absolutePath()));
        return;
    }
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)) {
        log(QStringLiteral("preferences: cannot write %1: %2").arg(path_, file.errorString()));
        return;
    }
    file.write(QJsonDocument(values_).toJson(QJsonDocument::Indented));
    if (!file.commit()) {
        log(QStringLiteral("preferences: cannot write %1: %2").arg(path_, file.errorString()));
        return;
    }
    QFile::setPermissions(path_, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    dirty_ = false;
}

QVariant JsonPreferencesDomain::value(const QString& key) const {
    const QMutexLocker lock(&mutex_);
    const auto found = values_.constFind(key);
    return found == values_.constEnd() ? QVariant() : toVariant(*found);
}

void JsonPreferencesDomain::setValue(const QString& key, const QVariant& value) {
    const std::optional<QJsonValue> json = toJson(value);
    const QMutexLocker lock(&mutex_);
    if (!json) {
        log(QStringLiteral("preferences: refused a value of type %1 for %2")
                .arg(QString::fromLatin1(value.typeName() ? value.typeName() : "invalid"), key));
        return;
    }
    const auto found = values_.constFind(key);
    if (found != values_.constEnd() && *found == *json && !dirty_)
        return;
    values_.insert(key, *json);
    persistLocked();
}

void JsonPreferencesDomain::remove(const QString& key) {
    const QMutexLocker lock(&mutex_);
    if (!values_.contains(key) && !dirty_)
        return;
    values_.remove(key);
    persistLocked();
}

bool JsonPreferencesDomain::contains(const QString& key) const {
    const QMutexLocker lock(&mutex_);
    return values_.contains(key);
}

void JsonPreferencesDomain::beginBatch() {
    const QMutexLocker lock(&mutex_);
    ++batchDepth_;
}

void JsonPreferencesDomain::endBatch() {
    const QMutexLocker lock(&mutex_);
    if (batchDepth_ == 0)
        return;
    if (--batchDepth_ == 0 && dirty_)
        persistLocked();
}

bool JsonPreferencesDomain::persists() const {
    const QMutexLocker lock(&mutex_);
    return writable_;
}

} // namespace nubbo
