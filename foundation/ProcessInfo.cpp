#include "foundation/ProcessInfo.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

XQSTRING GetCommandLine() {
    const char* v = std::getenv("EXEC_NAME");
    return v ? xqFromMultibyte(v) : XQSTRING();
}

int xqLocalHostName(XQSTRING& name) {
    static std::mutex lock;
    static bool cached = false;
    static XQSTRING host;
    std::lock_guard<std::mutex> guard(lock);
    if (!cached) {
        const char* env = std::getenv("NVHOSTNAME");
        if (env != nullptr) {
            std::string v(env);
            if (v.size() > 254) v.resize(254);
            host = xqFromMultibyte(v);
        } else {
            char buf[256] = {};
            if (gethostname(buf, 255) != 0) return errno;
            host = xqFromMultibyte(buf);
        }
        cached = true;
    }
    name = host;
    return 0;
}
