#ifndef TCORE_TESTS_SUPPORT_RAWFRAME_H
#define TCORE_TESTS_SUPPORT_RAWFRAME_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/XQRC.h"
#include "transport/XQReceiveStats.h"

// Plain-socket helpers for tests that talk to a listening port on 127.0.0.1
// without the library's socket class, and one send through it.

// The wire form of wide text: UCS-2, big-endian (BMP characters only).
std::vector<unsigned char> ucs2be(const std::wstring& text);

// Connects to 127.0.0.1:port and writes one frame (4-byte big-endian count,
// then payload), half-closes and waits up to 5 s for the peer to close.
// Returns false when the connection or the write failed.
bool sendRawFrame(unsigned int port, const std::vector<unsigned char>& payload);

// A connected socket to 127.0.0.1:port (blocking), or -1.
int rawConnect(unsigned int port);
// Connects fd, a socket made earlier, to 127.0.0.1:port; 0 or -1 as connect.
int connectLoopback(int fd, unsigned int port);
// Writes all n bytes; false when the peer is gone.
bool rawWrite(int fd, const void* p, size_t n);
// The 4-byte big-endian count of a frame, then the bytes of tail.
std::vector<unsigned char> frameCount(uint32_t count, const std::vector<unsigned char>& tail = {});
// A listening socket on 127.0.0.1 with the port the system chose, or -1.
int rawListen(unsigned int& port, int backlog = 16);

// A port on 127.0.0.1 with nothing listening on it (bound once, then freed).
unsigned int unusedLoopbackPort();

// Descriptors a test holds open; closed at the end of the scope.
struct HeldFds {
    std::vector<int> fds;
    ~HeldFds() { closeAll(); }
    void add(int fd);
    void closeAll();
    // Connects n peers to port, each writing bytes and then holding on.
    bool connectPeers(unsigned int port, int n, const std::vector<unsigned char>& bytes = {});
};

// Sends the n bytes at data as one frame through XQSocket to host:port.
XQRC socketSend(unsigned int port, const void* data, size_t n, unsigned int timeoutMs = 5000,
                const std::wstring& host = L"127.0.0.1");

// What a broken raw peer sends before it closes, and how each receiving end
// reports it: XQSocket::Receive with its codes, a queue in its statistics.
struct RawFault {
    const char* what;
    std::vector<unsigned char> bytes;
    bool reset;  // closed with a reset instead of a half-close
    int socketCode;
    int socketSecondary;  // -1: not checked
    const wchar_t* token1;  // null: not checked
    std::uint64_t XQReceiveStats::*counter;
};
const std::vector<RawFault>& rawFaults();
// Sends f's bytes on a new connection to port and closes it as f says.
void sendRawFault(unsigned int port, const RawFault& f);

#endif
