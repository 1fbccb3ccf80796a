// The list's table and requests: who gets listed, what a check costs, the bounds, the
// lapse, and the two pages.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "hostlist/host_list.h"
#include "hostlist/list_client.h"

namespace netduel {
namespace {

const std::uint32_t ALICE = inet_addr("198.51.100.7");
const std::uint32_t MALLORY = inet_addr("203.0.113.9");
constexpr std::size_t REQUEST_BYTES = 180;  // about what our host's registration takes

HostListReply post(HostList& list, std::uint32_t from, std::string_view body, double now, std::uint32_t nonce = 7,
                   std::size_t bytes = REQUEST_BYTES)
{
    return hostListHandle(list, {"POST", "/hosts", body, from, bytes}, now, nonce);
}

HostListReply get(HostList& list, std::string_view path, double now, std::uint32_t from = ALICE)
{
    return hostListHandle(list, {"GET", path, {}, from, REQUEST_BYTES}, now, 0);
}

std::vector<std::uint8_t> answer(std::uint32_t nonce, bool ship0Held = false, std::string ship0 = {})
{
    HostStatus status;
    status.nonce = nonce;
    status.players = ship0Held ? 1 : 0;
    status.maxPlayers = 25;
    status.version = "0.1.0";
    status.shipHeld = {ship0Held, false};
    status.shipName = {std::move(ship0), {}};
    return statusAnswerBuild(status);
}

// Registers ALICE's port and answers its check at once.
void listAlice(HostList& list, std::uint16_t port, double now, std::uint32_t nonce = 7)
{
    const HostListReply reply = post(list, ALICE, R"({"port": )" + std::to_string(port) + "}", now, nonce);
    ASSERT_TRUE(reply.check);
    ASSERT_TRUE(hostListAnswer(list, ALICE, port, answer(nonce), now + 0.05));
}

TEST(HostList, ListsAHostOnlyWhenItsOwnAddressAndPortAnswerTheCheckInTime)
{
    struct Case {
        const char* what;
        std::uint32_t from;
        std::uint16_t port;
        std::uint32_t nonce;
        double after;
        bool listed;
    } cases[] = {
        {"the host itself", ALICE, 42069, 7, 0.05, true},
        {"another address (a forged registration)", MALLORY, 42069, 7, 0.05, false},
        {"another port", ALICE, 42070, 7, 0.05, false},
        {"a guessed nonce", ALICE, 42069, 8, 0.05, false},
        {"too late", ALICE, 42069, 7, HOSTLIST_CHECK_SECONDS + 0.1, false},
    };
    for (const Case& c : cases) {
        HostList list;
        const HostListReply reply = post(list, ALICE, R"({"port": 42069, "name": "alice"})", 100.0);
        EXPECT_EQ(reply.status, 202) << c.what;
        ASSERT_TRUE(reply.check) << c.what;
        EXPECT_EQ(reply.check->address, ALICE);
        EXPECT_EQ(reply.check->port, 42069);
        EXPECT_EQ(statusQueryParse(reply.check->query), 7u) << "the nonce drawn for this request";
        EXPECT_LE(reply.check->query.size(), REQUEST_BYTES) << "never more bytes than the registration sent";
        EXPECT_EQ(hostListAnswer(list, c.from, c.port, answer(c.nonce), 100.0 + c.after), c.listed) << c.what;
        EXPECT_EQ(list.hosts.size(), c.listed ? 1u : 0u) << c.what;
    }
}

TEST(HostList, OneQueryPerRegistrationAndNoneWhileTheCheckIsFreshOrPending)
{
    HostList list;
    EXPECT_TRUE(post(list, ALICE, R"({"port": 42069})", 10.0).check);
    const HostListReply pending = post(list, ALICE, R"({"port": 42069})", 10.5);
    EXPECT_EQ(pending.status, 202);
    EXPECT_FALSE(pending.check) << "a check already out";
    ASSERT_TRUE(hostListAnswer(list, ALICE, 42069, answer(7), 10.6));
    EXPECT_FALSE(hostListAnswer(list, ALICE, 42069, answer(7), 10.7)) << "an answer counts once";
    const HostListReply fresh = post(list, ALICE, R"({"port": 42069})", 10.0 + HOSTLIST_CHECK_FRESH_SECONDS - 0.5);
    EXPECT_EQ(fresh.status, 200);
    EXPECT_FALSE(fresh.check);
    const HostListReply stale = post(list, ALICE, R"({"port": 42069})", 10.0 + HOSTLIST_CHECK_FRESH_SECONDS + 0.5, 9);
    ASSERT_TRUE(stale.check);
    EXPECT_EQ(statusQueryParse(stale.check->query), 9u);
}

TEST(HostList, AnEntryLapsesFortySecondsAfterItsLastAnsweredRegistration)
{
    HostList list;
    listAlice(list, 42069, 0.0);
    listAlice(list, 42070, 0.0);
    // 42070 registers again and answers; 42069 registers but never answers.
    post(list, ALICE, R"({"port": 42069})", 20.0, 11);
    listAlice(list, 42070, 20.0, 12);
    hostListExpire(list, HOSTLIST_LAPSE_SECONDS - 1.0);
    EXPECT_EQ(list.hosts.size(), 2u);
    hostListExpire(list, HOSTLIST_LAPSE_SECONDS + 1.0);
    ASSERT_EQ(list.hosts.size(), 1u);
    EXPECT_EQ(list.hosts.begin()->second.port, 42070);
    hostListExpire(list, 20.0 + HOSTLIST_LAPSE_SECONDS + 1.0);
    EXPECT_TRUE(list.hosts.empty());
    EXPECT_EQ(get(list, "/hosts", 70.0).body, "[]\n");
}

TEST(HostList, BadRequestsGetOneLineAndCostNoQuery)
{
    struct Case {
        std::string_view method, path, body;
        std::size_t bytes;
        int status;
    } cases[] = {
        {"POST", "/hosts", R"({"port": 42069})", STATUS_QUERY_BYTES - 1, 400},  // shorter than its query
        {"POST", "/hosts", "", REQUEST_BYTES, 400},
        {"POST", "/hosts", "{\"port\": 42069", REQUEST_BYTES, 400},
        {"POST", "/hosts", "[42069]", REQUEST_BYTES, 400},
        {"POST", "/hosts", R"({"port": 0})", REQUEST_BYTES, 400},
        {"POST", "/hosts", R"({"port": 65536})", REQUEST_BYTES, 400},
        {"POST", "/hosts", R"({"port": -1})", REQUEST_BYTES, 400},
        {"POST", "/hosts", R"({"port": "42069"})", REQUEST_BYTES, 400},
        {"POST", "/hosts", R"({"port": 42069, "address": "192.0.2.1"})", REQUEST_BYTES, 400},
        {"POST", "/hosts", R"({"port": 42069, "name": "two words"})", REQUEST_BYTES, 400},
        {"POST", "/hosts", R"({"port": 42069, "name": "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"})", REQUEST_BYTES, 400},
        {"POST", "/hosts", R"({"port": 42069})", HOSTLIST_REQUEST_MAX + 1, 413},
        {"POST", "/", R"({"port": 42069})", REQUEST_BYTES, 405},
        {"DELETE", "/hosts", "", REQUEST_BYTES, 405},
        {"GET", "/admin", "", REQUEST_BYTES, 404},
    };
    for (const Case& c : cases) {
        HostList list;
        const HostListReply reply = hostListHandle(list, {c.method, c.path, c.body, ALICE, c.bytes}, 1.0, 7);
        EXPECT_EQ(reply.status, c.status) << c.body;
        EXPECT_FALSE(reply.check) << c.body;
        EXPECT_TRUE(list.pending.empty() && list.hosts.empty());
        ASSERT_FALSE(reply.body.empty());
        EXPECT_EQ(reply.body.find('\n'), reply.body.size() - 1) << "one line: " << reply.body;
    }
    HostList list;
    EXPECT_EQ(post(list, ALICE, R"({"port": 65535, "name": "ok"})", 1.0).status, 202) << "the edges are good";
}

TEST(HostList, HostsPerAddressAndTheWholeListAreBounded)
{
    HostList ports;
    double now = 0.0;
    for (std::uint16_t port = 1; port <= HOSTLIST_PORTS_PER_ADDRESS; ++port, now += 1.0) listAlice(ports, port, now);
    const HostListReply more = post(ports, ALICE, R"({"port": 9999})", now);
    EXPECT_EQ(more.status, 429);
    EXPECT_FALSE(more.check);

    HostList full;
    for (std::uint32_t i = 0; i < HOSTLIST_HOSTS_MAX; ++i)
        full.pending[hostListKey(htonl(0x0A000000 + i), 1)] = PendingCheck{1, 0.5, {}};
    const HostListReply refused = post(full, ALICE, R"({"port": 42069})", 1.0);
    EXPECT_EQ(refused.status, 503);
    EXPECT_FALSE(refused.check);
}

TEST(HostList, PagesShowTheListedHostsWithTheirNamesEscaped)
{
    HostList list;
    ASSERT_TRUE(post(list, ALICE, R"({"port": 42069, "name": "<b>&co"})", 10.0).check);
    ASSERT_TRUE(hostListAnswer(list, ALICE, 42069, answer(7, true, "<script>\x1b"), 10.1));
    const nlohmann::json hosts = nlohmann::json::parse(get(list, "/hosts", 13.5).body);
    ASSERT_EQ(hosts.size(), 1u);
    EXPECT_EQ(hosts[0]["address"], "198.51.100.7");
    EXPECT_EQ(hosts[0]["port"], 42069);
    EXPECT_EQ(hosts[0]["name"], "<b>&co");
    EXPECT_EQ(hosts[0]["players"], 1);
    EXPECT_EQ(hosts[0]["freeShips"], 1);
    EXPECT_EQ(hosts[0]["ships"][0], "<script>\x1b");
    EXPECT_TRUE(hosts[0]["ships"][1].is_null());
    EXPECT_EQ(hosts[0]["lastSeen"], 3);

    const std::string page = get(list, "/", 13.5).body;
    EXPECT_NE(page.find("<td>198.51.100.7:42069</td><td>&lt;b&gt;&amp;co</td><td>1/25</td><td>1</td>"
                        "<td>&lt;script&gt;\\x1b</td><td>free</td><td>3 s ago</td>"),
              std::string::npos)
        << page;
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_EQ(page.find("<b>"), std::string::npos);
}

TEST(ListClient, UrlsAndListsFromTheServerAreReadStrictly)
{
    const auto url = listUrlParse("http://list.example:8080/netduel");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->host, "list.example");
    EXPECT_EQ(url->port, 8080);
    EXPECT_EQ(url->path, "/netduel/");
    EXPECT_EQ(listUrlParse("http://list.example")->port, HOSTLIST_PORT);
    for (const char* bad : {"https://list.example/", "http://", "http://:80/", "http://a:0/", "http://a:65536/",
                            "http://a:x/", "http://u@a/", "list.example", "http://a/?q"})
        EXPECT_FALSE(listUrlParse(bad)) << bad;

