#ifndef TCORE_TRANSPORT_XQSOCKET_H
#define TCORE_TRANSPORT_XQSOCKET_H

#include <netinet/in.h>

#include <atomic>
#include <memory>
#include <mutex>

#include "foundation/Export.h"
#include "foundation/XQRC.h"
#include "foundation/XQString.h"
#include "transport/XQReceiveStats.h"

// Windows names of the socket services, over POSIX.
TCORE_EXPORT int WSAStartup(unsigned short version, int* data);  // returns 0
TCORE_EXPORT int WSACleanup();                                    // returns 0
TCORE_EXPORT int WSAGetLastError();                               // errno
// Shuts both directions down, then closes s. Always returns 0.
TCORE_EXPORT int closesocket(unsigned int s);
// Sleeps ms milliseconds.
TCORE_EXPORT void Sleep(int ms);

class XQDeadline;
class XQReceiveCounters;
class XQReceiveLoop;
class XQTlsContext;

// The firewall port range, read once per process from the services entries
// "ORX_MIN" and "ORX_MAX" by the first XQSocket. FireWallStatus: 0 not yet
// determined, 1 range in force, 2 no range. FireWallLastPort is the port
// most recently taken from the range; searches start one above it.
extern TCORE_EXPORT std::atomic<int> FireWallStatus;
extern TCORE_EXPORT std::atomic<unsigned int> FireWallMinPort;
extern TCORE_EXPORT std::atomic<unsigned int> FireWallMaxPort;
extern TCORE_EXPORT std::atomic<unsigned int> FireWallNPorts;
extern TCORE_EXPORT std::atomic<unsigned int> FireWallLastPort;

// Largest payload of one frame: 4 MiB less the 4 count bytes.
const unsigned int XQ_MAX_FRAME_PAYLOAD = 4194300;
// Marks a missing socket or port, and a wait without limit.
const unsigned int XQ_NONE = 0xFFFFFFFFu;

// One TCP endpoint of the message transport. A frame is a 4-byte big-endian
// payload count and the payload (a packed message in big-endian UCS-2); one
// frame travels per connection.
//
// Sender: construct, InitializeSend, pack into *data, Send, destroy. Send
// returns success only when the receiver has read the whole frame and closed
// the connection, so TIME_WAIT stays with the receiver. The whole Send
// (connect attempts, write, confirmation) takes at most the timeout.
// Receiver: construct, InitializeReceive, GetReceivePort, then Receive in a
// loop on one thread; HaltReceive from another thread ends a waiting Receive.
// Receive serves every connection at once: each has the timeout, from its
// accept, for its whole frame, and a slow or silent peer delays no other.
// The receive limits bound the connections in progress and the bytes held.
//
// Thread-safety: one thread at a time uses an object, except HaltReceive,
// GetReceiveStats and SetReceiveLimits, which may run while another thread
// waits in Receive. The host name, the local address and the firewall range
// are resolved once per process and shared.
class TCORE_EXPORT XQSocket {
public:
    XQSocket();
    ~XQSocket();
    XQSocket(const XQSocket&) = delete;
    XQSocket& operator=(const XQSocket&) = delete;

    XQRC GetSetupError();

    // Opens the listening socket on port (0: chosen by the system, or from
    // the firewall range when one is in force) with the given backlog.
    XQRC InitializeReceive(const unsigned int port, unsigned int backlog);
    // The listening port, or 6001 before InitializeReceive succeeded.
    XQRC GetReceivePort(unsigned int& port);
    // Waits for the next frame to be complete, or for a connection to fail.
    // On success *data is the payload converted to wide characters (from
    // malloc(); the caller owns it and frees it with free()) and *size its
    // length in bytes. A connection's failure is returned as it happens and
    // ends only that connection: 6108 (count not whole) or 6109 (count 0,
    // count above 4,194,300 with EMSGSIZE, over the bound of held bytes with
    // ENOBUFS, payload cut short), each with ETIMEDOUT when the timeout ran
    // out; 8461-8463 for a payload that is no UCS-2. 6107 after HaltReceive.
    XQRC Receive(unsigned char** data, int* size);
    // Receive for a thread that must not wait for ever: returns success with
    // idle set and nothing in *data once waitMs (XQ_NONE: no bound) have
    // passed or InterruptReceive was called. A forced end of the thread may
    // land inside the wait only when cancellable.
    XQRC ReceiveFor(unsigned char** data, int* size, unsigned int waitMs, bool cancellable, bool& idle);
    // Makes a waiting ReceiveFor return idle, or the next one when none
    // waits. Any thread.
    void InterruptReceive();
    // Stops the listening socket; a waiting Receive returns 6107 at once.
    XQRC HaltReceive();

