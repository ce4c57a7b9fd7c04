#include <cstdint>
#include <cstring>
#include <random>

#include "FuzzTargets.h"
#include "transport/XQFrameReader.h"
#include "transport/XQReceiveCounters.h"
#include "transport/XQSocket.h"

namespace {

// The bound of held bytes the target reads under: small enough that counts
// past it come up often.
const std::uint64_t kBound = std::uint64_t(2) << 20;

}  // namespace

std::string fuzzFrame(const unsigned char* data, std::size_t size) {
    if (size == 0) return "";
    const unsigned char* bytes = data + 1;
    const std::size_t n = size - 1;
    XQReceiveCounters counters;
    XQReceiveLimits limits;
    limits.maxHeldBytes = kBound;
    counters.setLimits(limits);
    {
        XQFrameReader reader(&counters);
        // The pieces a connection may deliver, alternately through feed (the
        // loop's first read) and through space/advance (its later ones).
        std::minstd_rand pieces(data[0] + 1u);
        std::size_t at = 0;
        bool viaSpace = false;
        while (at < n && reader.status() == XQFrameReader::Reading) {
            std::size_t piece = pieces() % 4 == 0 ? n : 1 + pieces() % 97;
            if (piece > n - at) piece = n - at;
            if (viaSpace) {
                const std::size_t take = piece < reader.spaceLeft() ? piece : reader.spaceLeft();
                std::memcpy(reader.space(), bytes + at, take);
                reader.advance(take);
                at += take;
            } else {
                at += reader.feed(bytes + at, piece);
            }
            viaSpace = !viaSpace;
        }
        const std::uint64_t held = counters.snapshot().bytesHeld;
        if (n < 4) {
            if (reader.haveCount() || reader.status() != XQFrameReader::Reading || held != 0) return "half a count";
        } else {
            const std::uint32_t count = (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) |
                                        (std::uint32_t(bytes[2]) << 8) | bytes[3];
            if (!reader.haveCount() || reader.count() != count) return "count not read as sent";
            const bool refused = count == 0 || count > XQ_MAX_FRAME_PAYLOAD || 2ull * count > kBound;
            if (refused) {
                const XQFrameReader::Refusal why = count == 0                        ? XQFrameReader::ZeroCount
                                                   : count > XQ_MAX_FRAME_PAYLOAD ? XQFrameReader::Oversize
                                                                                  : XQFrameReader::OverBound;
                if (reader.status() != XQFrameReader::Failed || reader.refusal() != why) return "count not refused";
                if (at != 4 || held != 0) return "a refused frame took payload or holds bytes";
            } else if (n - 4 >= count) {
                if (reader.status() != XQFrameReader::Complete) return "whole frame not complete";
                if (at != 4 + std::size_t(count)) return "bytes taken past the frame";
                if (held != 2ull * count) return "frame holds the wrong share of the bound";
                XQPayload payload = reader.takePayload();
                if (std::memcmp(payload.get(), bytes + 4, count) != 0) return "payload differs from the bytes sent";
                XQHeldBytes kept = reader.takeHeld();
                if (kept.bytes() != 2ull * count) return "taken share differs";
            } else {
                if (reader.status() != XQFrameReader::Reading || at != n || reader.payloadGot() != n - 4)
                    return "partial frame not still reading";
                if (held != 2ull * count) return "partial frame holds the wrong share";
            }
        }
    }
    if (counters.snapshot().bytesHeld != 0) return "held bytes not given back";
    return "";
}
