#include "pet/qml/PetStateTable.h"

#include "model/PetState.h"

namespace nubbo {

QString PetStateTable::frameFolder(const QString& state) const {
    return frameAnimationName(petStateFromRaw(state).value_or(PetState::idle));
}

QVariantMap PetStateTable::motion(const QString& state) const {
    const PetAnimation m = PetAnimation::forState(petStateFromRaw(state).value_or(PetState::idle));
    return {
        {QStringLiteral("scaleFrom"), m.scaleFrom},       {QStringLiteral("scaleTo"), m.scaleTo},
        {QStringLiteral("rotationFrom"), m.rotationFrom}, {QStringLiteral("rotationTo"), m.rotationTo},
        {QStringLiteral("xFrom"), m.xFrom},               {QStringLiteral("xTo"), m.xTo},
        {QStringLiteral("yFrom"), m.yFrom},               {QStringLiteral("yTo"), m.yTo},
        {QStringLiteral("duration"), m.duration},         {QStringLiteral("autoreverses"), m.autoreverses},
    };
}

} // namespace nubbo
