#include "transport/XQMessageQ.h"

#include <cxxabi.h>
#include <stdint.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>

#include "foundation/ProcessInfo.h"
#include "foundation/Trace.h"
#include "os/XQNTThread.h"
#include "os/XQabsEventSemaphore.h"
#include "os/XQabsFactory.h"
#include "os/XQabsMutexSemaphore.h"
#include "os/XQabsThread.h"
#include "os/XQabsThreadControl.h"
#include "transport/XQMessageQPayload.h"
#include "transport/XQReceiveCounters.h"
#include "transport/XQSocket.h"

namespace {

const unsigned int kAllMessages = 0xFFFFFFFFu;
const unsigned int kNoLimit = 0xFFFFFFFFu;
const unsigned long kStopJoinMs = 10000;
// Destroy's stop frame and the wait for it to be read: short, since the
// wake-up descriptor ends the receive thread if the frame cannot get through.
const unsigned int kStopFrameMs = 500;

XQRC success() { return XQRC(0, 0, XQRC::WhsSrv); }

// Milliseconds left until deadline, 0 once it has passed.
unsigned int remainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return 0;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1;
    return left >= static_cast<long long>(kNoLimit) ? kNoLimit - 1 : static_cast<unsigned int>(left);
}

}  // namespace

// The forced-unwind exception of a cancelled thread has no object; the
// sanitizer's null check would flag the handler that lets it pass.
__attribute__((no_sanitize("null"))) void* StartReceiveThread(void* queue) {
    XQMessageQ* q = static_cast<XQMessageQ*>(queue);
    // Whatever ends the body (a stop frame, a receive error, a forced end),
    // Destroy learns that the thread no longer reads.
    struct EndNotice {
        XQMessageQ* q;
        ~EndNotice() { q->ReceiveThreadEnded(); }
    } notice{q};
    intptr_t code = 0;
    try {
        code = q->ReceiveThread().code;
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        XQ_TRACE_ALWAYS("XQMessageQ::ReceiveThread: ended by an exception");
        code = -1;
    }
    return reinterpret_cast<void*>(code);
}

XQMessageQ::XQMessageQ()
    : pollClientCount(0),
      lastReceiveRC(0, 0, XQRC::WhsSrv),
      isCreated(0),
      pReceiveThread(nullptr),
      pMessageEvent(nullptr),
      pSocketServer(nullptr),
      pQueueMutex(nullptr),
      nQueuePort(0),
      semaphoreState(0),
      pollClients(),
      pPollThreads(),
      receiveThreadRunning(0),
      pReceiveEndEvent(nullptr),
      receiveThreadStarted(0),
      counters_(std::make_shared<XQReceiveCounters>()),
      stopArmed_(false),
      backlog_(0),
      pLoopEvent(nullptr) {
    XQ_TRACE_METHOD("XQMessageQ::XQMessageQ()");
    XQabsFactory* factory = XQabsFactory::Instance();
    pQueueMutex = factory->CreateMutexSemaphore(XQSTRING());
    if (pQueueMutex == nullptr || pQueueMutex->state != 1) {
        semaphoreState = 2;
        XQ_TRACE(4, "Could not create the mutex");
        return;
    }
    pReceiveThread = factory->CreateThread(StartReceiveThread, this);
    pMessageEvent = factory->CreateEventSemaphore(XQSTRING());
    pReceiveEndEvent = factory->CreateEventSemaphore(XQSTRING());
    pLoopEvent = factory->CreateEventSemaphore(XQSTRING());
    if (pMessageEvent == nullptr || pMessageEvent->state != 1 || pReceiveEndEvent == nullptr ||
        pReceiveEndEvent->state != 1 || pLoopEvent == nullptr || pLoopEvent->state != 1) {
        semaphoreState = 2;
        XQ_TRACE(4, "Could not create the event");
        return;
    }
    if (pReceiveThread == nullptr) {
        semaphoreState = 2;
        return;
    }
    semaphoreState = 1;
}

