#include "shell/LegacyLayoutMove.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringList>

#include <cerrno>
#include <optional>
#include <climits>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nubbo {
namespace {

const QString kLogsEntry = QStringLiteral("Logs");
// The old folder's entries that go to the data folder. The removal marker lies beside the backups, where
// the hook installer looks for it.
const QStringList kDataEntries = {QStringLiteral("Backups"), QStringLiteral("CustomPets"), QStringLiteral("PetPacks"),
                                  QStringLiteral("hooks-removed")};
// Left by a run that has ended: the socket and the locks. Nothing reads them again.
const QStringList kStaleEntries = {QStringLiteral("nubbo.sock"), QStringLiteral("app.lock"),
                                   QStringLiteral("hooks.lock")};
// The app and agent logs with their rotations, when they lie at the old folder's top.
const QRegularExpression kLogFileName(QStringLiteral("^(nubbo|agent)\\.log(\\.\\d+)?$"));

QByteArray onDisk(const QString& path) { return QFile::encodeName(path); }

std::optional<struct stat> linkStatus(const QString& path) {
    struct stat status{};
    if (::lstat(onDisk(path).constData(), &status) != 0) return std::nullopt;
    return status;
}

// A link's own text, so a relative link stays relative.
QByteArray linkText(const QString& path) {
    QByteArray text(PATH_MAX, '\0');
    const ssize_t n = ::readlink(onDisk(path).constData(), text.data(), static_cast<size_t>(text.size()));
    return n < 0 ? QByteArray() : text.left(n);
}

QString errnoText() { return QString::fromLocal8Bit(std::strerror(errno)); }

// A descriptor closed with its owner; closing releases any flock on it.
struct OwnedDescriptor {
    int fd = -1;
    explicit OwnedDescriptor(int descriptor) : fd(descriptor) {}
    OwnedDescriptor(const OwnedDescriptor&) = delete;
    OwnedDescriptor& operator=(const OwnedDescriptor&) = delete;
    ~OwnedDescriptor() {
        if (fd >= 0) ::close(fd);
    }
};

bool writeAll(int fd, const char* data, ssize_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= n;
    }
    return true;
}

bool sameContents(const QString& a, const QString& b) {
    const auto first = linkStatus(a), second = linkStatus(b);
    if (!first || !second) return false;
    if (S_ISLNK(first->st_mode) && S_ISLNK(second->st_mode))
        return linkText(a) == linkText(b);
    if (!S_ISREG(first->st_mode) || !S_ISREG(second->st_mode) || first->st_size != second->st_size) return false;
    QFile left(a), right(b);
    if (!left.open(QIODevice::ReadOnly) || !right.open(QIODevice::ReadOnly)) return false;
    while (!left.atEnd())
        if (left.read(1 << 16) != right.read(1 << 16)) return false;
    return true;
}

class LegacyMover {
public:
    LegacyMover(const LegacyLayout& layout, const LegacyLayoutMove::Options& options)
        : layout_(layout), options_(options) {}

    bool run();
    QStringList lines;

private:
    bool mayChange();
    bool fail(const QString& what, const QString& path);
    bool moveEntry(const QString& from, const QString& to);
    // One rename, the way within a file system: its outcome, or nothing when the entry must be copied instead
    // (another file system, or copying asked for).
    std::optional<bool> renameWhole(const QString& from, const QString& to);
    bool moveFolder(const QString& from, const QString& to);
    bool moveFile(const QString& from, const QString& to);
    bool copyFile(const QString& from, const QString& to);
    QString placeFor(const QString& from, const QString& to, bool folder) const;
    QString mapped(const QString& path) const;
    QJsonValue mapped(const QJsonValue& value, bool& changed) const;
    bool rewriteJson(const QString& path);
    bool rewriteText(const QString& path);
    bool save(const QString& path, const QByteArray& bytes);
    bool olderReleaseRuns(std::vector<std::unique_ptr<OwnedDescriptor>>& locks);
    void removeOldFolder();

