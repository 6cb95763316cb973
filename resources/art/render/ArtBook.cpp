#include "ArtBook.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>

#include <cmath>
#include <functional>
#include <numbers>
#include <stdexcept>

namespace nubbo::art {
namespace {

[[noreturn]] void fail(const QString& what) { throw std::runtime_error(what.toStdString()); }

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(path + QStringLiteral(": cannot be read"));
    return file.readAll();
}

QJsonObject readJson(const QString& path) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(readFile(path), &error);
    if (!doc.isObject())
        fail(path + QStringLiteral(": ") + error.errorString());
    return doc.object();
}

double ease(const QString& curve, double x) {
    using std::numbers::pi;
    if (curve == u"linear") return x;
    if (curve == u"in") return 1 - std::cos(x * pi / 2);
    if (curve == u"out") return std::sin(x * pi / 2);
    if (curve == u"hold") return 0;
    return 0.5 - 0.5 * std::cos(x * pi);   // inOut: spacing closes up near both extremes
}

Track readTrack(const QString& where, const QJsonObject& json) {
    Track track;
    if (json.contains(u"sin")) {
        const QJsonArray a = json.value(u"sin").toArray();
        track.kind = Track::Kind::Sine;
        track.amplitude = a.at(0).toDouble();
        track.cycles = a.size() > 1 ? a.at(1).toDouble() : 1;
        track.phase = a.size() > 2 ? a.at(2).toDouble() : 0;
        if (track.cycles != std::floor(track.cycles))
            fail(where + QStringLiteral(": a sine must run a whole number of cycles to loop"));
        return track;
    }
    const bool steps = json.contains(u"steps");
    track.kind = steps ? Track::Kind::Steps : Track::Kind::Keys;
    track.repeat = json.value(u"repeat").toInt(1);
    track.shift = json.value(u"shift").toDouble();
    // An open track jumps back at the loop's end: only for something invisible there (a falling particle
    // fading out), so the seam stays unseen.
    const bool open = json.value(u"open").toBool();
    const QString defaultEase = json.value(u"ease").toString(QStringLiteral("inOut"));
    for (const QJsonValue& k : json.value(steps ? u"steps" : u"keys").toArray()) {
        const QJsonArray key = k.toArray();
        track.keys.append({key.at(0).toDouble(), key.at(1).toVariant(),
                           key.size() > 2 ? key.at(2).toString() : defaultEase});
    }
    if (track.keys.isEmpty() || track.keys.first().t != 0)
        fail(where + QStringLiteral(": the first key must be at 0"));
    for (qsizetype i = 1; i < track.keys.size(); ++i)
        if (track.keys[i].t < track.keys[i - 1].t)
            fail(where + QStringLiteral(": keys out of order"));
    if (!steps && !open) {
        const Track::Key& last = track.keys.last();
        if (last.t != 1 || last.value != track.keys.first().value)
            fail(where + QStringLiteral(": the loop does not close (the key at 1 must equal the key at 0)"));
    }
    return track;
}

QVariant evaluate(const Track& track, double t) {
    using std::numbers::pi;
    if (track.kind == Track::Kind::Sine)
        return track.amplitude * std::sin(2 * pi * (track.cycles * t + track.phase));
    const double local = std::fmod((t + track.shift) * track.repeat, 1.0);
    const auto& keys = track.keys;
    qsizetype i = 0;
    while (i + 1 < keys.size() && keys[i + 1].t <= local)
        ++i;
    if (track.kind == Track::Kind::Steps || i + 1 >= keys.size())
        return keys[i].value;
    const double span = keys[i + 1].t - keys[i].t;
    const double x = span > 0 ? (local - keys[i].t) / span : 1;
    const double a = keys[i].value.toDouble(), b = keys[i + 1].value.toDouble();
    return a + (b - a) * ease(keys[i].ease, x);
}

void mergeInto(Pose& pose, const QJsonObject& json, const QString& name) {
    const QJsonObject set = json.value(u"set").toObject();
    for (auto it = set.begin(); it != set.end(); ++it)
        pose.values.insert(it.key(), it.value().toVariant());
    const QJsonObject tracks = json.value(u"tracks").toObject();
    for (auto it = tracks.begin(); it != tracks.end(); ++it)
        pose.tracks.insert(it.key(), readTrack(name + QLatin1Char('.') + it.key(), it.value().toObject()));
    if (json.contains(u"frames"))
        pose.frames = json.value(u"frames").toInt();
}

} // namespace

double neutralValue(const QString& channel) {
    for (const char* unit : {".sx", ".sy", ".s", ".opacity"})
        if (channel.endsWith(QLatin1String(unit)))
            return 1;
    return 0;
}

double PoseSample::number(const QString& channel, double fallback) const {
    const auto it = values.constFind(channel);
    return it == values.constEnd() ? fallback : it->toDouble();
}

QString PoseSample::text(const QString& channel) const { return values.value(channel).toString(); }

