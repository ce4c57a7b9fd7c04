// Where a reply goes when the sender's host name resolves to a loopback
// address. The reply that finds its way back across hosts, with each host's
// own name on 127.0.1.1 as on a default install, is the demo_hosts test.
#include <gtest/gtest.h>

#include "transport/XQOriginAddress.h"

namespace {

// Everything that keeps the host address: it is not loopback, or the
// destination is on this host too, or the destination cannot be resolved.
TEST(OriginAddress, KeepsTheHostAddressUnlessItIsLoopbackAndTheDestinationIsNot) {
    struct Case {
        const wchar_t* hostAddress;
        const wchar_t* destination;
    } cases[] = {
        {L"192.0.2.7", L"127.0.0.1"},
        {L"192.0.2.7", L"198.51.100.1"},
        {L"127.0.1.1", L"127.0.0.1"},
        {L"127.0.1.1", L"localhost"},
        {L"127.0.1.1", L"no-such-host.invalid"},
        {L"127.0.0.1", L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(XQSTRING(c.hostAddress), xqOriginAddressFor(c.hostAddress, c.destination))
            << xqToMultibyte(c.hostAddress) << " to " << xqToMultibyte(c.destination);
    EXPECT_TRUE(xqIsLoopbackHost(L"127.0.1.1"));
    EXPECT_FALSE(xqIsLoopbackHost(L"192.0.2.7"));
}

}  // namespace
