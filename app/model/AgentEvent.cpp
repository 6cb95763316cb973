#include "model/AgentEvent.h"

#include "common/ProviderRegistry.h"

#include <QJsonValue>

#include <cmath>
#include <limits>

namespace nubbo {
namespace {

const char* rawName(AgentEventType type) {
    switch (type) {
    case AgentEventType::agentStarted: return "agentStarted";
    case AgentEventType::thinking: return "thinking";
    case AgentEventType::coding: return "coding";
    case AgentEventType::contextCompacting: return "contextCompacting";
    case AgentEventType::responding: return "responding";
    case AgentEventType::approvalRequired: return "approvalRequired";
    case AgentEventType::inputRequired: return "inputRequired";
    case AgentEventType::taskCompleted: return "taskCompleted";
    case AgentEventType::taskFailed: return "taskFailed";
    case AgentEventType::riskyActionDetected: return "riskyActionDetected";
    case AgentEventType::agentStopped: return "agentStopped";
    }
    return "thinking";
}

struct OptionalField {
    const char* key;
    std::optional<QString> AgentEvent::*member;
};

constexpr OptionalField kOptionalFields[] = {
    {"command", &AgentEvent::command}, {"toolName", &AgentEvent::toolName}, {"say", &AgentEvent::say},
    {"phase", &AgentEvent::phase},     {"cwd", &AgentEvent::cwd},           {"sessionId", &AgentEvent::sessionId},
    {"host", &AgentEvent::host},
};

} // namespace

QString rawValue(AgentEventType type) { return QString::fromLatin1(rawName(type)); }

std::optional<AgentEventType> agentEventTypeFromRaw(const QString& raw) {
    for (auto type : kAllAgentEventTypes)
        if (raw == QLatin1String(rawName(type))) return type;
    return std::nullopt;
}

const ProviderSpec* AgentProvider::spec() const {
    const auto& table = ProviderRegistry::byID();
    const auto it = table.find(rawValue_.toStdString());
    return it == table.end() ? nullptr : it->second;
}

QString AgentProvider::displayTitle() const {
    if (const auto* entry = spec()) return QString::fromStdString(entry->title);
    return capitalizedWords(rawValue_);
}

QList<AgentProvider> AgentProvider::allCases() {
    QList<AgentProvider> out;
    for (const auto& entry : ProviderRegistry::all()) out.append(AgentProvider(QString::fromStdString(entry.id)));
    return out;
}

QString capitalizedWords(const QString& text) {
    QString out;
    out.reserve(text.size());
    bool atWordStart = true;
    for (const QChar c : text) {
        if (c.isSpace()) {
            out.append(c);
            atWordStart = true;
        } else {
            out.append(atWordStart ? c.toUpper() : c.toLower());
            atWordStart = false;
        }
    }
    return out;
}

QJsonObject AgentEvent::toJson() const {
    QJsonObject object{
        {"id", id.toString(QUuid::WithoutBraces).toUpper()},
        {"provider", provider.rawValue()},
        {"type", rawValue(type)},
        {"message", message},
    };
    for (const auto& field : kOptionalFields)
        if (const auto& value = this->*field.member) object.insert(QLatin1String(field.key), *value);
    if (exitCode) object.insert("exitCode", *exitCode);
    return object;
}

std::optional<AgentEvent> AgentEvent::fromJson(const QJsonObject& object) {
    const auto id = object.value("id");
    const auto provider = object.value("provider");
    const auto type = object.value("type");
    const auto message = object.value("message");
    if (!id.isString() || !provider.isString() || !type.isString() || !message.isString()) return std::nullopt;
    AgentEvent event;
    event.id = QUuid::fromString(id.toString());
    const auto kind = agentEventTypeFromRaw(type.toString());
    if (event.id.isNull() || !kind) return std::nullopt;
    event.provider = AgentProvider(provider.toString());
    event.type = *kind;
    event.message = message.toString();
    for (const auto& field : kOptionalFields) {
        const auto value = object.value(QLatin1String(field.key));
        if (value.isUndefined() || value.isNull()) continue;
        if (!value.isString()) return std::nullopt;
        event.*field.member = value.toString();
    }
    const auto exit = object.value("exitCode");
    if (!exit.isUndefined() && !exit.isNull()) {
        const double number = exit.toDouble(std::numeric_limits<double>::quiet_NaN());
        if (!exit.isDouble() || number != std::trunc(number) || number < std::numeric_limits<qint32>::min() ||
            number > std::numeric_limits<qint32>::max())
            return std::nullopt;
        event.exitCode = static_cast<qint32>(number);
    }
    return event;
}

} // namespace nubbo
