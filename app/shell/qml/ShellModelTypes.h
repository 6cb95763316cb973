// The windows' models as QML types, so the views declare them by type and the QML tools know every
// property and call. The app builds them; QML never creates one. The store and the art installer come from
// Nubbo.Pet.
#pragma once

#include "shell/models/OnboardingModel.h"
#include "shell/models/SettingsWindowModel.h"

#include <QObject>
#include <QtQml/qqml.h>

namespace nubbo::qml {

struct SettingsWindowModelType {
    Q_GADGET
    QML_FOREIGN(nubbo::SettingsWindowModel)
    QML_NAMED_ELEMENT(SettingsWindowModel)
    QML_UNCREATABLE("The app builds the settings window's model.")
};

struct RemoteHostsModelType {
    Q_GADGET
    QML_FOREIGN(nubbo::RemoteHostsModel)
    QML_NAMED_ELEMENT(RemoteHostsModel)
    QML_UNCREATABLE("The app builds the Remote hosts card's model.")
};

struct OnboardingModelType {
    Q_GADGET
    QML_FOREIGN(nubbo::OnboardingModel)
    QML_NAMED_ELEMENT(OnboardingModel)
    QML_UNCREATABLE("The app builds the onboarding window's model.")
};

} // namespace nubbo::qml
