#ifndef TCORE_TRANSPORT_XQRECEIVECOUNTERS_H
#define TCORE_TRANSPORT_XQRECEIVECOUNTERS_H

// Internal to the transport: the live counters and bounds behind
// XQReceiveStats, shared by a listening socket and the queue that owns it.
// Every member may be used from any thread.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "transport/XQPeerFilter.h"
#include "transport/XQReceiveStats.h"

class XQReceiveCounters {
public:
    std::atomic<std::uint64_t> framesQueued{0};
    std::atomic<std::uint64_t> droppedDeadline{0};
    std::atomic<std::uint64_t> droppedOversize{0};
    std::atomic<std::uint64_t> droppedMemory{0};
    std::atomic<std::uint64_t> droppedMalformed{0};
    std::atomic<std::uint64_t> droppedForeignStop{0};
    std::atomic<std::uint64_t> droppedHandshake{0};
    std::atomic<std::uint64_t> connectionsNotAllowed{0};
    std::atomic<std::uint64_t> connectionsAccepted{0};
    std::atomic<std::uint64_t> connectionsDropped{0};

    std::atomic<unsigned int> maxConnections{XQReceiveLimits().maxConnections};
    std::atomic<std::uint64_t> maxHeldBytes{XQReceiveLimits().maxHeldBytes};

    // Takes bytes from the bound; false (and nothing taken) when they would
    // pass it.
    bool reserve(std::uint64_t bytes) {
        const std::uint64_t limit = maxHeldBytes.load(std::memory_order_relaxed);
        std::uint64_t now = held_.load(std::memory_order_relaxed);
        do {
            if (bytes > limit || now > limit - bytes) return false;
        } while (!held_.compare_exchange_weak(now, now + bytes, std::memory_order_relaxed));
        notePeak(now + bytes);
        return true;
    }
    // Adds bytes whatever the bound (a report queued by a poll thread).
    void add(std::uint64_t bytes) { notePeak(held_.fetch_add(bytes, std::memory_order_relaxed) + bytes); }
    void release(std::uint64_t bytes) { held_.fetch_sub(bytes, std::memory_order_relaxed); }

    void setLimits(const XQReceiveLimits& limits) {
        maxConnections.store(limits.maxConnections == 0 ? 1 : limits.maxConnections, std::memory_order_relaxed);
        maxHeldBytes.store(limits.maxHeldBytes, std::memory_order_relaxed);
    }
    XQReceiveLimits limits() const {
        XQReceiveLimits l;
        l.maxConnections = maxConnections.load(std::memory_order_relaxed);
        l.maxHeldBytes = maxHeldBytes.load(std::memory_order_relaxed);
        return l;
    }

    // The peers a program allowed for this queue; null: the process's list.
    void setPeers(std::shared_ptr<const XQPeerFilter> peers) {
        std::lock_guard<std::mutex> lock(peersLock_);
        peers_ = std::move(peers);
    }
    std::shared_ptr<const XQPeerFilter> peers() const {
        std::lock_guard<std::mutex> lock(peersLock_);
        return peers_;
    }

    XQReceiveStats snapshot() const {
        XQReceiveStats s;
        s.framesQueued = framesQueued.load(std::memory_order_relaxed);
        s.droppedDeadline = droppedDeadline.load(std::memory_order_relaxed);
        s.droppedOversize = droppedOversize.load(std::memory_order_relaxed);
        s.droppedMemory = droppedMemory.load(std::memory_order_relaxed);
        s.droppedMalformed = droppedMalformed.load(std::memory_order_relaxed);
        s.droppedForeignStop = droppedForeignStop.load(std::memory_order_relaxed);
        s.droppedHandshake = droppedHandshake.load(std::memory_order_relaxed);
        s.connectionsNotAllowed = connectionsNotAllowed.load(std::memory_order_relaxed);
        s.connectionsAccepted = connectionsAccepted.load(std::memory_order_relaxed);
        s.connectionsDropped = connectionsDropped.load(std::memory_order_relaxed);
        s.bytesHeld = held_.load(std::memory_order_relaxed);
        s.bytesHeldPeak = peak_.load(std::memory_order_relaxed);
        return s;
    }

private:
    void notePeak(std::uint64_t value) {
        std::uint64_t peak = peak_.load(std::memory_order_relaxed);
        while (value > peak && !peak_.compare_exchange_weak(peak, value, std::memory_order_relaxed)) {
        }
    }

    mutable std::mutex peersLock_;
    std::shared_ptr<const XQPeerFilter> peers_;
    std::atomic<std::uint64_t> held_{0};
    std::atomic<std::uint64_t> peak_{0};
};

#endif
