// What several targets share: a scratch folder per process and the rules every narration line keeps.
#pragma once

#include "bridge/NarrationText.h"
#include "common/Utf8Text.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>

namespace nubbo::fuzz {

// Removed again at exit; one per process so that parallel runs (-jobs) do not share files.
inline const std::filesystem::path& scratch() {
    static const std::filesystem::path dir = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "nubbo-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        static struct Remover {
            std::filesystem::path path;
            ~Remover() {
                std::error_code ignored;
                std::filesystem::remove_all(path, ignored);
            }
        } remover{pattern};
        return std::filesystem::path(pattern);
    }();
    return dir;
}

// A fresh empty folder under the scratch folder.
inline std::filesystem::path freshFolder(std::string_view name) {
    const auto dir = scratch() / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

inline void writeBytes(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) std::abort();
}

// What the bubble shows: one non-empty line of valid UTF-8 within the hard cap and its ellipsis.
inline void checkNarration(const std::optional<std::string>& line) {
    if (!line) return;
    if (line->empty() || !text::isValidUtf8(*line) || line->find('\n') != std::string::npos ||
        text::graphemeCount(*line) > bridge::kNarrationHardCap + 1)
        std::abort();
}

} // namespace nubbo::fuzz
