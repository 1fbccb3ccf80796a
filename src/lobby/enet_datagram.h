// ENet datagrams read before ENet reads them: what a peer's datagram asks the host to
// take, for the server's intercept hook.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace netduel {

// True when `datagram` holds a fragment of a packet longer than `packetLimit` bytes.
// ENet refuses such fragments without a word, so the sender repeats them and nothing it
// sends afterwards gets through. Reads the commands as ENet does, never past the end; a
// compressed datagram, or what follows a malformed command, is not looked at (false).
bool enetDatagramOversized(std::span<const std::uint8_t> datagram, std::size_t packetLimit);

}  // namespace netduel
