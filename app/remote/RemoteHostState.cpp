#include "remote/RemoteHostState.h"

#include <array>
#include <utility>

namespace nubbo {
namespace {

constexpr std::array<std::pair<RemoteHostState, const char*>, 4> kRaw{{
    {RemoteHostState::connecting, "connecting"},
    {RemoteHostState::connected, "connected"},
    {RemoteHostState::unreachable, "unreachable"},
    {RemoteHostState::forwardRefused, "forwardRefused"},
}};

} // namespace

QString rawValue(RemoteHostState state) {
    for (const auto& [value, raw] : kRaw)
        if (value == state)
            return QLatin1String(raw);
    return {};
}

std::optional<RemoteHostState> remoteHostStateFromRaw(QStringView raw) {
    for (const auto& [value, name] : kRaw)
        if (raw == QLatin1String(name))
            return value;
    return std::nullopt;
}

} // namespace nubbo
