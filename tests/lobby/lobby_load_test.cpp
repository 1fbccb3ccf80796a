// The lobby under load and abuse over real ENet on loopback: a full house of 25 chatters,
// control words at the players' rate, and malformed packets of every kind.
#include <algorithm>
#include <vector>

#include "duel/packet_handlers.h"
#include "lobby_net_fixture.h"

namespace netduel {
namespace {

using test::historyLine;
using test::LobbyNetTest;
using Clock = std::chrono::steady_clock;

TEST_F(LobbyNetTest, EveryChatLineReachesAll25PeersOnceAndInOrder)
{
    startServer(43430);
    for (std::size_t i = 0; i < LOBBY_MAX_PEERS; ++i) joinClient(test::spareLoopback(i / PEERS_PER_ADDRESS));
    std::string previous = "* Anonymous24 connected =)";
    ASSERT_TRUE(pumpUntil([&] {
        return std::all_of(clients.begin(), clients.end(),
                           [&](const LobbyClient& c) { return historyLine(c, 0) == previous; });
    }));

    for (int speaker : {0, 12, 24}) {
        for (int k = 1; k <= 4; ++k) say(clients[speaker], "SAY line " + std::to_string(k));
        const std::string name = "Anonymous" + std::to_string(speaker) + ": line ";
        ASSERT_TRUE(pumpUntil([&] {
            return std::all_of(clients.begin(), clients.end(),
                               [&](const LobbyClient& c) { return historyLine(c, 0) == name + "4"; });
        }));
        for (const LobbyClient& client : clients) {
            for (int k = 1; k <= 4; ++k) EXPECT_EQ(historyLine(client, 4 - k), name + std::to_string(k));
            EXPECT_EQ(historyLine(client, 4), previous);
        }
        previous = name + "4";
    }

    // A 26th peer, from an address of its own, finds no room: the next listing still names
    // exactly 25.
    LobbyClient& extra = addClient(test::spareLoopback(LOBBY_MAX_PEERS));
    say(clients[3], "WHO ");
    ASSERT_TRUE(pumpUntil([&] { return status.text().find("Anonymous24 (#24") != std::string::npos; }));
    const std::string log = status.text();
    const std::size_t listing = log.find("DATA TO SEND:           WSP Lobby Chatters:");
    ASSERT_NE(listing, std::string::npos);
    const std::string reply = log.substr(listing, log.find('\n', log.find("(#24", listing)) - listing);
    const std::string_view lineEnd = "\\x0d\\x0a";  // the log shows each CR LF escaped
    std::size_t lineEnds = 0;
    for (std::size_t at = reply.find(lineEnd); at != std::string::npos; at = reply.find(lineEnd, at + 1)) {
        ++lineEnds;
    }
    EXPECT_EQ(lineEnds, 26u);  // the heading and 25 chatters
    EXPECT_EQ(server.clients.size(), LOBBY_MAX_PEERS);
    EXPECT_EQ(historyLine(extra, 0), "");
}

// Keeps the newest control word per ship, as the host's steering would.
KeyFlags lastWord[SHIP_COUNT] = {};
std::int32_t recordWord(PacketEvent& event)
{
    const auto slot = reinterpret_cast<std::uintptr_t>(event.event->peer->data);
    KeyFlags word = 0;
    if (slot < SHIP_COUNT && controlDecode({event.event->packet->data, event.event->packet->dataLength}, word)) {
        lastWord[slot] = word;
    }
    return 0;
}

TEST_F(LobbyNetTest, ControlWordsNeverQueueUpAtTheServer)
{
    startServer(43431);
    lobbyServerSetCallback(server, recordWord);
    joinClient();
    joinClient();
    // Two players at the 20 words a second a client sends, the server serviced 30 times a second.
    const auto sendPeriod = std::chrono::milliseconds(50);
    const auto servicePeriod = std::chrono::milliseconds(33);
    KeyFlags sent[SHIP_COUNT] = {};
    KeyFlags worstLag = 0;
    auto nextSend = Clock::now();
    auto nextService = Clock::now();
    const auto end = Clock::now() + std::chrono::seconds(3);
    while (Clock::now() < end) {
        const auto now = Clock::now();
        if (now >= nextSend) {
            for (int s = 0; s < SHIP_COUNT; ++s) {
                lobbyClientSendBytes(clients[s], CHANNEL_CONTROL, controlEncode(++sent[s]), false);
            }
            nextSend = now + sendPeriod;
        }
        for (LobbyClient& client : clients) lobbyClientService(client);
        if (now >= nextService) {
            lobbyServerService(server);
            for (int s = 0; s < SHIP_COUNT; ++s) worstLag = std::max(worstLag, sent[s] - lastWord[s]);
            nextService = now + servicePeriod;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_LE(worstLag, 12u);  // a throttled unreliable word may drop; a backlog lags by dozens

    const KeyFlags finalWord = 0xABC0;
    for (int s = 0; s < SHIP_COUNT; ++s) {
        // Reliable, so that ENet's throttle cannot drop the word this part waits for.
        lobbyClientSendBytes(clients[s], CHANNEL_CONTROL, controlEncode(finalWord + s), true);
        lobbyClientService(clients[s]);
    }
    int calls = 0;
    while (calls < 100 && (lastWord[0] != finalWord || lastWord[1] != finalWord + 1)) {
        std::this_thread::sleep_for(servicePeriod);
        lobbyServerService(server);
        ++calls;
    }
    EXPECT_LE(calls, 2);
}

int handledPackets = 0;
std::int32_t countingKeyHandler(PacketEvent& event)
{
    ++handledPackets;
    return serverKeyHandler(event);
}

TEST_F(LobbyNetTest, MalformedInputLeavesTheServerAnswering)
{
    // The clock moves on a second before each channel's packets, so the abuser's burst
    // allowance is full again for each and nothing is dropped for its rate.
    double clock = 1000.0;
    timerSetManual(clock);
    startServer(43432);
    MatchState hostMatch;
    matchStateInit(hostMatch);
    lobbyServerSetUserData(server, &hostMatch);
    lobbyServerSetCallback(server, countingKeyHandler);
    LobbyClient& abuser = joinClient();
    LobbyClient& bystander = joinClient();
    MatchState seen;
    matchStateInit(seen);
    static ClientView seenView;
    clientViewReset(seenView, &seen);
    lobbyClientSetCallback(bystander, test::viewSnapshotHandler);
    lobbyClientSetUserData(bystander, &seenView);
    // The abuser has no callback: whatever arrives for it on channels 1…9 is dropped.

    auto send = [&](std::uint8_t channel, std::span<const std::uint8_t> bytes) {
        EXPECT_TRUE(lobbyClientSendBytes(abuser, channel, bytes, true));
    };
    std::vector<std::uint8_t> binary(1000);
    for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = std::uint8_t(i * 37 + 0xE8);  // as a control word: DOWN and unused bits
    const std::vector<std::uint8_t> control(4, 0x1F);
    int toCallback = 0;
    for (std::uint8_t channel = 0; channel < CLIENT_CHANNELS; ++channel) {
        timerSetManual(clock += 1.0);
        send(channel, {});
        send(channel, binary);
        if (channel > CHANNEL_SNAPSHOT) send(channel, control);
        toCallback += channel == CHANNEL_TEXT ? 0 : (channel > CHANNEL_SNAPSHOT ? 3 : 2);
        ASSERT_TRUE(pumpUntil([&] { return handledPackets == toCallback; }));
    }
    timerSetManual(clock += 1.0);
    send(CHANNEL_CONTROL, std::vector<std::uint8_t>{0x1F});
    send(CHANNEL_CONTROL, std::vector<std::uint8_t>{0x1F, 0, 0});
    send(CHANNEL_SNAPSHOT, std::vector<std::uint8_t>(463, 0xFF));
    toCallback += 3;
    const std::string who = "WHO ";  // no NUL: the text ends with the packet
    send(CHANNEL_TEXT, {reinterpret_cast<const std::uint8_t*>(who.data()), who.size()});
    const std::string huge = "SAY " + std::string(TEXT_REQUEST_LIMIT - 4, 'a');  // the longest relayed
    send(CHANNEL_TEXT, {reinterpret_cast<const std::uint8_t*>(huge.data()), huge.size()});

    // The server's own abuse of the clients: short snapshots and control words, empty texts.
    lobbyServerBroadcastBytes(server, CHANNEL_SNAPSHOT, std::vector<std::uint8_t>(463, 0xFF));
    lobbyServerBroadcastBytes(server, CHANNEL_CONTROL, std::vector<std::uint8_t>{1});
    lobbyServerBroadcastBytes(server, CHANNEL_TEXT, {});

    const std::string bigLine = "Anonymous0: " + std::string(HISTORY_CHARS - 12, 'a');
    ASSERT_TRUE(pumpUntil([&] {
        return handledPackets == toCallback && historyLine(bystander, 0) == bigLine;
    }));
    EXPECT_EQ(historyLine(abuser, 0), bigLine);
    EXPECT_TRUE(historyLine(abuser, 1).starts_with("Lobby whispers: Chatters:\r\nAnonymous0 (#0, "));
    EXPECT_EQ(snapshotEncode(hostMatch), snapshotEncode(MatchState{}));
    EXPECT_EQ(snapshotEncode(seen), snapshotEncode(MatchState{}));
    EXPECT_EQ(status.text().find("Packet from unconnected"), std::string::npos);

    EXPECT_TRUE(requestUntilLine(bystander, "SAY still here", abuser, "Anonymous1: still here"));
    say(abuser, "WHO ");
    EXPECT_TRUE(pumpUntil([&] { return historyLine(abuser, 0).starts_with("Lobby whispers: Chatters:"); }));
}

}  // namespace
}  // namespace netduel