XQMessageQ::~XQMessageQ() {
    XQ_TRACE_METHOD("XQMessageQ::~XQMessageQ()");
    // The receive thread reads through pSocketServer: end it before the
    // socket goes.
    if (receiveThreadStarted && pReceiveThread != nullptr) {
        if (pReceiveThread->TerminateThread().code != 0) {
            // A thread that would not end may still read through the socket:
            // better to leave the socket to it than to free it under it.
            XQ_TRACE_ALWAYS("XQMessageQ::~XQMessageQ: receive thread did not end; its socket is left open");
            pSocketServer = nullptr;
        }
        receiveThreadStarted = 0;
    }
    if (pSocketServer != nullptr) LeaveLoopForGood();
    delete pSocketServer;
    pSocketServer = nullptr;
    XQ_TRACE(4, "\tDelete XQSocketServer");
    delete pReceiveThread;
    pReceiveThread = nullptr;
    XQ_TRACE(4, "\tDelete Thread");
    if (pQueueMutex != nullptr && pQueueMutex->state == 1) {
        AcquireOrTrace("XQMessageQ::~XQMessageQ: mutex->Acquire != XQ_OK");
        if (isCreated) PurgeLocked(kAllMessages);
        ClearList();
        ReleaseOrTrace("XQMessageQ::~XQMessageQ: mutex->Release != XQ_OK");
        XQ_TRACE(4, "\tPurge Queue");
    }
    ClearList();
    delete pMessageEvent;
    pMessageEvent = nullptr;
    XQ_TRACE(4, "\tDelete Event");
    for (unsigned int i = 0; i < XQ_MAX_POLL_CLIENTS; ++i) {
        if (pPollThreads[i] != nullptr) {
            delete pPollThreads[i];
            pPollThreads[i] = nullptr;
            XQ_TRACE(4, "\tDelete PollThread" << i);
        }
    }
    delete pReceiveEndEvent;
    pReceiveEndEvent = nullptr;
    delete pLoopEvent;
    pLoopEvent = nullptr;
    delete pQueueMutex;
    pQueueMutex = nullptr;
    XQ_TRACE(4, "\tDelete Mutex");
}

void XQMessageQ::FormatXQRC(XQRC& rc, const XQSTRING& method, unsigned int messageNumber, const XQSTRING& t1,
                            const XQSTRING& t2, const XQSTRING& t3, const XQSTRING& t4) {
    rc = XQRC(static_cast<int>(messageNumber), 0, XQRC::WhsSrv);
    const XQSTRING none;
    rc.SetXQMessage(t1, t2, t3, t4, none, none, none, none, none, none);
    rc.methodName = method;
    rc.executableName = GetCommandLine();
    XQSTRING host;
    const int err = xqLocalHostName(host);
    if (err == 0) {
        rc.hostName = host;
    } else {
        XQ_TRACE(4, "Error during creating XQSocket: " << "nXQError = " << 6114);
    }
}

void XQMessageQ::AcquireOrTrace(const char* failureText) {
    if (pQueueMutex->Acquire().code != 0) XQ_TRACE_ALWAYS(failureText);
}

void XQMessageQ::ReleaseOrTrace(const char* failureText) {
    if (pQueueMutex->Release().code != 0) XQ_TRACE_ALWAYS(failureText);
}

void XQMessageQ::ReceiveThreadEnded() {
    receiveThreadRunning.store(0);
    if (pReceiveEndEvent != nullptr) pReceiveEndEvent->SetSignal();
}

XQRC XQMessageQ::Create(unsigned int port, unsigned int nInstanceCount) {
    XQ_TRACE_METHOD("XQMessageQ::Create()");
    const XQSTRING method = L"XQMessageQ::Create()";
    XQRC rc = success();
    XQ_TRACE(3, "\tnQueuePort = " << port);
    XQ_TRACE(3, "\tnInstanceCount =" << nInstanceCount);
    if (semaphoreState != 1) {
        FormatXQRC(rc, method, 9103, L"", L"", L"", L"");
        XQ_TRACE(4, "Semaphores not created during XQMessageQ ctor.");
        return rc;
    }
    if (isCreated) {
        FormatXQRC(rc, method, 9102, L"", L"", L"", L"");
        XQ_TRACE(4, "\tMessage queue already exists, cannot create again! rc = " << rc.code);
        return rc;
    }
    pSocketServer = new (std::nothrow) XQSocket();
    if (pSocketServer == nullptr) {
        FormatXQRC(rc, method, 9103, L"", L"", L"", L"");
        XQ_TRACE(4, "XQMessageQ::Create(): No socket allocated. Msg Not Sent.");
        return rc;
    }
    pSocketServer->ShareReceiveCounters(counters_);
    rc = pSocketServer->GetSetupError();
    if (rc.code == 0) rc = pSocketServer->InitializeReceive(port, nInstanceCount);
    if (rc.code != 0) {
        XQ_TRACE(4, "Error during creating XQSocket: " << rc.code);
        delete pSocketServer;
        pSocketServer = nullptr;
        return rc;
    }
    unsigned int boundPort = port;
    if (port == 0) {
        rc = pSocketServer->GetReceivePort(boundPort);
        if (rc.code != 0) {
            delete pSocketServer;
            pSocketServer = nullptr;
            return rc;
        }
    }
    pReceiveEndEvent->ResetSignal();
    receiveThreadRunning.store(1);
    rc = pReceiveThread->StartThread(1);
    if (rc.code != 0) {
        receiveThreadRunning.store(0);
        delete pSocketServer;
        pSocketServer = nullptr;
        return rc;
    }
    receiveThreadStarted = 1;
    isCreated = 1;
    nQueuePort = boundPort;
    backlog_ = nInstanceCount;
    XQ_TRACE(3, "\tnQueuePort = " << nQueuePort);
    return rc;
}

