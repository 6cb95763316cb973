// Where the pet's art comes from: the still picture for a state and the frame lists of frame folders, looked
// up in the custom picture, the installed pack and the official resources, in that order.
#pragma once

#include "petart/PetArtLimits.h"
#include "model/PetState.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QThreadPool>

#include <functional>
#include <optional>

namespace nubbo {

// What the pet shows for one state: its frames when the art has a loop for it, else its still picture
// (both empty: the paw).
struct PetArt {
    QList<QImage> frames;
    QImage still;
};

struct PetArtRequest {
    PetState state = PetState::idle;
    std::optional<QString> customPath;
    std::optional<QString> packPath;
    // Device pixels the art is drawn at.
    QSize pixelSize;
};

// Lives on the main thread. Images are decoded at the pixel size they are drawn at (the view's side times
// the screen's pixel ratio), fitted into that square with their aspect kept, instead of at file
// resolution: a 480 px frame list drawn at 150 px would otherwise hold ten times the memory it shows.
// The views load through load(), which decodes on the store's own worker thread: a pack's loop of large
// frames takes long enough to freeze the pet. Pictures over the art limits' side are never decoded, and a
// loop plays at most its limit of frames, whatever is on disk now.
class PetImageStore {
public:
    // Every loop of the official art is 15 MiB at 150 px and 59 MiB at 300 px (a 150 pt pet on a 2x
    // screen): this keeps it whole either way, and bounds what packs, other sizes and a pet resized again
    // and again would pile up.
    static constexpr qint64 kDefaultCacheBytes = qint64(64) << 20;

    // resourcesDirectory: the bundle's Contents/Resources, holding PetImages/ and PetFrames/; empty when the
    // application has none.
    explicit PetImageStore(QString resourcesDirectory, qint64 cacheBytes = kDefaultCacheBytes,
                           PetArtLimits limits = {});
    // Waits for a load under way; loads not yet started are dropped.
    ~PetImageStore();
    PetImageStore(const PetImageStore&) = delete;
    PetImageStore& operator=(const PetImageStore&) = delete;

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
    // (official results are cached even when empty; empty pack results are not). Decodes on the calling
    // thread: the views use load().
    QList<QImage> frameImages(const QString& name, const std::optional<QString>& packPath, QSize pixelSize);

    // The art for a request, at once when its frames are cached; none when it has to be loaded.
    std::optional<PetArt> cachedArt(const PetArtRequest& request);
    // Looks the art up and decodes it on the worker, then calls done on this store's thread with it (and
    // caches its frames), unless receiver is gone by then. Loads run one at a time, in order.
    void load(const PetArtRequest& request, QObject* receiver, std::function<void(const PetArt&)> done);
    // Waits for every load started and delivers its result now; for tests and tools.
    void drain();

    // The PNG files of a folder (extension compared lower-cased, hidden files skipped) in plain file-name
    // order, the first limits.maxFramesPerLoop of them, decoded; undecodable files and files over the
    // limits' side are dropped and a missing folder gives nothing.
    static QList<QImage> loadFrames(const QString& directory, QSize pixelSize, const PetArtLimits& limits = {});
    // One file decoded to fit pixelSize (any dimension <= 0: file resolution); null when it does not decode,
    // is no regular file (a FIFO is never opened) or its header states a side over the limits.
    static QImage decode(const QString& path, QSize pixelSize, const PetArtLimits& limits = {});
    // A frame cut down to the box of its visible pixels (plus one clear pixel for smooth edges): a figure
    // on a mostly clear square then holds only what it shows, which keeps every loop of a pet in memory
    // affordable. offset() places the cut within the frame, and canvasSize() gives the whole frame.
    static QImage trimmed(const QImage& frame);
    // The size of the whole frame a picture stands for: a trimmed frame's original size, else its own.
    static QSize canvasSize(const QImage& picture);

    // How many frame lists are held and their pixels' bytes, for tests and the memory report.
    qsizetype cachedFrameLists() const { return frameCache_.size(); }
    qint64 cachedBytes() const { return cachedBytes_; }

private:
    struct Cached {
        QList<QImage> frames;
        qint64 bytes = 0;
        quint64 lastUse = 0;
    };
    const QList<QImage>* recall(const QString& key);
    // Keeps frames under key, then drops the least recently used other lists until the cache is within
    // its budget again: the list just kept stays, so a loop larger than the budget still plays.
    void remember(const QString& key, const QList<QImage>& frames);
    QString packKey(const QString& packPath, const QString& name, QSize pixelSize) const;
    QString bundleKey(const QString& name, QSize pixelSize) const;

    QString resourcesDirectory_;
    qint64 cacheBudget_;
    PetArtLimits limits_;
    // Bounded by cacheBudget_; switching among the states in use does not touch the disk again. A pack
    // replaced on disk under the same path keeps its old frames while they stay cached.
    QHash<QString, Cached> frameCache_;
    qint64 cachedBytes_ = 0;
    quint64 uses_ = 0;
    // Results come back through queued calls on this object, so none arrives after the store is gone.
    QObject mainThread_;
    // One worker thread, started on demand.
    QThreadPool worker_;
};

} // namespace nubbo
