#include "support/ReplyOutbox.h"

#include <unistd.h>

#include <algorithm>

#include "support/DemoSupport.h"

namespace demo {

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
            kept_.pop_front();
            ++dropped_;
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
