// One HTTP exchange over a TCP socket bound to a chosen loopback source address, so that
// a test or benchmark speaks to the list server as many addresses.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace netduel {

// Sends `request` from `source` (network order) to 127.0.0.1:`port` and reads the reply
// to its end; empty when the exchange failed.
inline std::string httpExchange(std::uint32_t source, std::uint16_t port, const std::string& request)
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in from{AF_INET, 0, {source}, {}};
    sockaddr_in to{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    std::string reply;
    if (bind(s, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0 &&
        connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
        send(s, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size())) {
        char buffer[65536];
        for (ssize_t count; (count = recv(s, buffer, sizeof buffer, 0)) > 0;) reply.append(buffer, count);
    }
    close(s);
    return reply;
}

// The status code of a reply ("HTTP/1.1 202 ..."); 0 for none.
inline int httpStatus(const std::string& reply) { return reply.size() > 12 ? std::atoi(reply.c_str() + 9) : 0; }

}  // namespace netduel
