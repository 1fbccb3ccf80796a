// Port mapping: UPnP IGD, else NAT-PMP, on the worker; renewal and removal.
#include "port_map.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <sys/select.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>
#include <natpmp.h>

#include "base/status.h"

namespace netduel {

namespace {

using Clock = std::chrono::steady_clock;

constexpr char DESCRIPTION[] = "netduel";
constexpr unsigned char SSDP_TTL = 2;  // miniupnpc's advice: the LAN and one router

// One NAT-PMP request's answer, within PORTMAP_NATPMP_SECONDS.
bool natpmpAwait(natpmp_t& natpmp, natpmpresp_t& response)
{
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(PORTMAP_NATPMP_SECONDS));
    for (;;) {
        timeval timeout{};
        if (getnatpmprequesttimeout(&natpmp, &timeout) < 0) return false;
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        const long long wait = std::min<long long>(left, timeout.tv_sec * 1000000LL + timeout.tv_usec);
        timeout = {time_t(wait / 1000000), suseconds_t(wait % 1000000)};
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(natpmp.s, &readable);
        select(natpmp.s + 1, &readable, nullptr, nullptr, &timeout);
        const int result = readnatpmpresponseorretry(&natpmp, &response);
        if (result >= 0) return true;
        if (result != NATPMP_TRYAGAIN) return false;
    }
}

// Asks for `port` with `lease` (0 removes it): the mapping granted, if any.
std::optional<PortMapping> natpmpAsk(const PortMapConfig& config, std::uint16_t port, std::uint32_t lease)
{
    natpmp_t natpmp{};
    if (initnatpmp(&natpmp, config.natpmpGateway ? 1 : 0, config.natpmpGateway.value_or(0)) < 0) return std::nullopt;
    std::optional<PortMapping> mapping;
    natpmpresp_t response{};
    std::string address;
    if (lease > 0 && sendpublicaddressrequest(&natpmp) >= 0 && natpmpAwait(natpmp, response) &&
        response.type == NATPMP_RESPTYPE_PUBLICADDRESS) {
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &response.pnu.publicaddress.addr, text, sizeof text);
        address = text;
    }
    if (sendnewportmappingrequest(&natpmp, NATPMP_PROTOCOL_UDP, port, lease > 0 ? port : 0, lease) >= 0 &&
        natpmpAwait(natpmp, response) && response.type == NATPMP_RESPTYPE_UDPPORTMAPPING &&
        (lease == 0 || response.pnu.newportmapping.mappedpublicport != 0)) {
        mapping = PortMapping{PortMapVia::Natpmp, address, response.pnu.newportmapping.mappedpublicport,
                              response.pnu.newportmapping.lifetime, {}, {}};
    }
    closenatpmp(&natpmp);
    return mapping;
}

// Adds (or renews) the mapping at a known gateway; a gateway that takes only leases
// without end gets one of those.
bool upnpAdd(PortMapping& mapping, std::uint16_t port, const std::string& lanAddress)
{
    const std::string text = std::to_string(port);
    std::uint32_t lease = PORTMAP_LEASE_SECONDS;
    int result = UPNP_AddPortMapping(mapping.controlUrl.c_str(), mapping.serviceType.c_str(), text.c_str(),
                                     text.c_str(), lanAddress.c_str(), DESCRIPTION, "UDP", nullptr,
                                     std::to_string(lease).c_str());
    if (result != UPNPCOMMAND_SUCCESS) {
        lease = 0;
        result = UPNP_AddPortMapping(mapping.controlUrl.c_str(), mapping.serviceType.c_str(), text.c_str(),
                                     text.c_str(), lanAddress.c_str(), DESCRIPTION, "UDP", nullptr, "0");
    }
    mapping.leaseSeconds = lease;
    return result == UPNPCOMMAND_SUCCESS;
}

std::optional<PortMapping> upnpMap(std::uint16_t port, std::string& lanAddress)
{
    int error = 0;
    UPNPDev* devices = upnpDiscover(PORTMAP_DISCOVER_MS, nullptr, nullptr, UPNP_LOCAL_PORT_ANY, 0, SSDP_TTL, &error);
    if (!devices) return std::nullopt;
    UPNPUrls urls{};
    IGDdatas data{};
    char lan[64] = {};
    const int found = UPNP_GetValidIGD(devices, &urls, &data, lan, sizeof lan);
    freeUPNPDevlist(devices);
    std::optional<PortMapping> mapping;
    if (found == 1) {
        PortMapping granted{PortMapVia::Upnp, {}, port, 0, urls.controlURL, data.first.servicetype};
        char external[40] = {};
        if (UPNP_GetExternalIPAddress(urls.controlURL, data.first.servicetype, external) == UPNPCOMMAND_SUCCESS)
            granted.externalAddress = external;
        lanAddress = lan;
        if (upnpAdd(granted, port, lanAddress)) mapping = granted;
    }
    if (found != 0) FreeUPNPUrls(&urls);
    return mapping;
}

