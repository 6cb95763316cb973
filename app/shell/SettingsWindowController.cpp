#include "SettingsWindowController.h"

namespace nubbo {

SettingsWindowController::SettingsWindowController(LogFunction log, QObject* parent)
    : QObject(parent), log_(std::move(log)) {}

void SettingsWindowController::show() {
    ++showCount_;
    log_(QStringLiteral("settings window requested"));
    Q_EMIT shown();
}

} // namespace nubbo
