#ifndef TCORE_TRANSPORT_XQRECEIVESTATS_H
#define TCORE_TRANSPORT_XQRECEIVESTATS_H

#include <cstdint>

#include "foundation/Export.h"

// Bounds of one receiving socket (and so of one message queue). A program
// sets them before or after Create; a change applies to the next connection
// or frame.
struct TCORE_EXPORT XQReceiveLimits {
    // Connections whose frame is still arriving. When full, the connection
    // idle longest is dropped to make room, so a flood of silent peers cannot
    // lock out a sender that is actually sending.
    unsigned int maxConnections = 1024;
    // Bytes held by frames received but not yet read by the program (as wide
    // characters, twice the wire payload), including frames still arriving.
    // A frame whose announced count would pass the bound is refused before
    // its payload is read; its sender's Send fails with 6110.
    std::uint64_t maxHeldBytes = std::uint64_t(128) << 20;
};

// What a receiving socket (and its queue) has done since it was created.
// Counts only grow; bytesHeld is the present figure.
struct TCORE_EXPORT XQReceiveStats {
    std::uint64_t framesQueued = 0;           // handed to the queue (or to the caller of Receive)
    std::uint64_t droppedDeadline = 0;        // frame not complete within the socket's timeout
    std::uint64_t droppedOversize = 0;        // count above 4,194,300
    std::uint64_t droppedMemory = 0;          // count would pass maxHeldBytes
    std::uint64_t droppedMalformed = 0;       // count 0, cut short, reset, not UCS-2, damaged message
    std::uint64_t droppedForeignStop = 0;     // "STOP RECEIVING" not sent by the queue's own Destroy
    std::uint64_t droppedHandshake = 0;       // TLS handshake failed, stalled, or the peer not authenticated
    std::uint64_t connectionsAccepted = 0;
    std::uint64_t connectionsDropped = 0;     // idle connections dropped for room, or refused at the descriptor limit
    std::uint64_t connectionsNotAllowed = 0;  // closed at accept: the peer is not on the allowed list
    std::uint64_t bytesHeld = 0;
    std::uint64_t bytesHeldPeak = 0;
};

#endif
