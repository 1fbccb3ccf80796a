// Lobby traffic over real ENet on loopback: how long a chat line takes to reach a full
// house of 25 peers, and the bytes one client takes in from the 30-per-second snapshots.
#include <chrono>
#include <deque>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>

#include "base/status.h"
#include "base/timer.h"
#include "duel/match.h"
#include "duel/packet_handlers.h"
#include "lobby/lobby_client.h"
#include "view/client_view.h"
#include "lobby/lobby_protocol.h"
#include "lobby/lobby_server.h"

namespace netduel {
namespace {

using Clock = std::chrono::steady_clock;

// A server with `peers` connected clients on `port`, each from its own loopback address
// (the server takes only a few peers from one address); status lines are silenced meanwhile.
struct Lobby {
    Lobby(std::uint16_t port, std::size_t peers)
    {
        statusOut = nullptr;
        ok = lobbyServerCreate(server, "", port, LOBBY_MAX_PEERS);
        for (std::size_t i = 0; ok && i < peers; ++i) {
            LobbyClient& client = clients.emplace_back();
            const std::string local = "127.0.0." + std::to_string(2 + i);
            ok = lobbyClientConnectFrom(client, local, "127.0.0.1", port, CLIENT_CHANNELS) &&
                 pumpUntil([&] { return fixedTextView(client.history[0]).starts_with("* Anonymous" + std::to_string(i) + " "); });
        }
    }
    ~Lobby()
    {
        for (LobbyClient& client : clients) lobbyClientDestroy(client);
        lobbyServerDestroy(server);
        statusOut = stdout;
        timerSetReal();
    }

    template <class Done>
    bool pumpUntil(Done done)
    {
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        while (Clock::now() < deadline) {
            lobbyServerService(server);
            for (LobbyClient& client : clients) lobbyClientService(client);
            if (done()) return true;
        }
        return false;
    }

    LobbyServer server;
    std::deque<LobbyClient> clients;
    bool ok = false;
};

// One iteration is one chat line: the time from its SAY leaving a peer until all 25 show
// it, at CHAT_LINES_PER_SECOND. That is more than a full lobby's allowances let through,
// and few enough that the peers' acknowledgements stay inside their byte allowance.
constexpr double CHAT_LINES_PER_SECOND = 100.0;

void BM_ChatRelayTo25Peers(benchmark::State& state)
{
    Lobby lobby(43490, LOBBY_MAX_PEERS);
    if (!lobby.ok) {
        state.SkipWithError("lobby did not come up");
        return;
    }
    const auto pace = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / CHAT_LINES_PER_SECOND));
    long line = 0;
    // Every peer takes its turn to speak, and the program clock moves a second per line,
    // so no speaker runs past its chat allowance (a line a second after a burst).
    timerSetManual(0.0);
    for (auto _ : state) {
        timerSetManual(double(line));
        const std::size_t speaker = std::size_t(line) % lobby.clients.size();
        const std::string text = "line " + std::to_string(++line);
        const std::string shown = "Anonymous" + std::to_string(speaker) + ": " + text;
        const auto start = Clock::now();
        lobbyClientSendBytes(lobby.clients[speaker], CHANNEL_TEXT, lobbyFrame("SAY " + text), true);
        const bool all = lobby.pumpUntil([&] {
            for (const LobbyClient& client : lobby.clients) {
                if (fixedTextView(client.history[0]) != shown) return false;
            }
            return true;
        });
        if (!all) {
            state.SkipWithError("a chat line was lost");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        lobby.pumpUntil([&] { return Clock::now() >= start + pace; });
    }
}
BENCHMARK(BM_ChatRelayTo25Peers)->UseManualTime()->Iterations(500)->Unit(benchmark::kMicrosecond);

int snapshotsSeen = 0;
std::int32_t countSnapshot(PacketEvent& event)
{
    ++snapshotsSeen;
    if (event.event->channelID == CHANNEL_SNAPSHOT)
        clientViewReceive(*static_cast<ClientView*>(event.client->userData), packetBytes(*event.event), timerSeconds());
    return 0;
}

// One iteration is one 1/30-second tick of the host: broadcast, then let the client drain.
void BM_SnapshotStreamBytesPerClient(benchmark::State& state)
{
    Lobby lobby(43491, 1);
    if (!lobby.ok) {
        state.SkipWithError("lobby did not come up");
        return;
    }
    MatchState match;
    matchStateInit(match);
    static ClientView view;  // the game's receive path
    clientViewReset(view, &match);
    LobbyClient& client = lobby.clients[0];
    lobbyClientSetCallback(client, countSnapshot);
    lobbyClientSetUserData(client, &view);
    const Snapshot snapshot = snapshotEncode(match);
    const auto tick = std::chrono::microseconds(1000000 / 30);
    const std::uint32_t receivedBefore = client.host->totalReceivedData;
    snapshotsSeen = 0;
    auto next = Clock::now();
    for (auto _ : state) {
        lobbyServerBroadcastBytes(lobby.server, CHANNEL_SNAPSHOT, snapshot);
        next += tick;
        while (Clock::now() < next) {
            lobbyServerService(lobby.server);
            lobbyClientService(client);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    state.counters["wire_bytes/s"] = benchmark::Counter(
        double(client.host->totalReceivedData - receivedBefore), benchmark::Counter::kIsRate);
    state.counters["snapshot_bytes/s"] = benchmark::Counter(
        double(snapshotsSeen) * SNAPSHOT_SIZE, benchmark::Counter::kIsRate);
    state.counters["snapshots_lost"] = double(state.iterations()) - snapshotsSeen;
}
BENCHMARK(BM_SnapshotStreamBytesPerClient)->UseRealTime()->Iterations(90)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace netduel

BENCHMARK_MAIN();
