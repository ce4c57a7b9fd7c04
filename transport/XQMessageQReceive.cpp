// The receiving side of XQMessageQ: the receive thread's body, and who runs
// the receive loop.
//
// A reader waiting in Receive or ReceiveType runs the loop itself: it
// accepts, reads and confirms its frame and unpacks it with no hand-off to
// or from another thread, which costs a wake-up on every hop of a
// request/reply exchange. When the reader leaves, the loop stays free for a
// short grace, so that a reader in a request/reply cycle takes it back
// without waking the receive thread; after the grace the receive thread
// takes it, so frames keep being confirmed and queued while the program is
// busy. A reader that finds the receive thread running the loop interrupts
// it and waits for its message; the thread gives the loop up at once.

#include <chrono>
#include <cstdlib>
#include <memory>
#include <new>
#include <thread>

#include "foundation/Trace.h"
#include "os/XQNTThread.h"
#include "os/XQabsEventSemaphore.h"
#include "os/XQabsFactory.h"
#include "os/XQabsMutexSemaphore.h"
#include "os/XQabsThreadControl.h"
#include "transport/XQMessageQ.h"
#include "transport/XQMessageQPayload.h"
#include "transport/XQReceiveCounters.h"
#include "transport/XQSocket.h"

namespace {

using Clock = std::chrono::steady_clock;

const unsigned int kNoLimit = 0xFFFFFFFFu;
// How long the loop waits for its reader to come back before the receive
// thread takes it: longer than a reader's turn in a request/reply cycle,
// short against any sender's timeout.
const auto kLoopGrace = std::chrono::milliseconds(5);
// Pause before a listening socket that failed by itself is opened again.
const int kRelistenPauseMs = 100;
// Destroy's wait for a reader still inside the halted loop.
const int kLeaveLoopMs = 10000;
// The longest wait of a reader in the loop between two points where a
// forced end may land: well inside the time a thread is given to end.
const unsigned int kReaderSliceMs = 500;

// Receive failures that concern one accepted connection only.
bool isConnectionFailure(int code) {
    return code == 6002 || code == 6004 || code == 6108 || code == 6109 || code == 6123 ||
           (code >= 8461 && code <= 8463);
}

unsigned int msUntil(Clock::time_point when, Clock::time_point now) {
    if (when <= now) return 0;
    return static_cast<unsigned int>(std::chrono::duration_cast<std::chrono::milliseconds>(when - now).count()) + 1;
}

}  // namespace

XQMessageQ::Pumped XQMessageQ::PumpOnce(XQRC& rc, unsigned int waitMs, bool cancellable) {
    unsigned char* data = nullptr;
    int size = 0;
    bool idle = false;
    // The loop lets a forced end land only inside its wait.
    rc = pSocketServer->ReceiveFor(&data, &size, waitMs, cancellable, idle);
    if (idle) return Pumped::Idle;
    // Destroy halted the socket, or the listening socket failed by itself.
    if (rc.code == 6107) return Pumped::ListenerDown;
    if (rc.code != 0) {
        // A frame that one peer failed to deliver is that peer's loss.
        if (!isConnectionFailure(rc.code)) return Pumped::Failed;
        XQ_TRACE(3, "\tFrame dropped; socket rc = " << rc.code);
        return Pumped::Dropped;
    }
    const unsigned int bytes = size > 0 ? static_cast<unsigned int>(size) : 0u;
    if (xqPayloadBegins(data, bytes, kPingPrefix)) {
        std::free(data);
        XQ_TRACE(4, "\tDiscarded PING message.");
        return Pumped::Dropped;
    }
    if (xqPayloadBegins(data, bytes, kStopText)) {
        std::free(data);
        // Only the queue's own Destroy stops it; anyone else's stop frame
        // is a peer's mistake or an attack.
        if (stopArmed_.load()) return Pumped::Stop;
        counters_->droppedForeignStop.fetch_add(1, std::memory_order_relaxed);
        XQ_TRACE(3, "\tSTOP RECEIVING message not sent by this queue; dropped.");
        return Pumped::Dropped;
    }
    XQ_TRACE(4, "\tFound a valid message.");
    std::unique_ptr<XQMessageBuffer> buffer(new (std::nothrow) XQMessageBuffer(data, bytes));
    if (buffer == nullptr) {
        std::free(data);
        counters_->droppedMemory.fetch_add(1, std::memory_order_relaxed);
        return Pumped::Dropped;
    }
    AcquireOrTrace("XQMessageQ::ReceiveThread: mutex->Acquire != XQ_OK");
    counters_->add(bytes);
    counters_->framesQueued.fetch_add(1, std::memory_order_relaxed);
    messageList.push_back(std::move(buffer));
    ReleaseOrTrace("XQMessageQ::ReceiveThread: mutex->Release != XQ_OK");
    // Signalled after the release, so the woken reader does not block at
    // once on the mutex this thread still holds. Readers re-check the list
    // after every wake, so a signal that comes after a reader already took
    // the message costs one wait.
    pMessageEvent->SetSignal();
    return Pumped::Queued;
}

