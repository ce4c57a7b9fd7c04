#include "support/DaemonClient.h"

#include "foundation/ProcessInfo.h"
#include "support/DemoProtocol.h"
#include "transport/XQMessageQ.h"

namespace demo {

namespace {

XQKernelMessage daemonRequest(const XQMessageQ& replyQueue, const XQSTRING& daemonHost, unsigned int daemonPort,
                              int command) {
    XQKernelMessage m;
    XQSTRING host;
    xqLocalHostName(host);
    m.SetOriginQueueName(L"kernel");
    m.SetOriginQueueHost(host);
    m.SetOriginQueuePort(replyQueue.nQueuePort);
    m.SetDestQueueName(L"daemon");
    m.SetDestQueueHost(daemonHost);
    m.SetDestQueuePort(daemonPort);
    m.SetIsRequest(1);
    m.SetReplyNeeded(1);
    m.SetCommand(command);
    m.SetSubCommand(SubRequest);
    m.SetBVName(L"kernel");
    return m;
}

}  // namespace

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
