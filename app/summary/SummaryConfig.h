// What one summary request is made of, taken from the settings when the narration arrives (the API key is
// read later, off the caller's thread).
#pragma once

#include "core/SettingsEnums.h"

#include <QString>

namespace nubbo {

struct SummaryConfig {
    SummaryProvider provider = SummaryProvider::anthropic;
    QString apiKey;
    QString model;
    QString baseURL;
    // The effective language is Chinese: the prompt and the tool note are written in Chinese.
    bool chinese = false;
};

} // namespace nubbo
