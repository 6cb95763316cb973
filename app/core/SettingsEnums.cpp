#include "core/SettingsEnums.h"

#include <QLatin1String>

#include <array>
#include <cstddef>

namespace nubbo {

namespace {

template <typename E>
struct Case {
    E value;
    const char* raw;
    const char* en;
    const char* zh;
};

template <typename E>
struct Table;

template <>
struct Table<PetSource> {
    static constexpr Case<PetSource> cases[] = {
        {PetSource::official, "official", "Official Nubbo", "官方 Nubbo"},
        {PetSource::custom, "custom", "Custom Image", "自定义图片"},
        {PetSource::pack, "pack", "Pet Pack", "宠物包"},
    };
};

template <>
struct Table<BubbleStyle> {
    static constexpr Case<BubbleStyle> cases[] = {
        {BubbleStyle::compact, "compact", "Compact", "紧凑"},
        {BubbleStyle::normal, "normal", "Normal", "标准"},
        {BubbleStyle::large, "large", "Large", "宽松"},
    };
};

template <>
struct Table<SingleClickBehavior> {
    static constexpr Case<SingleClickBehavior> cases[] = {
        {SingleClickBehavior::toggleBubble, "toggleBubble", "Toggle Bubble", "切换气泡"},
        {SingleClickBehavior::quickPanel, "quickPanel", "Open Quick Panel", "打开快捷面板"},
        {SingleClickBehavior::none, "none", "Do Nothing", "不响应"},
    };
};

template <>
struct Table<DoubleClickBehavior> {
    static constexpr Case<DoubleClickBehavior> cases[] = {
        {DoubleClickBehavior::petReaction, "petReaction", "Pet the Companion", "摸摸宠物"},
        {DoubleClickBehavior::openSettings, "openSettings", "Open Settings", "打开设置"},
        {DoubleClickBehavior::none, "none", "Do Nothing", "不响应"},
    };
};

template <>
struct Table<AgentStatus> {
    static constexpr Case<AgentStatus> cases[] = {
        {AgentStatus::unknown, "unknown", "Unknown", "未知"},
        {AgentStatus::connected, "connected", "Connected", "已连接"},
        {AgentStatus::notFound, "notFound", "Not Found", "未找到"},
        {AgentStatus::running, "running", "Running", "运行中"},
    };
};

template <>
struct Table<AppLanguage> {
    static constexpr Case<AppLanguage> cases[] = {
        {AppLanguage::system, "system", "Follow System", "跟随系统"},
        {AppLanguage::en, "en", "English", "English"},
        {AppLanguage::zh, "zh", "中文", "中文"},
    };
};

template <>
struct Table<ApprovalMode> {
    static constexpr Case<ApprovalMode> cases[] = {
        {ApprovalMode::manual, "manual", "Manual", "全部手动"},
        {ApprovalMode::smart, "smart", "Smart", "Smart 保守"},
        {ApprovalMode::fullAuto, "fullAuto", "Mostly Auto", "尽量自动"},
        {ApprovalMode::allowAll, "allowAll", "Allow All (on)", "全部允许（已开启）"},
    };
};

template <>
struct Table<SummaryProvider> {
    static constexpr Case<SummaryProvider> cases[] = {
        {SummaryProvider::anthropic, "anthropic", "Anthropic", "Anthropic"},
        {SummaryProvider::openai, "openai", "OpenAI", "OpenAI"},
        {SummaryProvider::deepseek, "deepseek", "DeepSeek", "DeepSeek"},
        {SummaryProvider::custom, "custom", "Custom (OpenAI-compatible)", "自定义（OpenAI 兼容）"},
    };
};

template <typename E>
const Case<E>& caseOf(E value) {
    for (const Case<E>& c : Table<E>::cases) {
        if (c.value == value)
            return c;
    }
    // Only reachable with a value cast from outside the declared range.
    return Table<E>::cases[0];
}

} // namespace

template <SettingsEnum E>
std::span<const E> allCases() {
    static const auto values = [] {
        std::array<E, std::size(Table<E>::cases)> result{};
        for (std::size_t i = 0; i < result.size(); ++i)
            result[i] = Table<E>::cases[i].value;
        return result;
    }();
    return values;
}

template <SettingsEnum E>
QString rawValue(E value) {
    return QString::fromLatin1(caseOf(value).raw);
}

template <SettingsEnum E>
std::optional<E> fromRaw(QStringView raw) {
    for (const Case<E>& c : Table<E>::cases) {
        if (raw == QLatin1String(c.raw))
            return c.value;
    }
    return std::nullopt;
}

template <SettingsEnum E>
QString title(E value, Language language) {
    const Case<E>& c = caseOf(value);
    return QString::fromUtf8(language == Language::zh ? c.zh : c.en);
}

#define NUBBO_SETTINGS_ENUM(E)                                                                                    \
    template std::span<const E> allCases<E>();                                                                    \
    template QString rawValue<E>(E);                                                                              \
    template std::optional<E> fromRaw<E>(QStringView);                                                            \
    template QString title<E>(E, Language);

NUBBO_SETTINGS_ENUM(PetSource)
NUBBO_SETTINGS_ENUM(BubbleStyle)
NUBBO_SETTINGS_ENUM(SingleClickBehavior)
NUBBO_SETTINGS_ENUM(DoubleClickBehavior)
NUBBO_SETTINGS_ENUM(AgentStatus)
NUBBO_SETTINGS_ENUM(AppLanguage)
NUBBO_SETTINGS_ENUM(ApprovalMode)
NUBBO_SETTINGS_ENUM(SummaryProvider)

#undef NUBBO_SETTINGS_ENUM

QString detail(ApprovalMode mode, Language language) {
    const bool zh = language == Language::zh;
    switch (mode) {
    case ApprovalMode::manual:
        return zh ? QStringLiteral("每次 CLI 请求执行或继续时都询问。")
                  : QStringLiteral("Ask every time a CLI requests to run or continue.");
    case ApprovalMode::smart:
        return zh ? QStringLiteral("可信命令自动放行，未知和危险命令询问。")
                  : QStringLiteral("Auto-allow trusted commands; ask for unknown and dangerous ones.");
    case ApprovalMode::fullAuto:
        return zh ? QStringLiteral("除危险命令外尽量自动放行。")
                  : QStringLiteral("Auto-allow everything except dangerous commands.");
    case ApprovalMode::allowAll:
        return zh ? QStringLiteral("从授权卡片一键开启。普通命令自动放行，危险命令仍会询问。")
                  : QStringLiteral("Enabled from an approval card. Ordinary commands auto-allow; dangerous ones "
                                   "still ask.");
    }
    return {};
}

} // namespace nubbo
