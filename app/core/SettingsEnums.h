// The enumerations behind the user's settings. Each is stored and exported as its raw value; the cases are
// declared in the order pickers list them.
#pragma once

#include <QString>
#include <QStringView>

#include <optional>
#include <span>
#include <type_traits>

namespace nubbo {

// The language interface text is produced in (never "follow the system"; see AppLanguage for the choice).
enum class Language { en, zh };

// One text of an English/Chinese pair, in the language asked for.
inline QString bilingual(Language language, const char16_t* en, const char16_t* zh) {
    return QString::fromUtf16(language == Language::zh ? zh : en);
}

enum class PetSource { official, custom, pack };
enum class BubbleStyle { compact, normal, large };
enum class SingleClickBehavior { toggleBubble, quickPanel, none };
enum class DoubleClickBehavior { petReaction, openSettings, none };
enum class AgentStatus { unknown, connected, notFound, running };
enum class AppLanguage { system, en, zh };
enum class ApprovalMode { manual, smart, fullAuto, allowAll };
enum class SummaryProvider { anthropic, openai, deepseek, custom };

template <typename E>
struct IsSettingsEnum : std::false_type {};
template <> struct IsSettingsEnum<PetSource> : std::true_type {};
template <> struct IsSettingsEnum<BubbleStyle> : std::true_type {};
template <> struct IsSettingsEnum<SingleClickBehavior> : std::true_type {};
template <> struct IsSettingsEnum<DoubleClickBehavior> : std::true_type {};
template <> struct IsSettingsEnum<AgentStatus> : std::true_type {};
template <> struct IsSettingsEnum<AppLanguage> : std::true_type {};
template <> struct IsSettingsEnum<ApprovalMode> : std::true_type {};
template <> struct IsSettingsEnum<SummaryProvider> : std::true_type {};

template <typename E>
concept SettingsEnum = IsSettingsEnum<E>::value;

// Every case, in declaration order.
template <SettingsEnum E>
std::span<const E> allCases();

// The stored spelling ("toggleBubble", "fullAuto", ...).
template <SettingsEnum E>
QString rawValue(E value);

// Exact, case-sensitive; nothing for any other string (the empty one too).
template <SettingsEnum E>
std::optional<E> fromRaw(QStringView raw);

// What the interface shows for the case.
template <SettingsEnum E>
QString title(E value, Language language);

// The settings picker's explanation under each approval mode.
QString detail(ApprovalMode mode, Language language);

} // namespace nubbo
