#ifndef TCORE_TOOLS_SUPPORT_DEMOSUPPORT_H
#define TCORE_TOOLS_SUPPORT_DEMOSUPPORT_H

#include <atomic>
#include <string>

#include "foundation/XQString.h"

namespace demo {

// Set by SIGINT and SIGTERM once installStopSignals() ran; loops poll it.
extern std::atomic<bool> stopRequested;
void installStopSignals();

// Writes text to path through a temporary file and a rename, so a reader
// never sees half of it.
bool writeFileAtomically(const std::string& path, const std::string& text);

// Reads a whole small file; false when it cannot.
bool readFile(const std::string& path, std::string& text);

// Milliseconds on the monotonic clock.
long long nowMs();

// One line of a demo's report on standard output, flushed at once (the test
// scripts read it as it comes).
void say(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Text for printing.
inline std::string mb(const XQSTRING& s) { return xqToMultibyte(s); }

}  // namespace demo

#endif
