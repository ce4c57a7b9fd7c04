#ifndef TCORE_TRANSPORT_XQFRAMEREADER_H
#define TCORE_TRANSPORT_XQFRAMEREADER_H

#include <cstddef>
#include <cstdint>
#include <memory>

#include "foundation/Export.h"

class XQReceiveCounters;

// Bytes taken from a receive bound, given back when the holder goes. Movable,
// not copyable; an empty one holds nothing.
class TCORE_EXPORT XQHeldBytes {
public:
    XQHeldBytes() = default;
    XQHeldBytes(XQReceiveCounters* counters, std::uint64_t bytes) : counters_(counters), bytes_(bytes) {}
    ~XQHeldBytes() { reset(); }
    XQHeldBytes(XQHeldBytes&& other) noexcept : counters_(other.counters_), bytes_(other.bytes_) { other.bytes_ = 0; }
    XQHeldBytes& operator=(XQHeldBytes&& other) noexcept;
    XQHeldBytes(const XQHeldBytes&) = delete;
    XQHeldBytes& operator=(const XQHeldBytes&) = delete;

    std::uint64_t bytes() const { return bytes_; }
    void reset();

private:
    XQReceiveCounters* counters_ = nullptr;
    std::uint64_t bytes_ = 0;
};

// The state of one frame arriving in pieces of any size: the 4-byte
// big-endian count, then that many payload bytes. The count is checked as
// soon as it is whole, before anything is allocated for the payload: 0 and
// counts above 4,194,300 are refused, and so is a count whose frame (held as
// wide characters, twice its size) would pass the bound of the counters.
//
// Usage: write at most spaceLeft() bytes to space(), then advance(n); repeat
// while status() is Reading. Not thread-safe; one reader per connection.
class TCORE_EXPORT XQFrameReader {
public:
    enum Status { Reading, Complete, Failed };
    enum Refusal { None, ZeroCount, Oversize, OverBound };

    // counters may be null (no bound on held bytes); it must outlive the reader.
    explicit XQFrameReader(XQReceiveCounters* counters = nullptr);
    XQFrameReader(XQFrameReader&&) = default;
    XQFrameReader& operator=(XQFrameReader&&) = default;

    Status status() const { return status_; }
    Refusal refusal() const { return refusal_; }
    bool haveCount() const { return countGot_ == 4; }
    std::uint32_t count() const { return count_; }
    // Payload bytes received so far.
    std::size_t payloadGot() const { return payloadGot_; }

    unsigned char* space();
    std::size_t spaceLeft() const;
    Status advance(std::size_t n);
    // Copies from p until the frame is complete or refused; returns the bytes
    // taken (what follows a complete frame is not taken).
    std::size_t feed(const unsigned char* p, std::size_t n);

    // The complete payload (allocated with new[]) and the bytes it holds of
    // the bound. REQUIRES: status() == Complete.
    std::unique_ptr<unsigned char[]> takePayload() { return std::move(payload_); }
    XQHeldBytes takeHeld() { return std::move(held_); }

private:
    XQReceiveCounters* counters_;
    Status status_ = Reading;
    Refusal refusal_ = None;
    unsigned char countBytes_[4] = {};
    std::size_t countGot_ = 0;
    std::uint32_t count_ = 0;
    std::unique_ptr<unsigned char[]> payload_;
    std::size_t payloadGot_ = 0;
    XQHeldBytes held_;
};

#endif
