// End to end: the real --dedicated host under a stand-in Agones sidecar, two ENet players
// who take both ships and leave, the host's shutdown and exit; and the same host with the
// variable unset, which calls nobody. e2e.sh runs it in a private network namespace.
#include <enet/enet.h>

#include "agones/agones.h"
#include "e2e_support.h"
#include "lobby/lobby_protocol.h"
#include "stand_in_sidecar.h"

namespace netduel {
namespace {

using namespace e2e;

constexpr std::uint16_t PORT = 43650;
const char* gamePath = nullptr;

// A bare player that connects, counts snapshots and can leave politely.
struct Player {
    ENetHost* host = nullptr;
    ENetPeer* peer = nullptr;
    bool connected = false;
    int snapshots = 0;

    Player()
    {
        host = enet_host_create(nullptr, 1, 0, 0, 0);
        ENetAddress address{};
        enet_address_set_host(&address, "127.0.0.1");
        address.port = PORT;
        peer = enet_host_connect(host, &address, CLIENT_CHANNELS, 0);
    }
    ~Player() { enet_host_destroy(host); }
    void service()
    {
        ENetEvent event;
        while (enet_host_service(host, &event, 0) > 0) {
            connected = connected || event.type == ENET_EVENT_TYPE_CONNECT;
            if (event.type != ENET_EVENT_TYPE_RECEIVE) continue;
            snapshots += event.channelID == CHANNEL_SNAPSHOT;
            enet_packet_destroy(event.packet);
        }
    }
};

std::unique_ptr<Child> dedicatedHost(const std::string& sdkPort)
{
    if (sdkPort.empty()) unsetenv(AGONES_PORT_VARIABLE);
    else setenv(AGONES_PORT_VARIABLE, sdkPort.c_str(), 1);
    auto host = spawn(gamePath, {"--dedicated", "--port", std::to_string(PORT)}, false);
    unsetenv(AGONES_PORT_VARIABLE);
    return host;
}

TEST(AgonesEndToEnd, AMatchUnderAgonesEndsInShutdownAndStatusZero)
{
    StandInSidecar sidecar;
    sidecar.tracking = true;
    ASSERT_TRUE(sidecar.start());
    auto host = dedicatedHost(std::to_string(sidecar.port));
    const auto hostSays = [&](const std::string& text) {
        return waitFor([&] { return host->ended() || host->said(text); });
    };
    ASSERT_TRUE(hostSays("Host running!\nAgones: SDK on port " + std::to_string(sidecar.port) + "\n"));
    const auto ships = [&] { return sidecar.last("PUT /metadata/label", "value"); };
    ASSERT_TRUE(hostSays("Agones: ready\n"));
    EXPECT_TRUE(waitFor([&] { return ships() == R"("0")"; }));
    {
        std::lock_guard<std::mutex> held(sidecar.lock);
        sidecar.state = "Allocated";
    }
    ASSERT_TRUE(hostSays("Agones: allocated\n"));

    Player a;
    Player b;
    const auto servicePlayers = [&] {
        a.service();
        b.service();
        usleep(5000);
    };
    ASSERT_TRUE(waitFor([&] { return a.connected && b.connected; }, DEADLINE, servicePlayers));
    EXPECT_TRUE(waitFor([&] { return ships() == R"("2")" && sidecar.players() == 2; },
                        DEADLINE, servicePlayers));
    EXPECT_TRUE(waitFor([&] { return sidecar.count("POST /health") >= 3; }, DEADLINE, servicePlayers));
    EXPECT_EQ(sidecar.count("POST /shutdown"), 0);

    enet_peer_disconnect(a.peer, 0);
    enet_peer_disconnect(b.peer, 0);
    EXPECT_TRUE(waitFor([&] { return ships() == R"("0")" && sidecar.players() == 0; },
                        DEADLINE, servicePlayers));
    EXPECT_FALSE(host->ended()) << "the host waits before it asks to go";
    ASSERT_TRUE(hostSays("Agones: shutdown\n"));
    EXPECT_EQ(sidecar.count("POST /shutdown"), 1);
    ASSERT_TRUE(waitFor([&] { return host->ended(); }));
    EXPECT_TRUE(host->exitedWith(0)) << host->status;
}

TEST(AgonesEndToEnd, WithoutTheVariableTheHostCallsNobody)
{
    StandInSidecar sidecar;
    ASSERT_TRUE(sidecar.start(9358));  // the SDK's usual port: a host that assumed it would call
    auto host = dedicatedHost("");
    ASSERT_TRUE(waitFor([&] { return host->ended() || host->said("Host running!\n"); }));
    Player player;
    // Half a second of snapshots: the host has run some thirty frames with a ship held.
    ASSERT_TRUE(waitFor([&] { return player.snapshots >= 30; }, DEADLINE, [&] {
        player.service();
        usleep(5000);
    }));
    host->ended();
    EXPECT_EQ(host->outText.find("Agones"), std::string::npos) << host->outText;
    EXPECT_EQ(sidecar.total(), 0u);
}

}  // namespace
}  // namespace netduel

int main(int argc, char** argv)
{
    enet_initialize();
    const int result = netduel::e2e::driverMain(argc, argv, netduel::gamePath);
    enet_deinitialize();
    return result;
}
