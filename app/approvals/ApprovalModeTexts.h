// What the switches that approve without asking mean for the user, in their words: the pet's badge, the
// tray's tooltip, the quick panel's banner, the menus' way back, and what the card's Allow All will do.
// Pure: reads the settings it is handed.
#pragma once

#include "core/SettingsEnums.h"
#include "approvals/TrustSettings.h"

#include <QString>
#include <QVariantMap>

namespace nubbo {

// Which of the two switches is in force, the stronger one winning.
enum class ApprovalOverride { none, allowAll, ignoreRisk };

// ignoreRisk while the risk check is bypassed (whatever the mode), allowAll in that mode, else none.
ApprovalOverride approvalOverride(const TrustSettings& settings);
// "", "allowAll", "ignoreRisk".
QString rawValue(ApprovalOverride kind);

struct ApprovalNotice {
    ApprovalOverride kind = ApprovalOverride::none;
    // "Allow All is on": the badge's accessible name, the banner's title. Empty for none.
    QString title;
    // One sentence under the title.
    QString detail;
    // The banner's button: "Back to Smart", "Turn off Ignore Risk".
    QString wayBack;
    // The menus' item, which has no banner around it to say what it turns off.
    QString menuItem;
    // The tray's tooltip; "Nubbo" for none.
    QString toolTip;

    // kind (raw), title, detail, wayBack, menuItem, toolTip.
    QVariantMap toMap() const;
};

// The notice for one switch; `previous` is the mode Allow All goes back to.
ApprovalNotice approvalNotice(ApprovalOverride kind, const TrustSettings& settings, ApprovalMode previous,
                              Language language);
// The notice for the switch in force.
ApprovalNotice approvalNotice(const TrustSettings& settings, ApprovalMode previous, Language language);

// What pressing Allow All does under these settings: which commands will still ask, naming the first few
// entries of the dangerous list, or that nothing will, or that Ignore Risk already approves everything.
QString allowAllExplanation(const TrustSettings& settings, Language language);

} // namespace nubbo
