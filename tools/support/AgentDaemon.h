#ifndef TCORE_TOOLS_SUPPORT_AGENTDAEMON_H
#define TCORE_TOOLS_SUPPORT_AGENTDAEMON_H

#include <memory>
#include <string>
#include <vector>

#include "foundation/XQRC.h"
#include "messages/XQKernelMessage.h"
#include "transport/XQMessageQ.h"

class XQabsProcess;
class XQNTProcess;

namespace demo {

// The agent daemon's work on its queue (the protocol is in DemoProtocol.h):
// starts agents through the factory's process object as the user a kernel
// names, answers with the agent's queue port once the agent reported it,
// tells the requester when an agent ends, stops agents on request and at
// the end. Refuses users its allowed list does not name, programs that are
// not under $QL7DIR/bin, and more agents than its limit.
//
// Used by one thread; the caller runs step() in a loop and shutdown() once.
class AgentDaemon {
public:
    struct Settings {
        std::string allowedUsersFile;  // one user a line; '#' starts a comment
        unsigned int maxAgents = 8;
        unsigned int startTimeoutMs = 30000;
        unsigned int stopGraceMs = 5000;
        std::string installDir;  // $QL7DIR
    };

    explicit AgentDaemon(const Settings& settings);
    ~AgentDaemon();
    AgentDaemon(const AgentDaemon&) = delete;
    AgentDaemon& operator=(const AgentDaemon&) = delete;

    // Opens the queue on port (0: any free port).
    XQRC open(unsigned int port);
    unsigned int port() const { return queue_.nQueuePort; }

    // Serves one message (waiting up to waitMs) and looks after the agents:
    // reaps those that ended, ends those past their start or stop time.
    void step(unsigned int waitMs);
    // Stops every agent (asked first, killed after the grace time), tells
    // their requesters, and closes the queue.
    void shutdown();

    size_t agentCount() const { return agents_.size(); }

    // Why a start request is refused, as the return code the requester
    // gets; success when it may go ahead. Reads the allowed list anew.
    XQRC checkStart(const XQKernelMessage& request) const;

private:
    struct Agent;

    void handle(XQKernelMessage& message);
    void start(const XQKernelMessage& request);
    void stop(const XQKernelMessage& request);
    void ready(const XQKernelMessage& message);
    void askToStop(Agent& agent);
    void watchAgents();
    void ended(Agent& agent, int waitStatus, bool killed);
    void answer(const XQKernelMessage& request, int subCommand, const XQRC& outcome, unsigned int agentPort,
                int agentPid);
    XQRC refusal(int code, const XQSTRING& t1, const XQSTRING& t2 = XQSTRING()) const;

    Settings settings_;
    XQMessageQ queue_;
    std::vector<std::unique_ptr<Agent>> agents_;
    unsigned long serial_ = 0;
};

}  // namespace demo

#endif
