// Lays the rig's parts out for one pose sample as an SVG document, and rasterises documents.
#pragma once

#include "ArtBook.h"

#include <QByteArray>
#include <QImage>
#include <QStringList>

namespace nubbo::art {

class FrameComposer {
public:
    explicit FrameComposer(const ArtBook& book) : book_(book) {}

    // The figure in the pose, on the book's canvas, optionally over some parts drawn first (a background).
    // Throws std::runtime_error when the pose selects a part the library lacks.
    QByteArray compose(const PoseSample* sample, const QStringList& underlay, const QList<double>& viewBox,
                       const QString& figureTransform = {}) const;
    QByteArray compose(const PoseSample& sample) const;

    // The document drawn into a transparent size x size square.
    static QImage render(const QByteArray& svg, int size);

private:
    QString figure(const PoseSample& sample) const;
    const ArtBook& book_;
};

} // namespace nubbo::art
