// Real ENet on loopback for lobby tests: one server, any number of clients, pumped together
// until a condition holds. Every test case passes its own port (43400–43489, 43500–43599),
// so cases running in parallel never share one. The server takes only a few peers from
// one address, so cases with more clients spread them over spare loopback addresses.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "base/status.h"
#include "base/timer.h"
#include "lobby/lobby_client.h"
#include "lobby/lobby_host.h"
#include "lobby/lobby_protocol.h"
#include "lobby/lobby_server.h"
#include "view/client_view.h"

namespace netduel::test {

inline constexpr double DEADLINE_SECONDS = 20.0;
inline constexpr std::string_view CLIENT_ADDRESS = "127.0.0.1";

// Loopback address 127.0.0.(2 + n); all of 127/8 reaches this machine.
// A client callback that takes channel 2 into the ClientView in the client's userData, as
// the game's does.
inline std::int32_t viewSnapshotHandler(PacketEvent& event)
{
    if (event.event->channelID == CHANNEL_SNAPSHOT)
        clientViewReceive(*static_cast<ClientView*>(event.client->userData), packetBytes(*event.event), timerSeconds());
    return 0;
}

inline std::string spareLoopback(std::size_t n) { return "127.0.0." + std::to_string(2 + n); }

inline std::string historyLine(const LobbyClient& client, int line)
{
    return std::string(fixedTextView(client.history[line]));
}

// Status lines go to a memory stream for the test's duration.
class StatusCapture {
public:
    StatusCapture() { statusOut = stream = open_memstream(&buffer, &length); }
    ~StatusCapture()
    {
        statusOut = stdout;
        std::fclose(stream);
        std::free(buffer);
    }
    std::string text()
    {
        std::fflush(stream);
        return std::string(buffer, length);
    }

private:
    std::FILE* stream = nullptr;
    char* buffer = nullptr;
    std::size_t length = 0;
};

class LobbyNetTest : public testing::Test {
protected:
    void TearDown() override
    {
        for (LobbyClient& client : clients) lobbyClientDestroy(client);
        lobbyServerDestroy(server);
        timerSetReal();
    }

    void startServer(std::uint16_t serverPort)
    {
        port = serverPort;
        ASSERT_TRUE(lobbyServerCreate(server, "", port, LOBBY_MAX_PEERS));
    }

    // A client that has started connecting to the test server, its host bound to
    // `localAddress` (the server allows only a few peers per address).
    LobbyClient& addClient(std::string_view localAddress = CLIENT_ADDRESS)
    {
        LobbyClient& client = clients.emplace_back();
        EXPECT_TRUE(lobbyClientConnectFrom(client, localAddress, CLIENT_ADDRESS, port, CLIENT_CHANNELS));
        return client;
    }

    // A client whose connection is complete and whose NEW notice has arrived.
    LobbyClient& joinClient(std::string_view localAddress = CLIENT_ADDRESS)
    {
        LobbyClient& client = addClient(localAddress);
        EXPECT_TRUE(pumpUntil([&] { return historyLine(client, 1) == "Lobby whispers: Welcome to the lobby!"; }));
        return client;
    }

    // Services the server and every client until `done` holds or the deadline passes.
    bool pumpUntil(const std::function<bool()>& done, double seconds = DEADLINE_SECONDS)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            pumpOnce();
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return done();
    }

    void pumpOnce()
    {
        lobbyServerService(server);
        for (LobbyClient& client : clients) lobbyClientService(client);
    }

    void say(LobbyClient& client, std::string_view text)
    {
        EXPECT_TRUE(lobbyClientSendBytes(client, CHANNEL_TEXT, lobbyFrame(text), true));
    }

    // Sends a request and waits until `client` shows `line` as its newest history line.
    bool requestUntilLine(LobbyClient& sender, std::string_view request, LobbyClient& client,
                          std::string_view line)
    {
        say(sender, request);
        return pumpUntil([&] { return historyLine(client, 0) == line; });
    }

    StatusCapture status;
    LobbyServer server;
    std::deque<LobbyClient> clients;  // stable addresses: the records are handed to callbacks
    std::uint16_t port = 0;
};

}  // namespace netduel::test
