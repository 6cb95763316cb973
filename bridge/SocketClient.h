// The producer side of the app's Unix-domain socket: one connection, one line out, at most one line back.
#pragma once

#include "common/WireProtocol.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace nubbo::bridge {

inline constexpr std::chrono::milliseconds kConnectTimeout{2000};

// A connected stream socket, or -1. A listener whose backlog stays full for `timeout` counts as absent,
// so a busy or hung app never stalls the agent. The socket carries no time-outs once connected.
int connectSocket(const std::string& path, std::chrono::milliseconds timeout = kConnectTimeout);

// Writes until done or until a write returns 0 or less; the rest is dropped. Never raises SIGPIPE.
void writeAll(int fd, std::string_view bytes);

// Reads up to a newline, end of stream or an error, at most maxBytes; the newline is not included.
// Nothing read yields nothing; the bytes are decoded leniently (invalid UTF-8 becomes U+FFFD).
std::optional<std::string> readLine(int fd, std::size_t maxBytes = wire::kMaxReplyBytes);

} // namespace nubbo::bridge
