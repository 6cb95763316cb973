// A Codex rollout of any content in the sessions folder: the narration is one bounded line.
#include "FuzzSupport.h"
#include "bridge/Narration.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto home = nubbo::fuzz::freshFolder("codex-home");
    nubbo::fuzz::writeBytes(home / ".codex/sessions/2026/01/02/rollout-2026-01-02T10-00-00-s1.jsonl",
                            std::string_view(reinterpret_cast<const char*>(data), size));
    const auto shown = nubbo::bridge::latestCodexNarration(home.string(), {});
    nubbo::fuzz::checkNarration(shown);
    // Found by its session too, to the same words.
    if (nubbo::bridge::latestCodexNarration(home.string(), {"s1", {}}) != shown) std::abort();
    return 0;
}
