#ifndef TCORE_TOOLS_SUPPORT_TOOLSUPPORT_H
#define TCORE_TOOLS_SUPPORT_TOOLSUPPORT_H

#include <memory>
#include <string>

#include "foundation/XQRC.h"
#include "messages/XQBaseMessage.h"

class XQMessageQ;

namespace tools {

// Sets the locale from the environment once, as every program does first.
void initProgram();

// "code/secondary (domain): catalogue text[; secondary text][ -- comment]",
// so an operator reads a sentence, not a number.
std::string describe(const XQRC& rc);

// Parses a decimal number; false when text is not one (or out of range).
bool parseUnsigned(const std::string& text, unsigned long max, unsigned long& value);
// The same for an optionally signed decimal number within [min, max].
bool parseSigned(const std::string& text, long min, long max, long& value);

// The directory of the running program (from /proc/self/exe).
std::string programDir();

// Points unixODBC at the project's driver definitions (ODBCSYSINI) unless the
// environment already does; must run before the first ODBC call.
void defaultOdbcSysIni();

// A new, empty message of the class for that type: agent, kernel, log, or a
// base message for any other type.
std::unique_ptr<XQBaseMessage> newMessage(EMSGTYPE type);
// "base", "agent", "kernel", "log" (or "type N").
std::string messageKindName(EMSGTYPE type);

// Waits up to timeout ms for the next message of queue and unpacks it into an
// object of its own class (ReceiveType, then Receive). On failure message is
// empty and the queue's code is returned (9117 when nothing came in time).
XQRC receiveAny(XQMessageQ& queue, unsigned int timeout, std::unique_ptr<XQBaseMessage>& message);

// One line of a queue's receive counters, for an operator.
std::string describeStats(const XQMessageQ& queue);

}  // namespace tools

#endif