    const LegacyLayout& layout_;
    const LegacyLayoutMove::Options& options_;
    bool stopped_ = false;
    int moved_ = 0;
};

bool LegacyMover::mayChange() {
    if (!stopped_ && options_.beforeChange && !options_.beforeChange()) stopped_ = true;
    return !stopped_;
}

bool LegacyMover::fail(const QString& what, const QString& path) {
    lines.append(QStringLiteral("moving the earlier folders: could not %1 %2: %3").arg(what, path, errnoText()));
    return false;
}

bool LegacyMover::moveEntry(const QString& from, const QString& to) {
    const auto status = linkStatus(from);
    if (!status) return true;  // gone meanwhile
    return S_ISDIR(status->st_mode) ? moveFolder(from, to) : moveFile(from, to);
}

// The destination itself when it is free or can take the source (a folder to merge into, a file with the
// same bytes); else the first free "<name>.legacy", "<name>.legacy-2", ... so neither side is lost.
QString LegacyMover::placeFor(const QString& from, const QString& to, bool folder) const {
    for (int n = 1;; ++n) {
        const QString candidate = n == 1   ? to
                                  : n == 2 ? to + QStringLiteral(".legacy")
                                           : to + QStringLiteral(".legacy-%1").arg(n - 1);
        const auto status = linkStatus(candidate);
        if (!status || (folder ? S_ISDIR(status->st_mode) : sameContents(from, candidate))) return candidate;
    }
}

std::optional<bool> LegacyMover::renameWhole(const QString& from, const QString& to) {
    if (options_.copyAlways) return std::nullopt;
    if (!mayChange()) return false;
    if (::rename(onDisk(from).constData(), onDisk(to).constData()) == 0) {
        ++moved_;
        return true;
    }
    if (errno != EXDEV) return fail(QStringLiteral("move"), from);
    return std::nullopt;
}

bool LegacyMover::moveFolder(const QString& from, const QString& wanted) {
    const QString to = placeFor(from, wanted, true);
    if (!linkStatus(to)) {
        QDir().mkpath(QFileInfo(to).absolutePath());
        if (const auto renamed = renameWhole(from, to)) return *renamed;
        if (!mayChange()) return false;
        if (::mkdir(onDisk(to).constData(), 0700) != 0 && errno != EEXIST) return fail(QStringLiteral("create"), to);
    }
    bool all = true;
    const QStringList names = QDir(from).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        all = moveEntry(from + u'/' + name, to + u'/' + name) && all;
        if (stopped_) return false;
    }
    if (!all || !mayChange()) return false;
    return ::rmdir(onDisk(from).constData()) == 0 || fail(QStringLiteral("remove"), from);
}

bool LegacyMover::moveFile(const QString& from, const QString& wanted) {
    const QString to = placeFor(from, wanted, false);
    if (linkStatus(to)) {  // the same bytes are already there: a copy from a run that was stopped
        if (!mayChange()) return false;
        return ::unlink(onDisk(from).constData()) == 0 || fail(QStringLiteral("remove"), from);
    }
    QDir().mkpath(QFileInfo(to).absolutePath());
    if (const auto renamed = renameWhole(from, to)) return *renamed;
    // Across file systems: a whole copy under a fixed name beside the destination (a later run overwrites a
    // half-written one), renamed into place, and only then the source removed.
    const QString part = QFileInfo(to).absolutePath() + QStringLiteral("/.") + QFileInfo(to).fileName() +
                         QStringLiteral(".moving");
    if (!mayChange()) return false;
    if (!copyFile(from, part)) return false;
    if (!mayChange()) return false;
    if (::rename(onDisk(part).constData(), onDisk(to).constData()) != 0) return fail(QStringLiteral("move"), part);
    if (!mayChange()) return false;
    ++moved_;
    return ::unlink(onDisk(from).constData()) == 0 || fail(QStringLiteral("remove"), from);
}

