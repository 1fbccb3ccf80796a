// End-to-end scenario: the real game in Xvfb, driven by xdotool, watched through its
// standard output, a real ENet client on the game's port and screenshots of its window.
// e2e.sh runs it inside a private network namespace; argv[1] is the game executable.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <enet/enet.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "duel/match.h"
#include "e2e_x11.h"

namespace netduel {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint16_t GAME_PORT = 42069;
constexpr auto DEADLINE = std::chrono::seconds(20);

const char* gamePath = nullptr;

struct Snapshot464 {
    Clock::time_point arrival;
    MatchState match;
};

using e2e::run;

class GameEndToEnd : public ::testing::Test {
protected:
    pid_t game = -1;
    int gameOut = -1;
    std::string stdoutText;
    ENetHost* client = nullptr;
    ENetPeer* peer = nullptr;
    bool connected = false;
    std::vector<std::string> texts;      // channel 0, in arrival order
    std::vector<Snapshot464> snapshots;  // channel 2
    std::string window;                  // X window id of the game

    void SetUp() override { ASSERT_EQ(enet_initialize(), 0); }

    void TearDown() override
    {
        if (game > 0 && waitpid(game, nullptr, WNOHANG) == 0) {
            kill(game, SIGKILL);
            waitpid(game, nullptr, 0);
        }
        if (gameOut >= 0) close(gameOut);
        if (client) enet_host_destroy(client);
        enet_deinitialize();
        std::printf("game output:\n%s\n", stdoutText.c_str());
    }

    void startGame(std::vector<std::string> arguments = {})
    {
        std::vector<char*> argv{const_cast<char*>(gamePath)};
        for (std::string& word : arguments) argv.push_back(word.data());
        argv.push_back(nullptr);
        int pipeEnds[2];
        ASSERT_EQ(pipe(pipeEnds), 0);
        game = fork();
        ASSERT_GE(game, 0);
        if (game == 0) {
            dup2(pipeEnds[1], STDOUT_FILENO);
            close(pipeEnds[0]);
            close(pipeEnds[1]);
            e2e::settingsPlaceOwn();
            execv(gamePath, argv.data());
            _exit(127);
        }
        close(pipeEnds[1]);
        gameOut = pipeEnds[0];
        fcntl(gameOut, F_SETFL, O_NONBLOCK);
    }

    void readGameOutput()
    {
        char buffer[512];
        ssize_t count;
        while ((count = read(gameOut, buffer, sizeof buffer)) > 0) stdoutText.append(buffer, count);
    }

    void serviceClient()
    {
        ENetEvent event;
        while (client && enet_host_service(client, &event, 5) > 0) {
            if (event.type == ENET_EVENT_TYPE_CONNECT) connected = true;
            if (event.type != ENET_EVENT_TYPE_RECEIVE) continue;
            const std::uint8_t* data = event.packet->data;
            const std::size_t length = event.packet->dataLength;
            if (event.channelID == 0) texts.emplace_back(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), length));
            if (event.channelID == 2 && length == SNAPSHOT_SIZE) {
                Snapshot464 snapshot{Clock::now(), {}};
                snapshotApply(snapshot.match, {data, length});
                snapshots.push_back(snapshot);
            }
            enet_packet_destroy(event.packet);
        }
    }

    // Services the client and reads the game's output until `done` holds or time is up.
    bool waitFor(const std::function<bool()>& done, std::chrono::seconds limit = DEADLINE)
    {
        const auto deadline = Clock::now() + limit;
        while (Clock::now() < deadline) {
            readGameOutput();
            serviceClient();
            if (done()) return true;
            if (!client) usleep(5000);
        }
        return false;
    }

    bool received(const std::string& text) const
    {
        for (const std::string& t : texts)
            if (t == text) return true;
        return false;
    }

    bool gameRunning() { return waitpid(game, nullptr, WNOHANG) == 0; }

    void xdotool(const std::string& arguments)
    {
        ASSERT_EQ(std::system(("xdotool " + arguments).c_str()), 0) << arguments;
    }

    // A key held for a moment, as a player presses it: the game samples keys per frame.
    void press(const std::string& key) { xdotool("keydown " + key + " sleep 0.15 keyup " + key); }

    // A key let go at once, quicker than a frame: it must still act, once. xdotool
    // would wait 12 ms after each event by default.
    void tap(const std::string& key)
    {
        xdotool("keydown --delay 0 " + key + " keyup --delay 0 " + key);
    }

    void connectClient(std::uint16_t port = GAME_PORT)
    {
        client = enet_host_create(nullptr, 1, 10, 0, 0);
        ASSERT_NE(client, nullptr);
        ENetAddress address{};
        enet_address_set_host(&address, "127.0.0.1");
        address.port = port;
        peer = enet_host_connect(client, &address, 10, 0);
        ASSERT_NE(peer, nullptr);
    }

    void sendControl(KeyFlags word)
    {
        const ControlBytes bytes = controlEncode(word);
        enet_peer_send(peer, 1, enet_packet_create(bytes.data(), bytes.size(), 0));
        enet_host_flush(client);
    }

    // The game window as 1024×768 RGB bytes.
    std::vector<unsigned char> screenshot() { return e2e::screenshot(window); }

    static std::uint32_t pixel(const std::vector<unsigned char>& rgb, int x, int y)
    {
        return e2e::pixel(rgb, x, y);
    }

    // What a window manager sends when the close button is clicked.
    void requestClose()
    {
        Display* x = XOpenDisplay(nullptr);
        ASSERT_NE(x, nullptr);
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = std::stoul(window);
        event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(x, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(x, event.xclient.window, False, NoEventMask, &event);
        XCloseDisplay(x);
    }

    const MatchState& latest() const { return snapshots.back().match; }

    // Waits until the ship has stood still for ten snapshots in a row.
    bool waitForRest(int ship)
    {
        std::size_t restingSince = 0;
        return waitFor([&] {
            if (snapshots.size() < restingSince + 2) return false;
            if (!(latest().ships[ship].position == snapshots[snapshots.size() - 2].match.ships[ship].position))
                restingSince = snapshots.size();
            return snapshots.size() >= restingSince + 10;
        });
    }

    // Where to find a ship's body colour: 5 px behind its centre, away from the heading line.
    static std::pair<int, int> bodyPixel(const Ship& ship)
    {
        return {static_cast<int>(std::lround(ship.position.x + 5.0 * std::sin(ship.heading))),
                static_cast<int>(std::lround(ship.position.y + 5.0 * std::cos(ship.heading)))};
    }
};