XQRC XQMessageQ::ReceiveThread() {
    XQ_TRACE_METHOD("XQMessageQ::ReceiveThread()");
    // A forced end may land only while the thread waits for a frame or for
    // the loop, never while it holds the queue mutex or writes a trace line.
    XQCancelScope quiet(false);
    // However the thread ends, no reader runs the loop after it.
    struct Ended {
        XQMessageQ* q;
        ~Ended() {
            std::lock_guard<std::mutex> lock(q->loopMutex_);
            q->threadStop_ = true;
            if (q->runner_ == LoopRunner::Thread) q->runner_ = LoopRunner::Nobody;
        }
    } ended{this};
    for (;;) {
        if (!AwaitLoop()) {
            // A reader took this queue's stop frame.
            lastReceiveRC = XQRC(0, 0, XQRC::WhsSrv);
            break;
        }
        Pumped p;
        do {
            p = PumpOnce(lastReceiveRC, kNoLimit, true);
        } while (p == Pumped::Queued || p == Pumped::Dropped ||
                 (p == Pumped::ListenerDown && !stopArmed_.load() && Relisten()));
        if (p == Pumped::Idle) {
            GiveLoopUp();  // a reader waits for it
            continue;
        }
        // A receive error, or the socket halted by Destroy, ends the thread.
        if (p != Pumped::Stop) return lastReceiveRC;
        break;
    }
    XQ_TRACE(4, "\tSTOP RECEIVING message found; set bQuitFlag to true and terminate.");
    return lastReceiveRC;
}

bool XQMessageQ::Relisten() {
    XQ_TRACE_ALWAYS("XQMessageQ::ReceiveThread: listening socket failed; rc = "
                    << lastReceiveRC.code << "/" << lastReceiveRC.secondaryCode << "; port " << nQueuePort);
    std::unique_ptr<XQabsThreadControl> control(XQabsFactory::Instance()->CreateThreadControl());
    while (!stopArmed_.load()) {
        {
            XQCancelScope open(true);
            if (control != nullptr) control->Sleep(kRelistenPauseMs);
        }
        if (stopArmed_.load()) break;
        const XQRC rc = pSocketServer->InitializeReceive(nQueuePort, backlog_);
        if (rc.code == 0) {
            XQ_TRACE_ALWAYS("XQMessageQ::ReceiveThread: listening again on port " << nQueuePort);
            // Destroy may have come while the socket was being opened again.
            return !stopArmed_.load();
        }
    }
    return false;
}

bool XQMessageQ::AwaitLoop() {
    for (;;) {
        unsigned int waitMs;
        {
            std::lock_guard<std::mutex> lock(loopMutex_);
            if (threadStop_) return false;
            const Clock::time_point now = Clock::now();
            threadAsleep_ = false;
            if (runner_ == LoopRunner::Nobody &&
                (threadFirst_ || stopArmed_.load() || now >= runnerFreed_ + kLoopGrace)) {
                runner_ = LoopRunner::Thread;
                threadFirst_ = false;
                return true;
            }
            if (runner_ == LoopRunner::Nobody) {
                waitMs = msUntil(runnerFreed_ + kLoopGrace, now);
            } else if (now < runnerTaken_ + kLoopGrace) {
                // A reader in a quick cycle: look again after a grace rather
                // than have it wake this thread every time it leaves.
                waitMs = msUntil(runnerTaken_ + kLoopGrace, now);
            } else {
                // A reader waits in the loop: it wakes this thread when it leaves.
                waitMs = kNoLimit;
                threadAsleep_ = true;
            }
        }
        XQCancelScope open(true);
        pLoopEvent->Wait(waitMs);
    }
}

