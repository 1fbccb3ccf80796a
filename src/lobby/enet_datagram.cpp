// ENet datagrams read before ENet reads them.
#include "enet_datagram.h"

#include <cstddef>

#include <enet/enet.h>

namespace netduel {

namespace {

std::uint32_t bigEndian(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t count)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i) value = value << 8 | bytes[at + i];
    return value;
}

// Where a payload-carrying command keeps its 16-bit data length; 0 for the others.
std::size_t dataLengthOffset(unsigned number)
{
    switch (number) {
    case ENET_PROTOCOL_COMMAND_SEND_RELIABLE: return offsetof(ENetProtocolSendReliable, dataLength);
    case ENET_PROTOCOL_COMMAND_SEND_UNRELIABLE: return offsetof(ENetProtocolSendUnreliable, dataLength);
    case ENET_PROTOCOL_COMMAND_SEND_UNSEQUENCED: return offsetof(ENetProtocolSendUnsequenced, dataLength);
    case ENET_PROTOCOL_COMMAND_SEND_FRAGMENT:
    case ENET_PROTOCOL_COMMAND_SEND_UNRELIABLE_FRAGMENT: return offsetof(ENetProtocolSendFragment, dataLength);
    default: return 0;
    }
}

bool isFragment(unsigned number)
{
    return number == ENET_PROTOCOL_COMMAND_SEND_FRAGMENT ||
           number == ENET_PROTOCOL_COMMAND_SEND_UNRELIABLE_FRAGMENT;
}

}  // namespace

bool enetDatagramOversized(std::span<const std::uint8_t> datagram, std::size_t packetLimit)
{
    if (datagram.size() < offsetof(ENetProtocolHeader, sentTime)) return false;
    const std::uint32_t flags = bigEndian(datagram, 0, 2) & ENET_PROTOCOL_HEADER_FLAG_MASK;
    if ((flags & ENET_PROTOCOL_HEADER_FLAG_COMPRESSED) != 0) return false;
    std::size_t at = (flags & ENET_PROTOCOL_HEADER_FLAG_SENT_TIME) != 0
                         ? sizeof(ENetProtocolHeader)
                         : offsetof(ENetProtocolHeader, sentTime);
    while (at < datagram.size()) {
        const unsigned number = datagram[at] & ENET_PROTOCOL_COMMAND_MASK;
        const std::size_t size = number < ENET_PROTOCOL_COMMAND_COUNT ? enet_protocol_command_size(datagram[at]) : 0;
        if (size == 0 || datagram.size() - at < size) return false;
        if (isFragment(number) &&
            bigEndian(datagram, at + offsetof(ENetProtocolSendFragment, totalLength), 4) > packetLimit)
            return true;
        const std::size_t lengthAt = dataLengthOffset(number);
        at += size + (lengthAt != 0 ? bigEndian(datagram, at + lengthAt, 2) : 0);
    }
    return false;
}

}  // namespace netduel
