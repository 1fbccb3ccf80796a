// The Agones client's I/O: one worker thread makes the plan's calls with cpp-httplib, one
// at a time, while the frame loop only posts a call and picks up its outcome. On the frame
// thread a stalled sidecar would hold the match for a whole time-out; on the worker it
// delays only the next call. The frame loop still decides each health ping, so the pings
// stop when the loop stalls, not when the sidecar does.
#include "agones.h"

#include <charconv>
#include <cstring>

#include <httplib.h>

#include "base/status.h"

namespace netduel {
namespace {

// The sidecar runs in the same pod: a connect either succeeds at once or is refused.
constexpr time_t CONNECT_TIMEOUT_US = 500'000;
constexpr time_t EXCHANGE_TIMEOUT_S = 1;  // reading or writing one call

// The HTTP status of `request` against the sidecar, 0 when nothing answered in time or
// the answer was longer than AGONES_ANSWER_MAX; the answer's body in `body`.
int exchange(httplib::Client& client, const AgonesRequest& request, std::string& body)
{
    httplib::Request out;
    out.method = request.method;
    out.path = request.path;
    if (!request.body.empty()) {
        out.body = request.body;
        out.set_header("Content-Type", "application/json");
    }
    bool tooLong = false;
    out.content_receiver = [&](const char* data, std::size_t length, std::uint64_t, std::uint64_t) {
        tooLong = body.size() + length > AGONES_ANSWER_MAX;
        if (!tooLong) body.append(data, length);
        return !tooLong;
    };
    httplib::Response answer;
    httplib::Error error = httplib::Error::Success;
    if (!client.send(out, answer, error) || tooLong) return 0;
    return answer.status;
}

void agonesWork(AgonesSdk* sdk)
{
    httplib::Client client("127.0.0.1", sdk->port);
    client.set_connection_timeout(0, CONNECT_TIMEOUT_US);
    client.set_read_timeout(EXCHANGE_TIMEOUT_S, 0);
    client.set_write_timeout(EXCHANGE_TIMEOUT_S, 0);
    client.set_keep_alive(true);
    AgonesLink& link = sdk->link;
    for (;;) {
        AgonesRequest request;
        {
            std::unique_lock<std::mutex> held(link.lock);
            link.wake.wait(held, [&] { return link.stop || link.request.has_value(); });
            if (link.stop) return;
            request = std::move(*link.request);
            link.request.reset();
        }
        std::string body;
        const int status = exchange(client, request, body);
        std::lock_guard<std::mutex> held(link.lock);
        link.answered = true;
        link.status = status;
        link.body = std::move(body);
    }
}

}  // namespace

std::uint16_t agonesPortParse(const char* value)
{
    if (!value) return 0;
    const char* end = value + std::strlen(value);
    unsigned port = 0;
    const auto [stop, error] = std::from_chars(value, end, port);
    if (error != std::errc() || stop != end || port == 0 || port > 65535) return 0;
    return static_cast<std::uint16_t>(port);
}

bool agonesOpen(AgonesSdk& sdk, const char* portValue)
{
    if (!portValue || !*portValue) return false;
    sdk.port = agonesPortParse(portValue);
    if (sdk.port == 0) {
        statusWrite(std::string("Agones: ") + AGONES_PORT_VARIABLE + " is no port: " + statusEscape(portValue), true);
        return false;
    }
    sdk.active = true;
    sdk.plan = AgonesPlan{};
    sdk.worker = std::thread(agonesWork, &sdk);
    statusWrite("Agones: SDK on port " + std::to_string(sdk.port), true);
    return true;
}

void agonesFrame(AgonesSdk& sdk, int shipsHeld, double now)
{
    if (!sdk.active) return;
    std::string line;
    {
        std::lock_guard<std::mutex> held(sdk.link.lock);
        if (sdk.link.answered) {
            sdk.link.answered = false;
            line = agonesPlanAnswered(sdk.plan, sdk.out, sdk.link.status, sdk.link.body, now);
        }
    }
    if (!line.empty()) statusWrite(line, true);
    std::optional<AgonesRequest> next = agonesPlanNext(sdk.plan, shipsHeld, now);
    if (!next) return;
    sdk.out = *next;
    {
        std::lock_guard<std::mutex> held(sdk.link.lock);
        sdk.link.request = std::move(*next);
    }
    sdk.link.wake.notify_one();
}

bool agonesFinished(const AgonesSdk& sdk) { return sdk.active && sdk.plan.finished; }

void agonesClose(AgonesSdk& sdk)
{
    if (sdk.worker.joinable()) {
        {
            std::lock_guard<std::mutex> held(sdk.link.lock);
            sdk.link.stop = true;
        }
        sdk.link.wake.notify_one();
        sdk.worker.join();
    }
    sdk.active = false;
}

}  // namespace netduel
