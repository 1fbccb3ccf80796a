// The list server: registrations and full-list reads a second, in the table alone on
// one thread and over real sockets against the real `netduel --list-server` held to one
// core; its memory with 10,000 listed hosts; the status queries it sends per
// registration and their size beside the registration's. Run it in a network namespace
// of its own (it speaks from many 127.x.y.z addresses): see README.md.
#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <benchmark/benchmark.h>
#include <memory>
#include <mutex>
#include <thread>

#include "child_process.h"
#include "hostlist/host_list.h"
#include "hostlist/http_exchange.h"
#include "proc_status.h"

using namespace netduel;

namespace {

constexpr std::uint16_t LIST_PORT = 43280;
constexpr std::uint16_t STAND_IN_FIRST_PORT = 43201;  // the stand-in answers on these
constexpr int STAND_IN_PORTS = int(HOSTLIST_PORTS_PER_ADDRESS);

std::uint32_t loopback(int b, int c, int d) { return htonl((127u << 24) | (std::uint32_t(b) << 16) | (c << 8) | d); }

// ---- the table alone ----

std::vector<std::uint8_t> answerFor(const StatusQuery& query)
{
    HostStatus status;
    status.nonce = *statusQueryParse(query);
    status.maxPlayers = 25;
    status.version = NETDUEL_VERSION;
    status.shipHeld = {true, false};
    status.shipName = {"player-with-a-long-name", {}};
    return statusAnswerBuild(status);
}

// Lists `count` hosts, 16 ports per address, answering each check at once; each
// address registers one port every half second, within its allowance.
void fill(HostList& list, int count, double& now)
{
    std::uint32_t nonce = 1;
    for (int port = 0; port < STAND_IN_PORTS; ++port, now += 0.5) {
        for (int i = port; i < count; i += STAND_IN_PORTS) {
            const std::uint32_t from = loopback(1 + i / (256 * 16) % 200, i / 16 % 256, 1);
            const std::uint16_t game = std::uint16_t(STAND_IN_FIRST_PORT + port);
            const std::string body =
                "{\"port\": " + std::to_string(game) + ", \"name\": \"host" + std::to_string(i) + "\"}";
            const HostListReply reply = hostListHandle(list, {"POST", "/hosts", body, from, 180}, now, ++nonce);
            if (reply.check) hostListAnswer(list, from, game, answerFor(reply.check->query), now);
        }
    }
}

void BM_TableRegistrations(benchmark::State& state)
{
    HostList list;
    double now = 0.0;
    std::uint32_t i = 0;
    std::uint64_t queries = 0;
    for (auto _ : state) {
        const std::uint32_t from = loopback(1 + i / 65536 % 200, i / 256 % 256, i % 256);
        const HostListReply reply = hostListHandle(list, {"POST", "/hosts", R"({"port": 42069})", from, 180}, now, i);
        if (reply.check) {
            ++queries;
            hostListAnswer(list, from, 42069, answerFor(reply.check->query), now);
        }
        now += 1.0 / 200.0;  // 200 new hosts a second: some 8,000 listed in the steady state
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["queries_per_registration"] = double(queries) / double(state.iterations());
    state.counters["listed"] = double(list.hosts.size());
}
BENCHMARK(BM_TableRegistrations)->Iterations(200000);

void BM_TableFullListReads(benchmark::State& state)
{
    HostList list;
    double now = 0.0;
    fill(list, int(state.range(0)), now);
    std::uint32_t i = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        const HostListReply reply = hostListHandle(list, {"GET", "/hosts", {}, loopback(100, i / 256 % 256, i % 256), 80}, now, 0);
        bytes = reply.body.size();
        benchmark::DoNotOptimize(reply.body.data());
        now += 1.0 / 5000.0;  // a new page each second, as the server renders it
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["body_bytes"] = double(bytes);
}
BENCHMARK(BM_TableFullListReads)->Arg(1000)->Iterations(50000);

// Rendering the page afresh every time: what a read costs the first time in a second.
void BM_TableFullListRender(benchmark::State& state)
{
    HostList list;
    double now = 0.0;
    fill(list, int(state.range(0)), now);
    for (auto _ : state) {
        ++list.generation;
        benchmark::DoNotOptimize(hostListJson(list, now).data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TableFullListRender)->Arg(1000)->Iterations(500);

void BM_TableMemory(benchmark::State& state)
{
    for (auto _ : state) {
        const std::size_t before = mallinfo2().uordblks;
        auto list = std::make_unique<HostList>();
        double now = 0.0;
        fill(*list, int(state.range(0)), now);
        hostListJson(*list, now);
        hostListHtml(*list, now);
        state.counters["listed"] = double(list->hosts.size());
        state.counters["heap_MB"] = double(mallinfo2().uordblks - before) / 1e6;
    }
}
BENCHMARK(BM_TableMemory)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

// ---- the real list server ----

// Answers every status query on its ports from the address it was sent to, as that many
// hosts behind as many addresses would; counts the queries and their bytes.
struct StandIn {
    std::vector<int> sockets;
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> queries{0}, queryBytes{0};
    std::thread thread;

    StandIn()
    {
        for (int k = 0; k < STAND_IN_PORTS; ++k) {
            const int s = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
            const int on = 1, buffer = 4 << 20;
            setsockopt(s, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
            setsockopt(s, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
            sockaddr_in address{AF_INET, htons(std::uint16_t(STAND_IN_FIRST_PORT + k)), {INADDR_ANY}, {}};
            bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
            sockets.push_back(s);
        }
        thread = std::thread([this] { serve(); });
    }
    ~StandIn()
    {
        stop = true;
        thread.join();
        for (int s : sockets) close(s);
    }
    void serve()
    {
        std::vector<pollfd> ready;
        for (int s : sockets) ready.push_back({s, POLLIN, 0});
        while (!stop) {
            if (poll(ready.data(), ready.size(), 50) <= 0) continue;
            for (const pollfd& one : ready)
                while (answerOne(one.fd)) {
                }
        }
    }
    bool answerOne(int s)
    {
        std::uint8_t bytes[512];
        char control[64];
        sockaddr_in from{};
        iovec data{bytes, sizeof bytes};
        msghdr message{&from, sizeof from, &data, 1, control, sizeof control, 0};
        const ssize_t count = recvmsg(s, &message, 0);
        if (count <= 0) return false;
        in_pktinfo info{};
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c))
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) std::memcpy(&info, CMSG_DATA(c), sizeof info);
        const auto query = statusQueryParse(std::span(bytes, std::size_t(count)));
        if (!query) return true;
        ++queries;
        queryBytes += std::uint64_t(count);
        StatusQuery asked{};
        std::memcpy(asked.data(), bytes, asked.size());
        std::vector<std::uint8_t> reply = answerFor(asked);
        // Sent from the address the query went to, as a host there would answer.
        char replyControl[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        iovec out{reply.data(), reply.size()};
        msghdr answer{&from, sizeof from, &out, 1, replyControl, sizeof replyControl, 0};
        cmsghdr* c = CMSG_FIRSTHDR(&answer);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo source{};
        source.ipi_spec_dst = info.ipi_addr;
        std::memcpy(CMSG_DATA(c), &source, sizeof source);
        sendmsg(s, &answer, 0);
        return true;
    }
};

// One request from `source`, the whole reply read; its status, 0 when it failed.
int request(std::uint32_t source, const std::string& text, std::size_t* replyBytes = nullptr,
            std::string* replyText = nullptr)
{
    const std::string reply = httpExchange(source, LIST_PORT, text);
    if (replyBytes) *replyBytes = reply.size();
    if (replyText) *replyText = reply;
    return httpStatus(reply);
}

std::string registration(std::uint16_t port)
{
    const std::string body = "{\"port\": " + std::to_string(port) + "}";
    return "POST /hosts HTTP/1.1\r\nHost: list\r\nUser-Agent: bench\r\nContent-Type: application/json\r\n"
           "Connection: close\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}
const std::string READ = "GET /hosts HTTP/1.1\r\nHost: list\r\nConnection: close\r\n\r\n";

// The list server on CPU 0 (the clients keep to CPU 1), started once.
struct Server {
    Process process;
    StandIn standIn;
    bool up = false;
    Server()
    {
        start(process, {"taskset", "-c", "0", NETDUEL_EXE, "--list-server", "--port", std::to_string(LIST_PORT)}, "");
        up = process.await("List server running");
    }
};
Server& server()
{
    static Server one;
    return one;
}

void toSecondCore()
{
    if (std::thread::hardware_concurrency() < 2) return;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(1, &set);
    pthread_setaffinity_np(pthread_self(), sizeof set, &set);
}

// Registers hosts until `count` are listed, 16 ports an address, each address one port
// every half second (within its allowance).
bool listHosts(int count, int firstB)
{
    for (int port = 0; port < STAND_IN_PORTS; ++port) {
        const auto round = Clock::now();
        for (int i = port; i < count; i += STAND_IN_PORTS)
            request(loopback(firstB + i / (16 * 256), i / 16 % 256, 1),
                    registration(std::uint16_t(STAND_IN_FIRST_PORT + port)));
        std::this_thread::sleep_until(round + std::chrono::milliseconds(500));
    }
    const auto deadline = Clock::now() + DEADLINE;
    std::uint32_t reader = 0;
    while (Clock::now() < deadline) {
        std::string body;
        request(loopback(250, reader / 256 % 256, reader % 256), READ, nullptr, &body);
        ++reader;
        if (std::count(body.begin(), body.end(), '{') >= count) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

void BM_ServerRegistrations(benchmark::State& state)
{
    toSecondCore();
    if (state.thread_index() == 0 && !server().up) state.SkipWithError("the list server did not start");
    std::uint32_t i = 0;
    int refused = 0;
    const int b = 10 + state.thread_index();
    for (auto _ : state) {
        // A new address each time: the per-address allowance is not what is measured.
        refused += request(loopback(b, i / 256 % 256, i % 256), registration(std::uint16_t(1 + i % 16))) != 202;
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["refused"] = benchmark::Counter(refused, benchmark::Counter::kAvgThreads);
}
BENCHMARK(BM_ServerRegistrations)->Threads(4)->Iterations(2000)->UseRealTime();

void BM_ServerFullListReads(benchmark::State& state)
{
    toSecondCore();
    if (state.thread_index() == 0) {
        if (!server().up || !listHosts(int(state.range(0)), 30)) state.SkipWithError("the hosts were not listed");
    }
    std::uint32_t i = 0;
    std::size_t bytes = 0;
    int refused = 0;
    const int b = 20 + state.thread_index();
    for (auto _ : state) {
        refused += request(loopback(b, i / 256 % 256, i % 256), READ, &bytes) != 200;
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["reply_bytes"] = benchmark::Counter(double(bytes), benchmark::Counter::kAvgThreads);
    state.counters["refused"] = benchmark::Counter(refused, benchmark::Counter::kAvgThreads);
}
BENCHMARK(BM_ServerFullListReads)->Arg(1000)->Threads(4)->Iterations(5000)->UseRealTime();

// 10,000 listed hosts: the server's resident memory, and the queries it sent for them.
void BM_ServerMemory(benchmark::State& state)
{
    for (auto _ : state) {
        Server& s = server();
        const std::uint64_t queriesBefore = s.standIn.queries;
        if (!s.up || !listHosts(int(state.range(0)), 60)) state.SkipWithError("the hosts were not listed");
        const std::uint64_t queries = s.standIn.queries - queriesBefore;
        state.counters["queries_per_registration"] = double(queries) / double(state.range(0));
        state.counters["query_bytes"] = queries ? double(s.standIn.queryBytes) / double(s.standIn.queries) : 0.0;
        state.counters["registration_bytes"] = double(registration(STAND_IN_FIRST_PORT).size());
        state.counters["rss_MB"] = double(procStatusKb(std::to_string(s.process.pid), "VmRSS")) / 1024.0;
        state.counters["peak_rss_MB"] = double(procStatusKb(std::to_string(s.process.pid), "VmHWM")) / 1024.0;
    }
}
BENCHMARK(BM_ServerMemory)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