std::unique_ptr<XQMessageBuffer> XQMessageQ::TakeAt(size_t position) {
    std::unique_ptr<XQMessageBuffer> buffer = std::move(messageList[position]);
    messageList.erase(messageList.begin() + static_cast<std::ptrdiff_t>(position));
    if (buffer != nullptr) counters_->release(buffer->size);
    return buffer;
}

void XQMessageQ::ClearList() {
    for (const auto& b : messageList)
        if (b != nullptr) counters_->release(b->size);
    messageList.clear();
}

void XQMessageQ::SetReceiveLimits(const XQReceiveLimits& limits) { counters_->setLimits(limits); }

XQReceiveLimits XQMessageQ::GetReceiveLimits() const { return counters_->limits(); }

XQReceiveStats XQMessageQ::GetReceiveStats() const { return counters_->snapshot(); }

XQRC XQMessageQ::SetAllowedPeers(const XQSTRING& peers) {
    XQRC rc = success();
    auto filter = std::make_shared<XQPeerFilter>();
    std::string bad;
    if (!filter->parse(xqToMultibyte(peers), bad)) {
        FormatXQRC(rc, L"XQMessageQ::SetAllowedPeers()", 6124, peers, xqFromMultibyte(bad), L"", L"");
        return rc;
    }
    counters_->setPeers(std::move(filter));
    return rc;
}

XQRC XQMessageQ::RetrieveMessageFromQ(XQBaseMessage& message) {
    XQ_TRACE_METHOD("XQMessageQ::RetrieveMessageFromQ()");
    const XQSTRING method = L"XQMessageQ::RetrieveMessageFromQ()";
    XQRC rc = success();
    if (messageList.empty()) {
        // Left on so that the trace shows how a reader came to find nothing.
        if (getDebugTcore() < 3) setDebugTcore(3);
        FormatXQRC(rc, method, 9120, L"", L"", L"", L"");
        return rc;
    }
    std::unique_ptr<XQMessageBuffer> buffer = TakeAt(0);
    if (xqPayloadBegins(buffer->data, buffer->size, kPingErrorPrefix)) {
        FormatXQRC(rc, method, 9124, xqPayloadText(buffer->data, buffer->size), L"", L"", L"");
        return rc;
    }
    unsigned long announced = 0;
    if (!xqPayloadFits(buffer->data, buffer->size, announced)) {
        counters_->droppedMalformed.fetch_add(1, std::memory_order_relaxed);
        FormatXQRC(rc, method, 6004, xqNumber(static_cast<long>(announced)), xqNumber(buffer->size), L"", L"");
        return rc;
    }
    rc = message.UnpackMessageBounded(buffer->data, buffer->size);
    if (rc.code != 0) counters_->droppedMalformed.fetch_add(1, std::memory_order_relaxed);
    return rc;
}