ArtBook ArtBook::load(const QString& dir) {
    ArtBook book;

    // The parts library: everything inside <defs>, kept as written; each <g id="..."> there is a part.
    const QString svg = QString::fromUtf8(readFile(dir + QStringLiteral("/parts.svg")));
    const qsizetype open = svg.indexOf(QStringLiteral("<defs>"), svg.indexOf(QStringLiteral("<svg"))), close = svg.lastIndexOf(QStringLiteral("</defs>"));
    if (open < 0 || close < open)
        fail(QStringLiteral("parts.svg: no <defs> section"));
    book.defs_ = svg.mid(open + 6, close - open - 6);
    static const QRegularExpression partId(QStringLiteral(R"re(<g\s+id="([^"]+)")re"));
    for (auto m = partId.globalMatch(book.defs_); m.hasNext();)
        book.partIds_.insert(m.next().captured(1));

    const QJsonObject rig = readJson(dir + QStringLiteral("/rig.json"));
    book.canvas_ = rig.value(u"canvas").toDouble(480);
    book.mirrorAxis_ = rig.value(u"mirrorAxis").toDouble(book.canvas_ / 2);
    const QJsonObject defaults = rig.value(u"defaults").toObject();
    for (auto it = defaults.begin(); it != defaults.end(); ++it)
        book.defaults_.insert(it.key(), it.value().toVariant());
    QSet<QString> ids;
    for (const QJsonValue& v : rig.value(u"nodes").toArray()) {
        const QJsonObject n = v.toObject();
        RigNode node;
        node.id = n.value(u"id").toString();
        node.part = n.value(u"part").toString();
        node.parent = n.value(u"parent").toString();
        node.channels = n.value(u"channels").toString(node.id);
        const QJsonArray pivot = n.value(u"pivot").toArray();
        node.pivot = QPointF(pivot.at(0).toDouble(), pivot.at(1).toDouble());
        node.mirror = n.value(u"mirror").toBool();
        node.hidden = n.value(u"hidden").toBool();
        const QJsonArray when = n.value(u"when").toArray();
        if (!when.isEmpty()) {
            node.whenChannel = when.at(0).toString();
            node.whenValue = when.at(1).toDouble();
        }
        if (!node.part.isEmpty() && !node.part.contains(u'{') && !book.partIds_.contains(node.part))
            fail(QStringLiteral("rig.json: node %1 names the missing part %2").arg(node.id, node.part));
        ids.insert(node.id);
        book.nodes_.append(node);
    }
    for (const RigNode& node : std::as_const(book.nodes_))
        if (!node.parent.isEmpty() && !ids.contains(node.parent))
            fail(QStringLiteral("rig.json: node %1 hangs from the missing node %2").arg(node.id, node.parent));

    const QJsonObject poses = readJson(dir + QStringLiteral("/poses.json"));
    const QJsonObject poseList = poses.value(u"poses").toObject();
    // A pose may extend another: its values and tracks are laid over the parent's.
    std::function<Pose(const QString&, int)> build = [&](const QString& name, int depth) -> Pose {
        if (depth > 8 || !poseList.contains(name))
            fail(QStringLiteral("poses.json: unknown pose ") + name);
        const QJsonObject json = poseList.value(name).toObject();
        Pose pose;
        if (json.contains(u"extends")) {
            pose = build(json.value(u"extends").toString(), depth + 1);
            pose.frames = 0;
        }
        pose.name = name;
        mergeInto(pose, json, name);
        return pose;
    };
    for (auto it = poseList.begin(); it != poseList.end(); ++it)
        book.poses_.insert(it.key(), build(it.key(), 0));

    for (const QJsonValue& f : poses.value(u"folders").toArray()) {
        const QString name = f.toString();
        if (book.pose(name).frames <= 0)
            fail(QStringLiteral("poses.json: the frame folder %1 needs a pose with frames").arg(name));
        book.folders_.append(name);
    }
    const QJsonObject stills = poses.value(u"stills").toObject();
    for (auto it = stills.begin(); it != stills.end(); ++it) {
        const QJsonObject s = it.value().toObject();
        StillSpec spec{s.value(u"pose").toString(), s.value(u"at").toDouble()};
        book.pose(spec.pose);
        book.stills_.append({it.key(), spec});
    }
    const QJsonObject icons = poses.value(u"icons").toObject();
    for (auto it = icons.begin(); it != icons.end(); ++it) {
        const QJsonObject s = it.value().toObject();
        IconSpec icon;
        icon.name = it.key();
        icon.pose = s.value(u"pose").toString();
        icon.at = s.value(u"at").toDouble();
        for (const QJsonValue& p : s.value(u"parts").toArray())
            icon.parts.append(p.toString());
        for (const QJsonValue& x : s.value(u"viewBox").toArray())
            icon.viewBox.append(x.toDouble());
        if (icon.viewBox.size() != 4)
            icon.viewBox = {0, 0, book.canvas_, book.canvas_};
        for (const QJsonValue& o : s.value(u"png").toArray())
            icon.outputs.append({o.toArray().at(0).toInt(), o.toArray().at(1).toString()});
        icon.svgFile = s.value(u"svg").toString();
        icon.figureTransform = s.value(u"figureTransform").toString();
        book.icons_.append(icon);
    }
    return book;
}

const Pose& ArtBook::pose(const QString& name) const {
    const auto it = poses_.constFind(name);
    if (it == poses_.constEnd())
        fail(QStringLiteral("poses.json: unknown pose ") + name);
    return *it;
}

PoseSample ArtBook::sample(const Pose& pose, double t) const {
    PoseSample sample;
    sample.values = defaults_;
    for (auto it = pose.values.begin(); it != pose.values.end(); ++it)
        sample.values.insert(it.key(), it.value());
    for (auto it = pose.tracks.begin(); it != pose.tracks.end(); ++it) {
        const QVariant v = evaluate(it.value(), t);
        if (it.value().kind == Track::Kind::Steps)
            sample.values.insert(it.key(), v);
        else
            sample.values.insert(it.key(), sample.number(it.key(), neutralValue(it.key())) + v.toDouble());
    }
    return sample;
}

} // namespace nubbo::art
