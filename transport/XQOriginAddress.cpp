#include "transport/XQOriginAddress.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>

#include "foundation/Trace.h"
#include "foundation/UniqueFd.h"

namespace {

// Any port will do: a UDP connect only picks the route and the source.
const unsigned short kProbePort = 9;

int resolveIPv4(const XQSTRING& host, in_addr& out) {
    std::string name = xqToMultibyte(host);
    if (inet_pton(AF_INET, name.c_str(), &out) == 1) return 0;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    int rc = getaddrinfo(name.c_str(), nullptr, &hints, &found);
    if (rc != 0) return rc < 0 ? rc : -rc;
    std::unique_ptr<addrinfo, void (*)(addrinfo*)> owner(found, freeaddrinfo);
    out = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    return 0;
}

bool isLoopback(const in_addr& a) { return (ntohl(a.s_addr) >> 24) == 127; }

std::atomic<bool> choiceTraced{false};

}  // namespace

namespace {

int routeSource(const in_addr& to, XQSTRING& address) {
    sockaddr_in dest{};
    dest.sin_family = AF_INET;
    dest.sin_port = htons(kProbePort);
    dest.sin_addr = to;
    UniqueFd fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.valid()) return errno;
    if (connect(fd.get(), reinterpret_cast<const sockaddr*>(&dest), sizeof dest) != 0) return errno;
    sockaddr_in local{};
    socklen_t len = sizeof local;
    if (getsockname(fd.get(), reinterpret_cast<sockaddr*>(&local), &len) != 0) return errno;
    char text[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, &local.sin_addr, text, sizeof text) == nullptr) return errno;
    address = xqFromMultibyte(text);
    return 0;
}

}  // namespace

int xqRouteSourceAddress(const XQSTRING& host, XQSTRING& address) {
    in_addr to{};
    if (int rc = resolveIPv4(host, to)) return rc;
    return routeSource(to, address);
}

bool xqIsLoopbackHost(const XQSTRING& host) {
    in_addr a{};
    return resolveIPv4(host, a) == 0 && isLoopback(a);
}

XQSTRING xqOriginAddressFor(const XQSTRING& hostAddress, const XQSTRING& destination) {
    in_addr own{};
    if (resolveIPv4(hostAddress, own) != 0 || !isLoopback(own)) return hostAddress;
    in_addr dest{};
    if (resolveIPv4(destination, dest) != 0 || isLoopback(dest)) return hostAddress;
    XQSTRING routed;
    if (routeSource(dest, routed) != 0) return hostAddress;
    if (!choiceTraced.exchange(true))
        XQ_TRACE(3, "origin address " << routed << " instead of the host name's loopback address " << hostAddress
                                      << ": it routes to " << destination);
    return routed;
}
