#include "support/DaemonClient.h"

#include "foundation/ProcessInfo.h"
#include "support/DemoProtocol.h"
#include "transport/XQMessageQ.h"

namespace demo {

namespace {

XQKernelMessage daemonRequest(const XQMessageQ& replyQueue, const XQSTRING& daemonHost, unsigned int daemonPort,
                              int command) {
    XQKernelMessage m;
    routeKernelRequest(m, replyQueue, L"daemon", daemonHost, daemonPort);
    m.SetReplyNeeded(1);
    m.SetCommand(command);
    m.SetSubCommand(SubRequest);
    return m;
}

}  // namespace

void routeKernelRequest(XQBaseMessage& m, const XQMessageQ& replyQueue, const XQSTRING& destName,
                        const XQSTRING& host, unsigned int port) {
    XQSTRING self;
    xqLocalHostName(self);
    m.SetOriginQueueName(L"kernel");
    m.SetOriginQueueHost(self);
    m.SetOriginQueuePort(replyQueue.nQueuePort);
    m.SetDestQueueName(destName);
    m.SetDestQueueHost(host);
    m.SetDestQueuePort(port);
    m.SetIsRequest(1);
    m.SetBVName(L"kernel");
}

XQKernelMessage agentStartRequest(const XQMessageQ& replyQueue, const XQSTRING& daemonHost, unsigned int daemonPort,
                                  const XQSTRING& program, const XQSTRING& arguments, const XQSTRING& user) {
    XQKernelMessage m = daemonRequest(replyQueue, daemonHost, daemonPort, CmdStartAgent);
    m.AliasName = program;
    m.InformationResource = arguments;
    m.Userid = user;
    return m;
}

XQKernelMessage agentStopRequest(const XQMessageQ& replyQueue, const XQSTRING& daemonHost, unsigned int daemonPort,
                                 unsigned int agentPort) {
    XQKernelMessage m = daemonRequest(replyQueue, daemonHost, daemonPort, CmdStopAgent);
    m.RowCount = agentPort;
    return m;
}

}  // namespace demo
