#ifndef TCORE_TRANSPORT_XQORIGINADDRESS_H
#define TCORE_TRANSPORT_XQORIGINADDRESS_H

#include "foundation/Export.h"
#include "foundation/XQString.h"

// Which local address a remote peer can reach us at.
//
// A request carries its sender's address (OriginInetAddr) and the reply goes
// there. The host name's address is the natural choice, but on a default
// install the host name maps to a loopback address (127.0.1.1 on Debian); a
// remote replier would then send the reply to its own loopback. For such a
// destination the address of the interface that routes to it is the one to
// carry.
//
// Thread-safe; keeps no state but a once-per-process trace flag.

// The dotted IPv4 address of the local interface the kernel's routing table
// would send from to reach host (a dotted address or a name). Found with a
// connected UDP socket and getsockname: no packet leaves the host. Returns 0,
// or an error number (EAI_* from the resolver as a negative number, errno
// from the socket calls); address is left alone on failure.
TCORE_EXPORT int xqRouteSourceAddress(const XQSTRING& host, XQSTRING& address);

// Whether host (dotted text or a name) resolves to an address of
// 127.0.0.0/8. A name that does not resolve is not loopback.
TCORE_EXPORT bool xqIsLoopbackHost(const XQSTRING& host);

// The address a request to destination should carry: hostAddress (the host
// name's address) unless that is a loopback address and destination is not;
// then the address of the interface that routes to destination. When that
// cannot be found, hostAddress. The first time the interface's address is
// chosen the choice is traced at level 3.
TCORE_EXPORT XQSTRING xqOriginAddressFor(const XQSTRING& hostAddress, const XQSTRING& destination);

#endif
