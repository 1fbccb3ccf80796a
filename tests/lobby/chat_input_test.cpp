// Chat input line: one key per call, the send rules, and the exact bytes that leave on
// channel 0 (read by a bare ENet host standing in for the server).
#include <string>
#include <vector>

#include "lobby/chat_input.h"
#include "lobby_net_fixture.h"

namespace netduel {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(std::string_view text, bool nul = true)
{
    Bytes bytes(text.begin(), text.end());
    if (nul) bytes.push_back(0);
    return bytes;
}

class ChatInputTest : public testing::Test {
protected:
    void SetUp() override
    {
        chatLineReset();
        lobbyPairInit(net);
    }

    void TearDown() override
    {
        lobbyClientDestroy(net.client);
        if (receiver) enet_host_destroy(receiver);
        lobbyPairDestroy(net);
        chatLineReset();
    }

    // Connects the pair's client to a bare host on `port` and waits until both ends know.
    void connect(std::uint16_t port)
    {
        const ENetAddress address{ENET_HOST_ANY, port};
        receiver = enet_host_create(&address, 1, 0, 0, 0);
        ASSERT_NE(receiver, nullptr);
        ASSERT_TRUE(lobbyClientConnect(net.client, "127.0.0.1", port, CLIENT_CHANNELS));
        bool serverSide = false;
        ASSERT_TRUE(until([&] {
            ENetEvent event;
            while (enet_host_service(receiver, &event, 0) > 0) serverSide |= event.type == ENET_EVENT_TYPE_CONNECT;
            return serverSide && net.client.peer->state == ENET_PEER_STATE_CONNECTED;
        }));
    }

    bool until(const std::function<bool()>& done)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            lobbyClientService(net.client);
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    // The next payload the bare host receives on channel 0.
    Bytes received()
    {
        Bytes payload;
        bool got = false;
        EXPECT_TRUE(until([&] {
            ENetEvent event;
            while (!got && enet_host_service(receiver, &event, 0) > 0) {
                if (event.type != ENET_EVENT_TYPE_RECEIVE) continue;
                EXPECT_EQ(event.channelID, CHANNEL_TEXT);
                EXPECT_EQ(event.packet->flags & ENET_PACKET_FLAG_RELIABLE, ENET_PACKET_FLAG_RELIABLE);
                payload.assign(event.packet->data, event.packet->data + event.packet->dataLength);
                enet_packet_destroy(event.packet);
                got = true;
            }
            return got;
        }));
        return payload;
    }

    std::string type(std::string_view keys)
    {
        std::string line;
        for (char key : keys) line = chatInput(net, chatMode, std::string_view(&key, 1));
        return line;
    }

    std::string enter() { return chatInput(net, chatMode, "\r"); }

    LobbyPair net;
    ENetHost* receiver = nullptr;
    bool chatMode = true;
};

TEST_F(ChatInputTest, EnterOnAnEmptyLineSendsSayWithItsNul)
{
    connect(43440);
    EXPECT_EQ(chatInput(net, chatMode, ""), "");
    EXPECT_TRUE(chatMode);
    EXPECT_EQ(enter(), "");
    EXPECT_FALSE(chatMode);
    EXPECT_EQ(received(), bytesOf("SAY "));
}

TEST_F(ChatInputTest, CommandsBecomeTheirRequests)
{
    connect(43441);
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"hello /who", "SAY hello /who"},
        {"/name Pilot", "REN Pilot"},
        {"/who is here", "WHO "},
        {"/WHO", "/WHO"},
    };
    for (const auto& [typed, request] : cases) {
        chatMode = true;
        EXPECT_EQ(type(typed), typed);
        EXPECT_EQ(enter(), "");
        EXPECT_FALSE(chatMode);
        EXPECT_EQ(received(), bytesOf(request));
    }
}

