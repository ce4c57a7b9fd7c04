#include "foundation/Trace.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "foundation/TimeStamp.h"
#include "os/ThreadId.h"
#include "os/XQNTMutexSemaphore.h"
#include "os/XQNTThread.h"

std::atomic<int> debugTcore{0};
int traceIsOn = 0;
int connectRetryCount = -1;
XQabsMutexSemaphore* pTraceLock = nullptr;
TimeStamp* pTraceTS = nullptr;

void setDebugTcore(int level) { debugTcore.store(level, std::memory_order_relaxed); }
int getDebugTcore() { return debugTcore.load(std::memory_order_relaxed); }

XQabsMutexSemaphore* getTraceLock() {
    // A function-local static makes the first use safe even from several threads.
    static XQabsMutexSemaphore* lock = pTraceLock = new XQNTMutexSemaphore(L"tracelock");
    return lock;
}

TimeStamp* getTraceTS() {
    static TimeStamp* ts = pTraceTS = new TimeStamp();
    return ts;
}

namespace {

// A trace line is never where a thread ended by force stops: not while it
// holds the trace lock (every other thread's next line would wait forever),
// and not in the destructors that write exit lines (an unwind that starts in
// a destructor ends the process).
void writeOut(const std::string& line) {
    XQCancelScope quiet(false);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

// Runs write() with the trace lock held, after refreshing the shared stamp.
// The stamp is refreshed under the lock so that concurrent writers never
// race on it.
template <class Write>
void underTraceLock(Write write) {
    XQCancelScope quiet(false);
    XQabsMutexSemaphore* lock = getTraceLock();
    TimeStamp* ts = getTraceTS();
    lock->Acquire();
    ts->timeStamp();
    write(*ts);
    lock->Release();
}

std::string stampAndThread(const TimeStamp& ts) {
    std::string s = xqToMultibyte(ts.toString());
    s += ": tid=";
    s += std::to_string(currentThreadId());
    return s;
}

bool printableByte(unsigned char c) { return c >= 0x20 && c < 0x7F; }

void appendChars(std::string& out, const unsigned char* p, size_t n) {
    for (size_t i = 0; i < n; ++i) out += printableByte(p[i]) ? static_cast<char>(p[i]) : '.';
}

// The rows of every dump form: full 16-byte rows as four host-order words,
// then the remainder byte by byte.
std::string dumpRows(const char* buffer, unsigned long length) {
    std::string out;
    if (buffer == nullptr || length == 0) return out;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(buffer);
    unsigned long offset = 0;
    char line[96];
    while (offset + 16 < length) {
        uint32_t w[4];
        std::memcpy(w, p + offset, 16);
        std::snprintf(line, sizeof line, "%08X %08X %08X %08X %08X  - ", static_cast<unsigned>(offset), w[0],
                      w[1], w[2], w[3]);
        out += line;
        appendChars(out, p + offset, 16);
        out += '\n';
        offset += 16;
    }
    unsigned long rest = length - offset;
    out += "Caution: the following is dumped character by character, in OS byte order\n";
    std::snprintf(line, sizeof line, "%08X ", static_cast<unsigned>(offset));
    out += line;
    for (unsigned long i = 0; i < rest; ++i) {
        std::snprintf(line, sizeof line, "%02X", p[offset + i]);
        out += line;
        if ((i + 1) % 4 == 0) out += ' ';
    }
    for (unsigned long i = rest; i < 16; ++i) out += "  ";
    out += "  - ";
    appendChars(out, p + offset, rest);
    out += '\n';
    return out;
}

std::string rcDetail(const XQRC& rc) {
    std::string out = ", rc = " + std::to_string(rc.code) + "\n";
    if (rc.code != 0) {
        out += "Secondary Code  = " + std::to_string(rc.secondaryCode) + "\n";
        out += "System Message  = " + xqToMultibyte(rc.systemMessage) + "\n";
        out += "Method Name     = " + xqToMultibyte(rc.methodName) + "\n";
        out += "Executable Name = " + xqToMultibyte(rc.executableName) + "\n";
    }
    return out;
}

}  // namespace

std::string traceUnlockedPrefix() {
    TimeStamp now;
    return "tcore: ts=" + stampAndThread(now) + ": ";
}

void traceLine(const std::string& text) {
    underTraceLock([&](const TimeStamp& ts) { writeOut("tcore: ts=" + stampAndThread(ts) + ": " + text + "\n"); });
}

void traceMethodLine(bool enter, const char* name) {
    underTraceLock([&](const TimeStamp& ts) {
        writeOut("tcore: ts=" + stampAndThread(ts) + (enter ? ": enter method " : ": exit method ") + name + "\n");
    });
}

void traceXQLine(const std::string& text) {
    underTraceLock([&](const TimeStamp& ts) { writeOut("XQTrace: ts=" + stampAndThread(ts) + ": " + text + "\n"); });
}

void traceBareLine(const std::string& text) {
    underTraceLock([&](const TimeStamp&) { writeOut(text + "\n"); });
}

void traceUnlockedLine(const std::string& text) { writeOut(text + "\n"); }

void trace(TRACE_TYPE type, const char* text, XQRC rc, const char* extra) {
    TimeStamp now;
    std::string line = "xqd  : ts=" + stampAndThread(now);
    const char* t = text ? text : "";
    switch (type) {
        case TRACE_ENTER:
            line += ": ENTER: ";
            line += t;
            if (extra) line += std::string(" -- ") + extra;
            line += '\n';
            break;
        case TRACE_EXIT:
            line += std::string(": EXIT : ") + t + rcDetail(rc);
            break;
        case TRACE_CALL:
            line += std::string(": CALL : ") + t + rcDetail(rc);
            break;
        case TRACE_TEXT:
            line += ": ";
            if (extra) line += std::string(extra) + ": ";
            line += t;
            line += '\n';
            break;
        default:
            return;
    }
    writeOut(line);
}

void trace(const char* name, const long value, const char* name2, const unsigned long value2) {
    std::string line = std::string(name ? name : "0") + ": " + std::to_string(value);
    if (value2 != 0) line += std::string(", ") + (name2 ? name2 : "0") + ": " + std::to_string(value2);
    writeOut(line + "\n");
}

void trace(const char* name, int value, const char* name2, int value2) {
    std::string line = std::string(name ? name : "0") + ": " + std::to_string(value);
    if (value2 != 0) line += std::string(", ") + (name2 ? name2 : "0") + ": " + std::to_string(value2);
    writeOut(line + "\n");
}

void trace(const char* buffer, int length, const char* title, const char* subtitle) {
    std::string out;
    if (title) out += std::string(title) + ": \n";
    if (subtitle) out += std::string(subtitle) + "\n";
    out += dumpRows(buffer, length > 0 ? static_cast<unsigned long>(length) : 0);
    writeOut(out);
}

void trace(const char* buffer, int length, int processId, const char* title) {
    std::string out;
    if (processId != 0)
        out += "--------------------- From Process id " + std::to_string(processId) + "---------------------\n";
    if (title) out += std::string(title) + "\n";
    out += dumpRows(buffer, length > 0 ? static_cast<unsigned long>(length) : 0);
    writeOut(out);
}

void hexTrace(const char* buffer, unsigned long length, const char* title, const char* subtitle) {
    std::string out = "tcore: tid=" + std::to_string(currentThreadId()) + ": enter method vmglobal::hexTrace(): " +
                      (title ? title : "") + ": \n";
    if (subtitle) out += std::string(subtitle) + "\n";
    out += "Buffer length = " + std::to_string(length) + "\n";
    out += dumpRows(buffer, length);
    underTraceLock([&](const TimeStamp&) { writeOut(out); });
}

void hexTrace(const char* buffer, unsigned long length, int processId, const char* title) {
    std::string who = processId != 0 ? std::to_string(processId) : std::to_string(currentThreadId());
    std::string out = "tcore: tid=" + who + ": enter method vmglobal::hexTrace():" + (title ? title : "") + "\n";
    out += "Buffer length = " + std::to_string(length) + "\n";
    out += dumpRows(buffer, length);
    underTraceLock([&](const TimeStamp&) { writeOut(out); });
}

XQSTRING setupLogDir() {
    auto usable = [](const char* dir) {
        struct stat st;
        return stat(dir, &st) == 0 && S_ISDIR(st.st_mode) && access(dir, R_OK | W_OK) == 0;
    };
    std::string dir;
    const char* env = std::getenv("XQS_LOGGING");
    if (env && *env && usable(env))
        dir = env;
    else if (usable("/var/ORV/"))
        dir = "/var/ORV/";
    else
        dir = "/tmp/";
    if (dir.empty() || dir.back() != '/') dir += '/';
    return xqFromMultibyte(dir);
}

void tracesub1() {
    writeOut("trsub1: process id=" + std::to_string(currentProcessId()) +
             "; thread id= " + std::to_string(currentThreadId()) + "\n");
}

XQSTRING tracesub2() { return L": tid=" + xqNumber(static_cast<long>(currentThreadId())); }

TraceText& TraceText::operator<<(const wchar_t* s) {
    if (s) text_ += xqToMultibyte(s);
    return *this;
}

TraceText& TraceText::operator<<(const XQSTRING& s) {
    text_ += xqToMultibyte(s);
    return *this;
}

TraceText& TraceText::operator<<(const void* p) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%p", p);
    text_ += buf;
    return *this;
}
