#ifndef TCORE_TOOLS_SUPPORT_DAEMONCLIENT_H
#define TCORE_TOOLS_SUPPORT_DAEMONCLIENT_H

#include "messages/XQKernelMessage.h"

class XQMessageQ;

namespace demo {

// Routes m as the kernel's request from replyQueue (this host's name as the
// origin, where the reply comes back) to the queue destName at host:port.
void routeKernelRequest(XQBaseMessage& m, const XQMessageQ& replyQueue, const XQSTRING& destName,
                        const XQSTRING& host, unsigned int port);

// The kernel's side of the agent daemon's protocol (DemoProtocol.h): the
// requests, routed from replyQueue (whose replies come back there) to the
// daemon at daemonHost:daemonPort. Send them with Send().
XQKernelMessage agentStartRequest(const XQMessageQ& replyQueue, const XQSTRING& daemonHost, unsigned int daemonPort,
                                  const XQSTRING& program, const XQSTRING& arguments, const XQSTRING& user);
// agentPort 0: every agent that replyQueue's requests started.
XQKernelMessage agentStopRequest(const XQMessageQ& replyQueue, const XQSTRING& daemonHost, unsigned int daemonPort,
                                 unsigned int agentPort);

}  // namespace demo

#endif
