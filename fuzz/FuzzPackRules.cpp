// Any unpacked tree, manifest and archive name: the pack root is the top level or its one visible folder,
// and the pack's name is one usable folder name (not hidden, no separator, no control character).
// Input: the archive's name on the first line, the tree's paths separated by ';' on the second (a path
// ending in '/' is a folder), and every file's content after that.
#include "petart/PetPackManager.h"

#include "FuzzSupport.h"

#include <QDir>
#include <QFileInfo>

namespace {

namespace fs = std::filesystem;

std::string_view takeLine(std::string_view& input) {
    const auto end = input.find('\n');
    const auto line = input.substr(0, end);
    input = end == std::string_view::npos ? std::string_view{} : input.substr(end + 1);
    return line;
}

// Only clean relative paths are created: the tree is what an extraction could leave.
bool clean(std::string_view path) {
    if (path.empty() || path.size() > 200 || path.front() == '/' || path.find('\0') != std::string_view::npos) return false;
    for (std::size_t start = 0; start <= path.size();) {
        const auto end = std::min(path.find('/', start), path.size());
        const auto part = path.substr(start, end - start);
        if (part == "." || part == ".." || part.size() > 100) return false;
        start = end + 1;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string zipName(takeLine(input));
    std::string_view paths = takeLine(input);
    const std::string_view content = input;

    const auto top = nubbo::fuzz::freshFolder("pack");
    nubbo::fuzz::writeBytes(top / "manifest.json", content);
    for (int count = 0; !paths.empty() && count < 12; ++count) {
        const auto end = paths.find(';');
        const auto path = paths.substr(0, end);
        paths = end == std::string_view::npos ? std::string_view{} : paths.substr(end + 1);
        if (!clean(path)) continue;
        std::error_code error;
        const auto target = top / std::string(path);
        if (path.back() == '/') {
            fs::create_directories(target, error);
        } else if (fs::create_directories(target.parent_path(), error); !error && !fs::exists(target, error)) {
            std::ofstream(target, std::ios::binary).write(content.data(), std::streamsize(content.size()));
        }
    }

    const QString directory = QString::fromStdString(top.string());
    const QString root = nubbo::PetPackManager::packRoot(directory);
    if (root != directory) {
        const QFileInfo info(root);
        if (!info.isDir() || info.isHidden() || QDir::cleanPath(info.absolutePath()) != directory) std::abort();
    }
    for (const char* art : {"images", "frames"})
        if (QFileInfo(directory + u'/' + QLatin1String(art)).isDir() && root != directory) std::abort();

    const QString name = nubbo::PetPackManager::packName(root, QString::fromStdString(zipName));
    if (name.isEmpty() || name.startsWith(u'.') || name.contains(u'/') || name != name.trimmed()) std::abort();
    for (const QChar c : name)
        if (c.category() == QChar::Other_Control) std::abort();
    // It makes a folder of that name right inside the packs folder, joined as the installer joins it.
    const auto packs = nubbo::fuzz::freshFolder("packs");
    const auto folder = packs / name.toStdString();
    std::error_code error;
    if (!fs::create_directory(folder, error) || folder.parent_path() != packs ||
        std::distance(fs::directory_iterator(packs), fs::directory_iterator()) != 1)
        std::abort();
    return 0;
}
