// The status query as bytes: queries and answers built and parsed, short, malformed and
// foreign datagrams ignored, an answer never longer than its query; the answer limiter;
// and the ENet datagram reader that finds fragments of oversized packets.
#include <cstring>
#include <vector>

#include <enet/enet.h>
#include <gtest/gtest.h>

#include "lobby/enet_datagram.h"
#include "lobby/status_query.h"

namespace netduel {
namespace {

HostStatus fullStatus()
{
    HostStatus status;
    status.nonce = 0x01020304;
    status.token = 0xA0B0C0D0;
    status.players = 7;
    status.maxPlayers = 25;
    status.dedicated = true;
    status.version = "0.1.0";
    status.shipHeld = {true, true};
    status.shipName = {std::string(32, 'a'), "bob"};
    return status;
}

void expectSame(const HostStatus& got, const HostStatus& want)
{
    EXPECT_EQ(got.nonce, want.nonce);
    EXPECT_EQ(got.token, want.token);
    EXPECT_EQ(got.players, want.players);
    EXPECT_EQ(got.maxPlayers, want.maxPlayers);
    EXPECT_EQ(got.dedicated, want.dedicated);
    EXPECT_EQ(got.version, want.version);
    EXPECT_EQ(got.shipHeld, want.shipHeld);
    EXPECT_EQ(got.shipName, want.shipName);
}

TEST(StatusQuery, AQueryCarriesItsNonceAndOnlyAnExactQueryParses)
{
    const StatusQuery query = statusQueryBuild(0xDEADBEEF);
    EXPECT_EQ(query.size(), STATUS_QUERY_BYTES);
    EXPECT_EQ(query[0], 0xFF);
    EXPECT_EQ(query[1], 0xFF);
    EXPECT_EQ(query[4], 0xDE);  // big-endian
    EXPECT_EQ(statusQueryParse(query), 0xDEADBEEFu);

    std::vector<std::uint8_t> bytes(query.begin(), query.end());
    EXPECT_FALSE(statusQueryParse(std::span(bytes).first(STATUS_QUERY_BYTES - 1)));
    bytes.push_back(0);
    EXPECT_FALSE(statusQueryParse(bytes));
    EXPECT_FALSE(statusQueryParse({}));
    for (std::size_t i = 0; i < STATUS_MAGIC_BYTES; ++i) {
        StatusQuery foreign = query;
        foreign[i] ^= 0x01;
        EXPECT_FALSE(statusQueryParse(foreign)) << "magic byte " << i;
    }
    // An answer is no query, even one padded to a query's length.
    std::vector<std::uint8_t> answer = statusAnswerBuild(fullStatus());
    answer.resize(STATUS_QUERY_BYTES);
    EXPECT_FALSE(statusQueryParse(answer));
}

TEST(StatusQuery, AnAnswerTellsWhatItWasBuiltFrom)
{
    const HostStatus full = fullStatus();
    const std::vector<std::uint8_t> bytes = statusAnswerBuild(full);
    EXPECT_EQ(bytes.size(), 15u + 3u + 5u + 32u + 3u);  // fixed fields, lengths, texts
    const auto parsed = statusAnswerParse(bytes);
    ASSERT_TRUE(parsed);
    expectSame(*parsed, full);

    HostStatus free;
    free.version = "0.1.0";
    free.shipHeld = {false, true};
    free.shipName = {"stale", ""};  // a free ship's name is never sent
    const auto freeParsed = statusAnswerParse(statusAnswerBuild(free));
    ASSERT_TRUE(freeParsed);
    EXPECT_EQ(freeParsed->shipHeld, (std::array<bool, 2>{false, true}));
    EXPECT_EQ(freeParsed->shipName, (std::array<std::string, 2>{"", ""}));
    EXPECT_FALSE(freeParsed->dedicated);
}

TEST(StatusQuery, AnAnswerIsNeverLongerThanItsQuery)
{
    HostStatus huge = fullStatus();
    huge.version = std::string(300, 'v');
    huge.shipName = {std::string(300, 'x'), std::string(300, 'y')};
    const auto answer = statusAnswerFor(statusQueryBuild(9), huge);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->size(), STATUS_ANSWER_MAX);
    EXPECT_LE(answer->size(), STATUS_QUERY_BYTES);
    const auto parsed = statusAnswerParse(*answer);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->nonce, 9u);
    EXPECT_EQ(parsed->version, std::string(STATUS_VERSION_CHARS, 'v'));
    EXPECT_EQ(parsed->shipName[1], std::string(STATUS_NAME_CHARS, 'y'));

    const StatusQuery query = statusQueryBuild(9);
    EXPECT_FALSE(statusAnswerFor(std::span(query).first(STATUS_QUERY_BYTES - 1), huge));
    EXPECT_FALSE(statusAnswerFor(statusAnswerBuild(huge), huge));
}

