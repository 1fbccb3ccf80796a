// The Agones client's decisions on a clock of their own: frames at 60 Hz, each call
// answered at once by a sidecar that the test describes.
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "agones/agones.h"

namespace netduel {
namespace {

constexpr double FRAME = 1.0 / 60.0;  // s

struct Course {
    AgonesPlan plan;
    std::vector<std::pair<AgonesRequest, double>> calls;  // and when
    std::vector<std::string> lines;
    double now = 0.0;
    std::function<int(const AgonesRequest&, double)> status = [](const AgonesRequest&, double) { return 200; };
    std::string gameServer = R"({"status":{"state":"Ready"}})";

    void frames(double until, int ships)
    {
        for (; now < until && !plan.finished; now += FRAME) {
            std::optional<AgonesRequest> request = agonesPlanNext(plan, ships, now);
            if (!request) continue;
            calls.emplace_back(*request, now);
            const std::string body = request->call == AgonesCall::GameServer ? gameServer : "{}";
            std::string line = agonesPlanAnswered(plan, *request, status(*request, now), body, now);
            if (!line.empty()) lines.push_back(line);
        }
    }
    std::vector<double> times(AgonesCall call) const
    {
        std::vector<double> found;
        for (const auto& [request, at] : calls)
            if (request.call == call) found.push_back(at);
        return found;
    }
};

TEST(AgonesPlan, ReadyFirstThenHealthAtItsPeriodOnlyWhileFramesRun)
{
    Course course;
    course.frames(20.0, 0);
    EXPECT_EQ(course.calls.at(0).first.call, AgonesCall::Ready);
    EXPECT_EQ(course.times(AgonesCall::Ready).size(), 1u);
    const std::vector<double> health = course.times(AgonesCall::Health);
    ASSERT_GE(health.size(), 10u);
    for (std::size_t i = 1; i < health.size(); ++i)
        EXPECT_NEAR(health[i] - health[i - 1], AGONES_HEALTH_INTERVAL + FRAME / 2, FRAME / 2 + 1e-9) << i;
    // A stalled loop calls nothing; the first frame after it pings.
    course.now = 30.0;
    const std::size_t before = course.calls.size();
    course.frames(30.5, 0);
    EXPECT_EQ(course.calls.at(before).first.call, AgonesCall::Health);
}

TEST(AgonesPlan, ShipsAreLabelledAndTrackedAsTheyComeAndGo)
{
    for (const bool tracking : {false, true}) {
        Course course;
        if (tracking) course.gameServer = R"({"status":{"state":"Allocated","players":{"count":"0"}}})";
        const std::vector<int> held{0, 1, 2, 1, 2, 0};
        for (const int ships : held) course.frames(course.now + 3.0, ships);
        std::vector<int> labels;
        for (const auto& [request, at] : course.calls)
            if (request.call == AgonesCall::Label) labels.push_back(request.value);
        EXPECT_EQ(labels, held);
        EXPECT_EQ(course.plan.playersReported, 0);
        EXPECT_EQ(course.times(AgonesCall::Capacity).size(), tracking ? 1u : 0u);
        EXPECT_EQ(course.times(AgonesCall::PlayerConnect).size(), tracking ? 3u : 0u);
        EXPECT_EQ(course.times(AgonesCall::PlayerDisconnect).size(), tracking ? 3u : 0u);
        // Polled until allocated, then no more.
        EXPECT_EQ(course.plan.allocated, tracking);
        EXPECT_EQ(course.times(AgonesCall::GameServer).size(), tracking ? 1u : std::size_t(18.0 / AGONES_POLL_INTERVAL));
    }
}

TEST(AgonesPlan, ShutdownOnlyAfterAMatchThatHeldBothShipsStaysEmpty)
{
    const double over = AGONES_MATCH_OVER_AFTER;
    const struct {
        const char* what;
        std::vector<std::pair<double, int>> course;  // until when, ships held
        bool shutdown;
    } cases[] = {
        {"never both ships", {{5, 1}, {5 + over + 5, 0}}, false},
        {"both, then empty", {{5, 2}, {5 + over + 1, 0}}, true},
        {"empty not long enough", {{5, 2}, {5 + over - 0.1, 0}}, false},
        {"a player comes back in time", {{5, 2}, {5 + over - 1, 0}, {5 + over, 1}, {4 + 2 * over, 0}}, false},
        {"one ship still held", {{5, 2}, {5 + over + 5, 1}}, false},
    };
    for (const auto& c : cases) {
        Course course;
        for (const auto& [until, ships] : c.course) course.frames(until, ships);
        EXPECT_EQ(course.plan.finished, c.shutdown) << c.what;
        EXPECT_EQ(course.times(AgonesCall::Shutdown).size(), c.shutdown ? 1u : 0u) << c.what;
        if (c.shutdown) {
            EXPECT_EQ(course.lines.back(), "Agones: shutdown") << c.what;
        }
    }
}

TEST(AgonesPlan, AnAbsentSidecarIsRetriedWithBackOffAndCostsOneLine)
{
    Course course;
    const double upAt = 40.0;
    course.status = [&](const AgonesRequest&, double now) { return now < upAt ? 0 : 200; };
    course.frames(upAt, 2);
    const std::vector<double> tries = course.times(AgonesCall::Ready);
    ASSERT_EQ(tries.size(), course.calls.size());
    ASSERT_GE(tries.size(), 8u);
    double delay = AGONES_RETRY_LEAST;
    for (std::size_t i = 1; i < tries.size(); ++i, delay = std::min(2 * delay, AGONES_RETRY_MOST))
        EXPECT_NEAR(tries[i] - tries[i - 1], delay + FRAME / 2, FRAME / 2 + 1e-9) << i;
    EXPECT_EQ(course.lines, std::vector<std::string>{"Agones: the SDK sidecar does not answer; hosting goes on without it"});
    course.frames(upAt + AGONES_RETRY_MOST + 1.0, 2);
    EXPECT_EQ(course.plan.labelled, 2);
    EXPECT_EQ(course.lines.back(), "Agones: ready");
    // A refusal (4xx) is not asked again; a shutdown nobody answers is given up.
    course.status = [](const AgonesRequest& request, double) { return request.call == AgonesCall::Label ? 400 : 503; };
    course.frames(course.now + 2.0, 1);
    course.frames(course.now + AGONES_MATCH_OVER_AFTER + AGONES_SHUTDOWN_PATIENCE + AGONES_RETRY_MOST + 1.0, 0);
    int labelledOne = 0;
    for (const auto& [request, at] : course.calls) labelledOne += request.call == AgonesCall::Label && request.value == 1;
    EXPECT_EQ(labelledOne, 1);
    EXPECT_TRUE(course.plan.finished);
    EXPECT_EQ(course.lines.back(), "Agones: the shutdown went unanswered; leaving all the same");
}

TEST(AgonesPlan, GameServerRecordsAndPortsAreReadWithCare)
{
    EXPECT_EQ(agonesGameServerParse(R"({"status":{"state":"Allocated"}})").state, "Allocated");
    EXPECT_FALSE(agonesGameServerParse(R"({"status":{"state":"Ready","players":null}})").tracksPlayers);
    for (const char* junk : {"", "{", "[]", R"({"status":7})", R"({"status":{"state":3}})", "\xff\xfe"})
        EXPECT_EQ(agonesGameServerParse(junk).state, "") << junk;
    EXPECT_EQ(agonesPortParse("9358"), 9358);
    EXPECT_EQ(agonesPortParse("65535"), 65535);
    for (const char* bad : {"", "0", "65536", "-1", "9358x", " 9358", "99999999999"})
        EXPECT_EQ(agonesPortParse(bad), 0) << bad;
}

}  // namespace
}  // namespace netduel
