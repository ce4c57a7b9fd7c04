// Client polling of XQMessageQ: the poll-client table, the poll threads and
// the one-shot ping.

#include <cxxabi.h>
#include <stdint.h>

#include <cstring>
#include <memory>
#include <new>

#include "foundation/ProcessInfo.h"
#include "foundation/Trace.h"
#include "os/XQNTThread.h"
#include "os/XQabsFactory.h"
#include "os/XQabsMutexSemaphore.h"
#include "os/XQabsThread.h"
#include "os/XQabsThreadControl.h"
#include "transport/XQMessageQ.h"
#include "transport/XQMessageQPayload.h"
#include "transport/XQSocket.h"

namespace {

// Each poll thread gets its own argument, so two queues starting threads on
// the same slot never share one.
struct PollThreadEntry {
    XQMessageQ* queue;
    unsigned int slot;
};

XQRC success() { return XQRC(0, 0, XQRC::WhsSrv); }

void copyName(wchar_t* field, size_t capacity, const XQSTRING& text) {
    const size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
    if (n != 0) std::wmemcpy(field, text.data(), n);
    field[n] = L'\0';
}

XQSTRING pingText(const XQSTRING& name, const XQSTRING& host, const XQSTRING& localHost) {
    return kPingPrefix + name + L" " + host + L" " + L" FROM " + localHost + L" ";
}

// Packs text into a fresh frame of sender and sends it.
XQRC sendText(XQSocket& sender, const XQSTRING& text, const XQSTRING& host, unsigned int port, bool* prepared) {
    unsigned char* frame = nullptr;
    const size_t bytes = text.size() * sizeof(wchar_t);
    XQRC rc = sender.InitializeSend(&frame, static_cast<int>(bytes));
    if (prepared != nullptr) *prepared = rc.code == 0;
    if (rc.code != 0) return rc;
    std::memcpy(frame, text.data(), bytes);
    // A forced end may land while the send waits on the network.
    XQCancelScope open(true);
    return sender.Send(host, port);
}

void sleepOneSecond() {
    std::unique_ptr<XQabsThreadControl> control(XQabsFactory::Instance()->CreateThreadControl());
    if (control != nullptr) control->Sleep(1000);
}

}  // namespace

// The forced-unwind exception of a cancelled thread has no object; the
// sanitizer's null check would flag the handler that lets it pass.
__attribute__((no_sanitize("null"))) void* StartPollClientThread(void* entry) {
    std::unique_ptr<PollThreadEntry> e(static_cast<PollThreadEntry*>(entry));
    intptr_t code = 0;
    try {
        code = e->queue->PollClientThread(e->slot).code;
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        XQ_TRACE_ALWAYS("XQMessageQ::PollClientThread: ended by an exception");
        code = -1;
    }
    return reinterpret_cast<void*>(code);
}