    // Bounds of the receiving side and what it has done (see XQReceiveStats.h).
    void SetReceiveLimits(const XQReceiveLimits& limits);
    XQReceiveLimits GetReceiveLimits() const;
    XQReceiveStats GetReceiveStats() const;
    // Counts into counters shared with an owner (the message queue) instead
    // of the socket's own. Call before InitializeReceive.
    void ShareReceiveCounters(std::shared_ptr<XQReceiveCounters> counters);

    // Allocates the zero-filled send frame for a payload of size bytes and
    // points *data at its payload area, which the caller fills with a packed
    // message (wide characters). The frame belongs to this object.
    XQRC InitializeSend(unsigned char** data, const int size);
    // Connects to host:port (5 attempts, 1 s apart after a refusal), converts
    // the payload to UCS-2 in place, writes the frame and waits, within the
    // timeout, for the receiver to close. Frees the frame on success; a
    // failed Send keeps it.
    XQRC Send(const XQSTRING& host, const unsigned int port);

    // This host's name (NVHOSTNAME when set), looked up once per process.
    XQRC GetHostName(XQSTRING& name);
    // This host's IPv4 address in dotted text, resolved once per process.
    XQRC GetInetAddr(XQSTRING& address);
    // The port of a named TCP service from the services database.
    XQRC GetPortByName(const XQSTRING& service, unsigned int& port);

    // Fills rc for a socket failure: code messageNumber, secondary code
    // socketError, domain WhsSrv (no error), Windows (below ENOTSOCK) or Sockets,
    // the four tokens, the method, the command line and the host name.
    void FormatXQRC(XQRC& rc, const XQSTRING& method, int socketError, unsigned int messageNumber,
                    const XQSTRING& token1 = XQSTRING(), const XQSTRING& token2 = XQSTRING(),
                    const XQSTRING& token3 = XQSTRING(), const XQSTRING& token4 = XQSTRING());
    // Appends the out-of-ports record to "ORV2LOGC.LOG" in the log directory.
    void LogOutOfSocket();
    // Closes s unless it is XQ_NONE, and sets it to XQ_NONE.
    XQRC xqCloseSocket(unsigned int& s);

    // Time allowed for one frame: to arrive once a connection is accepted,
    // and to be written and confirmed by the receiver. XQ_NONE waits without
    // limit. New objects take the process default (30,000 ms unless set).
    void SetTimeout(unsigned int ms) { timeoutMs = ms; }
    unsigned int GetTimeout() const { return timeoutMs; }
    static void SetDefaultTimeout(unsigned int ms);
    static unsigned int GetDefaultTimeout();

    int lastSocketError;
    XQRC setupError;
    int socketStartupData;
    unsigned int receivePort;
    unsigned int localInetAddress;
    sockaddr_in receiveAddress;
    // The listening descriptor's number (owned by the receive loop). Atomic so
    // that HaltReceive may clear it while another thread waits in Receive.
    std::atomic<unsigned int> listenSocket;
    std::unique_ptr<unsigned char[]> gpMySendByteBuffer;
    int sendByteCount;
    // The payload of the last Receive; owned by whoever called Receive.
    unsigned char* gpMyRecvByteBuffer;
    int recvByteCount;

private:
    int bindAndConnect(unsigned int& s, sockaddr_in* destination, int& error);
    void closeTraced(unsigned int& s, const char* why);
    void setLoop(std::unique_ptr<XQReceiveLoop> loop);
    bool tlsUsable(XQRC& rc, const wchar_t* method, const XQTlsContext& tls);

    unsigned int timeoutMs;
    const XQDeadline* sendDeadline_;  // of the Send under way, for bindAndConnect
    std::shared_ptr<XQReceiveCounters> counters_;
    // Replaced only by InitializeReceive, on the receiving thread; the mutex
    // keeps a HaltReceive from another thread off a loop being replaced.
    std::unique_ptr<XQReceiveLoop> loop_;
    std::mutex loopMutex_;
};

#endif
