// How an engine gets the pet's views: the QML module Nubbo.Pet is compiled into the app as a static module.
#pragma once

#include <QString>
#include <QUrl>

class QQmlEngine;

namespace nubbo {

// The root view; set its viewModel (PetViewModel), settings (SettingsStore) and interaction (PetInteraction,
// may be null) properties.
inline const QUrl kPetViewUrl{QStringLiteral("qrc:/qt/qml/Nubbo/Pet/PetView.qml")};
// The quick panel; set its model (QuickPanelModel) and settings properties.
inline const QUrl kQuickPanelUrl{QStringLiteral("qrc:/qt/qml/Nubbo/Pet/QuickPanel.qml")};

// Registers the module's C++ types (once per process) and lets the engine resolve `import Nubbo.Pet` from
// the compiled-in resources. Call before loading kPetViewUrl.
void installPetQml(QQmlEngine& engine);

} // namespace nubbo
