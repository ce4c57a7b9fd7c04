#include <sys/stat.h>

#include <fstream>
#include <vector>

#include "FuzzTargets.h"
#include "db/XQIniFile.h"

namespace {

struct Value {
    XQSTRING name;
    bool binary;
};

bool sameNameNoCase(const XQSTRING& a, const wchar_t* b) { return xqCompareNoCase(a, b) == 0; }

// The values the file names, as Read would look for them ("Name=..." and
// "Name:hex=...").
std::vector<Value> namesIn(const std::string& content) {
    std::vector<Value> names;
    std::size_t pos = 0;
    while (pos < content.size() && names.size() < 16) {
        std::size_t end = content.find('\n', pos);
        if (end == std::string::npos) end = content.size();
        const std::string line = content.substr(pos, end - pos);
        pos = end + 1;
        const std::size_t eq = line.find('=');
        if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
        std::string name = line.substr(0, eq);
        bool binary = name.size() > 4 && name.compare(name.size() - 4, 4, ":hex") == 0;
        if (binary) name.resize(name.size() - 4);
        names.push_back({xqFromMultibyte(name), binary});
    }
    return names;
}

// The fields Read fills and Write writes.
std::string differentFields(const XQIniFile& a, const XQIniFile& b) {
    if (a.databaseName != b.databaseName) return "DatabaseName";
    if (a.qualifier != b.qualifier) return "Qualifier";
    if (a.userid != b.userid) return "Userid";
    if (a.password != b.password) return "Password";
    return std::string();
}

}  // namespace

std::string fuzzIniFile(const unsigned char* data, std::size_t size) {
    const XQSTRING storeWide = XQIniFile::StorePath();
    const std::string store = xqToMultibyte(storeWide);
    const std::string content(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(store, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
    }
    chmod(store.c_str(), 0600);

    XQIniFile first;
    XQRC rc = first.Read();
    // 9165: damaged; 8461, 8463: a stored password that does not unscramble.
    if (rc.code == 9165 || rc.code == 8461 || rc.code == 8463) return std::string();
    if (rc.code != 0) return "Read gave " + std::to_string(rc.code);

    // Every other value of the file, before and after a Write.
    std::vector<Value> others;
    std::vector<XQSTRING> before;
    for (const Value& v : namesIn(content)) {
        bool own = false;
        for (const wchar_t* known : {L"DatabaseName", L"Qualifier", L"Userid", L"Password", L"InstanceName"})
            own = own || sameNameNoCase(v.name, known);
        if (own) continue;
        XQSTRING value;
        rc = v.binary ? first.ReadRegBinValue(v.name, value) : first.ReadRegValue(v.name, value);
        if (rc.code != 0) return "a value of a file that read well gave " + std::to_string(rc.code);
        others.push_back(v);
        before.push_back(value);
    }

    rc = first.Write();
    if (rc.code != 0) return "Write after a good Read gave " + std::to_string(rc.code);
    XQIniFile second;
    rc = second.Read();
    if (rc.code != 0) return "Read of what Write wrote gave " + std::to_string(rc.code);
    const std::string field = differentFields(first, second);
    if (!field.empty()) return field + " reads back different after a Write";
    for (std::size_t i = 0; i < others.size(); ++i) {
        XQSTRING value;
        rc = others[i].binary ? second.ReadRegBinValue(others[i].name, value) : second.ReadRegValue(others[i].name, value);
        if (rc.code != 0 || value != before[i]) return "value " + xqToMultibyte(others[i].name) + " changed by a Write";
    }
    return std::string();
}