XQRC XQMessageQ::RetrieveMessageTypeFromQ(EMSGTYPE& type) {
    XQ_TRACE_METHOD("XQMessageQ::RetrieveMessageTypeFromQ()");
    const XQSTRING method = L"XQMessageQ::RetrieveMessageTypeFromQ()";
    XQRC rc = success();
    if (messageList.empty()) {
        FormatXQRC(rc, method, 9120, L"", L"", L"", L"");
        return rc;
    }
    XQMessageBuffer& front = *messageList.front();
    if (xqPayloadBegins(front.data, front.size, kPingErrorPrefix)) {
        FormatXQRC(rc, method, 9124, xqPayloadText(front.data, front.size), L"", L"", L"");
        TakeAt(0);
        return rc;
    }
    unsigned long announced = 0;
    if (!xqPayloadFits(front.data, front.size, announced)) {
        FormatXQRC(rc, method, 6004, xqNumber(static_cast<long>(announced)), xqNumber(front.size), L"", L"");
        counters_->droppedMalformed.fetch_add(1, std::memory_order_relaxed);
        TakeAt(0);
        return rc;
    }
    XQBaseMessage scratch;
    rc = scratch.UnpackMessageBounded(front.data, front.size);
    if (rc.code == 0) {
        type = scratch.MessageType;
    } else {
        // A head that cannot be read would stop every later reader.
        counters_->droppedMalformed.fetch_add(1, std::memory_order_relaxed);
        TakeAt(0);
    }
    return rc;
}

void XQMessageQ::ReceiveSummary(const XQBaseMessage& message) {
    if (!traceOn(3)) return;
    XQRC carried(0, 0, XQRC::WhsSrv);
    message.GetRCFromReply(carried);
    TraceText t;
    t << message.BVName << "... received mt/ct/cst " << static_cast<long>(message.MessageType) << "/"
      << static_cast<long>(message.Command) << "/" << static_cast<long>(message.SubCommand) << " rc "
      << static_cast<long>(carried.code) << "/" << static_cast<long>(carried.secondaryCode) << " Orig/Dest "
      << static_cast<long>(message.OriginQueuePort) << "/" << static_cast<long>(message.DestQueuePort);
    traceBareLine(t.str());
}

XQRC XQMessageQ::Receive(XQBaseMessage& message, unsigned int timeout) {
    XQ_TRACE_METHOD("XQMessageQ::Receive()");
    XQRC rc = success();
    if (!isCreated) {
        FormatXQRC(rc, L"XQMessageQ::Receive()", 9112, L"", L"", L"", L"");
        XQ_TRACE(4, "\tMessageQ not created; rc = " << rc.code);
        return rc;
    }
    // A reader ended by force is ended only in its wait, never while it
    // holds the queue mutex (unpacking may write a dump file).
    XQCancelScope held(false);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
    unsigned int wait = timeout;
    for (;;) {
        AcquireOrTrace("XQMessageQ::Receive: mutex->Acquire != XQ_OK");
        if (!messageList.empty()) {
            if (pMessageEvent->ResetSignal().code != 0) XQ_TRACE_ALWAYS("XQMessageQ::Receive: ResetSignal != XQ_OK");
            rc = RetrieveMessageFromQ(message);
            ReleaseOrTrace("XQMessageQ::Receive: mutex->Release != XQ_OK");
            break;
        }
        ReleaseOrTrace("XQMessageQ::Receive: mutex->Release != XQ_OK");
        XQ_TRACE(3, "\tWaiting for message to arrive or until timeout=" << wait);
        const XQRC waited = AwaitMessage(wait, held.wasEnabled());
        if (waited.code != 0 && waited.code != 9001) return waited;
        AcquireOrTrace("XQMessageQ::Receive: mutex->Acquire != XQ_OK");
        if (!messageList.empty()) {
            if (pMessageEvent->ResetSignal().code != 0) XQ_TRACE_ALWAYS("XQMessageQ::Receive: ResetSignal != XQ_OK");
            rc = RetrieveMessageFromQ(message);
            ReleaseOrTrace("XQMessageQ::Receive: mutex->Release != XQ_OK");
            break;
        }
        ReleaseOrTrace("XQMessageQ::Receive: mutex->Release != XQ_OK");
        // A wake without a message (a stale signal) waits again for what is
        // left of the timeout.
        if (timeout != kNoLimit) wait = remainingMs(deadline);
        if (waited.code == 9001 || (timeout != kNoLimit && wait == 0)) {
            FormatXQRC(rc, L"XQMessageQ::Receive()", 9117, L"", L"", L"", L"");
            XQ_TRACE(4, "Waiting for message timed out.");
            return rc;
        }
    }
    if (rc.code == 0) ReceiveSummary(message);
    return rc;
}

