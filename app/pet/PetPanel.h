// The window the pet lives in, as the window controller sees it: where it is, where it may go, and where the
// pointer is. The real window implements it; tests drive the controller with a fake.
#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

namespace nubbo {

// The panel's size whatever the pet's size: the pet and its bubble are drawn inside it.
inline constexpr QSizeF kPetPanelSize{280, 360};

// One screen in the desktop's global coordinates (top-left origin, y down, logical pixels).
struct PetScreen {
    QRectF geometry;
    // Without the panels and docks the desktop reserves.
    QRectF availableGeometry;
    bool operator==(const PetScreen&) const = default;
};

class PetPanel {
public:
    virtual ~PetPanel() = default;
    // The top-left corner.
    virtual QPointF origin() const = 0;
    virtual void moveTo(const QPointF& origin) = 0;
    // The first entry is the primary screen; empty while no screen is connected.
    virtual QList<PetScreen> screens() const = 0;
    // Global.
    virtual QPointF pointerPosition() const = 0;
    virtual void setAlwaysOnTop(bool onTop) = 0;
    // Brings the panel on screen without taking the focus from the user's window.
    virtual void showPanel() = 0;
};

} // namespace nubbo
