// The window-less computer player (--bot): joins a host, plays the ship its slot gives it,
// joins again after a lost connection, and leaves politely on SIGINT or SIGTERM.
#pragma once

#include <cstdint>
#include <string_view>

namespace netduel {

inline constexpr int BOT_POLL_MS = 4;  // ms between two rounds: words go out on time, cheaply

// Plays at `level` against the host at `serverHost`:`port` until a stop is requested
// (exit status 0) or the server gives it a slot that steers no ship (1).
int botRun(std::string_view serverHost, std::uint16_t port, int level, std::string_view name);

}  // namespace netduel
