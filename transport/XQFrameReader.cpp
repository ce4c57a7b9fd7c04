#include "transport/XQFrameReader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "transport/XQReceiveCounters.h"
#include "transport/XQSocket.h"

XQHeldBytes& XQHeldBytes::operator=(XQHeldBytes&& other) noexcept {
    if (this != &other) {
        reset();
        counters_ = other.counters_;
        bytes_ = other.bytes_;
        other.bytes_ = 0;
    }
    return *this;
}

void XQHeldBytes::reset() {
    if (bytes_ != 0 && counters_ != nullptr) counters_->release(bytes_);
    bytes_ = 0;
}

XQFrameReader::XQFrameReader(XQReceiveCounters* counters) : counters_(counters) {}

unsigned char* XQFrameReader::space() {
    if (status_ != Reading) return nullptr;
    return haveCount() ? payload_.get() + payloadGot_ : countBytes_ + countGot_;
}

std::size_t XQFrameReader::spaceLeft() const {
    if (status_ != Reading) return 0;
    return haveCount() ? count_ - payloadGot_ : 4 - countGot_;
}

XQFrameReader::Status XQFrameReader::advance(std::size_t n) {
    if (status_ != Reading) return status_;
    n = std::min(n, spaceLeft());
    if (haveCount()) {
        payloadGot_ += n;
        if (payloadGot_ == count_) status_ = Complete;
        return status_;
    }
    countGot_ += n;
    if (!haveCount()) return status_;
    count_ = (std::uint32_t(countBytes_[0]) << 24) | (std::uint32_t(countBytes_[1]) << 16) |
             (std::uint32_t(countBytes_[2]) << 8) | countBytes_[3];
    if (count_ == 0) {
        refusal_ = ZeroCount;
    } else if (count_ > XQ_MAX_FRAME_PAYLOAD) {
        refusal_ = Oversize;
    } else {
        // Received frames are kept as wide characters: twice the wire bytes.
        const std::uint64_t wide = std::uint64_t(count_) * 2;
        if (counters_ != nullptr) {
            if (!counters_->reserve(wide)) {
                refusal_ = OverBound;
            } else {
                held_ = XQHeldBytes(counters_, wide);
            }
        }
    }
    if (refusal_ == None) {
        payload_.reset(new (std::nothrow) unsigned char[count_]);
        if (payload_ == nullptr) refusal_ = OverBound;
    }
    if (refusal_ != None) {
        held_.reset();
        status_ = Failed;
    }
    return status_;
}

std::size_t XQFrameReader::feed(const unsigned char* p, std::size_t n) {
    std::size_t taken = 0;
    while (status_ == Reading && taken < n) {
        const std::size_t step = std::min(n - taken, spaceLeft());
        std::memcpy(space(), p + taken, step);
        taken += step;
        advance(step);
    }
    return taken;
}
