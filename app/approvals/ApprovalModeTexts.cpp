#include "approvals/ApprovalModeTexts.h"

namespace nubbo {

namespace {

constexpr qsizetype kNamedDangerousEntries = 3;
constexpr qsizetype kShownEntryLength = 24;

// The entries the trust engine matches with: it skips only empty ones, so a blank entry still counts.
QStringList effectiveDangerous(const TrustSettings& settings) {
    QStringList entries;
    for (const QString& entry : settings.dangerous)
        if (!entry.isEmpty())
            entries.append(entry);
    return entries;
}

QString shownEntry(const QString& entry) {
    const QString trimmed = entry.trimmed();
    if (trimmed.isEmpty())
        return QLatin1Char('"') + entry + QLatin1Char('"');
    if (trimmed.size() <= kShownEntryLength)
        return trimmed;
    // Cut between words where one ends late enough, not in the middle of one.
    QString cut = trimmed.left(kShownEntryLength);
    const qsizetype space = cut.lastIndexOf(QLatin1Char(' '));
    if (!trimmed.at(kShownEntryLength).isSpace() && space > kShownEntryLength / 2)
        cut.truncate(space);
    return cut.trimmed() + QChar(0x2026);
}

// "rm -rf, sudo, chmod 777, …" / "rm -rf、sudo、chmod 777 等"
QString dangerousExamples(const QStringList& entries, Language language) {
    QStringList named;
    for (qsizetype i = 0; i < entries.size() && i < kNamedDangerousEntries; ++i)
        named.append(shownEntry(entries[i]));
    const bool more = entries.size() > kNamedDangerousEntries;
    if (language == Language::zh)
        return named.join(QChar(0x3001)) + (more ? QString::fromUtf16(u" 等") : QString());
    return named.join(QStringLiteral(", ")) + (more ? QString::fromUtf16(u", …") : QString());
}

// Chinese sets a Latin word off by a space: "回到 Smart 保守", "回到全部手动".
QString zhWithWord(const QString& before, const QString& word) {
    const bool latin = !word.isEmpty() && word.front().unicode() < 0x80;
    return before + (latin ? QStringLiteral(" ") : QString()) + word;
}

} // namespace

ApprovalOverride approvalOverride(const TrustSettings& settings) {
    if (settings.bypass)
        return ApprovalOverride::ignoreRisk;
    return settings.mode == ApprovalMode::allowAll ? ApprovalOverride::allowAll : ApprovalOverride::none;
}

QString rawValue(ApprovalOverride kind) {
    switch (kind) {
    case ApprovalOverride::allowAll:
        return QStringLiteral("allowAll");
    case ApprovalOverride::ignoreRisk:
        return QStringLiteral("ignoreRisk");
    case ApprovalOverride::none:
        break;
    }
    return {};
}

QVariantMap ApprovalNotice::toMap() const {
    return {{QStringLiteral("kind"), rawValue(kind)},       {QStringLiteral("title"), title},
            {QStringLiteral("detail"), detail},             {QStringLiteral("wayBack"), wayBack},
            {QStringLiteral("menuItem"), menuItem},         {QStringLiteral("toolTip"), toolTip}};
}

ApprovalNotice approvalNotice(ApprovalOverride kind, const TrustSettings& settings, ApprovalMode previous,
                              Language language) {
    ApprovalNotice notice;
    notice.kind = kind;
    notice.toolTip = QStringLiteral("Nubbo");
    // Going "back" to Allow All would change nothing.
    if (previous == ApprovalMode::allowAll)
        previous = ApprovalMode::manual;
    switch (kind) {
    case ApprovalOverride::none:
        break;
    case ApprovalOverride::allowAll: {
        const QString back = title(previous, language);
        notice.title = bilingual(language, u"Allow All is on", u"全部允许已开启");
        notice.wayBack = language == Language::zh ? zhWithWord(QString::fromUtf16(u"回到"), back)
                                                  : QStringLiteral("Back to ") + back;
        notice.menuItem = language == Language::zh
                              ? QString::fromUtf16(u"关闭全部允许（") + zhWithWord(QString::fromUtf16(u"回到"), back) +
                                    QString::fromUtf16(u"）")
                              : QStringLiteral("Turn Off Allow All (Back to ") + back + QLatin1Char(')');
        // With nothing on the dangerous list, Allow All approves everything: say so rather than "ordinary".
        if (effectiveDangerous(settings).isEmpty()) {
            notice.detail = bilingual(language, u"Every command is approved without asking: your dangerous list is empty.",
                                      u"所有命令都自动放行：危险命令列表是空的。");
            notice.toolTip = bilingual(
                language, u"Nubbo — Allow All is on: every command is approved without asking (your dangerous list is empty)",
                u"Nubbo — 全部允许已开启：所有命令都自动放行，不再询问（危险命令列表是空的）");
        } else {
            notice.detail = bilingual(language,
                                      u"Ordinary commands are approved without asking; those on your dangerous list still ask.",
                                      u"普通命令自动放行，危险命令仍会询问。");
            notice.toolTip = bilingual(language,
                                       u"Nubbo — Allow All is on: ordinary commands are approved without asking",
                                       u"Nubbo — 全部允许已开启：普通命令自动放行，不再询问");
        }
        break;
    }
    case ApprovalOverride::ignoreRisk:
        notice.title = bilingual(language, u"Ignore Risk is on", u"无视风险已开启");
        notice.detail = bilingual(language, u"Every command is approved without asking, dangerous ones included.",
                                  u"所有命令都自动放行，包括危险命令。");
        notice.wayBack = bilingual(language, u"Turn off Ignore Risk", u"关闭无视风险");
        notice.menuItem = bilingual(language, u"Turn Off Ignore Risk", u"关闭无视风险");
        notice.toolTip = bilingual(language, u"Nubbo — Ignore Risk is on: every command is approved without asking",
                                   u"Nubbo — 无视风险已开启：所有命令都自动放行，不再询问");
        break;
    }
    return notice;
}

ApprovalNotice approvalNotice(const TrustSettings& settings, ApprovalMode previous, Language language) {
    return approvalNotice(approvalOverride(settings), settings, previous, language);
}

QString allowAllExplanation(const TrustSettings& settings, Language language) {
    const bool zh = language == Language::zh;
    if (settings.bypass)
        return bilingual(language,
                         u"Ignore Risk is on: every command is already approved without asking, dangerous ones included.",
                         u"无视风险已开启：所有命令（包括危险命令）都已自动放行。");
    const bool on = settings.mode == ApprovalMode::allowAll;
    const QStringList dangerous = effectiveDangerous(settings);
    if (dangerous.isEmpty())
        return on ? bilingual(language, u"Allow All is on and your dangerous list is empty: no command asks.",
                              u"全部允许已开启，危险命令列表是空的：没有命令会询问。")
                  : bilingual(language, u"Allow All: no command will ask again — your dangerous list is empty.",
                              u"全部允许：以后不再询问任何命令——危险命令列表是空的。");
    const QString named = dangerousExamples(dangerous, language);
    if (on)
        return zh ? QString::fromUtf16(u"全部允许已开启：只有危险命令（") + named +
                        QString::fromUtf16(u"）会询问。")
                  : QStringLiteral("Allow All is on: only commands on your dangerous list (") + named +
                        QStringLiteral(") ask.");
    return zh ? QString::fromUtf16(u"全部允许：普通命令以后不再询问；危险命令（") + named +
                    QString::fromUtf16(u"）仍会询问。")
              : QStringLiteral("Allow All: ordinary commands won't ask again; commands on your dangerous list (") +
                    named + QStringLiteral(") still will.");
}

} // namespace nubbo
