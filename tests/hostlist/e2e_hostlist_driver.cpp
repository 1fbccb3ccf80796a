// End-to-end scenario of the internet list: a real list server with real dedicated hosts
// registering, a host that never answers its check, a stand-in host whose port is
// registered from another address (forged) and then from its own, the request bounds
// over real sockets, --list --internet and --find --internet, and the page as headless
// Chromium renders it. e2e.sh runs it inside a private network namespace with its own
// Xvfb; argv[1] is the game executable.
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "browse/host_browser.h"
#include "e2e_support.h"
#include "hostlist/http_exchange.h"
#include "hostlist/list_server.h"
#include "lobby/status_query.h"

namespace netduel {
namespace {

using namespace e2e;

constexpr std::uint16_t LIST_PORT = 43180;
const std::string LIST_URL = "http://127.0.0.1:" + std::to_string(LIST_PORT) + "/";
constexpr std::uint16_t HOST_PORTS[] = {43101, 43102, 43103};
constexpr std::uint16_t SILENT_PORT = 43104;   // bound, never answers
constexpr std::uint16_t STAND_IN_PORT = 43105;  // answers on 127.0.0.1 only, both ships held

const char* gamePath = nullptr;

std::string request(const std::string& source, const std::string& text)
{
    return httpExchange(inet_addr(source.c_str()), LIST_PORT, text);
}

std::string post(const std::string& source, const std::string& body, const std::string& extra = {})
{
    return request(source, "POST /hosts HTTP/1.1\r\nHost: list\r\nConnection: close\r\nUser-Agent: e2e\r\n"
                           "Content-Type: application/json\r\n" + extra + "Content-Length: " +
                               std::to_string(body.size()) + "\r\n\r\n" + body);
}

std::string get(const std::string& source, const std::string& path)
{
    return request(source, "GET " + path + " HTTP/1.1\r\nHost: list\r\nConnection: close\r\n\r\n");
}

// A UDP socket on 127.0.0.1:`port`; when `answers`, a thread answers each status query
// (both ships held, so --find passes it by) and counts them.
struct StandIn {
    int socket = -1;
    std::atomic<int> queries{0};
    std::atomic<bool> stop{false};
    std::thread thread;

