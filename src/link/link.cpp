// Link worker: one thread that reads both sides' datagrams, queues each copy by its due
// time and sends it when due, sleeping in a timed poll until the next one.
#include "link/link.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <queue>
#include <thread>
#include <vector>

#include "base/status.h"

namespace netduel {

namespace {

// One client address and its own socket, connected to the host.
struct LinkSession {
    std::uint64_t id = 0;
    sockaddr_in client{};
    int socket = -1;
    double lastHeard = 0.0;  // s
};

struct LinkDatagram {
    double due = 0.0;        // s
    std::uint64_t order = 0; // ties go first in, first out
    LinkDirection direction = LINK_TO_HOST;
    std::uint64_t session = 0;
    std::vector<std::uint8_t> bytes;
};

struct DueLater {
    bool operator()(const LinkDatagram& a, const LinkDatagram& b) const
    {
        return a.due != b.due ? a.due > b.due : a.order > b.order;
    }
};

struct AtomicCounts {
    std::atomic<std::uint64_t> sent{0}, dropped{0}, duplicated{0}, delivered{0};
};

double linkClock()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

bool linkResolve(const std::string& name, std::uint16_t port, sockaddr_in& out)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || !found) {
        statusWrite("Link: cannot resolve " + statusEscape(name), true);
        return false;
    }
    std::memcpy(&out, found->ai_addr, sizeof out);
    freeaddrinfo(found);
    out.sin_port = htons(port);
    return true;
}

std::string linkAddressText(const sockaddr_in& address)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

bool sameAddress(const sockaddr_in& a, const sockaddr_in& b)
{
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

}  // namespace

struct LinkWorker {
    LinkConfig config;
    sockaddr_in host{};
    int listenSocket = -1;
    std::uint16_t port = 0;
    std::vector<LinkSession> sessions;
    std::uint64_t nextSession = 1;
    std::priority_queue<LinkDatagram, std::vector<LinkDatagram>, DueLater> queue;
    std::uint64_t nextOrder = 0;
    std::mt19937_64 random[2];
    double lastDue[2] = {};
    AtomicCounts counts[2];
    std::atomic<bool> stop{false};
    std::thread thread;
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(LINK_DATAGRAM_MAX);
};

namespace {

LinkSession* sessionById(LinkWorker& worker, std::uint64_t id)
{
    for (LinkSession& session : worker.sessions) {
        if (session.id == id) return &session;
    }
    return nullptr;
}

// The session of a client address, opened on its first datagram; null past the limit or
// when no socket towards the host can be made.
LinkSession* sessionFor(LinkWorker& worker, const sockaddr_in& client)
{
    for (LinkSession& session : worker.sessions) {
        if (sameAddress(session.client, client)) return &session;
    }
    if (worker.sessions.size() >= std::size_t(LINK_SESSIONS_MAX)) return nullptr;
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&worker.host), sizeof worker.host) != 0) {
        close(fd);
        return nullptr;
    }
    LinkSession& session = worker.sessions.emplace_back();
    session.id = worker.nextSession++;
    session.client = client;
    session.socket = fd;
    return &session;
}

void sessionsExpire(LinkWorker& worker, double now)
{
    std::erase_if(worker.sessions, [&](const LinkSession& session) {
        if (now - session.lastHeard < LINK_SESSION_IDLE) return false;
        close(session.socket);
        return true;
    });
}

// A datagram entered `direction` at `now`: decide its fate and queue its copies.
void linkAdmit(LinkWorker& worker, LinkDirection direction, std::uint64_t session,
               std::size_t length, double now)
{
    AtomicCounts& counts = worker.counts[direction];
    ++counts.sent;
    const LinkFate fate = linkFate(worker.config.impairment[direction], worker.random[direction],
                                   now, worker.lastDue[direction]);
    if (fate.copies == 0 || worker.queue.size() + fate.copies > LINK_QUEUE_MAX) {
        ++counts.dropped;
        return;
    }
    if (fate.copies == 2) ++counts.duplicated;
    for (int copy = 0; copy < fate.copies; ++copy) {
        LinkDatagram datagram;
        datagram.due = fate.due[copy];
        datagram.order = worker.nextOrder++;
        datagram.direction = direction;
        datagram.session = session;
        datagram.bytes.assign(worker.buffer.begin(), worker.buffer.begin() + long(length));
        worker.queue.push(std::move(datagram));
    }
}

void readClients(LinkWorker& worker, double now)
{
    for (int i = 0; i < LINK_READ_BURST; ++i) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t length = recvfrom(worker.listenSocket, worker.buffer.data(), worker.buffer.size(),
                                        0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (length < 0) return;
        LinkSession* session = sessionFor(worker, from);
        if (!session) {
            ++worker.counts[LINK_TO_HOST].sent;
            ++worker.counts[LINK_TO_HOST].dropped;
            continue;
        }
        session->lastHeard = now;
        linkAdmit(worker, LINK_TO_HOST, session->id, std::size_t(length), now);
    }
}

