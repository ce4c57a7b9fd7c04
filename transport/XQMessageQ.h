#ifndef TCORE_TRANSPORT_XQMESSAGEQ_H
#define TCORE_TRANSPORT_XQMESSAGEQ_H

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>

#include "foundation/Export.h"
#include "foundation/XQRC.h"
#include "messages/XQBaseMessage.h"
#include "messages/XQMessageBuffer.h"
#include "transport/XQReceiveStats.h"

class XQSocket;
class XQabsThread;
class XQabsEventSemaphore;
class XQabsMutexSemaphore;
class XQReceiveCounters;

// Most clients one queue polls at a time.
const unsigned int XQ_MAX_POLL_CLIENTS = 10;

// One slot of the poll-client table. Every field is read and written with
// the queue mutex held.
struct XQPollClient {
    int active;
    wchar_t clientName[32];   // at most 31 characters, terminated
    wchar_t clientHost[255];  // at most 254 characters, terminated
    unsigned int port;
    unsigned int interval;  // seconds between pings
    int haltRequested;      // set by the halt operations
    int isDead;             // set by the poll thread when a ping failed
};

// A program's mailbox: a listening socket, a receive thread that queues every
// frame arriving on it, and readers that take the queued messages in order.
// Senders reach it by host and port with a message's Send.
//
// Payloads that are not messages: "STOP RECEIVING" ends the receive thread
// when this queue's own Destroy sent it (from anyone else it is dropped and
// counted); "PING SEND TO " (a ping) is dropped; "PING ERROR " (a dead-client report
// from a poll thread) is handed to the reader as 9124 with its text as the
// first token.
//
// Thread-safety: one program thread reads (Receive, ReceiveType, Peek, Purge)
// and manages the queue (Create, Destroy, the polling operations); the
// receive thread and the poll threads append. The list of buffers and the
// poll-client table are guarded by the queue mutex, which is not recursive;
// RetrieveMessageFromQ and RetrieveMessageTypeFromQ require it held, every
// other operation takes it itself and must be called without it.
//
// Return codes (domain WhsSrv): 9102 already created, 9103 no semaphores or
// no socket, 9104 no socket for the stop frame, 9107/9110 no message at the
// Peek position, 9112 not created, 9117 Receive timed out, 9118 no message of
// that number to purge, 9120 queue empty, 9121 ten clients polled already,
// 9122 no such polled client, 9123 no free poll slot, 9124 dead-client report
// or no socket for a ping, 9125 no poll client to halt or no dead client.
// A payload whose announced size exceeds the bytes received is removed and
// reported as 6004 (announced size, bytes held).
//
// The receive loop serves every connection at once. A reader waiting in
// Receive or ReceiveType runs it itself; the receive thread runs it while no
// reader waits, and ends only through Destroy. A frame that one connection
// fails to deliver (stalled past the socket's timeout, cut short, refused by
// a bound, not convertible) is dropped and counted; a listening socket that
// fails by itself is reported and opened again on the same port.
//
// Call Destroy before deleting the object: the destructor ends a running
// receive thread and the poll threads by force.
class TCORE_EXPORT XQMessageQ {
public:
    XQMessageQ();
    virtual ~XQMessageQ();

    XQMessageQ(const XQMessageQ&) = delete;
    XQMessageQ& operator=(const XQMessageQ&) = delete;

    // Listens on nQueuePort (0: any free port, or one of the firewall range)
    // with nInstanceCount as the listen backlog and starts the receive thread.
    XQRC Create(unsigned int nQueuePort, unsigned int nInstanceCount);
    // Stops the receive thread with a stop frame to the queue's own port or,
    // when that cannot get through within half a second, through the
    // socket's wake-up descriptor; ends it by force only if neither works.
    // Closes the socket; with purge non-zero also empties the queue. The
    // queue cannot be created again.
    XQRC Destroy(int purge);

    // Waits up to timeout milliseconds (0xFFFFFFFF: no limit) for a message
    // and unpacks the oldest into message, removing it. Success always means
    // a message was unpacked; a message that cannot be unpacked is removed
    // and its unpack failure returned.
    XQRC Receive(XQBaseMessage& message, unsigned int timeout);
    // Waits like Receive and reports the type of the oldest message, leaving
    // it queued.
    XQRC ReceiveType(EMSGTYPE& type, unsigned int timeout);
    // Without waiting: count = number of queued messages; unpacks the message
    // at position (0 = oldest), leaving it queued. An empty queue succeeds
    // with message untouched.
    XQRC Peek(XQBaseMessage& message, unsigned int position, unsigned int& count);
    // Removes the message at position number, or every message for
    // 0xFFFFFFFF. Takes the queue mutex.
    XQRC Purge(unsigned int number);

    // The body of the receive thread.
    XQRC ReceiveThread();

    // Bounds of the receiving side: connections in progress and bytes held by
    // unread messages (see XQReceiveStats.h); settable at any time.
    void SetReceiveLimits(const XQReceiveLimits& limits);
    XQReceiveLimits GetReceiveLimits() const;
    // What the queue has received, dropped and holds; any thread, any time
    // (also after Destroy).
    XQReceiveStats GetReceiveStats() const;
    // Only these peers may connect: IPv4 addresses and CIDR networks,
    // comma-separated ("192.0.2.7, 198.51.100.0/24"); others are closed at
    // accept before a byte is read, and counted. Replaces TCORE_ALLOW_PEERS
    // for this queue; an empty text lets everyone in. 6124 when the text
    // cannot be read (the list in force stays).
    XQRC SetAllowedPeers(const XQSTRING& peers);
    // The tails of Receive and ReceiveType. REQUIRES: the queue mutex held.
    XQRC RetrieveMessageFromQ(XQBaseMessage& message);
    XQRC RetrieveMessageTypeFromQ(EMSGTYPE& type);

