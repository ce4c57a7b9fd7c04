#ifndef TCORE_TRANSPORT_XQPEERFILTER_H
#define TCORE_TRANSPORT_XQPEERFILTER_H

// Internal to the transport: which peers may connect to a queue, as IPv4
// addresses and CIDR networks ("192.0.2.7, 198.51.100.0/24"). An empty list
// lets everyone in.

#include <cstdint>
#include <string>
#include <vector>

class XQPeerFilter {
public:
    // Reads a comma-separated list; false, with the entry that is not an
    // address or network in bad, when one cannot be read (nothing changes).
    bool parse(const std::string& text, std::string& bad);
    // REQUIRES: address in network byte order.
    bool allows(std::uint32_t address) const;
    bool empty() const { return networks_.empty(); }

    // The list of TCORE_ALLOW_PEERS, read once per process; ok false when it
    // cannot be read (bad names the entry).
    static const XQPeerFilter& fromEnvironment(bool& ok, std::string& bad);

private:
    struct Network {
        std::uint32_t address;  // host order, masked
        std::uint32_t mask;
    };
    std::vector<Network> networks_;
};

#endif
