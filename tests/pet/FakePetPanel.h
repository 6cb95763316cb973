// A panel without a window: it records where the controller puts it and lets a test place the pointer and the
// screens.
#pragma once

#include "pet/PetPanel.h"

namespace nubbo::fakes {

class FakePetPanel final : public PetPanel {
public:
    QPointF origin() const override { return position; }
    void moveTo(const QPointF& origin) override {
        position = origin;
        ++moves;
    }
    QList<PetScreen> screens() const override { return screenList; }
    QPointF pointerPosition() const override { return pointer; }
    void setAlwaysOnTop(bool onTop) override { alwaysOnTop = onTop; }
    void showPanel() override { ++shown; }

    QPointF position;
    int moves = 0;
    // 1280 x 800 with a 24-point bar along the top.
    QList<PetScreen> screenList{{QRectF(0, 0, 1280, 800), QRectF(0, 24, 1280, 776)}};
    QPointF pointer;
    bool alwaysOnTop = false;
    int shown = 0;
};

} // namespace nubbo::fakes
