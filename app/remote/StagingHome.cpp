#include "remote/StagingHome.h"

#include "hooks/ConfigFileWriter.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <sys/stat.h>

namespace nubbo {
namespace {

struct ArchiveFree {
    void operator()(struct archive* a) const { archive_read_free(a); }
};

// A relative path of plain components; "./" prefixes and trailing slashes as tar writes them are dropped.
std::optional<QString> safeName(const QString& raw) {
    QString name = raw;
    while (name.startsWith(QLatin1String("./")))
        name = name.mid(2);
    while (name.endsWith(QLatin1Char('/')))
        name.chop(1);
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')))
        return std::nullopt;
    for (const QString& part : name.split(QLatin1Char('/')))
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return std::nullopt;
    return name;
}

bool isWanted(const QString& name, const QStringList& wanted) {
    for (const QString& path : wanted)
        if (name == path || name.startsWith(path + QLatin1Char('/')) || path.startsWith(name + QLatin1Char('/')))
            return true;
    return false;
}

} // namespace

QString StagingHome::unpack(const QByteArray& tar, const QString& folder, const QStringList& wanted) {
    if (tar.isEmpty())
        return {};  // no agent file exists there
    if (tar.size() > kMaxArchiveBytes)
        return QStringLiteral("the host's agent files come to more than %1 MiB").arg(kMaxArchiveBytes >> 20);
    const std::unique_ptr<struct archive, ArchiveFree> reader(archive_read_new());
    archive_read_support_format_tar(reader.get());
    if (archive_read_open_memory(reader.get(), tar.constData(), size_t(tar.size())) != ARCHIVE_OK)
        return QStringLiteral("the host's agent files could not be read: %1")
            .arg(QString::fromLocal8Bit(archive_error_string(reader.get())));
    // Files already taken, for hard links: a file reached by two of the wanted paths is stored once.
    QMap<QString, StagedFile> taken;
    const QDir root(folder);
    for (;;) {
        struct archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF)
            break;
        if (status != ARCHIVE_OK)
            return QStringLiteral("the host's agent files could not be read: %1")
                .arg(QString::fromLocal8Bit(archive_error_string(reader.get())));
        const QString raw = QString::fromUtf8(archive_entry_pathname_utf8(entry) ? archive_entry_pathname_utf8(entry)
                                                                                 : archive_entry_pathname(entry));
        const std::optional<QString> name = safeName(raw);
        if (!name)
            return QStringLiteral("the host sent a file named \"%1\"; nothing was taken").arg(raw);
        if (!isWanted(*name, wanted))
            continue;
        const unsigned mode = archive_entry_perm(entry) & 0777;
        const char* link = archive_entry_hardlink(entry);
        const auto type = archive_entry_filetype(entry);
        StagedFile file{{}, mode};
        if (link) {
            const std::optional<QString> target = safeName(QString::fromUtf8(link));
            if (!target || !taken.contains(*target))
                return QStringLiteral("the host sent a link \"%1\"; nothing was taken").arg(raw);
            file = taken.value(*target);
        } else if (type == AE_IFDIR) {
            if (!root.mkpath(*name))
                return QStringLiteral("could not create %1").arg(root.filePath(*name));
            continue;
        } else if (type != AE_IFREG) {
            return QStringLiteral("the host sent \"%1\", which is not a plain file; nothing was taken").arg(raw);
        } else {
            if (archive_entry_size(entry) > kMaxFileBytes)
                return QStringLiteral("%1 on the host is larger than %2 MiB").arg(*name).arg(kMaxFileBytes >> 20);
            file.bytes.resize(qsizetype(archive_entry_size(entry)));
            for (qsizetype done = 0; done < file.bytes.size();) {
                const la_ssize_t read =
                    archive_read_data(reader.get(), file.bytes.data() + done, size_t(file.bytes.size() - done));
                if (read <= 0)
                    return QStringLiteral("the host's copy of %1 is cut short").arg(*name);
                done += read;
            }
        }
        const QString path = root.filePath(*name);
        if (!root.mkpath(QFileInfo(*name).path()))
            return QStringLiteral("could not create %1").arg(QFileInfo(path).path());
        if (QString error = ConfigFileWriter::writeAtomically(path, file.bytes, file.mode); !error.isEmpty())
            return error;
        ::chmod(QFile::encodeName(path).constData(), file.mode);
        taken.insert(*name, file);
    }
    return {};
}

StagedFiles StagingHome::snapshot(const QString& folder) {
    StagedFiles files;
    const QDir root(folder);
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!it.fileInfo().isFile() || it.fileInfo().isSymLink())
            continue;
        files.insert(root.relativeFilePath(path), {ConfigFileWriter::read(path).value_or(QByteArray()),
                                                  ConfigFileWriter::mode(path).value_or(0644) & 0777});
    }
    return files;
}

std::vector<StagedChange> StagingHome::changes(const StagedFiles& before, const StagedFiles& after) {
    std::vector<StagedChange> result;
    for (auto it = before.begin(); it != before.end(); ++it) {
        const auto now = after.find(it.key());
        if (now == after.end())
            result.push_back({it.key(), *it, std::nullopt});
        else if (now->bytes != it->bytes)
            result.push_back({it.key(), *it, *now});
    }
    for (auto it = after.begin(); it != after.end(); ++it)
        if (!before.contains(it.key()))
            result.push_back({it.key(), std::nullopt, *it});
    return result;
}

} // namespace nubbo
