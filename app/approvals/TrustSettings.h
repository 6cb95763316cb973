// The settings a permission request is judged by, copied together so one request sees one state.
#pragma once

#include "core/SettingsEnums.h"

#include <QStringList>

namespace nubbo {

struct TrustSettings {
    ApprovalMode mode = ApprovalMode::manual;
    QStringList trusted;
    QStringList dangerous;
    bool bypass = false;
};

} // namespace nubbo
