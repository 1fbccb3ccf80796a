// The Agones client's decisions, on a clock of their own: frames at 60 Hz, each call
// answered at once by a sidecar that the test describes.
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "agones/agones.h"

namespace netduel {
namespace {

constexpr double FRAME = 1.0 / 60.0;  // s

struct Made {
    AgonesCall call;
    double at;
    int value;
};

struct Course {
    AgonesPlan plan;
    std::vector<Made> calls;
    std::vector<std::string> lines;
    double now = 0.0;
    std::function<int(const AgonesRequest&, double)> status = [](const AgonesRequest&, double) { return 200; };
    std::string gameServer = R"({"status":{"state":"Ready"}})";

    // Frames until `until`, with `ships` held; each call answered before the next frame.
    void frames(double until, int ships)
    {
        for (; now < until && !plan.finished; now += FRAME) {
            std::optional<AgonesRequest> request = agonesPlanNext(plan, ships, now);
            if (!request) continue;
            calls.push_back({request->call, now, request->value});
            const int answer = status(*request, now);
            const std::string body = request->call == AgonesCall::GameServer ? gameServer : "{}";
            std::string line = agonesPlanAnswered(plan, *request, answer, body, now);
            if (!line.empty()) lines.push_back(line);
        }
    }
    std::vector<Made> of(AgonesCall call) const
    {
        std::vector<Made> found;
        for (const Made& made : calls)
            if (made.call == call) found.push_back(made);
        return found;
    }
};

TEST(AgonesPlan, ReadyFirstThenHealthAtItsPeriodOnlyWhileFramesRun)
{
    Course run;
    run.frames(20.0, 0);
    ASSERT_FALSE(run.calls.empty());
    EXPECT_EQ(run.calls.front().call, AgonesCall::Ready);
    EXPECT_EQ(run.of(AgonesCall::Ready).size(), 1u);
    std::vector<Made> health = run.of(AgonesCall::Health);
    ASSERT_GE(health.size(), 10u);
    for (std::size_t i = 1; i < health.size(); ++i) {
        EXPECT_LE(health[i].at - health[i - 1].at, AGONES_HEALTH_INTERVAL + FRAME) << i;
        EXPECT_GE(health[i].at - health[i - 1].at, AGONES_HEALTH_INTERVAL) << i;
    }
    // A stalled loop calls nothing: the next ping comes with the first frame after it.
    run.now = 30.0;
    const std::size_t before = run.calls.size();
    run.frames(30.5, 0);
    ASSERT_GT(run.calls.size(), before);
    EXPECT_EQ(run.calls[before].call, AgonesCall::Health);
    EXPECT_DOUBLE_EQ(run.calls[before].at, 30.0);
}

TEST(AgonesPlan, ShipsAreLabelledAndTrackedAsTheyComeAndGo)
{
    for (const bool tracking : {false, true}) {
        Course run;
        if (tracking) run.gameServer = R"({"status":{"state":"Ready","players":{"count":"0"}}})";
        int shipsNow = 0;
        for (const int ships : {0, 1, 2, 1, 2, 0}) {
            run.frames(run.now + 3.0, ships);
            shipsNow = ships;
            EXPECT_EQ(run.plan.labelled, ships) << tracking;
            EXPECT_EQ(run.plan.playersReported, tracking ? ships : 0) << tracking;
        }
        EXPECT_EQ(shipsNow, 0);
        std::vector<int> labels;
        for (const Made& made : run.of(AgonesCall::Label)) labels.push_back(made.value);
        EXPECT_EQ(labels, (std::vector<int>{0, 1, 2, 1, 2, 0}));
        EXPECT_EQ(run.of(AgonesCall::Capacity).size(), tracking ? 1u : 0u);
        EXPECT_EQ(run.of(AgonesCall::PlayerConnect).size(), tracking ? 3u : 0u);
        EXPECT_EQ(run.of(AgonesCall::PlayerDisconnect).size(), tracking ? 3u : 0u);
    }
}

TEST(AgonesPlan, AllocationIsPolledUntilSeenThenNoMore)
{
    Course run;
    run.frames(5.0, 0);
    const std::size_t polls = run.of(AgonesCall::GameServer).size();
    EXPECT_GE(polls, 2u);
    EXPECT_FALSE(run.plan.allocated);
    run.gameServer = R"({"status":{"state":"Allocated"}})";
    run.frames(10.0, 0);
    EXPECT_TRUE(run.plan.allocated);
    EXPECT_EQ(run.lines, (std::vector<std::string>{"Agones: ready", "Agones: allocated"}));
    const std::size_t seen = run.of(AgonesCall::GameServer).size();
    run.frames(20.0, 0);
    EXPECT_EQ(run.of(AgonesCall::GameServer).size(), seen);
}

TEST(AgonesPlan, ShutdownOnlyAfterAMatchThatHeldBothShipsStaysEmpty)
{
    struct Case {
        const char* what;
        std::vector<std::pair<double, int>> course;  // until when, ships held
        bool shutdown;
    };
    const double over = AGONES_MATCH_OVER_AFTER;
    const std::vector<Case> cases{
        {"never both ships", {{5, 1}, {5 + over + 5, 0}}, false},
        {"both, then empty", {{5, 2}, {5 + over + 1, 0}}, true},
        {"both, empty not long enough", {{5, 2}, {5 + over - 0.5, 0}}, false},
        {"a player comes back in time", {{5, 2}, {5 + over - 1, 0}, {5 + over, 1}, {5 + over + over - 1, 0}}, false},
        {"one ship still held", {{5, 2}, {5 + over + 5, 1}}, false},
    };
    for (const Case& c : cases) {
        Course run;
        for (const auto& [until, ships] : c.course) run.frames(until, ships);
        EXPECT_EQ(run.plan.finished, c.shutdown) << c.what;
        EXPECT_EQ(run.of(AgonesCall::Shutdown).size(), c.shutdown ? 1u : 0u) << c.what;
        if (c.shutdown) {
            EXPECT_NEAR(run.of(AgonesCall::Shutdown).front().at, 5 + over, 2 * FRAME) << c.what;
            EXPECT_EQ(run.lines.back(), "Agones: shutdown") << c.what;
        }
    }
}

TEST(AgonesPlan, AnAbsentSidecarIsRetriedWithBackOffAndCostsOneLine)
{
    Course run;
    double upAt = 40.0;
    run.status = [&](const AgonesRequest&, double now) { return now < upAt ? 0 : 200; };
    run.frames(upAt, 2);
    std::vector<Made> tries = run.of(AgonesCall::Ready);
    ASSERT_GE(tries.size(), 5u);
    EXPECT_NEAR(tries[1].at - tries[0].at, AGONES_RETRY_LEAST, FRAME);
    for (std::size_t i = 2; i < tries.size(); ++i) {
        const double gap = tries[i].at - tries[i - 1].at;
        const double previous = tries[i - 1].at - tries[i - 2].at;
        EXPECT_LE(gap, AGONES_RETRY_MOST + FRAME) << i;
        EXPECT_GE(gap + FRAME, std::min(2 * previous - FRAME, AGONES_RETRY_MOST)) << i;
    }
    EXPECT_EQ(run.calls.size(), tries.size()) << "nothing but ready before the sidecar answers";
    ASSERT_EQ(run.lines.size(), 1u);
    EXPECT_NE(run.lines[0].find("does not answer"), std::string::npos);
    run.frames(upAt + AGONES_RETRY_MOST + 1.0, 2);
    EXPECT_TRUE(run.plan.ready);
    EXPECT_EQ(run.plan.labelled, 2);
    EXPECT_EQ(run.lines.size(), 2u);
    // A sidecar that refuses (4xx) is not asked the same again and again.
    Course refused;
    refused.status = [](const AgonesRequest& request, double) { return request.call == AgonesCall::Label ? 400 : 200; };
    refused.frames(5.0, 1);
    EXPECT_EQ(refused.of(AgonesCall::Label).size(), 1u);
}

TEST(AgonesPlan, AShutdownThatGoesUnansweredIsGivenUp)
{
    Course run;
    run.frames(5.0, 2);
    run.status = [](const AgonesRequest&, double) { return 503; };
    run.frames(5.0 + AGONES_MATCH_OVER_AFTER + AGONES_SHUTDOWN_PATIENCE + AGONES_RETRY_MOST + 1.0, 0);
    EXPECT_TRUE(run.plan.finished);
    EXPECT_GE(run.of(AgonesCall::Shutdown).size(), 2u);
    EXPECT_EQ(run.lines.back(), "Agones: the shutdown went unanswered; leaving all the same");
}

TEST(AgonesPlan, GameServerRecordsAndPortsAreReadWithCare)
{
    EXPECT_EQ(agonesGameServerParse(R"({"status":{"state":"Allocated"}})").state, "Allocated");
    EXPECT_TRUE(agonesGameServerParse(R"({"status":{"state":"Ready","players":{}}})").tracksPlayers);
    EXPECT_FALSE(agonesGameServerParse(R"({"status":{"state":"Ready","players":null}})").tracksPlayers);
    for (const char* junk : {"", "{", "[]", R"({"status":7})", R"({"status":{"state":3}})", "\xff\xfe"})
        EXPECT_EQ(agonesGameServerParse(junk).state, "") << junk;

    EXPECT_EQ(agonesPortParse("9358"), 9358);
    EXPECT_EQ(agonesPortParse("65535"), 65535);
    for (const char* bad : {"", "0", "65536", "-1", "93 58", "9358x", " 9358", "99999999999"})
        EXPECT_EQ(agonesPortParse(bad), 0) << bad;
    EXPECT_EQ(agonesPortParse(nullptr), 0);
}

}  // namespace
}  // namespace netduel