XQRC XQMessageQ::PollClient(const XQSTRING& clientName, const XQSTRING& clientHost, unsigned int port,
                            unsigned int interval) {
    XQ_TRACE_METHOD("XQMessageQ::PollClient()");
    const XQSTRING method = L"XQMessageQ::PollClient()";
    XQRC rc = success();
    if (nQueuePort == 0) {
        FormatXQRC(rc, method, 9112, L"", L"", L"", L"");
        XQ_TRACE(4, "\tMessage queue not created.");
        return rc;
    }
    unsigned int slot = XQ_MAX_POLL_CLIENTS;
    XQabsThread* previous = nullptr;
    AcquireOrTrace("XQMessageQ::PollClient: mutex->Acquire != XQ_OK");
    if (pollClientCount >= static_cast<int>(XQ_MAX_POLL_CLIENTS)) {
        ReleaseOrTrace("XQMessageQ::PollClient: mutex->Release != XQ_OK");
        FormatXQRC(rc, method, 9121, xqNumber(pollClientCount), L"", L"", L"");
        XQ_TRACE(4, "\tPoll client attempt exceeded; Max attempts = " << pollClientCount);
        return rc;
    }
    for (unsigned int i = 0; i < XQ_MAX_POLL_CLIENTS; ++i) {
        if (pollClients[i].active == 0) {
            slot = i;
            break;
        }
    }
    if (slot == XQ_MAX_POLL_CLIENTS) {
        ReleaseOrTrace("XQMessageQ::PollClient: mutex->Release != XQ_OK");
        FormatXQRC(rc, method, 9123, L"", L"", L"", L"");
        XQ_TRACE(4, "\tNo Poll client slot available ");
        return rc;
    }
    XQPollClient& c = pollClients[slot];
    c.active = 1;
    ++pollClientCount;
    copyName(c.clientName, sizeof(c.clientName) / sizeof(wchar_t), clientName);
    copyName(c.clientHost, sizeof(c.clientHost) / sizeof(wchar_t), clientHost);
    c.port = port;
    c.interval = interval;
    c.haltRequested = 0;
    c.isDead = 0;
    previous = pPollThreads[slot];
    pPollThreads[slot] = nullptr;
    ReleaseOrTrace("XQMessageQ::PollClient: mutex->Release != XQ_OK");

    // The slot's former thread has freed it or been reported dead, so it
    // touches the table no more; collect it before the slot gets a new one.
    if (previous != nullptr) {
        previous->WaitForTermination(0);
        delete previous;
    }

    PollThreadEntry* entry = new (std::nothrow) PollThreadEntry{this, slot};
    XQabsThread* thread = entry ? XQabsFactory::Instance()->CreateThread(StartPollClientThread, entry) : nullptr;
    if (thread != nullptr) rc = thread->StartThread(0);
    if (thread == nullptr || rc.code != 0) {
        if (thread == nullptr) FormatXQRC(rc, method, 9123, L"", L"", L"", L"");
        delete thread;
        delete entry;
        AcquireOrTrace("XQMessageQ::PollClient: mutex->Acquire != XQ_OK");
        c.active = 0;
        --pollClientCount;
        ReleaseOrTrace("XQMessageQ::PollClient: mutex->Release != XQ_OK");
        return rc;
    }
    AcquireOrTrace("XQMessageQ::PollClient: mutex->Acquire != XQ_OK");
    pPollThreads[slot] = thread;
    ReleaseOrTrace("XQMessageQ::PollClient: mutex->Release != XQ_OK");
    XQ_TRACE(4, "\tPoll client slot assigned = " << slot);
    return rc;
}

