// What the card's Allow All says it will do, and that the trust engine then does just that. (The badge's,
// the tray's and the banner's texts are checked where they are shown.)
#include "approvals/ApprovalModeTexts.h"

#include "approvals/TrustEngine.h"
#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include <ostream>

static void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace nubbo {
namespace {

const QStringList kDefaults = SettingsStore::defaultDangerousCommands();

TEST(ApprovalModeTextsTest, AllowAllExplanationSaysWhatWillStillAsk) {
    struct Row {
        TrustSettings settings;
        Language language;
        const char16_t* expected;
        // What the engine does with "sudo rm -rf build" once Allow All is pressed.
        TrustDecision sudo;
    };
    using enum ApprovalMode;
    constexpr TrustDecision ask = TrustDecision::ask, allow = TrustDecision::allow;
    const Row rows[] = {
        {{manual, {}, kDefaults, false}, Language::en,
         u"Allow All: ordinary commands won't ask again; commands on your dangerous list (rm -rf, sudo, chmod 777, …) "
         u"still will.", ask},
        {{smart, {}, kDefaults, false}, Language::zh,
         u"全部允许：普通命令以后不再询问；危险命令（rm -rf、sudo、chmod 777 等）仍会询问。", ask},
        // Empty entries never match; a long entry is cut between words.
        {{fullAuto, {}, {"", "dd", "kubectl delete namespace production"}, false}, Language::en,
         u"Allow All: ordinary commands won't ask again; commands on your dangerous list (dd, kubectl delete "
         u"namespace…) still will.", allow},
        {{allowAll, {}, {"sudo"}, false}, Language::zh, u"全部允许已开启：只有危险命令（sudo）会询问。", ask},
        {{smart, {}, {""}, false}, Language::en, u"Allow All: no command will ask again — your dangerous list is empty.",
         allow},
        {{allowAll, {}, kDefaults, true}, Language::en,
         u"Ignore Risk is on: every command is already approved without asking, dangerous ones included.", allow},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(allowAllExplanation(row.settings, row.language), QString::fromUtf16(row.expected));
        TrustSettings pressed = row.settings;
        pressed.mode = allowAll;
        EXPECT_EQ(TrustEngine::decide(QStringLiteral("sudo rm -rf build"), pressed), row.sudo);
        EXPECT_EQ(TrustEngine::decide(QStringLiteral("make test | tee log"), pressed), allow);
    }
}

} // namespace
} // namespace nubbo