TEST(StatusQuery, MalformedAnswersAreIgnored)
{
    const std::vector<std::uint8_t> good = statusAnswerBuild(fullStatus());
    for (std::size_t length = 0; length < good.size(); ++length)
        EXPECT_FALSE(statusAnswerParse(std::span(good).first(length))) << "cut to " << length;
    std::vector<std::uint8_t> longer = good;
    longer.push_back(0);
    EXPECT_FALSE(statusAnswerParse(longer));

    std::vector<std::uint8_t> flags = good;
    flags[14] |= 0x08;
    EXPECT_FALSE(statusAnswerParse(flags));

    // A name length over 32 with the bytes to back it.
    HostStatus status = fullStatus();
    status.shipName[1] = std::string(32, 'z');
    std::vector<std::uint8_t> overName = statusAnswerBuild(status);
    overName[overName.size() - 33] = 33;
    overName.push_back('z');
    EXPECT_FALSE(statusAnswerParse(overName));

    // A free ship that comes with a name.
    status.shipHeld = {false, true};
    std::vector<std::uint8_t> freeNamed = statusAnswerBuild(fullStatus());
    freeNamed[14] &= std::uint8_t(~STATUS_FLAG_SHIP0);
    EXPECT_FALSE(statusAnswerParse(freeNamed));

    std::vector<std::uint8_t> foreign = good;
    foreign[3] = 'Q';  // a query's magic
    EXPECT_FALSE(statusAnswerParse(foreign));
}

TEST(StatusLimiter, EachAddressGetsAFewAnswersASecondAndTheHostAFewMore)
{
    StatusLimiter limiter;
    const double start = 100.0;
    const int burst = static_cast<int>(STATUS_ADDRESS_RULE.burst);
    for (int i = 0; i < burst; ++i) EXPECT_TRUE(statusLimiterAllow(limiter, 1, start)) << i;
    EXPECT_FALSE(statusLimiterAllow(limiter, 1, start));
    EXPECT_TRUE(statusLimiterAllow(limiter, 2, start));  // another address is not held back
    EXPECT_FALSE(statusLimiterAllow(limiter, 1, start + 0.4 / STATUS_ADDRESS_RULE.perSecond));
    EXPECT_TRUE(statusLimiterAllow(limiter, 1, start + 1.0 / STATUS_ADDRESS_RULE.perSecond));
    EXPECT_FALSE(statusLimiterAllow(limiter, 1, start + 1.0 / STATUS_ADDRESS_RULE.perSecond));

    // Many addresses at once (spoofed sources) share the host's total.
    StatusLimiter many;
    int answered = 0;
    for (std::uint32_t address = 1; address <= 4 * STATUS_LIMITER_ADDRESSES; ++address)
        answered += statusLimiterAllow(many, address, start) ? 1 : 0;
    EXPECT_EQ(answered, static_cast<int>(STATUS_TOTAL_RULE.burst));
}

// A datagram as ENet sends it: a header with the sent time, then the commands.
struct Datagram {
    std::vector<std::uint8_t> bytes{0x80, 0x00, 0x12, 0x34};

    template <class Command>
    void add(const Command& command, std::size_t payload)
    {
        const auto* raw = reinterpret_cast<const std::uint8_t*>(&command);
        bytes.insert(bytes.end(), raw, raw + sizeof command);
        bytes.insert(bytes.end(), payload, 'p');
    }
};

ENetProtocolSendFragment fragment(std::uint32_t totalLength, std::uint16_t length)
{
    ENetProtocolSendFragment command{};
    command.header.command = std::uint8_t(ENET_PROTOCOL_COMMAND_SEND_FRAGMENT) | std::uint8_t(ENET_PROTOCOL_COMMAND_FLAG_ACKNOWLEDGE);
    command.dataLength = ENET_HOST_TO_NET_16(length);
    command.fragmentCount = ENET_HOST_TO_NET_32((totalLength + length - 1) / length);
    command.totalLength = ENET_HOST_TO_NET_32(totalLength);
    return command;
}

TEST(EnetDatagram, AFragmentOfAPacketOverTheLimitIsFoundBehindOtherCommands)
{
    ENetProtocolSendReliable reliable{};
    reliable.header.command = ENET_PROTOCOL_COMMAND_SEND_RELIABLE;
    reliable.dataLength = ENET_HOST_TO_NET_16(20);
    ENetProtocolAcknowledge ack{};
    ack.header.command = ENET_PROTOCOL_COMMAND_ACKNOWLEDGE;

    Datagram over;
    over.add(ack, 0);
    over.add(reliable, 20);
    over.add(fragment(5000, 1000), 1000);
    EXPECT_TRUE(enetDatagramOversized(over.bytes, 4096));
    EXPECT_FALSE(enetDatagramOversized(over.bytes, 5000));  // at the limit is allowed

    Datagram within;
    within.add(fragment(4096, 1000), 1000);
    EXPECT_FALSE(enetDatagramOversized(within.bytes, 4096));

    // The same fragment behind a command whose length runs past the end is never reached.
    Datagram broken;
    reliable.dataLength = ENET_HOST_TO_NET_16(60000);
    broken.add(reliable, 0);
    broken.add(fragment(5000, 1000), 1000);
    EXPECT_FALSE(enetDatagramOversized(broken.bytes, 4096));

    // Without the sent-time flag the commands start two bytes earlier.
    Datagram noTime;
    noTime.bytes = {0x00, 0x00};
    noTime.add(fragment(5000, 100), 100);
    EXPECT_TRUE(enetDatagramOversized(noTime.bytes, 4096));
    // Cut anywhere inside the fragment's header, nothing is read past the end.
    for (std::size_t cut = 0; cut < 2 + sizeof(ENetProtocolSendFragment); ++cut)
        EXPECT_FALSE(enetDatagramOversized(std::span(noTime.bytes).first(cut), 4096)) << cut;
    noTime.bytes[0] |= ENET_PROTOCOL_HEADER_FLAG_COMPRESSED >> 8;
    EXPECT_FALSE(enetDatagramOversized(noTime.bytes, 4096));

    EXPECT_FALSE(enetDatagramOversized(statusQueryBuild(1), 4096));
}

}  // namespace
}  // namespace netduel
