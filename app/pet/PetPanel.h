// The window the pet lives in, as the motion logic sees it; the real window implements it, tests fake it.
#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

namespace nubbo {

inline constexpr QSizeF kPetPanelSize{280, 360};

struct PetScreen {
    QRectF geometry;
    QRectF availableGeometry;
    bool operator==(const PetScreen&) const = default;
};

class PetPanel {
public:
    virtual ~PetPanel() = default;
    virtual QPointF origin() const = 0;
    virtual void moveTo(const QPointF& origin) = 0;
    virtual QList<PetScreen> screens() const = 0;
    virtual QPointF pointerPosition() const = 0;
    virtual void setAlwaysOnTop(bool onTop) = 0;
    virtual void showPanel() = 0;
};

} // namespace nubbo