void XQMessageQ::GiveLoopUp() {
    {
        std::lock_guard<std::mutex> lock(loopMutex_);
        runner_ = LoopRunner::Nobody;
        runnerFreed_ = Clock::now();
    }
    // The reader that interrupted the loop waits for a message: it looks
    // again and takes the loop.
    pMessageEvent->SetSignal();
}

bool XQMessageQ::TakeLoop() {
    std::lock_guard<std::mutex> lock(loopMutex_);
    if (threadStop_ || threadFirst_ || stopArmed_.load() || !receiveThreadRunning.load() ||
        pSocketServer == nullptr)
        return false;
    if (runner_ == LoopRunner::Nobody) {
        runner_ = LoopRunner::Reader;
        runnerTaken_ = Clock::now();
        return true;
    }
    if (runner_ == LoopRunner::Thread) pSocketServer->InterruptReceive();
    return false;
}

void XQMessageQ::ReturnLoop(bool threadNext) {
    bool wakeThread;
    bool wakeReader;
    {
        std::lock_guard<std::mutex> lock(loopMutex_);
        runner_ = LoopRunner::Nobody;
        runnerFreed_ = Clock::now();
        if (threadNext) threadFirst_ = true;
        wakeThread = threadAsleep_ || threadNext;
        wakeReader = readersWaiting_ > 0 && !threadNext;
    }
    if (wakeThread) pLoopEvent->SetSignal();
    // Another reader waits while this one ran the loop: it takes it next.
    if (wakeReader) pMessageEvent->SetSignal();
}

void XQMessageQ::LeaveLoopForGood() {
    {
        std::lock_guard<std::mutex> lock(loopMutex_);
        threadStop_ = true;
    }
    // Halted, the loop sends a reader still inside it out at once.
    pSocketServer->HaltReceive();
    for (int waited = 0; waited < kLeaveLoopMs; ++waited) {
        {
            std::lock_guard<std::mutex> lock(loopMutex_);
            if (runner_ != LoopRunner::Reader) return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    XQ_TRACE_ALWAYS("XQMessageQ: a reader did not leave the receive loop");
}

XQRC XQMessageQ::RunLoopAsReader(unsigned int waitMs, bool cancellable) {
    // Given back however the wait ends, a forced end of the reader included.
    struct Back {
        XQMessageQ* q;
        bool threadNext;
        ~Back() { q->ReturnLoop(threadNext); }
    } back{this, false};
    XQRC rc(0, 0, XQRC::WhsSrv);
    const Clock::time_point end =
        waitMs == kNoLimit ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(waitMs);
    Pumped p;
    for (;;) {
        // A reader that may be ended by force waits in slices and lets the
        // end land between them: unwinding out of the loop's system call
        // would leave the sanitizers' view of its locks behind.
        unsigned int slice = end == Clock::time_point::max() ? kNoLimit : msUntil(end, Clock::now());
        if (cancellable && slice > kReaderSliceMs) slice = kReaderSliceMs;
        p = PumpOnce(rc, slice, false);
        if (p != Pumped::Idle || Clock::now() >= end) break;
        if (cancellable) {
            XQCancelScope open(true);
            XQCancellationPoint();
        }
    }
    if (p == Pumped::Idle) return XQRC(9001, 0, XQRC::WhsSrv);
    if (p == Pumped::Stop) {
        // This queue's own stop frame: the receive thread ends.
        {
            std::lock_guard<std::mutex> lock(loopMutex_);
            threadStop_ = true;
        }
        pLoopEvent->SetSignal();
    }
    // The receive thread opens the socket again, or ends.
    back.threadNext = p == Pumped::ListenerDown || p == Pumped::Failed;
    return XQRC(0, 0, XQRC::WhsSrv);
}

XQRC XQMessageQ::AwaitMessage(unsigned int waitMs, bool cancellable) {
    if (TakeLoop()) return RunLoopAsReader(waitMs, cancellable);
    struct Waiting {
        XQMessageQ* q;
        explicit Waiting(XQMessageQ* queue) : q(queue) {
            std::lock_guard<std::mutex> lock(q->loopMutex_);
            ++q->readersWaiting_;
        }
        ~Waiting() {
            std::lock_guard<std::mutex> lock(q->loopMutex_);
            --q->readersWaiting_;
        }
    } waiting(this);
    XQCancelScope open(cancellable);
    return pMessageEvent->Wait(waitMs);
}
