// End-to-end helper: a bare ENet peer on a host that keeps the latest snapshot and
// notices the end of its connection.
#pragma once

#include <cstdint>

#include <enet/enet.h>
#include <gtest/gtest.h>

#include "duel/match.h"
#include "lobby/lobby_protocol.h"

namespace netduel::e2e {

// A bare ENet peer on the host that keeps the latest snapshot and notices the end.
struct Watcher {
    ENetHost* host = nullptr;
    bool connected = false;
    bool told = false;  // a disconnection arrived
    int snapshots = 0;
    MatchState latest;

    explicit Watcher(std::uint16_t port)
    {
        EXPECT_EQ(enet_initialize(), 0);
        host = enet_host_create(nullptr, 1, 0, 0, 0);
        ENetAddress address{};
        enet_address_set_host(&address, "127.0.0.1");
        address.port = port;
        EXPECT_NE(enet_host_connect(host, &address, CLIENT_CHANNELS, 0), nullptr);
    }
    ~Watcher()
    {
        enet_host_destroy(host);
        enet_deinitialize();
    }
    void service()
    {
        ENetEvent event;
        while (enet_host_service(host, &event, 5) > 0) {
            connected |= event.type == ENET_EVENT_TYPE_CONNECT;
            told |= event.type == ENET_EVENT_TYPE_DISCONNECT;
            if (event.type != ENET_EVENT_TYPE_RECEIVE) continue;
            if (event.channelID == CHANNEL_SNAPSHOT &&
                snapshotApply(latest, {event.packet->data, event.packet->dataLength}))
                ++snapshots;
            enet_packet_destroy(event.packet);
        }
    }
};

}  // namespace netduel::e2e