    // Fills rc: domain WhsSrv, the number, tokens t1 to t4, the method, the
    // command line and the local host name.
    void FormatXQRC(XQRC& rc, const XQSTRING& method, unsigned int messageNumber, const XQSTRING& t1,
                    const XQSTRING& t2, const XQSTRING& t3, const XQSTRING& t4);

    // Client polling. PollClient takes a free slot and starts a thread that
    // pings clientHost:port every interval seconds; a failed ping marks the
    // client dead and posts a "PING ERROR " report into this queue. Names
    // longer than the slot fields are cut to fit.
    XQRC PollClient(const XQSTRING& clientName, const XQSTRING& clientHost, unsigned int port,
                    unsigned int interval);
    // Sends one ping and returns the send result.
    XQRC PingClient(const XQSTRING& clientName, const XQSTRING& clientHost, unsigned int port);
    // Ask the poll thread of that client (or of every client) to end, then
    // give it a second to notice; they do not wait for the thread to end.
    XQRC HaltPollClient(const XQSTRING& clientName);
    XQRC HaltAllPollClients();
    unsigned int GetDeadClientCount();
    // Hands out the lowest-numbered dead client and frees its slot; count
    // tells how many dead clients remain.
    XQRC GetDeadClientName(XQSTRING& clientName, unsigned int& count);
    // The body of a poll thread.
    XQRC PollClientThread(unsigned int slot);

    // Members, in declaration order. The table and pollClientCount are
    // guarded by pQueueMutex.
    int pollClientCount;
    XQRC lastReceiveRC;  // written by the receive thread only
    int isCreated;
    XQabsThread* pReceiveThread;
    XQabsEventSemaphore* pMessageEvent;
    XQSocket* pSocketServer;
    XQabsMutexSemaphore* pQueueMutex;
    std::deque<std::unique_ptr<XQMessageBuffer>> messageList;
    unsigned int nQueuePort;
    int semaphoreState;  // 0 constructing, 1 made, 2 a semaphore could not be made
    XQPollClient pollClients[XQ_MAX_POLL_CLIENTS];
    XQabsThread* pPollThreads[XQ_MAX_POLL_CLIENTS];

private:
    XQRC PurgeLocked(unsigned int number);
    void AcquireOrTrace(const char* failureText);
    void ReleaseOrTrace(const char* failureText);
    XQRC StopReceiveThread(XQSocket& sender);
    void ReceiveSummary(const XQBaseMessage& message);
    void ReceiveThreadEnded();
    bool Relisten();
    // Removes the element at position (REQUIRES: the queue mutex held), or
    // every element, keeping the count of held bytes.
    std::unique_ptr<XQMessageBuffer> TakeAt(size_t position);
    void ClearList();
    friend void* StartReceiveThread(void* queue);

    // Set when the receive thread leaves its body (a stop frame, a receive
    // error or a forced end), so Destroy does not send to a queue that no
    // longer reads.
    std::atomic<int> receiveThreadRunning;
    // Signalled when the receive thread leaves its body; bounds Destroy's join.
    XQabsEventSemaphore* pReceiveEndEvent;
    // 1 from a successful start until the receive thread has been collected.
    int receiveThreadStarted;
    std::shared_ptr<XQReceiveCounters> counters_;
    // Set by Destroy before it stops the receive thread: only then does a
    // stop frame count.
    std::atomic<bool> stopArmed_;
    unsigned int backlog_;

    // Who runs the receive loop: the receive thread, or a reader waiting in
    // Receive or ReceiveType, which then takes its frame without a hand-off
    // between threads (XQMessageQReceive.cpp).
    enum class LoopRunner { Nobody, Thread, Reader };
    enum class Pumped { Queued, Dropped, Idle, Stop, ListenerDown, Failed };
    Pumped PumpOnce(XQRC& rc, unsigned int waitMs, bool cancellable);
    bool AwaitLoop();
    void GiveLoopUp();
    bool TakeLoop();
    void ReturnLoop(bool threadNext);
    void LeaveLoopForGood();
    // Waits up to waitMs for a message to be queued: 0 to look again, 9001
    // when the time is up, or the wait's failure. REQUIRES: the queue mutex
    // not held.
    XQRC AwaitMessage(unsigned int waitMs, bool cancellable);
    // The part of AwaitMessage for a reader that took the loop.
    XQRC RunLoopAsReader(unsigned int waitMs, bool cancellable);

    std::mutex loopMutex_;  // guards the members below it
    LoopRunner runner_ = LoopRunner::Nobody;
    std::chrono::steady_clock::time_point runnerTaken_;
    std::chrono::steady_clock::time_point runnerFreed_;
    bool threadFirst_ = false;   // the receive thread runs the loop next, before any reader
    bool threadStop_ = false;    // the receive thread is to end; no reader runs the loop
    bool threadAsleep_ = false;  // the receive thread waits without a bound for the loop
    int readersWaiting_ = 0;     // readers waiting on pMessageEvent
    XQabsEventSemaphore* pLoopEvent;  // wakes the receive thread waiting for the loop
};

// The thread entry given to the factory for the receive thread; its exit
// value is the code of ReceiveThread's result.
TCORE_EXPORT void* StartReceiveThread(void* queue);
// The thread entry of a poll thread; the argument is owned by the thread.
TCORE_EXPORT void* StartPollClientThread(void* entry);

#endif
