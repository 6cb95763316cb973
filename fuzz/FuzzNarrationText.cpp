// Arbitrary assistant messages: cleaning and shortening must stay valid UTF-8, single-line and bounded.
#include "bridge/NarrationText.h"
#include "common/Utf8Text.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto text = nubbo::text::repairUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
    const auto cleaned = nubbo::bridge::cleanNarration(text);
    if (!nubbo::text::isValidUtf8(cleaned) || cleaned.find('\n') != std::string::npos) std::abort();
    nubbo::bridge::looksLikeProse(text);
    if (auto line = nubbo::bridge::excerpt(text)) {
        // The hard cap plus the ellipsis.
        if (line->empty() || !nubbo::text::isValidUtf8(*line) ||
            nubbo::text::graphemeCount(*line) > nubbo::bridge::kNarrationHardCap + 1)
            std::abort();
    }
    return 0;
}