TEST_F(GameEndToEnd, HostsPlaysChatsAndQuitsOnEscape)
{
    startGame();
    window = run("timeout 30 xdotool search --sync --name '^netduel$' | head -n 1");
    ASSERT_FALSE(window.empty()) << "no game window";
    window.erase(window.find_last_not_of("\n") + 1);
    xdotool("windowfocus --sync " + window);
    xdotool("type y");
    xdotool("key Return");
    ASSERT_TRUE(waitFor([&] { return stdoutText.find("Host running!\n") != std::string::npos; }));
    EXPECT_EQ(stdoutText.find("Creating server\nHost running!\n"), 0u);

    // The first peer: welcome, its own arrival, then snapshots at half of 60 frames a second.
    connectClient();
    ASSERT_TRUE(waitFor([&] { return received("NEW Anonymous0"); }));
    EXPECT_EQ(texts.front(), "WSP Lobby Welcome to the lobby!");
    snapshots.clear();
    ASSERT_TRUE(waitFor([&] { return snapshots.size() >= 90; }));
    const double seconds =
        std::chrono::duration<double>(snapshots.back().arrival - snapshots.front().arrival).count();
    const double rate = (snapshots.size() - 1) / seconds;
    EXPECT_GE(rate, 25.0);
    EXPECT_LE(rate, 35.0);
    EXPECT_EQ(latest().ships[0].position, (Vec2{50.0f, 384.0f}));
    EXPECT_EQ(latest().ships[1].colour, 0xFF000080u);

    // Thrust steers ship 0 upwards; once the controls stop it comes to rest.
    auto nextSend = Clock::now();
    ASSERT_TRUE(waitFor([&] {
        if (Clock::now() >= nextSend) {
            sendControl(KEY_UP);
            nextSend = Clock::now() + std::chrono::milliseconds(50);
        }
        return latest().ships[0].position.y < 300.0f;
    }));
    ASSERT_TRUE(waitForRest(0));
    EXPECT_EQ(latest().ships[0].position.x, 50.0f);

    // J tapped in the window: the host's own client takes the next slot.
    tap("j");
    ASSERT_TRUE(waitFor([&] { return received("NEW Anonymous1"); }));

    // C tapped opens the chat line (its blinking "> " shows in the top-left cell), then "hi".
    tap("c");
    ASSERT_TRUE(waitFor([&] {
        const auto shot = screenshot();
        if (shot.empty()) return false;
        for (int y = 1; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                if (pixel(shot, x, y) == 0xFFFFFFFFu) return true;
        return false;
    }));
    press("F3");  // the overlay, also in chat mode; it types nothing into the line
    xdotool("type --delay 50 hi");
    xdotool("key Return");
    ASSERT_TRUE(waitFor([&] { return received("SAY Anonymous1 hi"); }));

    // Out of chat, the Up arrow held in the window thrusts the host player's ship 1.
    press("Up");
    ASSERT_TRUE(waitFor([&] { return latest().ships[1].position.y < 384.0f; }));
    ASSERT_TRUE(waitForRest(1));
    EXPECT_EQ(latest().ships[1].position.x, 974.0f);

    const auto shot = screenshot();
    ASSERT_FALSE(shot.empty());
    EXPECT_EQ(pixel(shot, 1000, 30), 0xFF404040u);  // panel fill
    EXPECT_EQ(pixel(shot, 500, 0), 0xFFC8C800u);    // panel frame
    EXPECT_EQ(pixel(shot, 500, 60), 0xFFC8C800u);
    EXPECT_EQ(pixel(shot, 1023, 30), 0xFFC8C800u);
    // Both ships where the snapshots put them.
    const auto [x0, y0] = bodyPixel(latest().ships[0]);
    EXPECT_EQ(pixel(shot, x0, y0), 0xFF800000u);
    const auto [x1, y1] = bodyPixel(latest().ships[1]);
    EXPECT_EQ(pixel(shot, x1, y1), 0xFF000080u);

    // The close button closes nothing: the game keeps broadcasting.
    requestClose();
    const std::size_t before = snapshots.size();
    ASSERT_TRUE(waitFor([&] { return snapshots.size() >= before + 30; }));
    EXPECT_TRUE(gameRunning());

    // Escape held ends the game with status 0.
    xdotool("keydown Escape");
    int status = -1;
    ASSERT_TRUE(waitFor([&] { return waitpid(game, &status, WNOHANG) == game; },
                        std::chrono::seconds(10)));
    xdotool("keyup Escape");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    game = -1;
}

// F3 shows the network figures in the field's bottom-right corner and hides them again.
TEST_F(GameEndToEnd, F3TogglesTheNetworkOverlayWithSmoothingOff)
{
    startGame({"--host", "--no-smoothing"});
    window = run("timeout 30 xdotool search --sync --name '^netduel$' | head -n 1");
    ASSERT_FALSE(window.empty()) << "no game window";
    window.erase(window.find_last_not_of("\n") + 1);
    xdotool("windowfocus --sync " + window);
    ASSERT_TRUE(waitFor([&] { return stdoutText.find("Host running!\n") != std::string::npos; }));
    const auto cornerLit = [&] {
        const auto shot = screenshot();
        for (int y = 700; y < 768 && !shot.empty(); ++y)
            for (int x = 900; x < 1024; ++x)
                if (pixel(shot, x, y) == 0xFFFFFFFFu) return true;
        return false;
    };
    ASSERT_FALSE(cornerLit());
    press("F3");
    ASSERT_TRUE(waitFor(cornerLit));
    press("F3");
    ASSERT_TRUE(waitFor([&] { return !cornerLit(); }));
    EXPECT_TRUE(gameRunning());
}

// Taps of X quicker than a frame, in the hosting window whose own client steers ship 0:
// every one fires, and the window draws the bullet on its way up from the muzzle.
TEST_F(GameEndToEnd, EveryTapOfXFiresAndTheWindowDrawsTheShot)
{
    constexpr std::uint16_t PORT = 44101;
    startGame({"--host", "--port", std::to_string(PORT)});
    window = run("timeout 30 xdotool search --sync --name '^netduel$' | head -n 1");
    ASSERT_FALSE(window.empty()) << "no game window";
    window.erase(window.find_last_not_of("\n") + 1);
    xdotool("windowfocus --sync " + window);
    connectClient(PORT);
    ASSERT_TRUE(waitFor([&] { return received("NEW Anonymous1"); }));  // the window's client is 0
    ASSERT_TRUE(waitFor([&] { return snapshots.size() >= 10; }));
    const auto shots = [&] {  // ship 0's bullets in the newest snapshot
        int n = 0;
        for (const Bullet& b : latest().ships[0].bullets) n += b.active != 0;
        return n;
    };
    const auto bulletAboveShip = [&] {
        const auto shot = screenshot();
        for (int y = 62; y < 369 && !shot.empty(); ++y)
            if (pixel(shot, 50, y) == 0xFFFFFF00u) return true;
        return false;
    };
    constexpr int TAPS = 10;
    for (int i = 0; i < TAPS; ++i) {
        ASSERT_TRUE(waitFor([&] { return shots() == 0; }));  // the last one left the field
        tap("x");
        ASSERT_TRUE(waitFor([&] { return shots() == 1; }, std::chrono::seconds(5))) << "tap " << i;
        if (i == 0) {
            EXPECT_TRUE(waitFor(bulletAboveShip, std::chrono::seconds(1)));
        }
    }
    EXPECT_TRUE(gameRunning());
}

}  // namespace
}  // namespace netduel

int main(int argc, char** argv)
{
    return netduel::e2e::driverMain(argc, argv, netduel::gamePath);
}
