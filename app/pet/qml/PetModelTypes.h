// The C++ objects the views read, as QML types, so the views declare them by type and the QML tools know
// every property and call. The app builds them; QML never creates one.
#pragma once

#include "petart/PetArtInstaller.h"
#include "pet/PetInteraction.h"
#include "pet/PetViewModel.h"
#include "pet/QuickPanelModel.h"
#include "settings/SettingsStore.h"

#include <QObject>
#include <QtQml/qqml.h>

namespace nubbo::qml {

struct PetViewModelType {
    Q_GADGET
    QML_FOREIGN(nubbo::PetViewModel)
    QML_NAMED_ELEMENT(PetViewModel)
    QML_UNCREATABLE("The app builds the pet's view model.")
};

struct PetInteractionType {
    Q_GADGET
    QML_FOREIGN(nubbo::PetInteraction)
    QML_NAMED_ELEMENT(PetInteraction)
    QML_UNCREATABLE("The app builds the pet's gestures.")
};

struct QuickPanelModelType {
    Q_GADGET
    QML_FOREIGN(nubbo::QuickPanelModel)
    QML_NAMED_ELEMENT(QuickPanelModel)
    QML_UNCREATABLE("The app builds the quick panel's rows.")
};

struct PetArtInstallerType {
    Q_GADGET
    QML_FOREIGN(nubbo::PetArtInstaller)
    QML_NAMED_ELEMENT(PetArtInstaller)
    QML_UNCREATABLE("The app builds the art installer.")
};

// The settings windows read the store through this module too.
struct SettingsStoreType {
    Q_GADGET
    QML_FOREIGN(nubbo::SettingsStore)
    QML_NAMED_ELEMENT(SettingsStore)
    QML_UNCREATABLE("The app builds the settings store.")
};

} // namespace nubbo::qml
