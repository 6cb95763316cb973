// Arbitrary hook payloads and reply lines: the bridge must always produce a well-formed record and
// never crash on what an agent or a confused peer sends.
#include "bridge/DecisionOutput.h"
#include "bridge/EventRecord.h"
#include "bridge/PayloadFields.h"
#include "common/ProviderRegistry.h"
#include "common/Utf8Text.h"

#include <cstdlib>
#include <nlohmann/json.hpp>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto fields = nubbo::bridge::extractFields(nubbo::bridge::parsePayload(input));
    const auto record = nubbo::bridge::buildEventRecord("claude", "PreToolUse", "coding", fields, std::nullopt);
    const auto line = record.toJson();
    const auto parsed = nlohmann::json::parse(line, nullptr, false);
    if (!parsed.is_object() || line.find('\n') != std::string::npos) std::abort();
    for (const auto& [key, value] : parsed.items())
        if (!value.is_string()) std::abort();

    const auto reply = nubbo::text::repairUtf8(input.substr(0, 8192));
    if (auto decision = nubbo::bridge::decisionForReply(nubbo::ProviderFamily::cline, "PreToolUse", reply))
        if (!nlohmann::json::accept(*decision)) std::abort();
    return 0;
}
