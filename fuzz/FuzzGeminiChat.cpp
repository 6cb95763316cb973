// A Gemini chat file of any content in its project folder: the narration is one bounded line.
#include "FuzzSupport.h"
#include "bridge/Narration.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto home = nubbo::fuzz::freshFolder("gemini-home");
    nubbo::fuzz::writeBytes(home / ".gemini/tmp/0f3a/chats/session-2026-01-02T10-00-s1.jsonl",
                            std::string_view(reinterpret_cast<const char*>(data), size));
    const auto shown = nubbo::bridge::latestGeminiNarration(home.string(), {});
    nubbo::fuzz::checkNarration(shown);
    // Found by its session too, to the same words.
    if (nubbo::bridge::latestGeminiNarration(home.string(), {"s1", {}}) != shown) std::abort();
    return 0;
}