XQRC XQMessageQ::ReceiveType(EMSGTYPE& type, unsigned int timeout) {
    XQ_TRACE_METHOD("XQMessageQ::ReceiveType()");
    XQRC rc = success();
    if (!isCreated) {
        FormatXQRC(rc, L"XQMessageQ::ReceiveType()", 9112, L"", L"", L"", L"");
        XQ_TRACE(4, "\tMessage not created; rc = " << rc.code);
        return rc;
    }
    XQCancelScope held(false);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
    unsigned int wait = timeout;
    for (;;) {
        AcquireOrTrace("XQMessageQ::ReceiveType: mutex->Acquire != XQ_OK");
        if (!messageList.empty()) {
            rc = RetrieveMessageTypeFromQ(type);
            ReleaseOrTrace("XQMessageQ::ReceiveType: mutex->Release != XQ_OK");
            return rc;
        }
        ReleaseOrTrace("XQMessageQ::ReceiveType: mutex->Release != XQ_OK");
        XQ_TRACE(3, "\tWaiting for message to arrive or until timeout=" << wait);
        const XQRC waited = AwaitMessage(wait, held.wasEnabled());
        if (waited.code != 0 && waited.code != 9001) return waited;
        AcquireOrTrace("XQMessageQ::ReceiveType: mutex->Acquire != XQ_OK");
        if (!messageList.empty()) {
            if (waited.code == 9001) XQ_TRACE(4, "We timed out but still have a message on the queue");
            rc = RetrieveMessageTypeFromQ(type);
            ReleaseOrTrace("XQMessageQ::ReceiveType: mutex->Release != XQ_OK");
            return rc;
        }
        ReleaseOrTrace("XQMessageQ::ReceiveType: mutex->Release != XQ_OK");
        if (timeout != kNoLimit) wait = remainingMs(deadline);
        if (waited.code == 9001 || (timeout != kNoLimit && wait == 0)) {
            FormatXQRC(rc, L"XQMessageQ::ReceiveType()", 9117, L"", L"", L"", L"");
            XQ_TRACE(4, "\tTimeout. No message found in the message queue; RC = " << rc.code);
            return rc;
        }
    }
}

XQRC XQMessageQ::Peek(XQBaseMessage& message, unsigned int position, unsigned int& count) {
    XQ_TRACE_METHOD("XQMessageQ::Peek()");
    const XQSTRING method = L"XQMessageQ::Peek()";
    XQRC rc = success();
    if (!isCreated) {
        FormatXQRC(rc, method, 9112, L"", L"", L"", L"");
        return rc;
    }
    XQCancelScope held(false);
    AcquireOrTrace("XQMessageQ::Peek: mutex->Acquire != XQ_OK");
    count = static_cast<unsigned int>(messageList.size());
    if (count != 0) {
        if (position >= count) {
            FormatXQRC(rc, method, 9110, L"", L"", L"", L"");
        } else if (messageList[position] == nullptr) {
            FormatXQRC(rc, method, 9107, L"", L"", L"", L"");
        } else {
            const XQMessageBuffer& b = *messageList[position];
            unsigned long announced = 0;
            if (xqPayloadBegins(b.data, b.size, kPingErrorPrefix)) {
                FormatXQRC(rc, method, 9124, xqPayloadText(b.data, b.size), L"", L"", L"");
                TakeAt(position);
            } else if (!xqPayloadFits(b.data, b.size, announced)) {
                FormatXQRC(rc, method, 6004, xqNumber(static_cast<long>(announced)), xqNumber(b.size), L"", L"");
                counters_->droppedMalformed.fetch_add(1, std::memory_order_relaxed);
                TakeAt(position);
            } else {
                rc = message.UnpackMessageBounded(b.data, b.size);
                if (rc.code != 0) {
                    counters_->droppedMalformed.fetch_add(1, std::memory_order_relaxed);
                    TakeAt(position);
                }
            }
        }
    }
    ReleaseOrTrace("XQMessageQ::Peek: mutex->Release != XQ_OK");
    return rc;
}

XQRC XQMessageQ::Purge(unsigned int number) {
    XQ_TRACE_METHOD("XQMessageQ::Purge()");
    XQRC rc = success();
    if (!isCreated) {
        FormatXQRC(rc, L"XQMessageQ::Purge()", 9112, L"", L"", L"", L"");
        XQ_TRACE(4, "\tMessage queue not created!");
        return rc;
    }
    AcquireOrTrace("XQMessageQ::Purge: mutex->Acquire != XQ_OK");
    rc = PurgeLocked(number);
    ReleaseOrTrace("XQMessageQ::Purge: mutex->Release != XQ_OK");
    return rc;
}

