// A receive event built around fuzzer bytes, as a server or client hands it to a callback.
#pragma once

#include <cstddef>
#include <cstdint>

#include <enet/enet.h>

#include "lobby/lobby.h"

namespace netduel::fuzz {

// The first byte picks the channel (0…9) and the second the sender's slot number; the
// rest is the payload, which the packet views in place (nothing is copied or freed).
struct FuzzEvent {
    ENetPeer peer{};
    ENetPacket packet{};
    ENetEvent event{};

    FuzzEvent(const std::uint8_t* data, std::size_t size)
    {
        const std::uint8_t channel = size > 0 ? data[0] % 10 : 0;
        const std::uintptr_t slot = size > 1 ? data[1] : 0;
        const std::size_t header = size < 2 ? size : 2;
        packet.data = const_cast<std::uint8_t*>(data + header);
        packet.dataLength = size - header;
        peer.data = reinterpret_cast<void*>(slot);
        event.type = ENET_EVENT_TYPE_RECEIVE;
        event.channelID = channel;
        event.peer = &peer;
        event.packet = &packet;
    }
    FuzzEvent(const FuzzEvent&) = delete;
    FuzzEvent& operator=(const FuzzEvent&) = delete;
};

}  // namespace netduel::fuzz
