// Where the pet's art comes from: the still picture for a state and the frame lists of frame folders, looked
// up in the custom picture, the installed pack and the official resources, in that order.
#pragma once

#include "PetState.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

#include <optional>

namespace nubbo {

// Main thread only. Images are decoded at the pixel size they are drawn at (the view's side times the
// screen's pixel ratio), fitted into that square with their aspect kept, instead of at file resolution: a
// 480 px frame list drawn at 150 px would otherwise hold ten times the memory it shows.
class PetImageStore {
public:
    // resourcesDirectory: the bundle's Contents/Resources, holding PetImages/ and PetFrames/; empty when the
    // application has none.
    explicit PetImageStore(QString resourcesDirectory);

    // The instance the app's start-up installed, else one over the running bundle's resources.
    static PetImageStore& shared();
    // The caller keeps ownership; pass nullptr to uninstall.
    static void setShared(PetImageStore* store);
    // Contents/Resources beside the executable's Contents/MacOS; "" when the folder does not exist.
    static QString bundleResourcesDirectory();

    const QString& resourcesDirectory() const { return resourcesDirectory_; }

    // The first picture that decodes: the custom file, the pack's images/<imageName>.png, the official
    // PetImages/<imageName>.png, the official PetImages/nubbo_default.png. Null when none does (the view
    // then draws the paw symbol).
    QImage stillImage(PetState state, const std::optional<QString>& customPath,
                      const std::optional<QString>& packPath, QSize pixelSize) const;
    // PetImages/<name>.png from the official resources; null when missing or undecodable.
    QImage officialImage(const QString& name, QSize pixelSize) const;

    // The frames of a frame folder: the pack's frames/<name>/ when it has at least one decodable frame, else
    // the official PetFrames/<name>/; possibly empty. Served from the cache after the first load of a key
    // (official results are cached even when empty; empty pack results are not).
    QList<QImage> frameImages(const QString& name, const std::optional<QString>& packPath, QSize pixelSize);
    // The PNG files of a folder (extension compared lower-cased, hidden files skipped) in plain file-name
    // order, decoded; undecodable files are dropped and a missing folder gives nothing.
    static QList<QImage> loadFrames(const QString& directory, QSize pixelSize);
    // One file decoded to fit pixelSize (any dimension <= 0: file resolution); null when it does not decode.
    static QImage decode(const QString& path, QSize pixelSize);
    // A frame cut down to the box of its visible pixels (plus one clear pixel for smooth edges): a figure
    // on a mostly clear square then holds only what it shows, which keeps every loop of a pet in memory
    // affordable. offset() places the cut within the frame, and canvasSize() gives the whole frame.
    static QImage trimmed(const QImage& frame);
    // The size of the whole frame a picture stands for: a trimmed frame's original size, else its own.
    static QSize canvasSize(const QImage& picture);

    // How many frame lists are held, for tests and the memory report.
    qsizetype cachedFrameLists() const { return frameCache_.size(); }

private:
    QString resourcesDirectory_;
    // Never pruned: switching states must not touch the disk again. A pack replaced on disk under the same
    // path keeps its old frames until the app restarts.
    QHash<QString, QList<QImage>> frameCache_;
};

} // namespace nubbo