XQRC XQMessageQ::PollClientThread(unsigned int slot) {
    XQ_TRACE_METHOD("XQMessageQ::PollClientThread()");
    // Forced ends land only in the waits and sends below, never while the
    // table is locked or a trace line is written.
    XQCancelScope quiet(false);
    XQRC rc = success();
    AcquireOrTrace("XQMessageQ::PollClientThread: mutex->Acquire != XQ_OK");
    const XQSTRING name = pollClients[slot].clientName;
    const XQSTRING host = pollClients[slot].clientHost;
    const unsigned int port = pollClients[slot].port;
    const unsigned int interval = pollClients[slot].interval;
    const unsigned int ownPort = nQueuePort;
    ReleaseOrTrace("XQMessageQ::PollClientThread: mutex->Release != XQ_OK");

    std::unique_ptr<XQSocket> sender(new (std::nothrow) XQSocket());
    if (sender == nullptr) {
        FormatXQRC(rc, L"XQMessageQ::PollClientThread()", 9124, L"", L"", L"", L"");
        XQ_TRACE(4, "XQMessageQ::PollClientThread(): No socket allocated. Msg Not Sent.");
        return rc;
    }
    rc = sender->GetSetupError();
    if (rc.code != 0) {
        XQ_TRACE(4, "Error during creating XQSocket: " << rc.code);
        return rc;
    }
    std::unique_ptr<XQabsThreadControl> control(XQabsFactory::Instance()->CreateThreadControl());
    XQSTRING localHost;
    sender->GetHostName(localHost);
    const XQSTRING ping = pingText(name, host, localHost);
    const XQSTRING report = kPingErrorPrefix + ping;
    long pings = 0;
    bool halted = false;
    bool dead = false;
    for (;;) {
        bool prepared = false;
        rc = sendText(*sender, ping, host, port, &prepared);
        XQ_TRACE(3, "\tSent PING message, rc = " << rc.code);
        if (!prepared) return rc;
        if (rc.code != 0) {
            AcquireOrTrace("XQMessageQ::PollClientThread: mutex->Acquire != XQ_OK");
            pollClients[slot].isDead = 1;
            ReleaseOrTrace("XQMessageQ::PollClientThread: mutex->Release != XQ_OK");
            XQ_TRACE_ALWAYS("Ping failed for (port/clientName/hostname) with (rc). Values = "
                            << port << "/" << name << "/" << host << " (" << rc.code << ")");
        } else {
            // The halt operations give the thread one second to see their
            // request: look for it ten times a second, not once.
            for (unsigned long step = 0; step < 10UL * interval; ++step) {
                AcquireOrTrace("XQMessageQ::PollClientThread: mutex->Acquire != XQ_OK");
                const int halt = pollClients[slot].haltRequested;
                ReleaseOrTrace("XQMessageQ::PollClientThread: mutex->Release != XQ_OK");
                if (halt) break;
                XQCancelScope open(true);
                if (control != nullptr) control->Sleep(100);
            }
            ++pings;
        }
        AcquireOrTrace("XQMessageQ::PollClientThread: mutex->Acquire != XQ_OK");
        halted = pollClients[slot].haltRequested != 0;
        dead = pollClients[slot].isDead != 0;
        if (halted && !dead) {
            // From here on the slot belongs to whoever takes it next.
            pollClients[slot].active = 0;
            --pollClientCount;
        }
        ReleaseOrTrace("XQMessageQ::PollClientThread: mutex->Release != XQ_OK");
        if (halted || dead) break;
        // One socket carries one frame; the next ping gets a fresh one.
        sender.reset(new (std::nothrow) XQSocket());
        if (sender == nullptr) {
            FormatXQRC(rc, L"XQMessageQ::PollClientThread()", 9124, L"", L"", L"", L"");
            XQ_TRACE(4, "XQMessageQ::PollClientThread(): No socket allocated. Msg Not Sent.");
            return rc;
        }
    }
    if (!dead) {
        XQ_TRACE(4, "\tPing OK and slept 1 second; Poll has been halted; exit poll client.");
        XQ_TRACE(4, "vqbase::PollClientThread Release poll client slot for port" << port);
        XQ_TRACE(4, "vqbase::PollClientThread Release poll client for hostname" << host);
        return success();
    }
    // The report goes to this program's own queue on a socket of its own.
    std::unique_ptr<XQSocket> reporter(new (std::nothrow) XQSocket());
    XQSTRING ownHost;
    if (reporter != nullptr && reporter->GetSetupError().code == 0 && reporter->GetHostName(ownHost).code == 0) {
        const XQRC sent = sendText(*reporter, report, ownHost, ownPort, nullptr);
        XQ_TRACE(3, "\tSent PING message, rc = " << sent.code);
    }
    FormatXQRC(rc, L"XQMessageQ::PollClientThread()", 9124, xqNumber(pings), L"", L"", L"");
    XQ_TRACE(4, "vqbase::PollClientThread Ping failed for port" << port);
    XQ_TRACE(4, "vqbase::PollClientThread Ping failed for hostname" << host);
    return rc;
}

XQRC XQMessageQ::PingClient(const XQSTRING& clientName, const XQSTRING& clientHost, unsigned int port) {
    XQ_TRACE_METHOD("XQMessageQ::PingClient()");
    XQRC rc = success();
    std::unique_ptr<XQSocket> sender(new (std::nothrow) XQSocket());
    if (sender == nullptr) {
        FormatXQRC(rc, L"XQMessageQ::PingClient()", 9124, L"", L"", L"", L"");
        XQ_TRACE(4, "XQMessageQ::PingClient(): No socket allocated. Msg Not Sent.");
        return rc;
    }
    rc = sender->GetSetupError();
    if (rc.code != 0) return rc;
    XQSTRING localHost;
    sender->GetHostName(localHost);
    rc = sendText(*sender, pingText(clientName, clientHost, localHost), clientHost, port, nullptr);
    XQ_TRACE(3, "\tPing Send rc=" << rc.code);
    return rc;
}

