#ifndef TCORE_TOOLS_SUPPORT_REPLYOUTBOX_H
#define TCORE_TOOLS_SUPPORT_REPLYOUTBOX_H

#include <deque>
#include <functional>
#include <memory>

#include "foundation/XQRC.h"
#include "messages/XQBaseMessage.h"

namespace demo {

// Replies that must reach their requester in order, even across an outage:
// what cannot be sent now is kept and sent again later, with a delay that
// doubles after each failed attempt (from firstDelayMs up to maxDelayMs).
// A message that failed maxAttempts times is given up (counted in dropped)
// with every kept message for the same destination, so a requester that is
// gone for good costs the attempts of one message.
// Not thread-safe; the outbox owns the messages it keeps.
class ReplyOutbox {
public:
    ReplyOutbox(unsigned int maxAttempts, unsigned int firstDelayMs, unsigned int maxDelayMs)
        : maxAttempts_(maxAttempts), firstDelayMs_(firstDelayMs), maxDelayMs_(maxDelayMs) {}

    // Queues message behind those kept and sends what is due.
    void post(std::unique_ptr<XQBaseMessage> message);
    // Sends kept messages, oldest first, while sends succeed; does nothing
    // before the delay after the last failure has passed.
    void pump();
    // Pumps until nothing is kept (true) or keepGoing() turns false, waiting
    // out the delays in short steps. Bounded by the attempts.
    bool drain(const std::function<bool()>& keepGoing);

    size_t kept() const { return kept_.size(); }
    unsigned long delivered() const { return delivered_; }
    unsigned long dropped() const { return dropped_; }
    // Failed attempts (each failed Send counts once).
    unsigned long failures() const { return failures_; }
    const XQRC& lastFailure() const { return lastFailure_; }

private:
    std::deque<std::unique_ptr<XQBaseMessage>> kept_;
    unsigned int maxAttempts_, firstDelayMs_, maxDelayMs_;
    unsigned int attempts_ = 0;  // failed attempts of the oldest kept message
    long long nextTry_ = 0;      // monotonic ms
    unsigned long delivered_ = 0, dropped_ = 0, failures_ = 0;
    XQRC lastFailure_{0, 0, XQRC::WhsSrv};
};

}  // namespace demo

#endif