void readHost(LinkWorker& worker, LinkSession& session, double now)
{
    for (int i = 0; i < LINK_READ_BURST; ++i) {
        const ssize_t length = recv(session.socket, worker.buffer.data(), worker.buffer.size(), 0);
        if (length < 0) return;
        linkAdmit(worker, LINK_TO_CLIENT, session.id, std::size_t(length), now);
    }
}

// Sends every copy that is due by `now`; a copy whose session is gone is dropped.
void deliverDue(LinkWorker& worker, double now)
{
    while (!worker.queue.empty() && worker.queue.top().due <= now) {
        const LinkDatagram& datagram = worker.queue.top();
        const LinkSession* session = sessionById(worker, datagram.session);
        AtomicCounts& counts = worker.counts[datagram.direction];
        ssize_t sent = -1;
        if (session && datagram.direction == LINK_TO_HOST) {
            sent = send(session->socket, datagram.bytes.data(), datagram.bytes.size(), 0);
        } else if (session) {
            sent = sendto(worker.listenSocket, datagram.bytes.data(), datagram.bytes.size(), 0,
                          reinterpret_cast<const sockaddr*>(&session->client), sizeof session->client);
        }
        ++(sent >= 0 ? counts.delivered : counts.dropped);
        worker.queue.pop();
    }
}

void linkRun(LinkWorker& worker)
{
    std::vector<pollfd> polls;
    double nextExpiry = linkClock() + 1.0;
    while (!worker.stop.load(std::memory_order_relaxed)) {
        double now = linkClock();
        deliverDue(worker, now);
        double wait = LINK_POLL_MAX;
        if (!worker.queue.empty()) wait = std::min(wait, std::max(worker.queue.top().due - now, 0.0));
        polls.assign(1, pollfd{worker.listenSocket, POLLIN, 0});
        for (const LinkSession& session : worker.sessions) polls.push_back({session.socket, POLLIN, 0});
        const timespec timeout{0, long(wait * 1e9)};
        if (ppoll(polls.data(), polls.size(), &timeout, nullptr) <= 0) continue;
        now = linkClock();
        if (polls[0].revents) readClients(worker, now);
        // The sessions opened by readClients have no entry in polls yet: they wait a turn.
        for (std::size_t i = 1; i < polls.size(); ++i) {
            if (polls[i].revents) readHost(worker, worker.sessions[i - 1], now);
        }
        if (now >= nextExpiry) {
            sessionsExpire(worker, now);
            nextExpiry = now + 1.0;
        }
    }
}

}  // namespace

bool linkStart(Link& link, const LinkConfig& config)
{
    linkStop(link);
    auto* worker = new LinkWorker;
    worker->config = config;
    worker->random[LINK_TO_HOST].seed(config.seed);
    worker->random[LINK_TO_CLIENT].seed(config.seed ^ 0x9E3779B97F4A7C15ull);
    link.worker = worker;
    sockaddr_in listen{};
    if (!linkResolve(config.listenAddress, config.listenPort, listen) ||
        !linkResolve(config.hostAddress, config.hostPort, worker->host)) {
        linkStop(link);
        return false;
    }
    worker->listenSocket = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    socklen_t length = sizeof listen;
    if (worker->listenSocket < 0 ||
        bind(worker->listenSocket, reinterpret_cast<const sockaddr*>(&listen), sizeof listen) != 0 ||
        getsockname(worker->listenSocket, reinterpret_cast<sockaddr*>(&listen), &length) != 0) {
        statusWrite("Link: cannot listen on " + linkAddressText(listen) + ": " + std::strerror(errno), true);
        linkStop(link);
        return false;
    }
    worker->port = ntohs(listen.sin_port);
    worker->thread = std::thread(linkRun, std::ref(*worker));
    return true;
}

std::uint16_t linkPort(const Link& link)
{
    return link.worker ? link.worker->port : 0;
}

LinkCounts linkCounts(const Link& link, LinkDirection direction)
{
    LinkCounts out;
    if (!link.worker) return out;
    const AtomicCounts& counts = link.worker->counts[direction];
    out.sent = counts.sent.load();
    out.dropped = counts.dropped.load();
    out.duplicated = counts.duplicated.load();
    out.delivered = counts.delivered.load();
    return out;
}

void linkStop(Link& link)
{
    LinkWorker* worker = link.worker;
    if (!worker) return;
    worker->stop = true;
    if (worker->thread.joinable()) worker->thread.join();
    for (const LinkSession& session : worker->sessions) close(session.socket);
    if (worker->listenSocket >= 0) close(worker->listenSocket);
    delete worker;
    link.worker = nullptr;
}

}  // namespace netduel