    StandIn(std::uint16_t port, bool answers)
    {
        socket = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{AF_INET, htons(port), {inet_addr("127.0.0.1")}, {}};
        EXPECT_EQ(bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        timeval wait{0, 50000};
        setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        if (answers) thread = std::thread([this] { serve(); });
    }
    ~StandIn()
    {
        stop = true;
        if (thread.joinable()) thread.join();
        close(socket);
    }
    void serve()
    {
        const HostStatus status{0, 0, 2, 2, false, {}, {true, true}, {"x", "y"}};
        while (!stop) {
            std::uint8_t bytes[256];
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t count = recvfrom(socket, bytes, sizeof bytes, 0, reinterpret_cast<sockaddr*>(&from), &length);
            if (count <= 0) continue;
            const auto answer = statusAnswerFor(std::span(bytes, std::size_t(count)), status);
            if (!answer) continue;
            ++queries;
            sendto(socket, answer->data(), answer->size(), 0, reinterpret_cast<sockaddr*>(&from), length);
        }
    }
};

struct ListFixture : ::testing::Test {
    ListServer server;
    void SetUp() override { ASSERT_TRUE(listServerStart(server, LIST_PORT, "127.0.0.1")); }
    void TearDown() override { listServerStop(server); }
    bool listed(std::uint16_t port, const char* address = "127.0.0.1", bool pending = false)
    {
        const std::lock_guard guard(server.lock);
        const std::uint64_t key = hostListKey(inet_addr(address), port);
        return pending ? server.list.pending.count(key) > 0 : server.list.hosts.count(key) > 0;
    }
};

TEST_F(ListFixture, RegisteredHostsThatAnswerAreListedReadAndJoined)
{
    std::vector<std::unique_ptr<Child>> hosts;
    for (const std::uint16_t port : HOST_PORTS)
        hosts.push_back(spawn(gamePath, {"--dedicated", "--port", std::to_string(port), "--register", LIST_URL}, false));
    StandIn silent(SILENT_PORT, false);
    StandIn standIn(STAND_IN_PORT, true);

    // Forged: another address claims the stand-in's port; the check goes to that address.
    EXPECT_EQ(httpStatus(post("127.0.0.2", R"({"port": 43105})")), 202);
    EXPECT_EQ(httpStatus(post("127.0.0.1", R"({"port": 43104})")), 202);
    ASSERT_TRUE(waitFor([&] { return !listed(STAND_IN_PORT, "127.0.0.2", true) && !listed(SILENT_PORT, "127.0.0.1", true); }));
    EXPECT_FALSE(listed(STAND_IN_PORT, "127.0.0.2"));
    EXPECT_FALSE(listed(SILENT_PORT));
    EXPECT_EQ(standIn.queries, 0);
    // From its own address the stand-in is listed, after one query.
    EXPECT_EQ(httpStatus(post("127.0.0.1", R"({"port": 43105})")), 202);
    ASSERT_TRUE(waitFor([&] { return listed(STAND_IN_PORT); }));
    EXPECT_EQ(standIn.queries, 1);
    EXPECT_EQ(httpStatus(post("127.0.0.1", R"({"port": 43105})")), 200) << "a fresh check is not repeated";
    EXPECT_EQ(standIn.queries, 1);

    for (std::size_t i = 0; i < hosts.size(); ++i) {
        ASSERT_TRUE(waitFor([&] { return listed(HOST_PORTS[i]); })) << HOST_PORTS[i];
        EXPECT_TRUE(waitFor([&] { hosts[i]->read(); return hosts[i]->said("Registered at the list " + LIST_URL); }));
    }

    // --list asks every listed host itself: the stand-in and the three hosts.
    auto list = spawn(gamePath, {"--list", "--internet", LIST_URL}, false);
    ASSERT_TRUE(waitFor([&] { return list->ended(); }));
    EXPECT_TRUE(list->exitedWith(0));
    EXPECT_EQ(std::count(list->outText.begin(), list->outText.end(), '\n'), 4) << list->outText;
    for (const std::uint16_t port : HOST_PORTS)
        EXPECT_NE(list->outText.find("127.0.0.1:" + std::to_string(port) + "  0/25  "), std::string::npos) << port;
    EXPECT_NE(list->outText.find("127.0.0.1:43105  2/2  "), std::string::npos);
    list->outText.clear();

    // --find joins a host with a ship free: one of the three, not the full stand-in.
    auto finder = spawn(gamePath, {"--find", "--internet", LIST_URL});
    EXPECT_TRUE(waitFor([&] {
        for (auto& host : hosts) {
            host->read();
            if (host->said("Cli0 connected from")) return true;
        }
        return false;
    }));
    finder->read();
    EXPECT_TRUE(finder->said("Found a host at 127.0.0.1:431")) << finder->outText;
}

// What only the HTTP layer sees: a body over the limit, a compressed one, a flood.
TEST_F(ListFixture, OversizedCompressedAndFloodingRequestsAreRefusedWithOneLine)
{
    for (const auto& [reply, status] : {std::pair{post("127.0.0.4", std::string(HOSTLIST_BODY_MAX + 1, ' ')), 413},
                                        std::pair{post("127.0.0.4", "xx", "Content-Encoding: gzip\r\n"), 415}}) {
        EXPECT_EQ(httpStatus(reply), status) << reply;
        EXPECT_EQ(std::count(reply.begin() + reply.find("\r\n\r\n") + 4, reply.end(), '\n'), 1) << "one line: " << reply;
    }
    int refused = 0;
    for (int i = 0; i < 2 * int(HOSTLIST_ADDRESS_RULE.burst); ++i) refused += httpStatus(get("127.0.0.5", "/")) == 429;
    EXPECT_GE(refused, int(HOSTLIST_ADDRESS_RULE.burst) / 2);
    const std::lock_guard guard(server.lock);
    EXPECT_TRUE(server.list.pending.empty()) << "no check for any of them";
}

// True when the screenshot's text row at `top` shows `text` on the plain background.
bool plainRowShows(const std::vector<unsigned char>& rgb, int top, std::string_view text)
{
    if (rgb.empty()) return false;
    auto expected = std::make_unique<Display>();
    drawBox(*expected, 0, top, DISPLAY_WIDTH - 1, top + CELL_SIZE - 1, BACKGROUND, true);
    drawText(*expected, 0, top, text);
    for (int y = top; y < top + CELL_SIZE; ++y)
        for (int x = 0; x < DISPLAY_WIDTH; ++x)
            if (pixel(rgb, x, y) != displayPixel(*expected, x, y)) return false;
    return true;
}

// The hosts found show under "Create Host?"; Down and Enter join the first.
TEST(StartScreen, AHostOnTheLanIsPickedUnderTheQuestionAndJoined)
{
    auto host = spawn(gamePath, {"--dedicated"}, false);
    ASSERT_TRUE(waitFor([&] { host->read(); return host->said("Host running!"); }));
    auto game = spawn(gamePath, {});
    const std::string window = windowOf(game->pid);
    ASSERT_FALSE(window.empty()) << "no window";
    const int heading = (1 + BROWSE_GAP_ROWS) * CELL_SIZE;
    ASSERT_TRUE(waitFor([&] { return plainRowShows(screenshot(window), heading, "Hosts (Up/Down and Enter join one):"); }));
    press(window, "Down");
    press(window, "Return");
    EXPECT_TRUE(waitFor([&] { host->read(); return host->said("Cli0 connected from"); }));
}

// The page as a browser shows it: the listed stand-in with its names as text, no script.
TEST_F(ListFixture, ThePageRendersInChromiumWithTheNamesAsText)
{
    const char* browser = nullptr;
    for (const char* path : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
        if (std::filesystem::exists(path)) browser = path;
    if (!browser) GTEST_SKIP() << "chromium is not installed (scripts/install-deps installs it)";
    StandIn standIn(STAND_IN_PORT, true);
    EXPECT_EQ(httpStatus(post("127.0.0.1", R"({"port": 43105, "name": "<i>Ann&Bo</i>"})")), 202);
    ASSERT_TRUE(waitFor([&] { return listed(STAND_IN_PORT); }));
    const std::filesystem::path profile = std::filesystem::temp_directory_path() / ("e2e-chromium-" + std::to_string(getpid()));
    auto chromium = spawn(browser, {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                                    "--disable-background-networking", "--disable-component-update", "--disable-sync",
                                    "--user-data-dir=" + profile.string(), "--dump-dom", LIST_URL}, false);
    ASSERT_TRUE(waitFor([&] { return chromium->ended(); }, std::chrono::seconds(60)));
    std::filesystem::remove_all(profile);
    const std::string dom = chromium->outText;
    chromium->outText.clear();
    chromium->errText.clear();
    // The serialized DOM holds the name as text: the browser made no element of it.
    EXPECT_NE(dom.find("<p>1 host listed."), std::string::npos) << dom;
    EXPECT_NE(dom.find("<td>127.0.0.1:43105</td><td>&lt;i&gt;Ann&amp;Bo&lt;/i&gt;</td><td>2/2</td><td>0</td>"
                       "<td>x</td><td>y</td>"),
              std::string::npos)
        << dom;
    EXPECT_EQ(dom.find("<i>"), std::string::npos) << dom;
}

}  // namespace
}  // namespace netduel

int main(int argc, char** argv)
{
    return netduel::e2e::driverMain(argc, argv, netduel::gamePath);
}
