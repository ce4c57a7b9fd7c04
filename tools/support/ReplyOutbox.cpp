#include "support/ReplyOutbox.h"

#include <unistd.h>

#include <algorithm>
#include <utility>

#include "support/DemoSupport.h"

namespace demo {

namespace {

// Where Send delivers a message: a reply to its origin, a request to its destination.
std::pair<XQSTRING, unsigned int> destinationOf(const XQBaseMessage& m) {
    return m.IsRequest == 0 ? std::make_pair(m.OriginInetAddr, m.OriginQueuePort)
                            : std::make_pair(m.DestQueueHost, m.DestQueuePort);
}

}  // namespace

void ReplyOutbox::post(std::unique_ptr<XQBaseMessage> message) {
    kept_.push_back(std::move(message));
    pump();
}

void ReplyOutbox::pump() {
    while (!kept_.empty() && nowMs() >= nextTry_) {
        XQRC rc = kept_.front()->Send(0);
        if (rc.code == 0) {
            kept_.pop_front();
            ++delivered_;
            attempts_ = 0;
            nextTry_ = 0;
            continue;
        }
        ++failures_;
        lastFailure_ = rc;
        if (++attempts_ >= maxAttempts_) {
            // Whoever does not take this one will not take those behind it
            // either: given up together, so a requester that is gone costs
            // the attempts once.
            const std::pair<XQSTRING, unsigned int> gone = destinationOf(*kept_.front());
            for (auto it = kept_.begin(); it != kept_.end();) {
                if (destinationOf(**it) == gone) {
                    it = kept_.erase(it);
                    ++dropped_;
                } else {
                    ++it;
                }
            }
            attempts_ = 0;
            nextTry_ = 0;
            continue;
        }
        unsigned long long delay = static_cast<unsigned long long>(firstDelayMs_) << std::min(attempts_ - 1, 20u);
        nextTry_ = nowMs() + static_cast<long long>(std::min<unsigned long long>(delay, maxDelayMs_));
    }
}

bool ReplyOutbox::drain(const std::function<bool()>& keepGoing) {
    while (!kept_.empty() && keepGoing()) {
        pump();
        if (!kept_.empty()) usleep(50000);
    }
    return kept_.empty();
}

}  // namespace demo
