// Writes small zip archives for the pack tests, hostile ones included: names are stored exactly as given.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <archive.h>
#include <archive_entry.h>

#include <vector>

namespace nubbo::testing {

struct ZipEntry {
    enum Kind { file, folder, symlink };
    ZipEntry(QString name, QByteArray data = {}, Kind kind = file, QString target = {})
        : name(std::move(name)), data(std::move(data)), kind(kind), target(std::move(target)) {}
    QString name;
    QByteArray data;
    Kind kind = file;
    // The symlink's target.
    QString target;
};

inline ZipEntry folder(const QString& name) { return {name, {}, ZipEntry::folder, {}}; }
inline ZipEntry symlink(const QString& name, const QString& target) { return {name, {}, ZipEntry::symlink, target}; }

// False when libarchive refused to write it.
inline bool writeZip(const QString& path, const std::vector<ZipEntry>& entries) {
    struct archive* zip = archive_write_new();
    bool ok = archive_write_set_format_zip(zip) == ARCHIVE_OK &&
              archive_write_open_filename(zip, QFile::encodeName(path).constData()) == ARCHIVE_OK;
    for (const ZipEntry& e : entries) {
        if (!ok)
            break;
        struct archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname_utf8(entry, e.name.toUtf8().constData());
        archive_entry_set_mtime(entry, 1700000000, 0);
        switch (e.kind) {
        case ZipEntry::file:
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_perm(entry, 0644);
            archive_entry_set_size(entry, e.data.size());
            break;
        case ZipEntry::folder:
            archive_entry_set_filetype(entry, AE_IFDIR);
            archive_entry_set_perm(entry, 0755);
            break;
        case ZipEntry::symlink:
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_set_perm(entry, 0777);
            archive_entry_set_symlink_utf8(entry, e.target.toUtf8().constData());
            break;
        }
        ok = archive_write_header(zip, entry) == ARCHIVE_OK &&
             (e.data.isEmpty() || archive_write_data(zip, e.data.constData(), size_t(e.data.size())) == e.data.size());
        archive_entry_free(entry);
    }
    ok = archive_write_close(zip) == ARCHIVE_OK && ok;
    archive_write_free(zip);
    return ok;
}

// A small picture that decodes, for pack entries and custom pets.
inline QByteArray pngBytes() {
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A PNG whose header claims size, with only two rows of pixels after it: a few hundred bytes that would
// take width × height × 4 bytes to decode. Only a reader that trusts the header past it would try.
inline QByteArray pngClaiming(QSize size) {
    const auto bigEndian = [](quint32 value) {
        QByteArray bytes(4, '\0');
        for (int i = 0; i < 4; ++i)
            bytes[i] = char(value >> (24 - 8 * i));
        return bytes;
    };
    const auto crc32 = [](const QByteArray& bytes) {
        quint32 crc = 0xFFFFFFFFu;
        for (const char c : bytes) {
            crc ^= quint8(c);
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        return ~crc;
    };
    const auto chunk = [&](const char* type, const QByteArray& data) {
        const QByteArray body = QByteArray(type) + data;
        return bigEndian(quint32(data.size())) + body + bigEndian(crc32(body));
    };
    // One bit of grey per pixel, each row led by its filter byte.
    const QByteArray header = bigEndian(quint32(size.width())) + bigEndian(quint32(size.height())) +
                              QByteArray("\x01\x00\x00\x00\x00", 5);
    const QByteArray rows(2 * (1 + (size.width() + 7) / 8), '\0');
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", qCompress(rows).mid(4)) +
           chunk("IEND", {});
}

// Every path below a folder (hidden ones and links too), relative and sorted; links are marked " -> ".
inline QStringList tree(const QString& directory) {
    QStringList paths;
    QDirIterator it(directory, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QString relative = QDir(directory).relativeFilePath(it.filePath());
        paths << (it.fileInfo().isSymLink() ? relative + QStringLiteral(" -> ") + it.fileInfo().symLinkTarget()
                                            : relative);
    }
    paths.sort();
    return paths;
}

} // namespace nubbo::testing