bool LegacyMover::copyFile(const QString& from, const QString& to) {
    const auto status = linkStatus(from);
    ::unlink(onDisk(to).constData());
    if (status && S_ISLNK(status->st_mode))
        return ::symlink(linkText(from).constData(), onDisk(to).constData()) == 0 || fail(QStringLiteral("copy"), from);
    if (!status || !S_ISREG(status->st_mode)) {
        lines.append(QStringLiteral("moving the earlier folders: %1 is not a file, left in place").arg(from));
        return false;
    }
    const OwnedDescriptor source(::open(onDisk(from).constData(), O_RDONLY | O_CLOEXEC));
    const OwnedDescriptor target(::open(onDisk(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (source.fd < 0) return fail(QStringLiteral("read"), from);
    if (target.fd < 0) return fail(QStringLiteral("create"), to);
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(source.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(QStringLiteral("read"), from);
        if (n == 0) break;
        if (!writeAll(target.fd, buffer, n)) return fail(QStringLiteral("write"), to);
    }
    if (::fchmod(target.fd, status->st_mode & 07777) != 0 || ::fsync(target.fd) != 0)
        return fail(QStringLiteral("write"), to);
    return true;
}

// Where a saved path into the old folder leads now; any other path is returned as it is.
QString LegacyMover::mapped(const QString& path) const {
    const QString prefix = layout_.oldFolder + u'/';
    if (!path.startsWith(prefix)) return path;
    const QString rest = path.mid(prefix.size());
    const QString entry = rest.section(u'/', 0, 0);
    if (entry == kLogsEntry) return layout_.logsFolder + rest.mid(kLogsEntry.size());
    if (kLogFileName.match(entry).hasMatch()) return layout_.logsFolder + u'/' + rest;
    if (kDataEntries.contains(entry)) return layout_.dataFolder + u'/' + rest;
    return path;
}

QJsonValue LegacyMover::mapped(const QJsonValue& value, bool& changed) const {
    if (value.isString()) {
        const QString path = mapped(value.toString());
        changed = changed || path != value.toString();
        return path;
    }
    if (value.isArray()) {
        QJsonArray array = value.toArray();
        for (qsizetype i = 0; i < array.size(); ++i) array[i] = mapped(array.at(i), changed);
        return array;
    }
    if (value.isObject()) {
        QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) it.value() = mapped(it.value(), changed);
        return object;
    }
    return value;
}

bool LegacyMover::save(const QString& path, const QByteArray& bytes) {
    if (!mayChange()) return false;
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly) || ::fchmod(file.handle(), 0600) != 0 || file.write(bytes) != bytes.size() ||
        !file.commit()) {
        lines.append(QStringLiteral("moving the earlier folders: could not rewrite %1: %2").arg(path, file.errorString()));
        return false;
    }
    return true;
}

// A file that does not parse is left as it is: nothing of it can be rewritten safely.
bool LegacyMover::rewriteJson(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return true;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !(document.isObject() || document.isArray())) {
        lines.append(QStringLiteral("moving the earlier folders: %1 does not parse, its paths are kept").arg(path));
        return true;
    }
    bool changed = false;
    const QJsonValue rewritten =
        mapped(document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array()), changed);
    if (!changed) return true;
    const QJsonDocument result = rewritten.isObject() ? QJsonDocument(rewritten.toObject())
                                                      : QJsonDocument(rewritten.toArray());
    return save(path, result.toJson(QJsonDocument::Indented));
}

bool LegacyMover::rewriteText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return true;
    const QString text = QString::fromUtf8(file.readAll()).trimmed();
    const QString rewritten = mapped(text);
    return rewritten == text || save(path, rewritten.toUtf8());
}

