// Review pictures made from the rendered resources: every still and every frame strip at 120 points on a
// light and a dark ground, and a small grid of the states for the README.
#pragma once

#include "ArtBook.h"

#include <QImage>

namespace nubbo::art {

QImage contactSheet(const ArtBook& book, const QString& resourcesDirectory);
QImage statesGrid(const ArtBook& book, const QString& resourcesDirectory);

} // namespace nubbo::art
