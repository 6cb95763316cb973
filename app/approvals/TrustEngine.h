// Decides whether a permission request is answered at once or waits for the user, and whether a command
// gets the risky label on its card. Pure: reads the settings it is handed, touches nothing else.
#pragma once

#include "SettingsStore.h"

#include <QString>

namespace nubbo {

enum class TrustDecision { allow, ask };

struct TrustEngine {
    // Bypass allows everything; otherwise a dangerous fragment anywhere asks, then the mode decides
    // (smart allows a trusted prefix of the trimmed command). Comparison is by lower-casing both sides;
    // entries are used exactly as stored, and an empty one never matches.
    static TrustDecision decide(const QString& command, const TrustSettings& settings);
    // Whether any dangerous fragment occurs in the command (not trimmed). Ignores mode and bypass.
    static bool isDangerous(const QString& command, const TrustSettings& settings);

    // The same against the store's current snapshot; safe from any thread.
    static TrustDecision decide(const QString& command, const SettingsStore& store);
    static bool isDangerous(const QString& command, const SettingsStore& store);
};

} // namespace nubbo
