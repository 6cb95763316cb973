// Where the agent runs, as a producer reported it. Any local process can write to the socket and these
// values end up as arguments of tmux and kitty and as X windows to raise, so each must have its own shape;
// a value that does not is dropped on its own (the event still counts).
#pragma once

#include "model/TerminalContext.h"

#include <nlohmann/json.hpp>

namespace nubbo {

// The well-formed members of a request object; the rest stay empty.
TerminalContext decodeTerminalContext(const nlohmann::json& request);

} // namespace nubbo
