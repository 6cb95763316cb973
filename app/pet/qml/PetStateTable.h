// The per-state art tables for the QML: which frame folder a state plays and its still-picture motion loop.
#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

namespace nubbo {

class PetStateTable : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(PetStates)
    QML_SINGLETON

public:
    explicit PetStateTable(QObject* parent = nullptr) : QObject(parent) {}

    // frameAnimationName of a raw state; idle's for an unknown one.
    Q_INVOKABLE QString frameFolder(const QString& state) const;
    // PetAnimation::forState as a map with the field names (scaleFrom ... duration, autoreverses).
    Q_INVOKABLE QVariantMap motion(const QString& state) const;
};

} // namespace nubbo
