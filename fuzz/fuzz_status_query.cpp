// Fuzz target: the status query and answer parsers and the ENet datagram reader, on any
// datagram. An answer is never longer than the datagram it answers; an answer that parses
// builds back to the very same bytes (one way to write each); nothing reads past the end.
#include <cstdlib>
#include <span>
#include <vector>

#include "lobby/enet_datagram.h"
#include "lobby/lobby_host.h"
#include "lobby/status_query.h"

using namespace netduel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> datagram(data, size);
    HostStatus longest;
    longest.version = std::string(STATUS_VERSION_CHARS, 'v');
    longest.shipHeld = {true, true};
    longest.shipName = {std::string(STATUS_NAME_CHARS, 'a'), std::string(STATUS_NAME_CHARS, 'b')};
    if (const auto answer = statusAnswerFor(datagram, longest)) {
        if (answer->size() > size || !statusQueryParse(datagram)) std::abort();
    }
    if (const auto status = statusAnswerParse(datagram)) {
        const std::vector<std::uint8_t> rebuilt = statusAnswerBuild(*status);
        if (rebuilt != std::vector<std::uint8_t>(datagram.begin(), datagram.end())) std::abort();
    }
    enetDatagramOversized(datagram, LOBBY_PACKET_LIMIT);
    return 0;
}
