// A Claude-family transcript of any content, and the tail window read at any size: the lines handed on are
// complete, non-empty UTF-8, and the narration is one bounded line.
#include "FuzzSupport.h"
#include "bridge/Narration.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The first two bytes pick the window, so that it starts anywhere in the file, inside a character too.
    const std::uint64_t window = data[0] | (std::uint64_t(data[1]) << 8);
    const std::string_view content(reinterpret_cast<const char*>(data) + 2, size - 2);
    const auto path = (nubbo::fuzz::scratch() / "transcript.jsonl").string();
    nubbo::fuzz::writeBytes(path, content);

    if (const auto lines = nubbo::bridge::tailLines(path, window)) {
        std::size_t total = 0;
        for (const auto& line : *lines) {
            if (line.empty() || line.find('\n') != std::string::npos || !nubbo::text::isValidUtf8(line)) std::abort();
            // Every line is in the file and in the window.
            if (content.find(line) == std::string_view::npos) std::abort();
            total += line.size() + 1;
        }
        if (total > window + 1) std::abort();
    }
    nubbo::fuzz::checkNarration(nubbo::bridge::latestAssistantText(path));
    return 0;
}
