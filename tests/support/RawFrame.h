#ifndef TCORE_TESTS_SUPPORT_RAWFRAME_H
#define TCORE_TESTS_SUPPORT_RAWFRAME_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Plain-socket helpers for tests that talk to a listening port on 127.0.0.1
// without the library's socket class.

// The wire form of wide text: UCS-2, big-endian (BMP characters only).
std::vector<unsigned char> ucs2be(const std::wstring& text);

// Connects to 127.0.0.1:port and writes one frame (4-byte big-endian count,
// then payload). With waitForClose, half-closes and waits up to 5 s for the
// peer to close. Returns false when the connection or the write failed.
bool sendRawFrame(unsigned int port, const std::vector<unsigned char>& payload, bool waitForClose = true);

// A connected socket to 127.0.0.1:port (blocking), or -1.
int rawConnect(unsigned int port);
// Writes all n bytes; false when the peer is gone.
bool rawWrite(int fd, const void* p, size_t n);
// The 4-byte big-endian count of a frame.
std::vector<unsigned char> frameCount(uint32_t count);

// A port on 127.0.0.1 with nothing listening on it (bound once, then freed).
unsigned int unusedLoopbackPort();

// A listening socket on 127.0.0.1 that reads whole frames, one per
// connection, on a thread of its own, and records their payloads.
class FrameSink {
public:
    FrameSink();
    ~FrameSink();
    unsigned int port() const { return port_; }
    // Payloads received so far, with their arrival times in ms since start.
    std::vector<std::pair<long, std::vector<unsigned char>>> frames();

private:
    struct Impl;
    Impl* impl_;
    unsigned int port_;
};

#endif
