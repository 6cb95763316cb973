#include "petart/PackExtractor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <archive.h>
#include <archive_entry.h>

#include <array>
#include <memory>
#include <optional>

namespace nubbo {
namespace {

struct ArchiveFree {
    void operator()(struct archive* a) const { archive_read_free(a); }
};

// The entry's path below the destination with "." and empty components dropped; none for a name that is
// absolute or climbs with "..". libarchive's own secure flags are not used: they misfire once a
// destination prefix is applied, and checking the raw name is simple enough to get right here.
std::optional<QString> relativePath(const QString& name) {
    if (name.isEmpty() || name.startsWith(u'/'))
        return std::nullopt;
    QStringList parts;
    for (const QString& part : name.split(u'/', Qt::SkipEmptyParts)) {
        if (part == u"..")
            return std::nullopt;
        if (part != u".")
            parts << part;
    }
    return parts.join(u'/');
}

QString entryName(struct archive_entry* entry) {
    if (const char* utf8 = archive_entry_pathname_utf8(entry))
        return QString::fromUtf8(utf8);
    // A name that is not valid in the locale: the raw bytes, lossily. "/" and "." are ASCII and survive
    // the decoding, so the checks still see every component.
    if (const char* raw = archive_entry_pathname(entry))
        return QString::fromUtf8(raw);
    return {};
}

} // namespace

bool PackExtractor::extract(const QString& archivePath, const QString& destination, const Limits& limits,
                            QString* reason) {
    const auto fail = [reason](const QString& why) {
        if (reason)
            *reason = why;
        return false;
    };

    const std::unique_ptr<struct archive, ArchiveFree> reader(archive_read_new());
    if (!reader)
        return fail(QStringLiteral("out of memory"));
    // Only zip: a pack is a zip, and every other format is more surface for nothing.
    archive_read_support_format_zip(reader.get());
    if (archive_read_open_filename(reader.get(), QFile::encodeName(archivePath).constData(), 64 * 1024) !=
        ARCHIVE_OK)
        return fail(QString::fromUtf8(archive_error_string(reader.get())));

    const auto libraryError = [&] { return QString::fromUtf8(archive_error_string(reader.get())); };
    qint64 total = 0;
    int entries = 0;
    std::array<char, 64 * 1024> buffer;
    for (;;) {
        struct archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF)
            break;
        // ARCHIVE_WARN is a name that did not convert to the locale; the name is checked below anyway.
        if (status < ARCHIVE_WARN)
            return fail(libraryError());
        if (++entries > limits.maxEntries)
            return fail(QStringLiteral("more than %1 entries").arg(limits.maxEntries));

        const QString name = entryName(entry);
        const std::optional<QString> relative = relativePath(name);
        if (!relative)
            return fail(QStringLiteral("unsafe entry name ") + name);
        // A link could point anywhere, and a later entry could write through it; no pack needs one.
        if (archive_entry_hardlink(entry) || archive_entry_symlink(entry))
            return fail(QStringLiteral("link entry ") + name);
        const QString target = destination + u'/' + *relative;

        const auto type = archive_entry_filetype(entry);
        if (type == AE_IFDIR) {
            if (!relative->isEmpty() && !QDir().mkpath(target))
                return fail(QStringLiteral("cannot create folder ") + name);
            continue;
        }
        if (type != AE_IFREG)
            return fail(QStringLiteral("not a file or folder ") + name);
        if (relative->isEmpty())
            return fail(QStringLiteral("file without a name ") + name);

        // What the header claims is checked first to fail early; what is actually inflated is counted too,
        // because the claim may lie.
        if (archive_entry_size_is_set(entry)) {
            const qint64 claimed = archive_entry_size(entry);
            if (claimed > limits.maxEntryBytes)
                return fail(QStringLiteral("entry too large ") + name);
            if (claimed > limits.maxTotalBytes - total)
                return fail(QStringLiteral("pack too large at ") + name);
        }
        if (!QDir().mkpath(QFileInfo(target).path()))
            return fail(QStringLiteral("cannot create folder for ") + name);
        QFile out(target);
        // NewOnly: a name repeated in the archive fails instead of overwriting what an earlier entry wrote.
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return fail(QStringLiteral("cannot create ") + name + QStringLiteral(": ") + out.errorString());
        qint64 written = 0;
        for (;;) {
            const la_ssize_t read = archive_read_data(reader.get(), buffer.data(), buffer.size());
            if (read < 0)
                return fail(libraryError());
            if (read == 0)
                break;
            written += read;
            total += read;
            if (written > limits.maxEntryBytes)
                return fail(QStringLiteral("entry too large ") + name);
            if (total > limits.maxTotalBytes)
                return fail(QStringLiteral("pack too large at ") + name);
            if (out.write(buffer.data(), read) != read)
                return fail(QStringLiteral("cannot write ") + name + QStringLiteral(": ") + out.errorString());
        }
        if (!out.flush())
            return fail(QStringLiteral("cannot write ") + name + QStringLiteral(": ") + out.errorString());
    }
    return true;
}

} // namespace nubbo
