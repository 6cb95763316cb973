// A pet view model over in-memory settings and the manual clock: what the pet tests start from.
#pragma once

#include "ManualTime.h"
#include "pet/PetViewModel.h"
#include "SettingsFakes.h"
#include "settings/SettingsStore.h"

#include <QStringList>
#include <QUuid>

namespace nubbo::fakes {

struct PetWorld {
    MemoryPreferences preferences;
    MemorySecretStore secrets;
    RecordingLoginItem loginItem;
    SettingsStore settings{preferences, secrets, loginItem, [] { return QStringList{QStringLiteral("en-US")}; }};
    ManualClock clock;
    ManualScheduler scheduler{clock};
    SeededRandom random{1};
    PetViewModel model{settings, scheduler, clock, random, [](const QString&) {}, [](const QUuid&, bool) { return false; }};
};

} // namespace nubbo::fakes
