#include "support/AgentDaemon.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <fstream>
#include <random>

#include "foundation/ProcessInfo.h"
#include "messages/XQAgentMessage.h"
#include "os/XQNTProcess.h"
#include "os/XQabsFactory.h"
#include "support/DemoProtocol.h"
#include "support/DemoSupport.h"
#include "support/ToolSupport.h"

namespace demo {

struct AgentDaemon::Agent {
    enum State { Starting, Running, Stopping };
    std::unique_ptr<XQabsProcess> process;
    XQKernelMessage request;  // the start request: where the replies go
    std::string token;
    std::string program, user;
    State state = Starting;
    unsigned int port = 0;
    int pid = 0;
    long long deadline = 0;  // of the start, or of the stop's grace

    XQNTProcess* nt() const { return dynamic_cast<XQNTProcess*>(process.get()); }
};

namespace {

void note(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void note(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::fputs("tcore-daemon: ", stdout);
    std::vfprintf(stdout, fmt, ap);
    va_end(ap);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return std::string();
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

bool userAllowed(const std::string& file, const std::string& user) {
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        std::string::size_type hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        if (trim(line) == user) return true;
    }
    return false;
}

// A program is a relative path under the bin directory that stays there:
// no absolute path, no "..", no blank (the command line is split at blanks).
bool programInside(const std::string& program) {
    if (program.empty() || program[0] == '/' || program.find_first_of(" \t\n") != std::string::npos) return false;
    size_t pos = 0;
    while (pos <= program.size()) {
        size_t slash = program.find('/', pos);
        if (slash == std::string::npos) slash = program.size();
        std::string part = program.substr(pos, slash - pos);
        if (part == ".." || part == "." || part.empty()) return false;
        pos = slash + 1;
    }
    return true;
}

std::string newToken() {
    std::random_device rd;
    char text[24];
    std::snprintf(text, sizeof text, "%08x%08x", rd(), rd());
    return text;
}

std::string describeStatus(int status) {
    if (WIFEXITED(status)) return "exit " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
    return std::to_string(status);
}

}  // namespace

AgentDaemon::AgentDaemon(const Settings& settings) : settings_(settings) {}

AgentDaemon::~AgentDaemon() {
    for (auto& a : agents_)
        if (a->nt() && a->nt()->active) a->process->TerminateProcess();
}

XQRC AgentDaemon::open(unsigned int port) { return queue_.Create(port, 64); }

XQRC AgentDaemon::refusal(int code, const XQSTRING& t1, const XQSTRING& t2) const {
    XQRC rc(code, 0, XQRC::WhsSrv);
    rc.SetXQMessage(t1, t2, XQSTRING(), XQSTRING(), XQSTRING(), XQSTRING(), XQSTRING(), XQSTRING(), XQSTRING(),
                    XQSTRING());
    rc.methodName = L"tcore-daemon";
    rc.executableName = GetCommandLine();
    xqLocalHostName(rc.hostName);
    return rc;
}

XQRC AgentDaemon::checkStart(const XQKernelMessage& request) const {
    const std::string user = mb(request.Userid), program = mb(request.AliasName);
    if (user.empty() || !userAllowed(settings_.allowedUsersFile, user))
        return refusal(DaemonUserRefused, request.Userid);
    const std::string bin = settings_.installDir + "/bin";
    struct stat st;
    if (settings_.installDir.empty() || !programInside(program) ||
        stat((bin + "/" + program).c_str(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 0111) == 0)
        return refusal(DaemonProgramRefused, request.AliasName, xqFromMultibyte(bin));
    if (agents_.size() >= settings_.maxAgents)
        return refusal(DaemonAgentLimit, xqNumber(static_cast<long>(settings_.maxAgents)));
    return XQRC(0, 0, XQRC::WhsSrv);
}

void AgentDaemon::answer(const XQKernelMessage& request, int subCommand, const XQRC& outcome, unsigned int agentPort,
                         int agentPid) {
    XQKernelMessage reply(request);
    reply.SetIsRequest(0);
    reply.SetSubCommand(subCommand);
    reply.ReturnCode = outcome;
    reply.RowCount = agentPort;
    reply.ByteCount = static_cast<unsigned int>(agentPid);
    XQRC rc = reply.Send();
    if (rc.code != 0)
        note("reply to %s:%u not delivered: %s", mb(request.OriginInetAddr).c_str(), request.OriginQueuePort,
             tools::describe(rc).c_str());
}

void AgentDaemon::step(unsigned int waitMs) {
    std::unique_ptr<XQBaseMessage> message;
    XQRC rc = tools::receiveAny(queue_, waitMs, message);
    if (rc.code == 0 && message->MessageType == XQKernelMsgType)
        handle(static_cast<XQKernelMessage&>(*message));
    else if (rc.code != 0 && rc.code != 9117)
        note("receive: %s", tools::describe(rc).c_str());
    // Anything else (an agent's answer to a stop) needs nothing.
    watchAgents();
}

void AgentDaemon::handle(XQKernelMessage& message) {
    if (message.IsRequest == 0) return;
    switch (message.Command) {
        case CmdStartAgent:
            start(message);
            break;
        case CmdStopAgent:
            stop(message);
            break;
        case CmdAgentReady:
            ready(message);
            break;
        default:
            answer(message, SubFinal, refusal(DaemonUnknownCommand, xqNumber(static_cast<long>(message.Command))), 0,
                   0);
    }
}

void AgentDaemon::start(const XQKernelMessage& request) {
    const std::string who = mb(request.OriginQueueHost) + " (" + mb(request.OriginInetAddr) + ":" +
                            std::to_string(request.OriginQueuePort) + ")";
    XQRC rc = checkStart(request);
    if (rc.code != 0) {
        note("refused to start %s as %s for %s: %s", mb(request.AliasName).c_str(), mb(request.Userid).c_str(),
             who.c_str(), tools::describe(rc).c_str());
        answer(request, SubFinal, rc, 0, 0);
        return;
    }
    std::unique_ptr<Agent> agent(new Agent);
    agent->request = request;
    agent->token = newToken() + std::to_string(++serial_);
    agent->program = mb(request.AliasName);
    agent->user = mb(request.Userid);
    XQSTRING arguments = request.InformationResource;
    if (!arguments.empty()) arguments += L" ";
    arguments += L"--daemon-port " + xqNumber(static_cast<long>(queue_.nQueuePort)) + L" --daemon-token " +
                 xqFromMultibyte(agent->token);
    agent->process.reset(XQabsFactory::Instance()->CreateProcess(request.AliasName, XQSTRING(), arguments, 0));
    rc = agent->process ? agent->process->StartProcess(request.Userid, request.AgentPassword)
                        : XQRC(9002, ENOMEM, XQRC::WhsSrv);
    if (rc.code != 0) {
        note("could not start %s: %s", agent->program.c_str(), tools::describe(rc).c_str());
        answer(request, SubFinal, rc, 0, 0);
        return;
    }
    agent->pid = agent->nt() ? agent->nt()->GetProcessId() : 0;
    agent->deadline = nowMs() + settings_.startTimeoutMs;
    note("started %s as %s for %s, pid %d", agent->program.c_str(), agent->user.c_str(), who.c_str(), agent->pid);
    agents_.push_back(std::move(agent));
}

void AgentDaemon::ready(const XQKernelMessage& message) {
    const std::string token = mb(message.InformationResourceID);
    for (auto& a : agents_) {
        if (a->state != Agent::Starting || a->token != token || a->pid != static_cast<int>(message.ByteCount)) continue;
        a->state = Agent::Running;
        a->port = message.RowCount;
        note("agent pid %d has its queue on port %u", a->pid, a->port);
        answer(a->request, SubFinal, XQRC(0, 0, XQRC::WhsSrv), a->port, a->pid);
        return;
    }
    note("ignored a ready report that matches no starting agent (pid %u)", message.ByteCount);
}

void AgentDaemon::askToStop(Agent& agent) {
    if (agent.state == Agent::Stopping) return;
    agent.state = Agent::Stopping;
    agent.deadline = nowMs() + settings_.stopGraceMs;
    if (agent.port == 0) return;  // no queue yet: the grace time ends it
    XQAgentMessage request;
    request.SetOriginQueueName(L"daemon");
    request.SetOriginQueuePort(queue_.nQueuePort);
    request.SetDestQueueName(L"agent");
    request.SetDestQueueHost(L"127.0.0.1");
    request.SetDestQueuePort(agent.port);
    request.SetIsRequest(1);
    request.SetCommand(CmdStop);
    XQRC rc = request.Send();
    if (rc.code != 0) note("stop request to pid %d not delivered: %s", agent.pid, tools::describe(rc).c_str());
}

void AgentDaemon::stop(const XQKernelMessage& request) {
    unsigned int asked = 0;
    for (auto& a : agents_) {
        bool mine = a->request.OriginInetAddr == request.OriginInetAddr &&
                    a->request.OriginQueuePort == request.OriginQueuePort;
        if ((request.RowCount != 0 && a->port == request.RowCount) || (request.RowCount == 0 && mine)) {
            askToStop(*a);
            ++asked;
        }
    }
    XQRC rc(0, 0, XQRC::WhsSrv);
    if (asked == 0) rc = refusal(DaemonNoSuchAgent, xqNumber(static_cast<long>(request.RowCount)));
    note("stop request for port %u: %u agents asked to stop", request.RowCount, asked);
    answer(request, SubFinal, rc, request.RowCount, 0);
}

void AgentDaemon::ended(Agent& agent, int waitStatus, bool killed) {
    std::string how = killed ? "killed after its grace time" : describeStatus(waitStatus);
    note("agent %s pid %d ended: %s", agent.program.c_str(), agent.pid, how.c_str());
    XQSTRING what = xqFromMultibyte(agent.program + " (pid " + std::to_string(agent.pid) + ")");
    if (agent.state == Agent::Starting) {
        answer(agent.request, SubFinal, refusal(DaemonAgentEndedEarly, what, xqFromMultibyte(how)), 0, agent.pid);
        return;
    }
    bool clean = !killed && WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 0;
    answer(agent.request, SubEnded, clean ? XQRC(0, 0, XQRC::WhsSrv) : refusal(DaemonAgentEnded, what, xqFromMultibyte(how)),
           agent.port, agent.pid);
}

void AgentDaemon::watchAgents() {
    long long now = nowMs();
    for (size_t i = 0; i < agents_.size();) {
        Agent& a = *agents_[i];
        int status = 0;
        bool gone = false;
        if (a.nt() && a.nt()->HasEnded(&status)) {
            ended(a, status, false);
            gone = true;
        } else if (now >= a.deadline && a.state != Agent::Running) {
            a.process->TerminateProcess();  // kills and reaps
            if (a.state == Agent::Starting) {
                note("agent pid %d did not open its queue in time", a.pid);
                answer(a.request, SubFinal,
                       refusal(DaemonAgentNoQueue, xqFromMultibyte(a.program + " (pid " + std::to_string(a.pid) + ")"),
                               xqNumber(static_cast<long>(settings_.startTimeoutMs))),
                       0, a.pid);
            } else {
                ended(a, 0, true);
            }
            gone = true;
        }
        if (gone)
            agents_.erase(agents_.begin() + static_cast<long>(i));
        else
            ++i;
    }
}

void AgentDaemon::shutdown() {
    for (auto& a : agents_) askToStop(*a);
    // Bounded: every agent is killed at its grace time at the latest.
    long long until = nowMs() + settings_.stopGraceMs + 2000;
    while (!agents_.empty() && nowMs() < until) step(100);
    for (auto& a : agents_) {
        a->process->TerminateProcess();
        ended(*a, 0, true);
    }
    agents_.clear();
    queue_.Destroy(1);
}

}  // namespace demo