// An earlier release that still runs holds its instance lock (or, for a command-line run, the hooks lock):
// its files stay until a later start. The locks are kept until the move is over.
bool LegacyMover::olderReleaseRuns(std::vector<std::unique_ptr<OwnedDescriptor>>& locks) {
    for (const QString& name : {QStringLiteral("app.lock"), QStringLiteral("hooks.lock")}) {
        auto lock = std::make_unique<OwnedDescriptor>(
            ::open(onDisk(layout_.oldFolder + u'/' + name).constData(), O_RDWR | O_CLOEXEC));
        if (lock->fd < 0) continue;
        int result;
        do result = ::flock(lock->fd, LOCK_EX | LOCK_NB);
        while (result != 0 && errno == EINTR);
        if (result != 0 && errno == EWOULDBLOCK) {
            lines.append(QStringLiteral("moving the earlier folders: an earlier release still runs in %1, the move waits "
                                        "for a later start").arg(layout_.oldFolder));
            return true;
        }
        locks.push_back(std::move(lock));
    }
    return false;
}

// The old folder once nothing of the app's is left in it, then the two folders above when that leaves them
// empty: nothing on Linux but this app's earlier releases made "~/Library/Application Support".
void LegacyMover::removeOldFolder() {
    for (const QString& name : kStaleEntries)
        if (linkStatus(layout_.oldFolder + u'/' + name) &&
            (!mayChange() || ::unlink(onDisk(layout_.oldFolder + u'/' + name).constData()) != 0))
            return;
    if (!mayChange()) return;
    if (::rmdir(onDisk(layout_.oldFolder).constData()) != 0) {
        const QStringList left =
            QDir(layout_.oldFolder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        lines.append(QStringLiteral("moving the earlier folders: %1 keeps what is not the app's: %2")
                         .arg(layout_.oldFolder, left.join(QStringLiteral(", "))));
        return;
    }
    const QString support = QFileInfo(layout_.oldFolder).absolutePath();
    const QString library = QFileInfo(support).absolutePath();
    if (QFileInfo(support).fileName() != QStringLiteral("Application Support") ||
        QFileInfo(library).fileName() != QStringLiteral("Library"))
        return;
    if (mayChange() && ::rmdir(onDisk(support).constData()) == 0 && mayChange())
        ::rmdir(onDisk(library).constData());
}

bool LegacyMover::run() {
    // Two starts at once: the second waits here for the first, then finds less or nothing to do.
    const OwnedDescriptor folderLock(::open(onDisk(layout_.oldFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderLock.fd >= 0)
        while (::flock(folderLock.fd, LOCK_EX) != 0 && errno == EINTR) {
        }
    if (!linkStatus(layout_.oldFolder)) return true;
    std::vector<std::unique_ptr<OwnedDescriptor>> locks;
    if (olderReleaseRuns(locks)) return false;

    bool all = true;
    const QStringList names =
        QDir(layout_.oldFolder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const QString path = layout_.oldFolder + u'/' + name;
        if (name == kLogsEntry)
            all = moveEntry(path, layout_.logsFolder) && all;
        else if (kDataEntries.contains(name))
            all = moveEntry(path, layout_.dataFolder + u'/' + name) && all;
        else if (kLogFileName.match(name).hasMatch())
            all = moveEntry(path, layout_.logsFolder + u'/' + name) && all;
        if (stopped_) return false;
    }
    // The record keeps backup folders by name, but a path into the old folder must not outlive it.
    const QString backups = layout_.dataFolder + QStringLiteral("/Backups/");
    all = rewriteJson(layout_.preferencesFile) && rewriteJson(backups + QStringLiteral("written.json")) &&
          rewriteText(backups + QStringLiteral("latest.txt")) && all;
    if (stopped_) return false;
    if (moved_ > 0)
        lines.append(QStringLiteral("moved the earlier release's files from %1 to %2 and %3")
                         .arg(layout_.oldFolder, layout_.dataFolder, layout_.logsFolder));
    if (all) removeOldFolder();
    return !stopped_ && !linkStatus(layout_.oldFolder);
}

} // namespace

bool LegacyLayoutMove::run(const LegacyLayout& layout, const Log& log, const Options& options) {
    struct stat status{};
    if (::stat(onDisk(layout.oldFolder).constData(), &status) != 0 || !S_ISDIR(status.st_mode)) return true;
    LegacyMover mover(layout, options);
    const bool done = mover.run();
    if (log)
        for (const QString& line : mover.lines) log(line);
    return done;
}

} // namespace nubbo
