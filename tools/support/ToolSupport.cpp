#include "support/ToolSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <vector>

#include "foundation/XQResolveMessage.h"
#include "messages/XQAgentMessage.h"
#include "messages/XQKernelMessage.h"
#include "messages/XQLogMessage.h"
#include "transport/XQMessageQ.h"

namespace tools {

void initProgram() { std::setlocale(LC_ALL, ""); }

std::string describe(const XQRC& rc) {
    XQRC copy(rc);
    XQSTRING primary, secondary;
    XQResolveMessage resolver;
    resolver.ResolveMsgs(copy, secondary, primary, XQSTRING(), 0);
    std::string out = std::to_string(rc.code) + "/" + std::to_string(rc.secondaryCode) + " (" +
                      xqToMultibyte(XQRC::domainTypeToString(rc.domain)) + ")";
    if (!primary.empty()) out += ": " + xqToMultibyte(primary);
    if (!secondary.empty() && secondary != primary) out += "; " + xqToMultibyte(secondary);
    if (!rc.methodName.empty()) out += " [" + xqToMultibyte(rc.methodName) + "]";
    if (!rc.comment.empty()) out += " -- " + xqToMultibyte(rc.comment);
    return out;
}

bool parseUnsigned(const std::string& text, unsigned long max, unsigned long& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
    errno = 0;
    unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
    if (errno != 0 || v > max) return false;
    value = static_cast<unsigned long>(v);
    return true;
}

bool parseSigned(const std::string& text, long min, long max, long& value) {
    std::string digits = text;
    bool negative = false;
    if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
        negative = digits[0] == '-';
        digits.erase(0, 1);
    }
    unsigned long magnitude = 0;
    if (!parseUnsigned(digits, static_cast<unsigned long>(LONG_MAX) + 1UL, magnitude)) return false;
    long v;
    if (negative)
        v = magnitude == static_cast<unsigned long>(LONG_MAX) + 1UL ? LONG_MIN : -static_cast<long>(magnitude);
    else if (magnitude > static_cast<unsigned long>(LONG_MAX))
        return false;
    else
        v = static_cast<long>(magnitude);
    if (v < min || v > max) return false;
    value = v;
    return true;
}

std::string programDir() {
    std::vector<char> buf(4096);
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return ".";
    std::string path(buf.data(), static_cast<size_t>(n));
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

void defaultOdbcSysIni() {
    if (std::getenv("ODBCSYSINI") != nullptr) return;
    struct stat st;
    const char* dir = TCORE_SOURCE_ETC;
    std::string ini = std::string(dir) + "/odbcinst.ini";
    if (stat(ini.c_str(), &st) != 0) dir = TCORE_INSTALLED_ETC;
    setenv("ODBCSYSINI", dir, 1);
}

std::unique_ptr<XQBaseMessage> newMessage(EMSGTYPE type) {
    switch (type) {
        case XQAgentMsgType:
            return std::unique_ptr<XQBaseMessage>(new XQAgentMessage());
        case XQKernelMsgType:
            return std::unique_ptr<XQBaseMessage>(new XQKernelMessage());
        case XQLogMsgType:
            return std::unique_ptr<XQBaseMessage>(new XQLogMessage());
        default:
            return std::unique_ptr<XQBaseMessage>(new XQBaseMessage());
    }
}

std::string messageKindName(EMSGTYPE type) {
    switch (type) {
        case XQBaseMsgType:
            return "base";
        case XQAgentMsgType:
            return "agent";
        case XQKernelMsgType:
            return "kernel";
        case XQLogMsgType:
            return "log";
        default:
            return "type " + std::to_string(static_cast<int>(type));
    }
}

XQRC receiveAny(XQMessageQ& queue, unsigned int timeout, std::unique_ptr<XQBaseMessage>& message) {
    message.reset();
    EMSGTYPE type = XQBaseMsgType;
    XQRC rc = queue.ReceiveType(type, timeout);
    if (rc.code != 0) return rc;
    std::unique_ptr<XQBaseMessage> received = newMessage(type);
    // The message is queued already: no wait.
    rc = queue.Receive(*received, 0);
    if (rc.code == 0) message = std::move(received);
    return rc;
}

}  // namespace tools

// Leak checking (address-sanitizer builds): the ODBC drivers and their
// installer library keep caches for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:psqlodbcw.so\nleak:libpq.so\nleak:libsqlite3odbc\nleak:libodbcinst.so\n";
}

namespace tools {

std::string describeStats(const XQMessageQ& queue) {
    const XQReceiveStats s = queue.GetReceiveStats();
    char line[640];
    std::snprintf(line, sizeof line,
                  "queued %llu; dropped: deadline %llu, oversize %llu, memory bound %llu, malformed %llu, "
                  "foreign stop %llu, handshake %llu; connections accepted %llu, dropped %llu, not allowed %llu; "
                  "bytes held %llu, peak %llu",
                  static_cast<unsigned long long>(s.framesQueued), static_cast<unsigned long long>(s.droppedDeadline),
                  static_cast<unsigned long long>(s.droppedOversize), static_cast<unsigned long long>(s.droppedMemory),
                  static_cast<unsigned long long>(s.droppedMalformed),
                  static_cast<unsigned long long>(s.droppedForeignStop),
                  static_cast<unsigned long long>(s.droppedHandshake),
                  static_cast<unsigned long long>(s.connectionsAccepted),
                  static_cast<unsigned long long>(s.connectionsDropped),
                  static_cast<unsigned long long>(s.connectionsNotAllowed), static_cast<unsigned long long>(s.bytesHeld),
                  static_cast<unsigned long long>(s.bytesHeldPeak));
    return line;
}

}  // namespace tools
