// Which view a pet window loads and how its engine learns the views' module. The QML module sits above the
// pet's C++ (it shows the pet's models), so whoever builds the windows hands both in.
#pragma once

#include <QUrl>

#include <functional>

class QQmlEngine;

namespace nubbo {

struct PetViewSource {
    QUrl url;
    std::function<void(QQmlEngine&)> installViews;
};

} // namespace nubbo
