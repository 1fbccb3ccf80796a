// Fuzz target: the list server's request handling and its reading of status answers, on
// one list that lives across inputs. Input: a method byte, a path and a body split at
// the first two NULs, then the rest as a datagram from the address checked last. A check
// is never longer than the request that asked for it; every refusal is one line; no list
// ever holds more hosts than its bound.
#include <cstdlib>
#include <span>
#include <string_view>

#include "hostlist/host_list.h"

using namespace netduel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static HostList list;
    static double now = 0.0;
    static std::uint32_t nonce = 0;
    if (size == 0) return 0;
    constexpr std::string_view METHODS[] = {"GET", "POST", "PUT", "DELETE"};
    const std::string_view method = METHODS[data[0] % 4];
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t pathEnd = std::min(rest.find('\0'), rest.size());
    const std::string_view path = rest.substr(0, pathEnd);
    const std::string_view tail = rest.substr(std::min(pathEnd + 1, rest.size()));
    const std::size_t bodyEnd = std::min(tail.find('\0'), tail.size());
    const std::string_view body = tail.substr(0, bodyEnd);
    const std::string_view datagram = tail.substr(std::min(bodyEnd + 1, tail.size()));
    const std::uint32_t from = 0x0100007F + (std::uint32_t(data[0] >> 2) << 24);  // a few addresses
    now += 0.25 * (data[0] & 3);
    const HostListReply reply = hostListHandle(list, {method, path, body, from, size}, now, ++nonce);
    if (reply.check) {
        if (reply.check->query.size() > size || reply.status != 202) std::abort();
        const auto bytes = reinterpret_cast<const std::uint8_t*>(datagram.data());
        hostListAnswer(list, reply.check->address, reply.check->port, std::span(bytes, datagram.size()), now);
    }
    if (reply.status != 200 && reply.body.find('\n') != reply.body.size() - 1) std::abort();
    if (list.hosts.size() + list.pending.size() > HOSTLIST_HOSTS_MAX) std::abort();
    return 0;
}