XQRC XQMessageQ::PurgeLocked(unsigned int number) {
    XQRC rc = success();
    if (!isCreated) {
        FormatXQRC(rc, L"XQMessageQ::Purge()", 9112, L"", L"", L"", L"");
        XQ_TRACE(4, "\tMessage queue not created!");
        return rc;
    }
    if (number == kAllMessages) {
        XQ_TRACE(4, "\tPurging all the messages from the queue; total msg count = " << messageList.size());
        ClearList();
        XQ_TRACE(4, "\tPurged all messages from the queue successfully.");
    } else if (number < messageList.size()) {
        XQ_TRACE(4, "\tPurging message # = " << number);
        TakeAt(number);
        XQ_TRACE(4, "\tPurged message successfully.");
    } else {
        FormatXQRC(rc, L"XQMessageQ::Purge()", 9118, xqNumber(static_cast<long>(number)), L"", L"", L"");
        XQ_TRACE(4, "\tInvalid message number received.");
    }
    pMessageEvent->ResetSignal();
    return rc;
}

XQRC XQMessageQ::StopReceiveThread(XQSocket& sender) {
    // From here on a stop frame counts, and a halted socket ends the thread;
    // no reader takes the loop again, and the thread takes it at once.
    stopArmed_.store(true);
    pLoopEvent->SetSignal();
    if (receiveThreadRunning.load()) {
        unsigned char* frame = nullptr;
        const unsigned int bytes = static_cast<unsigned int>(kStopText.size() * sizeof(wchar_t));
        sender.SetTimeout(kStopFrameMs);
        XQRC rc = sender.InitializeSend(&frame, static_cast<int>(bytes));
        XQSTRING host;
        unsigned int port = 0;
        if (rc.code == 0) {
            std::memcpy(frame, kStopText.data(), bytes);
            rc = sender.GetHostName(host);
        }
        if (rc.code == 0) rc = pSocketServer->GetReceivePort(port);
        if (rc.code == 0) rc = sender.Send(host, port);
        if (rc.code == 0) rc = pReceiveEndEvent->Wait(kStopFrameMs);
        if (rc.code != 0) {
            // The frame did not get through (no descriptor, a full backlog):
            // the wake-up descriptor ends the thread whatever the peers do.
            XQ_TRACE(3, "\tStop frame not delivered (rc = " << rc.code << "); halting the socket.");
            pSocketServer->HaltReceive();
            rc = pReceiveEndEvent->Wait(kStopJoinMs);
            if (rc.code != 0) return rc;
        }
    }
    return pReceiveThread->WaitForTermination(kStopJoinMs);
}

XQRC XQMessageQ::Destroy(int purge) {
    XQ_TRACE_METHOD("XQMessageQ::Destroy()");
    XQRC rc = success();
    std::unique_ptr<XQSocket> sender(new (std::nothrow) XQSocket());
    if (sender == nullptr) {
        FormatXQRC(rc, L"XQMessageQ::Destroy()", 9104, L"", L"", L"", L"");
        return rc;
    }
    rc = sender->GetSetupError();
    if (rc.code != 0) return rc;
    if (pSocketServer == nullptr || pReceiveThread == nullptr) return rc;
    if (receiveThreadStarted) {
        rc = StopReceiveThread(*sender);
        sender.reset();
        if (rc.code != 0) rc = pReceiveThread->TerminateThread();
        if (rc.code == 0) receiveThreadStarted = 0;
    }
    if (rc.code == 0) {
        rc = pSocketServer->HaltReceive();
        if (rc.code == 0) {
            LeaveLoopForGood();
            delete pSocketServer;
            pSocketServer = nullptr;
            if (purge) {
                AcquireOrTrace("XQMessageQ::Destroy: mutex->Acquire != XQ_OK");
                PurgeLocked(kAllMessages);
                ReleaseOrTrace("XQMessageQ::Destroy: mutex->Release != XQ_OK");
            }
        }
    }
    XQ_TRACE(3, "\tMessage queue destroyed; port = " << nQueuePort << ", rc = " << rc.code);
    return rc;
}
