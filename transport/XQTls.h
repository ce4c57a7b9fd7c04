#ifndef TCORE_TRANSPORT_XQTLS_H
#define TCORE_TRANSPORT_XQTLS_H

// Links between hosts inside mutually authenticated TLS 1.3. The settings are
// process-wide: read from TCORE_TLS_CA, TCORE_TLS_CERT and TCORE_TLS_KEY at
// first use, or set by the program with xqTlsConfigure. All three set: every
// queue accepts only TLS clients whose certificate that authority signed,
// every Send and ping presents this host's certificate and checks the
// destination's against the authority and the name or address it sends to.
// None set: plain TCP. Anything else (some set, a file that cannot be read,
// a key that does not match its certificate): creating a queue and sending
// fail with 6120 to 6122, never a fall-back to plain.
//
// Return codes (domain WhsSrv, or Sockets with a system error):
// 6120 settings incomplete; 6121 a file cannot be read or used; 6122 the
// certificate does not match the key; 6123 handshake failed or the peer is
// not authenticated; 6124 a list of allowed peers cannot be read.

#include <string>

#include "foundation/Export.h"
#include "foundation/XQRC.h"
#include "foundation/XQString.h"

// Replaces the process's TLS settings: three file names, or three empty
// texts for plain TCP. Returns the failure the settings give (also kept for
// every later queue and Send). Connections already open keep their settings.
TCORE_EXPORT XQRC xqTlsConfigure(const XQSTRING& caFile, const XQSTRING& certFile, const XQSTRING& keyFile);
// Whether links of this process run inside TLS.
TCORE_EXPORT bool xqTlsEnabled();
// Sends whose handshake resumed an earlier session, and full handshakes,
// since the process started.
TCORE_EXPORT unsigned long xqTlsResumedHandshakes();
TCORE_EXPORT unsigned long xqTlsFullHandshakes();

#endif