XQRC XQMessageQ::HaltPollClient(const XQSTRING& clientName) {
    XQ_TRACE_METHOD("XQMessageQ::HaltPollClient()");
    XQRC rc = success();
    bool found = false;
    // Slots keep at most 31 characters of a name; compare what they keep.
    const XQSTRING kept = clientName.substr(0, sizeof(pollClients[0].clientName) / sizeof(wchar_t) - 1);
    AcquireOrTrace("XQMessageQ::HaltPollClient: mutex->Acquire != XQ_OK");
    for (unsigned int i = 0; i < XQ_MAX_POLL_CLIENTS && !found; ++i) {
        if (pollClients[i].active && kept == pollClients[i].clientName) {
            pollClients[i].haltRequested = 1;
            found = true;
        }
    }
    ReleaseOrTrace("XQMessageQ::HaltPollClient: mutex->Release != XQ_OK");
    if (!found) {
        FormatXQRC(rc, L"XQMessageQ::HaltPollClient()", 9122, clientName, L"", L"", L"");
        return rc;
    }
    sleepOneSecond();
    return rc;
}

XQRC XQMessageQ::HaltAllPollClients() {
    XQ_TRACE_METHOD("XQMessageQ::HaltAllPollClients()");
    XQRC rc = success();
    int halted = 0;
    AcquireOrTrace("XQMessageQ::HaltAllPollClients: mutex->Acquire != XQ_OK");
    for (unsigned int i = 0; i < XQ_MAX_POLL_CLIENTS; ++i) {
        if (pollClients[i].active) {
            pollClients[i].haltRequested = 1;
            ++halted;
        }
    }
    ReleaseOrTrace("XQMessageQ::HaltAllPollClients: mutex->Release != XQ_OK");
    if (halted == 0) {
        FormatXQRC(rc, L"XQMessageQ::HaltAllPollClients()", 9125, L"", L"", L"", L"");
        XQ_TRACE(4, "\tNo poll client to halt, rc = " << rc.code);
        return rc;
    }
    sleepOneSecond();
    return rc;
}

unsigned int XQMessageQ::GetDeadClientCount() {
    XQ_TRACE_METHOD("XQMessageQ::GetDeadClientCount()");
    unsigned int dead = 0;
    AcquireOrTrace("XQMessageQ::GetDeadClientCount: mutex->Acquire != XQ_OK");
    for (unsigned int i = 0; i < XQ_MAX_POLL_CLIENTS; ++i)
        if (pollClients[i].active && pollClients[i].isDead) ++dead;
    ReleaseOrTrace("XQMessageQ::GetDeadClientCount: mutex->Release != XQ_OK");
    return dead;
}

XQRC XQMessageQ::GetDeadClientName(XQSTRING& clientName, unsigned int& count) {
    XQ_TRACE_METHOD("XQMessageQ::GetDeadClientName()");
    XQRC rc = success();
    AcquireOrTrace("XQMessageQ::GetDeadClientName: mutex->Acquire != XQ_OK");
    count = 0;
    unsigned int first = XQ_MAX_POLL_CLIENTS;
    for (unsigned int i = 0; i < XQ_MAX_POLL_CLIENTS; ++i) {
        if (pollClients[i].active && pollClients[i].isDead) {
            if (count == 0) first = i;
            ++count;
        }
    }
    if (count != 0) {
        clientName = pollClients[first].clientName;
        pollClients[first].active = 0;
        --pollClientCount;
        --count;
    }
    const int remaining = pollClientCount;
    ReleaseOrTrace("XQMessageQ::GetDeadClientName: mutex->Release != XQ_OK");
    if (first == XQ_MAX_POLL_CLIENTS) {
        FormatXQRC(rc, L"XQMessageQ::GetDeadClientName()", 9125, L"", L"", L"", L"");
        return rc;
    }
    XQ_TRACE(4, "\tNumber of remaining poll clients = " << remaining);
    return rc;
}
