#include "shell/models/SettingsTexts.h"

#include "remote/RemoteHostState.h"
#include "summary/SummaryEndpoint.h"

#include <QHash>

#ifndef NUBBO_VERSION
#define NUBBO_VERSION "0.0.0"
#endif

namespace nubbo {
namespace {

struct Entry {
    const char* key;
    const char* en;
    const char* zh;
};

// clang-format off
constexpr Entry kTexts[] = {
    // Windows and sidebar.
    {"settingsWindowTitle", "Nubbo Settings", "Nubbo 设置"},
    {"onboardingWindowTitle", "Welcome to Nubbo", "欢迎使用 Nubbo"},
    {"appName", "Nubbo", "Nubbo"},
    {"sidebarSubtitle", "Settings", "设置"},

    // General.
    {"everydayControls", "Everyday Controls", "日常控制"},
    {"everydayControlsSubtitle", "Set how Nubbo appears and whether it stays awake.", "设置 Nubbo 的显示方式以及是否保持清醒。"},
    {"launchAtLogin", "Launch at Login", "登录时启动"},
    {"launchAtLoginHelp", "Start Nubbo automatically when you sign in.", "登录时自动启动 Nubbo。"},
    {"alwaysOnTop", "Always on Top", "总在最前"},
    {"alwaysOnTopHelp", "Keep the pet above other windows.", "让宠物始终位于其他窗口之上。"},
    {"pauseNubbo", "Pause Nubbo", "暂停 Nubbo"},
    {"pauseNubboHelp", "Keep Nubbo sleeping until you resume it.", "让 Nubbo 保持睡眠，直到你恢复。"},
    {"windowPosition", "Window Position", "窗口位置"},
    {"windowPositionSubtitle", "Move Nubbo back to its default screen location.", "把 Nubbo 移回屏幕默认位置。"},
    {"resetPosition", "Reset Position", "重置位置"},

    // Appearance.
    {"companionAppearance", "Companion Appearance", "宠物外观"},
    {"companionAppearanceSubtitle", "Choose the active pet art and how the bubble is drawn.", "选择当前宠物形象以及气泡的绘制方式。"},
    {"petSource", "Pet Source", "宠物来源"},
    {"petSourceHelp", "Official art, a custom image, or an imported pack.", "官方形象、自定义图片，或导入的宠物包。"},
    {"petFolder", "Pet Folder", "宠物文件夹"},
    {"chooseImage", "Choose Image", "选择图片"},
    {"importPack", "Import Pack", "导入宠物包"},
    {"petSize", "Pet Size", "宠物大小"},
    {"petSizeHelp", "Scales the floating companion window.", "缩放悬浮宠物窗口的大小。"},
    {"bubbleStyle", "Bubble Style", "气泡样式"},
    {"bubbleStyleHelp", "Controls how much space status bubbles use.", "控制状态气泡占用的空间大小。"},
    {"activityLabel", "Activity Label", "活动标签"},
    {"activityLabelHelp", "Show a small line above the agent's words (e.g. \"Running grep …\").", "在 agent 话语上方显示一行小字（如「正在 grep …」）。"},
    {"providerChip", "Provider Chip", "来源标签"},
    {"providerChipHelp", "Show a small provider tag in the bubble corner. Useful when running multiple agents at once.", "在气泡角落显示来源小标签。同时运行多个 agent 时很有用。"},
    {"smartSummary", "Smart Summary", "智能总结"},
    {"smartSummaryHelp", "Summarize what the agent is doing into one line (in the app language) via an AI provider — needs an API key below; ~once / 4s per session. Off shows the original text.",
                         "通过 AI 服务把 agent 正在做的事总结成一句话（使用应用语言）——需要在下方填写 API key；每个会话约每 4 秒一次。关闭时显示原文。"},
    {"summaryProvider", "Summary Provider", "总结厂商"},
    {"summaryProviderHelp", "Which AI service powers the summary. Each provider's key is saved separately, so you can switch freely.", "用哪家 AI 服务做总结。每家的 key 各自保存，可随时切换。"},
    {"apiKey", "API Key", "API Key"},
    {"apiKeyHelp", "Stored only in your local Keychain.", "仅保存在本机钥匙串（Keychain）。"},
    {"model", "Model", "模型"},
    {"modelHelp", "Model name used for the summary request.", "用于总结请求的模型名。"},
    {"baseURL", "Base URL", "Base URL"},
    {"baseURLHelp", "OpenAI-compatible endpoint, e.g. https://host/v1", "OpenAI 兼容端点，如 https://host/v1"},
    {"baseURLNotAddress", "Not a web address, so nothing is sent: enter one like https://host/v1.",
                          "这不是网址，不会发送任何内容：请填写如 https://host/v1 的地址。"},
    {"baseURLNotEncrypted", "Plain http would send your API key unencrypted, so nothing is sent: use https (http only for this computer: localhost, 127.0.0.1, ::1).",
                            "http 会明文发送 API key，因此不会发送任何内容：请使用 https（http 仅限本机：localhost、127.0.0.1、::1）。"},

    // Design.
    {"visualSystem", "Visual System", "视觉系统"},
    {"visualSystemSubtitle", "Tune the accent and how quickly Nubbo moves between states.", "调整强调色，以及 Nubbo 在各状态间切换的快慢。"},
    {"language", "Language", "语言"},
    {"languageHelp", "Language for the settings panel and pet bubbles.", "设置面板与宠物气泡的显示语言。"},
    {"accentColor", "Accent Color", "强调色"},
    {"accentColorHelp", "Used across controls and status highlights.", "用于控件与状态高亮。"},
    {"motionPace", "Motion Pace", "动画节奏"},
    {"motionPaceHelp", "Lower values make pet transitions calmer.", "数值越低，宠物切换越平缓。"},
    {"colorPink", "Pink", "粉"},
    {"colorBlue", "Blue", "蓝"},
    {"colorGreen", "Green", "绿"},
    {"colorPurple", "Purple", "紫"},

    // Behavior.
    {"petInteraction", "Pet Interaction", "宠物交互"},
    {"petInteractionSubtitle", "Control click behavior and idle-life timing.", "控制点击行为与空闲生活的节奏。"},
    {"singleClick", "Single-Click", "单击"},
    {"singleClickHelp", "What happens when you tap Nubbo once.", "单击 Nubbo 一次时的行为。"},
    {"doubleClick", "Double-Click", "双击"},
    {"doubleClickHelp", "Default is petting Nubbo for a reaction.", "默认是摸摸 Nubbo 触发反应。"},
    {"edgeSnap", "Edge Snap", "边缘吸附"},
    {"edgeSnapHelp", "Let Nubbo settle cleanly against screen edges.", "让 Nubbo 整齐地贴靠屏幕边缘。"},
    {"idleSleep", "Idle Sleep", "空闲睡眠"},
    {"idleSleepHelp", "After this much quiet time, Nubbo gets drowsy and sleeps.", "经过这段安静时间后，Nubbo 会犯困并入睡。"},
    {"sleepNever", "Never", "从不"},
    {"sleep5", "5 min", "5 分钟"},
    {"sleep10", "10 min", "10 分钟"},
    {"sleep30", "30 min", "30 分钟"},

    // Agent Integration.
    {"agentBridge", "Agent Bridge", "Agent 桥接"},
    {"agentBridgeSubtitle", "Nubbo listens to agents you run yourself and turns real tool events into pet states.", "Nubbo 监听你自己运行的 agent，把真实工具事件转化为宠物状态。"},
    {"socketPrefix", "Socket: ", "Socket: "},
    {"bridgeInstalled", "Bridge Installed", "桥接已安装"},
    {"bridgeInstalledText", "Agent events are wired into Nubbo.", "Agent 事件已接入 Nubbo。"},
    {"bridgeMissing", "Bridge Missing", "桥接缺失"},
    {"bridgeMissingText", "Install the bridge to receive live agent events.", "安装桥接以接收实时 agent 事件。"},
    {"installBridge", "Install Bridge", "安装桥接"},
    {"removeBridge", "Remove Bridge", "移除桥接"},
    {"installPromptTitle", "Install Nubbo hook bridge?", "安装 Nubbo hook 桥接？"},
    {"installPromptIntro", "This backs up, then modifies your agent configs:", "将先备份、再修改你的 agent 配置："},
    {"installPromptOutro", "Existing Vibe Island hook entries are replaced so Nubbo can receive events and handle Allow/Deny. A timestamped backup is saved in Nubbo's data folder ({backups}); \"Remove Hook Bridge\" restores it. Your CLIs keep working even when Nubbo is closed (the bridge fails open).",
                           "已有的 Vibe Island hook 条目会被替换，以便 Nubbo 接收事件并处理允许/拒绝。带时间戳的备份保存在 Nubbo 的数据文件夹（{backups}）中；「移除桥接」会把它还原。即使 Nubbo 关闭，你的 CLI 也照常工作（桥接失效时自动放行）。"},
    {"install", "Install", "安装"},
    {"cancel", "Cancel", "取消"},
    {"installFailed", "Could not install hook bridge", "无法安装 hook 桥接"},
    {"removeFailed", "Could not remove hook bridge everywhere", "无法完全移除 hook 桥接"},
    {"removePromptTitle", "Remove Nubbo hook bridge?", "移除 Nubbo hook 桥接？"},
    {"removePromptText", "Restores your claude / codex / gemini configs (and removes the OpenCode plugin) from the most recent Nubbo backup (re-enabling Vibe Island if it was there). A config you have changed since keeps your changes and only loses Nubbo's entries.",
                         "从最近一次 Nubbo 备份还原你的 claude / codex / gemini 配置（并移除 OpenCode 插件），如有 Vibe Island 则重新启用。之后你改过的配置会保留你的改动，只移除 Nubbo 的条目。"},
    {"remove", "Remove", "移除"},
    {"configFolder", "Config folder", "配置文件夹"},
    {"defaultFolder", "(default)", "（默认）"},
    {"changeFolder", "Change…", "更改…"},
    {"useDefaultFolder", "Use Default", "使用默认"},
    {"chooseConfigFolder", "Choose the config folder", "选择配置文件夹"},
    {"folderOffer", "%1 is running with %2=%3", "%1 正在以 %2=%3 运行"},
    {"useThisFolder", "Use This Folder", "使用此文件夹"},
    {"folderMoveFailed", "Could not move %1's hooks", "无法移动 %1 的 hook"},
    {"codexReviewHint", "Codex runs these hooks only once you trust them: start codex in a terminal and choose \"Trust all and continue\" (or review them with /hooks).",
                        "Codex 只在你信任这些 hook 后才会运行它们：在终端中启动 codex 并选择 \"Trust all and continue\"（或用 /hooks 逐个查看）。"},
    {"remoteHosts", "Remote Hosts", "远程主机"},
    {"remoteHostsSubtitle", "Agents on machines you reach over SSH. Nubbo forwards its socket there with your own ssh, keys and config, for as long as it runs.",
                            "通过 SSH 连接的机器上的 agent。Nubbo 用你自己的 ssh、密钥和配置把它的 socket 转发过去，只要 Nubbo 在运行就一直保持。"},
    {"remoteHostsEmpty", "No hosts yet.", "还没有主机。"},
    {"remoteStateConnected", "Connected", "已连接"},
    {"remoteStateConnecting", "Connecting", "连接中"},
    {"remoteStateUnreachable", "Unreachable", "无法连接"},
    {"remoteStateForwardRefused", "Forwarding refused", "转发被拒绝"},
    {"remoteAddPlaceholder", "[user@]host[:port]", "[用户@]主机[:端口]"},
    {"remoteAdd", "Add Host", "添加主机"},
    {"remoteBusy", "Working over SSH…", "正在通过 SSH 处理…"},
    {"remoteAddUnavailable", "Adding a host is not available in this build.", "此版本无法添加主机。"},
    {"remoteRemoveUnavailable", "Removing a host is not available in this build.", "此版本无法移除主机。"},
    {"remoteRemoveTitle", "Remove %1?", "移除 %1？"},
    {"remoteRemoveText", "Nubbo takes its hooks out of the agents' files on this host and deletes the bridge it copied there; everything else in those files stays as you have it.",
                         "Nubbo 会从这台主机上 agent 的配置文件中移除它的 hook，并删除它复制过去的桥接；这些文件中的其他内容保持原样。"},
    {"ok", "OK", "好"},
    {"open", "Open", "打开"},
    {"save", "Save", "保存"},

    // Auto Approval.
    {"approvalPolicy", "Approval Policy", "授权策略"},
    {"approvalPolicySubtitle", "Decide when Nubbo asks before an agent continues.", "决定 Nubbo 在 agent 继续前何时询问你。"},
    {"approvalMode", "Approval Mode", "授权模式"},
    {"trustedCommands", "Trusted Commands", "可信命令"},
    {"trustedCommandsHelp", "One command prefix per line. In Smart mode these run without asking.", "每行一个命令前缀。Smart 模式下它们无需询问即可运行。"},
    {"dangerousCommands", "Dangerous Commands", "危险命令"},
    {"dangerousCommandsHelp", "One fragment per line. A command that contains one always asks.", "每行一个片段。包含其中任意一个的命令总会询问。"},
    {"ignoreRisk", "Ignore Risk (auto-yes everything)", "无视风险（直接自动 yes）"},
    {"ignoreRiskWarning", "When on, every command is auto-approved — including dangerous ones like rm -rf / sudo. Make sure you understand the consequences.",
                          "开启后所有命令自动通过，包括 rm -rf / sudo 等危险命令。请确认你知道后果。"},

    // Notifications.
    {"notificationRules", "Notification Rules", "通知规则"},
    {"notificationRulesSubtitle", "Choose which agent events reach your desktop's notifications.", "选择哪些 agent 事件进入桌面通知。"},
    {"showNotifications", "Show Notifications", "显示通知"},
    {"showNotificationsHelp", "Master switch for all Nubbo notifications.", "所有 Nubbo 通知的总开关。"},
    {"approvalRequired", "Approval Required", "需要授权"},
    {"approvalRequiredHelp", "Notify when an agent waits for permission.", "当 agent 等待授权时通知。"},
    {"taskCompleted", "Task Completed", "任务完成"},
    {"taskCompletedHelp", "Notify when a task reports completion.", "当任务报告完成时通知。"},
    {"riskyAction", "Risky Action", "高风险操作"},
    {"riskyActionHelp", "Notify when a dangerous command is detected.", "当检测到危险命令时通知。"},
    {"quietWhileLooking", "Stay quiet for the session I'm looking at", "不打扰我正在看的会话"},
    {"quietWhileLookingHelp", "No notification for a session whose terminal is the active window (under tmux, the active pane). The pet's bubble and card still show.",
                              "会话的终端是当前活动窗口（在 tmux 中是当前活动窗格）时不发通知。宠物的气泡和卡片照常显示。"},
    {"goToSession", "Going to a Session", "前往会话"},
    {"goToSessionSubtitle", "Click the bubble's title line, a quick-panel row or a notification to bring that agent's terminal to the front.",
                            "点击气泡的标题行、快捷面板中的一行或一条通知，即可切换到该 agent 的终端。"},
    {"goToSessionWhere", "Where it works", "适用范围"},
    {"goToSessionWhereHelp", "X11 and XWayland terminals, tmux, kitty and WezTerm. Wayland-native terminals: tmux switching only.",
                             "X11 与 XWayland 终端、tmux、kitty 和 WezTerm。Wayland 原生终端：仅支持 tmux 内切换。"},
    {"requestPermission", "Request Permission", "请求权限"},
    {"requestPermissionHelp", "Check again whether the desktop shows Nubbo's notifications.", "再次检查桌面能否显示 Nubbo 的通知。"},
    {"notificationServiceFound", "Notifications are on", "通知已开启"},
    {"notificationServiceFoundText", "The desktop's notification service (%1) answers, so Nubbo's notifications will show.", "桌面的通知服务（%1）已响应，Nubbo 的通知会正常显示。"},
    {"notificationServiceMissing", "No notification service", "没有通知服务"},
    {"notificationServiceMissingText", "No notification service answers on this desktop, so Nubbo's notifications cannot show. Start your desktop's notification daemon, then try again.",
                                       "此桌面上没有响应的通知服务，Nubbo 的通知无法显示。请先启动桌面的通知守护进程，再试一次。"},

    // Advanced.
    {"maintenance", "Maintenance", "维护"},
    {"maintenanceSubtitle", "File access, export, onboarding, and reset actions.", "文件访问、导出、引导与重置操作。"},
    {"applicationSupport", "{data}", "{data}"},
    {"applicationSupportHelp", "The folder with Nubbo's backups and pets; its logs are in {logs}.", "存放 Nubbo 备份与宠物的文件夹；日志位于 {logs}。"},
    {"exportJSON", "Export JSON", "导出 JSON"},
    {"importJSON", "Import JSON", "导入 JSON"},
    {"settingsFile", "Settings File", "设置文件"},
    {"exportImportHelp", "Save every setting to a file, or load one. API keys stay in the keychain.", "把所有设置保存到文件，或从文件载入。API key 留在钥匙串中。"},
    {"rerunOnboarding", "Rerun Onboarding", "重新运行引导"},
    {"rerunOnboardingHelp", "Walk through the welcome steps again.", "重新走一遍欢迎引导。"},
    {"resetAllSettings", "Reset All Settings", "重置所有设置"},
    {"resetAllSettingsHelp", "Every setting back to its default and the pet back to its corner, at once.", "所有设置立即恢复默认，宠物回到默认位置。"},

    // About.
    {"aboutTagline", "Desktop AI Coding Companion", "桌面 AI 编码伙伴"},
    {"aboutText", "Real agent activity, desktop companion animation, and approval cards.", "真实 agent 活动、桌面伙伴动画与授权卡片。"},

    // Onboarding.
    {"back", "Back", "上一步"},
    {"next", "Next", "下一步"},
    {"getStarted", "Get Started", "开始使用"},
    {"stepOf", "Step %1 of %2", "第 %1 步，共 %2 步"},
    {"welcomeTitle", "Welcome to Nubbo", "欢迎使用 Nubbo"},
    {"welcomeSubtitle", "Your personal desktop AI coding companion.", "你的专属桌面 AI 编码伙伴。"},
    {"welcomeSteps", "Two quick steps: pick your pet, then connect your terminal agents.", "两个小步骤：先选宠物，再连接你的终端 agent。"},
    {"selectPetTitle", "Select Your Pet", "选择你的宠物"},
    {"selectPetSubtitle", "Choose the companion that fits your style.", "选择适合你风格的伙伴。"},
    {"agentSetupTitle", "Setup Agent Integration", "设置 Agent 接入"},
    {"agentSetupSubtitle", "Connect your terminal agents to Nubbo.", "把你的终端 agent 连接到 Nubbo。"},
    {"runDetection", "Run Detection", "运行检测"},
    {"onboardingInstallIntro", "This backs up, then modifies the configs for your enabled agents:", "将先备份、再修改已启用 agent 的配置："},
    {"onboardingInstallOutro", "A timestamped backup is saved in Nubbo's data folder ({backups}), and you can remove the bridge anytime from Settings. Your CLIs keep working even when Nubbo is closed (the bridge fails open).",
                               "带时间戳的备份保存在 Nubbo 的数据文件夹（{backups}）中，你也可以随时在设置中移除桥接。即使 Nubbo 关闭，你的 CLI 也照常工作（桥接失效时自动放行）。"},
    {"onboardingBridgeInstalledText", "Agent events are wired into Nubbo. You're all set.", "Agent 事件已接入 Nubbo，一切就绪。"},
    {"onboardingBridgeMissingText", "Install the bridge to receive live agent events. Your CLIs keep working even when Nubbo is closed.", "安装桥接以接收实时 agent 事件。即使 Nubbo 关闭，你的 CLI 仍可正常工作。"},
    {"noPetPicture", "No picture chosen yet", "尚未选择图片"},
    {"noPackImported", "No pack imported yet", "尚未导入宠物包"},
};

struct CategoryEntry {
    const char* id;
    const char* symbol;
    const char* en;
    const char* zh;
    const char* blurbEn;
    const char* blurbZh;
};

constexpr CategoryEntry kCategories[] = {
    {"general", "gearshape", "General", "通用", "Window behavior and core Nubbo controls.", "窗口行为与 Nubbo 核心控制。"},
    {"appearance", "paintpalette", "Appearance", "外观", "Pet source, size, and bubble presentation.", "宠物来源、大小与气泡呈现。"},
    {"design", "paintbrush", "Design", "样式", "Theme color and motion pacing.", "主题色与动画节奏。"},
    {"behavior", "cursorarrow.motionlines", "Behavior", "行为", "Click actions, edge snapping, and idle sleep.", "点击动作、边缘吸附与空闲睡眠。"},
    {"agent", "terminal", "Agent Integration", "Agent 接入", "Your agents' hooks, their config folders, and agents on other machines.", "各个 agent 的 hook、配置文件夹，以及其他机器上的 agent。"},
    {"approval", "hand.raised", "Auto Approval", "自动授权", "Approval mode and command trust lists.", "授权模式与命令信任列表。"},
    {"notifications", "bell", "Notifications", "通知", "System notifications for important agent states.", "重要 agent 状态的系统通知。"},
    {"advanced", "wrench.adjustable", "Advanced", "高级", "Files, exports, onboarding, and reset actions.", "文件、导出、引导与重置操作。"},
    {"about", "info.circle.fill", "About", "关于", "Build information for Nubbo.", "Nubbo 的构建信息。"},
};
// clang-format on

const QHash<QString, const Entry*>& index() {
    static const QHash<QString, const Entry*> byKey = [] {
        QHash<QString, const Entry*> map;
        for (const Entry& entry : kTexts)
            map.insert(QString::fromLatin1(entry.key), &entry);
        return map;
    }();
    return byKey;
}

QString pick(Language language, const char* en, const char* zh) {
    return QString::fromUtf8(language == Language::zh ? zh : en);
}

QString withFolders(QString text, const ShownFolders& folders) {
    if (!text.contains(QLatin1Char('{')))
        return text;
    return text.replace(QStringLiteral("{backups}"), folders.data + QStringLiteral("/Backups"))
        .replace(QStringLiteral("{data}"), folders.data)
        .replace(QStringLiteral("{logs}"), folders.logs);
}

QString shown(const QString& path, const QString& home) {
    if (home.isEmpty() || home == QStringLiteral("/"))
        return path;
    if (path == home)
        return QStringLiteral("~");
    return path.startsWith(home + QLatin1Char('/')) ? QStringLiteral("~") + path.mid(home.size()) : path;
}

} // namespace

ShownFolders ShownFolders::of(const QString& data, const QString& logs, const QString& home) {
    return {shown(data, home), shown(logs, home)};
}

QString SettingsTexts::text(const QString& key, Language language, const ShownFolders& folders) {
    const Entry* entry = index().value(key);
    return entry ? withFolders(pick(language, entry->en, entry->zh), folders) : key;
}

QVariantMap SettingsTexts::table(Language language, const ShownFolders& folders) {
    QVariantMap map;
    for (const Entry& entry : kTexts)
        map.insert(QString::fromLatin1(entry.key), withFolders(pick(language, entry.en, entry.zh), folders));
    map.insert(QStringLiteral("version"), versionLine(language));
    return map;
}

QStringList SettingsTexts::keys() {
    QStringList all;
    for (const Entry& entry : kTexts)
        all.append(QString::fromLatin1(entry.key));
    return all;
}

namespace {

template <SettingsEnum E>
QVariantList choices(Language language) {
    QVariantList list;
    for (const E value : allCases<E>())
        list.append(QVariantMap{{QStringLiteral("value"), rawValue(value)},
                                {QStringLiteral("title"), title(value, language)}});
    return list;
}

QVariantMap choice(const QVariant& value, const QString& title) {
    return {{QStringLiteral("value"), value}, {QStringLiteral("title"), title}};
}

} // namespace

QVariantMap SettingsTexts::options(Language language) {
    QVariantList modes;
    for (const ApprovalMode mode : allCases<ApprovalMode>())
        modes.append(QVariantMap{{QStringLiteral("value"), rawValue(mode)},
                                 {QStringLiteral("title"), title(mode, language)},
                                 {QStringLiteral("detail"), detail(mode, language)}});
    QVariantMap statusTitles;
    for (const AgentStatus status : allCases<AgentStatus>())
        statusTitles.insert(rawValue(status), title(status, language));
    const auto t = [language](const char* key) { return text(QString::fromLatin1(key), language); };
    const auto remoteState = [&](RemoteHostState state, const char* key) {
        return std::pair{rawValue(state), QVariant(t(key))};
    };
    const QVariantMap remoteStateTitles{remoteState(RemoteHostState::connected, "remoteStateConnected"),
                                        remoteState(RemoteHostState::connecting, "remoteStateConnecting"),
                                        remoteState(RemoteHostState::unreachable, "remoteStateUnreachable"),
                                        remoteState(RemoteHostState::forwardRefused, "remoteStateForwardRefused")};
    return {
        {QStringLiteral("petSource"), choices<PetSource>(language)},
        {QStringLiteral("bubbleStyle"), choices<BubbleStyle>(language)},
        {QStringLiteral("singleClickBehavior"), choices<SingleClickBehavior>(language)},
        {QStringLiteral("doubleClickBehavior"), choices<DoubleClickBehavior>(language)},
        {QStringLiteral("approvalMode"), modes},
        {QStringLiteral("summaryProvider"), choices<SummaryProvider>(language)},
        {QStringLiteral("language"), choices<AppLanguage>(language)},
        {QStringLiteral("themeColor"),
         QVariantList{choice(QStringLiteral("pink"), t("colorPink")), choice(QStringLiteral("blue"), t("colorBlue")),
                      choice(QStringLiteral("green"), t("colorGreen")),
                      choice(QStringLiteral("purple"), t("colorPurple"))}},
        {QStringLiteral("idleSleepMinutes"),
         QVariantList{choice(5, t("sleep5")), choice(10, t("sleep10")), choice(30, t("sleep30")),
                      choice(0, t("sleepNever"))}},
        {QStringLiteral("statusTitles"), statusTitles},
        {QStringLiteral("remoteStateTitles"), remoteStateTitles},
    };
}

QList<SettingsCategory> SettingsTexts::categories(Language language) {
    QList<SettingsCategory> list;
    for (const CategoryEntry& entry : kCategories)
        list.append({QString::fromLatin1(entry.id), QString::fromLatin1(entry.symbol),
                     pick(language, entry.en, entry.zh), pick(language, entry.blurbEn, entry.blurbZh)});
    return list;
}

QString SettingsTexts::installPromptText(const QStringList& shownPaths, InstallWording wording,
                                         Language language, const ShownFolders& folders) {
    const bool onboarding = wording == InstallWording::onboarding;
    QStringList lines;
    for (const QString& path : shownPaths)
        lines.append(QStringLiteral("  • ") + path);
    return text(onboarding ? QStringLiteral("onboardingInstallIntro") : QStringLiteral("installPromptIntro"), language) +
           QLatin1Char('\n') + lines.join(QLatin1Char('\n')) + QStringLiteral("\n\n") +
           text(onboarding ? QStringLiteral("onboardingInstallOutro") : QStringLiteral("installPromptOutro"), language,
                folders);
}

QString SettingsTexts::endpointProblemKey(const QString& url) {
    switch (SummaryEndpoint::problem(url)) {
    case EndpointProblem::none: break;
    case EndpointProblem::notAnAddress: return QStringLiteral("baseURLNotAddress");
    case EndpointProblem::notEncrypted: return QStringLiteral("baseURLNotEncrypted");
    }
    return {};
}

QString SettingsTexts::buildVersion() { return QStringLiteral(NUBBO_VERSION); }

QString SettingsTexts::versionLine(Language language) {
    return pick(language, "Version ", "版本 ") + buildVersion();
}

} // namespace nubbo
