#include "hooks/ProcessEnvironment.h"

#include <QFile>

#include <sys/stat.h>

namespace nubbo::ProcessEnvironment {

std::optional<QByteArray> read(const QString& procRoot, qint64 pid, uint uid) {
    const QString folder = procRoot + QLatin1Char('/') + QString::number(pid);
    // Root may read anyone's environment; the detector still only offers what the user's own agents use.
    struct stat info{};
    if (::stat(QFile::encodeName(folder).constData(), &info) != 0 || info.st_uid != uid)
        return std::nullopt;
    QFile file(folder + QStringLiteral("/environ"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return std::nullopt;
    QByteArray bytes = file.read(kMaxBytes);
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

std::optional<QString> value(const QByteArray& environment, QByteArrayView name) {
    for (qsizetype start = 0; start < environment.size();) {
        qsizetype end = environment.indexOf('\0', start);
        if (end < 0)
            end = environment.size();
        const QByteArrayView entry(environment.constData() + start, end - start);
        if (entry.size() > name.size() + 1 && entry.startsWith(name) && entry[name.size()] == '=')
            return QString::fromLocal8Bit(entry.sliced(name.size() + 1));
        start = end + 1;
    }
    return std::nullopt;
}

} // namespace nubbo::ProcessEnvironment