// True when an IPv4 interface other than loopback is up: without one no gateway can
// answer, and a UPnP search would only print its failed sends.
bool lanInterfaceUp()
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return true;  // unknown: try
    bool up = false;
    for (const ifaddrs* entry = list; entry && !up; entry = entry->ifa_next)
        up = entry->ifa_addr && entry->ifa_addr->sa_family == AF_INET && (entry->ifa_flags & IFF_UP) &&
             !(entry->ifa_flags & IFF_LOOPBACK);
    freeifaddrs(list);
    return up;
}

// A first mapping: UPnP IGD, else NAT-PMP.
PortMapping mapFirst(const PortMapConfig& config, std::uint16_t port, std::string& lanAddress)
{
    if (config.upnp && lanInterfaceUp())
        if (const auto mapping = upnpMap(port, lanAddress)) return *mapping;
    if (config.natpmp)
        if (const auto mapping = natpmpAsk(config, port, PORTMAP_LEASE_SECONDS)) return *mapping;
    return {};
}

void portMapperWork(PortMapper& mapper)
{
    const PortMapConfig config = mapper.config;
    const std::uint16_t port = mapper.port;
    std::string lanAddress;
    PortMapping mapping = mapFirst(config, port, lanAddress);
    std::unique_lock guard(mapper.lock);
    mapper.mapping = mapping;
    mapper.line = portMapLine(mapping, port);
    mapper.settled = true;
    for (;;) {
        const std::optional<double> renew = portMapRenewAfter(mapping);
        const auto due = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                            std::chrono::duration<double>(renew.value_or(0.0)));
        const auto stopped = [&] { return mapper.stop; };
        if (renew) mapper.wake.wait_until(guard, due, stopped);
        else mapper.wake.wait(guard, stopped);
        if (mapper.stop) break;
        guard.unlock();
        // Renewed where it was granted; lost there, it is asked for afresh.
        bool renewed = false;
        if (mapping.via == PortMapVia::Upnp) renewed = upnpAdd(mapping, port, lanAddress);
        if (mapping.via == PortMapVia::Natpmp)
            if (const auto again = natpmpAsk(config, port, PORTMAP_LEASE_SECONDS)) {
                mapping = *again;
                renewed = true;
            }
        if (!renewed) mapping = mapFirst(config, port, lanAddress);
        guard.lock();
        mapper.mapping = mapping;
    }
    guard.unlock();
    if (mapping.via == PortMapVia::Upnp)
        UPNP_DeletePortMapping(mapping.controlUrl.c_str(), mapping.serviceType.c_str(),
                               std::to_string(mapping.externalPort).c_str(), "UDP", nullptr);
    if (mapping.via == PortMapVia::Natpmp) natpmpAsk(config, port, 0);
}

}  // namespace

std::optional<double> portMapRenewAfter(const PortMapping& mapping)
{
    if (mapping.via == PortMapVia::None) return std::nullopt;
    if (mapping.leaseSeconds == 0) return std::nullopt;
    return mapping.leaseSeconds * PORTMAP_RENEW_SHARE;
}

std::string portMapLine(const PortMapping& mapping, std::uint16_t port)
{
    if (mapping.via == PortMapVia::None)
        return "No gateway answered a port mapping request (UPnP IGD, NAT-PMP): UDP port " + std::to_string(port) +
               " is reached from the internet only if forwarded by hand.";
    const std::string address = mapping.externalAddress.empty() ? "?" : statusEscape(mapping.externalAddress);
    return "The world reaches this host at " + address + ":" + std::to_string(mapping.externalPort) + " (UDP, mapped by " +
           (mapping.via == PortMapVia::Upnp ? "UPnP IGD" : "NAT-PMP") + ").";
}

void portMapperStart(PortMapper& mapper, std::uint16_t port, const PortMapConfig& config)
{
    portMapperStop(mapper);
    mapper.config = config;
    mapper.port = port;
    mapper.stop = false;
    mapper.settled = false;
    mapper.mapping = {};
    mapper.line.clear();
    mapper.worker = std::thread(portMapperWork, std::ref(mapper));
}

std::optional<std::uint16_t> portMapperTick(PortMapper& mapper)
{
    if (!mapper.worker.joinable()) return 0;
    const std::lock_guard guard(mapper.lock);
    if (!mapper.settled) return std::nullopt;
    if (!mapper.line.empty()) {
        statusWrite(mapper.line, true);
        mapper.line.clear();
    }
    return mapper.mapping.via == PortMapVia::None ? mapper.port : mapper.mapping.externalPort;
}

void portMapperStop(PortMapper& mapper)
{
    if (!mapper.worker.joinable()) return;
    {
        const std::lock_guard guard(mapper.lock);
        mapper.stop = true;
    }
    mapper.wake.notify_one();
    mapper.worker.join();
}

}  // namespace netduel
