// Any bytes as a pet pack's archive, installed end to end: whatever the archive holds, nothing is written
// outside the working and packs folders, no link is created, the working folder is gone afterwards, and
// the packs folder holds at most the one new pack, with its art.
#include "petart/PetPackManager.h"

#include "FuzzSupport.h"

#include <QUuid>

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> entries(const fs::path& dir) {
    std::vector<fs::path> out;
    for (const auto& entry : fs::directory_iterator(dir)) out.push_back(entry.path());
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto jail = nubbo::fuzz::freshFolder("jail");
    const auto temporary = jail / "tmp";
    const auto packs = jail / "packs";
    fs::create_directories(temporary);
    fs::create_directories(packs);
    const auto archive = nubbo::fuzz::scratch() / "My Pack.zip";
    nubbo::fuzz::writeBytes(archive, std::string_view(reinterpret_cast<const char*>(data), size));

    // Small limits keep each run fast; the checks against them are the same code.
    nubbo::PackExtractor::Limits limits;
    limits.maxTotalBytes = 1 << 20;
    limits.maxEntryBytes = 256 << 10;
    limits.maxEntries = 200;
    const nubbo::PetPackManager manager(QString::fromStdString(packs.string()), QString::fromStdString(temporary.string()),
                                        [] { return QUuid(0x12345678, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10); },
                                        [](const QString&) {});
    const auto result = manager.install(QString::fromStdString(archive.string()));

    // Nothing beside the two folders, nothing left in the working one, no link anywhere.
    if (entries(jail).size() != 2 || !entries(temporary).empty()) std::abort();
    std::uintmax_t total = 0;
    for (const auto& entry : fs::recursive_directory_iterator(jail)) {
        if (entry.is_symlink() || !(entry.is_directory() || entry.is_regular_file())) std::abort();
        if (entry.is_regular_file()) total += entry.file_size();
    }
    if (total > std::uintmax_t(limits.maxTotalBytes)) std::abort();
    const auto installed = entries(packs);
    if (!result.ok()) {
        if (!installed.empty()) std::abort();
        return 0;
    }
    if (installed.size() != 1 || fs::path(result.path().toStdString()) != installed.front()) std::abort();
    if (!fs::is_directory(installed.front() / "images") && !fs::is_directory(installed.front() / "frames")) std::abort();
    return 0;
}