    const auto targets = listTargetsParse(
        R"([{"address":"192.0.2.1","port":42069},{"address":"host.example","port":1},)"
        R"({"address":"192.0.2.2","port":70000},{"port":5},7,{"address":"192.0.2.3","port":5}])");
    ASSERT_TRUE(targets);
    ASSERT_EQ(targets->size(), 2u) << "only dotted addresses with a port";
    EXPECT_EQ((*targets)[0].host, "192.0.2.1");
    EXPECT_EQ((*targets)[1].port, 5);
    EXPECT_FALSE(listTargetsParse("{}"));
    EXPECT_FALSE(listTargetsParse("[1,"));
}

TEST(ListClient, RegistrationsComeEveryFifteenSecondsOnAShipChangeAndBackOffWhenTheListIsAway)
{
    RegisterSchedule schedule;
    EXPECT_TRUE(registerDue(schedule, 0.0, 2)) << "at start";
    registerDone(schedule, true, 2, 0.0);
    EXPECT_FALSE(registerDue(schedule, HOSTLIST_REGISTER_SECONDS - 0.1, 2));
    EXPECT_TRUE(registerDue(schedule, HOSTLIST_REGISTER_SECONDS, 2));
    EXPECT_TRUE(registerDue(schedule, 1.0, 1)) << "a ship was taken";
    registerDone(schedule, false, 1, 1.0);
    EXPECT_FALSE(registerDue(schedule, 1.5, 0)) << "no ship change beats the back-off";
    double now = 1.0;
    double wait = REGISTER_RETRY_FIRST_SECONDS;
    for (int failure = 0; failure < 10; ++failure) {
        EXPECT_FALSE(registerDue(schedule, now + wait - 0.1, 1)) << failure;
        now += wait;
        EXPECT_TRUE(registerDue(schedule, now, 1)) << failure;
        registerDone(schedule, false, 1, now);
        wait = std::min(wait * 2.0, REGISTER_RETRY_MOST_SECONDS);
    }
    registerDone(schedule, true, 1, now);
    EXPECT_FALSE(registerDue(schedule, now + HOSTLIST_REGISTER_SECONDS - 0.1, 1)) << "reached: the cadence again";
}

}  // namespace
}  // namespace netduel
