// An agent's JSON configuration file, read without ever taking a damaged one for empty, and the app's hook
// entries stripped out of it.
#pragma once

#include <nlohmann/json.hpp>

#include <QString>

namespace nubbo {

struct JsonConfigFile {
    enum class Read { missing, parsed, unreadable, invalid, notObject };

    // Only a missing file or one holding nothing but whitespace reads as {}; `out` is {} unless it parsed.
    static Read read(const QString& path, nlohmann::json& out);

    // Rewrites the file without the app's entries; one without any keeps its bytes. An error only when the
    // app's entries stay in the file: one that never held any has nothing to lose.
    static QString stripAppEntries(const QString& path);
};

} // namespace nubbo
