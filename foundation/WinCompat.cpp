#include "foundation/WinCompat.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

wchar_t* _tcsset(wchar_t* s, wchar_t c) {
    if (s == nullptr) return s;
    for (wchar_t* p = s; *p != L'\0'; ++p) *p = c;
    return s;
}

int _stprintf(wchar_t* out, const wchar_t* format, long value) {
    if (out == nullptr || format == nullptr) return -1;
    std::mbstate_t state{};
    const wchar_t* src = format;
    size_t need = std::wcsrtombs(nullptr, &src, 0, &state);
    if (need == static_cast<size_t>(-1)) return -1;
    std::string narrow(need + 1, '\0');
    src = format;
    state = std::mbstate_t{};
    std::wcsrtombs(&narrow[0], &src, need + 1, &state);

    int n = std::snprintf(nullptr, 0, narrow.c_str(), value);
    if (n < 0) return n;
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(&text[0], text.size(), narrow.c_str(), value);
    text.resize(static_cast<size_t>(n));
    size_t count = std::mbstowcs(out, text.c_str(), text.size() + 1);
    if (count == static_cast<size_t>(-1)) return -1;
    return static_cast<int>(count);
}

char* _strtime(char* out) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(out, 9, "%H:%M:%S", &local);
    return out;
}

char* _strdate(char* out) {
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(out, 9, "%D", &utc);
    return out;
}

long _filelength(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0) return -1;
    return static_cast<long>(st.st_size);
}

FILE* __Fopen(const char* name, const char* mode) {
    std::string path = "/var/ORV/";
    if (name != nullptr) path += name;
    return std::fopen(path.c_str(), mode);
}

unsigned short* _wgetcwd(unsigned short* buffer, int size) {
    if (buffer == nullptr || size <= 0) return nullptr;
    return getcwd(reinterpret_cast<char*>(buffer), static_cast<size_t>(size)) != nullptr ? buffer : nullptr;
}

int _wopen(XQSTRING path, int flags, int mode) {
    return open(xqToMultibyte(path).c_str(), flags, static_cast<mode_t>(mode));
}

int _wremove(XQSTRING path) { return std::remove(xqToMultibyte(path).c_str()); }

FILE* _wfopen(XQSTRING path, const char* mode) { return std::fopen(xqToMultibyte(path).c_str(), mode); }
