#ifndef TCORE_FOUNDATION_TRACE_H
#define TCORE_FOUNDATION_TRACE_H

#include <atomic>
#include <cstdint>
#include <string>

#include "foundation/Export.h"
#include "foundation/XQRC.h"

class XQabsMutexSemaphore;
class TimeStamp;

// The process-wide trace level. A statement below its threshold costs one
// relaxed load and one comparison: no formatting, no lock.
extern TCORE_EXPORT std::atomic<int> debugTcore;
// An exported on/off flag kept for programs; the library never reads it.
extern TCORE_EXPORT int traceIsOn;
// Connection attempts of a socket send; -1 means the built-in default.
extern TCORE_EXPORT int connectRetryCount;
// Made on first use and never freed.
extern TCORE_EXPORT XQabsMutexSemaphore* pTraceLock;
extern TCORE_EXPORT TimeStamp* pTraceTS;

TCORE_EXPORT void setDebugTcore(int level);
TCORE_EXPORT int getDebugTcore();
TCORE_EXPORT XQabsMutexSemaphore* getTraceLock();
TCORE_EXPORT TimeStamp* getTraceTS();

inline bool traceOn(int level) { return debugTcore.load(std::memory_order_relaxed) >= level; }

enum TRACE_TYPE { TRACE_ENTER = 0, TRACE_EXIT = 1, TRACE_CALL = 2, TRACE_TEXT = 3 };

// Line writers. Each writes one whole line to standard output and flushes.
// traceLine:         "tcore: ts=<stamp>: tid=<thread>: " + text, under the trace lock.
// traceMethodLine:   "tcore: ts=<stamp>: tid=<thread>: enter method " / ": exit method " + name.
// traceXQLine:       "XQTrace: ts=<stamp>: tid=<thread>: " + text, under the lock, at every level.
// traceBareLine:     text alone, under the lock.
// traceUnlockedLine: text alone, without the lock (for the writers that must not take it).
TCORE_EXPORT void traceLine(const std::string& text);
TCORE_EXPORT void traceMethodLine(bool enter, const char* name);
TCORE_EXPORT void traceXQLine(const std::string& text);
TCORE_EXPORT void traceBareLine(const std::string& text);
TCORE_EXPORT void traceUnlockedLine(const std::string& text);
// "tcore: ts=<stamp>: tid=<thread>: " built from a fresh stamp, for lines
// written without the lock.
TCORE_EXPORT std::string traceUnlockedPrefix();

// The xqd family: written whatever the level, without the lock.
TCORE_EXPORT void trace(TRACE_TYPE type, const char* text, XQRC rc, const char* extra = nullptr);
// Name/value lines: name ": " value [", " name2 ": " value2 when value2 != 0].
TCORE_EXPORT void trace(const char* name, const long value, const char* name2, const unsigned long value2);
TCORE_EXPORT void trace(const char* name, int value, const char* name2, int value2);
// Buffer dumps without the lock.
TCORE_EXPORT void trace(const char* buffer, int length, const char* title, const char* subtitle);
TCORE_EXPORT void trace(const char* buffer, int length, int processId, const char* title);
// Buffer dumps holding the trace lock from header to last row.
TCORE_EXPORT void hexTrace(const char* buffer, unsigned long length, const char* title, const char* subtitle);
TCORE_EXPORT void hexTrace(const char* buffer, unsigned long length, int processId, const char* title);

// Replaces each character by its class: digit N, upper X, lower x, other -
// (each byte of a multibyte character counts as one). Stops at the first NUL.
TCORE_EXPORT char* MaskaString(char* text);
// The multibyte form of text with every byte masked as MaskaString does, an
// embedded NUL included.
TCORE_EXPORT std::string xqMaskedText(const XQSTRING& text);
// Multibyte copy of a connect string with the value of every "PWD=" and
// "PASSWD=" masked (any case, blanks allowed before "=", wherever the keyword
// stands, also inside another value). A value runs from the "=" to the next
// ";"; a value in braces or double quotes to its closing brace or quote (a
// doubled one inside stands for itself) and on to the next ";". Under every
// reading of the string no character of a password stays in clear; the
// quotes themselves are kept. The output is as long as the unmasked form.
TCORE_EXPORT std::string printConnectStr(const XQSTRING& connect);
// The directory for log files, ending in "/": $XQS_LOGGING, /var/ORV/ or /tmp/.
TCORE_EXPORT XQSTRING setupLogDir();

TCORE_EXPORT void tracesub1();
TCORE_EXPORT XQSTRING tracesub2();

// Text builder for trace statements: narrow and wide text (converted to the
// locale's multibyte form) and numbers.
class TCORE_EXPORT TraceText {
public:
    TraceText& operator<<(const char* s) { text_ += s ? s : "(null)"; return *this; }
    TraceText& operator<<(const std::string& s) { text_ += s; return *this; }
    TraceText& operator<<(char c) { text_ += c; return *this; }
    TraceText& operator<<(const wchar_t* s);
    TraceText& operator<<(const XQSTRING& s);
    TraceText& operator<<(int v) { text_ += std::to_string(v); return *this; }
    TraceText& operator<<(long v) { text_ += std::to_string(v); return *this; }
    TraceText& operator<<(long long v) { text_ += std::to_string(v); return *this; }
    TraceText& operator<<(unsigned v) { text_ += std::to_string(v); return *this; }
    TraceText& operator<<(unsigned long v) { text_ += std::to_string(v); return *this; }
    TraceText& operator<<(unsigned long long v) { text_ += std::to_string(v); return *this; }
    TraceText& operator<<(const void* p);
    const std::string& str() const { return text_; }

private:
    std::string text_;
};

// Writes the enter line on construction and the exit line on destruction,
// each only when the level is 4 or more at that moment.
class MethodTrace {
public:
    explicit MethodTrace(const char* name) : name_(name) {
        if (traceOn(4)) traceMethodLine(true, name_);
    }
    ~MethodTrace() {
        if (traceOn(4)) traceMethodLine(false, name_);
    }
    MethodTrace(const MethodTrace&) = delete;
    MethodTrace& operator=(const MethodTrace&) = delete;

private:
    const char* name_;
};

#define XQ_TRACE_CONCAT2(a, b) a##b
#define XQ_TRACE_CONCAT(a, b) XQ_TRACE_CONCAT2(a, b)

// Enter/exit lines of a traced method; the name is a literal "Class::Method()".
#define XQ_TRACE_METHOD(name) ::MethodTrace XQ_TRACE_CONCAT(xqMethodTrace_, __LINE__)(name)

// A prefixed line at a threshold: XQ_TRACE(3, "MsgLen = " << n);
#define XQ_TRACE(level, expr)                      \
    do {                                           \
        if (::traceOn(level)) {                    \
            ::TraceText xqTraceText_;              \
            xqTraceText_ << expr;                  \
            ::traceLine(xqTraceText_.str());       \
        }                                          \
    } while (0)

// An "XQTrace:" line, written at every level.
#define XQ_TRACE_ALWAYS(expr)                      \
    do {                                           \
        ::TraceText xqTraceText_;                  \
        xqTraceText_ << expr;                      \
        ::traceXQLine(xqTraceText_.str());         \
    } while (0)

#endif
