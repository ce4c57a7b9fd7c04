#include "db/XQIniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/Trace.h"
#include "foundation/UniqueFd.h"
#include "security/PasswordScramble.h"

namespace {

const char kFileName[] = "tcore.ini";
const char kDamagedSuffix[] = ".damaged";
constexpr off_t kMaxFileSize = 1024 * 1024;

struct Entry {
    std::string name;  // UTF-8
    bool binary;
    std::string data;  // text: UTF-8; binary: the bytes
};

XQRC failure(int code, int secondary, const wchar_t* method, const std::string& why) {
    XQRC rc(code, secondary, XQRC::WhsSrv);
    rc.methodName = method;
    rc.comment = xqFromMultibyte(why);
    return rc;
}

void appendUtf8(std::string& out, unsigned long c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string toUtf8(const XQSTRING& s) {
    std::string out;
    for (wchar_t c : s) appendUtf8(out, static_cast<unsigned long>(static_cast<uint32_t>(c)));
    return out;
}

// Strict decoding; false for anything that is not well-formed UTF-8.
bool fromUtf8(const std::string& s, XQSTRING& out) {
    out.clear();
    for (size_t i = 0; i < s.size();) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        int extra;
        unsigned long c, min;
        if (b < 0x80) {
            extra = 0, c = b, min = 0;
        } else if ((b & 0xE0) == 0xC0) {
            extra = 1, c = b & 0x1F, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2, c = b & 0x0F, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3, c = b & 0x07, min = 0x10000;
        } else {
            return false;
        }
        if (i + static_cast<size_t>(extra) >= s.size()) return false;
        for (int k = 1; k <= extra; ++k) {
            unsigned char n = static_cast<unsigned char>(s[i + k]);
            if ((n & 0xC0) != 0x80) return false;
            c = (c << 6) | (n & 0x3F);
        }
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        out += static_cast<wchar_t>(c);
        i += static_cast<size_t>(extra) + 1;
    }
    return true;
}

bool validName(const std::string& name) {
    return !name.empty() && name[0] != '#' && name.find_first_of("=:\n\r") == std::string::npos;
}

bool sameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

std::string escapeText(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

bool unescapeText(const std::string& s, std::string& out) {
    out.clear();
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') {
            out += s[i];
            continue;
        }
        if (++i >= s.size()) return false;
        if (s[i] == '\\')
            out += '\\';
        else if (s[i] == 'n')
            out += '\n';
        else if (s[i] == 'r')
            out += '\r';
        else
            return false;
    }
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "length:hexdigits"
bool decodeBinary(const std::string& s, std::string& out) {
    size_t colon = s.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 7) return false;
    size_t length = 0;
    for (size_t i = 0; i < colon; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        length = length * 10 + static_cast<size_t>(s[i] - '0');
    }
    if (s.size() - colon - 1 != 2 * length) return false;
    out.clear();
    for (size_t i = colon + 1; i < s.size(); i += 2) {
        int hi = hexDigit(s[i]), lo = hexDigit(s[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
    }
    return true;
}

std::string encodeBinary(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out = std::to_string(bytes.size()) + ":";
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

bool parseStore(const std::string& content, std::vector<Entry>& entries, std::string& why) {
    entries.clear();
    if (content.find('\0') != std::string::npos) {
        why = "a zero byte in the file";
        return false;
    }
    size_t pos = 0, lineNo = 0;
    while (pos < content.size()) {
        size_t end = content.find('\n', pos);
        if (end == std::string::npos) {
            why = "the last line is not complete";
            return false;
        }
        std::string line = content.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (line.empty() || line[0] == '#') continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos) {
            why = "line " + std::to_string(lineNo) + " has no '='";
            return false;
        }
        Entry e;
        e.name = line.substr(0, eq);
        e.binary = false;
        if (e.name.size() > 4 && e.name.compare(e.name.size() - 4, 4, ":hex") == 0) {
            e.name.resize(e.name.size() - 4);
            e.binary = true;
        }
        XQSTRING check;
        bool ok = validName(e.name) && fromUtf8(e.name, check);
        if (ok) {
            std::string value = line.substr(eq + 1);
            ok = e.binary ? decodeBinary(value, e.data) : (unescapeText(value, e.data) && fromUtf8(e.data, check));
        }
        if (!ok) {
            why = "line " + std::to_string(lineNo) + " is not a valid value";
            return false;
        }
        for (const auto& other : entries) {
            if (sameName(other.name, e.name)) {
                why = "line " + std::to_string(lineNo) + " repeats a value name";
                return false;
            }
        }
        entries.push_back(std::move(e));
    }
    return true;
}

std::string serialize(const std::vector<Entry>& entries) {
    std::string out = "# tcore settings, written by the library\n";
    for (const auto& e : entries) {
        out += e.name;
        out += e.binary ? ":hex=" + encodeBinary(e.data) : "=" + escapeText(e.data);
        out += '\n';
    }
    return out;
}


enum class LoadResult { Loaded, Missing, Damaged, Unreadable };

LoadResult loadStore(const std::string& path, std::vector<Entry>& entries, std::string& why, int& err) {
    entries.clear();
    err = 0;
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (fd.get() < 0) {
        err = errno;
        if (err == ENOENT) return LoadResult::Missing;
        why = "cannot open " + path;
        return LoadResult::Unreadable;
    }
    struct stat st;
    if (fstat(fd.get(), &st) != 0) {
        err = errno;
        why = "cannot examine " + path;
        return LoadResult::Unreadable;
    }
    if (!S_ISREG(st.st_mode) || st.st_size > kMaxFileSize) {
        why = path + " is not a settings file";
        return LoadResult::Damaged;
    }
    if (st.st_uid != geteuid()) {
        why = path + " belongs to another user";
        return LoadResult::Damaged;
    }
    std::string content(static_cast<size_t>(st.st_size), '\0');
    size_t got = 0;
    while (got < content.size()) {
        ssize_t n = read(fd.get(), &content[got], content.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            err = errno;
            why = "cannot read " + path;
            return LoadResult::Unreadable;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    content.resize(got);
    if (!parseStore(content, entries, why)) {
        why = path + ": " + why;
        entries.clear();
        return LoadResult::Damaged;
    }
    return LoadResult::Loaded;
}

// Writes the whole store to a temporary file beside path and renames it over
// path. Returns 0 or the errno of the failing step (what names it).
int saveStore(const std::string& path, const std::vector<Entry>& entries, std::string& what) {
    std::string tmpl = path + ".XXXXXX";
    UniqueFd fd(mkostemp(&tmpl[0], O_CLOEXEC));
    if (fd.get() < 0) {
        what = "cannot create a temporary file beside " + path;
        return errno;
    }
    auto fail = [&](const char* step) {
        int err = errno;
        what = std::string(step) + " " + tmpl;
        unlink(tmpl.c_str());
        return err;
    };
    if (fchmod(fd.get(), 0600) != 0) return fail("cannot set the mode of");
    const std::string content = serialize(entries);
    size_t done = 0;
    while (done < content.size()) {
        ssize_t n = write(fd.get(), content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail("cannot write");
        done += static_cast<size_t>(n);
    }
    if (fsync(fd.get()) != 0) return fail("cannot flush");
    if (close(fd.release()) != 0) return fail("cannot close");
    if (rename(tmpl.c_str(), path.c_str()) != 0) return fail("cannot rename");
    return 0;
}

}  // namespace

XQIniFile::XQIniFile() = default;
XQIniFile::~XQIniFile() = default;

XQSTRING XQIniFile::StorePath() { return setupLogDir() + xqFromMultibyte(kFileName); }

XQRC XQIniFile::readValue(const XQSTRING& name, XQSTRING& value, bool binary, bool* found) {
    if (found) *found = false;
    std::vector<Entry> entries;
    std::string why;
    int err = 0;
    switch (loadStore(xqToMultibyte(StorePath()), entries, why, err)) {
        case LoadResult::Missing:
            return XQRC(0, 0, XQRC::WhsSrv);
        case LoadResult::Damaged:
        case LoadResult::Unreadable:
            XQ_TRACE(3, "XQIniFile: " << why);
            return failure(9165, err, L"XQIniFile::ReadRegValue2", why);
        case LoadResult::Loaded:
            break;
    }
    const std::string key = toUtf8(name);
    for (const auto& e : entries) {
        if (!sameName(e.name, key) || e.binary != binary) continue;
        if (binary) {
            value.clear();
            for (unsigned char b : e.data) value += static_cast<wchar_t>(b);
        } else {
            fromUtf8(e.data, value);
        }
        if (found) *found = true;
        break;
    }
    return XQRC(0, 0, XQRC::WhsSrv);
}

XQRC XQIniFile::writeValue(const XQSTRING& name, const XQSTRING& value, bool binary) {
    const std::string key = toUtf8(name);
    if (!validName(key)) return failure(9166, EINVAL, L"XQIniFile::WriteRegValue2", "invalid value name");
    Entry entry{key, binary, std::string()};
    if (binary) {
        for (wchar_t c : value) {
            if (c < 0 || c > 255)
                return failure(9166, EINVAL, L"XQIniFile::WriteRegValue2", "a binary value holds a non-byte");
            entry.data += static_cast<char>(c);
        }
    } else {
        entry.data = toUtf8(value);
    }
    const std::string path = xqToMultibyte(StorePath());
    std::vector<Entry> entries;
    std::string why;
    int err = 0;
    LoadResult loaded = loadStore(path, entries, why, err);
    if (loaded == LoadResult::Unreadable) return failure(9166, err, L"XQIniFile::WriteRegValue2", why);
    if (loaded == LoadResult::Damaged) {
        // Kept for inspection; the new file starts empty.
        XQ_TRACE(3, "XQIniFile: " << why << "; kept as " << path << kDamagedSuffix);
        if (rename(path.c_str(), (path + kDamagedSuffix).c_str()) != 0)
            return failure(9166, errno, L"XQIniFile::WriteRegValue2", "cannot set aside the damaged " + path);
    }
    bool replaced = false;
    for (auto& e : entries) {
        if (sameName(e.name, key)) {
            entry.name = e.name;
            e = entry;
            replaced = true;
            break;
        }
    }
    if (!replaced) entries.push_back(entry);
    std::string what;
    if (int e = saveStore(path, entries, what)) return failure(9166, e, L"XQIniFile::WriteRegValue2", what);
    return XQRC(0, 0, XQRC::WhsSrv);
}

XQRC XQIniFile::WriteRegValue2(const wchar_t* name, const wchar_t* value, int binary) {
    return writeValue(name ? XQSTRING(name) : XQSTRING(), value ? XQSTRING(value) : XQSTRING(), binary != 0);
}

XQRC XQIniFile::WriteRegValue(const XQSTRING& name, const XQSTRING& value) {
    return writeValue(name, value, false);
}

XQRC XQIniFile::ReadRegValue2(const wchar_t* name, XQSTRING& value, int binary) {
    return readValue(name ? XQSTRING(name) : XQSTRING(), value, binary != 0, nullptr);
}

XQRC XQIniFile::ReadRegValue(const XQSTRING& name, XQSTRING& value) {
    return readValue(name, value, false, nullptr);
}

XQRC XQIniFile::WriteRegBinValue(const XQSTRING& name, const XQSTRING& value) {
    return writeValue(name, value, true);
}

XQRC XQIniFile::ReadRegBinValue(const XQSTRING& name, XQSTRING& value) {
    return readValue(name, value, true, nullptr);
}

XQRC XQIniFile::DeleteReg(const wchar_t* name) {
    const std::string path = xqToMultibyte(StorePath());
    if (name == nullptr || *name == L'\0') {
        if (unlink(path.c_str()) != 0 && errno != ENOENT)
            return failure(9166, errno, L"XQIniFile::DeleteReg", "cannot remove " + path);
        return XQRC(0, 0, XQRC::WhsSrv);
    }
    std::vector<Entry> entries;
    std::string why;
    int err = 0;
    switch (loadStore(path, entries, why, err)) {
        case LoadResult::Missing:
            return XQRC(0, 0, XQRC::WhsSrv);
        case LoadResult::Damaged:
        case LoadResult::Unreadable:
            return failure(9165, err, L"XQIniFile::DeleteReg", why);
        case LoadResult::Loaded:
            break;
    }
    const std::string key = toUtf8(name);
    size_t before = entries.size();
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (sameName(it->name, key)) {
            entries.erase(it);
            break;
        }
    }
    if (entries.size() == before) return XQRC(0, 0, XQRC::WhsSrv);
    std::string what;
    if (int e = saveStore(path, entries, what)) return failure(9166, e, L"XQIniFile::DeleteReg", what);
    return XQRC(0, 0, XQRC::WhsSrv);
}

XQRC XQIniFile::Read() {
    XQ_TRACE_METHOD("XQIniFile::Read()");
    XQRC rc = ReadRegValue(L"DatabaseName", databaseName);
    if (rc.code != 0) return rc;
    rc = ReadRegValue(L"Qualifier", qualifier);
    if (rc.code != 0) return rc;
    rc = ReadRegValue(L"Userid", userid);
    if (rc.code != 0) return rc;
    // The stored length is kept with the value, so zero bytes inside the
    // scrambled form do not cut it.
    XQSTRING scrambled;
    bool found = false;
    rc = readValue(L"Password", scrambled, true, &found);
    if (rc.code != 0) return rc;
    if (found) {
        if (scrambled.empty()) {
            password.clear();
        } else {
            std::vector<unsigned char> bytes(scrambled.begin(), scrambled.end());
            XQSTRING clear;
            rc = unscramblePassword(bytes, clear);
            if (rc.code != 0) return rc;
            password = clear;
        }
    }
    logDirectory = setupLogDir();
    return XQRC(0, 0, XQRC::WhsSrv);
}

XQRC XQIniFile::Write() {
    XQ_TRACE_METHOD("XQIniFile::Write()");
    if (databaseName.find(L'"') == XQSTRING::npos) databaseName = xqToUpper(databaseName);
    XQRC rc = WriteRegValue(L"DatabaseName", databaseName);
    if (rc.code != 0) return rc;
    if (databaseName != L"&&&") {
        rc = WriteRegValue(L"Qualifier", qualifier);
        if (rc.code != 0) return rc;
    }
    rc = WriteRegValue(L"Userid", userid);
    if (rc.code != 0) return rc;
    XQSTRING stored;
    if (!password.empty()) {
        std::vector<unsigned char> bytes;
        rc = scramblePassword(password, bytes);
        if (rc.code != 0) return rc;
        stored.assign(bytes.begin(), bytes.end());
    }
    rc = WriteRegBinValue(L"Password", stored);
    if (rc.code != 0) return rc;
    return WriteRegValue(L"InstanceName", instanceName);
}
