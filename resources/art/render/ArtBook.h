// The art's text sources, read once: the parts library (SVG), the rig (which parts make the figure, how they
// hang together and in what order they are drawn) and the poses (values and looping tracks per channel).
#pragma once

#include <QHash>
#include <QSet>
#include <QJsonObject>
#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace nubbo::art {

struct RigNode {
    QString id;
    QString part;       // may name a variant channel: "eyes-{eyes}"; empty for a plain group
    QString parent;     // empty: the canvas
    QString channels;   // the channel namespace (id unless shared, as the two layers of an arm)
    QPointF pivot;
    bool mirror = false;          // drawn mirrored about the figure's axis (the right-hand twin of a part)
    bool hidden = false;          // props and effects: shown only where a pose sets <channels>.show
    QString whenChannel;          // drawn only while this channel equals whenValue
    double whenValue = 0;
};

// One looping track of a channel. Numeric tracks add to the pose's value; steps replace it.
struct Track {
    enum class Kind { Sine, Keys, Steps };
    struct Key { double t; QVariant value; QString ease; };
    Kind kind = Kind::Keys;
    double amplitude = 0, cycles = 1, phase = 0;   // Sine
    QList<Key> keys;                               // Keys and Steps, t in [0, 1]
    int repeat = 1;                                // the keys run this many times per loop
    double shift = 0;                              // the keys run this far ahead (a particle's own phase)
};

struct Pose {
    QString name;
    int frames = 0;                  // 0: a pose used only for stills
    QHash<QString, QVariant> values;
    QHash<QString, Track> tracks;
};

// What every channel holds at one moment of one pose.
struct PoseSample {
    QHash<QString, QVariant> values;
    double number(const QString& channel, double fallback) const;
    QString text(const QString& channel) const;
};

// What a channel holds when nothing sets it: 1 for scales and opacity, 0 for offsets and angles.
double neutralValue(const QString& channel);

struct StillSpec { QString pose; double at = 0; };

struct IconOutput { int size; QString file; };
struct IconSpec {
    QString name;
    QString pose;            // empty: no figure
    double at = 0;
    QStringList parts;       // drawn before the figure (a background) or alone
    QString figureTransform; // an SVG transform setting the figure into the icon's ground
    QList<double> viewBox;   // x, y, w, h
    QList<IconOutput> outputs;
    QString svgFile;         // the scalable version, when wanted
};

class ArtBook {
public:
    // Reads parts.svg, rig.json and poses.json from the folder; throws std::runtime_error naming the fault
    // (a missing part, a track whose loop does not close, an unknown pose).
    static ArtBook load(const QString& sourceDirectory);

    const QString& partsDefinitions() const { return defs_; }
    const QList<RigNode>& nodes() const { return nodes_; }
    double canvas() const { return canvas_; }
    double mirrorAxis() const { return mirrorAxis_; }
    const Pose& pose(const QString& name) const;
    const QStringList& folders() const { return folders_; }
    const QList<std::pair<QString, StillSpec>>& stills() const { return stills_; }
    const QList<IconSpec>& icons() const { return icons_; }
    bool hasPart(const QString& id) const { return partIds_.contains(id); }

    // The pose at loop phase t in [0, 1).
    PoseSample sample(const Pose& pose, double t) const;

private:
    QString defs_;
    QSet<QString> partIds_;
    QList<RigNode> nodes_;
    double canvas_ = 480, mirrorAxis_ = 240;
    QHash<QString, QVariant> defaults_;
    QHash<QString, Pose> poses_;
    QStringList folders_;
    QList<std::pair<QString, StillSpec>> stills_;
    QList<IconSpec> icons_;
};

} // namespace nubbo::art
