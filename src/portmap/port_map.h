// The router opened by the host itself: a UDP mapping of the game port asked of the
// gateway with UPnP IGD (miniupnpc), else NAT-PMP (libnatpmp), renewed before its lease
// ends and removed when the host stops. The gateway is asked from a thread of its own, so
// that a slow or silent one never holds up a frame.
#pragma once

#include <arpa/inet.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace netduel {

// The lease asked for, seconds: an hour, renewed at half of what the gateway granted.
inline constexpr std::uint32_t PORTMAP_LEASE_SECONDS = 3600;
inline constexpr double PORTMAP_RENEW_SHARE = 0.5;
// Longest a UPnP search listens for gateways, ms: they answer within a few hundred.
inline constexpr int PORTMAP_DISCOVER_MS = 2000;
// Longest NAT-PMP waits for the gateway's answers to one request, seconds (libnatpmp's
// own retries would wait two minutes).
inline constexpr double PORTMAP_NATPMP_SECONDS = 2.0;

enum class PortMapVia { None, Upnp, Natpmp };

// A mapping the gateway granted.
struct PortMapping {
    PortMapVia via = PortMapVia::None;
    std::string externalAddress;  // dotted IPv4 the world sees; empty when the gateway kept it back
    std::uint16_t externalPort = 0;
    std::uint32_t leaseSeconds = 0;  // granted; 0: as long as the gateway runs
    std::string controlUrl, serviceType;  // UPnP: where it was asked, to renew and remove it
};

// Where to ask; tests point NAT-PMP at a stand-in and leave UPnP out.
struct PortMapConfig {
    bool upnp = true;
    bool natpmp = true;
    std::optional<in_addr_t> natpmpGateway;  // none: the default route's gateway
};

// The worker's state between the frame and its thread.
struct PortMapper {
    PortMapConfig config;
    std::uint16_t port = 0;  // the game's UDP port
    std::thread worker;
    std::mutex lock;
    std::condition_variable wake;
    bool stop = false;
    bool settled = false;  // the first answer (or its absence) is in
    PortMapping mapping;   // via None: no gateway answered
    std::string line;      // the status line to tell, once
};

// Seconds after a grant at which it is renewed; none for a lease without end.
std::optional<double> portMapRenewAfter(const PortMapping& mapping);

// The one status line for `mapping` of `port`: what the world sees, or that no gateway
// answered.
std::string portMapLine(const PortMapping& mapping, std::uint16_t port);

// Starts asking the gateway for `port` (UDP) from the worker. Never fails.
void portMapperStart(PortMapper& mapper, std::uint16_t port, const PortMapConfig& config = {});

// From the frame, never blocking: writes the worker's status line once it is in. The
// port the world reaches once settled (the mapped one, else `port`); nothing before;
// 0 for a mapper never started (no mapping asked: the host's own port).
std::optional<std::uint16_t> portMapperTick(PortMapper& mapper);

// Removes the mapping (waiting for the gateway at most its time-outs) and ends the
// worker; safe in any state.
void portMapperStop(PortMapper& mapper);

}  // namespace netduel