TEST_F(ChatInputTest, A71CharacterLineLeavesWithoutEnterAndLosesThatKey)
{
    connect(43442);
    const std::string line(71, 'a');
    EXPECT_EQ(type(line), line);
    EXPECT_TRUE(chatMode);
    EXPECT_EQ(chatInput(net, chatMode, "b"), "");
    EXPECT_FALSE(chatMode);
    EXPECT_EQ(received(), bytesOf("SAY " + line));
    chatMode = true;
    EXPECT_EQ(chatInput(net, chatMode, "c"), "c");
}

TEST_F(ChatInputTest, ATwoByteKeyCanStretchTheLineTo72)
{
    connect(43443);
    const std::string arrow = "\xff\x48";
    const std::string line = std::string(70, 'a') + arrow;
    type(std::string(70, 'a'));
    EXPECT_EQ(chatInput(net, chatMode, arrow), line);
    EXPECT_EQ(chatInput(net, chatMode, "\r"), "");  // sent by length; Enter is the lost key
    EXPECT_EQ(received(), bytesOf("SAY " + line));
}

TEST_F(ChatInputTest, ALineTypedWhileConnectingIsKeptUntilTheConnectionIsUp)
{
    const std::uint16_t port = 43444;
    ASSERT_TRUE(lobbyClientConnect(net.client, "127.0.0.1", port, CLIENT_CHANNELS));
    type("early");
    EXPECT_EQ(enter(), "early");  // nobody listens yet: the peer is still connecting
    EXPECT_TRUE(chatMode);

    const ENetAddress address{ENET_HOST_ANY, port};
    receiver = enet_host_create(&address, 1, 0, 0, 0);
    ASSERT_NE(receiver, nullptr);
    ASSERT_TRUE(until([&] {
        ENetEvent event;
        while (enet_host_service(receiver, &event, 0) > 0) {
        }
        return net.client.peer->state == ENET_PEER_STATE_CONNECTED;
    }));
    EXPECT_EQ(enter(), "");
    EXPECT_FALSE(chatMode);
    EXPECT_EQ(received(), bytesOf("SAY early"));
}

TEST_F(ChatInputTest, SendLineTakesTheChatRequestPathWithoutTouchingTheTypedLine)
{
    EXPECT_FALSE(chatSendLine(net.client, "/name Zed"));  // no connection yet
    connect(43604);
    type("typed");
    EXPECT_TRUE(chatSendLine(net.client, "/name Zed"));
    EXPECT_EQ(received(), bytesOf("REN Zed"));
    EXPECT_TRUE(chatSendLine(net.client, "hi"));
    EXPECT_EQ(received(), bytesOf("SAY hi"));
    EXPECT_EQ(chatInput(net, chatMode, ""), "typed");
    EXPECT_TRUE(chatMode);
}

TEST(ChatInputEditing, BackspaceAndControlKeys)
{
    chatLineReset();
    LobbyPair net;
    lobbyPairInit(net);
    bool chatMode = true;
    EXPECT_EQ(chatInput(net, chatMode, "\b"), "");
    EXPECT_EQ(chatInput(net, chatMode, "h"), "h");
    EXPECT_EQ(chatInput(net, chatMode, "\xff\x4b"), "h\xff\x4b");
    EXPECT_EQ(chatInput(net, chatMode, "\b"), "h\xff");  // only the scan code goes
    EXPECT_EQ(chatInput(net, chatMode, "\x1b"), "h\xff\x1b");
    EXPECT_EQ(chatInput(net, chatMode, "\t"), "h\xff\x1b\t");
    chatLineReset();
}

TEST(ChatInputEditing, WithoutAPeerTheLineIsKeptAndChatModeStaysOn)
{
    chatLineReset();
    LobbyPair net;
    lobbyPairInit(net);
    bool chatMode = true;
    chatInput(net, chatMode, "h");
    chatInput(net, chatMode, "i");
    EXPECT_EQ(chatInput(net, chatMode, "\r"), "hi");
    EXPECT_TRUE(chatMode);
    EXPECT_EQ(chatInput(net, chatMode, "!"), "hi!");
    chatLineReset();
}

}  // namespace
}  // namespace netduel
