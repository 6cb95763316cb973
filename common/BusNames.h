// The running app's address on the session bus: served by the app, called by `nubbo` and other programs.
#pragma once

namespace nubbo::bus {

// Owned by the app when no other home's app has it; callers find their own home's app through its lock.
inline constexpr char kBusName[] = "dev.nubbo.Nubbo";
inline constexpr char kObjectPath[] = "/dev/nubbo/Nubbo";
inline constexpr char kInterface[] = "dev.nubbo.Nubbo1";
// Request and session ids are UTF-8 tokens of at most this many code points (text::isPrintableToken).
inline constexpr unsigned kMaxIdLength = 256;

} // namespace nubbo::bus
