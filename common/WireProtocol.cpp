#include "common/WireProtocol.h"

#include <nlohmann/json.hpp>

namespace nubbo::wire {
namespace {

std::string line(const nlohmann::json& object) { return object.dump() + '\n'; }

} // namespace

std::string_view acknowledgementLine(bool accepted) {
    // Made on first use: the bridge, which never replies, builds nothing at start.
    static const std::string yes = line({{reply::ok, true}});
    static const std::string no = line({{reply::ok, false}});
    return accepted ? yes : no;
}

std::string_view verdictLine(bool granted) {
    static const std::string yes = line({{reply::approval, reply::granted}});
    static const std::string no = line({{reply::approval, reply::denied}});
    return granted ? yes : no;
}

std::optional<bool> verdictOf(std::string_view replyLine) {
    const auto object = nlohmann::json::parse(replyLine, nullptr, /*allow_exceptions=*/false);
    if (!object.is_object()) return std::nullopt;
    const auto approval = object.find(reply::approval);
    if (approval == object.end() || !approval->is_string()) return std::nullopt;
    return approval->get_ref<const std::string&>() == reply::granted;
}

} // namespace nubbo::wire
